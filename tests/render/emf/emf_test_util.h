// Helpers of the page image tests: a job on a fresh machine root, records,
// pages recorded on the job's printer, blocks and page DIBs.
#pragma once

#include <windows.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "render/emf/emf_image.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/utf.h"
#include "tw_test.h"
#include "tw_test_dib.h"

namespace emftest {

inline constexpr WCHAR kPrinter[] = u"Tarnwick Printer";

// A Letter record at the given resolution and colour mode.
inline TarnwickDEVMODE Record(LONG xDpi = 300, LONG yDpi = 300, DWORD colorMode = 0, SHORT orientation = 1) {
  tw::twdriver::DevModeOptions o;
  o.xDpi = xDpi;
  o.yDpi = yDpi;
  o.colorMode = colorMode;
  o.orientation = orientation;
  auto dm = tw::twdriver::MakeDevMode(o);
  dm.Brightness = 100;
  return dm;
}

// A job of the printer on a fresh machine root, with a record.
class JobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    job_ = std::make_unique<CTWJob>();
    job_->SetPrinterName(kPrinter);
    job_->m_DevMode = Record();
  }
  void TearDown() override {
    job_.reset();
    ReleaseRenderBitmapCache();
  }
  tw::settings::SettingsScope Scope() const { return tw::settings::ScopeForPrinter(kPrinter); }
  template <typename S, typename V>
  void Set(S setting, V value) {
    ASSERT_TRUE(tw::settings::Write(Scope(), setting, value));
  }
  std::u16string Status() const { return job_->PrintStatus(); }

  twtest::TempRoot root_;
  std::unique_ptr<CTWJob> job_;
};

// A metafile page recorded on the printer context of `dm`, its frame the
// paper (width and length exchanged for landscape).
inline std::vector<BYTE> RecordPage(const TarnwickDEVMODE& dm, const std::function<void(HDC)>& draw) {
  HDC printer = CreateDCW(u"WINSPOOL", kPrinter, nullptr, reinterpret_cast<const DEVMODEW*>(&dm));
  LONG w = tw::devmode::GetPaperWidth(dm) * 10, h = tw::devmode::GetPaperLength(dm) * 10;
  if (dm.DM.dmOrientation == 2) std::swap(w, h);
  RECT frame{0, 0, w, h};
  HDC recorder = CreateEnhMetaFileW(printer, nullptr, &frame, nullptr);
  draw(recorder);
  HENHMETAFILE emf = CloseEnhMetaFile(recorder);
  std::vector<BYTE> bytes(GetEnhMetaFileBits(emf, 0, nullptr));
  GetEnhMetaFileBits(emf, static_cast<UINT>(bytes.size()), bytes.data());
  DeleteEnhMetaFile(emf);
  DeleteDC(printer);
  return bytes;
}

// Fills a rectangle (device pixels, right and bottom exclusive) with a colour.
inline void Fill(HDC dc, int l, int t, int r, int b, COLORREF color = RGB(0, 0, 0)) {
  HBRUSH brush = CreateSolidBrush(color);
  RECT rc{l, t, r, b};
  FillRect(dc, &rc, brush);
  DeleteObject(brush);
}

// A movable block holding the bytes; freed with the object.
class Block {
 public:
  explicit Block(const std::vector<BYTE>& bytes, std::size_t extra = 0) {
    h_ = GlobalAlloc(GMEM_MOVEABLE, bytes.size() + extra);
    std::memcpy(GlobalLock(h_), bytes.data(), bytes.size());
    GlobalUnlock(h_);
  }
  ~Block() { GlobalFree(h_); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  HGLOBAL get() const { return h_; }

 private:
  HGLOBAL h_;
};

// Whether pixel (x, y) of a page DIB is black (1 bit: entry 0; 24 bits: 0, 0, 0).
inline bool Black(const twtest::DibView& dib, LONG x, LONG y) {
  std::uint32_t v = dib.Get(x, y);
  return dib.layout().bits == 1 ? v == 0 : (v & 0xFFFFFF) == 0;
}

}  // namespace emftest
