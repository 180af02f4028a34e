// Internal: what other areas of the layer need from the kernel-object area
// (sessions, waitable objects of their own, file handles for mappings), and
// diagnostics for tests.
#pragma once
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "tw/kobject.h"
#include "tw/wintypes.h"

namespace tw::sync {

// The Windows session of this process: TW_SESSION_ID (a decimal number),
// default 0, the spooler's session. "Local\X" and bare names live in it.
TWCPPAPI DWORD CurrentSessionId();

// A waitable object whose state the wait functions poll (every 50 ms at most):
// derive from it for objects that are signalled by something outside the
// kernel-object table, such as a process that ends. Waiting has no effect on
// such an object.
class TWCPPAPI PolledWaitable : public tw::kernel::KernelObject {
 public:
  virtual bool IsSignaled() = 0;
  // The access the handle was opened with (SYNCHRONIZE is needed to wait).
  virtual DWORD GrantedAccess() const { return 0x001F0FFF; }
};

// The process with that id, as a waitable object signalled when the process
// has ended (a zombie counts as ended). The process must be alive when this
// is made; its start time is remembered, so a reused id is not confused with it.
// Null (and ERROR_INVALID_PARAMETER) when no such process runs.
class TWCPPAPI ProcessObject : public PolledWaitable {
 public:
  ProcessObject(DWORD pid, std::uint64_t startTime) : pid_(pid), startTime_(startTime) {}
  tw::kernel::ObjectType Type() const override { return tw::kernel::ObjectType::Process; }
  bool IsSignaled() override;
  DWORD ProcessId() const { return pid_; }

 private:
  DWORD pid_;
  std::uint64_t startTime_;
};
TWCPPAPI std::shared_ptr<ProcessObject> MakeProcessObject(DWORD pid);

// Liveness of a process or thread by id and start time (clock ticks since
// boot, from /proc); a start time of 0 matches any.
TWCPPAPI std::uint64_t ProcessStartTime(DWORD pid);  // 0 when it does not run
TWCPPAPI bool ProcessAlive(DWORD pid, std::uint64_t startTime);

// The file API registers this so that CreateFileMappingW can map a file
// handle: returns a new descriptor of the file (the caller closes it) and
// whether the handle allows writing, or -1 with the last error set.
using FileDescriptorResolver = int (*)(HANDLE file, bool* writable);
TWCPPAPI void SetFileDescriptorResolver(FileDescriptorResolver resolver);

// Diagnostics for tests: the object table file of the current root, the
// number of named-or-not objects in it and the views mapped by this process.
TWCPPAPI std::filesystem::path ObjectTablePath();
TWCPPAPI std::size_t LiveObjectCount();
TWCPPAPI std::size_t LiveViewCount();
// Test only: takes the table's lock and returns without releasing it (a
// child process calls it and dies, to prove that the next user recovers).
TWCPPAPI bool LockObjectTableForTesting();

}  // namespace tw::sync
