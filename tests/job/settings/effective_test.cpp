// The effective-setting rule: merge record, then Save-As value, then record
// field or registry value; and the Save-As key itself.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "job/devmode/devmode_access.h"
#include "job/settings/effective.h"
#include "job/settings/registry_key.h"
#include "job/settings/save_as.h"
#include "tw_test.h"
#include "winerror.h"
#include "winreg.h"

using namespace tw::settings;
using tw::devmode::TarnwickDEVMODE;
using tw::merge::MergeJobSettings;

namespace {

constexpr char16_t kPrinter[] = u"Tarnwick Printer";
constexpr DWORD kJob = 12;

class EffectiveRule : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetOncePerProcessState();
    std::memset(record_.get(), 0, sizeof(TarnwickDEVMODE));
    record_->DM.dmDeviceName.Set(kPrinter);
    record_->FileFormat = 7;
    record_->ColorMode = 0;
    record_->LossRatio = 50;
    scope_ = ScopeForRecord(*record_, kJob);
  }
  EffectiveContext Context() const { return EffectiveContext{scope_, record_.get(), merge_, tiffViewer_}; }
  void SaveAsOn() { record_->Flags |= tw::devmode::flags::SaveAs; }

  twtest::TempRoot root_;
  twtest::LeakGuard keys_;
  std::unique_ptr<TarnwickDEVMODE> record_ = std::make_unique<TarnwickDEVMODE>();
  SettingsScope scope_;
  MergeState merge_;
  bool tiffViewer_ = false;
};

TEST_F(EffectiveRule, SaveAsValuesCountOnlyWithFlagsBit31) {
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::FileFormat, 36));
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::ColorDepth, 3));
  EXPECT_EQ(EffectiveFileFormat(Context()), 7u);
  EXPECT_EQ(EffectiveColorMode(Context()), 0u);
  SaveAsOn();
  EXPECT_EQ(EffectiveFileFormat(Context()), 36u);
  EXPECT_EQ(EffectiveColorMode(Context()), 3u);
}

TEST_F(EffectiveRule, PresentSaveAsValueWinsEvenWhenZeroMissingFallsBack) {
  SaveAsOn();
  record_->Flags |= tw::devmode::flags::InternetTiff | tw::devmode::flags::ReverseBitOrder;
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::TiffInternetTiffFormat, 0));
  EXPECT_FALSE(EffectiveInternetTiff(Context())) << "present and 0 wins over the record";
  EXPECT_TRUE(EffectiveReverseBitOrder(Context())) << "missing falls back to the record";
  // Registry-backed: "Send in email" with Save-As 37.
  ASSERT_TRUE(Write(scope_, PostPrintSendInEmail, true));
  EXPECT_TRUE(Effective(Context(), PostPrintSendInEmail));
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::SendPrintedDocumentInEmail, 0));
  EXPECT_FALSE(Effective(Context(), PostPrintSendInEmail));
  // A number: "Stream Compression" (Save-As 16) keeps its default without either.
  EXPECT_EQ(Effective(Context(), PdfStreamCompression), 105);
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::PdfStreamCompression, 0));
  EXPECT_EQ(Effective(Context(), PdfStreamCompression), 0);
  EXPECT_EQ(Effective(Context(), PdfAStreamCompression), 105) << "PDF/A has its own Save-As number";
}

TEST_F(EffectiveRule, RecordFieldsAndTheirClamps) {
  EXPECT_EQ(EffectiveLossRatio(Context()), 50u);
  SaveAsOn();
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::JpegLossRatio, 0));
  EXPECT_EQ(EffectiveLossRatio(Context()), 1u) << "read as 1..100 like the record's field";
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::JpegLossRatio, 250));
  EXPECT_EQ(EffectiveLossRatio(Context()), 100u);
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::ColorDepth, 7));
  EXPECT_EQ(EffectiveColorMode(Context()), 3u);
  // "Save each page as separate file" is the opposite of the multipage switch.
  record_->Flags |= tw::devmode::flags::Multipage;
  EXPECT_TRUE(EffectiveMultipageSwitch(Context()));
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::SaveEachPageAsSeparateFile, 1));
  EXPECT_FALSE(EffectiveMultipageSwitch(Context()));
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsText::OutputPath, u"C:\\Saved"));
  record_->OutputDirectory.Set(u"C:\\Out");
  EXPECT_EQ(EffectiveOutputDirectory(Context()), u"C:\\Saved");
  record_->Flags &= ~tw::devmode::flags::SaveAs;
  EXPECT_EQ(EffectiveOutputDirectory(Context()), u"C:\\Out");
}

TEST_F(EffectiveRule, WithoutARecord) {
  EffectiveContext ctx{scope_, nullptr, {}, false};
  EXPECT_EQ(EffectiveFileFormat(ctx), 4u);
  EXPECT_EQ(EffectiveColorMode(ctx), 0u);
  EXPECT_TRUE(EffectiveImageWatermark(ctx)) << "the image watermark is on without a record";
  EXPECT_EQ(EffectiveWatermarkBrightness(ctx, true), 40u);
  EXPECT_FALSE(EffectiveStartsApplication(ctx));
  EXPECT_FALSE(ctx.SaveAsApplies());
}

TEST_F(EffectiveRule, ContentBasedEmailSaveAsTextsMustBeExactlyYes) {
  SaveAsOn();
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsText::ContentBasedEmail, u"yes"));
  EXPECT_FALSE(Effective(Context(), EmailContentBased));
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsText::ContentBasedEmail, u"Yes"));
  EXPECT_TRUE(Effective(Context(), EmailContentBased));
  // The registry value compares in any case.
  record_->Flags &= ~tw::devmode::flags::SaveAs;
  RegKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                            u"SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer\\Post Print Settings\\Email Settings", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  const char16_t yes[] = u"YES";
  ASSERT_EQ(RegSetValueExW(key.Get(), u"Content Based Email", 0, REG_SZ, reinterpret_cast<const BYTE*>(yes), sizeof yes),
            ERROR_SUCCESS);
  EXPECT_TRUE(Effective(Context(), EmailContentBased));
}

TEST_F(EffectiveRule, LimitsApplyToSaveAsValuesToo) {
  SaveAsOn();
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::WatermarkPFirstImagePosition, 3));
  EXPECT_EQ(Effective(Context(), WatermarkFirstImagePortraitPosition), 4u);
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::WatermarkLFirstBrightness, 120));
  EXPECT_EQ(Effective(Context(), WatermarkFirstImageLandscapeBrightness), 40u);
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::WatermarkPBrightness, 101));
  EXPECT_EQ(EffectiveWatermarkBrightness(Context(), true), 40u);
}

TEST_F(EffectiveRule, TextsWithAnIndex) {
  SaveAsOn();
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsText::PdfForceEmbedFont, u"Arial", 2));
  ASSERT_TRUE(Write(scope_, PdfForceEmbedFont, u"Courier", Fill{std::nullopt, 3}));
  EXPECT_EQ(Effective(Context(), PdfForceEmbedFont, Fill{std::nullopt, 2}), u"Arial");
  EXPECT_EQ(Effective(Context(), PdfForceEmbedFont, Fill{std::nullopt, 3}), u"Courier");
  TextRead missing = EffectiveText(Context(), PdfForceEmbedFont, 0, Fill{std::nullopt, 4});
  EXPECT_FALSE(missing.found);
}

// --- merge mode ----------------------------------------------------------------

class MergeRules : public EffectiveRule {
 protected:
  void Join(DWORD index, DWORD count) {
    group_.index = index;
    group_.count = count;
    merge_.active = true;
    merge_.record = &group_;
  }
  MergeJobSettings group_;
};

TEST_F(MergeRules, FormatEncryptionAndPasswordsForEveryJob) {
  group_.outputFormat = 36;
  group_.pdfEncryption = TRUE;
  group_.userPassword = u"u";
  Join(1, 3);
  SaveAsOn();
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::FileFormat, 20));
  EXPECT_EQ(EffectiveFileFormat(Context()), 36u) << "the merge record comes before the Save-As value";
  EXPECT_EQ(Effective(Context(), PdfDocumentEncryption), 1);
  EXPECT_EQ(EffectivePdfPasswords(Context()).user, u"u");
  merge_.off = true;
  EXPECT_EQ(EffectiveFileFormat(Context()), 36u);
}

TEST_F(MergeRules, PostPrintActionsOnlyForTheLastJob) {
  group_.openWithViewer = TRUE;
  group_.sendByEmail = TRUE;
  group_.ftpUpload = TRUE;
  ASSERT_TRUE(Write(scope_, PostPrintOpenOutputFolder, true));
  Join(0, 2);
  EXPECT_FALSE(Effective(Context(), PostPrintViewInDefaultViewer));
  EXPECT_FALSE(Effective(Context(), PostPrintSendInEmail));
  EXPECT_FALSE(Effective(Context(), PostPrintOpenOutputFolder)) << "the registry's yes does not count in merge mode";
  EXPECT_FALSE(EffectiveFtpUpload(Context()));
  Join(1, 2);
  EXPECT_TRUE(Effective(Context(), PostPrintViewInDefaultViewer));
  EXPECT_TRUE(Effective(Context(), PostPrintSendInEmail));
  EXPECT_FALSE(Effective(Context(), PostPrintOpenOutputFolder)) << "the record says no";
  EXPECT_TRUE(EffectiveFtpUpload(Context()));
  merge_.off = true;
  EXPECT_FALSE(Effective(Context(), PostPrintViewInDefaultViewer)) << "a job that left merge mode reads them as off";
}

TEST_F(MergeRules, DatabaseUploadReadsWithoutMergeForTheLastJobOnly) {
  ASSERT_TRUE(Write(scope_, PostPrintDatabaseUpload, true));
  EXPECT_TRUE(Effective(Context(), PostPrintDatabaseUpload));
  Join(0, 2);
  EXPECT_FALSE(Effective(Context(), PostPrintDatabaseUpload));
  Join(1, 2);
  EXPECT_TRUE(Effective(Context(), PostPrintDatabaseUpload));
  merge_.off = true;
  EXPECT_FALSE(Effective(Context(), PostPrintDatabaseUpload));
}

TEST_F(MergeRules, RedirectWatermarkAndOcrForEveryJobUntilItLeaves) {
  group_.redirectPrinting = TRUE;
  group_.imageWatermark = FALSE;
  group_.ocr = TRUE;
  record_->WatermarkFlags = 1;
  Join(0, 3);
  EXPECT_TRUE(EffectiveRedirectPrinting(Context()));
  EXPECT_FALSE(EffectiveImageWatermark(Context())) << "the record decides against the DEVMODE";
  EXPECT_EQ(Effective(Context(), OcrEnabled), 1);
  merge_.off = true;
  EXPECT_FALSE(EffectiveRedirectPrinting(Context()));
  EXPECT_EQ(Effective(Context(), OcrEnabled), 0);
  // Merge mode that never got a record (merging abandoned) reads them as off too.
  merge_ = MergeState{true, nullptr, true};
  EXPECT_FALSE(EffectiveRedirectPrinting(Context()));
  EXPECT_FALSE(EffectiveImageWatermark(Context()));
}

TEST_F(MergeRules, ExistingFileActionOfTheGroup) {
  EXPECT_FALSE(MergeExistingFileAction(Context()));
  Join(0, 2);
  EXPECT_EQ(MergeExistingFileAction(Context()).value_or(9), 1u);
  group_.addToExistingFile = TRUE;
  EXPECT_EQ(MergeExistingFileAction(Context()).value_or(9), 0u);
  group_.addToExistingFile = FALSE;
  Join(1, 2);
  EXPECT_EQ(MergeExistingFileAction(Context()).value_or(9), 0u);
  merge_.off = true;
  EXPECT_FALSE(MergeExistingFileAction(Context()));
}

TEST_F(MergeRules, TiffViewerAndStartedApplication) {
  tiffViewer_ = true;
  EXPECT_TRUE(EffectiveTiffViewer(Context()));
  record_->StartAppFlags = tw::devmode::startapp::Start;
  EXPECT_TRUE(EffectiveStartsApplication(Context()));
  Join(0, 2);
  EXPECT_FALSE(EffectiveTiffViewer(Context()));
  EXPECT_FALSE(EffectiveStartsApplication(Context())) << "after printing: the last job starts it";
  record_->StartAppFlags |= tw::devmode::startapp::BeforePrinting;
  EXPECT_TRUE(EffectiveStartsApplication(Context())) << "before printing: the first job";
  Join(1, 2);
  EXPECT_TRUE(EffectiveTiffViewer(Context()));
  EXPECT_FALSE(EffectiveStartsApplication(Context()));
  record_->StartAppFlags = tw::devmode::startapp::Start | tw::devmode::startapp::ForMessaging;
  Join(0, 2);
  EXPECT_TRUE(EffectiveStartsApplication(Context())) << "for messaging: the first job";
  merge_.off = true;
  EXPECT_FALSE(EffectiveStartsApplication(Context()));
  EXPECT_FALSE(EffectiveTiffViewer(Context()));
}

// --- PDF passwords ---------------------------------------------------------------

TEST_F(EffectiveRule, PdfPasswordsFollowThePromptRule) {
  ASSERT_TRUE(Write(scope_, PdfDocumentUserPassword, u"plain-user"));
  ASSERT_TRUE(Write(scope_, PdfDocumentOwnerPassword, u"plain-owner"));
  ASSERT_TRUE(Write(scope_, JobDocumentUserPassword, u"job-user"));
  ASSERT_TRUE(Write(scope_, JobDocumentOwnerPassword, u"job-owner"));
  PdfPasswords p = JobPdfPasswords(Context());
  EXPECT_EQ(p.user, u"plain-user");
  EXPECT_EQ(p.owner, u"plain-owner");
  SaveAsOn();
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsText::PdfUserPassword, u"dialog-user"));
  EXPECT_EQ(JobPdfPasswords(Context()).user, u"dialog-user");
  EXPECT_EQ(JobPdfPasswords(Context()).owner, u"plain-owner");
  ASSERT_TRUE(Write(scope_, JobPromptUserForPassword, true));
  p = JobPdfPasswords(Context());
  EXPECT_EQ(p.user, u"") << "prompted but not answered: no passwords";
  EXPECT_EQ(p.owner, u"");
  ASSERT_TRUE(Write(scope_, JobPasswordPromptResult, true));
  p = JobPdfPasswords(Context());
  EXPECT_EQ(p.user, u"job-user");
  EXPECT_EQ(p.owner, u"job-owner");
}

// --- the Save-As key ---------------------------------------------------------------

TEST_F(EffectiveRule, SaveAsKeyAndProtectedMode) {
  EXPECT_EQ(SaveAsKeyPath(scope_), u"SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer\\Save As Option Settings\\12");
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsDword::AddCoverPage, 1));
  EXPECT_EQ(ReadSaveAs(scope_, SaveAsDword::AddCoverPage).value_or(9), 1u);
  EXPECT_FALSE(ReadSaveAsDword(scope_, 109)) << "no such number";
  EXPECT_FALSE(ReadSaveAsText(scope_, 59));

  record_->ClientFlags = 1;
  record_->UserSID.Set(u"S-1-5-21-7-7-7-1001");
  SettingsScope protectedScope = ScopeForRecord(*record_, kJob);
  EXPECT_EQ(SaveAsKeyPath(protectedScope),
            u"Software\\Microsoft\\Internet Explorer\\InternetRegistry\\REGISTRY\\USER\\S-1-5-21-7-7-7-1001\\"
            u"SOFTWARE\\Tarnwick Software LLC\\Tarnwick Printer\\Save As Option Settings\\12");
  EXPECT_FALSE(ReadSaveAs(protectedScope, SaveAsDword::AddCoverPage)) << "the protected-mode key is another key";
  ASSERT_TRUE(WriteSaveAs(protectedScope, SaveAsDword::AddCoverPage, 0));
  EXPECT_EQ(ReadSaveAs(protectedScope, SaveAsDword::AddCoverPage).value_or(9), 0u);

  // A text too long for 260 characters, or a DWORD stored as text, is not read.
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsText::Filename, std::u16string(260, u'n')));
  EXPECT_FALSE(ReadSaveAs(scope_, SaveAsText::Filename));
  ASSERT_TRUE(WriteSaveAs(scope_, SaveAsText::Filename, std::u16string(259, u'n')));
  EXPECT_EQ(ReadSaveAs(scope_, SaveAsText::Filename).value_or(u"").size(), 259u);

  ASSERT_TRUE(DeleteSaveAsKey(scope_));
  EXPECT_FALSE(ReadSaveAs(scope_, SaveAsDword::AddCoverPage));
  EXPECT_TRUE(DeleteSaveAsKey(scope_)) << "deleting a missing key succeeds";
}

}  // namespace
