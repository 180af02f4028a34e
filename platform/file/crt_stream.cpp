// _wfopen and friends: real stdio streams (fopencookie) whose cookie
// translates between what the program writes and what the file holds, as the
// Microsoft CRT's text and Unicode modes do.
//
// The stream's own bytes are what the program sees: in binary mode the file's
// bytes; in ANSI text mode the file's bytes with "\r\n" as "\n"; in the
// Unicode modes (ccs=UTF-8, UTF-16LE, UNICODE) UTF-16LE code units with
// "\r\n" as "\n", the file holding UTF-8 or UTF-16LE after its byte-order mark.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "tw/casefold.h"
#include "tw/fileio.h"
#include "tw/format.h"
#include "tw/lasterror.h"
#include "tw/nls.h"
#include "tw/utf.h"

namespace {

enum class Encoding { Binary, Ansi, Utf8, Utf16 };

struct Stream {
  std::shared_ptr<tw::file::FileObject> file;
  Encoding encoding = Encoding::Ansi;
  bool commit = false;
  size_t bomSize = 0;
  // Output state: an odd byte of a code unit, a high surrogate waiting.
  std::string oddByte;
  char16_t highSurrogate = 0;
  // Input state: file bytes not yet decoded, decoded bytes not yet handed out.
  std::string raw;
  std::string ready;
  bool atEnd = false;
};

std::mutex g_mutex;
std::unordered_map<FILE*, Stream*>& streams() {
  static auto* map = new std::unordered_map<FILE*, Stream*>;
  return *map;
}

Stream* streamOf(FILE* f) {
  std::lock_guard lock(g_mutex);
  auto it = streams().find(f);
  return it == streams().end() ? nullptr : it->second;
}

int errnoFrom(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_WRITE_PROTECT: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_DISK_FULL: return ENOSPC;
    default: return EINVAL;
  }
}

bool writeRaw(int fd, const char* data, size_t size) {
  while (size) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

void appendUnit(std::string& out, char16_t unit) {
  out += char(unit & 0xFF);
  out += char(unit >> 8);
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | cp >> 6);
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | cp >> 12);
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | cp >> 18);
    out += char(0x80 | (cp >> 12 & 0x3F));
    out += char(0x80 | (cp >> 6 & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Encodes one UTF-16 unit of the stream into the file's encoding.
void encodeUnit(Stream& s, char16_t unit, std::string& out) {
  if (s.encoding == Encoding::Utf16) {
    appendUnit(out, unit);
    return;
  }
  if (s.highSurrogate) {
    char16_t high = s.highSurrogate;
    s.highSurrogate = 0;
    if (unit >= 0xDC00 && unit <= 0xDFFF) {
      appendUtf8(out, 0x10000 + ((char32_t(high) - 0xD800) << 10) + (unit - 0xDC00));
      return;
    }
    appendUtf8(out, 0xFFFD);  // a high surrogate alone
  }
  if (unit >= 0xD800 && unit <= 0xDBFF) s.highSurrogate = unit;
  else if (unit >= 0xDC00 && unit <= 0xDFFF) appendUtf8(out, 0xFFFD);
  else appendUtf8(out, unit);
}

ssize_t cookieWrite(void* cookie, const char* data, size_t size) {
  auto& s = *static_cast<Stream*>(cookie);
  std::string out;
  switch (s.encoding) {
    case Encoding::Binary: out.assign(data, size); break;
    case Encoding::Ansi:
      for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n') out += '\r';
        out += data[i];
      }
      break;
    case Encoding::Utf8:
    case Encoding::Utf16: {
      std::string bytes = s.oddByte + std::string(data, size);
      size_t whole = bytes.size() & ~size_t(1);
      s.oddByte = bytes.substr(whole);
      for (size_t i = 0; i < whole; i += 2) {
        char16_t unit = char16_t((unsigned char)bytes[i] | (unsigned char)bytes[i + 1] << 8);
        if (unit == u'\n') encodeUnit(s, u'\r', out);
        encodeUnit(s, unit, out);
      }
      break;
    }
  }
  if (!writeRaw(s.file->Fd(), out.data(), out.size())) return -1;
  if (s.commit) ::fdatasync(s.file->Fd());
  return ssize_t(size);
}

// Decodes what `raw` holds into `ready`; keeps an incomplete tail.
void decode(Stream& s) {
  std::string& raw = s.raw;
  size_t used = 0;
  auto put16 = [&](char16_t unit) { appendUnit(s.ready, unit); };
  if (s.encoding == Encoding::Ansi || s.encoding == Encoding::Binary) {
    for (; used < raw.size(); ++used) {
      char c = raw[used];
      if (s.encoding == Encoding::Ansi) {
        if (c == '\x1A') {  // Ctrl-Z ends a text file
          s.atEnd = true;
          raw.clear();
          return;
        }
        if (c == '\r') {
          if (used + 1 == raw.size() && !s.atEnd) break;  // wait for the next byte
          if (used + 1 < raw.size() && raw[used + 1] == '\n') continue;
        }
      }
      s.ready += c;
    }
  } else if (s.encoding == Encoding::Utf16) {
    std::u16string units;
    for (; used + 1 < raw.size(); used += 2) units += char16_t((unsigned char)raw[used] | (unsigned char)raw[used + 1] << 8);
    for (size_t i = 0; i < units.size(); ++i) {
      if (units[i] == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') continue;
      if (units[i] == u'\r' && i + 1 == units.size() && !s.atEnd) {
        used -= 2;
        break;
      }
      put16(units[i]);
    }
  } else {
    // UTF-8: complete sequences only; an invalid byte becomes U+FFFD.
    while (used < raw.size()) {
      unsigned char c = raw[used];
      size_t need = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
      if (need == 0) {
        put16(0xFFFD);
        ++used;
        continue;
      }
      if (used + need > raw.size() && !s.atEnd) break;
      if (c == '\r') {
        if (used + 1 == raw.size() && !s.atEnd) break;
        if (used + 1 < raw.size() && raw[used + 1] == '\n') {
          ++used;
          continue;
        }
      }
      std::u16string text = tw::FromUtf8(std::string_view(raw).substr(used, std::min(need, raw.size() - used)));
      for (char16_t u : text) put16(u);
      used += std::min(need, raw.size() - used);
    }
  }
  raw.erase(0, used);
}

ssize_t cookieRead(void* cookie, char* buffer, size_t size) {
  auto& s = *static_cast<Stream*>(cookie);
  while (s.ready.empty() && !s.atEnd) {
    char chunk[8192];
    ssize_t n = ::read(s.file->Fd(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) s.atEnd = true;
    else s.raw.append(chunk, size_t(n));
    decode(s);
  }
  size_t n = std::min(size, s.ready.size());
  std::memcpy(buffer, s.ready.data(), n);
  s.ready.erase(0, n);
  return ssize_t(n);
}

int cookieSeek(void* cookie, off64_t* offset, int whence) {
  auto& s = *static_cast<Stream*>(cookie);
  off64_t target = ::lseek(s.file->Fd(), *offset, whence);
  if (target < 0) return -1;
  // Positions are file positions; the start of a Unicode file is after its mark.
  if (target < off64_t(s.bomSize)) target = ::lseek(s.file->Fd(), off64_t(s.bomSize), SEEK_SET);
  s.raw.clear();
  s.ready.clear();
  s.atEnd = false;
  *offset = target;
  return 0;
}

int cookieClose(void* cookie) {
  auto* s = static_cast<Stream*>(cookie);
  int rc = 0;
  if (s->commit && ::fdatasync(s->file->Fd()) != 0 && errno != EINVAL) rc = -1;
  std::unique_ptr<Stream> owned(s);
  std::lock_guard lock(g_mutex);
  for (auto it = streams().begin(); it != streams().end(); ++it)
    if (it->second == s) {
      streams().erase(it);
      break;
    }
  return rc;
}

struct Mode {
  DWORD access = 0;
  DWORD disposition = 0;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  bool read = false, write = false, append = false;
  Encoding encoding = Encoding::Ansi;
  bool ccs = false;
  bool commit = false;
};

// Parses a mode string as the Microsoft CRT does; false for an invalid one.
bool parseMode(std::u16string_view m, Mode& mode) {
  size_t i = 0;
  while (i < m.size() && m[i] == u' ') ++i;
  if (i == m.size()) return false;
  switch (m[i++]) {
    case u'r': mode.read = true; mode.disposition = OPEN_EXISTING; break;
    case u'w': mode.write = true; mode.disposition = CREATE_ALWAYS; break;
    case u'a': mode.write = mode.append = true; mode.disposition = OPEN_ALWAYS; break;
    default: return false;
  }
  bool plus = false, text = false, binary = false, commitSet = false, exclusive = false;
  for (; i < m.size() && m[i] != u','; ++i) {
    switch (m[i]) {
      case u'+': if (plus) return false; plus = true; break;
      case u't': if (text || binary) return false; text = true; break;
      case u'b': if (text || binary) return false; binary = true; break;
      case u'c': if (commitSet) return false; commitSet = mode.commit = true; break;
      case u'n': if (commitSet) return false; commitSet = true; break;
      case u'x': if (exclusive || mode.read || mode.append) return false; exclusive = true; break;
      case u'T': mode.flags |= FILE_ATTRIBUTE_TEMPORARY; break;
      case u'D': mode.flags |= FILE_FLAG_DELETE_ON_CLOSE; break;
      case u'N': case u'S': case u'R': case u' ': break;
      default: return false;
    }
  }
  if (plus) mode.read = mode.write = true;
  if (exclusive) mode.disposition = CREATE_NEW;
  if (binary) mode.encoding = Encoding::Binary;
  if (i < m.size()) {  // ", ccs=ENCODING"
    ++i;
    while (i < m.size() && m[i] == u' ') ++i;
    if (m.substr(i, 3) != u"ccs") return false;
    i += 3;
    while (i < m.size() && m[i] == u' ') ++i;
    if (i == m.size() || m[i] != u'=') return false;
    ++i;
    while (i < m.size() && m[i] == u' ') ++i;
    size_t end = m.size();
    while (end > i && m[end - 1] == u' ') --end;
    std::u16string_view name = m.substr(i, end - i);
    if (binary) return false;
    if (tw::EqualsNoCase(name, u"UTF-8")) mode.encoding = Encoding::Utf8;
    else if (tw::EqualsNoCase(name, u"UTF-16LE") || tw::EqualsNoCase(name, u"UNICODE")) mode.encoding = Encoding::Utf16;
    else return false;
    mode.ccs = true;
  }
  mode.access = (mode.read ? GENERIC_READ : 0) |
                (mode.write ? (mode.append ? (FILE_APPEND_DATA | FILE_WRITE_ATTRIBUTES) : GENERIC_WRITE) : 0);
  return true;
}

FILE* openStream(const WCHAR* filename, const WCHAR* modeText, DWORD share, errno_t& err) {
  Mode mode;
  if (!filename || !modeText || !parseMode(modeText, mode)) {
    err = EINVAL;
    return nullptr;
  }
  DWORD error = 0;
  bool existed = false;
  auto file = tw::file::OpenFile(filename, mode.access, share, mode.disposition, mode.flags, error, existed);
  if (!file) {
    err = errnoFrom(error);
    return nullptr;
  }
  auto stream = std::make_unique<Stream>();
  stream->encoding = mode.encoding;
  stream->commit = mode.commit;
  int fd = file->Fd();
  struct stat st {};
  ::fstat(fd, &st);
  if (mode.ccs) {
    // An existing mark decides the encoding; a new or empty file gets one.
    unsigned char head[3] = {};
    ssize_t got = st.st_size > 0 ? ::pread(fd, head, 3, 0) : 0;
    if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
      stream->encoding = Encoding::Utf8;
      stream->bomSize = 3;
    } else if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
      stream->encoding = Encoding::Utf16;
      stream->bomSize = 2;
    } else if (st.st_size == 0 && mode.write) {
      bool utf8 = stream->encoding == Encoding::Utf8;
      const char* bom = utf8 ? "\xEF\xBB\xBF" : "\xFF\xFE";
      stream->bomSize = utf8 ? 3 : 2;
      if (!writeRaw(fd, bom, stream->bomSize)) {
        err = errnoFrom(tw::file::ErrorFromErrno(errno));
        return nullptr;
      }
    }
    ::lseek(fd, off_t(stream->bomSize), SEEK_SET);
  } else if (mode.append && mode.read && stream->encoding == Encoding::Ansi && st.st_size > 0) {
    // The CRT drops a Ctrl-Z that ends a text file opened with "a+".
    char last = 0;
    if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last == '\x1A') (void)::ftruncate(fd, st.st_size - 1);
  }
  stream->file = std::move(file);
  cookie_io_functions_t io{cookieRead, cookieWrite, cookieSeek, cookieClose};
  const char* glibcMode = mode.read && mode.write ? "r+" : (mode.write ? "w" : "r");
  Stream* raw = stream.get();
  FILE* f = fopencookie(raw, glibcMode, io);
  if (!f) {
    err = errno ? errno : ENOMEM;
    return nullptr;
  }
  stream.release();  // fclose frees it through cookieClose
  std::lock_guard lock(g_mutex);
  streams()[f] = raw;
  err = 0;
  return f;
}

DWORD shareOf(int shflag) {
  switch (shflag) {
    case _SH_DENYRW: return 0;
    case _SH_DENYWR: return FILE_SHARE_READ;
    case _SH_DENYRD: return FILE_SHARE_WRITE;
    case _SH_DENYNO: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    case _SH_SECURE: return FILE_SHARE_READ;
    default: return ~DWORD(0);
  }
}

// Writes UTF-16 text the way the stream's mode wants it.
bool putText(FILE* stream, std::u16string_view text) {
  if (!stream) {
    errno = EINVAL;
    return false;
  }
  Stream* s = streamOf(stream);
  std::string bytes;
  if (!s) {
    bytes = tw::ToUtf8(text);  // a stream of the C library (stdout, ...)
  } else if (s->encoding == Encoding::Ansi) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    bytes.resize(size_t(n > 0 ? n : 0));
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
  } else {
    for (char16_t c : text) appendUnit(bytes, c);  // Unicode modes, and raw units in binary mode
  }
  return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

}  // namespace

TWAPI FILE* _wfsopen(const WCHAR* filename, const WCHAR* mode, int shflag) {
  DWORD share = shareOf(shflag);
  errno_t err = 0;
  FILE* f = share == ~DWORD(0) ? (err = EINVAL, nullptr) : openStream(filename, mode, share, err);
  if (!f) errno = err;
  return f;
}

TWAPI FILE* _wfopen(const WCHAR* filename, const WCHAR* mode) { return _wfsopen(filename, mode, _SH_DENYNO); }

TWAPI errno_t _wfopen_s(FILE** pFile, const WCHAR* filename, const WCHAR* mode) {
  if (!pFile) return errno = EINVAL;
  errno_t err = 0;
  *pFile = openStream(filename, mode, shareOf(_SH_SECURE), err);
  if (err) errno = err;
  return err;
}

TWAPI int _waccess(const WCHAR* path, int mode) {
  if (mode & ~6) {
    errno = EINVAL;
    return -1;
  }
  tw::file::Resolved where;
  tw::file::FileInfo info;
  if (tw::file::Resolve(path, where) || tw::file::QueryInfo(where.host, info)) {
    errno = ENOENT;
    return -1;
  }
  // Folders are only checked for existence, as the CRT does.
  if ((mode & 2) && !info.directory &&
      ((info.attributes & FILE_ATTRIBUTE_READONLY) || tw::file::IsWriteDenied(where.full))) {
    errno = EACCES;
    return -1;
  }
  return 0;
}

int fputws(const WCHAR* text, FILE* stream) {
  if (!text) {
    errno = EINVAL;
    return -1;
  }
  return putText(stream, text) ? 0 : -1;
}

int fputwc(WCHAR ch, FILE* stream) { return putText(stream, std::u16string_view(&ch, 1)) ? ch : 0xFFFF; }

WCHAR* fgetws(WCHAR* buffer, int count, FILE* stream) {
  if (!buffer || count <= 0 || !stream) {
    errno = EINVAL;
    return nullptr;
  }
  Stream* s = streamOf(stream);
  std::u16string line;
  if (s && s->encoding != Encoding::Ansi) {
    // Units of two bytes (Unicode modes, and binary mode as the CRT reads it).
    unsigned char pair[2];
    while (line.size() + 1 < size_t(count) && std::fread(pair, 1, 2, stream) == 2) {
      line += char16_t(pair[0] | pair[1] << 8);
      if (line.back() == u'\n') break;
    }
  } else {
    std::string bytes;
    int c;
    while (bytes.size() + 1 < size_t(count) && (c = std::fgetc(stream)) != EOF) {
      bytes += char(c);
      if (c == '\n') break;
    }
    if (s) {
      int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
      line.resize(size_t(n > 0 ? n : 0));
      if (n > 0) MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), line.data(), n);
    } else {
      line = tw::FromUtf8(bytes);
    }
    if (line.size() + 1 > size_t(count)) line.resize(size_t(count) - 1);
  }
  if (line.empty()) return nullptr;
  line.copy(buffer, line.size());
  buffer[line.size()] = 0;
  return buffer;
}

int vfwprintf(FILE* stream, const WCHAR* format, va_list args) {
  if (!stream || !format) {
    errno = EINVAL;
    return -1;
  }
  tw::fmt::Output<char16_t> count;
  tw::fmt::VaArgs first(args);
  int n = tw::fmt::Format(count, format, first);
  if (n < 0) return -1;
  std::u16string text(size_t(n), u'\0');
  tw::fmt::Output<char16_t> out{text.data(), text.size()};
  tw::fmt::VaArgs second(args);
  tw::fmt::Format(out, format, second);
  return putText(stream, text) ? n : -1;
}

int fwprintf(FILE* stream, const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vfwprintf(stream, format, args);
  va_end(args);
  return n;
}
