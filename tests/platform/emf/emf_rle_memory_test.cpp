// A compressed bitmap in a metafile record costs what it covers on the page,
// not what it would decode to: an RLE stream of a hundred bytes describing
// 16000 x 16000 pixels (256 MB decoded) draws into 100 x 100 pixels with a
// few hundred kilobytes.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "emf_bytes.h"
#include "emf_canvas.h"

namespace {

constexpr LONG kSide = 16000;
constexpr int kPage = 100;

// Stream rows run from the bottom. Row 79 from the bottom is the one the
// last of 100 destination rows samples (nearest pixel centres: source row
// 80 + 160 d from the top). On it, twenty runs of 255 pixels, red and blue
// in turn; the rest of the image is left unset.
std::vector<BYTE> sparseStream() {
  std::vector<BYTE> s = {0, 2, 0, 79};  // delta: up 79 rows
  for (int i = 0; i < 20; ++i) s.insert(s.end(), {255, BYTE(i % 2 ? 2 : 1)});
  s.insert(s.end(), {0, 1});  // end of bitmap
  return s;
}

// A metafile of one record (`type`: STRETCHDIBITS, STRETCHBLT or BITBLT)
// with the RLE image drawn onto (0, 0, 100, 100).
std::vector<BYTE> metafileWith(DWORD type) {
  // A reference pixel is 1 mm: the frame is 100 x 100 pixels, played one to one.
  twtest::EmfBytes emf(108, {0, 0, kPage * 100, kPage * 100}, {1000, 1000}, {1000, 1000});
  std::vector<BYTE> stream = sparseStream();
  std::vector<BYTE> info(sizeof(BITMAPINFOHEADER) + 3 * sizeof(RGBQUAD), 0);
  BITMAPINFOHEADER h{sizeof(BITMAPINFOHEADER), kSide, kSide, 1, 8, BI_RLE8, DWORD(stream.size()), 0, 0, 3, 0};
  std::memcpy(info.data(), &h, sizeof(h));
  const RGBQUAD table[3] = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};  // black, red, blue
  std::memcpy(info.data() + sizeof(h), table, sizeof(table));
  auto body = [&](auto rec) {
    DWORD offBmi = sizeof(rec), offBits = offBmi + DWORD(info.size());
    rec.offBmiSrc = offBmi;
    rec.cbBmiSrc = DWORD(info.size());
    rec.offBitsSrc = offBits;
    rec.cbBitsSrc = DWORD(stream.size());
    rec.iUsageSrc = DIB_RGB_COLORS;
    rec.xDest = rec.yDest = 0;
    std::vector<BYTE> out(offBits - 8 + stream.size());
    std::memcpy(out.data(), reinterpret_cast<const BYTE*>(&rec) + 8, sizeof(rec) - 8);
    std::memcpy(out.data() + offBmi - 8, info.data(), info.size());
    std::memcpy(out.data() + offBits - 8, stream.data(), stream.size());
    return out;
  };
  const XFORM identity{1, 0, 0, 1, 0, 0};
  if (type == EMR_STRETCHDIBITS) {
    EMRSTRETCHDIBITS r{};
    r.cxSrc = r.cySrc = kSide;
    r.cxDest = r.cyDest = kPage;
    r.dwRop = SRCCOPY;
    emf.AddRaw(type, body(r));
  } else if (type == EMR_STRETCHBLT) {
    EMRSTRETCHBLT r{};
    r.cxDest = r.cyDest = kPage;
    r.cxSrc = r.cySrc = kSide;
    r.dwRop = SRCCOPY;
    r.xformSrc = identity;
    emf.AddRaw(type, body(r));
  } else {
    EMRBITBLT r{};
    r.cxDest = r.cyDest = kSide;  // one to one: the page shows its top-left corner
    r.dwRop = SRCCOPY;
    r.xformSrc = identity;
    emf.AddRaw(type, body(r));
  }
  return emf.Finish();
}

long peakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Plays the metafile in a child process (whose peak starts from what it
// has now, not from what earlier tests used) and returns the growth of its
// peak resident memory in kilobytes, or -1 when it did not draw as expected.
long peakGrowthWhilePlaying(DWORD type, const std::function<bool(const twtest::Canvas&)>& check) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    twtest::Canvas canvas(kPage, kPage);
    std::vector<BYTE> bytes = metafileWith(type);
    long before = peakKilobytes();
    HENHMETAFILE h = SetEnhMetaFileBits(UINT(bytes.size()), bytes.data());
    RECT page{0, 0, kPage, kPage};
    bool played = h && PlayEnhMetaFile(canvas.Dc(), h, &page);
    long growth = peakKilobytes() - before;
    if (h) DeleteEnhMetaFile(h);
    long result = played && check(canvas) ? growth : -1;
    ssize_t written = write(fds[1], &result, sizeof(result));
    _exit(written == sizeof(result) ? 0 : 1);
  }
  close(fds[1]);
  long result = -1;
  ssize_t got = read(fds[0], &result, sizeof(result));
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  return got == sizeof(result) && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : -1;
}

// The bottom destination row samples source columns 80 + 160 k: inside the
// twenty runs for k < 32, run j = x / 255 red when j is even.
COLORREF expectedOnLastRow(int k) {
  int x = 80 + 160 * k;
  if (x >= 20 * 255) return CLR_INVALID;
  return (x / 255) % 2 == 0 ? RGB(255, 0, 0) : RGB(0, 0, 255);
}

}  // namespace

TEST(EmfRleMemory, HugeSparseRleStretchedOntoASmallPageDrawsWithLittleMemory) {
  constexpr long kLimitKb = 16 * 1024;
  // STRETCHDIBITS: pixels the stream leaves unset are not drawn.
  long growth = peakGrowthWhilePlaying(EMR_STRETCHDIBITS, [](const twtest::Canvas& c) {
    for (int k = 0; k < kPage; ++k) {
      COLORREF want = expectedOnLastRow(k);
      if (c.Color(k, kPage - 1) != (want == CLR_INVALID ? RGB(255, 255, 255) : want)) return false;
    }
    return c.Color(50, 50) == RGB(255, 255, 255);
  });
  std::printf("STRETCHDIBITS of a 16000 x 16000 RLE8 image onto 100 x 100: peak grew by %ld KB\n", growth);
  ASSERT_GE(growth, 0) << "STRETCHDIBITS did not draw what the stream holds";
  EXPECT_LT(growth, kLimitKb) << "peak memory grew by " << growth << " KB";

  // STRETCHBLT: the record's bitmap is a bitmap made from the DIB, whose
  // unset pixels are index 0 (black).
  growth = peakGrowthWhilePlaying(EMR_STRETCHBLT, [](const twtest::Canvas& c) {
    for (int k = 0; k < kPage; ++k) {
      COLORREF want = expectedOnLastRow(k);
      if (c.Color(k, kPage - 1) != (want == CLR_INVALID ? RGB(0, 0, 0) : want)) return false;
    }
    return c.Color(50, 50) == RGB(0, 0, 0);
  });
  std::printf("STRETCHBLT: peak grew by %ld KB\n", growth);
  ASSERT_GE(growth, 0) << "STRETCHBLT did not draw what the stream holds";
  EXPECT_LT(growth, kLimitKb) << "peak memory grew by " << growth << " KB";

  // BITBLT one to one: the page shows the image's top-left corner, all
  // unset (black); only the part on the page is read.
  growth = peakGrowthWhilePlaying(EMR_BITBLT, [](const twtest::Canvas& c) {
    return c.Color(0, 0) == RGB(0, 0, 0) && c.Color(kPage - 1, kPage - 1) == RGB(0, 0, 0);
  });
  std::printf("BITBLT: peak grew by %ld KB\n", growth);
  ASSERT_GE(growth, 0) << "BITBLT did not draw";
  EXPECT_LT(growth, kLimitKb) << "peak memory grew by " << growth << " KB";
}
