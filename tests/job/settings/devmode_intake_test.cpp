// Taking in a job's record: the steps that stand on the record and the
// printer's settings.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <random>

#include "devmode_test_util_settings.h"
#include "job/devmode/devmode_access.h"
#include "job/settings/devmode_intake.h"
#include "job/settings/job_environment.h"
#include "job/settings/shared_printer.h"
#include "job/settings/save_as.h"
#include "tw_test.h"

using namespace tw::settings;
namespace dm = tw::devmode;
using dm::TarnwickDEVMODE;

namespace {

constexpr char16_t kPrinter[] = u"Tarnwick Printer";

class DevModeIntake : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetOncePerProcessState();
    scope_ = ScopeForPrinter(kPrinter, 31, u"C:\\Windows\\System32\\spool\\drivers\\tw.ini");
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Windows\\System32\\spool", nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryW(u"C:\\Windows\\System32\\spool\\drivers", nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
  }
  void Ini(const char16_t* section, const char16_t* key, const char16_t* value) {
    ASSERT_TRUE(WritePrivateProfileStringW(section, key, value, scope_.iniFile.c_str()));
  }

  twtest::TempRoot root_;
  SettingsScope scope_;
  MergeState merge_;
};

TEST_F(DevModeIntake, DocumentNameLosesEveryExactOccurrence) {
  EXPECT_EQ(CleanDocumentName(scope_, u"Microsoft Word - report.docx"), u"Microsoft Word - report.docx");
  ASSERT_TRUE(Write(scope_, NamingRemoveTextFromDocumentName, u"Microsoft Word - "));
  EXPECT_EQ(CleanDocumentName(scope_, u"Microsoft Word - report.docx"), u"report.docx");
  EXPECT_EQ(CleanDocumentName(scope_, u"microsoft word - a"), u"microsoft word - a") << "case-sensitive";
  ASSERT_TRUE(Write(scope_, NamingRemoveTextFromDocumentName, u"ab"));
  EXPECT_EQ(CleanDocumentName(scope_, u"aabbabx"), u"abx") << "removed left to right, once per place";
}

TEST_F(DevModeIntake, DataTypeIsReadOnceAndMustMatchExactly) {
  const Fill fill{std::nullopt, 31};
  ASSERT_TRUE(Write(scope_, JobDataType, u"RAW", fill));
  EXPECT_TRUE(TakeJobDataType(scope_));
  EXPECT_FALSE(TryReadText(scope_, JobDataType).found) << "deleted";
  EXPECT_FALSE(TakeJobDataType(scope_));
  ASSERT_TRUE(Write(scope_, JobDataType, u"TEXT", fill));
  EXPECT_TRUE(TakeJobDataType(scope_));
  for (const char16_t* other : {u"raw", u"NT EMF 1.008", u"RAW "}) {
    ASSERT_TRUE(Write(scope_, JobDataType, other, fill));
    EXPECT_FALSE(TakeJobDataType(scope_));
  }
}

TEST_F(DevModeIntake, ALaterRecordWithAnotherFormatIsIgnored) {
  auto copy = ZeroedRecord();
  auto incoming = ZeroedRecord();
  incoming->FileFormat = 7;
  incoming->DM.dmPaperSize = 9;
  EffectiveContext ctx{scope_, copy.get(), merge_, false};
  ASSERT_TRUE(TakeIncomingRecord(*copy, *incoming, true, ctx));
  EXPECT_EQ(+copy->DM.dmPaperSize, 9);

  incoming->FileFormat = 36;
  incoming->DM.dmPaperSize = 1;
  EXPECT_FALSE(TakeIncomingRecord(*copy, *incoming, false, ctx));
  EXPECT_EQ(+copy->FileFormat, 7u);
  EXPECT_EQ(+copy->DM.dmPaperSize, 9);
  incoming->FileFormat = 7;
  EXPECT_TRUE(TakeIncomingRecord(*copy, *incoming, false, ctx));
  EXPECT_EQ(+copy->DM.dmPaperSize, 1);

  // The effective format counts: a Save-As format equal to the job's lets it in.
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::FileFormat, 7));
  incoming->FileFormat = 36;
  incoming->Flags = dm::flags::SaveAs;
  incoming->DM.dmPaperSize = 5;
  EXPECT_TRUE(TakeIncomingRecord(*copy, *incoming, false, ctx));
  EXPECT_EQ(+copy->DM.dmPaperSize, 5);
}

TEST_F(DevModeIntake, InconsistentRecordTakesTheUsersDefaultWithCarriedValues) {
  auto def = ZeroedRecord();
  def->DM.dmSize = 220;
  def->DM.dmDriverExtra = 6659;
  def->DM.dmOrientation = 1;
  def->DM.dmPaperSize = 1;
  def->DM.dmPaperWidth = 2159;
  def->DM.dmPaperLength = 2794;
  def->DM.dmScale = 100;
  def->DM.dmPrintQuality = 300;
  def->DM.dmYResolution = 300;
  def->FileFormat = 36;

  auto copy = ZeroedRecord();
  copy->DM.dmSize = 220;
  copy->DM.dmDriverExtra = 6659;
  EXPECT_FALSE(ReplaceInconsistentRecord(*copy, def.get())) << "a consistent record stays";

  copy->DM.dmDriverExtra = 100;
  copy->DM.dmOrientation = 2;
  copy->DM.dmPaperSize = 9;
  copy->DM.dmPaperWidth = 2100;
  copy->DM.dmPaperLength = 2970;
  copy->DM.dmScale = 100;
  copy->DM.dmPrintQuality = 600;
  copy->DM.dmYResolution = 0;  // not both above 0: not carried
  copy->FileFormat = 7;
  EXPECT_FALSE(ReplaceInconsistentRecord(*copy, nullptr)) << "no default: the copy stays";
  EXPECT_EQ(+copy->FileFormat, 7u);
  ASSERT_TRUE(ReplaceInconsistentRecord(*copy, def.get()));
  EXPECT_EQ(+copy->FileFormat, 36u);
  EXPECT_EQ(+copy->DM.dmDriverExtra, 6659);
  EXPECT_EQ(+copy->DM.dmOrientation, 2);
  EXPECT_EQ(+copy->DM.dmPaperSize, 9);
  EXPECT_EQ(+copy->DM.dmPaperWidth, 2100);
  EXPECT_EQ(+copy->DM.dmPaperLength, 2970);
  EXPECT_EQ(+copy->DM.dmPrintQuality, 300);
  EXPECT_EQ(+copy->DM.dmYResolution, 300);

  copy->DM.dmDriverExtra = 0;
  copy->DM.dmOrientation = 3;
  copy->DM.dmPaperSize = -4;
  copy->DM.dmPaperWidth = 0;
  ASSERT_TRUE(ReplaceInconsistentRecord(*copy, def.get()));
  EXPECT_EQ(+copy->DM.dmOrientation, 1);
  EXPECT_EQ(+copy->DM.dmPaperSize, 1);
  EXPECT_EQ(+copy->DM.dmPaperWidth, 2159);
}

TEST_F(DevModeIntake, ForcedPaperAndResolution) {
  auto rec = ZeroedRecord();
  rec->DM.dmPaperSize = 9;
  rec->DM.dmPaperWidth = 2100;
  rec->DM.dmPaperLength = 2970;
  rec->DM.dmScale = 100;
  rec->DM.dmPrintQuality = 600;
  rec->DM.dmYResolution = 600;
  rec->Flags = dm::flags::UserResolution | dm::flags::WriteText;
  EXPECT_FALSE(ApplyForcedPageSettings(scope_, *rec));
  EXPECT_EQ(+rec->Flags, dm::flags::UserResolution | dm::flags::WriteText);

  ASSERT_TRUE(Write(scope_, PageForceDpiEnabled, true));
  ASSERT_TRUE(Write(scope_, PageForcePaperXDpi, 204));
  ASSERT_TRUE(Write(scope_, PageForcePaperYDpi, 4000));  // stored by the resolution rule
  EXPECT_TRUE(ApplyForcedPageSettings(scope_, *rec));
  EXPECT_EQ(+rec->DM.dmPrintQuality, 204);
  EXPECT_EQ(+rec->DM.dmYResolution, 300);
  EXPECT_EQ(+rec->DM.dmPaperSize, 9);
  EXPECT_EQ(+rec->Flags, dm::flags::WriteText);

  ASSERT_TRUE(Write(scope_, PageForcePaperEnabled, true));
  ASSERT_TRUE(Write(scope_, PageForcePaperWidth, 33000));  // 3300 mm: stored at scale 1000
  EXPECT_TRUE(ApplyForcedPageSettings(scope_, *rec));
  EXPECT_EQ(+rec->DM.dmPaperSize, 1);
  EXPECT_EQ(+rec->DM.dmPaperWidth, 3300);
  EXPECT_EQ(+rec->DM.dmPaperLength, 279);
  EXPECT_EQ(+rec->DM.dmScale, 1000);
  EXPECT_EQ(dm::GetPaperWidth(*rec), 33000);
  EXPECT_EQ(+rec->PaperWidthInPixels, 2550);
  EXPECT_EQ(+rec->PaperHeightInPixels, 3300);
}

TEST_F(DevModeIntake, IniSettingsWithDefaultsAndLogLines) {
  EXPECT_FALSE(ReadSharingSettings(scope_).ignoreStandard);
  EXPECT_EQ(ReadOcrBitmapSettings(scope_).write, false);
  std::vector<std::u16string> log;
  JobTimeouts t = ReadJobTimeouts(scope_, &log);
  EXPECT_EQ(t.startApplication, 5000);
  EXPECT_EQ(log, (std::vector<std::u16string>{u"Start Application Timeout = 5000", u"Messaging Timeout = 10000",
                                              u"Messaging Timeout 2 = 10000"}));

  Ini(u"Sharing Settings", u"Ignore extended DEVMODE from clients", u"1");
  Ini(u"OCR Settings", u"Write Bitmaps", u"YES");
  Ini(u"OCR Settings", u"Bitmap Directory", u"C:\\Bitmaps");
  Ini(u"Default Settings", u"Messaging Timeout 2", u"250");
  Ini(u"Default Settings", u"Allow Anisotropic DPI", u"1");
  SharingSettings s = ReadSharingSettings(scope_);
  EXPECT_FALSE(s.ignoreStandard);
  EXPECT_TRUE(s.ignoreExtended);
  OcrBitmapSettings o = ReadOcrBitmapSettings(scope_);
  EXPECT_TRUE(o.write);
  EXPECT_EQ(o.directory, u"C:\\Bitmaps");
  log.clear();
  t = ReadJobTimeouts(scope_, &log);
  EXPECT_EQ(t.messaging2, 250);
  EXPECT_TRUE(t.allowAnisotropicDpi);
  EXPECT_EQ(log.back(), u"Messaging Timeout 2 = 250");
}

TEST_F(DevModeIntake, MessagingInterfaceFallbacks) {
  auto rec = ZeroedRecord();
  rec->MessagingInterfaceName.Set(u"FromRecord");
  rec->SessionID = 4;
  MessagingInterface mi = ResolveMessagingInterface(scope_, *rec);
  EXPECT_EQ(mi.name, u"FromRecord");
  EXPECT_EQ(mi.id, 4u);
  EXPECT_TRUE(mi.sessionUnknown);

  Ini(u"Default Settings", u"InterfaceName", u"FromIni");
  Ini(u"Default Settings", u"SessionID", u"3");
  mi = ResolveMessagingInterface(scope_, *rec);
  EXPECT_EQ(mi.name, u"FromIni");
  EXPECT_EQ(mi.id, 3u);

  ASSERT_TRUE(Write(scope_, MessagingInterfaceName, u"FromPrinter"));
  ASSERT_TRUE(Write(scope_, MessagingInterfaceId, 2));
  mi = ResolveMessagingInterface(scope_, *rec);
  EXPECT_EQ(mi.name, u"FromPrinter");
  EXPECT_EQ(mi.id, 2u);

  ASSERT_TRUE(Write(scope_, JobMessagingInterfaceName, u"FromJob"));
  ASSERT_TRUE(Write(scope_, JobMessagingInterfaceId, 1));
  ASSERT_TRUE(Write(scope_, JobWindowsSessionId, 1));
  mi = ResolveMessagingInterface(scope_, *rec);
  EXPECT_EQ(mi.name, u"FromJob");
  EXPECT_EQ(mi.id, 1u);
  EXPECT_FALSE(mi.sessionUnknown);
}

TEST_F(DevModeIntake, InMemorySwitchClearsNoFileOutput) {
  auto rec = ZeroedRecord();
  rec->Flags = dm::flags::NoFileOutput;
  std::vector<std::u16string> log;
  OutputSwitches s = ApplyInMemorySwitch(*rec, &log);
  EXPECT_FALSE(s.generateInMemory);
  EXPECT_TRUE(s.noFileOutput);
  EXPECT_EQ(log, (std::vector<std::u16string>{u"Messaging interface disabled.", u"Generate output in memory disabled."}));

  rec->Flags = dm::flags::NoFileOutput | dm::flags::GenerateInMemory | dm::flags::MessagingInterface;
  log.clear();
  s = ApplyInMemorySwitch(*rec, &log);
  EXPECT_TRUE(s.generateInMemory);
  EXPECT_FALSE(s.noFileOutput);
  EXPECT_EQ(+rec->Flags, dm::flags::GenerateInMemory | dm::flags::MessagingInterface);
  EXPECT_EQ(log, (std::vector<std::u16string>{u"Messaging interface enabled.", u"Generate output in memory enabled."}));
}

}  // namespace

namespace {

// Random records, with every string field unterminated in turn, through the
// intake steps, the shared-printer steps and the environment: nothing may
// crash or read past a field (the sanitizer build checks the reads).
TEST_F(DevModeIntake, RandomRecordsThroughEveryStep) {
  std::mt19937 random(11);
  auto copy = ZeroedRecord();
  auto incoming = ZeroedRecord();
  auto def = ZeroedRecord();
  def->DM.dmSize = 220;
  def->DM.dmDriverExtra = 6659;
  ASSERT_TRUE(Write(scope_, PageForcePaperEnabled, true));
  for (int i = 0; i < 60; ++i) {
    auto* bytes = reinterpret_cast<BYTE*>(incoming.get());
    for (size_t b = 0; b < sizeof(TarnwickDEVMODE); ++b) bytes[b] = static_cast<BYTE>(random());
    if (i % 2) std::memset(&incoming->ClientUserName, 0x41, 0x1330 - 0x12a6);  // the four client strings full
    EffectiveContext ctx{scope_, copy.get(), merge_, false};
    TakeIncomingRecord(*copy, *incoming, i % 3 == 0, ctx);
    ReplaceInconsistentRecord(*copy, def.get());
    ApplyForcedPageSettings(scope_, *copy);
    ResolveMessagingInterface(scope_, *incoming);
    ApplyInMemorySwitch(*incoming);
    IsSharedPrinter(kPrinterAttributeShared, std::nullopt, incoming.get(), u"TARNWICK-PC");
    CopySettingsForSharedPrinter(*copy, *incoming, i % 4 == 1, i % 4 == 2, i % 5 == 0);
    JobEnvironment env = GetEnvironmentVariables(scope_, incoming.get(), true, std::nullopt);
    EXPECT_LE(env.userName.size(), 21u);
    EXPECT_LE(env.ipAddress.size(), 16u);
    EXPECT_EQ(+copy->Flags & dm::flags::SaveAs, 0u);
  }
}

}  // namespace
