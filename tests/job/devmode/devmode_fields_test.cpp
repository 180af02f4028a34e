// Field access by name, the record dumps, and hostile records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "devmode_test_util.h"
#include "job/devmode/devmode_access.h"
#include "job/devmode/devmode_dump.h"
#include "job/devmode/devmode_fields.h"
#include "tw/utf.h"

using namespace tw::devmode;

namespace {

TEST(DevModeFields, TableCoversTheRecordWithoutOverlap) {
  auto fields = AllFields();
  ASSERT_FALSE(fields.empty());
  std::size_t end = 0;
  for (const FieldInfo& f : fields) {
    EXPECT_GE(f.offset, end) << tw::ToUtf8(f.name) << " overlaps the field before it";
    end = f.offset + f.Size();
    EXPECT_LE(end, kDevModeSize) << tw::ToUtf8(f.name);
  }
  // Every field the driver's documentation names is reachable by its name.
  struct Named {
    const char16_t* name;
    std::size_t offset;
  };
  const Named named[] = {{u"dmDeviceName", 0x00}, {u"dmDriverVersion", 0x42}, {u"dmPrintQuality", 0x5a},
                         {u"dmBitsPerPel", 0xa8}, {u"Flags", 0xdc},           {u"FileFormat", 0xe0},
                         {u"CustomParameter", 0x1a0f}, {u"PrinterID", 0x1a93}, {u"BarcodeX", 0x1aa3},
                         {u"Flags2", 0x1acb}, {u"PagesPerSheetFlags", 0x1ad0}};
  for (const Named& n : named) {
    const FieldInfo* f = FindField(n.name);
    ASSERT_NE(f, nullptr) << tw::ToUtf8(n.name);
    EXPECT_EQ(f->offset, n.offset) << tw::ToUtf8(n.name);
  }
  EXPECT_EQ(FindField(u"DM.dmPaperSize"), FindField(u"dmpapersize"));
  EXPECT_EQ(FindField(u"NoSuchField"), nullptr);
}

TEST(DevModeFields, SetByNameWritesTheBytesAtTheOffset) {
  auto dm = ZeroRecord();
  ASSERT_TRUE(SetFieldByName(*dm, u"FileFormat", u"7"));
  EXPECT_EQ(dm->FileFormat, 7u);
  ASSERT_TRUE(SetFieldByName(*dm, u"PrinterID", u"0x01020304"));
  const BYTE* raw = reinterpret_cast<const BYTE*>(dm.get());
  EXPECT_EQ(raw[0x1a93], 0x04);
  EXPECT_EQ(raw[0x1a96], 0x01);
  ASSERT_TRUE(SetFieldByName(*dm, u"dmPrintQuality", u"-5"));
  EXPECT_EQ(dm->DM.dmPrintQuality, -5);
  ASSERT_TRUE(SetFieldByName(*dm, u"OutputDirectory", u"C:\\Out"));
  EXPECT_EQ(dm->OutputDirectory.Get(), u"C:\\Out");
  ASSERT_TRUE(SetFieldByName(*dm, u"BarcodeQRParams", u"2,8,8"));
  EXPECT_EQ(raw[0x1ab2], 2);
  EXPECT_EQ(raw[0x1ab4], 8);

  // Refused: unknown names, bad numbers, out of range, strings without room for the terminator.
  EXPECT_FALSE(SetFieldByName(*dm, u"Nope", u"1"));
  EXPECT_FALSE(SetFieldByName(*dm, u"FileFormat", u"7x"));
  EXPECT_FALSE(SetFieldByName(*dm, u"FileFormat", u""));
  EXPECT_FALSE(SetFieldByName(*dm, u"FileFormat", u"-1"));
  EXPECT_FALSE(SetFieldByName(*dm, u"BatesProfile", u"256"));
  EXPECT_FALSE(SetFieldByName(*dm, u"dmOrientation", u"32768"));
  EXPECT_FALSE(SetFieldByName(*dm, u"FileExtension", u"abcde"));
  EXPECT_TRUE(SetFieldByName(*dm, u"FileExtension", u"abcd"));
  EXPECT_FALSE(SetFieldByName(*dm, u"BarcodeQRParams", u"1,2,3,4"));
  EXPECT_FALSE(SetFieldByName(*dm, u"BarcodeQRParams", u"1,x,3"));
  EXPECT_EQ(raw[0x1ab3], 8) << "a refused list changes nothing";
  EXPECT_EQ(dm->FileFormat, 7u);
}

TEST(DevModeFields, EveryFieldRoundTripsThroughText) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 20; ++round) {
    auto source = ZeroRecord();
    auto* bytes = reinterpret_cast<BYTE*>(source.get());
    for (std::size_t i = 0; i < kDevModeSize; ++i) bytes[i] = static_cast<BYTE>(rng());
    auto copy = ZeroRecord();
    for (const FieldInfo& f : AllFields()) {
      std::u16string text = GetFieldText(*source, f);
      ASSERT_TRUE(SetFieldText(*copy, f, text) || f.kind == FieldKind::String) << tw::ToUtf8(f.name);
      if (f.kind == FieldKind::String && text.size() >= f.count) {
        // An unterminated field reads as all its units and cannot be written back whole.
        EXPECT_EQ(text.size(), f.count);
        continue;
      }
      EXPECT_EQ(GetFieldText(*copy, f), text) << tw::ToUtf8(f.name);
    }
  }
}

TEST(DevModeFields, FieldDumpReadsBackIntoTheSameRecord) {
  std::mt19937 rng(77);
  auto source = ZeroRecord();
  for (const FieldInfo& f : AllFields()) {
    auto* at = reinterpret_cast<BYTE*>(source.get()) + f.offset;
    if (f.kind == FieldKind::String) {
      // A text of random length with a terminator, including characters beyond Latin-1.
      std::size_t n = rng() % f.count;
      for (std::size_t i = 0; i < n; ++i) {
        char16_t c = static_cast<char16_t>(u'A' + rng() % 26 + (i % 5 == 0 ? 0x400 : 0));
        std::memcpy(at + 2 * i, &c, 2);
      }
    } else {
      for (std::size_t i = 0; i < f.Size(); ++i) at[i] = static_cast<BYTE>(rng());
    }
  }
  auto copy = ZeroRecord();
  for (const std::u16string& line : DumpFields(*source)) ASSERT_TRUE(SetFieldFromLine(*copy, line)) << tw::ToUtf8(line);
  for (const FieldInfo& f : AllFields())
    EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(source.get()) + f.offset, reinterpret_cast<BYTE*>(copy.get()) + f.offset,
                          f.Size()),
              0)
        << tw::ToUtf8(f.name);
  EXPECT_FALSE(SetFieldFromLine(*copy, u"FileFormat"));
  EXPECT_TRUE(SetFieldFromLine(*copy, u"OutputDirectory=a=b")) << "only the first = separates";
  EXPECT_EQ(copy->OutputDirectory.Get(), u"a=b");
}

TEST(DevModeFields, UnterminatedStringsStopAtTheFieldEnd) {
  auto dm = ZeroRecord();
  auto* units = reinterpret_cast<BYTE*>(dm.get());
  for (std::size_t i = 0; i + 1 < kDevModeSize; i += 2) {
    units[i] = 'A';
    units[i + 1] = 0;
  }
  units[kDevModeSize - 1] = 'A';
  for (const FieldInfo& f : AllFields()) {
    if (f.kind != FieldKind::String) continue;
    EXPECT_EQ(GetFieldText(*dm, f).size(), f.count) << tw::ToUtf8(f.name);
  }
  EXPECT_EQ(dm->CustomParameter.Get().size(), 66u);
  EXPECT_EQ(dm->FileExtension.Length(), 5u);
  EXPECT_EQ(dm->ClientIPAddress.Get().size(), 16u);
}

TEST(DevModeDump, LinesPutTheColonInColumn28) {
  EXPECT_EQ(DumpLine(u"File format", u"7"), u"File format                 : 7");
  EXPECT_EQ(DumpLine(u"A label that is longer than 28", u"x"), u"A label that is longer than 28 : x");
}

TEST(DevModeDump, StandardPartDumpsTheStoredValues) {
  auto dm = ZeroRecord();
  dm->DM.dmDeviceName.Set(u"Tarnwick Printer");
  dm->DM.dmPrintQuality = -5;
  dm->DM.dmYResolution = 196;
  dm->DM.dmPaperLength = 2794;
  dm->DM.dmDriverVersion = 1470;
  auto lines = DumpStandardPart(*dm);
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines.front(), u"######################## DUMP Windows DEVMODE ########################");
  EXPECT_EQ(lines[1], u"Device Name                 : Tarnwick Printer");
  EXPECT_EQ(lines[2], u"X DPI                       : -5");
  EXPECT_EQ(lines[6], u"PaperHeight                 : 2794");
  EXPECT_EQ(lines[10], u"Driver version              : 1470");
  EXPECT_EQ(lines.back(), u"############################# END ############################");
}

TEST(DevModeDump, RecordDumpReadsByTheRules) {
  auto dm = ZeroRecord();
  dm->FileFormat = 7;
  dm->ColorMode = 9;
  dm->LossRatio = 0;
  dm->DM.dmPrintQuality = -5;
  dm->DM.dmYResolution = -5;
  dm->Flags = flags::Multipage | flags::KeepExistingFiles;
  dm->StartAppFlags = startapp::Start | startapp::Hidden;
  auto lines = DumpRecord(*dm);
  auto find = [&](std::u16string_view label) -> std::u16string {
    std::u16string prefix = DumpLine(label, u"");
    for (const auto& l : lines)
      if (l.starts_with(prefix)) return l.substr(prefix.size());
    return u"<missing>";
  };
  EXPECT_EQ(lines.front(), u"######################## DUMP DEVMODE ########################");
  EXPECT_EQ(find(u"File format"), u"7");
  EXPECT_EQ(find(u"ColorMode format"), u"3");
  EXPECT_EQ(find(u"LossRatio"), u"1");
  EXPECT_EQ(find(u"X DPI"), u"204");
  EXPECT_EQ(find(u"Y DPI"), u"98");
  EXPECT_EQ(find(u"BitsPerPixel"), u"24");
  EXPECT_EQ(find(u"IsAppendImageEnabled"), u"1");
  EXPECT_EQ(find(u"IsMultipageImageEnabled"), u"1");
  EXPECT_EQ(find(u"IsKeepExistingFilesEnabled"), u"1");
  EXPECT_EQ(find(u"IsFaxOutputEnabled"), u"0");
  EXPECT_EQ(find(u"IsStartApplicationEnabled"), u"1");
  EXPECT_EQ(find(u"IsStartHidden"), u"1");
  EXPECT_EQ(find(u"IsStartMinimized"), u"0");
  EXPECT_EQ(lines.back(), u"############################# END ############################");
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const auto& l) { return l.starts_with(u"Orientation "); }), 2);
}

// Random bytes, at an odd address at the very end of a heap block: every
// reader, the dumps and the field table stay inside the record and do not
// trip the sanitizers on unaligned members.
TEST(DevModeHostile, RandomRecordsThroughEveryReader) {
  std::mt19937 rng(99);
  std::vector<BYTE> block(kDevModeSize + 1);
  auto* dm = reinterpret_cast<TarnwickDEVMODE*>(block.data() + 1);
  for (int round = 0; round < 200; ++round) {
    for (BYTE& b : block) b = static_cast<BYTE>(rng());
    if (round % 3 == 0) {
      // Strings without any terminator.
      for (const FieldInfo& f : AllFields())
        if (f.kind == FieldKind::String)
          for (std::size_t i = 0; i < f.count * 2; i += 2) block[1 + f.offset + i] = 'x';
    }
    EXPECT_GE(GetXDPI(dm), 50);
    EXPECT_LE(GetYDPI(dm), 3000);
    EXPECT_LE(GetColorMode(dm), 3u);
    EXPECT_GE(GetLossRatio(dm), 1u);
    EXPECT_LE(GetLossRatio(dm), 100u);
    EXPECT_LE(GetBrightness(dm), 199u);
    EXPECT_LE(GetFileGenerationMethod(dm), 9u);
    EXPECT_LE(GetWatermarkBrightnessL(dm), 100u);
    EXPECT_LE(GetWatermarkBrightnessP(dm), 100u);
    EXPECT_LE(GetFaxMode(dm), 4u);
    for (DWORD i = 0; i < 17; ++i) (void)GetParameterOrder(dm, i);
    EXPECT_LE(GetCustomParameter(dm).size(), 66u);
    (void)IsAdvancedText(dm);
    EXPECT_EQ(DumpStandardPart(*dm).size(), 12u);
    EXPECT_FALSE(DumpRecord(*dm).empty());
    for (const FieldInfo& f : AllFields()) (void)GetFieldText(*dm, f);
    (void)ComputePaperPixels(*dm);
    (void)SetPaperWidth(*dm, static_cast<LONG>(rng()));
    (void)SetPaperLength(*dm, static_cast<LONG>(rng()));
    SetResolution(*dm, static_cast<LONG>(rng()), static_cast<LONG>(rng()));
    EXPECT_GE(GetXDPI(dm), 50);
  }
}

}  // namespace

namespace {

using namespace tw::devmode;

// What twdriver --set and --dump do with a record.
TEST(DevModeTool, AssignmentsThenDecodedDump) {
  auto dm = ZeroRecord();
  std::vector<std::u16string> sets = {u"FileFormat=7", u"ColorMode=0", u"OutputDirectory=C:\\Out", u"dmPrintQuality=-5",
                                      u"dm.dmYResolution=196", u"Flags=0x10000"};
  std::u16string error;
  ASSERT_TRUE(ApplyFieldAssignments(*dm, sets, error)) << std::string(error.begin(), error.end());
  auto lines = DecodedRecordLines(*dm);
  auto has = [&](std::u16string_view label, std::u16string_view value) {
    return std::find(lines.begin(), lines.end(), DumpLine(label, value)) != lines.end();
  };
  EXPECT_TRUE(has(u"File format", u"7"));
  EXPECT_TRUE(has(u"Output Directory", u"C:\\Out"));
  EXPECT_TRUE(has(u"X DPI", u"-5")) << "the standard part shows the stored value";
  EXPECT_TRUE(has(u"X DPI", u"204")) << "the record dump decodes it";
  EXPECT_TRUE(has(u"IsFaxOutputEnabled", u"1"));
  EXPECT_EQ(lines.front(), u"######################## DUMP Windows DEVMODE ########################");
}

TEST(DevModeTool, BadAssignmentsNameTheProblem) {
  auto dm = ZeroRecord();
  std::u16string error;
  std::vector<std::u16string> sets = {u"FileFormat=9", u"NoSuchField=1"};
  EXPECT_FALSE(ApplyFieldAssignments(*dm, sets, error));
  EXPECT_EQ(error, u"no field named \"NoSuchField\"");
  EXPECT_EQ(+dm->FileFormat, 9u) << "earlier assignments stay";
  sets = {u"FileFormat"};
  EXPECT_FALSE(ApplyFieldAssignments(*dm, sets, error));
  EXPECT_EQ(error, u"\"FileFormat\" is not Name=Value");
  sets = {u"dmOrientation=40000"};
  EXPECT_FALSE(ApplyFieldAssignments(*dm, sets, error));
  EXPECT_EQ(error, u"\"40000\" is not a value of dmOrientation");
  sets = {u"FileExtension=abcde"};
  EXPECT_FALSE(ApplyFieldAssignments(*dm, sets, error));
  EXPECT_EQ(error, u"the text for FileExtension does not fit in its 4 characters");

  std::vector<BYTE> bytes(kDevModeSize - 1);
  EXPECT_FALSE(RecordFromBytes(bytes, *dm, error));
  EXPECT_EQ(error, u"a DEVMODE record has 6879 bytes, not 6878");
  bytes.assign(kDevModeSize, 0x11);
  ASSERT_TRUE(RecordFromBytes(bytes, *dm, error));
  EXPECT_EQ(+dm->FileFormat, 0x11111111u);
}

}  // namespace
