// The module loader: search order, names, reference counts, DllMain
// notifications, exports by name and ordinal, errors, built-in modules.
#include <cstring>

#include "module_test_support.h"
#include "tw/casefold.h"
#include "tw/utf.h"
#include "tw/token.h"
#include "windows.h"

namespace {

using modtest::Event;
using modtest::Events;
using modtest::Install;

class LoaderTest : public ::testing::Test {
 protected:
  ~LoaderTest() override { tw::path::SetCurrentDirectory(u"C:\\Windows\\System32"); }

  std::u16string FileName(HMODULE module) {
    WCHAR buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(module, buffer, MAX_PATH);
    return std::u16string(buffer, n);
  }
  // The Windows path of a built module in the application directory.
  std::u16string BuiltPath(const char* name) { return tw::path::FromHost(modtest::BuiltDir() / name); }

  twtest::TempRoot root_;
  twtest::LeakGuard guard_;
};

using AddFn = int(WINAPI*)(int, int);

TEST_F(LoaderTest, BareNameFollowsTheSearchOrder) {
  // The same file name in every place of the search order; each load finds
  // the first that is left.
  const std::u16string places[] = {u"C:\\Windows\\System32\\TwSearch.dll", u"C:\\Windows\\TwSearch.dll",
                                   u"C:\\Work\\TwSearch.dll", u"C:\\Tools\\TwSearch.dll"};
  for (const auto& place : places) Install("TwTestMod.dll", place);
  ASSERT_EQ(tw::path::SetCurrentDirectory(u"C:\\Work"), 0u);
  ASSERT_TRUE(SetEnvironmentVariableW(u"PATH", u"C:\\Nowhere;;C:\\Tools"));

  for (const auto& place : places) {
    HMODULE h = LoadLibraryW(u"TwSearch.dll");
    ASSERT_NE(h, nullptr) << tw::module::LastLoadDiagnostic();
    EXPECT_EQ(FileName(h), place);
    EXPECT_TRUE(FreeLibrary(h));
    modtest::Remove(place);
  }
  EXPECT_EQ(LoadLibraryW(u"TwSearch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(LoaderTest, ApplicationDirectoryComesFirstAndNamesIgnoreCase) {
  Install("TwTestMod.dll", u"C:\\Windows\\System32\\TwTestMod.dll");
  // No extension: ".dll" is appended; letter case does not matter.
  HMODULE h = LoadLibraryW(u"twtestmod");
  ASSERT_NE(h, nullptr) << tw::module::LastLoadDiagnostic();
  std::u16string expected = BuiltPath("TwTestMod.dll");
  EXPECT_TRUE(tw::EqualsNoCase(FileName(h), expected)) << tw::ToUtf8(FileName(h));
  // A loaded module is found again by its file name, in any case.
  EXPECT_EQ(GetModuleHandleW(u"TWTESTMOD.DLL"), h);
  EXPECT_EQ(GetModuleHandleW(u"TwTestMod"), h);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(GetModuleHandleW(u"TwTestMod.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(LoaderTest, FullPathLoadsThatFileAndReportsThatPath) {
  Install("TwTestMod.dll", u"C:\\Program Files\\Tarnwick\\TwPlugIn.dll");
  HMODULE h = LoadLibraryW(u"c:/program files/TARNWICK/twplugin.DLL");
  ASSERT_NE(h, nullptr) << tw::module::LastLoadDiagnostic();
  EXPECT_EQ(FileName(h), u"C:\\program files\\TARNWICK\\twplugin.DLL");
  // The same path spelled otherwise, and the bare file name, are the same module.
  EXPECT_EQ(LoadLibraryW(u"C:\\Program Files\\Tarnwick\\TwPlugIn.dll"), h);
  EXPECT_EQ(LoadLibraryW(u"TwPlugIn.dll"), h);
  EXPECT_EQ(Events().size(), 1u);  // one attach for the three loads
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(Events().back().reason, "process_detach");

  EXPECT_EQ(LoadLibraryW(u"C:\\Program Files\\Tarnwick\\Missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  // A name without extension gets ".dll", as on Windows; a folder is refused.
  EXPECT_EQ(LoadLibraryW(u"C:\\Program Files\\Tarnwick"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  std::filesystem::path folder;
  ASSERT_EQ(tw::path::ToHost(u"C:\\Program Files\\Tarnwick\\Folder.dll", folder), 0u);
  std::filesystem::create_directories(folder);
  EXPECT_EQ(LoadLibraryW(u"C:\\Program Files\\Tarnwick\\Folder.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST_F(LoaderTest, DllMainGetsProcessAttachOnceAndDetachAtTheLastFree) {
  pid_t me = gettid();
  HMODULE h = LoadLibraryW(u"TwTestMod.dll");
  ASSERT_NE(h, nullptr);
  auto self = reinterpret_cast<HINSTANCE(WINAPI*)()>(GetProcAddress(h, "TwSelf"));
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self(), h) << "DllMain gets the module's own handle";
  EXPECT_EQ(LoadLibraryW(u"TwTestMod.dll"), h);
  EXPECT_EQ(Events(), (std::vector<Event>{{"process_attach", me}}));

  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(GetModuleHandleW(u"TwTestMod.dll"), h) << "one reference is left";
  EXPECT_EQ(Events().size(), 1u);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(Events(), (std::vector<Event>{{"process_attach", me}, {"process_detach", me}}));
  EXPECT_FALSE(FreeLibrary(h));
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

  // Loaded again, it is a fresh instance: its statics start over.
  h = LoadLibraryW(u"TwTestMod.dll");
  auto count = reinterpret_cast<int(WINAPI*)()>(GetProcAddress(h, "TwCount"));
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(count(), 2);
  EXPECT_TRUE(FreeLibrary(h));
  h = LoadLibraryW(u"TwTestMod.dll");
  count = reinterpret_cast<int(WINAPI*)()>(GetProcAddress(h, "TwCount"));
  EXPECT_EQ(count(), 1);
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(LoaderTest, DllMainReturningFalseFailsTheLoadAndUnloads) {
  pid_t me = gettid();
  EXPECT_EQ(LoadLibraryW(u"TwFailInit.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_DLL_INIT_FAILED);
  // Windows sends the detach at once after a refused attach.
  EXPECT_EQ(Events(), (std::vector<Event>{{"process_attach", me}, {"process_detach", me}}));
  EXPECT_EQ(GetModuleHandleW(u"TwFailInit.dll"), nullptr);
  EXPECT_NE(tw::module::LastLoadDiagnostic().find("DllMain"), std::string::npos);
}

struct ThreadLog {
  pid_t tid = 0;
};

DWORD WINAPI RecordThread(LPVOID param) {
  static_cast<ThreadLog*>(param)->tid = gettid();
  return 0;
}

TEST_F(LoaderTest, ThreadsMadeByCreateThreadAttachAndDetach) {
  pid_t me = gettid();
  HMODULE h = LoadLibraryW(u"TwTestMod.dll");
  ASSERT_NE(h, nullptr);
  ThreadLog log;
  HANDLE thread = CreateThread(nullptr, 0, RecordThread, &log, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(Events(), (std::vector<Event>{{"process_attach", me}, {"thread_attach", log.tid},
                                          {"thread_detach", log.tid}}));

  // After DisableThreadLibraryCalls the module hears of no more threads.
  EXPECT_TRUE(DisableThreadLibraryCalls(h));
  thread = CreateThread(nullptr, 0, RecordThread, &log, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(thread);
  EXPECT_EQ(Events().size(), 3u);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_FALSE(DisableThreadLibraryCalls(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

struct LateThread {
  HANDLE go;
  pid_t tid = 0;
};

DWORD WINAPI WaitThenEnd(LPVOID param) {
  auto* late = static_cast<LateThread*>(param);
  late->tid = gettid();
  WaitForSingleObject(late->go, INFINITE);
  return 0;
}

TEST_F(LoaderTest, ThreadOlderThanTheModuleGetsOnlyTheDetach) {
  LateThread late{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  HANDLE thread = CreateThread(nullptr, 0, WaitThenEnd, &late, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  while (!__atomic_load_n(&late.tid, __ATOMIC_SEQ_CST)) Sleep(1);
  HMODULE h = LoadLibraryW(u"TwTestMod.dll");
  ASSERT_NE(h, nullptr);
  SetEvent(late.go);
  ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(Events(), (std::vector<Event>{{"process_attach", gettid()}, {"thread_detach", late.tid}}));
  CloseHandle(thread);
  CloseHandle(late.go);
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(LoaderTest, ModulesWithoutDllMainOrWithReferencesUnresolvedGetNoCalls) {
  HMODULE plain = LoadLibraryW(u"TwPlain.dll");
  ASSERT_NE(plain, nullptr);
  auto value = reinterpret_cast<int(WINAPI*)()>(GetProcAddress(plain, "TwPlainValue"));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value(), 42);
  EXPECT_EQ(GetProcAddress(plain, "DllMain"), nullptr);
  EXPECT_TRUE(FreeLibrary(plain));

  HMODULE h = LoadLibraryExW(u"TwTestMod.dll", nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(h, nullptr);
  EXPECT_NE(GetProcAddress(h, "TwAdd"), nullptr);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_TRUE(Events().empty());
}

TEST_F(LoaderTest, GetProcAddressByNameAndOrdinal) {
  HMODULE h = LoadLibraryW(u"TwTestMod.dll");
  ASSERT_NE(h, nullptr);
  auto add = reinterpret_cast<AddFn>(GetProcAddress(h, "TwAdd"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  EXPECT_EQ(reinterpret_cast<AddFn>(GetProcAddress(h, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(7)))), add);
  auto multiply = reinterpret_cast<AddFn>(GetProcAddress(h, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(5))));
  ASSERT_NE(multiply, nullptr);
  EXPECT_EQ(multiply(6, 7), 42);

  struct Missing {
    LPCSTR name;
    DWORD error;
  } missing[] = {
      {"Multiply", ERROR_PROC_NOT_FOUND},       // exported by ordinal only
      {"twadd", ERROR_PROC_NOT_FOUND},          // names are case-sensitive
      {"GetLastError", ERROR_PROC_NOT_FOUND},   // a function of a library the module uses, not its own
      {"", ERROR_PROC_NOT_FOUND},
      {reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(6)), ERROR_PROC_NOT_FOUND},
  };
  for (const auto& m : missing) {
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(h, m.name), nullptr);
    EXPECT_EQ(GetLastError(), m.error);
  }
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(GetProcAddress(h, "TwAdd"), nullptr) << "a freed module's handle is stale";
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(LoaderTest, FilesThatAreNotLoadableModules) {
  modtest::WriteFile(u"C:\\Windows\\System32\\Text.dll", "This is not a module\r\n");
  modtest::WriteFile(u"C:\\Windows\\System32\\Empty.dll", "");
  // An ELF header for 32-bit code.
  modtest::WriteFile(u"C:\\Windows\\System32\\Elf32.dll", std::string("\x7f" "ELF\x01\x01\x01", 7) + std::string(57, '\0'));
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  std::filesystem::path host;
  ASSERT_EQ(tw::path::ToHost(u"C:\\Windows\\System32\\Program.dll", host), 0u);
  std::filesystem::copy_file(self, host);  // an executable, not a shared object

  for (const char16_t* name : {u"Text.dll", u"Empty.dll", u"Elf32.dll", u"Program.dll"}) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(name), nullptr) << tw::ToUtf8(name);
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT) << tw::ToUtf8(name);
    EXPECT_FALSE(tw::module::LastLoadDiagnostic().empty());
  }
  // A shared object whose references cannot all be resolved.
  EXPECT_EQ(LoadLibraryW(u"TwUnresolved.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_NE(tw::module::LastLoadDiagnostic().find("TwNobodyProvidesThis"), std::string::npos);

  EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadLibraryExW(u"TwTestMod.dll", reinterpret_cast<HANDLE>(1), 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadLibraryExW(u"TwTestMod.dll", nullptr, 0x80000000), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(LoadLibraryW(u"\\\\server\\share\\TwTestMod.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_BAD_NETPATH);
}

TEST_F(LoaderTest, BuiltInModulesWinOverFiles) {
  Install("TwTestMod.dll", u"C:\\Windows\\System32\\Spoolss.dll");
  ASSERT_TRUE(tw::module::RegisterBuiltin(u"Spoolss.dll", tw::token::SpoolssExports()));
  HMODULE h = LoadLibraryW(u"SPOOLSS");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(LoadLibraryW(u"c:\\windows\\system32\\spoolss.dll"), h);
  EXPECT_EQ(GetProcAddress(h, "RevertToPrinterSelf"), reinterpret_cast<FARPROC>(&RevertToPrinterSelf));
  EXPECT_EQ(GetProcAddress(h, "ImpersonatePrinterClient"), reinterpret_cast<FARPROC>(&ImpersonatePrinterClient));
  EXPECT_EQ(GetProcAddress(h, "TwAdd"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(FileName(h), u"C:\\Windows\\System32\\Spoolss.dll");
  EXPECT_EQ(GetModuleHandleW(u"spoolss.dll"), h);
  EXPECT_TRUE(Events().empty()) << "the file was not loaded";
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(GetModuleHandleW(u"spoolss.dll"), nullptr);

  // Without the registration the file is loaded.
  ASSERT_TRUE(tw::module::UnregisterBuiltin(u"spoolss.dll"));
  h = LoadLibraryW(u"Spoolss.dll");
  ASSERT_NE(h, nullptr);
  EXPECT_NE(GetProcAddress(h, "TwAdd"), nullptr);
  EXPECT_EQ(Events().size(), 1u);
  EXPECT_TRUE(FreeLibrary(h));

  EXPECT_FALSE(tw::module::RegisterBuiltin(u"", {}));
  EXPECT_FALSE(tw::module::RegisterBuiltin(u"C:\\x\\y.dll", {}));
}

INT_PTR WINAPI Seven() { return 7; }

TEST_F(LoaderTest, BuiltInExportsByOrdinalAndTheLayersOwnBuiltIns) {
  const tw::module::BuiltinExport exports[] = {{"Seven", 0, reinterpret_cast<FARPROC>(&Seven)},
                                               {nullptr, 79, reinterpret_cast<FARPROC>(&Seven)}};
  ASSERT_TRUE(tw::module::RegisterBuiltin(u"TwImaging", exports));
  HMODULE h = LoadLibraryW(u"TwImaging.dll");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetProcAddress(h, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(79))), reinterpret_cast<FARPROC>(&Seven));
  EXPECT_EQ(GetProcAddress(h, reinterpret_cast<LPCSTR>(MAKEINTRESOURCEW(80))), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(h));
  tw::module::UnregisterBuiltin(u"TwImaging.dll");

  // "Userenv.dll" is provided by the layer itself.
  h = LoadLibraryW(u"Userenv.dll");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetProcAddress(h, "ExpandEnvironmentStringsForUserW"),
            reinterpret_cast<FARPROC>(&ExpandEnvironmentStringsForUserW));
  EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(LoaderTest, GetModuleFileNameTruncatesAsWindowsDoes) {
  Install("TwTestMod.dll", u"C:\\Windows\\System32\\TwName.dll");
  HMODULE h = LoadLibraryW(u"TwName.dll");
  ASSERT_NE(h, nullptr);
  const std::u16string full = u"C:\\Windows\\System32\\TwName.dll";
  const DWORD n = static_cast<DWORD>(full.size());
  WCHAR buffer[64];

  std::fill(std::begin(buffer), std::end(buffer), u'#');
  EXPECT_EQ(GetModuleFileNameW(h, buffer, n + 1), n);
  EXPECT_EQ(std::u16string(buffer), full);

  // One unit short: the path is cut to fit with its terminator, the size is
  // returned and the error says so.
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameW(h, buffer, n), n);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::u16string(buffer), full.substr(0, n - 1));

  buffer[0] = u'#';
  EXPECT_EQ(GetModuleFileNameW(h, buffer, 0), 0u);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(buffer[0], u'#');

  EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x1234), buffer, 64), 0u);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(h));

  // The executable: its own path, mapped back to a Windows path.
  EXPECT_EQ(FileName(nullptr), tw::path::FromHost(std::filesystem::read_symlink("/proc/self/exe")));
  EXPECT_EQ(FileName(GetModuleHandleW(nullptr)), FileName(nullptr));
}

TEST_F(LoaderTest, GetModuleHandleExCountsAndFindsByAddress) {
  HMODULE h = LoadLibraryW(u"TwTestMod.dll");
  ASSERT_NE(h, nullptr);
  auto add = GetProcAddress(h, "TwAdd");
  HMODULE found = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(add), &found));
  EXPECT_EQ(found, h);
  // An address in the executable gives the executable's handle.
  ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                     GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                 reinterpret_cast<LPCWSTR>(&RecordThread), &found));
  EXPECT_EQ(found, GetModuleHandleW(nullptr));

  // Without UNCHANGED_REFCOUNT the handle is one more reference.
  ASSERT_TRUE(GetModuleHandleExW(0, u"TwTestMod.dll", &found));
  EXPECT_EQ(found, h);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(GetModuleHandleW(u"TwTestMod.dll"), h);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_EQ(GetModuleHandleW(u"TwTestMod.dll"), nullptr);

  EXPECT_FALSE(GetModuleHandleExW(0, u"TwTestMod.dll", &found));
  EXPECT_EQ(found, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                  nullptr, &found));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// Threads loading, using and freeing modules at once: the table stays whole
// and every reference is given back.
DWORD WINAPI LoadAndFree(LPVOID) {
  for (int i = 0; i < 40; ++i) {
    HMODULE h = LoadLibraryW(i % 2 ? u"TwTestMod.dll" : u"TwPlain.dll");
    if (!h) return 1;
    if (!GetProcAddress(h, i % 2 ? "TwAdd" : "TwPlainValue")) return 2;
    WCHAR text[8];
    LoadStringW(h, 1, text, 8);
    if (!FreeLibrary(h)) return 3;
  }
  return 0;
}

TEST_F(LoaderTest, ConcurrentLoadsAndFrees) {
  HANDLE threads[4];
  for (auto& t : threads) t = CreateThread(nullptr, 0, LoadAndFree, nullptr, 0, nullptr);
  for (auto t : threads) {
    ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
    DWORD code = 99;
    EXPECT_TRUE(GetExitCodeThread(t, &code));
    EXPECT_EQ(code, 0u);
    CloseHandle(t);
  }
  EXPECT_EQ(GetModuleHandleW(u"TwTestMod.dll"), nullptr);
  // Every attach has its detach.
  auto events = Events();
  auto count = [&](const char* reason) {
    return std::count_if(events.begin(), events.end(), [&](const Event& e) { return e.reason == reason; });
  };
  EXPECT_GE(count("process_attach"), 1);
  EXPECT_EQ(count("process_attach"), count("process_detach"));
}

TEST_F(LoaderTest, DataFileLoadsReadResourcesWithoutRunningTheModule) {
  HMODULE data = LoadLibraryExW(u"TwTestMod.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(data, nullptr) << tw::module::LastLoadDiagnostic();
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(data) & 3, 1u) << "a data-file handle is marked in its low bits";
  EXPECT_TRUE(Events().empty());
  WCHAR text[64];
  EXPECT_EQ(LoadStringW(data, 10, text, 64), 21);
  EXPECT_EQ(GetProcAddress(data, "TwAdd"), nullptr);
  EXPECT_EQ(GetModuleHandleW(u"TwTestMod.dll"), nullptr);
  EXPECT_EQ(LoadLibraryExW(u"TwTestMod.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), data);
  EXPECT_TRUE(FreeLibrary(data));
  EXPECT_TRUE(FreeLibrary(data));
  EXPECT_FALSE(FreeLibrary(data));

  // A module already loaded is handed out as it is.
  HMODULE h = LoadLibraryW(u"TwTestMod.dll");
  EXPECT_EQ(LoadLibraryExW(u"TwTestMod.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), h);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_TRUE(FreeLibrary(h));
}

}  // namespace
