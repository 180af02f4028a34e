// The appending text writer the text outputs use.
#include <windows.h>

#include <string>

#include "job/group/group_file.h"
#include "job/group/scoped_file.h"
#include "job/job/tw_job.h"

namespace tw::group {

namespace {

std::string Encode(std::u16string_view text, DWORD encoding) {
  std::string bytes;
  switch (encoding) {
    case kEncodingUtf16LE:
    case kEncodingUtf16BE:
      bytes.reserve(text.size() * 2);
      for (char16_t c : text) {
        const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
        bytes += encoding == kEncodingUtf16LE ? low : high;
        bytes += encoding == kEncodingUtf16LE ? high : low;
      }
      return bytes;
    default: {
      if (text.empty()) return bytes;
      const UINT codePage = encoding == kEncodingUtf8 ? CP_UTF8 : CP_ACP;
      const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
      if (n <= 0) return bytes;
      bytes.resize(static_cast<size_t>(n));
      WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
      return bytes;
    }
  }
}

std::string_view ByteOrderMark(DWORD encoding) {
  switch (encoding) {
    case kEncodingUtf8: return "\xEF\xBB\xBF";
    case kEncodingUtf16LE: return "\xFF\xFE";
    case kEncodingUtf16BE: return "\xFE\xFF";
    default: return {};
  }
}

}  // namespace

BOOL AppendText(CTWJob& job, const WCHAR* text, DWORD count, const WCHAR* file, DWORD encoding) {
  ScopedFile out(CreateFileW(file ? file : u"", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.Valid()) {
    const DWORD error = GetLastError();
    if (!job.m_Group.m_bTextFileReported) {
      job.m_Group.m_bTextFileReported = true;
      job.ValidateOutputFile(kPrefixTextFile, file, TRUE);
    }
    SetLastError(error);
    return FALSE;
  }
  LARGE_INTEGER size{}, end{};
  if (!GetFileSizeEx(out.Get(), &size) || !SetFilePointerEx(out.Get(), end, nullptr, FILE_END)) return FALSE;
  std::string bytes = size.QuadPart == 0 ? std::string(ByteOrderMark(encoding)) : std::string();
  bytes += Encode(std::u16string_view(text ? text : u"", text ? count : 0), encoding);
  return WriteAll(out.Get(), bytes.data(), bytes.size());
}

BOOL AppendLineBreak(CTWJob& job, DWORD kind, const WCHAR* file, DWORD encoding) {
  const WCHAR* lineBreak = kind == 2 ? u"\n" : kind == 3 ? u"\r" : u"\r\n";
  return AppendText(job, lineBreak, static_cast<DWORD>(std::char_traits<char16_t>::length(lineBreak)), file, encoding);
}

}  // namespace tw::group
