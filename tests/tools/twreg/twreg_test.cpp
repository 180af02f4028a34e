// twreg, run as a program on a private machine root: the reg.exe syntax,
// output, errors, .reg files and round trips.
#include <windows.h>

#include <fstream>
#include <sstream>

#include "tw/registry.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

struct Result {
  int code = -1;
  std::string out, err;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The build's bin/ folder: TW_BIN_DIR, else the folder of this test program
// (every executable of the build lands in one folder).
std::filesystem::path binDir() {
  if (!twtest::BinDir().empty()) return twtest::BinDir();
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self.parent_path();
}

class Twreg : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(binDir() / "twreg")) << "twreg is not built beside the tests";
  }

  // Runs twreg on this test's root; `input` is its standard input.
  Result Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::string command = quote((binDir() / "twreg").string()) + " --root " + quote(root_.Dir().string());
    for (const auto& arg : args) command += " " + quote(arg);
    auto dir = root_.Dir();
    writeFile(dir / "stdin.txt", input);
    command += " <" + quote((dir / "stdin.txt").string()) + " >" + quote((dir / "stdout.txt").string()) + " 2>" +
               quote((dir / "stderr.txt").string());
    Result result;
    int status = std::system(command.c_str());
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(dir / "stdout.txt");
    result.err = readFile(dir / "stderr.txt");
    return result;
  }

  std::filesystem::path File(const char* name) const { return root_.Dir() / name; }

  twtest::TempRoot root_;
};

TEST_F(Twreg, AddThenQueryPrintsTheValue) {
  auto add = Run({"add", "HKCU\\SOFTWARE\\Tarnwick Software LLC\\P1\\Page Settings", "/v", "Force DPI Enabled", "/t",
                  "REG_DWORD", "/d", "1", "/f"});
  ASSERT_EQ(add.code, 0) << add.err;
  EXPECT_EQ(add.out, "The operation completed successfully.\n");
  auto query = Run({"query", "HKCU\\SOFTWARE\\Tarnwick Software LLC\\P1\\Page Settings", "/v", "Force DPI Enabled"});
  ASSERT_EQ(query.code, 0) << query.err;
  EXPECT_EQ(query.out,
            "\nHKEY_CURRENT_USER\\SOFTWARE\\Tarnwick Software LLC\\P1\\Page Settings\n"
            "    Force DPI Enabled    REG_DWORD    0x1\n\n");
  // The API sees the same value under HKU\.DEFAULT (the spooler account's hive).
  DWORD value = 0, size = 4;
  ASSERT_EQ(RegGetValueW(HKEY_USERS, u".DEFAULT\\SOFTWARE\\Tarnwick Software LLC\\P1\\Page Settings",
                         u"Force DPI Enabled", RRF_RT_REG_DWORD, nullptr, &value, &size),
            0);
  EXPECT_EQ(value, 1u);
}

TEST_F(Twreg, QueryListsValuesAndSubkeysLikeReg) {
  ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\T", "/ve", "/d", "default text"}).code, 0);
  ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\T", "/v", "List", "/t", "REG_MULTI_SZ", "/d", "a,b", "/s", ","}).code, 0);
  ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\T", "/v", "Big", "/t", "REG_QWORD", "/d", "0x100000000"}).code, 0);
  ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\T", "/v", "Bin", "/t", "REG_BINARY", "/d", "00ff10"}).code, 0);
  ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\T\\Sub"}).code, 0);
  auto query = Run({"query", "hklm\\software\\t"});
  ASSERT_EQ(query.code, 0) << query.err;
  EXPECT_EQ(query.out,
            "\nHKEY_LOCAL_MACHINE\\software\\t\n"
            "    (Default)    REG_SZ    default text\n"
            "    List    REG_MULTI_SZ    a\\0b\n"
            "    Big    REG_QWORD    0x100000000\n"
            "    Bin    REG_BINARY    00FF10\n"
            "\nHKEY_LOCAL_MACHINE\\software\\t\\Sub\n\n");
  auto search = Run({"query", "HKEY_LOCAL_MACHINE\\SOFTWARE", "/v", "Bin", "/s"});
  EXPECT_NE(search.out.find("End of search: 1 match(es) found."), std::string::npos) << search.out;
}

TEST_F(Twreg, ExportDeleteImportRestoresTheTreeByteForByte) {
  // Values of every kind, including a REG_SZ without terminator, which must
  // not come back with one.
  {
    HKEY key = nullptr, sub = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1\\PostPrint_TMP\\5", 0, nullptr,
                              0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              0);
    const char16_t yes[] = u"YES";
    ASSERT_EQ(RegSetValueExW(key, u"Ready", 0, REG_SZ, reinterpret_cast<const BYTE*>(yes), 6), 0);
    const char16_t path[] = u"C:\\Out\\\"x\".pdf";
    ASSERT_EQ(RegSetValueExW(key, u"Output Filename", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path), 0);
    const char16_t lines[] = u"two\r\nlines";
    ASSERT_EQ(RegSetValueExW(key, u"Multi line", 0, REG_SZ, reinterpret_cast<const BYTE*>(lines), sizeof lines), 0);
    DWORD flags = 0x11;
    ASSERT_EQ(RegSetValueExW(key, u"Flags", 0, REG_DWORD, reinterpret_cast<BYTE*>(&flags), 4), 0);
    std::vector<BYTE> devmode(6879);
    for (size_t i = 0; i < devmode.size(); ++i) devmode[i] = static_cast<BYTE>(i * 7);
    ASSERT_EQ(RegSetValueExW(key, u"DevMode", 0, REG_BINARY, devmode.data(), static_cast<DWORD>(devmode.size())), 0);
    const BYTE odd[] = {1, 2, 3};
    ASSERT_EQ(RegSetValueExW(key, u"Größe", 0, 0x20, odd, 3), 0);
    ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_DWORD, odd, 3), 0);  // a short DWORD stays 3 bytes
    ASSERT_EQ(RegCreateKeyExW(key, u"Ünïcode Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), 0);
    RegCloseKey(sub);
    RegCloseKey(key);
  }
  const std::string key = "HKCU\\SOFTWARE\\Tarnwick Software LLC";
  ASSERT_EQ(Run({"export", key, File("a.reg").string()}).code, 0);
  std::string first = readFile(File("a.reg"));
  ASSERT_GT(first.size(), 2u);
  EXPECT_EQ(first.substr(0, 2), "\xFF\xFE") << "UTF-16LE with a byte-order mark";
  auto del = Run({"delete", key, "/f"});
  ASSERT_EQ(del.code, 0) << del.err;
  EXPECT_NE(Run({"query", key}).code, 0);
  auto imp = Run({"import", File("a.reg").string()});
  ASSERT_EQ(imp.code, 0) << imp.err;
  ASSERT_EQ(Run({"export", key, File("b.reg").string()}).code, 0);
  EXPECT_EQ(readFile(File("b.reg")), first);

  DWORD size = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1\\PostPrint_TMP\\5", u"Ready",
                         RRF_RT_ANY | RRF_NOEXPAND, nullptr, nullptr, &size),
            0);
  HKEY check = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1\\PostPrint_TMP\\5", 0, KEY_READ,
                          &check),
            0);
  size = 0;
  ASSERT_EQ(RegQueryValueExW(check, u"Ready", nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 6u);
  ASSERT_EQ(RegQueryValueExW(check, nullptr, nullptr, nullptr, nullptr, &size), 0);
  EXPECT_EQ(size, 3u);
  RegCloseKey(check);
}

TEST_F(Twreg, ImportReadsHandWrittenUtf8Files) {
  writeFile(File("in.reg"),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
            "; a comment\n"
            "\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TwImageView.exe]\n"
            "@=\"C:\\\\Program Files\\\\Tw\\\\TwImageView.exe\"\n"
            "\"Path\"=hex(2):25,00,50,00,41,00,\\\n"
            "  54,00,48,00,25,00,00,00\n"
            "\"Count\"=dword:0000002a\n"
            "\"Gone\"=-\n"
            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Old]\n"
            "[HKU\\.DEFAULT\\SOFTWARE\\Tarnwick Software LLC\\P1\\Filename Generation Settings]\n"
            "; a comment ending in a path never swallows the next line: C:\\Out\\\n"
            "\"Use Output Directory from Client\"=dword:1\n");
  ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\Old\\Deep", "/v", "x", "/d", "y"}).code, 0);
  ASSERT_EQ(Run({"add", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TwImageView.exe", "/v",
                 "Gone", "/d", "1"})
                .code,
            0);
  auto imp = Run({"import", File("in.reg").string()});
  ASSERT_EQ(imp.code, 0) << imp.err;
  WCHAR text[64];
  DWORD size = sizeof text;
  ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE,
                         u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TwImageView.exe", nullptr,
                         RRF_RT_REG_SZ, nullptr, text, &size),
            0);
  EXPECT_EQ(std::u16string(text), u"C:\\Program Files\\Tw\\TwImageView.exe");
  DWORD type = 0;
  size = sizeof text;
  ASSERT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE,
                         u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TwImageView.exe", u"Path",
                         RRF_RT_ANY | RRF_NOEXPAND, &type, text, &size),
            0);
  EXPECT_EQ(type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(std::u16string(text), u"%PATH%");
  auto gone = Run({"query", "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\TwImageView.exe", "/v",
                   "Gone"});
  EXPECT_NE(gone.code, 0);
  EXPECT_NE(Run({"query", "HKLM\\SOFTWARE\\Old"}).code, 0);
  EXPECT_EQ(Run({"query", "HKCU\\SOFTWARE\\Tarnwick Software LLC\\P1\\Filename Generation Settings", "/v",
                 "Use Output Directory from Client"})
                .code,
            0);
}

TEST_F(Twreg, MalformedFilesNameTheLineAndWriteNothing) {
  struct Case {
    const char* text;
    const char* expect;
  } cases[] = {
      {"REGEDIT4\n[HKCU\\SOFTWARE\\A]\n", "line 1:"},
      {"Windows Registry Editor Version 5.00\n\n[HKCU\\SOFTWARE\\A]\n\"ok\"=dword:1\n\"bad\"=dword:123456789\n",
       "line 5:"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\SOFTWARE\\A]\n\"x\"=\"C:\\Temp\"\n", "line 3:"},
      {"Windows Registry Editor Version 5.00\n\"orphan\"=\"v\"\n", "line 2:"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\SOFTWARE\\A\n", "line 2:"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\SOFTWARE\\A]\n\"x\"=hex(zz):00\n", "line 3:"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\SOFTWARE\\A]\n[HKXX\\SOFTWARE]\n", "line 3:"},
      {"Windows Registry Editor Version 5.00\n[HKCU\\SOFTWARE\\A]\n\"x\"=\"unterminated\n", "line 3:"},
  };
  for (const auto& c : cases) {
    writeFile(File("bad.reg"), c.text);
    auto result = Run({"import", File("bad.reg").string()});
    EXPECT_NE(result.code, 0) << c.text;
    EXPECT_NE(result.err.find(c.expect), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << "one line: " << result.err;
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\A", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND) << c.text;
  }
  // Invalid UTF-8 without a byte-order mark.
  writeFile(File("bad.reg"), "Windows Registry Editor Version 5.00\n[HKCU\\SOFTWARE\\A]\n\"x\"=\"\xC3\"\n");
  EXPECT_NE(Run({"import", File("bad.reg").string()}).err.find("UTF"), std::string::npos);
}

TEST_F(Twreg, ImportFailingHalfWayUndoesEverything) {
  // The second key cannot be created (non-volatile below a volatile key):
  // the first one must not stay behind.
  HKEY vol = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Vol", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &vol, nullptr),
            0);
  RegCloseKey(vol);
  writeFile(File("in.reg"),
            "Windows Registry Editor Version 5.00\n[HKCU\\SOFTWARE\\First]\n\"a\"=dword:1\n"
            "[HKCU\\SOFTWARE\\Vol\\Stable]\n");
  auto result = Run({"import", File("in.reg").string()});
  EXPECT_NE(result.code, 0);
  EXPECT_NE(result.err.find("line 4:"), std::string::npos) << result.err;
  EXPECT_NE(Run({"query", "HKCU\\SOFTWARE\\First"}).code, 0);
  // A restart removes the volatile key.
  auto boot = Run({"boot"});
  EXPECT_EQ(boot.code, 0);
  EXPECT_EQ(boot.out, "1 volatile key(s) removed.\n");
  EXPECT_NE(Run({"query", "HKCU\\SOFTWARE\\Vol"}).code, 0);
}

TEST_F(Twreg, ClearErrorsAndExitCodes) {
  auto missing = Run({"query", "HKLM\\SOFTWARE\\Missing"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err,
            "twreg: ERROR: The system was unable to find the specified registry key or value. "
            "(HKEY_LOCAL_MACHINE\\SOFTWARE\\Missing)\n");
  EXPECT_NE(Run({"query", "HKXX\\SOFTWARE"}).err.find("Invalid key name"), std::string::npos);
  EXPECT_NE(Run({"query", "\\\\server\\HKLM\\SOFTWARE"}).err.find("Remote"), std::string::npos);
  auto badData = Run({"add", "HKCU\\SOFTWARE\\X", "/v", "n", "/t", "REG_DWORD", "/d", "12abc"});
  EXPECT_EQ(badData.code, 1);
  EXPECT_NE(badData.err.find("Invalid data"), std::string::npos);
  EXPECT_NE(Run({"add", "HKCU\\SOFTWARE\\X", "/t", "REG_FOO"}).err.find("Invalid type"), std::string::npos);
  EXPECT_EQ(Run({"frobnicate"}).code, 2);
  EXPECT_EQ(Run({"add", "HKCU\\SOFTWARE\\X", "/q"}).code, 2);
  std::string longName(256, 'k');
  auto tooLong = Run({"add", "HKCU\\SOFTWARE\\" + longName});
  EXPECT_EQ(tooLong.code, 1);
  EXPECT_NE(tooLong.err.find("255"), std::string::npos) << tooLong.err;
  EXPECT_EQ(Run({"delete", "HKLM", "/f"}).code, 1);
  EXPECT_EQ(Run({"/?"}).code, 0);
}

TEST_F(Twreg, DeleteValuesAndPrompts) {
  ASSERT_EQ(Run({"add", "HKCU\\SOFTWARE\\D", "/v", "a", "/d", "1"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\SOFTWARE\\D", "/v", "b", "/d", "2"}).code, 0);
  ASSERT_EQ(Run({"add", "HKCU\\SOFTWARE\\D", "/ve", "/d", "3"}).code, 0);
  // Overwriting asks unless /f is given; "no" keeps the value.
  auto asked = Run({"add", "HKCU\\SOFTWARE\\D", "/v", "a", "/d", "9"}, "no\n");
  EXPECT_NE(asked.out.find("exists, overwrite(Yes/No)?"), std::string::npos);
  EXPECT_NE(Run({"query", "HKCU\\SOFTWARE\\D", "/v", "a"}).out.find("REG_SZ    1"), std::string::npos);
  EXPECT_EQ(Run({"add", "HKCU\\SOFTWARE\\D", "/v", "a", "/d", "9"}, "yes\n").code, 0);
  EXPECT_NE(Run({"query", "HKCU\\SOFTWARE\\D", "/v", "a"}).out.find("REG_SZ    9"), std::string::npos);
  EXPECT_EQ(Run({"delete", "HKCU\\SOFTWARE\\D", "/ve", "/f"}).code, 0);
  EXPECT_NE(Run({"query", "HKCU\\SOFTWARE\\D", "/ve"}).code, 0);
  EXPECT_EQ(Run({"delete", "HKCU\\SOFTWARE\\D", "/va", "/f"}).code, 0);
  auto empty = Run({"query", "HKCU\\SOFTWARE\\D"});
  EXPECT_EQ(empty.out, "\nHKEY_CURRENT_USER\\SOFTWARE\\D\n\n");
  EXPECT_EQ(Run({"delete", "HKCU\\SOFTWARE\\D"}, "n\n").code, 1);
  EXPECT_EQ(Run({"query", "HKCU\\SOFTWARE\\D"}).code, 0);
  EXPECT_EQ(Run({"delete", "HKCU\\SOFTWARE\\D"}, "y\n").code, 0);
  EXPECT_NE(Run({"query", "HKCU\\SOFTWARE\\D"}).code, 0);
}

// Three imports into a root whose registry does not exist yet: they create
// it together, and every one of them succeeds and arrives whole.
TEST_F(Twreg, ImportsAtOnceIntoAFreshRootAllArriveWhole) {
  constexpr int kFiles = 3;
  std::string bin = quote((binDir() / "twreg").string()) + " --root " + quote(root_.Dir().string());
  std::string command, pids;
  for (int f = 0; f < kFiles; ++f) {
    std::ostringstream text;
    text << "Windows Registry Editor Version 5.00\n";
    for (int k = 0; k < 40; ++k) {
      text << "[HKCU\\SOFTWARE\\Par\\F" << f << "\\K" << k << "]\n";
      for (int v = 0; v < 5; ++v) text << "\"v" << v << "\"=dword:" << std::hex << (f * 1000 + k * 10 + v) << std::dec << "\n";
    }
    std::string name = "p" + std::to_string(f);
    writeFile(File((name + ".reg").c_str()), text.str());
    command += bin + " import " + quote(File((name + ".reg").c_str()).string()) + " >/dev/null 2>" +
               quote(File((name + ".err").c_str()).string()) + " & " + name + "=$!; ";
    pids += " $" + name;
  }
  // Each import's own exit status counts (a bare `wait` would hide it).
  command += "rc=0; for p in" + pids + "; do wait $p || rc=1; done; exit $rc";
  int status = std::system(command.c_str());
  std::string errors;
  for (int f = 0; f < kFiles; ++f) errors += readFile(File(("p" + std::to_string(f) + ".err").c_str()));
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << errors;
  EXPECT_EQ(errors, "");
  for (int f = 0; f < kFiles; ++f)
    for (int k = 0; k < 40; ++k)
      for (int v = 0; v < 5; ++v) {
        std::u16string sub = tw::FromUtf8("SOFTWARE\\Par\\F" + std::to_string(f) + "\\K" + std::to_string(k));
        std::u16string name = tw::FromUtf8("v" + std::to_string(v));
        DWORD value = 0, size = 4;
        ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, sub.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size),
                  0)
            << f << "\\" << k << "\\" << v;
        EXPECT_EQ(value, static_cast<DWORD>(f * 1000 + k * 10 + v));
      }
}

TEST_F(Twreg, DamagedDatabaseGivesAClearMessage) {
  std::string garbage(4096, '\x42');
  writeFile(tw::registry::DatabasePath(), garbage);
  auto result = Run({"query", "HKLM\\SOFTWARE"});
  EXPECT_EQ(result.code, 1);
  EXPECT_NE(result.err.find("registry.sqlite"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("left as it is"), std::string::npos) << result.err;
  EXPECT_EQ(readFile(tw::registry::DatabasePath()), garbage);
}

}  // namespace
