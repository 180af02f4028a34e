// Plain-text files typeset into metafile pages, as a text editor would print
// them: a fixed font, margins, long lines wrapped, a form feed starts a page.
#pragma once

#include <string>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"
#include "tw/wintypes.h"

namespace tw::twdriver {

struct TextLayout {
  std::u16string face = u"Courier New";
  int points = 10;
  LONG paperWidth = 2159;   // 0.1 mm
  LONG paperLength = 2794;  // 0.1 mm
  int margin = 50;          // 1/100 inch on every side
};

// The pages of `text` (UTF-8; CR LF or LF line ends) as enhanced metafiles,
// recorded as an application records its spool file: on a printer context
// made from the job's record (its printer, paper and resolution). False with
// `error` set when a page cannot be recorded.
bool TypesetText(const std::string& text, const TextLayout& layout, const TarnwickDEVMODE& record,
                 std::vector<std::vector<BYTE>>& pages, std::string& error);

}  // namespace tw::twdriver
