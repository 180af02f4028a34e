// The end of a written page (cairo_show_page: its PDF objects made and its
// content compressed) on a thread of its own, so that the job reads and
// prepares its next page meanwhile. One page at a time: whoever uses the
// surface next waits for the page before.
#pragma once
#include <cairo.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace twpdf {

class PageShow {
 public:
  PageShow() = default;
  ~PageShow();  // waits for the page being shown
  PageShow(const PageShow&) = delete;
  PageShow& operator=(const PageShow&) = delete;

  // Starts showing the page drawn on `cr`; on this thread when no thread
  // can be started.
  void Start(cairo_t* cr);
  // Waits for the page being shown; false when showing it failed.
  bool Wait();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  cairo_t* cr_ = nullptr;  // the page being shown; null when none
  bool stop_ = false;
  bool failed_ = false;
};

}  // namespace twpdf
