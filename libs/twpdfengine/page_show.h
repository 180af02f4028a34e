// A written page put on the document (its recording painted and
// cairo_show_page: its PDF objects made and its content compressed) on a
// thread of its own, so that the job reads, prepares and draws its next
// page meanwhile. One page at a time: whoever uses the document's surface
// next waits for the page before.
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

  // Starts putting the page drawn into `recording` (taken over) on the
  // document drawn by `cr`, at the page size in points; on this thread
  // when no thread can be started.
  void Start(cairo_t* cr, cairo_surface_t* recording, double widthPt, double heightPt);
  // Waits for the page being shown; false when showing it failed.
  bool Wait();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
  struct Job {
    cairo_t* cr = nullptr;
    cairo_surface_t* recording = nullptr;
    double widthPt = 0, heightPt = 0;
  };
  static bool Show(const Job& job);

  Job job_;  // the page being shown; job_.cr null when none
  bool stop_ = false;
  bool failed_ = false;
};

}  // namespace twpdf
