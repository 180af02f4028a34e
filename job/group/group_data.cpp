// The group data, held compactly.
#include "job/group/group_data.h"

#include <algorithm>
#include <functional>

#include "tw/casefold.h"

namespace tw::group {

size_t HashNoCase(std::u16string_view text) {
  size_t hash = 14695981039346656037ull;  // FNV-1a over the upper-cased units
  for (char16_t unit : text) {
    const char16_t upper = UpcaseUnit(unit);
    hash = (hash ^ (upper & 0xFF)) * 1099511628211ull;
    hash = (hash ^ (upper >> 8)) * 1099511628211ull;
  }
  return hash;
}

size_t GroupData::Texts::Hash(std::u16string_view text) const {
  return noCase_ ? HashNoCase(text) : std::hash<std::u16string_view>{}(text);
}

uint32_t GroupData::Texts::Find(std::u16string_view text) const {
  auto [first, last] = index_.equal_range(Hash(text));
  for (auto it = first; it != last; ++it) {
    const std::u16string_view held = slots_[it->second].text;
    if (noCase_ ? EqualsNoCase(held, text) : held == text) return it->second;
  }
  return kNone;
}

uint32_t GroupData::Texts::Hold(std::u16string_view text) {
  uint32_t id = Find(text);
  if (id == kNone) {
    if (free_.empty()) {
      id = static_cast<uint32_t>(slots_.size());
      slots_.emplace_back();
    } else {
      id = free_.back();
      free_.pop_back();
    }
    slots_[id].text = text;
    index_.emplace(Hash(text), id);
  }
  ++slots_[id].holders;
  return id;
}

void GroupData::Texts::Release(uint32_t id) {
  Slot& slot = slots_[id];
  if (--slot.holders) return;
  auto [first, last] = index_.equal_range(Hash(slot.text));
  for (auto it = first; it != last; ++it)
    if (it->second == id) {
      index_.erase(it);
      break;
    }
  std::u16string().swap(slot.text);
  free_.push_back(id);
}

size_t GroupData::SectionIndex(std::u16string_view name) const {
  const uint32_t id = names_.Find(name);
  if (id == Texts::kNone || id >= sectionOf_.size() || !sectionOf_[id]) return SIZE_MAX;
  return sectionOf_[id] - 1;
}

void GroupData::Set(std::u16string_view section, std::u16string_view key, const WCHAR* value) {
  size_t at = SectionIndex(section);
  if (at == SIZE_MAX) {
    if (!value) return;
    const uint32_t name = names_.Hold(section);
    if (sectionOf_.size() <= name) sectionOf_.resize(name + 1, 0);
    at = sections_.size();
    sections_.push_back(Section{name, {}});
    sectionOf_[name] = static_cast<uint32_t>(sections_.size());
  }
  Section* s = &sections_[at];
  const uint32_t keyId = names_.Find(key);
  auto it = std::find_if(s->entries.begin(), s->entries.end(), [&](const Entry& e) { return e.key == keyId; });
  if (!value) {
    if (keyId == Texts::kNone || it == s->entries.end()) return;
    values_.Release(it->value);
    names_.Release(it->key);
    s->entries.erase(it);
    return;
  }
  const uint32_t valueId = values_.Hold(value);
  if (it != s->entries.end()) {
    values_.Release(it->value);
    it->value = valueId;
  } else {
    s->entries.push_back(Entry{names_.Hold(key), valueId});
  }
}

std::optional<std::u16string_view> GroupData::Find(std::u16string_view section, std::u16string_view key) const {
  const size_t at = SectionIndex(section);
  const uint32_t keyId = at == SIZE_MAX ? Texts::kNone : names_.Find(key);
  if (keyId == Texts::kNone) return std::nullopt;
  for (const Entry& e : sections_[at].entries)
    if (e.key == keyId) return values_.Text(e.value);
  return std::nullopt;
}

}  // namespace tw::group
