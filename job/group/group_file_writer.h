// One group file as the job writes it: an INI file whose byte layout is the
// job's, so that a change rewrites only the part of the file from the first
// changed section on. The printer's section is kept last and new sections go
// in front of it, so the update of a page rewrites that page's section and
// the printer's, however long the document.
//
// The file reads as the profile functions read it (sections and keys compare
// without case, the first of a name counts, values are trimmed and lose one
// pair of quotes). Its encoding is the file's own: UTF-16 when it begins with
// the byte-order mark FF FE, else the ANSI code page; a new file is ANSI.
// The first write of a job, and any write after the file changed under it
// (another program wrote it, or it was deleted), reads the whole file and
// writes it whole in the job's layout, keeping every section and key found.
//
// Memory stays flat in the number of sections: once written, a section in
// front of the last few (the printer's and the latest pages, the only ones
// a document changes) keeps only its name and offset. A change to such a
// section reads its entries back from the file first; when the file does
// not hold them exactly as written, the whole file is read again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "tw/wintypes.h"

namespace tw::group {

// The value a reader of the file gets back for a value written: a line break
// cannot be written (it becomes a space), an ANSI file holds the code page's
// conversion, a NUL ends it, blanks around it and one pair of matching
// quotes go, at most kReadBackChars characters.
std::u16string ReadableValue(std::u16string_view value, bool unicodeFile);

class GroupFileWriter {
 public:
  // `pinned`: the section kept at the end of the file.
  GroupFileWriter(std::u16string path, std::u16string pinned);
  const std::u16string& Path() const { return path_; }
  // Stages an entry; a null value removes the key.
  void Set(std::u16string_view section, std::u16string_view key, const WCHAR* value);
  bool Staged() const { return !ops_.empty(); }
  // Writes the staged entries and reads back every value written from the
  // file. FALSE with the system error as the last error (0 when the file was
  // written but a value read back differently).
  bool Flush();
  // What is known of the file is dropped: the next flush reads it again.
  void Forget() { loaded_ = false; }

 private:
  struct Entry {
    std::u16string key;
    std::u16string value;
    bool bare = false;  // a line without "=": hides later keys of its name
  };
  struct Section {
    std::u16string name;
    std::vector<Entry> entries;  // empty once let go (below heldFrom_)
  };
  struct Op {
    std::u16string section, key, value;
    bool remove = false;
  };
  struct Stamp {
    LONGLONG size = -1;
    ULONGLONG created = 0, written = 0;
    bool operator==(const Stamp&) const = default;
  };

  void Load(const std::string& bytes);
  // The entries of the sections let go from `from` on, from the file's
  // bytes at their offset; false when they are not as the job wrote them.
  bool Restore(size_t from, std::string_view bytes);
  // Lets go of the entries of the written sections in front of the last few.
  void LetGo();
  // Applies one staged entry to the sections; false when nothing changed.
  void Apply(const Op& op);
  size_t FindSection(std::u16string_view name) const;
  size_t AddSection(std::u16string_view name);
  // Rebuilds the name index of every section.
  void IndexAll();
  // The bytes of sections [from, end), their offsets updated from `start`.
  std::string Serialize(size_t from, uint64_t start);
  void SerializeSection(const Section& section, std::string& out) const;
  static Stamp StampOf(HANDLE file);

  std::u16string path_, pinned_;
  std::vector<Section> sections_;
  std::vector<uint64_t> offsets_;  // where each section begins in the file
  std::unordered_multimap<size_t, size_t> index_;  // hash of the name (HashNoCase) -> section
  size_t heldFrom_ = 0;  // sections in front of it hold no entries (the file has them)
  std::vector<Op> ops_;
  size_t dirtyFrom_ = SIZE_MAX;
  bool loaded_ = false;
  bool unicode_ = false;
  Stamp stamp_;
};

}  // namespace tw::group
