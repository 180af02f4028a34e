// Helpers of the PNG and GIF encoder tests: page DIBs and the independent
// tools come from the codec library tests; here a reader of the netpbm
// files those tools write.
#pragma once
#include <sys/resource.h>

#include <cctype>
#include <csignal>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../libs/codec_test_support.h"

namespace enctest {

// A binary netpbm image (P4, P5, P6 or P7) as 8-bit samples, row by row.
struct Pnm {
  std::uint32_t width = 0, height = 0, channels = 0, maxval = 0;
  std::vector<BYTE> samples;
  bool ok = false;
};

inline Pnm ParsePnm(const std::string& bytes) {
  Pnm p;
  std::size_t pos = 0;
  auto token = [&]() {
    while (pos < bytes.size()) {
      if (bytes[pos] == '#') {
        while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
      } else if (std::isspace(static_cast<unsigned char>(bytes[pos]))) {
        ++pos;
      } else {
        break;
      }
    }
    std::size_t start = pos;
    while (pos < bytes.size() && !std::isspace(static_cast<unsigned char>(bytes[pos]))) ++pos;
    return bytes.substr(start, pos - start);
  };
  std::string magic = token();
  if (magic == "P7") {
    for (std::string t = token(); !t.empty() && t != "ENDHDR"; t = token()) {
      if (t == "WIDTH") p.width = std::stoul(token());
      else if (t == "HEIGHT") p.height = std::stoul(token());
      else if (t == "DEPTH") p.channels = std::stoul(token());
      else if (t == "MAXVAL") p.maxval = std::stoul(token());
      else if (t == "TUPLTYPE") token();
    }
  } else if (magic == "P4" || magic == "P5" || magic == "P6") {
    p.width = std::stoul(token());
    p.height = std::stoul(token());
    p.maxval = magic == "P4" ? 1 : std::stoul(token());
    p.channels = magic == "P6" ? 3 : 1;
  } else {
    return p;
  }
  ++pos;  // the single whitespace before the samples
  if (p.maxval > 255) return p;
  if (magic == "P4") {
    std::size_t rowBytes = (p.width + 7) / 8;
    if (pos + rowBytes * p.height > bytes.size()) return p;
    for (std::uint32_t y = 0; y < p.height; ++y)
      for (std::uint32_t x = 0; x < p.width; ++x) {
        bool black = (static_cast<BYTE>(bytes[pos + y * rowBytes + x / 8]) >> (7 - x % 8)) & 1;
        p.samples.push_back(black ? 0 : 1);
      }
  } else {
    std::size_t n = std::size_t(p.width) * p.height * p.channels;
    if (pos + n > bytes.size()) return p;
    p.samples.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                     bytes.begin() + static_cast<std::ptrdiff_t>(pos + n));
  }
  p.ok = true;
  return p;
}

// A tool's netpbm output.
inline Pnm DecodeWith(const std::string& command) {
  codectest::ToolResult r;
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return {};
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) r.output.append(buf, n);
  int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ADD_FAILURE() << "failed: " << command;
    return {};
  }
  return ParsePnm(r.output);
}

// The PNM's samples as RGB triples (grey repeated).
inline std::vector<BYTE> PnmRgb(const Pnm& p) {
  if (p.channels == 3) return p.samples;
  std::vector<BYTE> out;
  for (std::size_t i = 0; i < p.samples.size(); i += p.channels)
    out.insert(out.end(), 3, static_cast<BYTE>(p.samples[i] * 255 / (p.maxval ? p.maxval : 1)));
  return out;
}

// Files of this process cannot grow past `bytes` for the scope: a write
// beyond fails (EFBIG) as on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

}  // namespace enctest
