// Modules: LoadLibraryW and friends, exports by name and by ordinal, and the
// resources a module carries (strings, dialogs, message tables, raw data).
//
// A module is an ELF shared object whose file name is its Windows file name
// ("TwPlugIn.dll"). What a Windows module carries besides named functions is
// declared with the helpers of tw/modulekit.h; docs/modules.md describes the
// convention. Built-in modules (system libraries such as "Spoolss.dll" that a
// process provides itself) are registered with tw::module::RegisterBuiltin and
// win over files of the same name.
#pragma once
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "tw/wintypes.h"

// Windows declares FARPROC as returning INT_PTR. Here it returns nothing:
// GCC lets void (*)(void) be cast to and from every function pointer type
// without -Wcast-function-type, so callers can cast GetProcAddress results
// to the export's real type under -Werror.
typedef void(WINAPI* FARPROC)(void);
typedef WORD LANGID;

// DllMain reasons.
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

// LoadLibraryExW flags.
#define DONT_RESOLVE_DLL_REFERENCES 0x00000001
#define LOAD_LIBRARY_AS_DATAFILE 0x00000002
#define LOAD_WITH_ALTERED_SEARCH_PATH 0x00000008
#define LOAD_IGNORE_CODE_AUTHZ_LEVEL 0x00000010
#define LOAD_LIBRARY_AS_IMAGE_RESOURCE 0x00000020
#define LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE 0x00000040
#define LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR 0x00000100
#define LOAD_LIBRARY_SEARCH_APPLICATION_DIR 0x00000200
#define LOAD_LIBRARY_SEARCH_USER_DIRS 0x00000400
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#define LOAD_LIBRARY_SEARCH_DEFAULT_DIRS 0x00001000

// GetModuleHandleExW flags.
#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

// Resource types.
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_FONTDIR MAKEINTRESOURCEW(7)
#define RT_FONT MAKEINTRESOURCEW(8)
#define RT_ACCELERATOR MAKEINTRESOURCEW(9)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_MESSAGETABLE MAKEINTRESOURCEW(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_HTML MAKEINTRESOURCEW(23)
#define RT_MANIFEST MAKEINTRESOURCEW(24)
#define MAKEINTRESOURCE MAKEINTRESOURCEW

// Dialog templates, as the resource compiler writes them (2-byte packing).
#pragma pack(push, 2)
typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  SHORT x;
  SHORT y;
  SHORT cx;
  SHORT cy;
} DLGTEMPLATE, *LPDLGTEMPLATEW;
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;
typedef struct {
  DWORD style;
  DWORD dwExtendedStyle;
  SHORT x;
  SHORT y;
  SHORT cx;
  SHORT cy;
  WORD id;
} DLGITEMTEMPLATE, *LPDLGITEMTEMPLATEW;
#pragma pack(pop)
static_assert(sizeof(DLGTEMPLATE) == 18 && sizeof(DLGITEMTEMPLATE) == 18);

// Message tables (RT_MESSAGETABLE), read by FormatMessageW with
// FORMAT_MESSAGE_FROM_HMODULE and by the event log.
#define MESSAGE_RESOURCE_UNICODE 0x0001
#define MESSAGE_RESOURCE_UTF8 0x0002
typedef struct _MESSAGE_RESOURCE_ENTRY {
  WORD Length;  // of the whole entry, text and padding included
  WORD Flags;   // MESSAGE_RESOURCE_UNICODE: the text is UTF-16
  BYTE Text[1];
} MESSAGE_RESOURCE_ENTRY, *PMESSAGE_RESOURCE_ENTRY;
typedef struct _MESSAGE_RESOURCE_BLOCK {
  DWORD LowId;
  DWORD HighId;
  DWORD OffsetToEntries;  // from the start of MESSAGE_RESOURCE_DATA
} MESSAGE_RESOURCE_BLOCK, *PMESSAGE_RESOURCE_BLOCK;
typedef struct _MESSAGE_RESOURCE_DATA {
  DWORD NumberOfBlocks;
  MESSAGE_RESOURCE_BLOCK Blocks[1];
} MESSAGE_RESOURCE_DATA, *PMESSAGE_RESOURCE_DATA;
static_assert(sizeof(MESSAGE_RESOURCE_BLOCK) == 12 && sizeof(MESSAGE_RESOURCE_DATA) == 16);

// ---------------------------------------------------------------------------
// The module convention (ABI between a module and the loader; docs/modules.md).
//
// Exports by ordinal: an exported data symbol "tw_ordinal_<n>" (decimal, no
// leading zeros) of type TW_ORDINAL_EXPORT. Resources: an exported function
//   extern "C" const TW_RESOURCE_TABLE* tw_resources(void);
// returning a table that lives as long as the module. Type and name are
// MAKEINTRESOURCEW integers or null-terminated names; data holds the bytes in
// the Windows resource format of the type (RT_STRING blocks of 16 counted
// strings, DLGTEMPLATE bytes, MESSAGE_RESOURCE_DATA, raw bytes).
#define TW_ORDINAL_MAGIC 0x524F5754u    // "TWOR"
#define TW_RESOURCES_MAGIC 0x53525754u  // "TWRS"
#define TW_RESOURCES_VERSION 1u

typedef struct {
  DWORD magic;    // TW_ORDINAL_MAGIC
  DWORD ordinal;  // the n of the symbol's name
  FARPROC function;
} TW_ORDINAL_EXPORT;
static_assert(sizeof(TW_ORDINAL_EXPORT) == 16);

typedef struct {
  LPCWSTR type;
  LPCWSTR name;
  const void* data;
  DWORD size;
  WORD language;  // LANGID; 0 = neutral
  WORD reserved;
} TW_RESOURCE_ENTRY;
static_assert(sizeof(TW_RESOURCE_ENTRY) == 32);

typedef struct {
  DWORD magic;    // TW_RESOURCES_MAGIC
  DWORD version;  // TW_RESOURCES_VERSION
  DWORD count;
  DWORD reserved;
  const TW_RESOURCE_ENTRY* entries;
} TW_RESOURCE_TABLE;
static_assert(sizeof(TW_RESOURCE_TABLE) == 24);

// ---------------------------------------------------------------------------
// Win32 functions.

TWAPI HMODULE LoadLibraryW(LPCWSTR lpLibFileName);
TWAPI HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags);
TWAPI BOOL FreeLibrary(HMODULE hLibModule);
// lpProcName is a name or MAKEINTRESOURCE(ordinal).
TWAPI FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName);
TWAPI HMODULE GetModuleHandleW(LPCWSTR lpModuleName);
TWAPI BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
TWAPI DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
TWAPI BOOL DisableThreadLibraryCalls(HMODULE hLibModule);

TWAPI int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);
TWAPI HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
TWAPI HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
TWAPI HGLOBAL LoadResource(HMODULE hModule, HRSRC hResInfo);
TWAPI LPVOID LockResource(HGLOBAL hResData);
TWAPI DWORD SizeofResource(HMODULE hModule, HRSRC hResInfo);
TWAPI BOOL FreeResource(HGLOBAL hResData);

// ---------------------------------------------------------------------------
// Internal API of the layer.
namespace tw::module {

// One export of a built-in module. A null name exports by ordinal only; an
// ordinal of 0 exports by name only.
struct BuiltinExport {
  const char* name;
  WORD ordinal;
  FARPROC function;
};

// Registers (or replaces) the built-in module `fileName` ("Spoolss.dll").
// LoadLibraryW of that file name, bare or with any directory, then loads the
// built-in instead of a file; GetModuleFileNameW reports it in the system
// directory. The exports are copied; `resources` (may be null) must outlive
// the registration. Returns false for an empty or path-like name.
TWCPPAPI bool RegisterBuiltin(std::u16string_view fileName, std::span<const BuiltinExport> exports,
                              const TW_RESOURCE_TABLE* resources = nullptr);
// Removes the registration; instances already loaded stay valid until freed.
TWCPPAPI bool UnregisterBuiltin(std::u16string_view fileName);

// The loader's message of the last failed load on this thread (the dynamic
// linker's text, or why the file was refused), for diagnostics.
TWCPPAPI std::string LastLoadDiagnostic();

// Sends DLL_THREAD_ATTACH (attach) or DLL_THREAD_DETACH to every loaded
// module, on the calling thread. The loader registers this with the thread
// area (tw/threadhooks.h), so CreateThread threads get it automatically.
TWCPPAPI void NotifyThread(bool attach);

// Looks up message `id` in the module's message table, as FormatMessageW
// with FORMAT_MESSAGE_FROM_HMODULE does. languageId 0 picks the default
// language order. Returns 0, or ERROR_MR_MID_NOT_FOUND / ERROR_RESOURCE_*_NOT_FOUND
// / ERROR_MOD_NOT_FOUND (unknown module).
TWCPPAPI DWORD FindMessage(HMODULE module, DWORD id, DWORD languageId, std::u16string& text);

// A dialog template taken apart (plain DLGTEMPLATE, not the EX form), for
// DialogBoxParamW. Class and title are either an ordinal (when *Ordinal is
// non-zero; predefined classes 0x80 Button, 0x81 Edit, 0x82 Static, ...) or
// a string.
struct DialogItem {
  DWORD style = 0, exStyle = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  WORD classOrdinal = 0;
  std::u16string className;
  WORD titleOrdinal = 0;
  std::u16string title;
  std::vector<BYTE> creationData;
};
struct DialogDesc {
  DWORD style = 0, exStyle = 0;
  SHORT x = 0, y = 0, cx = 0, cy = 0;
  WORD menuOrdinal = 0;
  std::u16string menuName;
  WORD classOrdinal = 0;
  std::u16string className;
  std::u16string title;
  WORD pointSize = 0;  // with DS_SETFONT
  std::u16string faceName;
  std::vector<DialogItem> items;
};
// False (ERROR_INVALID_DATA / ERROR_NOT_SUPPORTED for the EX form) when the
// bytes are not a well-formed template.
TWCPPAPI bool ParseDialogTemplate(std::span<const BYTE> bytes, DialogDesc& out);

}  // namespace tw::module
