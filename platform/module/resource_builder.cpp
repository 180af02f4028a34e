// Builders of a module's resources (tw/modulekit.h): string tables, message
// tables, raw data, and the table that tw_resources returns.
#include <algorithm>
#include <map>

#include "tw/modulekit.h"

namespace tw::res {
namespace {

void putWord(std::vector<BYTE>& out, WORD w) {
  out.push_back(static_cast<BYTE>(w & 0xFF));
  out.push_back(static_cast<BYTE>(w >> 8));
}

void putDword(std::vector<BYTE>& out, DWORD d) {
  putWord(out, static_cast<WORD>(d & 0xFFFF));
  putWord(out, static_cast<WORD>(d >> 16));
}

void putText(std::vector<BYTE>& out, std::u16string_view text) {
  for (char16_t c : text) putWord(out, c);
}

void setDword(std::vector<BYTE>& out, size_t at, DWORD d) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<BYTE>(d >> (8 * i));
}

}  // namespace

ResId::ResId(const char16_t* name) {
  if (IS_INTRESOURCE(name)) {
    id_ = LOWORD(name);
    return;
  }
  *this = ResId(std::u16string_view(name));
}

ResId::ResId(std::u16string_view name) {
  if (name.size() > 1 && name[0] == u'#' && name.size() <= 6 &&
      std::all_of(name.begin() + 1, name.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    DWORD n = 0;
    for (char16_t c : name.substr(1)) n = n * 10 + (c - u'0');
    if (n <= 0xFFFF) {
      id_ = static_cast<WORD>(n);
      return;
    }
  }
  isInt_ = false;
  name_ = name;
}

Resources Strings(std::initializer_list<StringEntry> strings, WORD language) {
  // Block b holds ids 16 * (b - 1) ... 16 * (b - 1) + 15.
  std::map<UINT, std::array<std::u16string_view, 16>> blocks;
  for (const auto& s : strings) blocks[(s.id >> 4) + 1][s.id & 15] = s.text.substr(0, 0xFFFF);
  Resources out;
  for (const auto& [block, texts] : blocks) {
    std::vector<BYTE> bytes;
    for (const auto& text : texts) {
      putWord(bytes, static_cast<WORD>(text.size()));
      putText(bytes, text);
    }
    out.push_back({RT_STRING, static_cast<int>(block), language, std::move(bytes)});
  }
  return out;
}

Resources MessageTable(std::initializer_list<MessageEntry> messages, WORD language, ResId name) {
  std::map<DWORD, std::u16string_view> byId;
  for (const auto& m : messages) byId[m.id] = m.text;
  // Runs of consecutive ids form the blocks.
  std::vector<std::pair<DWORD, DWORD>> ranges;
  for (const auto& [id, text] : byId) {
    if (!ranges.empty() && ranges.back().second + 1 == id) ranges.back().second = id;
    else ranges.emplace_back(id, id);
  }
  std::vector<BYTE> bytes;
  putDword(bytes, static_cast<DWORD>(ranges.size()));
  for (const auto& [low, high] : ranges) {
    putDword(bytes, low);
    putDword(bytes, high);
    putDword(bytes, 0);  // offset, set below
  }
  for (size_t r = 0; r < ranges.size(); ++r) {
    setDword(bytes, 4 + r * 12 + 8, static_cast<DWORD>(bytes.size()));
    for (DWORD id = ranges[r].first;; ++id) {
      // An entry's length is a WORD: longer texts are cut.
      std::u16string_view text = byId[id].substr(0, 0x7FF0);
      // Header, text, terminator, padded to a multiple of 4 bytes.
      size_t length = (4 + 2 * (text.size() + 1) + 3) & ~size_t(3);
      size_t start = bytes.size();
      putWord(bytes, static_cast<WORD>(length));
      putWord(bytes, MESSAGE_RESOURCE_UNICODE);
      putText(bytes, text);
      bytes.resize(start + length, 0);
      if (id == ranges[r].second) break;
    }
  }
  return {{RT_MESSAGETABLE, std::move(name), language, std::move(bytes)}};
}

Resources RcData(ResId name, std::span<const BYTE> bytes, WORD language) {
  return Raw(RT_RCDATA, std::move(name), bytes, language);
}

Resources Raw(ResId type, ResId name, std::span<const BYTE> bytes, WORD language) {
  return {{std::move(type), std::move(name), language, std::vector<BYTE>(bytes.begin(), bytes.end())}};
}

Table::Table(std::initializer_list<Resources> groups) {
  for (const auto& group : groups)
    resources_.insert(resources_.end(), group.begin(), group.end());
  // The entries point into resources_, which no longer changes.
  auto id = [](const ResId& r) -> LPCWSTR { return r.IsInt() ? MAKEINTRESOURCEW(r.Id()) : r.Name().c_str(); };
  for (const auto& r : resources_)
    entries_.push_back({id(r.type), id(r.name), r.bytes.data(), static_cast<DWORD>(r.bytes.size()), r.language, 0});
  table_ = {TW_RESOURCES_MAGIC, TW_RESOURCES_VERSION, static_cast<DWORD>(entries_.size()), 0, entries_.data()};
}

}  // namespace tw::res
