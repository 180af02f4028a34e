// The process environment. It is the Windows environment of the process's
// user (system variables, profile variables, the user's configured
// environment), plus every Linux variable TW_ENV_<NAME>=<value>; it is not
// the Linux environment (whose PATH, HOME... mean other things). It is
// made afresh when the process switches to another machine root.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "tw/memory.h"
#include "tw/sysinfo.h"
#include "tw/utf.h"
#include "winerror.h"

extern char** environ;

namespace tw::env {
namespace {

constexpr char kChildPrefix[] = "TW_ENV_";

Block::iterator position(Block& block, std::u16string_view name) {
  return std::lower_bound(block.begin(), block.end(), name,
                          [](const auto& entry, std::u16string_view n) { return CompareNoCase(entry.first, n) < 0; });
}

const std::u16string* lookup(const Block& block, std::u16string_view name) {
  auto it = std::lower_bound(block.begin(), block.end(), name, [](const auto& entry, std::u16string_view n) {
    return CompareNoCase(entry.first, n) < 0;
  });
  return (it != block.end() && EqualsNoCase(it->first, name)) ? &it->second : nullptr;
}

// Keeps the spelling of an existing name, as Windows does.
void set(Block& block, std::u16string_view name, std::u16string_view value) {
  auto it = position(block, name);
  if (it != block.end() && EqualsNoCase(it->first, name)) it->second = value;
  else block.insert(it, {std::u16string(name), std::u16string(value)});
}

bool erase(Block& block, std::u16string_view name) {
  auto it = position(block, name);
  if (it == block.end() || !EqualsNoCase(it->first, name)) return false;
  block.erase(it);
  return true;
}

Block systemBlock(const tw::config::Machine& m) {
  Block b;
  for (const auto& [name, value] : std::initializer_list<std::pair<const char16_t*, const char16_t*>>{
           {u"ALLUSERSPROFILE", u"C:\\ProgramData"},
           {u"CommonProgramFiles", u"C:\\Program Files\\Common Files"},
           {u"CommonProgramFiles(x86)", u"C:\\Program Files (x86)\\Common Files"},
           {u"CommonProgramW6432", u"C:\\Program Files\\Common Files"},
           {u"ComSpec", u"C:\\Windows\\system32\\cmd.exe"},
           {u"OS", u"Windows_NT"},
           {u"Path", u"C:\\Windows\\system32;C:\\Windows;C:\\Windows\\System32\\Wbem"},
           {u"PATHEXT", u".COM;.EXE;.BAT;.CMD;.VBS;.JS"},
           {u"PROCESSOR_ARCHITECTURE", u"AMD64"},
           {u"ProgramData", u"C:\\ProgramData"},
           {u"ProgramFiles", u"C:\\Program Files"},
           {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
           {u"ProgramW6432", u"C:\\Program Files"},
           {u"PUBLIC", u"C:\\Users\\Public"},
           {u"SystemDrive", u"C:"},
           {u"SystemRoot", u"C:\\Windows"},
           {u"TEMP", u"C:\\Windows\\Temp"},
           {u"TMP", u"C:\\Windows\\Temp"},
           {u"windir", u"C:\\Windows"}})
    set(b, name, value);
  std::u16string computer = Upcase(m.computerName).substr(0, MAX_COMPUTERNAME_LENGTH);
  set(b, u"COMPUTERNAME", computer);
  return b;
}

struct ProcessEnvironment {
  std::mutex mutex;
  std::uint64_t generation = 0;
  Block block;
};

ProcessEnvironment& process() {
  static ProcessEnvironment* p = new ProcessEnvironment;
  return *p;
}

// The process block, made for the current root when needed. Lock held.
Block& current(ProcessEnvironment& p) {
  auto generation = tw::root::Generation();
  if (p.generation != generation) {
    auto user = tw::identity::ProcessUser();
    p.block = UserBlock(&user);
    for (char** e = environ; e && *e; ++e) {
      if (std::strncmp(*e, kChildPrefix, sizeof kChildPrefix - 1) != 0) continue;
      const char* nameStart = *e + sizeof kChildPrefix - 1;
      const char* eq = std::strchr(nameStart, '=');
      if (!eq || eq == nameStart) continue;
      set(p.block, FromUtf8(std::string_view(nameStart, eq - nameStart)), FromUtf8(eq + 1));
    }
    p.generation = generation;
  }
  return p.block;
}

bool validName(LPCWSTR name) {
  if (!name || !*name) return false;
  // A name may begin with "=" (the per-drive directories) but hold none after.
  return std::u16string_view(name + 1).find(u'=') == std::u16string_view::npos;
}

}  // namespace

Block UserBlock(const tw::config::User* user) {
  auto machine = tw::config::Get();
  Block b = systemBlock(*machine);
  if (!user) return b;
  std::u16string profile;
  bool service = true;
  if (user->sid == u"S-1-5-18") profile = u"C:\\Windows\\system32\\config\\systemprofile";
  else if (user->sid == u"S-1-5-19") profile = u"C:\\Windows\\ServiceProfiles\\LocalService";
  else if (user->sid == u"S-1-5-20") profile = u"C:\\Windows\\ServiceProfiles\\NetworkService";
  else {
    profile = u"C:\\Users\\" + user->name;
    service = false;
  }
  if (user->sid == u"S-1-5-18") {
    // The machine account: "PC$" in the machine's workgroup or domain.
    set(b, u"USERNAME", Upcase(machine->computerName).substr(0, MAX_COMPUTERNAME_LENGTH) + u"$");
    set(b, u"USERDOMAIN", machine->workgroup);
  } else {
    set(b, u"USERNAME", user->name);
    set(b, u"USERDOMAIN", user->domain);
  }
  set(b, u"USERPROFILE", profile);
  set(b, u"APPDATA", profile + u"\\AppData\\Roaming");
  set(b, u"LOCALAPPDATA", profile + u"\\AppData\\Local");
  if (!service) {
    // Services keep the system TEMP; a user's temporary files live in the profile.
    set(b, u"TEMP", profile + u"\\AppData\\Local\\Temp");
    set(b, u"TMP", profile + u"\\AppData\\Local\\Temp");
    set(b, u"HOMEDRIVE", u"C:");
    set(b, u"HOMEPATH", profile.substr(2));
  }
  for (const auto& [name, value] : user->environment) set(b, name, value);
  return b;
}

std::u16string Expand(std::u16string_view text, const Block& block) {
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] != u'%') {
      out += text[i++];
      continue;
    }
    // "%NAME%" with a known NAME is replaced. Otherwise only this "%" is
    // copied and the scan goes on after it, so its closing "%" may open the
    // next reference, as on Windows.
    size_t close = text.find(u'%', i + 1);
    if (close != std::u16string_view::npos && close > i + 1) {
      if (const auto* value = lookup(block, text.substr(i + 1, close - i - 1))) {
        out += *value;
        i = close + 1;
        continue;
      }
    }
    out += u'%';
    ++i;
  }
  return out;
}

std::optional<std::u16string> Get(std::u16string_view name) {
  auto& p = process();
  std::lock_guard lock(p.mutex);
  if (const auto* value = lookup(current(p), name)) return *value;
  return std::nullopt;
}

Block ProcessBlock() {
  auto& p = process();
  std::lock_guard lock(p.mutex);
  return current(p);
}

std::vector<std::string> ChildVariables() {
  std::vector<std::string> out;
  for (const auto& [name, value] : ProcessBlock()) out.push_back(kChildPrefix + ToUtf8(name) + "=" + ToUtf8(value));
  return out;
}

}  // namespace tw::env

TWAPI DWORD GetEnvironmentVariableW(LPCWSTR lpName, LPWSTR lpBuffer, DWORD nSize) {
  if (!lpName) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  auto value = tw::env::Get(lpName);
  if (!value) {
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    return 0;
  }
  // Too small: the size needed, terminator included.
  if (!lpBuffer || value->size() + 1 > nSize) return static_cast<DWORD>(value->size() + 1);
  std::copy(value->begin(), value->end(), lpBuffer);
  lpBuffer[value->size()] = 0;
  if (value->empty()) SetLastError(ERROR_SUCCESS);  // tells an empty value from a missing one
  return static_cast<DWORD>(value->size());
}

TWAPI BOOL SetEnvironmentVariableW(LPCWSTR lpName, LPCWSTR lpValue) {
  if (!tw::env::validName(lpName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto& p = tw::env::process();
  std::lock_guard lock(p.mutex);
  auto& block = tw::env::current(p);
  if (lpValue) tw::env::set(block, lpName, lpValue);
  else tw::env::erase(block, lpName);  // deleting a missing variable is not an error
  return TRUE;
}

TWAPI DWORD ExpandEnvironmentStringsW(LPCWSTR lpSrc, LPWSTR lpDst, DWORD nSize) {
  if (!lpSrc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string expanded = tw::env::Expand(lpSrc, tw::env::ProcessBlock());
  DWORD needed = static_cast<DWORD>(expanded.size() + 1);
  if (lpDst && needed <= nSize) {
    std::copy(expanded.begin(), expanded.end(), lpDst);
    lpDst[expanded.size()] = 0;
  }
  return needed;
}

TWAPI LPWCH GetEnvironmentStringsW(void) {
  auto block = tw::env::ProcessBlock();
  // Each "NAME=value" with its terminator, then one more terminator (two
  // for an empty block).
  size_t units = block.empty() ? 2 : 1;
  for (const auto& [name, value] : block) units += name.size() + value.size() + 2;
  auto* out = static_cast<LPWCH>(HeapAlloc(GetProcessHeap(), 0, units * sizeof(WCHAR)));
  if (!out) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  LPWCH p = out;
  for (const auto& [name, value] : block) {
    p = std::copy(name.begin(), name.end(), p);
    *p++ = u'=';
    p = std::copy(value.begin(), value.end(), p);
    *p++ = 0;
  }
  std::fill(p, out + units, u'\0');
  return out;
}

TWAPI BOOL FreeEnvironmentStringsW(LPWCH penv) {
  if (!penv) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return HeapFree(GetProcessHeap(), 0, penv);
}
