// Where a codec library is found, and loading it for a writer.
#include <windows.h>
#include <winspool.h>

#include <string>
#include <string_view>

#include "core/log/tw_log.h"
#include "job/job/tw_job.h"
#include "output/twfile/tw_file.h"

namespace {

// The probe of a candidate: it opens for reading (sharing reading) and is closed again.
bool FileOpens(const std::u16string& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool Store(std::u16string_view path, WCHAR (&result)[MAX_PATH]) {
  // A candidate that does not fit the result is one that is not there.
  if (path.size() >= MAX_PATH) return false;
  path.copy(result, path.size());
  result[path.size()] = 0;
  return true;
}

}  // namespace

BOOL GetCorrectDllName(const WCHAR* szDllName, WCHAR (&szResult)[MAX_PATH]) {
  szResult[0] = 0;
  std::u16string_view name = szDllName ? szDllName : u"";
  if (!name.empty() && name.size() < MAX_PATH && FileOpens(std::u16string(name)) && Store(name, szResult)) {
    Trace(u"GetCorrectDllName: File exists: %s", szResult);
    return TRUE;
  }
  size_t slash = name.rfind(u'\\');
  std::u16string_view part = slash == std::u16string_view::npos ? name : name.substr(slash + 1);

  WCHAR directory[260] = {};  // 520 bytes
  DWORD needed = 0;
  if (!GetPrinterDriverDirectoryW(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory,
                                  &needed)) {
    Trace(u"GetCorrectDllName: GetPrinterDriverDirectory FAILED, error %d", static_cast<int>(GetLastError()));
    return FALSE;
  }
  for (std::u16string_view folder : {u"\\", u"\\3\\"}) {
    std::u16string candidate = std::u16string(directory) + std::u16string(folder) + std::u16string(part);
    if (candidate.size() < MAX_PATH && FileOpens(candidate) && Store(candidate, szResult)) return TRUE;
  }
  // Not found: the bare name, for the loader's usual search.
  if (!Store(part, szResult)) return FALSE;
  Trace(u"GetCorrectDllName: File not found, returnning the dll name: %s", szResult);
  return TRUE;
}

namespace tw::output {

const WCHAR* CodecNotLoadedText(Codec codec) {
  return codec == Codec::Tiff ? u"TwTiff.dll cannot be loaded" : u"TwJpeg.dll cannot be loaded";
}

BOOL CodecLibrary::Load(Codec codec, const TarnwickDEVMODE& record, CTWJob* job) {
  Free();
  std::u16string name = codec == Codec::Tiff ? record.TiffDllName.Get() : record.JpegDllName.Get();
  if (GetCorrectDllName(name.c_str(), m_szPath) && m_szPath[0]) m_hModule = LoadLibraryW(m_szPath);
  if (m_hModule) return TRUE;
  LogMessageCapture(TWLOG_ERROR, u"! Error: %s (\"%s\", error %d)", CodecNotLoadedText(codec), name.c_str(),
                    static_cast<int>(GetLastError()));
  if (job) job->HandleError(CodecNotLoadedText(codec), __FILE__, __LINE__);
  return FALSE;
}

void CodecLibrary::Free() {
  if (m_hModule) FreeLibrary(m_hModule);
  m_hModule = nullptr;
}

}  // namespace tw::output
