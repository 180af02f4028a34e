// What `twspool print` lists of a job: the files of its pages, as the job's
// group file names them.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace twspool {

// Calls `line` for each line of a group file (UTF-16 with its byte order
// mark, else the ANSI code page; lines end at CR or LF), reading it a block
// at a time: a document's group file grows with its pages.
void ForEachGroupFileLine(HANDLE file, const std::function<void(std::u16string_view)>& line);

// The "FileName" of each page of a group file, in page order, read as the
// profile functions read it (names without case, the first of a name counts,
// values trimmed and one pair of quotes removed), for the pages up to the
// printer section's "Total number of pages". Each name is held once: the
// pages of a document mostly share their file.
struct GroupFilePages {
  std::vector<std::u16string> names;  // distinct
  std::vector<uint32_t> pages;        // each listed page's name, in page order
};
GroupFilePages ReadGroupFilePages(const std::u16string& groupFile, std::u16string_view printerName);

}  // namespace twspool
