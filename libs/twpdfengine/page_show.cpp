#include "page_show.h"

#include <cairo-pdf.h>

#include <system_error>
#include <utility>

namespace twpdf {

bool PageShow::Show(const Job& job) {
  // The size comes first: set later, it would drop what is on the page.
  cairo_pdf_surface_set_size(cairo_get_target(job.cr), job.widthPt, job.heightPt);
  cairo_set_source_surface(job.cr, job.recording, 0, 0);
  cairo_paint(job.cr);
  // The context lets go of the recording, which goes once the page is shown.
  cairo_set_source_rgb(job.cr, 0, 0, 0);
  cairo_show_page(job.cr);
  cairo_surface_destroy(job.recording);
  return cairo_status(job.cr) == CAIRO_STATUS_SUCCESS;
}

PageShow::~PageShow() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return job_.cr == nullptr; });
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PageShow::Start(cairo_t* cr, cairo_surface_t* recording, double widthPt, double heightPt) {
  const Job job{cr, recording, widthPt, heightPt};
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return job_.cr == nullptr; });
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&PageShow::Run, this);
    } catch (const std::system_error&) {
      failed_ = !Show(job) || failed_;
      return;
    }
  }
  job_ = job;
  lock.unlock();
  changed_.notify_all();
}

bool PageShow::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return job_.cr == nullptr; });
  return !std::exchange(failed_, false);
}

void PageShow::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return job_.cr != nullptr || stop_; });
    if (!job_.cr) return;
    const Job job = job_;
    lock.unlock();
    const bool ok = Show(job);
    lock.lock();
    failed_ = failed_ || !ok;
    job_ = Job{};
    changed_.notify_all();
  }
}

}  // namespace twpdf
