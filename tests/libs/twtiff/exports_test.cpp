// The library's exports by name, its test builds, and the per-thread error
// code and text the writers read after a failing call.
#include <thread>

#include "tiff_test_support.h"

namespace {

using namespace tifftest;

const char* const kExports[] = {
    "OpenTiffFileW",      "OpenTiffInMemory",        "DefineTiffImage",       "DefineTiffImageInfo",
    "DefineTiffImageInfoBuffer", "EncodeTiffImage",  "CloseTiffFile",         "SaveDIBInTiffFileW",
    "SaveDIBInTiffFile",  "GetTiffFileInfo",         "GetTiffImage",          "UpdatePageNumbersW",
    "UpdatePageNumbersInMemory", "SaveTiffForCiscoFormatW", "ConvertTiffToCiscoFormatW", "TiffError",
    "SetTiffError",       "TiffErrorString",         "DropTiffImage",         "MoveLastImageFast",
    "EncodeCcittImage",   "SaveDIBInIOCAFormatW",    "InsertMODCAPageW",      "LoadTiffIntoDIBW"};

TEST(TiffExports, EveryEntryPointByNameAndTheBuildWithoutOne) {
  twtest::TempRoot root;
  codectest::Module full(u"TwTiff.dll"), lacking(u"TwTiffNoMove.dll");
  ASSERT_NE(full.Get(), nullptr) << tw::module::LastLoadDiagnostic();
  ASSERT_NE(lacking.Get(), nullptr) << tw::module::LastLoadDiagnostic();
  for (const char* name : kExports) {
    EXPECT_NE(GetProcAddress(full.Get(), name), nullptr) << name;
    bool hidden = std::string(name) == "MoveLastImageFast";
    EXPECT_EQ(GetProcAddress(lacking.Get(), name) != nullptr, !hidden) << name;
  }
  EXPECT_EQ(GetProcAddress(lacking.Get(), "MoveLastImageFast"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  // Internal functions stay internal.
  EXPECT_EQ(GetProcAddress(full.Get(), "TIFFOpen"), nullptr);
}

TEST(TiffExports, ErrorsBelongToTheThreadAndCarryText) {
  twtest::TempRoot root;
  codectest::Module module(u"TwTiff.dll");
  TiffApi api(module);
  api.SetTiffError(13);
  EXPECT_EQ(api.TiffError(), 13);
  char text[1100];
  std::memset(text, 0x7F, sizeof text);
  EXPECT_GT(api.TiffErrorString(text, 13), 0);
  EXPECT_STREQ(text, "Operation not available in this library");
  api.TiffErrorString(text, 999);
  EXPECT_STREQ(text, "Unknown TIFF library error");
  EXPECT_EQ(api.TiffErrorString(nullptr, 1), 0);

  // A failure with a long path: the text is cut to the 1024-byte buffer.
  std::u16string longPath = u"C:\\" + std::u16string(900, u'x') + u"\\" + std::u16string(200, u'y') + u".tif";
  EXPECT_EQ(api.OpenTiffFileW(longPath.c_str(), 2), nullptr);
  std::memset(text, 0x7F, sizeof text);
  int n = api.TiffErrorString(text, TW_TIFF_ERROR_OPEN);
  EXPECT_EQ(n, static_cast<int>(std::strlen(text)));
  EXPECT_LT(n, TW_TIFF_ERROR_TEXT_SIZE);
  EXPECT_EQ(text[1024], 0x7F);  // nothing written past the buffer
  EXPECT_EQ(std::string(text).rfind("Cannot open the TIFF file: C:\\xxx", 0), 0u) << text;

  // Another thread has its own last error; this one's stays.
  int other = -1;
  std::string otherText;
  std::thread([&] {
    other = api.TiffError();
    EXPECT_EQ(api.OpenTiffFileW(nullptr, 2), nullptr);
    otherText = api.ErrorText();
  }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(otherText, "Invalid argument: no file name");
  EXPECT_EQ(api.TiffError(), TW_TIFF_ERROR_OPEN);

  // IOCA and MO:DCA are not built yet: they fail with their code, 0 being success.
  EXPECT_EQ(api.SaveDIBInIOCAFormatW(u"C:\\a.ica", nullptr, 0, 90), TW_TIFF_ERROR_NOT_AVAILABLE);
  EXPECT_NE(api.ErrorText().find("IOCA"), std::string::npos);
  EXPECT_EQ(api.InsertMODCAPageW(u"C:\\a.mca", -1, nullptr, 0, 90), TW_TIFF_ERROR_NOT_AVAILABLE);
  EXPECT_EQ(api.TiffError(), TW_TIFF_ERROR_NOT_AVAILABLE);
}

}  // namespace
