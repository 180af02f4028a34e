// ".reg" files: parser and writer.
#include "regfile.h"

#include <cstring>

#include "tw/utf.h"
#include "winreg.h"

namespace twreg {
namespace {

bool decode(const std::string& bytes, std::u16string* text) {
  if (bytes.size() >= 2 && static_cast<BYTE>(bytes[0]) == 0xFF && static_cast<BYTE>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2) return false;
    text->resize((bytes.size() - 2) / 2);
    std::memcpy(text->data(), bytes.data() + 2, text->size() * 2);
    return true;
  }
  std::string_view utf8(bytes);
  if (utf8.size() >= 3 && utf8.substr(0, 3) == "\xEF\xBB\xBF") utf8.remove_prefix(3);
  *text = tw::FromUtf8(utf8);
  // Anything that does not survive the round trip was not valid UTF-8.
  return tw::ToUtf8(*text) == utf8;
}

bool isSpace(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trim(std::u16string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && (isSpace(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
  return s;
}

int hexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// A quoted string at `pos` (on the opening quote): \\ and \" are the escapes.
bool quoted(std::u16string_view line, size_t* pos, std::u16string* out, std::string* why) {
  out->clear();
  for (size_t i = *pos + 1; i < line.size(); ++i) {
    char16_t c = line[i];
    if (c == u'"') {
      *pos = i + 1;
      return true;
    }
    if (c == u'\\') {
      if (i + 1 >= line.size() || (line[i + 1] != u'\\' && line[i + 1] != u'"')) {
        *why = "a backslash in a quoted string must be written \\\\ (or \\\" for a quote)";
        return false;
      }
      c = line[++i];
    }
    *out += c;
  }
  *why = "a quoted string has no closing quote";
  return false;
}

bool hexBytes(std::u16string_view text, std::vector<BYTE>* out, std::string* why) {
  out->clear();
  text = trim(text);
  if (text.empty()) return true;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(u',', start);
    if (comma == std::u16string_view::npos) comma = text.size();
    auto item = trim(text.substr(start, comma - start));
    if (item.empty()) {
      if (comma == text.size() && start > 0) break;  // a trailing comma
      *why = "an empty byte in hex data";
      return false;
    }
    if (item.size() > 2 || hexDigit(item[0]) < 0 || (item.size() == 2 && hexDigit(item[1]) < 0)) {
      *why = "\"" + tw::ToUtf8(item) + "\" is not a hex byte";
      return false;
    }
    out->push_back(static_cast<BYTE>(item.size() == 2 ? hexDigit(item[0]) * 16 + hexDigit(item[1]) : hexDigit(item[0])));
    start = comma + 1;
  }
  return true;
}

bool valueData(std::u16string_view data, RegValue* value, std::string* why) {
  if (data == u"-") {
    value->remove = true;
    return true;
  }
  if (!data.empty() && data[0] == u'"') {
    size_t pos = 0;
    std::u16string text;
    if (!quoted(data, &pos, &text, why)) return false;
    if (!trim(data.substr(pos)).empty()) {
      *why = "unexpected text after the closing quote";
      return false;
    }
    value->type = REG_SZ;
    value->data.resize((text.size() + 1) * 2, 0);
    std::memcpy(value->data.data(), text.data(), text.size() * 2);
    return true;
  }
  auto lower = [](std::u16string_view s) {
    std::u16string out(s);
    for (auto& c : out)
      if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    return out;
  };
  std::u16string head = lower(data.substr(0, std::min<size_t>(data.size(), 16)));
  if (head.rfind(u"dword:", 0) == 0) {
    auto digits = trim(data.substr(6));
    if (digits.empty() || digits.size() > 8) {
      *why = "dword: needs 1 to 8 hex digits";
      return false;
    }
    DWORD number = 0;
    for (char16_t c : digits) {
      if (hexDigit(c) < 0) {
        *why = "dword: needs hex digits";
        return false;
      }
      number = number * 16 + static_cast<DWORD>(hexDigit(c));
    }
    value->type = REG_DWORD;
    value->data.resize(4);
    std::memcpy(value->data.data(), &number, 4);
    return true;
  }
  size_t colon = data.find(u':');
  if (head.rfind(u"hex", 0) == 0 && colon != std::u16string_view::npos) {
    auto kind = lower(data.substr(0, colon));
    if (kind == u"hex") {
      value->type = REG_BINARY;
    } else if (kind.size() > 5 && kind.rfind(u"hex(", 0) == 0 && kind.back() == u')') {
      DWORD type = 0;
      auto digits = std::u16string_view(kind).substr(4, kind.size() - 5);
      if (digits.empty() || digits.size() > 8) {
        *why = "hex(n): needs a hex type number";
        return false;
      }
      for (char16_t c : digits) {
        if (hexDigit(c) < 0) {
          *why = "hex(n): needs a hex type number";
          return false;
        }
        type = type * 16 + static_cast<DWORD>(hexDigit(c));
      }
      value->type = type;
    } else {
      *why = "unknown data format \"" + tw::ToUtf8(kind) + ":\"";
      return false;
    }
    return hexBytes(data.substr(colon + 1), &value->data, why);
  }
  *why = "unknown data (expected \"text\", dword:, hex:, hex(n): or -)";
  return false;
}

}  // namespace

bool ParseRegFile(const std::string& bytes, std::vector<RegKeyBlock>* blocks, std::string* error) {
  std::u16string text;
  if (!decode(bytes, &text)) {
    *error = "the file is neither UTF-16LE with a byte-order mark nor UTF-8";
    return false;
  }
  // Physical lines, then logical lines: a value line ending in a backslash
  // continues hex data on the next one.
  std::vector<std::pair<int, std::u16string>> lines;
  int number = 0;
  size_t start = 0;
  bool continued = false;
  while (start <= text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string::npos) end = text.size();
    ++number;
    std::u16string_view line = std::u16string_view(text).substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    std::u16string_view body = continued ? trim(line) : line;
    // A key line or a comment never continues, whatever it ends with.
    bool opener = !continued && !trim(body).empty() && (trim(body).front() == u'[' || trim(body).front() == u';');
    bool next = !trim(body).empty() && trim(body).back() == u'\\' && !opener;
    if (next) body = trim(body).substr(0, trim(body).size() - 1);
    if (continued) lines.back().second += body;
    else lines.emplace_back(number, std::u16string(body));
    continued = next;
    start = end + 1;
  }

  blocks->clear();
  bool header = false;
  auto fail = [&](int line, const std::string& why) {
    *error = "line " + std::to_string(line) + ": " + why;
    return false;
  };
  for (const auto& [line, raw] : lines) {
    std::u16string_view content = trim(raw);
    if (content.empty() || content[0] == u';') continue;
    if (!header) {
      if (content != u"Windows Registry Editor Version 5.00")
        return fail(line, "not a registry file (the first line must be \"Windows Registry Editor Version 5.00\")");
      header = true;
      continue;
    }
    if (content[0] == u'[') {
      if (content.back() != u']') return fail(line, "a key line must end with ]");
      RegKeyBlock block;
      block.line = line;
      auto path = content.substr(1, content.size() - 2);
      if (!path.empty() && path[0] == u'-') {
        block.remove = true;
        path.remove_prefix(1);
      }
      if (trim(path).empty()) return fail(line, "empty key name");
      block.path = std::u16string(trim(path));
      blocks->push_back(std::move(block));
      continue;
    }
    if (content[0] != u'"' && content[0] != u'@')
      return fail(line, "expected [key], \"name\"=data or @=data");
    if (blocks->empty()) return fail(line, "a value before the first [key]");
    if (blocks->back().remove) return fail(line, "a value under a key that is being deleted");
    RegValue value;
    size_t pos = 1;
    std::string why;
    if (content[0] == u'"') {
      pos = 0;
      if (!quoted(content, &pos, &value.name, &why)) return fail(line, why);
    }
    auto rest = trim(content.substr(pos));
    if (rest.empty() || rest[0] != u'=') return fail(line, "expected = after the value name");
    if (!valueData(trim(rest.substr(1)), &value, &why)) return fail(line, why);
    blocks->back().values.push_back(std::move(value));
  }
  if (!header) {
    *error = "line 1: not a registry file (the first line must be \"Windows Registry Editor Version 5.00\")";
    return false;
  }
  return true;
}

namespace {

std::u16string escape(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') out += u'\\';
    out += c;
  }
  return out;
}

// A string that a quoted form gives back byte for byte: one terminator at
// the end, none inside, no line breaks.
bool plainString(const std::vector<BYTE>& data) {
  if (data.size() < 2 || data.size() % 2) return false;
  std::u16string text(data.size() / 2, u'\0');
  std::memcpy(text.data(), data.data(), data.size());
  if (text.back() != u'\0') return false;
  text.pop_back();
  return text.find_first_of(std::u16string_view(u"\0\r\n", 3)) == std::u16string::npos;
}

std::u16string hexLines(std::u16string line, const std::vector<BYTE>& data) {
  static const char16_t* digits = u"0123456789abcdef";
  std::u16string out;
  for (size_t i = 0; i < data.size(); ++i) {
    line += digits[data[i] >> 4];
    line += digits[data[i] & 15];
    if (i + 1 < data.size()) {
      line += u',';
      if (line.size() > 76) {  // regedit's wrapping
        out += line + u"\\\r\n";
        line = u"  ";
      }
    }
  }
  return out + line + u"\r\n";
}

}  // namespace

std::u16string FormatValueLines(const RegValue& value) {
  std::u16string name = value.name.empty() ? u"@" : u"\"" + escape(value.name) + u"\"";
  if (value.type == REG_SZ && plainString(value.data)) {
    std::u16string text(value.data.size() / 2 - 1, u'\0');
    std::memcpy(text.data(), value.data.data(), text.size() * 2);
    return name + u"=\"" + escape(text) + u"\"\r\n";
  }
  if (value.type == REG_DWORD && value.data.size() == 4) {
    DWORD number;
    std::memcpy(&number, value.data.data(), 4);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", number);
    return name + u"=dword:" + tw::FromUtf8(buf) + u"\r\n";
  }
  if (value.type == REG_BINARY) return hexLines(name + u"=hex:", value.data);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", value.type);
  return hexLines(name + u"=hex(" + tw::FromUtf8(buf) + u"):", value.data);
}

std::u16string FormatKeyBlock(const std::u16string& path, const std::vector<RegValue>& values) {
  std::u16string out = u"[" + path + u"]\r\n";
  for (const auto& value : values) out += FormatValueLines(value);
  return out + u"\r\n";
}

std::string EncodeUtf16File(const std::u16string& text) {
  std::string out("\xFF\xFE", 2);
  out.resize(2 + text.size() * 2);
  std::memcpy(out.data() + 2, text.data(), text.size() * 2);
  return out;
}

}  // namespace twreg
