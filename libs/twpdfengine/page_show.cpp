#include "page_show.h"

#include <system_error>
#include <utility>

namespace twpdf {
namespace {

bool show(cairo_t* cr) {
  cairo_show_page(cr);
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

PageShow::~PageShow() {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return cr_ == nullptr; });
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void PageShow::Start(cairo_t* cr) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return cr_ == nullptr; });
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread(&PageShow::Run, this);
    } catch (const std::system_error&) {
      failed_ = !show(cr) || failed_;
      return;
    }
  }
  cr_ = cr;
  lock.unlock();
  changed_.notify_all();
}

bool PageShow::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return cr_ == nullptr; });
  return !std::exchange(failed_, false);
}

void PageShow::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return cr_ != nullptr || stop_; });
    if (!cr_) return;
    cairo_t* cr = cr_;
    lock.unlock();
    const bool ok = show(cr);
    lock.lock();
    failed_ = failed_ || !ok;
    cr_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace twpdf
