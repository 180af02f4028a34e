// The group data: values set, replaced and removed read back exactly;
// section and key names compare without case; texts shared between entries
// stay right when one of their holders changes.
#include "job/group/group_data.h"

#include <string>

#include "tw_test.h"
#include "tw/utf.h"

namespace {

using tw::group::GroupData;

std::u16string N(int n) { return tw::FromUtf8(std::to_string(n)); }

std::u16string ValueOf(const GroupData& data, std::u16string_view section, std::u16string_view key) {
  auto value = data.Find(section, key);
  return value ? std::u16string(*value) : u"<none>";
}

TEST(GroupDataTest, EveryValueOfAManyPageDocumentReadsBack) {
  GroupData data;
  EXPECT_TRUE(data.empty());
  // The pages share their keys and most of their values; names and values differ per page too.
  for (int page = 1; page <= 300; ++page) {
    const std::u16string section = u"Page " + N(page);
    data.Set(section, u"FileName", (u"C:\\Out\\report_" + N(page) + u".tif").c_str());
    data.Set(section, u"Orientation", u"Portrait");
    data.Set(section, u"X DPI", u"300");
    data.Set(u"Printer", u"Total number of pages", N(page).c_str());
  }
  EXPECT_FALSE(data.empty());
  for (int page = 1; page <= 300; ++page) {
    const std::u16string section = u"Page " + N(page);
    EXPECT_EQ(ValueOf(data, section, u"FileName"), u"C:\\Out\\report_" + N(page) + u".tif");
    EXPECT_EQ(ValueOf(data, section, u"Orientation"), u"Portrait");
    EXPECT_EQ(ValueOf(data, section, u"X DPI"), u"300");
  }
  EXPECT_EQ(ValueOf(data, u"Printer", u"Total number of pages"), u"300");
  EXPECT_EQ(ValueOf(data, u"Page 301", u"FileName"), u"<none>");
  EXPECT_EQ(ValueOf(data, u"Page 1", u"Y DPI"), u"<none>") << "a key of no section";
  EXPECT_EQ(ValueOf(data, u"Page 1", u"Page 2"), u"<none>") << "a section's name is no key";
}

TEST(GroupDataTest, NamesCompareWithoutCaseAndValuesExactly) {
  GroupData data;
  data.Set(u"Page 1", u"FileName", u"C:\\Out\\A.tif");
  EXPECT_EQ(ValueOf(data, u"PAGE 1", u"filename"), u"C:\\Out\\A.tif");
  data.Set(u"page 1", u"FILENAME", u"C:\\Out\\a.tif");
  EXPECT_EQ(ValueOf(data, u"Page 1", u"FileName"), u"C:\\Out\\a.tif") << "one key, its value replaced";
  data.Set(u"Page 2", u"FileName", u"C:\\Out\\A.tif");
  EXPECT_EQ(ValueOf(data, u"Page 2", u"FileName"), u"C:\\Out\\A.tif") << "values that differ in case are two";
  EXPECT_EQ(ValueOf(data, u"Page 1", u"FileName"), u"C:\\Out\\a.tif");
  data.Set(u"Page 1", u"Empty", u"");
  EXPECT_EQ(ValueOf(data, u"Page 1", u"Empty"), u"") << "an empty value is a value";
}

TEST(GroupDataTest, RemovalAndReplacementLeaveTheOtherHoldersOfATextAlone) {
  GroupData data;
  for (int page = 1; page <= 3; ++page) data.Set(u"Page " + N(page), u"Orientation", u"Portrait");
  data.Set(u"Page 2", u"Orientation", nullptr);
  data.Set(u"Page 3", u"Orientation", u"Landscape");
  EXPECT_EQ(ValueOf(data, u"Page 1", u"Orientation"), u"Portrait");
  EXPECT_EQ(ValueOf(data, u"Page 2", u"Orientation"), u"<none>");
  EXPECT_EQ(ValueOf(data, u"Page 3", u"Orientation"), u"Landscape");
  // A freed text's place is used again; the entries that remain keep theirs.
  data.Set(u"Page 1", u"Orientation", nullptr);
  data.Set(u"Page 4", u"Status", u"first");
  data.Set(u"Page 4", u"Orientation", u"second");
  EXPECT_EQ(ValueOf(data, u"Page 4", u"Status"), u"first");
  EXPECT_EQ(ValueOf(data, u"Page 4", u"Orientation"), u"second");
  EXPECT_EQ(ValueOf(data, u"Page 3", u"Orientation"), u"Landscape");
  data.Set(u"Page 3", u"Orientation", u"Landscape");
  EXPECT_EQ(ValueOf(data, u"Page 3", u"Orientation"), u"Landscape") << "set to the value it holds";
  // Removing what is not there changes nothing and makes no section.
  data.Set(u"Page 9", u"Orientation", nullptr);
  data.Set(u"Page 3", u"Missing", nullptr);
  EXPECT_EQ(ValueOf(data, u"Page 3", u"Orientation"), u"Landscape");
  GroupData fresh;
  fresh.Set(u"Page 1", u"Key", nullptr);
  EXPECT_TRUE(fresh.empty());
  // A section whose keys were all removed takes new ones.
  data.Set(u"Page 2", u"FileName", u"again");
  EXPECT_EQ(ValueOf(data, u"PAGE 2", u"FILENAME"), u"again");
}

}  // namespace
