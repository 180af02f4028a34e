// What the job keeps about its pages beside the counters every area shares
// (m_dwActPage, m_dwSpoolPage, m_bSkipNextStartPage): the pages-per-sheet
// index, the password verdict of the document, the per-page texts and
// whether the page being made is one of the job's own.
#pragma once

#include <string>
#include <vector>

#include "tw/wintypes.h"

namespace tw::job {

class PageState {
 public:
  // The document name's password, decided at the first page and kept.
  enum class Password { Unchecked, Accepted, Refused };

  // The pages-per-sheet index of the current page (the output page number
  // before it was counted).
  DWORD sheetIndex = 0;
  Password password = Password::Unchecked;
  // A cover page or the empty page of a document without pages: it is not
  // a page of the driver's, so it counts no spool page and passes page
  // selection and the blank test.
  bool jobMadePage = false;
  // One text per output page (index: page number - 1), filled by the text
  // extraction and written per page or at the end of the document.
  std::vector<std::u16string> pageTexts;

  // n pages per sheet (0 or 1: off).
  DWORD SheetNumber(DWORD n) const { return n < 2 ? sheetIndex : sheetIndex / n; }
  bool SheetStarts(DWORD n) const { return n < 2 || sheetIndex % n == 0; }
  // `flush`: the last sheet of the document is written incomplete.
  bool SheetComplete(DWORD n, bool flush) const { return n < 2 || flush || sheetIndex % n == n - 1; }
  // The text of output page `page` (1-based), made empty; created when missing.
  void StartPageText(DWORD page) {
    if (page == 0) return;
    if (pageTexts.size() < page) pageTexts.resize(page);
    pageTexts[page - 1].clear();
  }
};

// Marks the page being made as one of the job's own while it lives.
class JobMadePage {
 public:
  explicit JobMadePage(PageState& pages) : pages_(pages), before_(pages.jobMadePage) { pages_.jobMadePage = true; }
  ~JobMadePage() { pages_.jobMadePage = before_; }
  JobMadePage(const JobMadePage&) = delete;
  JobMadePage& operator=(const JobMadePage&) = delete;

 private:
  PageState& pages_;
  bool before_;
};

}  // namespace tw::job
