// The writers of formats not built yet. Each fails every page (and the
// multipage writers the opening of their document) with its own internal
// error, so that a job in such a format fails instead of ending "printed"
// with nothing stored. A writer that is built deletes its lines here.
#include "core/log/tw_log.h"
#include "output/twfile/tw_writers.h"

namespace {

// The internal errors the writers give when their output cannot be made.
namespace ie {
constexpr int kCals = 31;
constexpr int kRaw = 36;
constexpr int kDcx = 45;
constexpr int kEmf = 48;
constexpr int kMemEmf = 46;
constexpr int kIocaModca = 101;
constexpr int kPcx = 306;
}  // namespace ie

}  // namespace

// A format whose writer is not built: the capture log says so, the job fails with the number.
#define TW_NOT_BUILT(number)                                                                          \
  do {                                                                                                \
    LogMessageCapture(TWLOG_ERROR, u"! Error: the writer of format %d is not built (internal error %d)", \
                      static_cast<int>(m_DevMode.FileFormat), number);                                \
    return Fail(number, __FILE__, __LINE__);                                                          \
  } while (0)

BOOL CTWPCXFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kPcx); }
BOOL CTWDCXFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kDcx); }
BOOL CTWCALSFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kCals); }
BOOL CTWRawFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kRaw); }
BOOL CTWEMFFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kEmf); }
BOOL CTWMemEMFFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kMemEmf); }
BOOL CTWIOCAFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kIocaModca); }
BOOL CTWMODCAFile::SaveFile(HGLOBAL, DWORD, const WCHAR*, BOOL) { TW_NOT_BUILT(ie::kIocaModca); }
