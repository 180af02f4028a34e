// The group file written where it changed, and read back.
#include "job/group/group_file_writer.h"

#include <windows.h>

#include <algorithm>

#include "job/group/group_data.h"
#include "job/group/group_file.h"
#include "job/group/scoped_file.h"
#include "tw/casefold.h"

namespace tw::group {
namespace {

constexpr size_t npos = SIZE_MAX;
// The sections at the end of the file that keep their entries after a write:
// the printer's and the latest pages.
constexpr size_t kHeldSections = 3;

// Blanks as the profile functions trim them (Ctrl-Z included).
bool IsBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x1A; }

std::u16string_view Trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::u16string DecodeAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return std::u16string(bytes.begin(), bytes.end());
  std::u16string text(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
  return text;
}

std::string EncodeAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) {
    std::string out;
    for (char16_t c : text) out += c < 0x100 ? static_cast<char>(c) : '?';
    return out;
  }
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

std::u16string DecodeUtf16(std::string_view bytes) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)  // an odd last byte is not a character
    units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  return units;
}

void AppendUtf16(std::string& out, std::u16string_view text) {
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
}

// A value can never add a line to the file.
std::u16string OneLine(std::u16string_view value) {
  std::u16string line(value);
  std::replace_if(line.begin(), line.end(), [](char16_t c) { return c == u'\r' || c == u'\n'; }, u' ');
  return line;
}

// What the reader returns for a value as it stands in the file.
std::u16string AsRead(std::u16string_view value) {
  value = Trim(value.substr(0, value.find(u'\0')));
  if (value.size() >= 2 && (value[0] == u'"' || value[0] == u'\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  return std::u16string(value.substr(0, kReadBackChars));
}

// The lines of a file's text, each handed to `line` without its line end.
template <typename F>
void ForEachLine(std::u16string_view text, F&& line) {
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool end = i == text.size();
    if (!end && text[i] != u'\r' && text[i] != u'\n') continue;
    if (end && start == i) break;
    line(text.substr(start, i - start));
    if (!end && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
}

// The entries the reader sees in `text`: the first section of a name and
// the first key of a name in it count; a value is as the reader returns it.
std::unordered_map<std::u16string, std::unordered_map<std::u16string, std::u16string>> ReadEntries(
    std::u16string_view text) {
  std::unordered_map<std::u16string, std::unordered_map<std::u16string, std::u16string>> entries;
  std::unordered_map<std::u16string, std::u16string>* section = nullptr;
  ForEachLine(text, [&](std::u16string_view raw) {
    std::u16string_view line = Trim(raw);
    if (line.empty() || line[0] == u';') return;
    if (size_t close; line[0] == u'[' && (close = line.rfind(u']')) != std::u16string_view::npos) {
      std::u16string name = Upcase(Trim(line.substr(1, close - 1)));
      section = entries.count(name) ? nullptr : &entries[name];
      return;
    }
    if (!section) return;
    size_t eq = line.find(u'=');
    std::u16string key = Upcase(Trim(line.substr(0, eq)));
    // A key without "=" hides the later ones of its name and has no value.
    if (!section->count(key)) (*section)[key] = eq == std::u16string_view::npos ? u"\x01" : AsRead(line.substr(eq + 1));
  });
  return entries;
}

}  // namespace

std::u16string ReadableValue(std::u16string_view value, bool unicodeFile) {
  std::u16string line = OneLine(value);
  if (!unicodeFile) line = DecodeAnsi(EncodeAnsi(line));
  return AsRead(line);
}

GroupFileWriter::GroupFileWriter(std::u16string path, std::u16string pinned)
    : path_(std::move(path)), pinned_(std::move(pinned)) {}

void GroupFileWriter::Set(std::u16string_view section, std::u16string_view key, const WCHAR* value) {
  Op op{std::u16string(Trim(section)), std::u16string(Trim(key)), value ? OneLine(value) : std::u16string(), !value};
  ops_.push_back(std::move(op));
}

size_t GroupFileWriter::FindSection(std::u16string_view name) const {
  auto [first, last] = index_.equal_range(HashNoCase(name));
  for (auto it = first; it != last; ++it)
    if (EqualsNoCase(sections_[it->second].name, name)) return it->second;
  return npos;
}

void GroupFileWriter::IndexAll() {
  index_.clear();
  for (size_t i = 0; i < sections_.size(); ++i) index_.emplace(HashNoCase(sections_[i].name), i);
}

size_t GroupFileWriter::AddSection(std::u16string_view name) {
  // In front of the printer's section, which stays last.
  size_t at = sections_.size();
  if (at && EqualsNoCase(sections_.back().name, pinned_)) {
    --at;
    auto [first, last] = index_.equal_range(HashNoCase(pinned_));
    for (auto it = first; it != last; ++it)
      if (it->second == at) it->second = at + 1;
  }
  sections_.insert(sections_.begin() + static_cast<std::ptrdiff_t>(at), Section{std::u16string(name), {}});
  index_.emplace(HashNoCase(name), at);
  offsets_.insert(offsets_.begin() + static_cast<std::ptrdiff_t>(at), at < offsets_.size() ? offsets_[at] : 0);
  dirtyFrom_ = std::min(dirtyFrom_, at);
  return at;
}

void GroupFileWriter::Load(const std::string& bytes) {
  sections_.clear();
  index_.clear();
  heldFrom_ = 0;
  unicode_ = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
             static_cast<unsigned char>(bytes[1]) == 0xFE;
  const std::u16string text = unicode_ ? DecodeUtf16(std::string_view(bytes).substr(2)) : DecodeAnsi(bytes);
  Section* current = nullptr;
  ForEachLine(text, [&](std::u16string_view raw) {
    std::u16string_view line = Trim(raw);
    if (line.empty() || line[0] == u';') return;
    if (size_t close; line[0] == u'[' && (close = line.rfind(u']')) != std::u16string_view::npos) {
      std::u16string name(Trim(line.substr(1, close - 1)));
      // A later section of a name no reader sees is dropped.
      if (name.empty() || FindSection(name) != npos) {
        current = nullptr;
        return;
      }
      index_.emplace(HashNoCase(name), sections_.size());
      sections_.push_back(Section{std::move(name), {}});
      current = &sections_.back();
      return;
    }
    if (!current) return;  // lines before the first section are read by nobody
    size_t eq = line.find(u'=');
    Entry entry{std::u16string(Trim(line.substr(0, eq))), {}, eq == std::u16string_view::npos};
    if (!entry.bare) entry.value = std::u16string(Trim(line.substr(eq + 1)));
    auto& entries = current->entries;
    if (std::none_of(entries.begin(), entries.end(), [&](const Entry& e) { return EqualsNoCase(e.key, entry.key); }))
      entries.push_back(std::move(entry));
  });
  // The printer's section goes last.
  size_t pinned = FindSection(pinned_);
  if (pinned != npos && pinned + 1 != sections_.size()) {
    std::rotate(sections_.begin() + static_cast<std::ptrdiff_t>(pinned),
                sections_.begin() + static_cast<std::ptrdiff_t>(pinned) + 1, sections_.end());
    IndexAll();
  }
  offsets_.assign(sections_.size(), 0);
  dirtyFrom_ = 0;
  loaded_ = true;
}

void GroupFileWriter::Apply(const Op& op) {
  size_t s = FindSection(op.section);
  if (s == npos) {
    if (op.remove || op.section.empty()) return;
    s = AddSection(op.section);
  }
  auto& entries = sections_[s].entries;
  auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) { return EqualsNoCase(e.key, op.key); });
  if (op.remove) {
    if (it == entries.end()) return;
    entries.erase(it);
  } else if (it == entries.end()) {
    entries.push_back(Entry{op.key, op.value, false});
  } else {
    if (!it->bare && it->value == op.value) return;
    it->value = op.value;
    it->bare = false;
  }
  dirtyFrom_ = std::min(dirtyFrom_, s);
}

void GroupFileWriter::SerializeSection(const Section& section, std::string& out) const {
  std::u16string text = u"[" + section.name + u"]\r\n";
  for (const Entry& e : section.entries) {
    text += e.key;
    if (!e.bare) text += u"=" + e.value;
    text += u"\r\n";
  }
  if (unicode_) AppendUtf16(out, text);
  else out += EncodeAnsi(text);
}

std::string GroupFileWriter::Serialize(size_t from, uint64_t start) {
  std::string out;
  for (size_t i = from; i < sections_.size(); ++i) {
    offsets_[i] = start + out.size();
    SerializeSection(sections_[i], out);
  }
  return out;
}

bool GroupFileWriter::Restore(size_t from, std::string_view bytes) {
  std::vector<Section> restored;
  std::string check;
  for (size_t i = from; i < heldFrom_; ++i) {
    const uint64_t begin = offsets_[i] - offsets_[from], end = offsets_[i + 1] - offsets_[from];
    if (begin > end || end > bytes.size()) return false;
    const std::string_view chunk = bytes.substr(begin, end - begin);
    const std::u16string text = unicode_ ? DecodeUtf16(chunk) : DecodeAnsi(chunk);
    // The job's own lines: "[name]", then "key=value" or a bare key, each
    // ending in CR LF and holding no other line break. A key the job wrote
    // has no "=" (it would not have read back), so the first "=" ends it.
    Section section{sections_[i].name, {}};
    size_t at = text.find(u"\r\n");
    if (at == std::u16string::npos) return false;
    for (at += 2; at < text.size();) {
      const size_t lineEnd = text.find(u"\r\n", at);
      if (lineEnd == std::u16string::npos) return false;
      const std::u16string_view line = std::u16string_view(text).substr(at, lineEnd - at);
      if (line.find_first_of(u"\r\n") != std::u16string_view::npos) return false;
      const size_t eq = line.find(u'=');
      Entry entry{std::u16string(line.substr(0, eq)), {}, eq == std::u16string_view::npos};
      if (!entry.bare) entry.value = line.substr(eq + 1);
      section.entries.push_back(std::move(entry));
      at = lineEnd + 2;
    }
    // Taken only when it gives the file's bytes back exactly.
    check.clear();
    SerializeSection(section, check);
    if (check != chunk) return false;
    restored.push_back(std::move(section));
  }
  for (size_t i = from; i < heldFrom_; ++i) sections_[i].entries = std::move(restored[i - from].entries);
  heldFrom_ = from;
  return true;
}

void GroupFileWriter::LetGo() {
  for (; heldFrom_ + kHeldSections < sections_.size(); ++heldFrom_)
    std::vector<Entry>().swap(sections_[heldFrom_].entries);
}

GroupFileWriter::Stamp GroupFileWriter::StampOf(HANDLE file) {
  Stamp stamp;
  LARGE_INTEGER size{};
  FILETIME created{}, written{};
  if (GetFileSizeEx(file, &size)) stamp.size = size.QuadPart;
  if (GetFileTime(file, &created, nullptr, &written)) {
    stamp.created = (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    stamp.written = (ULONGLONG(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  }
  return stamp;
}

bool GroupFileWriter::Flush() {
  if (ops_.empty()) return true;
  std::vector<Op> ops;
  ops.swap(ops_);
  ScopedFile file(CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    loaded_ = false;
    return false;
  }
  auto readFrom = [&](uint64_t offset, std::string& bytes) {
    bytes.clear();
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) return false;
    char buffer[16384];
    for (DWORD got = 0;; bytes.append(buffer, got)) {
      if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) return false;
      if (got == 0) return true;
    }
  };

  std::string bytes;
  if (!loaded_ || !(StampOf(file.Get()) == stamp_)) {
    // First write, or the file changed under the job: take it as it is.
    loaded_ = false;
    if (!readFrom(0, bytes)) return false;
    Load(bytes);
  }
  // A change to a section whose entries were let go: they come back from the
  // file, or else the whole file is read again.
  size_t restoreFrom = npos;
  for (const Op& op : ops)
    if (const size_t s = FindSection(op.section); s < heldFrom_) restoreFrom = std::min(restoreFrom, s);
  if (restoreFrom != npos && !(readFrom(offsets_[restoreFrom], bytes) && Restore(restoreFrom, bytes))) {
    loaded_ = false;
    if (!readFrom(0, bytes)) return false;
    Load(bytes);
  }
  for (const Op& op : ops) Apply(op);
  if (dirtyFrom_ == npos) {  // every value was in the file already
    LetGo();
    return true;
  }

  const size_t from = dirtyFrom_;
  const bool whole = from == 0;
  const uint64_t start = whole ? (unicode_ ? 2 : 0) : offsets_[from];
  std::string tail = (whole && unicode_) ? std::string("\xFF\xFE") : std::string();
  tail += Serialize(from, start);
  dirtyFrom_ = npos;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(whole ? 0 : start);
  if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) || !WriteAll(file.Get(), tail.data(), tail.size()) ||
      !SetEndOfFile(file.Get())) {
    DWORD error = GetLastError();
    loaded_ = false;
    SetLastError(error);
    return false;
  }
  stamp_ = StampOf(file.Get());

  // Read back what reached the file and compare every value written.
  if (!readFrom(start, bytes)) {
    DWORD error = GetLastError();
    loaded_ = false;
    SetLastError(error);
    return false;
  }
  const auto entries = ReadEntries(unicode_ ? DecodeUtf16(bytes) : DecodeAnsi(bytes));
  SetLastError(ERROR_SUCCESS);
  // The last entry of a key is the one the file must hold.
  std::unordered_map<std::u16string, bool> seen;
  for (auto op = ops.rbegin(); op != ops.rend(); ++op) {
    if (!seen.emplace(Upcase(op->section) + u'\n' + Upcase(op->key), true).second || op->remove) continue;
    // Sections before the rewritten part held the value already: they are not in the read-back.
    if (const size_t at = FindSection(op->section); at != npos && at < from) continue;
    auto section = entries.find(Upcase(op->section));
    const std::u16string expected = ReadableValue(op->value, unicode_);
    bool same = false;
    if (section != entries.end()) {
      auto value = section->second.find(Upcase(op->key));
      same = value != section->second.end() && value->second == expected;
    }
    if (!same) {
      loaded_ = false;
      return false;
    }
  }
  LetGo();
  return true;
}

}  // namespace tw::group
