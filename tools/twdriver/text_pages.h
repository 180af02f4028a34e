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
  // A fixed grid of lines instead of the font's line height between the
  // margins, in points from the paper's left and top edges: each line's
  // baseline `pitch` below the one before, `lines` lines a page; the right
  // margin stays `margin`. Unused while `lines` is 0.
  struct Grid {
    double left = 0, firstBaseline = 0, pitch = 0;
    int lines = 0;
  } grid;
};

// The grid of enscript's Letter pages with
// 10-point Courier and no header: 65 lines of 11 points, the first baseline
// 49 points below the top edge, lines 23 points from the left edge and 18
// points of right margin.
TextLayout EnscriptLetterLayout();

// The pages of `text` (UTF-8; CR LF or LF line ends) as enhanced metafiles,
// recorded as an application records its spool file: on a printer context
// made from the job's record (its printer, paper and resolution). False with
// `error` set when a page cannot be recorded.
bool TypesetText(const std::string& text, const TextLayout& layout, const TarnwickDEVMODE& record,
                 std::vector<std::vector<BYTE>>& pages, std::string& error);

}  // namespace tw::twdriver
