// ".reg" files ("Windows Registry Editor Version 5.00"): reading and writing.
#pragma once
#include <string>
#include <vector>

#include "tw/wintypes.h"

namespace twreg {

struct RegValue {
  std::u16string name;  // empty: the unnamed (default) value
  DWORD type = 0;
  std::vector<BYTE> data;
  bool remove = false;  // "name"=-
};

struct RegKeyBlock {
  std::u16string path;  // as written, with its root ("HKEY_CURRENT_USER\...")
  bool remove = false;  // [-path]
  int line = 0;
  std::vector<RegValue> values;
};

// Parses a whole file (UTF-16LE with byte-order mark, or UTF-8 with or
// without one). On failure returns false and a message naming the line.
bool ParseRegFile(const std::string& bytes, std::vector<RegKeyBlock>* blocks, std::string* error);

// The line (or wrapped hex lines) of one value as regedit writes it.
std::u16string FormatValueLines(const RegValue& value);
// The text of one key block as regedit writes it (CRLF line ends).
std::u16string FormatKeyBlock(const std::u16string& path, const std::vector<RegValue>& values);
inline const char16_t* kRegFileHeader = u"Windows Registry Editor Version 5.00\r\n\r\n";

// UTF-16LE with a byte-order mark.
std::string EncodeUtf16File(const std::u16string& text);

}  // namespace twreg
