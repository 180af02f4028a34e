// Build step: writes a C++ source holding an sRGB ICC profile (version 2.1,
// display class, RGB to XYZ) made with lcms2, for the PDF/A output intent.
#include <lcms2.h>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_srgb_profile OUT.cpp\n");
    return 2;
  }
  cmsHPROFILE profile = cmsCreate_sRGBProfile();
  if (!profile) return 1;
  cmsSetProfileVersion(profile, 2.1);
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile, nullptr, &size) || size == 0) return 1;
  std::vector<unsigned char> bytes(size);
  if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return 1;
  cmsCloseProfile(profile);
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  std::fprintf(out, "// Made by make_srgb_profile at build time.\n#include \"srgb_profile.h\"\n\nnamespace twpdf {\n\n");
  std::fprintf(out, "const unsigned char kSrgbProfile[] = {");
  for (std::size_t i = 0; i < bytes.size(); ++i) std::fprintf(out, "%s%u,", i % 16 ? "" : "\n    ", bytes[i]);
  std::fprintf(out, "\n};\nconst std::size_t kSrgbProfileSize = %zu;\n\n}  // namespace twpdf\n", bytes.size());
  return std::fclose(out) == 0 ? 0 : 1;
}
