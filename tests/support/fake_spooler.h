// A spooler provider for tests: printers with driver data files, jobs with a
// status, and a record of every job control command the monitor sends.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <windows.h>

#include "tw/spooler.h"

namespace twtest {

class FakeSpooler : public tw::spool::Provider, public std::enable_shared_from_this<FakeSpooler> {
 public:
  struct Control {
    std::u16string printer;
    DWORD jobId;
    DWORD command;
  };

  void AddPrinter(const std::u16string& name, const std::u16string& dataFile) {
    std::lock_guard lock(mutex_);
    printers_[name] = dataFile;
  }
  void AddJob(DWORD jobId, const std::u16string& printer, const std::u16string& document, DWORD status = 0) {
    std::lock_guard lock(mutex_);
    tw::spool::JobRecord job;
    job.jobId = jobId;
    job.printerName = printer;
    job.document = document;
    job.status = status;
    job.submitted = {2026, 12, 3, 9, 10, 30, 0, 0};
    jobs_[jobId] = job;
  }
  void SetJobStatus(DWORD jobId, DWORD status) {
    std::lock_guard lock(mutex_);
    jobs_[jobId].status = status;
  }
  // The job's owner and the computer it was printed from (pUserName, pMachineName).
  void SetJobUser(DWORD jobId, const std::u16string& user, const std::u16string& machine = u"") {
    std::lock_guard lock(mutex_);
    jobs_[jobId].userName = user;
    jobs_[jobId].machineName = machine;
  }
  std::vector<Control> Controls() {
    std::lock_guard lock(mutex_);
    return controls_;
  }
  size_t CountControls(DWORD jobId, DWORD command) {
    size_t n = 0;
    for (const auto& c : Controls()) n += c.jobId == jobId && c.command == command;
    return n;
  }

  DWORD OpenPrinter(std::u16string_view name, ACCESS_MASK, std::unique_ptr<tw::spool::PrinterSession>& out) override {
    std::lock_guard lock(mutex_);
    if (!printers_.count(std::u16string(name))) return ERROR_INVALID_PRINTER_NAME;
    out = std::make_unique<Session>(shared_from_this(), std::u16string(name));
    return ERROR_SUCCESS;
  }
  DWORD GetDriverDirectory(std::u16string_view, std::u16string& out) override {
    if (driverDirectoryError) return driverDirectoryError;
    out = u"C:\\Windows\\System32\\spool\\drivers\\x64";
    return ERROR_SUCCESS;
  }
  // The error the driver directory question fails with (0: it answers).
  DWORD driverDirectoryError = 0;
  bool PrinterExists(std::u16string_view name) override {
    std::lock_guard lock(mutex_);
    return printers_.count(std::u16string(name)) != 0;
  }

 private:
  class Session : public tw::spool::PrinterSession {
   public:
    Session(std::shared_ptr<FakeSpooler> owner, std::u16string name) : owner_(std::move(owner)), name_(std::move(name)) {}
    DWORD GetPrinter(tw::spool::PrinterRecord& out) override {
      out.printerName = name_;
      return ERROR_SUCCESS;
    }
    DWORD GetJob(DWORD jobId, tw::spool::JobRecord& out) override {
      std::lock_guard lock(owner_->mutex_);
      auto it = owner_->jobs_.find(jobId);
      if (it == owner_->jobs_.end()) return ERROR_INVALID_PARAMETER;
      out = it->second;
      return ERROR_SUCCESS;
    }
    DWORD ControlJob(DWORD jobId, DWORD command) override {
      std::lock_guard lock(owner_->mutex_);
      owner_->controls_.push_back({name_, jobId, command});
      return owner_->jobs_.count(jobId) ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
    }
    DWORD GetDriver(std::u16string_view, tw::spool::DriverRecord& out) override {
      std::lock_guard lock(owner_->mutex_);
      out.name = u"Tarnwick Driver";
      out.environment = u"Windows x64";
      out.dataFile = owner_->printers_[name_];
      return ERROR_SUCCESS;
    }
    DWORD GetPrinterData(std::u16string_view, DWORD&, std::vector<BYTE>&) override { return ERROR_FILE_NOT_FOUND; }

   private:
    std::shared_ptr<FakeSpooler> owner_;
    std::u16string name_;
  };

  std::mutex mutex_;
  std::map<std::u16string, std::u16string> printers_;
  std::map<DWORD, tw::spool::JobRecord> jobs_;
  std::vector<Control> controls_;
};

// Installs a FakeSpooler for the lifetime of the object.
class ScopedSpooler {
 public:
  ScopedSpooler() : spooler(std::make_shared<FakeSpooler>()) { previous_ = tw::spool::SetProvider(spooler); }
  ~ScopedSpooler() { tw::spool::SetProvider(previous_); }
  std::shared_ptr<FakeSpooler> spooler;

 private:
  std::shared_ptr<tw::spool::Provider> previous_;
};

}  // namespace twtest
