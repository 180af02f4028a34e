// `twspool settings`: the listing, and the .reg template that twreg imports.
#include <windows.h>

#include <fstream>
#include <sstream>

#include "job/settings/catalogue.h"
#include "job/settings/settings_store.h"
#include "tools/twreg/regfile.h"
#include "tools/twspool/settings_command.h"
#include "tw/utf.h"
#include "tw_test.h"

using namespace tw::settings;

namespace {

constexpr char16_t kPrinter[] = u"Tarnwick Printer";

std::filesystem::path binDir() {
  if (!twtest::BinDir().empty()) return twtest::BinDir();
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : self.parent_path();
}

std::string quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class SettingsCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetOncePerProcessState();
    scope_ = ScopeForPrinter(kPrinter);
  }
  std::string Run(const std::vector<std::string>& args, int expected = 0) {
    std::ostringstream out, err;
    EXPECT_EQ(twspool::RunSettingsCommand(args, out, err), expected) << err.str();
    return expected == 0 ? out.str() : err.str();
  }

  twtest::TempRoot root_;
  SettingsScope scope_;
};

TEST_F(SettingsCommand, Arguments) {
  EXPECT_NE(Run({}, 2).find("needs a PRINTER"), std::string::npos);
  EXPECT_NE(Run({"P", "--bogus"}, 2).find("unknown option --bogus"), std::string::npos);
  EXPECT_NE(Run({"P", "Q"}, 2).find("only one PRINTER"), std::string::npos);
  EXPECT_NE(Run({"P", "--ini"}, 2).find("--ini needs a FILE"), std::string::npos);
  twspool::SettingsOptions o;
  std::string error;
  ASSERT_TRUE(twspool::ParseSettingsArgs({"--reg", "Tarnwick Printer", "--ini", "C:\\p.ini"}, o, error));
  EXPECT_TRUE(o.reg);
  EXPECT_EQ(o.printer, kPrinter);
  EXPECT_EQ(o.iniFile, u"C:\\p.ini");
}

TEST_F(SettingsCommand, ListingMarksSetValuesAndShowsReadings) {
  ASSERT_TRUE(Write(scope_, PageForcePaperSize, 9));
  ASSERT_TRUE(Write(scope_, PagePrintSelectedPagesOnly, true));
  ASSERT_TRUE(Write(scope_, PageSelectedPages, u"1-3"));
  std::string text = Run({"Tarnwick Printer"});
  auto lines = Lines(text);
  auto has = [&](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
  EXPECT_TRUE(has("[HKEY_CURRENT_USER\\SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer\\Page Settings]"));
  EXPECT_TRUE(has("* Force Paper Size = 9"));
  EXPECT_TRUE(has("  Force Paper Width = 2159"));
  EXPECT_TRUE(has("* Print Selected Pages Only = on"));
  EXPECT_TRUE(has("* Selected Pages = \"1-3\""));
  EXPECT_TRUE(has("  Force DPI Enabled = off"));
  EXPECT_TRUE(has("[HKEY_USERS\\.DEFAULT\\SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer\\Filename Generation Settings]"));
  EXPECT_TRUE(has("[HKEY_CURRENT_USER\\SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer\\BatesNumbering\\1]"));
  EXPECT_EQ(text.find("Save As Option Settings"), std::string::npos);
  EXPECT_NE(text.find("INI values are not listed"), std::string::npos);
}

TEST_F(SettingsCommand, IniValuesAreListedFromTheGivenFile) {
  ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Messaging Timeout", u"2500", u"C:\\p.ini"));
  std::string text = Run({"Tarnwick Printer", "--ini", "C:\\p.ini"});
  auto lines = Lines(text);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "* Messaging Timeout = 2500"), lines.end()) << text;
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  Start Application Timeout = 5000"), lines.end());
}

TEST_F(SettingsCommand, RegTemplateParsesAndHoldsEveryPrinterValue) {
  ASSERT_TRUE(Write(scope_, PageForcePaperSize, 9));
  std::string reg = Run({"Tarnwick Printer", "--reg"});
  std::vector<twreg::RegKeyBlock> blocks;
  std::string error;
  ASSERT_TRUE(twreg::ParseRegFile(reg, &blocks, &error)) << error;
  size_t values = 0;
  for (const auto& b : blocks) values += b.values.size();
  // Every printer row without "%d" in its name is in the template, the
  // numbered groups once each; only rows without a default are commented out.
  size_t rows = 0, commented = 0;
  for (const SettingDef& d : AllSettings()) {
    std::u16string_view group(d.group), name(d.name);
    if (d.store == Store::Ini || d.store == Store::Absolute || group == u"%s\\%d" ||
        name.find(u"%d") != std::u16string_view::npos)
      continue;
    ++rows;
    if (!d.def.present || d.rule == Rule::DefaultIsInterfaceName ||
        !(d.type == ValueType::Dword || d.type == ValueType::Flag || d.type == ValueType::Number ||
          d.type == ValueType::DecimalText || d.type == ValueType::Yes || d.type == ValueType::No ||
          d.type == ValueType::Text))
      ++commented;
  }
  EXPECT_GT(rows, 100u);
  EXPECT_EQ(values, rows - commented);
  EXPECT_NE(reg.find("; Force Paper Size: DWORD, default 1; set\r\n\"Force Paper Size\"=dword:00000009\r\n"),
            std::string::npos);
  EXPECT_NE(reg.find("\"Force Paper Width\"=dword:0000086f\r\n"), std::string::npos);
}

TEST_F(SettingsCommand, RegTemplateRoundTripsThroughTwreg) {
  auto twreg = binDir() / "twreg";
  if (!std::filesystem::exists(twreg)) GTEST_SKIP() << "twreg is not built beside the tests";
  ASSERT_TRUE(Write(scope_, PageForcePaperSize, 9));
  ASSERT_TRUE(Write(scope_, PageSelectedPages, u"1-3; \"quoted\" \\ back"));
  ASSERT_TRUE(Write(scope_, NamingUseOutputDirectoryFromClient, true));
  std::string before = Run({"Tarnwick Printer"});
  std::string reg = Run({"Tarnwick Printer", "--reg"});
  std::filesystem::path file = root_.Dir() / "p.reg";
  std::ofstream(file, std::ios::binary) << reg;

  // A fresh root: everything comes from the import.
  twtest::TempRoot other;
  internal::ResetOncePerProcessState();
  std::string command = quote(twreg.string()) + " --root " + quote(other.Dir().string()) + " import " +
                        quote(file.string()) + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  std::string after = Run({"Tarnwick Printer"});
  // Same readings; every value is now set.
  auto strip = [](const std::string& text) {
    std::string out;
    for (const std::string& line : Lines(text))
      out += (line.starts_with("* ") ? "  " + line.substr(2) : line) + "\n";
    return out;
  };
  EXPECT_EQ(strip(after), strip(before));
  auto commented = [](const std::string& text) {
    size_t n = 0;
    for (size_t at = text.find("\r\n;\""); at != std::string::npos; at = text.find("\r\n;\"", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(commented(Run({"Tarnwick Printer", "--reg"})), commented(reg)) << "the same rows without default";
}

}  // namespace
