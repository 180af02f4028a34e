// Module resources: LoadStringW, FindResourceW and friends, message tables
// and dialog templates, as the module convention lays them out.
#include <cstring>

#include "module_test_support.h"
#include "tw/modulekit.h"
#include "windows.h"

namespace {

class ResourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(u"TwTestMod.dll");
    ASSERT_NE(module_, nullptr) << tw::module::LastLoadDiagnostic();
  }
  void TearDown() override { EXPECT_TRUE(FreeLibrary(module_)); }

  std::vector<BYTE> Bytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
    HRSRC info = FindResourceW(module, name, type);
    if (!info) return {};
    auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, info)));
    return std::vector<BYTE>(data, data + SizeofResource(module, info));
  }

  twtest::TempRoot root_;
  twtest::LeakGuard guard_;
  HMODULE module_ = nullptr;
};

WORD Word(const std::vector<BYTE>& b, size_t at) { return static_cast<WORD>(b[at] | (b[at + 1] << 8)); }
DWORD Dword(const std::vector<BYTE>& b, size_t at) { return Word(b, at) | (DWORD(Word(b, at + 2)) << 16); }
std::u16string Text(const std::vector<BYTE>& b, size_t at) {
  std::u16string s;
  for (; Word(b, at); at += 2) s += static_cast<char16_t>(Word(b, at));
  return s;
}

TEST_F(ResourceTest, LoadStringCopiesTruncatesAndHandsOutPointers) {
  WCHAR buffer[64];
  EXPECT_EQ(LoadStringW(module_, 10, buffer, 64), 21);
  EXPECT_EQ(std::u16string(buffer), u"Tarnwick Port Monitor");
  EXPECT_EQ(LoadStringW(module_, 1, buffer, 64), 5);
  EXPECT_EQ(std::u16string(buffer), u"First");
  EXPECT_EQ(LoadStringW(module_, 15, buffer, 64), 16);  // last slot of the first block
  EXPECT_EQ(std::u16string(buffer), u"End of block one");
  EXPECT_EQ(LoadStringW(module_, 17, buffer, 64), 9);  // second block
  EXPECT_EQ(std::u16string(buffer), u"Block two");

  // Too small: cut to fit with the terminator.
  EXPECT_EQ(LoadStringW(module_, 10, buffer, 6), 5);
  EXPECT_EQ(std::u16string(buffer), u"Tarnw");
  buffer[0] = u'#';
  EXPECT_EQ(LoadStringW(module_, 10, buffer, 1), 0);
  EXPECT_EQ(buffer[0], 0);

  // A buffer size of 0 asks for a read-only pointer to the text, which is
  // not terminated.
  LPCWSTR text = nullptr;
  EXPECT_EQ(LoadStringW(module_, 10, reinterpret_cast<LPWSTR>(&text), 0), 21);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text, 21), u"Tarnwick Port Monitor");

  // Missing strings: an empty slot, an empty string, a block that is absent.
  buffer[0] = u'#';
  EXPECT_EQ(LoadStringW(module_, 2, buffer, 64), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(LoadStringW(module_, 35, buffer, 64), 0);
  SetLastError(0);
  EXPECT_EQ(LoadStringW(module_, 1000, buffer, 64), 0);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(LoadStringW(module_, 10, nullptr, 64), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ResourceTest, StringBlocksHaveTheWindowsLayoutAndLanguages) {
  // Block 1 holds ids 0..15: sixteen counted strings without terminators.
  auto block = Bytes(module_, MAKEINTRESOURCEW(1), RT_STRING);
  ASSERT_EQ(block.size(), 2u * 16 + 2 * (5 + 21 + 16));
  EXPECT_EQ(Word(block, 0), 0u);  // id 0
  EXPECT_EQ(Word(block, 2), 5u);  // id 1, "First"
  EXPECT_EQ(Word(block, 4), u'F');

  // The German block is found by language; the neutral one is the default.
  HRSRC german = FindResourceExW(module_, RT_STRING, MAKEINTRESOURCEW(1), 0x0407);
  ASSERT_NE(german, nullptr);
  auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module_, german)));
  std::vector<BYTE> bytes(data, data + SizeofResource(module_, german));
  size_t at = 0;
  for (int slot = 0; slot < 10; ++slot) at += 2 + 2 * Word(bytes, at);
  ASSERT_EQ(Word(bytes, at), 25u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data + at + 2), 25), u"Tarnwick Anschlussmonitor");
  EXPECT_EQ(FindResourceExW(module_, RT_STRING, MAKEINTRESOURCEW(1), 0x040C), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_LANG_NOT_FOUND);
}

TEST_F(ResourceTest, FindResourceByIdNameAndNumberString) {
  const std::vector<BYTE> config = {'c', 'f', 'g', 0, 1, 2, 3};
  EXPECT_EQ(Bytes(module_, u"CONFIG", RT_RCDATA), config);
  EXPECT_EQ(Bytes(module_, u"config", RT_RCDATA), config) << "names ignore case";
  EXPECT_EQ(Bytes(module_, u"#5", RT_RCDATA), std::vector<BYTE>(5, 5));
  EXPECT_EQ(Bytes(module_, MAKEINTRESOURCEW(5), u"#10"), std::vector<BYTE>(5, 5));

  struct Missing {
    LPCWSTR name, type;
    DWORD error;
  } missing[] = {{MAKEINTRESOURCEW(999), RT_DIALOG, ERROR_RESOURCE_NAME_NOT_FOUND},
                 {MAKEINTRESOURCEW(1), RT_HTML, ERROR_RESOURCE_TYPE_NOT_FOUND},
                 {u"CONFIGX", RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND}};
  for (const auto& m : missing) {
    EXPECT_EQ(FindResourceW(module_, m.name, m.type), nullptr);
    EXPECT_EQ(GetLastError(), m.error);
  }

  // A module without resources, and the executable (which exports none).
  HMODULE plain = LoadLibraryW(u"TwPlain.dll");
  EXPECT_EQ(FindResourceW(plain, MAKEINTRESOURCEW(1), RT_STRING), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(plain));
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_STRING), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);

  // A resource handle that is not one is refused, never read.
  TW_RESOURCE_ENTRY fake{RT_RCDATA, MAKEINTRESOURCEW(1), "xx", 2, 0, 0};
  EXPECT_EQ(LoadResource(module_, reinterpret_cast<HRSRC>(&fake)), nullptr);
  EXPECT_EQ(SizeofResource(module_, reinterpret_cast<HRSRC>(&fake)), 0u);
  EXPECT_EQ(LoadResource(module_, nullptr), nullptr);
}

TEST_F(ResourceTest, MessageTableLayoutAndLookUp) {
  auto table = Bytes(module_, MAKEINTRESOURCEW(1), RT_MESSAGETABLE);
  ASSERT_GE(table.size(), 4u + 2 * 12);
  ASSERT_EQ(Dword(table, 0), 2u);  // ids 0x64..0x66 and 0x200
  EXPECT_EQ(Dword(table, 4), 0x64u);
  EXPECT_EQ(Dword(table, 8), 0x66u);
  EXPECT_EQ(Dword(table, 16), 0x200u);
  EXPECT_EQ(Dword(table, 20), 0x200u);
  size_t entry = Dword(table, 12);
  EXPECT_EQ(entry, 4u + 2 * 12);
  WORD length = Word(table, entry);
  EXPECT_EQ(length % 4, 0u);
  EXPECT_EQ(Word(table, entry + 2), MESSAGE_RESOURCE_UNICODE);
  EXPECT_EQ(Text(table, entry + 4), u"Printing finished successfully%nPrinter name:\t%1\r\n");
  EXPECT_EQ(Text(table, entry + length + 4), u"Printing was aborted%n\r\n");

  std::u16string text;
  EXPECT_EQ(tw::module::FindMessage(module_, 0x66, 0, text), 0u);
  EXPECT_EQ(text, u"Error during printing%nError:\t%11\r\n");
  EXPECT_EQ(tw::module::FindMessage(module_, 0x200, 0, text), 0u);
  EXPECT_EQ(text, u"Far away");
  EXPECT_EQ(tw::module::FindMessage(module_, 0x64, 0x0407, text), 0u);
  EXPECT_EQ(text, u"Druck beendet\r\n");
  EXPECT_EQ(tw::module::FindMessage(module_, 0x67, 0, text), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(tw::module::FindMessage(module_, 0x65, 0x0407, text), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  EXPECT_EQ(tw::module::FindMessage(module_, 0x64, 0x040C, text), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  EXPECT_EQ(tw::module::FindMessage(reinterpret_cast<HMODULE>(0x1234), 0x64, 0, text),
            static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST_F(ResourceTest, DialogTemplateBytesAndTheirReading) {
  auto bytes = Bytes(module_, MAKEINTRESOURCEW(103), RT_DIALOG);
  ASSERT_GE(bytes.size(), 120u);
  // DLGTEMPLATE: style (DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU), no extended
  // style, 5 controls, then x y cx cy.
  EXPECT_EQ(Dword(bytes, 0), 0x80C800C0u);
  EXPECT_EQ(Dword(bytes, 4), 0u);
  EXPECT_EQ(Word(bytes, 8), 5u);
  EXPECT_EQ(Word(bytes, 14), 186u);
  EXPECT_EQ(Word(bytes, 16), 62u);
  EXPECT_EQ(Word(bytes, 18), 0u);  // no menu
  EXPECT_EQ(Word(bytes, 20), 0u);  // the dialog class
  EXPECT_EQ(Text(bytes, 22), u"Add Tarnwick Port");
  EXPECT_EQ(Word(bytes, 58), 8u);  // point size, then the face name
  EXPECT_EQ(Text(bytes, 60), u"MS Shell Dlg");
  // The first control starts on the next 32-bit boundary: the icon.
  EXPECT_EQ(Dword(bytes, 88), 0x50000003u);  // WS_CHILD | WS_VISIBLE | SS_ICON
  EXPECT_EQ(Word(bytes, 96), 7u);
  EXPECT_EQ(Word(bytes, 104), 0xFFFFu);       // id
  EXPECT_EQ(Word(bytes, 106), 0xFFFFu);       // class by ordinal...
  EXPECT_EQ(Word(bytes, 108), 0x0082u);       // ...Static
  EXPECT_EQ(Word(bytes, 110), 0xFFFFu);       // title by ordinal...
  EXPECT_EQ(Word(bytes, 112), 104u);          // ...the icon resource
  EXPECT_EQ(Word(bytes, 114), 0u);            // no creation data
  EXPECT_EQ(Dword(bytes, 116), 0x50020000u);  // the static text: WS_CHILD | WS_VISIBLE | WS_GROUP

  tw::module::DialogDesc dialog;
  ASSERT_TRUE(tw::module::ParseDialogTemplate(bytes, dialog));
  EXPECT_EQ(dialog.title, u"Add Tarnwick Port");
  EXPECT_EQ(dialog.faceName, u"MS Shell Dlg");
  ASSERT_EQ(dialog.items.size(), 5u);
  EXPECT_EQ(dialog.items[1].title, u"Enter port name:");
  const auto& edit = dialog.items[2];
  EXPECT_EQ(edit.id, 1001);
  EXPECT_EQ(edit.classOrdinal, 0x81);
  EXPECT_EQ(edit.title, u"");
  EXPECT_EQ(edit.titleOrdinal, 0);
  EXPECT_EQ(edit.style, 0x50810080u);  // WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL
  EXPECT_EQ(dialog.items[3].id, 1);    // OK, the default button
  EXPECT_EQ(dialog.items[3].style & 0xF, 1u);
  EXPECT_EQ(dialog.items[4].title, u"Cancel");
  EXPECT_EQ(dialog.items[4].cx, 50);

  // Damaged or other templates are refused with a clear error.
  for (size_t cut : {size_t(0), size_t(10), size_t(40), bytes.size() - 1}) {
    std::vector<BYTE> part(bytes.begin(), bytes.begin() + cut);
    EXPECT_FALSE(tw::module::ParseDialogTemplate(part, dialog)) << cut;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_DATA);
  }
  const BYTE extended[] = {1, 0, 0xFF, 0xFF, 0, 0, 0, 0};
  EXPECT_FALSE(tw::module::ParseDialogTemplate(extended, dialog));
  EXPECT_EQ(GetLastError(), ERROR_NOT_SUPPORTED);
}

// A built-in module with resources declared by the same builders, and the
// language chosen from the configured locale.
TEST(BuiltinResources, LanguageFollowsTheConfiguredLocale) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  static const tw::res::Table table{tw::res::Strings({{7, u"Seven"}}, 0x0409),
                                    tw::res::Strings({{7, u"Sieben"}}, 0x0407),
                                    tw::res::Raw(RT_STRING, 2, std::vector<BYTE>{0x40, 0, 'a', 0})};
  ASSERT_TRUE(tw::module::RegisterBuiltin(u"TwRes.dll", {}, table.Get()));
  HMODULE h = LoadLibraryW(u"TwRes.dll");
  ASSERT_NE(h, nullptr);
  WCHAR buffer[16];
  EXPECT_EQ(LoadStringW(h, 7, buffer, 16), 5);
  EXPECT_EQ(std::u16string(buffer), u"Seven");

  auto machine = *tw::config::Get();
  machine.locale = u"de-DE";
  ASSERT_TRUE(tw::config::Save(machine));
  EXPECT_EQ(LoadStringW(h, 7, buffer, 16), 6);
  EXPECT_EQ(std::u16string(buffer), u"Sieben");

  // A block whose length word runs past its data is not read past its end.
  EXPECT_EQ(LoadStringW(h, 16, buffer, 16), 0);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(h));
  tw::module::UnregisterBuiltin(u"TwRes.dll");

  // A table with a wrong signature counts as no resources.
  static const TW_RESOURCE_TABLE damaged{0x12345678, TW_RESOURCES_VERSION, 1, 0, table.Get()->entries};
  ASSERT_TRUE(tw::module::RegisterBuiltin(u"TwBad.dll", {}, &damaged));
  h = LoadLibraryW(u"TwBad.dll");
  EXPECT_EQ(LoadStringW(h, 7, buffer, 16), 0);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_DATA_NOT_FOUND);
  EXPECT_TRUE(FreeLibrary(h));
  tw::module::UnregisterBuiltin(u"TwBad.dll");
}

}  // namespace
