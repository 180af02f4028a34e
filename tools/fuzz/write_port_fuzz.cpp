// libFuzzer target for the command stream parser (CTWJob::WritePort): the
// input is cut into blocks of sizes taken from its first bytes and delivered
// as the spooler would; the job's document and page operations read what the
// commands hand them and do nothing else.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "job/job/tw_job.h"
#include "core/thread_state.h"

namespace {

class FuzzJob : public CTWJob {
 public:
  BOOL StartDoc() override { return m_DevMode.DM.dmSize == 220; }
  BOOL StartPage() override { return TRUE; }
  BOOL EndPage(HGLOBAL data) override { return Touch(data); }
  BOOL EndPageRaw(HGLOBAL data) override { return Touch(data); }
  BOOL EndDoc() override { return TRUE; }
  BOOL AddText(LONG, LONG, const WCHAR* text) override { return text && wcslen(text) < 0x80000000u; }

 private:
  // Reads the first and last byte of the page block: it must be as large as announced.
  BOOL Touch(HGLOBAL data) {
    const auto* bytes = static_cast<const BYTE*>(GlobalLock(data));
    if (!bytes) return FALSE;
    volatile BYTE sum = static_cast<BYTE>(bytes[0] + bytes[m_dwPageDataSize - 1]);
    (void)sum;
    GlobalUnlock(data);
    return TRUE;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // Block size 1..4096 from the first two bytes, as the spooler's blocks vary.
  size_t block = 1 + ((size_t(data[0]) << 8 | data[1]) % 4096);
  data += 2;
  size -= 2;
  tw::core::ClearCommandHeader();
  {
    FuzzJob job;
    for (size_t at = 0; at < size; at += block) {
      DWORD n = static_cast<DWORD>(size - at < block ? size - at : block), consumed = 0;
      job.WritePort(data + at, n, &consumed);
      if (consumed > n) __builtin_trap();
    }
  }
  tw::core::ThreadStateDetachThread();
  return 0;
}
