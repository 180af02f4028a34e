// `twspool settings`: the listing, and the .reg template that twreg imports.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <map>
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

// The rows a printer's template holds: its own registry values, not the
// per-job keys, the printer-ID table, INI values or values named by a number.
bool InTemplate(const SettingDef& d) {
  std::u16string_view group(d.group), name(d.name);
  return d.store != Store::Ini && d.store != Store::Absolute && group != u"%s\\%d" &&
         name.find(u"%d") == std::u16string_view::npos;
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
  EXPECT_EQ(text.find("forced paper size code"), std::string::npos) << "meanings are for the template";
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
    if (!InTemplate(d)) continue;
    ++rows;
    if (!d.def.present || d.rule == Rule::DefaultIsInterfaceName ||
        !(d.type == ValueType::Dword || d.type == ValueType::Flag || d.type == ValueType::Number ||
          d.type == ValueType::DecimalText || d.type == ValueType::Yes || d.type == ValueType::No ||
          d.type == ValueType::Text))
      ++commented;
  }
  EXPECT_GT(rows, 100u);
  EXPECT_EQ(values, rows - commented);
  EXPECT_NE(reg.find("; Force Paper Size: DWORD, default 1; set\r\n; forced paper size code (dmPaperSize; 1 letter, 9 "
                     "A4)\r\n\"Force Paper Size\"=dword:00000009\r\n"),
            std::string::npos);
  EXPECT_NE(reg.find("\"Force Paper Width\"=dword:0000086f\r\n"), std::string::npos);
}

// The comment lines above each value: type and default, then the meaning,
// wrapped; read back they give every printer row's meaning.
TEST_F(SettingsCommand, RegTemplateSaysWhatEachValueIsFor) {
  std::string reg = Run({"Tarnwick Printer", "--reg"});
  auto lines = Lines(reg);
  for (std::string& line : lines)
    if (!line.empty() && line.back() == '\r') line.pop_back();
  // Meanings as an administrator reads them in the printer configuration's
  // documentation, each on a comment line of its own below the type line.
  for (const char* expected : {
           "; Force Paper Enabled: flag, default off\n; force the paper",
           "; Merge Utility: text of at most 259 characters, default \"\"\n; merge utility program; merge mode needs it",
           "; Use Output Directory from Client: flag, default off\n; shared printers keep the client's output directory",
           "; Enable Default Cover Page: number, default 0\n; take \"Default Cover Page\" from this key rather than the "
           "per-job key",
           "; View in default viewer: yes, default off, Save-As value 1 overrides it\n; open the output with its "
           "default viewer",
           "; Send in email: yes, default off, Save-As value 37 overrides it\n; e-mail the output",
           "; Preview Window Overlay: text of at most 259 characters, default \"\"\n; overlay file of the preview",
       }) {
    std::string text(expected);
    std::string first = text.substr(0, text.find('\n')), second = text.substr(text.find('\n') + 1);
    auto at = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(first); });
    ASSERT_NE(at, lines.end()) << first;
    ASSERT_NE(at + 1, lines.end());
    EXPECT_TRUE(at[1].starts_with(second)) << at[1] << "\nexpected: " << second;
  }
  // Every comment line fits; none ends in a backslash.
  for (const std::string& line : lines) {
    if (!line.starts_with(";")) continue;
    EXPECT_LE(line.size(), twspool::kRegCommentWidth) << line;
    EXPECT_FALSE(line.ends_with("\\")) << line;
  }
  // Joined, the comment lines between the type line and the value give the
  // row's meaning, for every row of the template; long ones take several lines.
  std::multimap<std::string, std::string> described;  // name -> meaning
  size_t wrapped = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].starts_with("; ") || lines[i].find(": ") == std::string::npos) continue;
    std::string name = lines[i].substr(2, lines[i].find(": ") - 2);
    size_t j = i + 1;
    while (j < lines.size() && lines[j].starts_with("; ")) ++j;
    if (j == lines.size() || !(lines[j].starts_with("\"") || lines[j].starts_with(";\""))) continue;
    std::string meaning;
    for (size_t k = i + 1; k < j; ++k) meaning += (meaning.empty() ? "" : " ") + lines[k].substr(2);
    wrapped += j - i > 2;
    described.emplace(name, meaning);
    i = j;
  }
  size_t rows = 0;
  for (const SettingDef& d : AllSettings()) {
    if (!InTemplate(d)) continue;
    ++rows;
    auto range = described.equal_range(tw::ToUtf8(d.name));
    bool found = false;
    for (auto it = range.first; it != range.second; ++it) found = found || it->second == tw::ToUtf8(d.meaning);
    EXPECT_TRUE(found) << tw::ToUtf8(d.group) << " / " << tw::ToUtf8(d.name) << ": " << tw::ToUtf8(d.meaning);
  }
  EXPECT_GE(described.size(), rows);
  EXPECT_GT(wrapped, 0u) << "no meaning long enough to wrap";
}

TEST(RegComment, WrapsBetweenWordsWithinTheWidth) {
  EXPECT_EQ(twspool::RegComment(u"short text"), u"; short text\r\n");
  EXPECT_EQ(twspool::RegComment(u""), u"");
  // 60 + 1 + 60 characters do not fit in one line of 100.
  std::u16string a(60, u'a'), b(60, u'b');
  EXPECT_EQ(twspool::RegComment(a + u" " + b), u"; " + a + u"\r\n; " + b + u"\r\n");
  // Exactly 100 columns fit: "; " and 98 characters.
  std::u16string c(48, u'c'), d(49, u'd');
  EXPECT_EQ(twspool::RegComment(c + u" " + d), u"; " + c + u" " + d + u"\r\n");
  EXPECT_EQ(twspool::RegComment(c + u" " + d + u"e"), u"; " + c + u"\r\n; " + d + u"e\r\n");
  // A word longer than a line keeps a line of its own; runs of blanks collapse.
  std::u16string word(130, u'w');
  EXPECT_EQ(twspool::RegComment(u"x  " + word + u" y"), u"; x\r\n; " + word + u"\r\n; y\r\n");
  // A line ending in a backslash would swallow the value line below it.
  EXPECT_EQ(twspool::RegComment(u"into C:\\Out\\"), u"; into C:\\Out\\ ;\r\n");
}

TEST_F(SettingsCommand, RegTemplateRoundTripsThroughTwreg) {
  auto twreg = binDir() / "twreg";
  ASSERT_TRUE(std::filesystem::exists(twreg)) << "twreg is not built beside the tests";
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
