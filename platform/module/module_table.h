// Private to the module area: the loader's table of loaded modules, shared by
// the loader and the resource functions.
#pragma once
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tw/module.h"

namespace tw::module::detail {

using EntryPoint = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

struct Module {
  enum class Kind { Executable, Elf, Builtin, DataFile };
  Kind kind = Kind::Elf;
  HMODULE handle = nullptr;
  std::u16string windowsPath;  // the full Windows path it was loaded by
  std::u16string fileName;     // its file-name part
  std::filesystem::path hostPath;
  void* dl = nullptr;  // dlopen handle (Executable, Elf, DataFile)
  std::uintptr_t base = 0;
  int refs = 0;
  bool pinned = false;
  bool callEntry = true;  // false after DONT_RESOLVE_DLL_REFERENCES
  bool threadCalls = true;
  EntryPoint entry = nullptr;
  // Built-ins: the registered exports (names owned here).
  std::vector<std::string> exportNames;
  std::vector<BuiltinExport> exports;
  // Resources: resolved on first use for files, given for built-ins.
  const TW_RESOURCE_TABLE* resources = nullptr;
  bool resourcesResolved = false;
};

// The loader lock: held while the table changes and while entry points run,
// as on Windows (so an entry point may itself load modules).
std::recursive_mutex& LoaderLock();

// The module behind a handle (null = the executable; a data-file handle is
// accepted), or null. Call with the loader lock held.
Module* FindByHandle(HMODULE handle);
// Every module that can own resources, for validating a resource handle.
std::vector<Module*> AllModules();
// The module's resource table, or null when it has none. Loader lock held.
const TW_RESOURCE_TABLE* ResourceTable(Module& module);

}  // namespace tw::module::detail
