// The settings catalogue: its shape, the check against an independently typed
// table, and the administrators' documentation generated from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "job/settings/catalogue.h"
#include "job/settings/catalogue_doc.h"
#include "tw_test.h"
#include "tw/utf.h"

using namespace tw::settings;

namespace {

std::filesystem::path SourceDir() { return twtest::SourcePath("tests/job/settings"); }

std::string U8(std::u16string_view s) { return tw::ToUtf8(s); }

TEST(Catalogue, EveryGroupAndNameOnce) {
  std::set<std::pair<std::u16string, std::u16string>> seen;
  for (const CatalogueRow& row : CatalogueRows())
    EXPECT_TRUE(seen.insert({row.group, row.name}).second) << U8(row.group) << " / " << U8(row.name);
  EXPECT_EQ(AllSettings().size(), static_cast<std::size_t>(SettingId::Count));
}

TEST(Catalogue, RowsAreConsistent) {
  for (const SettingDef& d : AllSettings()) {
    std::string where = U8(d.group) + " / " + U8(d.name);
    std::u16string_view group(d.group);
    // Printer groups hang below the printer key.
    if (d.store == Store::Printer || d.store == Store::DefaultUser) {
      EXPECT_TRUE(group.starts_with(u"%s")) << where;
    }
    bool iniType = d.type == ValueType::IniInt || d.type == ValueType::IniText;
    EXPECT_EQ(d.store == Store::Ini, iniType) << where;
    // A Save-As counterpart exists in the table of the row's kind.
    if (d.saveAs >= 0) {
      bool text = d.type == ValueType::Text || d.rule == Rule::SaveAsTextYesExact;
      EXPECT_NE(text ? SaveAsTextName(d.saveAs) : SaveAsDwordName(d.saveAs), nullptr) << where;
    }
    // Merge records decide switches and numbers only.
    if (d.merge != MergeRule::None) {
      EXPECT_TRUE(d.type == ValueType::Yes || d.type == ValueType::Number) << where;
    }
    bool needsField = d.merge != MergeRule::None && d.merge != MergeRule::LastJobOnly;
    EXPECT_EQ(needsField, d.mergeField != MergeField::None) << where;
    // Texts carry a text default, numbers none.
    bool isText = d.type == ValueType::Text || d.type == ValueType::IniText || d.type == ValueType::Binary;
    if (d.def.present) {
      EXPECT_EQ(isText, d.def.text != nullptr) << where;
    }
    if (d.size) {
      EXPECT_TRUE(isText) << where;
    }
  }
  EXPECT_EQ(FindSetting(u"%s\\page settings", u"FORCE PAPER SIZE"), &Definition(PageForcePaperSize));
  EXPECT_EQ(FindSetting(u"%s\\Page Settings", u"No such value"), nullptr);
  EXPECT_EQ(SaveAsDwordName(kSaveAsDwordCount), nullptr);
  EXPECT_EQ(SaveAsTextName(kSaveAsTextCount), nullptr);
}

TEST(Catalogue, DefaultTexts) {
  EXPECT_EQ(DefaultText(Definition(PageGrayscaleIntensityForTrimming)), u"1 (0 when the key is missing)");
  EXPECT_EQ(DefaultText(Definition(PrinterId)), u"none");
  EXPECT_EQ(DefaultText(Definition(RedirectCollatePages)), u"on");
  EXPECT_EQ(DefaultText(Definition(TextNoPageHeaders)), u"off");
  EXPECT_EQ(DefaultText(Definition(IniPluginFilename)), u"TwPlugIn.dll");
  EXPECT_EQ(DefaultText(Definition(IniStatisticsPipeName)), u"the job's messaging interface name");
}

// --- meanings ------------------------------------------------------------------

// Every row says what it is for, on its own: no cross-references a reader
// of the template cannot follow, no line breaks or tabs that would break a
// ".reg" comment, and quotes that pair up around the system's own texts.
TEST(Catalogue, EveryRowHasAMeaningThatReadsOnItsOwn) {
  for (const SettingDef& d : AllSettings()) {
    std::string where = U8(d.group) + " / " + U8(d.name);
    ASSERT_NE(d.meaning, nullptr) << where;
    std::u16string_view text(d.meaning);
    EXPECT_GE(text.size(), 8u) << where;
    EXPECT_EQ(text.find_first_of(u"\r\n\t"), std::u16string_view::npos) << where;
    EXPECT_EQ(text.back() == u'.' || text.back() == u' ', false) << where << ": a fragment, no full stop or blank";
    std::string lower = U8(text);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* ref : {"see below", "see above", "(below)", "(above)", "as above", "as below"})
      EXPECT_EQ(lower.find(ref), std::string::npos) << where << ": \"" << U8(text) << "\" refers to \"" << ref << "\"";
    EXPECT_FALSE(std::regex_search(lower, std::regex("\\bparts? *[0-9]|\\bp[0-9]\\.[0-9]")))
        << where << ": \"" << U8(text) << "\" names a section";
    EXPECT_EQ(std::count(text.begin(), text.end(), u'"') % 2, 0) << where << ": unpaired quote";
  }
}

// A few meanings typed from the configuration documentation's "Use" column,
// and the generated rows of the stamp keys.
TEST(Catalogue, KnownMeanings) {
  EXPECT_EQ(std::u16string_view(Definition(PageForcePaperSize).meaning), u"forced paper size code (dmPaperSize; 1 letter, 9 A4)");
  EXPECT_EQ(std::u16string_view(Definition(PageForcePaperWidth).meaning), u"forced paper width, 0.1 mm");
  EXPECT_EQ(std::u16string_view(Definition(NamingMergeUtility).meaning), u"merge utility program; merge mode needs it");
  EXPECT_EQ(std::u16string_view(Definition(JobAbortJob).meaning), u"the client asks to abort the job");
  EXPECT_EQ(std::u16string_view(Definition(IniPassword).meaning),
            u"a document name must contain this text; it is removed from the name");
  EXPECT_EQ(std::u16string_view(Definition(PostPrintViewInDefaultViewer).meaning),
            u"open the output with its default viewer");
  EXPECT_EQ(std::u16string_view(Definition(HeaderOffsetUnits).meaning),
            u"unit of \"Header Offset X\" and \"Header Offset Y\": 0 tenths of a millimetre, 1 hundredths of an inch, "
            u"any other value pixels");
  EXPECT_EQ(std::u16string_view(Definition(FooterFontQuality).meaning),
            u"footer font: output quality, low byte (lfQuality); the font is used only when all thirteen font values "
            u"and the face name are present");
  EXPECT_EQ(std::u16string_view(Definition(BatesFontWeight).meaning),
            u"Bates number font: weight, 400 normal, 700 bold (lfWeight)");
  // The PDF and PDF/A keys share their wording but name their own output.
  EXPECT_NE(std::u16string_view(Definition(PdfAJpegQuality).meaning).find(u"PDF/A"), std::u16string_view::npos);
  EXPECT_EQ(std::u16string_view(Definition(PdfJpegQuality).meaning).find(u"PDF/A"), std::u16string_view::npos);
}

// --- the independently typed table -------------------------------------------
//
// tests/job/settings/expected_catalogue.tsv is typed from the configuration
// documentation by someone who has not seen this table: one row per value,
// tab-separated, UTF-8, "#" lines and blank lines ignored:
//   group   value name   type   default   size   save-as
// (see CatalogueRow for the column forms).

struct ExpectedRow {
  int line;
  std::vector<std::string> cells;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> cells;
  std::stringstream in(line);
  std::string cell;
  while (std::getline(in, cell, '\t')) cells.push_back(cell);
  if (!line.empty() && line.back() == '\t') cells.emplace_back();
  return cells;
}

TEST(Catalogue, MatchesTheIndependentlyTypedTable) {
  std::filesystem::path file = SourceDir() / "expected_catalogue.tsv";
  if (!std::filesystem::exists(file))
    GTEST_SKIP() << "expected_catalogue.tsv is not there yet: the table typed independently from the "
                    "configuration documentation has to be added to "
                 << file.parent_path().string() << " (columns: group, value name, type, default, size, save-as)";
  std::ifstream in(file);
  ASSERT_TRUE(in) << "cannot read " << file;
  std::map<std::pair<std::string, std::string>, ExpectedRow> expected;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    auto cells = SplitTabs(line);
    ASSERT_GE(cells.size(), 3u) << "line " << number << " has fewer than three columns";
    cells.resize(6);
    auto key = std::make_pair(cells[0], cells[1]);
    EXPECT_TRUE(expected.emplace(key, ExpectedRow{number, cells}).second)
        << "line " << number << " repeats " << cells[0] << " / " << cells[1];
  }
  ASSERT_FALSE(expected.empty()) << file << " holds no rows";

  static const char* kColumns[] = {"group", "value name", "type", "default", "size", "save-as"};
  std::set<std::pair<std::string, std::string>> ours;
  for (const CatalogueRow& row : CatalogueRows()) {
    std::vector<std::string> cells = {U8(row.group), U8(row.name), U8(row.type),
                                      U8(row.defaultText), U8(row.size), U8(row.saveAs)};
    auto key = std::make_pair(cells[0], cells[1]);
    ours.insert(key);
    auto it = expected.find(key);
    if (it == expected.end()) {
      ADD_FAILURE() << "the catalogue has " << cells[0] << " / " << cells[1] << ", the expected table does not";
      continue;
    }
    for (std::size_t c = 2; c < 6; ++c)
      EXPECT_EQ(cells[c], it->second.cells[c])
          << kColumns[c] << " of " << cells[0] << " / " << cells[1] << " (expected table line " << it->second.line << ")";
  }
  for (const auto& [key, row] : expected)
    EXPECT_TRUE(ours.count(key)) << "the expected table (line " << row.line << ") has " << key.first << " / "
                                 << key.second << ", the catalogue does not";
}

// --- the administrators' documentation ----------------------------------------

TEST(Catalogue, DocumentationIsGeneratedFromTheTable) {
  std::filesystem::path doc = SourceDir().parent_path().parent_path().parent_path() / "docs" / "settings.md";
  std::string generated = SettingsDocumentation();
  if (std::getenv("TW_WRITE_SETTINGS_DOC")) {
    std::ofstream out(doc, std::ios::binary);
    out << generated;
    ASSERT_TRUE(out.good()) << "cannot write " << doc;
  }
  std::ifstream in(doc, std::ios::binary);
  ASSERT_TRUE(in) << doc << " is missing; run this test with TW_WRITE_SETTINGS_DOC=1 to write it";
  std::stringstream current;
  current << in.rdbuf();
  EXPECT_TRUE(current.str() == generated)
      << doc << " is out of date; run this test with TW_WRITE_SETTINGS_DOC=1 to write it again";
  // Every value of the catalogue appears in it.
  for (const SettingDef& d : AllSettings()) EXPECT_NE(generated.find(U8(d.name)), std::string::npos) << U8(d.name);
}

}  // namespace
