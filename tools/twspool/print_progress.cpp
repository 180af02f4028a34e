#include "print_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <ostream>

namespace twspool {
namespace {

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Fixed(double v, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

std::string Rate(size_t pages, double seconds) {
  return Fixed(seconds > 0 ? static_cast<double>(pages) / seconds : 0.0, 1) + " pages/s";
}

}  // namespace

std::string ProgressLine(const ProgressState& state, size_t width) {
  std::string line = "printing";
  if (state.jobsTotal > 1)
    line += " (" + std::to_string(state.jobsDone) + " of " + std::to_string(state.jobsTotal) + " jobs done)";
  line += ": " + Plural(state.pages, "page", "pages") + ", " + Rate(state.pages, state.seconds);
  if (!state.file.empty()) line += ", " + state.file;
  // Keep the start, which carries the figures; a long name loses its middle.
  const size_t room = width > 1 ? width - 1 : 0;
  if (line.size() > room) {
    const size_t tail = room > 40 ? (room - 3) / 3 : 0;
    line = room > 3 ? line.substr(0, room - 3 - tail) + "..." + line.substr(line.size() - tail) : line.substr(0, room);
  }
  return line;
}

std::string SummaryLine(size_t pages, size_t files, double seconds) {
  return Plural(pages, "page", "pages") + ", " + Plural(files, "file", "files") + ", " + Fixed(seconds, 1) + " s, " +
         Rate(pages, seconds);
}

ProgressDisplay::ProgressDisplay(std::ostream& out, bool enabled)
    : m_out(out), m_enabled(enabled), m_start(std::chrono::steady_clock::now()) {
  winsize size{};
  if (enabled && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) m_width = size.ws_col;
}

double ProgressDisplay::Seconds() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

void ProgressDisplay::Draw(ProgressState state) {
  if (!m_enabled) return;
  state.seconds = Seconds();
  m_out << "\r\033[K" << ProgressLine(state, m_width) << std::flush;
  m_shown = true;
}

void ProgressDisplay::Clear() {
  if (!m_enabled || !m_shown) return;
  m_out << "\r\033[K" << std::flush;
  m_shown = false;
}

}  // namespace twspool
