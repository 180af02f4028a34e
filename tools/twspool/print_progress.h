// What `twspool print` shows on a terminal while its jobs run: one line
// redrawn in place (jobs, pages done, pages per second, the file being
// written) and a summary when every job has ended.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

namespace twspool {

struct ProgressState {
  size_t jobsDone = 0, jobsTotal = 0;
  size_t pages = 0;
  double seconds = 0;
  std::string file;  // the output file written last, file part only; may be empty
};

// The progress line, at most `width` - 1 columns (a line as wide as the
// terminal would wrap before the cursor can return).
std::string ProgressLine(const ProgressState& state, size_t width);
// "12 pages, 1 file, 3.2 s, 3.8 pages/s"
std::string SummaryLine(size_t pages, size_t files, double seconds);

// Draws the line on a terminal; does nothing when not enabled.
class ProgressDisplay {
 public:
  ProgressDisplay(std::ostream& out, bool enabled);
  bool Enabled() const { return m_enabled; }
  double Seconds() const;
  void Draw(ProgressState state);
  // Removes the line, so that other output starts at the left margin.
  void Clear();

 private:
  std::ostream& m_out;
  bool m_enabled;
  bool m_shown = false;
  size_t m_width = 80;
  std::chrono::steady_clock::time_point m_start;
};

}  // namespace twspool
