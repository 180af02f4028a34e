// emfrender FILE.emf [--dpi N | --size WxH] [--bits 1|24|32] -o OUT.png|OUT.bmp
// Renders an enhanced metafile with the layer's GDI, as a page is rendered.
// Exit status: 0 rendered, 1 usage, 2 not rendered, 3 rendered but playback
// stopped at a damaged or failing record (the image holds what was drawn).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "emf_render.h"
#include "image_io.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: emfrender FILE.emf [--dpi N | --size WxH] [--bits 1|24|32] -o OUT.png|OUT.bmp\n"
               "  --dpi N      page size from the metafile's frame at N dots per inch (default 150)\n"
               "  --size WxH   render into W x H pixels instead\n"
               "  --bits B     render bitmap depth (default 24)\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string input, output;
  twtools::RenderOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (arg == "--dpi") {
      const char* v = value();
      if (!v || (options.dpi = std::atof(v)) <= 0) return usage();
    } else if (arg == "--size") {
      const char* v = value();
      if (!v || std::sscanf(v, "%dx%d", &options.width, &options.height) != 2 || options.width <= 0 ||
          options.height <= 0)
        return usage();
    } else if (arg == "--bits") {
      const char* v = value();
      if (!v) return usage();
      options.bits = std::atoi(v);
    } else if (arg == "-o") {
      const char* v = value();
      if (!v) return usage();
      output = v;
    } else if (arg == "-h" || arg == "--help") {
      return usage();
    } else if (input.empty() && !arg.empty() && arg[0] != '-') {
      input = arg;
    } else {
      return usage();
    }
  }
  if (input.empty() || output.empty()) return usage();

  twtools::RgbImage image;
  twtools::RenderResult result = twtools::RenderEmfFile(input, options, image);
  if (!result.rendered) {
    std::fprintf(stderr, "emfrender: %s: %s\n", input.c_str(), result.error.c_str());
    return 2;
  }
  std::string error;
  if (!twtools::WriteImage(output, image, error)) {
    std::fprintf(stderr, "emfrender: %s\n", error.c_str());
    return 2;
  }
  if (!result.playedOk) {
    std::fprintf(stderr, "emfrender: %s: %s\n", input.c_str(), result.error.c_str());
    return 3;
  }
  return 0;
}
