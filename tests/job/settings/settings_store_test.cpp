// Registry readers and writers of the settings: typing rules on real values,
// defaults, the printer-key look-up, packaged processes and the volatile root.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "job/job/settings_scope_cache.h"
#include "job/settings/registry_key.h"
#include "job/settings/settings_store.h"
#include "tw/lasterror.h"
#include "tw/registry.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "tw_test.h"
#include "winerror.h"
#include "winreg.h"

using namespace tw::settings;
using tw::devmode::TarnwickDEVMODE;

namespace {

constexpr char16_t kPrinter[] = u"Tarnwick Printer";
constexpr char16_t kRoot[] = u"SOFTWARE\\Tarnwick Software LLC";

std::u16string PrinterPath(std::u16string_view sub = {}) {
  std::u16string path = std::u16string(kRoot) + u"\\" + kPrinter;
  if (!sub.empty()) path += u"\\" + std::u16string(sub);
  return path;
}

// Writes a value as a configuration program would.
void Put(HKEY hive, const std::u16string& path, const std::u16string& name, DWORD type, const void* data, DWORD size) {
  RegKey key;
  ASSERT_EQ(RegCreateKeyExW(hive, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}
void PutText(const std::u16string& path, const std::u16string& name, std::u16string_view text) {
  std::u16string stored(text);
  stored.push_back(0);
  Put(HKEY_CURRENT_USER, path, name, REG_SZ, stored.data(), static_cast<DWORD>(stored.size() * 2));
}
void PutDword(const std::u16string& path, const std::u16string& name, DWORD value) {
  Put(HKEY_CURRENT_USER, path, name, REG_DWORD, &value, sizeof value);
}
void MakeKey(const std::u16string& path) {
  RegKey key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Receive(),
                            nullptr),
            ERROR_SUCCESS);
}
bool KeyExists(HKEY hive, const std::u16string& path) {
  RegKey key;
  return RegOpenKeyExW(hive, path.c_str(), 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
}

std::unique_ptr<TarnwickDEVMODE> Record() {
  auto dm = std::make_unique<TarnwickDEVMODE>();
  std::memset(dm.get(), 0, sizeof *dm);
  return dm;
}

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { internal::ResetOncePerProcessState(); }
  twtest::TempRoot root_;
  twtest::LeakGuard keys_;  // every key the readers and writers open is closed again
  SettingsScope scope_ = ScopeForPrinter(kPrinter, 7);
};

TEST_F(SettingsStore, NumberValuesFollowTheTypingRule) {
  const std::u16string page = PrinterPath(u"Page Settings");
  PutText(page, u"Rotation", u" -12abc");
  EXPECT_EQ(Read(scope_, PageRotation), -12);
  PutText(page, u"Rotation", u"12345678");
  EXPECT_EQ(Read(scope_, PageRotation), 0) << "eight characters do not fit: the default";
  PutText(PrinterPath(u"Cover Page Settings"), u"Show Cover Page Filler", u"12345678");
  EXPECT_EQ(Read(scope_, CoverShowFiller), 1) << "the default of this value is 1";
  PutText(page, u"Rotation", u"abc");
  EXPECT_EQ(Read(scope_, PageRotation), 0);
  PutText(page, u"Rotation", u"90x");
  EXPECT_EQ(Read(scope_, PageRotation), 90);
  PutDword(page, u"Rotation", 3);
  EXPECT_EQ(Read(scope_, PageRotation), 0) << "a number stored as REG_DWORD is not text: the default";
}

TEST_F(SettingsStore, YesValuesAcceptAnyCase) {
  const std::u16string post = PrinterPath(u"Post Print Settings");
  for (const char16_t* on : {u"yes", u"YES", u"Yes", u"yEs"}) {
    PutText(post, u"Open Tiff Viewer", on);
    EXPECT_TRUE(Read(scope_, PostPrintOpenTiffViewer)) << tw::ToUtf8(on);
  }
  for (const char16_t* off : {u"1", u"no", u"", u"yes "}) {
    PutText(post, u"Open Tiff Viewer", off);
    EXPECT_FALSE(Read(scope_, PostPrintOpenTiffViewer)) << tw::ToUtf8(off);
  }
  const std::u16string text = PrinterPath(u"Text Output Settings");
  PutText(text, u"No Page Headers", u"No");
  EXPECT_TRUE(Read(scope_, TextNoPageHeaders));
  PutText(text, u"No Page Headers", u"yes");
  EXPECT_FALSE(Read(scope_, TextNoPageHeaders));
  // "Upload Document" is on unless present and not "yes".
  Fill connection{3, std::nullopt};
  EXPECT_TRUE(Read(scope_, FtpUploadDocument, connection));
  PutText(PrinterPath(u"Post Print Settings\\FTP Settings\\3"), u"Upload Document", u"no");
  EXPECT_FALSE(Read(scope_, FtpUploadDocument, connection));
  EXPECT_TRUE(Read(scope_, RedirectCollatePages)) << "missing counts as yes";
}

TEST_F(SettingsStore, FlagsAndDwords) {
  const std::u16string page = PrinterPath(u"Page Settings");
  PutDword(page, u"Force Paper Enabled", 2);
  EXPECT_TRUE(Read(scope_, PageForcePaperEnabled));
  PutDword(page, u"Force Paper Enabled", 0);
  EXPECT_FALSE(Read(scope_, PageForcePaperEnabled));
  PutDword(page, u"Force Paper Width", 33000);
  EXPECT_EQ(Read(scope_, PageForcePaperWidth), 33000u);
  PutText(page, u"Force Paper Height", u"2970");
  EXPECT_EQ(Read(scope_, PageForcePaperHeight), 2794u) << "text where a DWORD belongs: the default";
  EXPECT_FALSE(TryRead(scope_, PrinterId)) << "no default: not found";
  PutDword(PrinterPath(), u"Printer ID", 5);
  EXPECT_EQ(TryRead(scope_, PrinterId).value_or(0), 5u);
}

// A missing key gives every value its default.
TEST_F(SettingsStore, MissingKeysGiveEveryDefault) {
  SettingsScope scope = ScopeForPrinter(u"Printer Without Settings", 1);
  for (const SettingDef& d : AllSettings()) {
    std::string where = tw::ToUtf8(d.group) + " / " + tw::ToUtf8(d.name);
    auto id = static_cast<SettingId>(&d - AllSettings().data());
    LONGLONG number = d.def.present ? d.def.number : 0;
    if (d.rule == Rule::ZeroWhenKeyMissing) number = 0;
    switch (d.type) {
      case ValueType::Dword:
        EXPECT_EQ(Read(scope, Setting<ValueType::Dword>{id}), static_cast<DWORD>(number)) << where;
        break;
      case ValueType::Number:
        EXPECT_EQ(Read(scope, Setting<ValueType::Number>{id}), number) << where;
        break;
      case ValueType::DecimalText:
        EXPECT_EQ(Read(scope, Setting<ValueType::DecimalText>{id}), number) << where;
        break;
      case ValueType::Yes:
        EXPECT_EQ(Read(scope, Setting<ValueType::Yes>{id}), number != 0) << where;
        break;
      case ValueType::No:
        EXPECT_EQ(Read(scope, Setting<ValueType::No>{id}), number != 0) << where;
        break;
      case ValueType::Flag:
        EXPECT_EQ(Read(scope, Setting<ValueType::Flag>{id}), number != 0) << where;
        break;
      case ValueType::Text: {
        TextRead r = TryReadText(scope, Setting<ValueType::Text>{id});
        EXPECT_FALSE(r.found) << where;
        EXPECT_EQ(r.value, d.def.text ? d.def.text : u"") << where;
        break;
      }
      case ValueType::Binary:
        EXPECT_TRUE(Read(scope, Setting<ValueType::Binary>{id}).empty()) << where;
        break;
      case ValueType::Any:
        EXPECT_FALSE(Read(scope, Setting<ValueType::Any>{id})) << where;
        break;
      case ValueType::IniInt:
        EXPECT_EQ(Read(scope, Setting<ValueType::IniInt>{id}), number) << where;
        break;
      case ValueType::IniText:
        EXPECT_EQ(Read(scope, Setting<ValueType::IniText>{id}), d.def.text ? d.def.text : u"") << where;
        break;
    }
  }
}

TEST_F(SettingsStore, ZeroWhenTheKeyIsMissing) {
  EXPECT_EQ(Read(scope_, PageGrayscaleIntensityForTrimming), 0u);
  EXPECT_EQ(Read(scope_, PageStartNewFileAfterPage), 0u);
  MakeKey(PrinterPath(u"Page Settings"));
  EXPECT_EQ(Read(scope_, PageGrayscaleIntensityForTrimming), 1u) << "key there, value missing";
  EXPECT_EQ(Read(scope_, PageStartNewFileAfterPage), 1u);
  PutDword(PrinterPath(u"Page Settings"), u"Start New File After Page", 4);
  EXPECT_EQ(Read(scope_, PageStartNewFileAfterPage), 4u);
}

TEST_F(SettingsStore, TextsAndTheirBuffers) {
  const std::u16string naming = PrinterPath(u"Filename Generation Settings");
  PutText(naming, u"Remove Text from Document Name", u"Microsoft Word - ");
  EXPECT_EQ(Read(scope_, NamingRemoveTextFromDocumentName), u"Microsoft Word - ");
  TextRead small = TryReadText(scope_, NamingRemoveTextFromDocumentName, 5);
  EXPECT_FALSE(small.found);
  EXPECT_EQ(small.value, u"");
  EXPECT_GE(small.neededChars, 18u) << "the size needed is reported";
  TextRead exact = TryReadText(scope_, NamingRemoveTextFromDocumentName, 18);
  EXPECT_TRUE(exact.found);
  PutText(naming, u"Remove Text from Document Name", std::u16string(300, u'x'));
  EXPECT_EQ(Read(scope_, NamingRemoveTextFromDocumentName), u"") << "longer than 260: the default";
  // Bates texts default to "ERROR" and their numbers are decimal texts.
  Fill profile{1, std::nullopt};
  EXPECT_EQ(Read(scope_, BatesPrefix, profile), u"ERROR");
  PutText(PrinterPath(u"BatesNumbering\\1"), u"Start with", u"000042");
  EXPECT_EQ(Read(scope_, BatesStartWith, profile), 42);
}

TEST_F(SettingsStore, PerJobValuesUseTheJobKey) {
  PutDword(PrinterPath(u"7"), u"Abort Job", 1);
  PutDword(PrinterPath(u"8"), u"Abort Job", 0);
  EXPECT_EQ(Read(scope_, JobAbortJob), 1u);
  EXPECT_EQ(Read(ScopeForPrinter(kPrinter, 8), JobAbortJob), 0u);
  PutText(PrinterPath(), u"Job 7 Data Type", u"RAW");
  EXPECT_EQ(Read(scope_, JobDataType), u"RAW");
  EXPECT_TRUE(Delete(scope_, Definition(JobDataType)));
  EXPECT_EQ(Read(scope_, JobDataType), u"");
  EXPECT_TRUE(Delete(scope_, Definition(JobDataType))) << "deleting what is gone succeeds";
}

TEST_F(SettingsStore, WritersCreateKeysAndStoreTheStoredForm) {
  ASSERT_TRUE(Write(scope_, PageRotation, -90));
  ASSERT_TRUE(Write(scope_, PostPrintSendInEmail, true));
  ASSERT_TRUE(Write(scope_, PageForcePaperEnabled, true));
  ASSERT_TRUE(Write(scope_, LastDocNumber, 41u));
  auto raw = ReadRaw(scope_, Definition(PageRotation));
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->type, DWORD{REG_SZ});
  EXPECT_EQ(Read(scope_, PageRotation), -90);
  EXPECT_TRUE(Read(scope_, PostPrintSendInEmail));
  EXPECT_TRUE(Read(scope_, PageForcePaperEnabled));
  EXPECT_EQ(Read(scope_, LastDocNumber), 41u);
  // The INI file is not written through these.
  EXPECT_FALSE(Delete(scope_, Definition(IniPassword)));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST_F(SettingsStore, ScrambledPasswords) {
  ASSERT_TRUE(Write(scope_, JobDocumentUserPassword, u"user"));
  auto raw = ReadRaw(scope_, Definition(JobDocumentUserPassword));
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->data[0], BYTE{'u' ^ 0x47});
  EXPECT_EQ(Read(scope_, JobDocumentUserPassword), u"user");

  Fill connection{2, std::nullopt};
  ASSERT_TRUE(Write(scope_, FtpPassword, u"Az", connection));
  EXPECT_EQ(Read(scope_, FtpPassword, connection), u"Az");
  PutText(PrinterPath(u"Post Print Settings\\FTP Settings\\2"), u"Proxy User Password", u"2D16");
  EXPECT_EQ(Read(scope_, FtpProxyUserPassword, connection), u"Az");
  PutText(PrinterPath(u"Post Print Settings\\FTP Settings\\2"), u"Proxy User Password", u"2D1");
  EXPECT_EQ(Read(scope_, FtpProxyUserPassword, connection), u"") << "a damaged scrambled text reads as empty";
  EXPECT_FALSE(Write(scope_, FtpPassword, u"\u0416", connection));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(Read(scope_, FtpPassword, connection), u"Az") << "a refused password leaves the stored one";
}

TEST_F(SettingsStore, ReadingRulesOfWatermarkAndStampValues) {
  const std::u16string wm = PrinterPath(u"Watermark");
  PutDword(wm, u"First Image Portrait Position", 272);
  EXPECT_EQ(Read(scope_, WatermarkFirstImagePortraitPosition), 272u);
  PutDword(wm, u"First Image Portrait Position", 3);
  EXPECT_EQ(Read(scope_, WatermarkFirstImagePortraitPosition), 4u);
  PutDword(wm, u"First Image Landscape Brightness", 101);
  EXPECT_EQ(Read(scope_, WatermarkFirstImageLandscapeBrightness), 40u);
  PutDword(wm, u"First Image Landscape Brightness", 100);
  EXPECT_EQ(Read(scope_, WatermarkFirstImageLandscapeBrightness), 100u);
  const std::u16string stamp = PrinterPath(u"Text Watermark Stamp Settings");
  PutDword(stamp, u"Visibility", 150);
  EXPECT_EQ(Read(scope_, StampVisibility), 100u);
  PutDword(stamp, u"Visibility", static_cast<DWORD>(-5));
  EXPECT_EQ(Read(scope_, StampVisibility), 0u);
}

TEST_F(SettingsStore, PrinterKeyFromPrinterIdElseDeviceName) {
  auto dm = Record();
  dm->DM.dmDeviceName.Set(u"Driver Name");
  dm->PrinterID = 12;
  EXPECT_EQ(SettingsPrinterName(*dm), u"Driver Name") << "no PrinterIDs entry";
  PutText(std::u16string(kRoot) + u"\\PrinterIDs\\12", u"Printer name", kPrinter);
  EXPECT_EQ(SettingsPrinterName(*dm), kPrinter);
  PutText(PrinterPath(u"Page Settings"), u"Selected Pages", u"1-3");
  EXPECT_EQ(Read(ScopeForRecord(*dm, 1), PageSelectedPages), u"1-3");
  // A device name of 32 characters without terminator is taken whole.
  dm->PrinterID = 13;
  auto* raw = reinterpret_cast<BYTE*>(dm.get());
  for (int i = 0; i < 32; ++i) {
    raw[2 * i] = static_cast<BYTE>('A' + i % 26);
    raw[2 * i + 1] = 0;
  }
  EXPECT_EQ(SettingsPrinterName(*dm).size(), 32u);
}

// A job keeps its scope while the record's deciding fields stay, and works
// it out again after Forget (every page) or when one of them changes.
TEST_F(SettingsStore, TheJobsScopeIsKeptUntilForgottenOrTheRecordChanges) {
  auto dm = Record();
  dm->DM.dmDeviceName.Set(u"Driver Name");
  dm->PrinterID = 21;
  tw::job::SettingsScopeCache cache;
  EXPECT_EQ(cache.Get(*dm, 5, u"a.ini").printerName, u"Driver Name");
  PutText(std::u16string(kRoot) + u"\\PrinterIDs\\21", u"Printer name", kPrinter);
  EXPECT_EQ(cache.Get(*dm, 5, u"a.ini").printerName, u"Driver Name") << "kept within the page";
  cache.Forget();
  EXPECT_EQ(cache.Get(*dm, 5, u"a.ini").printerName, kPrinter);
  EXPECT_EQ(cache.Get(*dm, 5, u"a.ini").iniFile, u"a.ini");
  // Each deciding field of the record and the job makes a new scope.
  EXPECT_EQ(cache.Get(*dm, 6, u"a.ini").jobId, 6u);
  EXPECT_EQ(cache.Get(*dm, 6, u"b.ini").iniFile, u"b.ini");
  dm->ClientFlags = 0x1;
  EXPECT_TRUE(cache.Get(*dm, 6, u"b.ini").protectedMode);
  dm->UserSID.Set(u"S-1-5-21-9");
  EXPECT_EQ(cache.Get(*dm, 6, u"b.ini").userSid, u"S-1-5-21-9");
  dm->PrinterID = 22;
  EXPECT_EQ(cache.Get(*dm, 6, u"b.ini").printerName, u"Driver Name");
  dm->DM.dmDeviceName.Set(u"Other Driver");
  EXPECT_EQ(cache.Get(*dm, 6, u"b.ini").printerName, u"Other Driver");
}

TEST_F(SettingsStore, ProtectedModeAndUserSidComeFromTheRecord) {
  auto dm = Record();
  dm->DM.dmDeviceName.Set(kPrinter);
  dm->ClientFlags = 0x1;
  dm->UserSID.Set(u"S-1-5-21-1-2-3-1001");
  SettingsScope scope = ScopeForRecord(*dm, 4);
  EXPECT_TRUE(scope.protectedMode);
  EXPECT_EQ(scope.userSid, u"S-1-5-21-1-2-3-1001");
  EXPECT_EQ(scope.jobId, 4u);
}

TEST_F(SettingsStore, OutputDirectoryFromClientIsReadFromTheDefaultUser) {
  DWORD one = 1;
  Put(HKEY_USERS, u".DEFAULT\\" + PrinterPath(u"Filename Generation Settings"), u"Use Output Directory from Client",
      REG_DWORD, &one, sizeof one);
  EXPECT_TRUE(Read(scope_, NamingUseOutputDirectoryFromClient));
}

TEST_F(SettingsStore, ValuesHandedOnAsStored) {
  DWORD port = 587;
  Put(HKEY_CURRENT_USER, PrinterPath(u"Post Print Settings\\Email Settings"), u"SMTP Port", REG_DWORD, &port, sizeof port);
  auto raw = Read(scope_, EmailSmtpPort);
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->type, DWORD{REG_DWORD});
  ASSERT_EQ(raw->data.size(), 4u);
  EXPECT_EQ(raw->data[0], BYTE{587 & 0xff});
  const BYTE blob[] = {1, 2, 0, 3};
  Put(HKEY_CURRENT_USER, PrinterPath(u"Post Print Settings\\Email Settings"), u"Mailvane Data", REG_BINARY, blob, sizeof blob);
  EXPECT_EQ(Read(scope_, EmailMailvaneData), (std::vector<BYTE>{1, 2, 0, 3}));
}

TEST_F(SettingsStore, EnvironmentVariablesByAnyName) {
  PutText(PrinterPath(u"EnvVars"), u"DEPARTMENT", u"Sales");
  PutText(PrinterPath(u"EnvVars"), u"100%", u"odd");
  EXPECT_EQ(ReadEnvVar(scope_, u"DEPARTMENT").value_or(u"?"), u"Sales");
  EXPECT_EQ(ReadEnvVar(scope_, u"department").value_or(u"?"), u"Sales");
  EXPECT_EQ(ReadEnvVar(scope_, u"100%").value_or(u"?"), u"odd");
  EXPECT_FALSE(ReadEnvVar(scope_, u"MISSING"));
}

// The root made volatile (by an installer) is found the first time in a
// process, deleted with its tree and created again as a normal key.
TEST_F(SettingsStore, VolatileRootIsRepairedOncePerProcess) {
  MakeKey(u"SOFTWARE");  // there on every machine, and not volatile
  auto makeVolatileRoot = [] {
    RegDeleteTreeW(HKEY_CURRENT_USER, kRoot);
    RegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
    DWORD v = 9;
    ASSERT_EQ(RegSetValueExW(key.Get(), u"Old", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), sizeof v), ERROR_SUCCESS);
  };
  auto rootIsVolatile = [] {
    RegKey key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kRoot, 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    bool isVolatile = false;
    EXPECT_EQ(tw::registry::IsKeyVolatile(key.Get(), &isVolatile), ERROR_SUCCESS);
    return isVolatile;
  };
  makeVolatileRoot();
  ASSERT_TRUE(rootIsVolatile());
  // Writing below a volatile root would fail without the repair.
  ASSERT_TRUE(Write(scope_, LastDocNumber, 3u)) << GetLastError();
  EXPECT_FALSE(rootIsVolatile());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::u16string(kRoot) + u"\\VolatileCheck"));
  {
    RegKey key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kRoot, 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key.Get(), u"Old", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND)
        << "the old values are gone";
  }
  EXPECT_EQ(Read(scope_, LastDocNumber), 3u);

  // Once per process: a root made volatile again is left alone.
  makeVolatileRoot();
  (void)Read(scope_, LastDocNumber);
  EXPECT_TRUE(rootIsVolatile());
  EXPECT_FALSE(Write(scope_, LastDocNumber, 4u));
  EXPECT_EQ(GetLastError(), DWORD{ERROR_CHILD_MUST_BE_VOLATILE});
}

TEST_F(SettingsStore, PackagedProcessDoesNotRepairTheRoot) {
  MakeKey(u"SOFTWARE");
  {
    RegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kRoot, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              key.Receive(), nullptr),
              ERROR_SUCCESS);
  }
  auto machine = *tw::config::Get();
  machine.packageFullName = u"Contoso.Printing_1.0.0.0_x64__8wekyb3d8bbwe";
  ASSERT_TRUE(tw::config::Save(machine));
  auto dm = Record();
  dm->DM.dmDeviceName.Set(kPrinter);
  (void)Read(ScopeForRecord(*dm, 1), LastDocNumber);
  RegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kRoot, 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
  bool isVolatile = false;
  ASSERT_EQ(tw::registry::IsKeyVolatile(key.Get(), &isVolatile), ERROR_SUCCESS);
  EXPECT_TRUE(isVolatile);
}

TEST_F(SettingsStore, NormalRootIsLeftAsItIs) {
  PutDword(PrinterPath(), u"LastDocNumber", 8);
  EXPECT_EQ(Read(scope_, LastDocNumber), 8u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::u16string(kRoot) + u"\\VolatileCheck"));
}

TEST_F(SettingsStore, PackagedProcessReadsACopyOfThePrinterKey) {
  PutDword(PrinterPath(u"Page Settings"), u"Force Paper Size", 9);
  PutText(PrinterPath(u"Page Settings\\Deeper"), u"Kept", u"yes");
  auto machine = *tw::config::Get();
  machine.packageFullName = u"Contoso.Printing_1.0.0.0_x64__8wekyb3d8bbwe";
  ASSERT_TRUE(tw::config::Save(machine));

  SettingsScope scope = ScopeForPrinter(kPrinter, 1);
  ASSERT_TRUE(scope.packaged);
  EXPECT_EQ(scope.printerKey, std::u16string(kPrinter) + u"_Package Contoso.Printing_1.0.0.0_x64__8wekyb3d8bbwe");
  EXPECT_EQ(Read(scope, PageForcePaperSize), 9u) << "copied on first use";
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, std::u16string(kRoot) + u"\\" + scope.printerKey + u"\\Page Settings\\Deeper"));
  // Written values stay in the package's key; "Printer ID" is not written there.
  ASSERT_TRUE(Write(scope, PageForcePaperSize, 5u));
  EXPECT_EQ(Read(scope, PageForcePaperSize), 5u);
  {
    RegKey ordinary;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, PrinterPath(u"Page Settings").c_str(), 0, KEY_READ, ordinary.Receive()),
              ERROR_SUCCESS);
    DWORD v = 0, size = sizeof v;
    ASSERT_EQ(RegQueryValueExW(ordinary.Get(), u"Force Paper Size", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(v, 9u) << "the ordinary printer key is not written";
  }
  ASSERT_TRUE(Write(scope, PrinterId, 77u));
  EXPECT_FALSE(TryRead(scope, PrinterId));
  // The copy is made once: a later change of the ordinary key is not copied again.
  PutDword(PrinterPath(u"Page Settings"), u"Force Paper Size", 11);
  EXPECT_EQ(Read(scope, PageForcePaperSize), 5u);

  machine.packageFullName = u"Microsoft.Windows.Shell_1.0_neutral__cw5n1h2txyewy";
  ASSERT_TRUE(tw::config::Save(machine));
  EXPECT_FALSE(ScopeForPrinter(kPrinter).packaged) << "Windows' own packages do not count";
  machine.packageFullName = u"Vendor.ControlPanel_2.0_x86__abc";
  ASSERT_TRUE(tw::config::Save(machine));
  EXPECT_FALSE(ScopeForPrinter(kPrinter).packaged);
}

}  // namespace
