// libFuzzer target for the TIFF reader of TwTiff.dll (LoadTiffIntoDIBW, the
// watermark loader's call): every input is written to a file of a private
// machine root and read as its first and second image. A page DIB that comes
// back must be as large as its header says; then it is freed.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tw/pathmap.h"
#include "tw/root.h"

// The export, linked in from the library's objects.
extern "C" HGLOBAL WINAPI LoadTiffIntoDIBW(LPCWSTR path, int image, DWORD flags);

namespace {

constexpr const char16_t* kInput = u"C:\\fuzz\\input.tif";
std::filesystem::path hostInput;

void CheckDib(HGLOBAL dib) {
  const auto* bytes = static_cast<const BYTE*>(GlobalLock(dib));
  if (!bytes) __builtin_trap();
  BITMAPINFOHEADER h;
  __builtin_memcpy(&h, bytes, sizeof h);
  std::uint64_t height = h.biHeight < 0 ? std::uint64_t(-std::int64_t(h.biHeight)) : std::uint64_t(h.biHeight);
  std::uint64_t stride = (std::uint64_t(h.biWidth) * h.biBitCount + 31) / 32 * 4;
  std::uint64_t colors = h.biClrUsed ? h.biClrUsed : h.biBitCount <= 8 ? 1u << h.biBitCount : 0;
  std::uint64_t size = h.biSize + 4 * colors + stride * height;
  if (h.biWidth <= 0 || height == 0 || GlobalSize(dib) < size) __builtin_trap();
  volatile BYTE sum = static_cast<BYTE>(bytes[size - 1] + bytes[h.biSize]);
  (void)sum;
  GlobalUnlock(dib);
  GlobalFree(dib);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tiff-fuzz-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  static const std::filesystem::path root = pattern;
  std::atexit([] {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  });
  tw::root::SetDir(root);
  if (tw::path::ToHost(kInput, hostInput) != 0) std::abort();
  std::filesystem::create_directories(hostInput.parent_path());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* f = std::fopen(hostInput.c_str(), "wb");
  if (!f) std::abort();
  if (size && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  for (int image = 0; image < 2; ++image)
    if (HGLOBAL dib = LoadTiffIntoDIBW(reinterpret_cast<LPCWSTR>(kInput), image, 0)) CheckDib(dib);
  return 0;
}
