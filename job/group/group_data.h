// The group data: section -> key -> value, what the job has written of the
// document and its pages. A job holds it for the whole document (the XML
// summary and the readers go back to it), so it is kept small: every name
// and every value is held once and shared by the entries that use it (the
// pages of a document mostly repeat the same keys and values), and a
// section is a flat list of id pairs. Section and key names compare as the
// profile functions compare them (without case); values compare exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tw/wintypes.h"

namespace tw::group {

// The hash of a name as the profile functions compare it (each unit upper-cased).
size_t HashNoCase(std::u16string_view text);

class GroupData {
 public:
  // Sets a value; a null value removes the key (the section stays).
  void Set(std::u16string_view section, std::u16string_view key, const WCHAR* value);
  // The value of a key; none when the section or the key is absent.
  std::optional<std::u16string_view> Find(std::u16string_view section, std::u16string_view key) const;
  // No section was ever written.
  bool empty() const { return sections_.empty(); }

 private:
  // Texts held once each, counted by their holders; a text without holders
  // is freed and its id used again.
  class Texts {
   public:
    explicit Texts(bool noCase) : noCase_(noCase) {}
    static constexpr uint32_t kNone = UINT32_MAX;
    uint32_t Find(std::u16string_view text) const;
    // The id of `text`, with one more holder.
    uint32_t Hold(std::u16string_view text);
    void Release(uint32_t id);
    std::u16string_view Text(uint32_t id) const { return slots_[id].text; }

   private:
    size_t Hash(std::u16string_view text) const;
    struct Slot {
      std::u16string text;
      uint32_t holders = 0;
    };
    bool noCase_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> free_;
    std::unordered_multimap<size_t, uint32_t> index_;  // hash -> id
  };
  struct Entry {
    uint32_t key, value;
  };
  struct Section {
    uint32_t name;
    std::vector<Entry> entries;
  };
  // The index of a section; SIZE_MAX when there is none.
  size_t SectionIndex(std::u16string_view name) const;

  Texts names_{true};    // section and key names
  Texts values_{false};  // values
  std::vector<Section> sections_;
  std::vector<uint32_t> sectionOf_;  // name id -> section index + 1; 0: not a section
};

}  // namespace tw::group
