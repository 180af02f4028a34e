// The spooler's side of a port monitor: loads the monitor module, hands it a
// MONITORINIT whose registry callbacks are real registry handles, and calls
// its table the way the Windows spooler does (ports, Xcv requests, and one
// document per thread while impersonating the job's user).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tw/machine_spooler.h"

namespace twspool {

inline constexpr char16_t kMonitorName[] = u"Tarnwick Port Monitor";
inline constexpr char16_t kMonitorDll[] = u"TarnwickMon.dll";

struct PortEntry {
  std::u16string name, monitor, description;
  DWORD type = 0;
};

struct PrintOptions {
  std::u16string printer;
  std::u16string document;
  std::u16string user;             // empty: the configuration's default user
  size_t blockSize = 0;            // 0: the whole document in one block (64 KiB blocks for a file)
  size_t deleteAfter = SIZE_MAX;   // the user deletes the job once this many bytes are written
};

enum class JobResult { Printed, Failed, Aborted, NotStarted };

struct JobOutcome {
  DWORD jobId = 0;
  JobResult result = JobResult::NotStarted;
  std::string error;  // why the job could not run at all
  std::vector<tw::spool::JobControl> controls;
};

const char* ResultName(JobResult result);

class SpoolerHost {
 public:
  SpoolerHost();
  ~SpoolerHost();
  SpoolerHost(const SpoolerHost&) = delete;
  SpoolerHost& operator=(const SpoolerHost&) = delete;

  // Registers the monitor under Print\Monitors\<name> ("Driver" = dll) and
  // loads it. False with a one-line reason.
  bool Load(std::u16string_view monitorName, std::u16string_view dllName, std::string& error);
  bool Loaded() const { return m_table != nullptr; }
  const MONITOR2* Table() const { return m_table; }
  // What the monitor was given (valid while the host lives).
  const MONITORINIT& Init() const { return m_init; }

  // devEnumPorts at level 1 or 2 (size query, then the call).
  bool EnumPorts(DWORD level, std::vector<PortEntry>& out, DWORD& error);
  bool HasPort(std::u16string_view name);
  // An Xcv request on a monitor-wide Xcv handle; returns the request's result.
  DWORD Xcv(std::u16string_view dataName, std::u16string_view input);

  // Queues a spooler job and delivers `data` to the printer's port on a new
  // thread that impersonates the job's user.
  JobOutcome Print(const PrintOptions& options, const std::vector<BYTE>& data);
  // Several documents at once, each on its own thread (as the spooler runs
  // one document per port at the same time); outcomes in request order.
  // The document is `data`, or the file `path` when that is set: read from
  // disk block by block as the spooler reads its spool file, so that a long
  // document is never in memory whole.
  struct Request {
    PrintOptions options;
    std::vector<BYTE> data;
    std::string path;
  };
  std::vector<JobOutcome> PrintAll(const std::vector<Request>& requests);

  // What a caller of PrintQueued sees of its jobs while they run.
  class JobObserver {
   public:
    virtual ~JobObserver() = default;
    // On the job's own thread, for every operation the monitor's job runs
    // (its diagnostics hook); keep it short, the monitor waits for it.
    virtual void JobOperation(size_t /*index*/, std::u16string_view /*operation*/, DWORD /*arg*/) {}
    // On the caller's thread: a job was handed to its port, a job ended, and
    // a refresh tick while jobs run.
    virtual void JobStarted(size_t /*index*/) {}
    virtual void JobFinished(size_t /*index*/, const JobOutcome& /*outcome*/) {}
    virtual void Tick() {}
  };
  // Queues every request first (job ids in request order) and prints them as
  // the spooler does: documents for printers on different ports at the same
  // time, documents for the same port one after another in request order.
  // When one cannot be queued (unknown printer or user) nothing is printed:
  // the outcomes then hold that request's error and no job id. Outcomes are
  // in request order.
  std::vector<JobOutcome> PrintQueued(const std::vector<Request>& requests, JobObserver* observer = nullptr,
                                      DWORD tickMilliseconds = 200);

  const std::shared_ptr<tw::spool::MachineSpooler>& Spooler() const { return m_spooler; }

  // The monitor's diagnostics hook that sees every operation a job runs
  // ("TwSetJobOperationHook"); null removes it. False when the monitor has none.
  using JobOperationHook = void(WINAPI*)(void* context, const WCHAR* operation, DWORD arg);
  bool SetJobOperationHook(JobOperationHook hook, void* context);

 private:
  struct PrintRun;
  // Queues the job and starts its thread; false with outcome.error set.
  bool StartRun(PrintRun& run, JobOutcome& outcome);
  // The two halves of StartRun.
  bool QueueRun(PrintRun& run, JobOutcome& outcome);
  bool LaunchRun(PrintRun& run, JobOutcome& outcome);
  // Removes a queued job that will not run.
  void DropRun(PrintRun& run);
  static void WINAPI OperationHook(void* context, const WCHAR* operation, DWORD arg);
  void FinishRun(PrintRun& run, JobOutcome& outcome);
  static DWORD WINAPI PrintThread(LPVOID param);
  void RunDocument(PrintRun& run);

  std::shared_ptr<tw::spool::MachineSpooler> m_spooler;
  std::shared_ptr<tw::spool::Provider> m_previousProvider;
  std::u16string m_monitorName;
  HKEY m_root = nullptr;
  MONITORREG m_reg{};
  MONITORINIT m_init{};
  HMODULE m_module = nullptr;
  LPMONITOR2 m_table = nullptr;
  HANDLE m_monitor = nullptr;
  JobObserver* m_observer = nullptr;  // PrintQueued's, while it runs
};

}  // namespace twspool
