// Test helper: what libjpeg itself sees in a JPEG file, and its samples as
// stored (no colour conversion).
#pragma once

// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace twtest {

struct JpegFacts {
  bool ok = false;  // the file was read and decoded to its end
  int width = 0, height = 0, components = 0;
  bool jfif = false, faxMarker = false;
  int densityUnit = 0, xDensity = 0, yDensity = 0;
  J_COLOR_SPACE colorSpace = JCS_UNKNOWN;
  int hSampling = 0, vSampling = 0;
  std::vector<unsigned char> samples;
};

// An empty or missing file gives facts that are not ok.
inline JpegFacts InspectJpeg(const std::filesystem::path& path) {
  JpegFacts f;
  std::ifstream in(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return f;
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_save_markers(&d, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&d, TRUE);
  f.width = static_cast<int>(d.image_width);
  f.height = static_cast<int>(d.image_height);
  f.components = d.num_components;
  f.jfif = d.saw_JFIF_marker;
  f.densityUnit = d.density_unit;
  f.xDensity = d.X_density;
  f.yDensity = d.Y_density;
  f.colorSpace = d.jpeg_color_space;
  f.hSampling = d.comp_info[0].h_samp_factor;
  f.vSampling = d.comp_info[0].v_samp_factor;
  for (auto m = d.marker_list; m; m = m->next)
    f.faxMarker = f.faxMarker || (m->data_length >= 6 && std::memcmp(m->data, "G3FAX", 6) == 0);
  d.out_color_space = d.jpeg_color_space;  // the samples as coded
  jpeg_start_decompress(&d);
  std::vector<unsigned char> row(std::size_t(d.output_width) * d.output_components);
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&d, &r, 1);
    f.samples.insert(f.samples.end(), row.begin(), row.end());
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  f.ok = true;
  return f;
}

}  // namespace twtest
