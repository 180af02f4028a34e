// Internal: the INI file model behind the profile API, and its safe
// read-modify-write on disk.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tw/wintypes.h"

namespace tw::profile {

// An INI file in memory as a list of lines. A line that is not changed keeps
// its bytes exactly; changed and new lines are encoded in the file's encoding.
class IniDocument {
 public:
  // Bytes beginning with FF FE are UTF-16LE, anything else ANSI text in the
  // configured code page. Any bytes parse; nothing is rejected.
  static IniDocument Parse(std::string_view bytes);
  // The file's bytes; lines end with CR LF.
  std::string Serialize() const;
  bool Unicode() const { return unicode_; }

  // Reading. Names are compared without case after trimming blanks.
  std::vector<std::u16string> SectionNames() const;
  // The trimmed value of the key in the first section of that name (quotes
  // kept); false when there is none (a line without "=" has no value).
  bool Value(std::u16string_view section, std::u16string_view key, std::u16string& value) const;
  // Names of the keys (lines with "=") of the section, in file order.
  std::vector<std::u16string> KeyNames(std::u16string_view section) const;
  // "key=value" for each key and the text of every other non-comment line.
  std::vector<std::u16string> SectionLines(std::u16string_view section) const;

  // Changes; each returns true when the document changed.
  bool SetValue(std::u16string_view section, std::u16string_view key, std::u16string_view value);
  bool DeleteKey(std::u16string_view section, std::u16string_view key);
  bool DeleteSection(std::u16string_view section);
  // Replaces the keys of the section with `lines` ("key=value"; lines without
  // "=" are dropped), creating the section when there are any.
  bool ReplaceSection(std::u16string_view section, const std::vector<std::u16string>& lines);

 private:
  enum class Kind { Blank, Comment, Section, Key, Bare };
  struct Line {
    std::string raw;      // the bytes as read (no line end); unused when `dirty`
    std::u16string text;  // decoded
    bool dirty = false;
    Kind kind = Kind::Blank;
    std::u16string name;   // section or key name, trimmed
    std::u16string value;  // key value, trimmed
  };
  static Line classify(std::u16string text);
  Line makeLine(std::u16string text) const;
  // [begin, end) of the lines of the first section of that name (after its
  // header); begin == npos when there is none.
  void sectionRange(std::u16string_view name, size_t& header, size_t& end) const;
  size_t findKey(size_t header, size_t end, std::u16string_view key) const;

  bool unicode_ = false;
  std::vector<Line> lines_;
};

// The full path the profile API uses for a file name: a name without "\",
// "/" or drive lives in the Windows folder; null is win.ini.
TWCPPAPI DWORD ProfilePath(LPCWSTR fileName, std::u16string& path);
// Reads and parses the file; ERROR_FILE_NOT_FOUND (or another error) when it
// cannot be read.
TWCPPAPI DWORD Load(const std::u16string& path, IniDocument& document);
// Changes the file under an exclusive lock that writers in every process
// respect, and replaces it atomically, so a crash never leaves half a file.
// `edit` returns whether it changed the document; nothing is written when it
// did not. Without `create` a missing file is left missing (success).
TWCPPAPI DWORD Update(const std::u16string& path, bool create, const std::function<bool(IniDocument&)>& edit);

}  // namespace tw::profile
