// The INI file model: parsing, lookups, edits and serialisation.
#include <algorithm>

#include "tw/casefold.h"
#include "tw/inifile.h"
#include "tw/nls.h"

namespace tw::profile {
namespace {

constexpr size_t npos = std::u16string::npos;

// Blanks as the profile functions trim them (Ctrl-Z included, an old
// end-of-file mark).
bool isBlank(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r') || c == 0x1A; }

std::u16string_view trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

std::u16string decodeAnsi(std::string_view bytes) {
  if (bytes.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
  if (n <= 0) {
    // A code page the converter does not know: keep the bytes as Latin-1,
    // so a file never fails to parse.
    return std::u16string(bytes.begin(), bytes.end());
  }
  std::u16string text(size_t(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), text.data(), n);
  return text;
}

std::string encodeAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) {
    std::string out;
    for (char16_t c : text) out += c < 0x100 ? char(c) : '?';
    return out;
  }
  std::string bytes(size_t(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
  return bytes;
}

void appendUtf16(std::string& out, std::u16string_view text) {
  for (char16_t c : text) {
    out += char(c & 0xFF);
    out += char(c >> 8);
  }
}

}  // namespace

IniDocument::Line IniDocument::classify(std::u16string text) {
  Line line;
  std::u16string_view t = trim(text);
  if (t.empty()) {
    line.kind = Kind::Blank;
  } else if (t[0] == u';') {
    line.kind = Kind::Comment;
  } else if (size_t close; t[0] == u'[' && (close = t.rfind(u']')) != npos) {
    line.kind = Kind::Section;
    line.name = trim(t.substr(1, close - 1));
  } else if (size_t eq = t.find(u'='); eq != npos) {
    line.kind = Kind::Key;
    line.name = trim(t.substr(0, eq));
    line.value = trim(t.substr(eq + 1));
  } else {
    line.kind = Kind::Bare;
    line.name = t;
  }
  line.text = std::move(text);
  return line;
}

IniDocument::Line IniDocument::makeLine(std::u16string text) const {
  Line line = classify(std::move(text));
  line.dirty = true;
  return line;
}

IniDocument IniDocument::Parse(std::string_view bytes) {
  IniDocument doc;
  if (bytes.size() >= 2 && (unsigned char)bytes[0] == 0xFF && (unsigned char)bytes[1] == 0xFE) {
    doc.unicode_ = true;
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)  // an odd last byte is not a character
      units += char16_t((unsigned char)bytes[i] | (unsigned char)bytes[i + 1] << 8);
    size_t start = 0;
    for (size_t i = 0; i <= units.size(); ++i) {
      bool end = i == units.size();
      if (!end && units[i] != u'\r' && units[i] != u'\n') continue;
      if (end && start == i) break;  // nothing after the last line end
      std::u16string text = units.substr(start, i - start);
      Line line = classify(text);
      appendUtf16(line.raw, text);
      doc.lines_.push_back(std::move(line));
      if (!end && units[i] == u'\r' && i + 1 < units.size() && units[i + 1] == u'\n') ++i;
      start = i + 1;
    }
    return doc;
  }
  size_t start = 0;
  for (size_t i = 0; i <= bytes.size(); ++i) {
    bool end = i == bytes.size();
    if (!end && bytes[i] != '\r' && bytes[i] != '\n') continue;
    if (end && start == i) break;
    std::string_view raw = bytes.substr(start, i - start);
    Line line = classify(decodeAnsi(raw));
    line.raw.assign(raw);
    doc.lines_.push_back(std::move(line));
    if (!end && bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return doc;
}

std::string IniDocument::Serialize() const {
  std::string out;
  if (unicode_) out += "\xFF\xFE";
  for (const auto& line : lines_) {
    if (unicode_) {
      if (line.dirty) appendUtf16(out, line.text);
      else out += line.raw;
      out.append("\r\0\n\0", 4);
    } else {
      out += line.dirty ? encodeAnsi(line.text) : line.raw;
      out += "\r\n";
    }
  }
  return out;
}

void IniDocument::sectionRange(std::u16string_view name, size_t& header, size_t& end) const {
  std::u16string_view wanted = trim(name);
  header = end = npos;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind != Kind::Section) continue;
    if (header != npos) {
      end = i;
      return;
    }
    if (!lines_[i].name.empty() && EqualsNoCase(lines_[i].name, wanted)) header = i;
  }
  if (header != npos) end = lines_.size();
}

size_t IniDocument::findKey(size_t header, size_t end, std::u16string_view key) const {
  std::u16string_view wanted = trim(key);
  for (size_t i = header + 1; i < end; ++i) {
    const Line& line = lines_[i];
    if ((line.kind == Kind::Key || line.kind == Kind::Bare) && EqualsNoCase(line.name, wanted)) return i;
  }
  return npos;
}

std::vector<std::u16string> IniDocument::SectionNames() const {
  std::vector<std::u16string> names;
  for (const auto& line : lines_)
    if (line.kind == Kind::Section && !line.name.empty()) names.push_back(line.name);
  return names;
}

bool IniDocument::Value(std::u16string_view section, std::u16string_view key, std::u16string& value) const {
  size_t header, end;
  sectionRange(section, header, end);
  if (header == npos) return false;
  size_t i = findKey(header, end, key);
  if (i == npos || lines_[i].kind != Kind::Key) return false;
  value = lines_[i].value;
  return true;
}

std::vector<std::u16string> IniDocument::KeyNames(std::u16string_view section) const {
  std::vector<std::u16string> names;
  size_t header, end;
  sectionRange(section, header, end);
  if (header == npos) return names;
  for (size_t i = header + 1; i < end; ++i)
    if (lines_[i].kind == Kind::Key) names.push_back(lines_[i].name);
  return names;
}

std::vector<std::u16string> IniDocument::SectionLines(std::u16string_view section) const {
  std::vector<std::u16string> out;
  size_t header, end;
  sectionRange(section, header, end);
  if (header == npos) return out;
  for (size_t i = header + 1; i < end; ++i) {
    const Line& line = lines_[i];
    if (line.kind == Kind::Key) out.push_back(line.name + u"=" + line.value);
    else if (line.kind == Kind::Bare) out.push_back(line.name);
  }
  return out;
}

bool IniDocument::SetValue(std::u16string_view section, std::u16string_view key, std::u16string_view value) {
  std::u16string k(trim(key));
  size_t header, end;
  sectionRange(section, header, end);
  if (header == npos) {
    lines_.push_back(makeLine(u"[" + std::u16string(trim(section)) + u"]"));
    lines_.push_back(makeLine(k + u"=" + std::u16string(value)));
    return true;
  }
  size_t i = findKey(header, end, k);
  if (i != npos) {
    Line& line = lines_[i];
    if (line.kind == Kind::Key && line.value == value) return false;
    // Keep the key as the file spells it.
    line = makeLine(line.name + u"=" + std::u16string(value));
    return true;
  }
  // After the section's last non-blank line, so blank separators stay below.
  size_t at = end;
  while (at > header + 1 && lines_[at - 1].kind == Kind::Blank) --at;
  lines_.insert(lines_.begin() + std::ptrdiff_t(at), makeLine(k + u"=" + std::u16string(value)));
  return true;
}

bool IniDocument::DeleteKey(std::u16string_view section, std::u16string_view key) {
  size_t header, end;
  sectionRange(section, header, end);
  if (header == npos) return false;
  size_t i = findKey(header, end, key);
  if (i == npos) return false;
  lines_.erase(lines_.begin() + std::ptrdiff_t(i));
  return true;
}

bool IniDocument::DeleteSection(std::u16string_view section) {
  bool changed = false;
  for (;;) {
    size_t header, end;
    sectionRange(section, header, end);
    if (header == npos) return changed;
    lines_.erase(lines_.begin() + std::ptrdiff_t(header), lines_.begin() + std::ptrdiff_t(end));
    changed = true;
  }
}

bool IniDocument::ReplaceSection(std::u16string_view section, const std::vector<std::u16string>& lines) {
  bool changed = false;
  size_t header, end;
  sectionRange(section, header, end);
  if (header != npos && end > header + 1) {
    lines_.erase(lines_.begin() + std::ptrdiff_t(header + 1), lines_.begin() + std::ptrdiff_t(end));
    changed = true;
  }
  for (const auto& text : lines) {
    size_t eq = text.find(u'=');
    if (eq == npos) continue;
    std::u16string_view view(text);
    changed |= SetValue(section, view.substr(0, eq), view.substr(eq + 1));
  }
  return changed;
}

}  // namespace tw::profile
