// The module loader: LoadLibraryW and friends over dlopen. A module is an
// ELF shared object whose file name is its Windows name; the loader searches
// for it as Windows does, runs its DllMain and counts its references.
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "module_table.h"
#include "tw/casefold.h"
#include "tw/debug.h"
#include "tw/lasterror.h"
#include "tw/pathmap.h"
#include "tw/sysinfo.h"
#include "tw/threadhooks.h"
#include "tw/utf.h"
#include "winerror.h"

namespace tw::module {
namespace detail {
namespace {

constexpr char16_t kSystemDirectory[] = u"C:\\Windows\\System32";
constexpr char16_t kWindowsDirectory[] = u"C:\\Windows";

struct Registration {
  std::u16string fileName;
  std::vector<std::string> names;
  std::vector<BuiltinExport> exports;
  const TW_RESOURCE_TABLE* resources = nullptr;
  HMODULE handle = nullptr;
};

// Built-in modules get handles inside this block: real addresses of the
// process that no ELF object starts at, stable for the registration.
constexpr size_t kBuiltinSlots = 256;
alignas(64) char g_builtinHandles[kBuiltinSlots * 64];

struct State {
  std::recursive_mutex lock;
  std::vector<std::unique_ptr<Module>> modules;    // in load order
  std::vector<std::unique_ptr<Module>> dataFiles;  // LOAD_LIBRARY_AS_DATAFILE
  std::unique_ptr<Module> executable;
  std::map<std::u16string, Registration> builtins;  // by upper-cased file name
  size_t nextBuiltinSlot = 0;
};

State& state() {
  static State* s = new State;  // outlives static destructors of modules
  return *s;
}

thread_local std::string t_diagnostic;

bool isSep(char16_t c) { return c == u'\\' || c == u'/'; }

std::u16string_view fileNamePart(std::u16string_view path) {
  size_t i = path.size();
  while (i > 0 && !isSep(path[i - 1]) && path[i - 1] != u':') --i;
  return path.substr(i);
}

std::u16string_view directoryPart(std::u16string_view path) {
  auto name = fileNamePart(path);
  auto dir = path.substr(0, path.size() - name.size());
  while (dir.size() > 3 && isSep(dir.back())) dir.remove_suffix(1);
  return dir;
}

bool hasDirectory(std::u16string_view name) {
  return std::any_of(name.begin(), name.end(), [](char16_t c) { return isSep(c) || c == u':'; });
}

// Windows appends ".dll" to a name without extension; a trailing dot means
// "no extension" and is dropped.
std::u16string withDefaultExtension(std::u16string_view name) {
  std::u16string out(name);
  auto file = fileNamePart(out);
  if (!file.empty() && file.back() == u'.') {
    out.pop_back();
  } else if (file.find(u'.') == std::u16string_view::npos) {
    out += u".dll";
  }
  return out;
}

std::uintptr_t baseOfAddress(const void* address) {
  Dl_info info;
  if (!address || !dladdr(address, &info)) return 0;
  return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

std::uintptr_t baseOfHandle(void* dl) {
  link_map* map = nullptr;
  if (dlinfo(dl, RTLD_DI_LINKMAP, &map) != 0 || !map) return 0;
  if (auto base = baseOfAddress(map->l_ld)) return base;
  return map->l_addr;
}

Module& executable() {
  auto& s = state();
  if (!s.executable) {
    auto m = std::make_unique<Module>();
    m->kind = Module::Kind::Executable;
    m->dl = dlopen(nullptr, RTLD_NOW);
    m->base = baseOfAddress(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
    m->handle = reinterpret_cast<HMODULE>(m->base);
    m->pinned = true;
    m->callEntry = false;
    std::error_code ec;
    m->hostPath = std::filesystem::read_symlink("/proc/self/exe", ec);
    s.executable = std::move(m);
  }
  return *s.executable;
}

// The executable's Windows path depends on the root, so it is mapped anew.
std::u16string executablePath() { return tw::path::FromHost(executable().hostPath); }

// A symbol defined by the module itself (dlsym also searches its
// dependencies, which a Windows module's exports never include).
void* ownSymbol(const Module& m, const char* name) {
  if (!m.dl) return nullptr;
  void* p = dlsym(m.dl, name);
  if (!p || baseOfAddress(p) != m.base) return nullptr;
  return p;
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
};

// 0 when the file is an ELF shared object this process can load.
DWORD checkLoadable(const std::filesystem::path& host) {
  Fd f;
  f.fd = open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (f.fd < 0) {
    t_diagnostic = "cannot open " + host.string() + ": " + std::strerror(errno);
    return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_MOD_NOT_FOUND;
  }
  struct stat st;
  if (fstat(f.fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    t_diagnostic = host.string() + " is a directory";
    return ERROR_ACCESS_DENIED;
  }
  Elf64_Ehdr header{};
  ssize_t got = pread(f.fd, &header, sizeof header, 0);
  if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
    t_diagnostic = host.string() + " is not an ELF shared object";
    return ERROR_BAD_EXE_FORMAT;
  }
#if defined(__x86_64__)
  constexpr int kMachine = EM_X86_64;
#elif defined(__aarch64__)
  constexpr int kMachine = EM_AARCH64;
#else
  constexpr int kMachine = EM_NONE;
#endif
  if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_machine != kMachine) {
    t_diagnostic = host.string() + " is built for another machine";
    return ERROR_BAD_EXE_FORMAT;
  }
  if (header.e_type != ET_DYN) {
    t_diagnostic = host.string() + " is an executable, not a shared object";
    return ERROR_BAD_EXE_FORMAT;
  }
  return ERROR_SUCCESS;
}

DWORD dlopenError(const char* text) {
  std::string message = text ? text : "dlopen failed";
  t_diagnostic = message;
  if (message.find("undefined symbol") != std::string::npos) return ERROR_PROC_NOT_FOUND;
  if (message.find("cannot open shared object") != std::string::npos) return ERROR_MOD_NOT_FOUND;
  return ERROR_BAD_EXE_FORMAT;
}

bool isRegularFile(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::is_regular_file(p, ec);
}

// The directories a bare name is looked for in, in order.
std::vector<std::u16string> searchDirectories(DWORD flags, std::u16string_view loadDirectory) {
  std::u16string appDir(directoryPart(executablePath()));
  std::vector<std::u16string> dirs;
  constexpr DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_APPLICATION_DIR |
                                 LOAD_LIBRARY_SEARCH_USER_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                                 LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;
  if (flags & kSearchFlags) {
    if ((flags & LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR) && !loadDirectory.empty()) dirs.emplace_back(loadDirectory);
    if (flags & (LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) dirs.push_back(appDir);
    if (flags & (LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)) dirs.emplace_back(kSystemDirectory);
    return dirs;
  }
  dirs = {appDir, kSystemDirectory, kWindowsDirectory, tw::path::CurrentDirectory()};
  if (auto path = tw::env::Get(u"PATH")) {
    std::u16string_view rest = *path;
    while (!rest.empty()) {
      size_t end = rest.find(u';');
      auto entry = rest.substr(0, end);
      if (!entry.empty()) dirs.emplace_back(entry);
      if (end == std::u16string_view::npos) break;
      rest.remove_prefix(end + 1);
    }
  }
  return dirs;
}

std::u16string joinPath(std::u16string_view dir, std::u16string_view name) {
  std::u16string out(dir);
  if (!out.empty() && !isSep(out.back())) out += u'\\';
  out += name;
  return out;
}

Module* findLoadedByName(std::u16string_view name, bool bare) {
  for (auto& m : state().modules) {
    if (bare ? EqualsNoCase(m->fileName, name) : EqualsNoCase(m->windowsPath, name)) return m.get();
  }
  return nullptr;
}

Module* findByBase(std::vector<std::unique_ptr<Module>>& list, std::uintptr_t base) {
  for (auto& m : list)
    if (m->base == base) return m.get();
  return nullptr;
}

void eraseModule(std::vector<std::unique_ptr<Module>>& list, Module* module) {
  std::erase_if(list, [module](const std::unique_ptr<Module>& m) { return m.get() == module; });
}

BOOL callEntry(Module& m, DWORD reason) {
  if (!m.entry || !m.callEntry) return TRUE;
  try {
    return m.entry(reinterpret_cast<HINSTANCE>(m.handle), reason, nullptr);
  } catch (...) {
    return FALSE;  // an exception never leaves a module
  }
}

void addReference() { tw::debug::Add(tw::debug::Counter::Modules, 1); }

HMODULE loadBuiltin(Registration& reg) {
  auto& s = state();
  for (auto& m : s.modules) {
    if (m->kind == Module::Kind::Builtin && m->handle == reg.handle) {
      ++m->refs;
      addReference();
      return m->handle;
    }
  }
  auto m = std::make_unique<Module>();
  m->kind = Module::Kind::Builtin;
  m->handle = reg.handle;
  m->fileName = reg.fileName;
  m->windowsPath = joinPath(kSystemDirectory, reg.fileName);
  m->refs = 1;
  m->exportNames = reg.names;
  m->exports = reg.exports;
  for (size_t i = 0; i < m->exports.size(); ++i)
    m->exports[i].name = reg.exports[i].name ? m->exportNames[i].c_str() : nullptr;
  m->resources = reg.resources;
  m->resourcesResolved = true;
  s.modules.push_back(std::move(m));
  addReference();
  return reg.handle;
}

HMODULE loadDataFile(const std::u16string& windowsPath, const std::filesystem::path& host, DWORD flags) {
  auto& s = state();
  for (auto& m : s.dataFiles) {
    if (EqualsNoCase(m->windowsPath, windowsPath)) {
      ++m->refs;
      addReference();
      return m->handle;
    }
  }
  if (DWORD rc = checkLoadable(host)) {
    SetLastError(rc);
    return nullptr;
  }
  void* dl = dlopen(host.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!dl) {
    SetLastError(dlopenError(dlerror()));
    return nullptr;
  }
  auto m = std::make_unique<Module>();
  m->kind = Module::Kind::DataFile;
  m->dl = dl;
  m->base = baseOfHandle(dl);
  // As on Windows, the low bits tell a data-file handle from a module handle.
  m->handle = reinterpret_cast<HMODULE>(m->base | ((flags & LOAD_LIBRARY_AS_IMAGE_RESOURCE) ? 2 : 1));
  m->windowsPath = windowsPath;
  m->fileName = std::u16string(fileNamePart(windowsPath));
  m->hostPath = host;
  m->refs = 1;
  m->callEntry = false;
  HMODULE handle = m->handle;
  s.dataFiles.push_back(std::move(m));
  addReference();
  return handle;
}

HMODULE loadElf(const std::u16string& windowsPath, const std::filesystem::path& host, DWORD flags) {
  auto& s = state();
  if (DWORD rc = checkLoadable(host)) {
    SetLastError(rc);
    return nullptr;
  }
  void* dl = dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!dl) {
    SetLastError(dlopenError(dlerror()));
    return nullptr;
  }
  std::uintptr_t base = baseOfHandle(dl);
  // The same object under another name (a link, a copy of the path with
  // other letter case): one module, one more reference.
  if (Module* same = findByBase(s.modules, base)) {
    dlclose(dl);
    ++same->refs;
    addReference();
    return same->handle;
  }
  auto owned = std::make_unique<Module>();
  Module* m = owned.get();
  m->kind = Module::Kind::Elf;
  m->dl = dl;
  m->base = base;
  m->handle = reinterpret_cast<HMODULE>(base);
  m->windowsPath = windowsPath;
  m->fileName = std::u16string(fileNamePart(windowsPath));
  m->hostPath = host;
  m->refs = 1;
  m->callEntry = !(flags & DONT_RESOLVE_DLL_REFERENCES);
  m->entry = reinterpret_cast<EntryPoint>(ownSymbol(*m, "DllMain"));
  s.modules.push_back(std::move(owned));
  if (!callEntry(*m, DLL_PROCESS_ATTACH)) {
    // Windows sends the detach at once and unloads the module.
    callEntry(*m, DLL_PROCESS_DETACH);
    t_diagnostic = "DllMain of " + ToUtf8(windowsPath) + " returned FALSE";
    eraseModule(s.modules, m);
    dlclose(dl);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  addReference();
  return m->handle;
}

Registration* findBuiltin(std::u16string_view fileName) {
  auto& s = state();
  auto it = s.builtins.find(Upcase(fileName));
  return it == s.builtins.end() ? nullptr : &it->second;
}

HMODULE load(LPCWSTR libFileName, HANDLE file, DWORD flags) {
  constexpr DWORD kKnownFlags = 0x3FFF;  // every LOAD_* flag up to LOAD_LIBRARY_SAFE_CURRENT_DIRS
  if (!libFileName || !*libFileName || file || (flags & ~kKnownFlags)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  t_diagnostic.clear();
  std::u16string name = withDefaultExtension(libFileName);
  bool asData = flags & (LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_DATAFILE_EXCLUSIVE |
                         LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  bool bare = !hasDirectory(name);

  std::lock_guard lock(LoaderLock());
  if (auto* reg = findBuiltin(fileNamePart(name)); reg && !asData) return loadBuiltin(*reg);

  // Already loaded: a bare name matches the file name of a loaded module, a
  // path its full path.
  std::u16string full;
  if (!bare) {
    if (DWORD rc = tw::path::FullPath(name, full)) {
      SetLastError(rc);
      return nullptr;
    }
  }
  if (Module* m = findLoadedByName(bare ? name : full, bare)) {
    ++m->refs;
    addReference();
    return m->handle;
  }

  std::vector<std::u16string> candidates;
  if (bare || (name[0] != u'\\' && name[0] != u'/' && !(name.size() > 1 && name[1] == u':'))) {
    // A relative name is tried under every directory of the search order.
    for (const auto& dir : searchDirectories(flags, {})) candidates.push_back(joinPath(dir, name));
  } else {
    candidates.push_back(full);
  }
  for (const auto& candidate : candidates) {
    std::u16string windowsPath;
    std::filesystem::path host;
    if (tw::path::FullPath(candidate, windowsPath) || tw::path::ToHost(windowsPath, host)) continue;
    std::error_code ec;
    if (!std::filesystem::exists(host, ec)) continue;
    if (!bare && !isRegularFile(host) && candidates.size() == 1) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    if (!isRegularFile(host)) continue;
    if (asData) {
      if (Module* m = findLoadedByName(windowsPath, false)) {  // already loaded as a module
        ++m->refs;
        addReference();
        return m->handle;
      }
      return loadDataFile(windowsPath, host, flags);
    }
    if (Module* m = findLoadedByName(windowsPath, false)) {
      ++m->refs;
      addReference();
      return m->handle;
    }
    return loadElf(windowsPath, host, flags);
  }
  t_diagnostic = ToUtf8(name) + " was not found";
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

Module* findNormal(HMODULE handle) {
  auto& s = state();
  if (!handle || handle == executable().handle) return &executable();
  for (auto& m : s.modules)
    if (m->handle == handle) return m.get();
  return nullptr;
}

BOOL release(HMODULE handle) {
  std::lock_guard lock(LoaderLock());
  auto& s = state();
  if (handle && handle == executable().handle) return TRUE;
  for (auto* list : {&s.modules, &s.dataFiles}) {
    for (auto& owned : *list) {
      Module* m = owned.get();
      if (m->handle != handle) continue;
      tw::debug::Add(tw::debug::Counter::Modules, -1);
      if (m->pinned || --m->refs > 0) return TRUE;
      if (m->kind == Module::Kind::Elf) callEntry(*m, DLL_PROCESS_DETACH);
      void* dl = m->dl;
      eraseModule(*list, m);
      if (dl) dlclose(dl);
      return TRUE;
    }
  }
  SetLastError(ERROR_MOD_NOT_FOUND);
  return FALSE;
}

FARPROC procAddress(HMODULE handle, LPCSTR procName) {
  std::lock_guard lock(LoaderLock());
  Module* m = findNormal(handle);
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  bool byOrdinal = IS_INTRESOURCE(procName);
  WORD ordinal = byOrdinal ? LOWORD(procName) : 0;
  if ((byOrdinal && ordinal == 0) || (!byOrdinal && !*procName)) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  if (m->kind == Module::Kind::Builtin) {
    for (const auto& e : m->exports) {
      if (byOrdinal ? e.ordinal == ordinal : (e.name && std::strcmp(e.name, procName) == 0)) return e.function;
    }
  } else if (byOrdinal) {
    std::string symbol = "tw_ordinal_" + std::to_string(ordinal);
    auto* entry = static_cast<const TW_ORDINAL_EXPORT*>(ownSymbol(*m, symbol.c_str()));
    if (entry && entry->magic == TW_ORDINAL_MAGIC && entry->ordinal == ordinal && entry->function)
      return entry->function;
  } else if (void* p = ownSymbol(*m, procName)) {
    return reinterpret_cast<FARPROC>(p);
  }
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

Module* findForHandleQuery(LPCWSTR moduleName) {
  std::u16string name = withDefaultExtension(moduleName);
  if (!hasDirectory(name)) {
    if (Module* m = findLoadedByName(name, true)) return m;
    if (EqualsNoCase(name, fileNamePart(executablePath()))) return &executable();
    return nullptr;
  }
  std::u16string full;
  if (tw::path::FullPath(name, full)) return nullptr;
  if (Module* m = findLoadedByName(full, false)) return m;
  if (EqualsNoCase(full, executablePath())) return &executable();
  return nullptr;
}

// The loader's thread notifier, registered when the layer loads.
void threadNotifier(bool attach) { NotifyThread(attach); }
struct RegisterNotifier {
  RegisterNotifier() { tw::thread::SetThreadNotifier(&threadNotifier); }
} g_registerNotifier;

}  // namespace

std::recursive_mutex& LoaderLock() { return state().lock; }

Module* FindByHandle(HMODULE handle) {
  if (Module* m = findNormal(handle)) return m;
  for (auto& m : state().dataFiles)
    if (m->handle == handle) return m.get();
  return nullptr;
}

std::vector<Module*> AllModules() {
  std::vector<Module*> all{&executable()};
  for (auto& m : state().modules) all.push_back(m.get());
  for (auto& m : state().dataFiles) all.push_back(m.get());
  return all;
}

const TW_RESOURCE_TABLE* ResourceTable(Module& m) {
  if (!m.resourcesResolved) {
    m.resourcesResolved = true;
    using Getter = const TW_RESOURCE_TABLE* (*)();
    if (auto getter = reinterpret_cast<Getter>(ownSymbol(m, "tw_resources"))) {
      try {
        m.resources = getter();
      } catch (...) {
        m.resources = nullptr;
      }
    }
  }
  const TW_RESOURCE_TABLE* t = m.resources;
  // A damaged table is treated as none rather than read blindly.
  if (!t || t->magic != TW_RESOURCES_MAGIC || t->version != TW_RESOURCES_VERSION || (t->count && !t->entries) ||
      t->count > 0x100000)
    return nullptr;
  return t;
}

}  // namespace detail

bool RegisterBuiltin(std::u16string_view fileName, std::span<const BuiltinExport> exports,
                     const TW_RESOURCE_TABLE* resources) {
  using namespace detail;
  if (fileName.empty() || hasDirectory(fileName)) return false;
  std::u16string name = withDefaultExtension(fileName);
  std::lock_guard lock(LoaderLock());
  auto& s = state();
  auto& reg = s.builtins[Upcase(name)];
  if (!reg.handle) {
    if (s.nextBuiltinSlot >= kBuiltinSlots) {
      s.builtins.erase(Upcase(name));
      return false;
    }
    reg.handle = reinterpret_cast<HMODULE>(&g_builtinHandles[64 * s.nextBuiltinSlot++]);
  }
  reg.fileName = name;
  reg.names.clear();
  reg.exports.assign(exports.begin(), exports.end());
  for (const auto& e : exports) reg.names.emplace_back(e.name ? e.name : "");
  reg.resources = resources;
  return true;
}

bool UnregisterBuiltin(std::u16string_view fileName) {
  using namespace detail;
  std::lock_guard lock(LoaderLock());
  return state().builtins.erase(Upcase(withDefaultExtension(fileName))) > 0;
}

std::string LastLoadDiagnostic() { return detail::t_diagnostic; }

void NotifyThread(bool attach) {
  using namespace detail;
  std::lock_guard lock(LoaderLock());
  // Entry points may load or free modules; walk a snapshot and skip any
  // module that went away meanwhile.
  std::vector<HMODULE> handles;
  for (auto& m : state().modules)
    if (m->kind == Module::Kind::Elf && m->entry && m->callEntry && m->threadCalls) handles.push_back(m->handle);
  if (!attach) std::reverse(handles.begin(), handles.end());
  for (HMODULE h : handles) {
    Module* m = findNormal(h);
    if (m && m->threadCalls) callEntry(*m, attach ? DLL_THREAD_ATTACH : DLL_THREAD_DETACH);
  }
}

}  // namespace tw::module

using namespace tw::module::detail;

TWAPI HMODULE LoadLibraryW(LPCWSTR lpLibFileName) { return load(lpLibFileName, nullptr, 0); }

TWAPI HMODULE LoadLibraryExW(LPCWSTR lpLibFileName, HANDLE hFile, DWORD dwFlags) {
  return load(lpLibFileName, hFile, dwFlags);
}

TWAPI BOOL FreeLibrary(HMODULE hLibModule) { return release(hLibModule); }

TWAPI FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) { return procAddress(hModule, lpProcName); }

TWAPI HMODULE GetModuleHandleW(LPCWSTR lpModuleName) {
  std::lock_guard lock(LoaderLock());
  if (!lpModuleName) return executable().handle;
  if (Module* m = findForHandleQuery(lpModuleName)) return m->handle;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

TWAPI BOOL GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule) {
  constexpr DWORD kKnown = GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT |
                           GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
  if (!phModule || (dwFlags & ~kKnown) ||
      ((dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) && (dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT))) {
    if (phModule) *phModule = nullptr;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *phModule = nullptr;
  std::lock_guard lock(LoaderLock());
  Module* m = nullptr;
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) {
    auto base = baseOfAddress(lpModuleName);
    if (base && base == executable().base) m = &executable();
    else if (base) m = findByBase(state().modules, base);
  } else {
    m = lpModuleName ? findForHandleQuery(lpModuleName) : &executable();
  }
  if (!m) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return FALSE;
  }
  if (dwFlags & GET_MODULE_HANDLE_EX_FLAG_PIN) {
    m->pinned = true;
  } else if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT) && m->kind != Module::Kind::Executable) {
    ++m->refs;
    addReference();
  }
  *phModule = m->handle;
  return TRUE;
}

TWAPI DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
  std::u16string path;
  {
    std::lock_guard lock(LoaderLock());
    Module* m = findNormal(hModule);
    if (!m) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return 0;
    }
    path = m->kind == Module::Kind::Executable ? executablePath() : m->windowsPath;
  }
  if (!lpFilename && nSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (path.size() < nSize) {
    std::copy(path.begin(), path.end(), lpFilename);
    lpFilename[path.size()] = 0;
    return static_cast<DWORD>(path.size());
  }
  // Too small: truncated to nSize characters with the terminator, as Windows
  // does since Vista, and the full nSize is returned.
  if (nSize) {
    std::copy_n(path.begin(), nSize - 1, lpFilename);
    lpFilename[nSize - 1] = 0;
  }
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return nSize;
}

TWAPI BOOL DisableThreadLibraryCalls(HMODULE hLibModule) {
  std::lock_guard lock(LoaderLock());
  Module* m = findNormal(hLibModule);
  if (!m || m->kind == Module::Kind::Executable) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  m->threadCalls = false;
  return TRUE;
}
