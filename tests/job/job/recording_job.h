// A CTWJob whose operations record what the command stream asks of them,
// with scripted results; the stream parser under test is the real one.
#pragma once

#include <string>
#include <vector>

#include "job/job/tw_job.h"
#include "tw/utf.h"

namespace twtest {

class RecordingJob : public CTWJob {
 public:
  BOOL SetDevMode(const BYTE* record, BOOL start) override {
    Log(start ? "SetDevMode(doc)" : "SetDevMode(page)");
    return CTWJob::SetDevMode(record, start) && setDevModeResult;
  }
  BOOL StartDoc() override { return Log("StartDoc"), startDocResult; }
  BOOL StartPage() override { return Log("StartPage"), startPageResult; }
  BOOL EndPage(HGLOBAL data) override { return Log("EndPage", data), endPageResult; }
  BOOL EndPageRaw(HGLOBAL data) override { return Log("EndPageRaw", data), endPageResult; }
  BOOL EndDoc() override { return Log("EndDoc"), endDocResult; }
  BOOL AbortDoc() override { return Log("AbortDoc"), TRUE; }
  BOOL AddText(LONG x, LONG y, const WCHAR* text) override {
    ops.push_back("Text(" + std::to_string(x) + "," + std::to_string(y) + "," + tw::ToUtf8(text) + ")");
    return TRUE;
  }

  // The payload bytes of the last page, read while the block is alive.
  std::vector<BYTE> lastPage;
  std::vector<std::string> ops;
  BOOL setDevModeResult = TRUE, startDocResult = TRUE, startPageResult = TRUE, endPageResult = TRUE,
       endDocResult = TRUE;

 private:
  void Log(const char* op, HGLOBAL data = nullptr) {
    std::string entry = op;
    if (data) {
      entry += "(" + std::to_string(m_dwPageDataSize) + ")";
      const auto* bytes = static_cast<const BYTE*>(GlobalLock(data));
      lastPage.assign(bytes, bytes + m_dwPageDataSize);
      GlobalUnlock(data);
    }
    ops.push_back(entry);
  }
};

}  // namespace twtest
