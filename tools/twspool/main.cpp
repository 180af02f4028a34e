// twspool: plays the Windows print spooler for the port monitor on Linux.
//   twspool [--root DIR] [--monitor-dll FILE] COMMAND [ARGS...]
// --root picks the machine root (default: TW_ROOT); --monitor-dll loads
// another monitor module than TarnwickMon.dll from C:\Windows\System32.
#include <malloc.h>
#include <unistd.h>

#include <iostream>

#include "commands.h"
#include "tw/root.h"

namespace {

void Usage(std::ostream& out) {
  out << "Usage: twspool [--root DIR] [--monitor-dll FILE] COMMAND [ARGS...]\nCommands:\n";
  for (const auto& c : twspool::Commands()) out << "  " << c.usage << "\n";
}

// A spooler process allocates and frees the same large blocks for every page
// (page images, compressor states). The allocator's defaults hand each block
// above 128 KB back to the system when it is freed, so every page faults
// them in again (and, with several threads, flushes the other cores' page
// tables). Blocks up to 32 MB come from the heap instead, and up to 16 MB of
// free heap is kept for the next page. Each allocator arena keeps its own
// free heap, and a document's threads (the job's, the PDF page writer's)
// would each get one: two arenas serve them all.
void TuneAllocatorForPages() {
  mallopt(M_ARENA_MAX, 2);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 16 << 20);
  mallopt(M_TOP_PAD, 1 << 20);
}

}  // namespace

int main(int argc, char** argv) {
  TuneAllocatorForPages();
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    std::string root, dll;
    if (twspool::TakeOption(args, "--root", root)) {
      if (root.empty()) throw twspool::Failure{"--root needs a directory", 2};
      tw::root::SetDir(root);
    }
    std::u16string monitorDll = twspool::kMonitorDll;
    if (twspool::TakeOption(args, "--monitor-dll", dll)) monitorDll = twspool::U16(dll);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      Usage(args.empty() ? std::cerr : std::cout);
      return args.empty() ? 2 : 0;
    }
    std::string name = args[0];
    args.erase(args.begin());
    for (const auto& c : twspool::Commands()) {
      if (name == c.name) {
        twspool::Context context(std::cout, monitorDll, isatty(STDOUT_FILENO) == 1);
        return c.run(context, args);
      }
    }
    throw twspool::Failure{"unknown command \"" + name + "\"", 2};
  } catch (const twspool::Failure& failure) {
    std::cout.flush();
    std::cerr << "twspool: error: " << failure.message << "\n";
    return failure.code;
  } catch (const std::exception& e) {
    std::cerr << "twspool: error: " << e.what() << "\n";
    return 1;
  }
}
