// Internal: Windows paths on the machine root.
//
//   X:\a\b         -> <root>/drive_x/a/b  (both separators accepted)
//   Z:\srv\out     -> /srv/out            (Z: is the Linux file system, as the
//                                          reverse mapping hands such paths back)
//   \a\b           -> on the current drive
//   /srv/out       -> a Linux absolute path, used as it is
//   a\b            -> relative to the emulated current directory
//   \\?\C:\a       -> C:\a
//   \\server\share -> ERROR_BAD_NETPATH
// "." and ".." are resolved lexically and trailing dots and blanks of a
// component are dropped, as Windows does. When a component does not exist
// with the exact spelling, an existing one that differs only in case is used:
// Windows file systems are case-insensitive.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include "tw/wintypes.h"

namespace tw::path {

// 0 on success, else a Win32 error (ERROR_BAD_NETPATH, ERROR_INVALID_NAME,
// ERROR_PATH_NOT_FOUND for an empty path).
TWCPPAPI DWORD ToHost(std::u16string_view windowsPath, std::filesystem::path& hostPath);
// The full Windows form of a Windows path ("c:/a/./b" -> "C:\a\b"), without
// touching the disk. Same errors as ToHost.
TWCPPAPI DWORD FullPath(std::u16string_view windowsPath, std::u16string& fullPath);
// The same without checking the names (GetFullPathNameW accepts "*" and "?").
TWCPPAPI DWORD LexicalFullPath(std::u16string_view windowsPath, std::u16string& fullPath);
// The Windows name of a host path: under the root's drive_x -> "X:\...",
// anything else -> "Z:\...".
TWCPPAPI std::u16string FromHost(const std::filesystem::path& hostPath);

// The emulated current directory (per process; default C:\Windows\System32,
// the spooler's).
TWCPPAPI std::u16string CurrentDirectory();
TWCPPAPI DWORD SetCurrentDirectory(std::u16string_view windowsPath);

// True for "\\server\share..." (not "\\?\" or "\\.\").
TWCPPAPI bool IsUnc(std::u16string_view windowsPath);
// True for "\\.\name" device paths (pipes and the like).
TWCPPAPI bool IsDevice(std::u16string_view windowsPath);

}  // namespace tw::path
