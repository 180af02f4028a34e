// Event log throughput: one report (register once), one report with its own
// register/deregister as the monitor's job reporters do, and a full read.
#include <benchmark/benchmark.h>
#include <windows.h>

#include "tw/root.h"

#include <filesystem>
#include <vector>

namespace {

struct BenchRoot {
  BenchRoot() {
    dir = std::filesystem::temp_directory_path() / "tw-eventlog-bench";
    std::filesystem::remove_all(dir);
    tw::root::SetDir(dir);
  }
  ~BenchRoot() { std::filesystem::remove_all(dir); }
  std::filesystem::path dir;
};

void BM_ReportEvent(benchmark::State& state) {
  BenchRoot root;
  HANDLE h = RegisterEventSourceW(nullptr, u"Bench");
  LPCWSTR strings[11] = {u"Printer", u"Document.docx", u"alice", u"1/2/2026", u"3:04:05 AM", u"1/2/2026",
                         u"3:04:06 AM", u"PC", u"10.0.0.1", u"pc.local", u"Internal error: 57."};
  for (auto _ : state)
    benchmark::DoNotOptimize(ReportEventW(h, EVENTLOG_ERROR_TYPE, 0, 0x66, nullptr, 11, 0, strings, nullptr));
  DeregisterEventSource(h);
}
BENCHMARK(BM_ReportEvent)->Unit(benchmark::kMicrosecond);

void BM_RegisterReportDeregister(benchmark::State& state) {
  BenchRoot root;
  LPCWSTR strings[1] = {u"x"};
  for (auto _ : state) {
    HANDLE h = RegisterEventSourceW(nullptr, u"Bench");
    ReportEventW(h, EVENTLOG_INFORMATION_TYPE, 0, 0x64, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(h);
  }
}
BENCHMARK(BM_RegisterReportDeregister)->Unit(benchmark::kMicrosecond);

void BM_ReadThousand(benchmark::State& state) {
  BenchRoot root;
  HANDLE source = RegisterEventSourceW(nullptr, u"Bench");
  LPCWSTR strings[2] = {u"Printer", u"Document.docx"};
  for (int i = 0; i < 1000; ++i) ReportEventW(source, EVENTLOG_WARNING_TYPE, 0, 0x65, nullptr, 2, 0, strings, nullptr);
  DeregisterEventSource(source);
  std::vector<BYTE> buffer(64 * 1024);
  for (auto _ : state) {
    HANDLE h = OpenEventLogW(nullptr, u"Application");
    DWORD read = 0, needed = 0;
    while (ReadEventLogW(h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &read, &needed)) {
    }
    CloseEventLog(h);
  }
}
BENCHMARK(BM_ReadThousand)->Unit(benchmark::kMillisecond);

}  // namespace
