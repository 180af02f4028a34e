// A spooler for the job's DEVMODE intake: one printer with attributes, a
// global (level 8) and a per-user (level 9) default record, a driver data
// file, and jobs with the machine and user they came from.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"
#include "tw/spooler.h"

namespace twtest {

class IntakeSpooler : public tw::spool::Provider, public std::enable_shared_from_this<IntakeSpooler> {
 public:
  std::u16string printerName = u"Tarnwick Printer";
  std::u16string dataFile;
  DWORD attributes = 0;
  std::vector<BYTE> globalDevMode;
  std::vector<BYTE> userDevMode;
  std::atomic<int> opened{0};  // successful OpenPrinter calls

  static std::vector<BYTE> Bytes(const TarnwickDEVMODE& dm) {
    std::vector<BYTE> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
  }
  void AddJob(DWORD jobId, const std::u16string& machine, const std::u16string& user) {
    std::lock_guard lock(mutex_);
    tw::spool::JobRecord job;
    job.jobId = jobId;
    job.printerName = printerName;
    job.machineName = machine;
    job.userName = user;
    jobs_[jobId] = job;
  }

  DWORD OpenPrinter(std::u16string_view name, ACCESS_MASK, std::unique_ptr<tw::spool::PrinterSession>& out) override {
    if (name != printerName) return ERROR_INVALID_PRINTER_NAME;
    ++opened;
    out = std::make_unique<Session>(shared_from_this());
    return ERROR_SUCCESS;
  }
  DWORD GetDriverDirectory(std::u16string_view, std::u16string& out) override {
    out = u"C:\\Windows\\System32\\spool\\drivers\\x64";
    return ERROR_SUCCESS;
  }
  bool PrinterExists(std::u16string_view name) override { return name == printerName; }

 private:
  class Session : public tw::spool::PrinterSession {
   public:
    explicit Session(std::shared_ptr<IntakeSpooler> owner) : owner_(std::move(owner)) {}
    DWORD GetPrinter(tw::spool::PrinterRecord& out) override {
      out.printerName = owner_->printerName;
      out.attributes = owner_->attributes;
      out.globalDevMode = owner_->globalDevMode;
      out.userDevMode = owner_->userDevMode;
      return ERROR_SUCCESS;
    }
    DWORD GetJob(DWORD jobId, tw::spool::JobRecord& out) override {
      std::lock_guard lock(owner_->mutex_);
      auto it = owner_->jobs_.find(jobId);
      if (it == owner_->jobs_.end()) return ERROR_INVALID_PARAMETER;
      out = it->second;
      return ERROR_SUCCESS;
    }
    DWORD ControlJob(DWORD, DWORD) override { return ERROR_SUCCESS; }
    DWORD GetDriver(std::u16string_view, tw::spool::DriverRecord& out) override {
      out.name = u"Tarnwick Driver";
      out.environment = u"Windows x64";
      out.dataFile = owner_->dataFile;
      return ERROR_SUCCESS;
    }
    DWORD GetPrinterData(std::u16string_view, DWORD&, std::vector<BYTE>&) override { return ERROR_FILE_NOT_FOUND; }

   private:
    std::shared_ptr<IntakeSpooler> owner_;
  };

  std::mutex mutex_;
  std::map<DWORD, tw::spool::JobRecord> jobs_;
};

// Installs an IntakeSpooler for the lifetime of the object.
class ScopedIntakeSpooler {
 public:
  ScopedIntakeSpooler() : spooler(std::make_shared<IntakeSpooler>()) { previous_ = tw::spool::SetProvider(spooler); }
  ~ScopedIntakeSpooler() { tw::spool::SetProvider(previous_); }
  ScopedIntakeSpooler(const ScopedIntakeSpooler&) = delete;
  ScopedIntakeSpooler& operator=(const ScopedIntakeSpooler&) = delete;
  std::shared_ptr<IntakeSpooler> spooler;

 private:
  std::shared_ptr<tw::spool::Provider> previous_;
};

}  // namespace twtest
