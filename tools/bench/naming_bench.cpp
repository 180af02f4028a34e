// The naming and group-file bookkeeping of one page of a long document (a
// PNG file per page): the page's names, its produced files, the group file
// update with its read-back, and "Last Output File" in the group INI, as the
// page path runs them. Measured at page 500 and page 5000 of the same kind of
// job, and beside it the same entries written the way the profile functions
// write them (the whole file read and rewritten for each entry).
#include <benchmark/benchmark.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "job/group/group_file.h"
#include "job/job/tw_job.h"
#include "tw/root.h"

namespace {

class Machine {
 public:
  Machine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "twbench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    dir_ = pattern;
    tw::root::SetDir(dir_);
    std::filesystem::create_directories(dir_ / "drive_c" / "Out");
  }
  ~Machine() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

 private:
  std::filesystem::path dir_;
};

// A job named "report" in C:\Out, PNG, a file per page, its first page named.
std::unique_ptr<CTWJob> MakeJob() {
  auto job = std::make_unique<CTWJob>();
  job->SetJobID(7);
  job->SetPrinterName(u"Tarnwick Printer");
  wcsncpy_s(job->m_szPrinterINIFile, u"C:\\tw_printer.ini", _TRUNCATE);
  wcsncpy_s(job->m_szDocumentName, u"Quarterly report", _TRUNCATE);
  TarnwickDEVMODE& dm = job->m_DevMode;
  dm.DM.dmDeviceName.Set(u"Tarnwick Printer");
  dm.DM.dmSize = 220;
  dm.DM.dmDriverExtra = sizeof(TarnwickDEVMODE) - 220;
  dm.DM.dmOrientation = 1;
  dm.DM.dmCopies = 1;
  dm.DM.dmPrintQuality = 300;
  dm.DM.dmYResolution = 300;
  dm.PaperWidthInPixels = 2550;
  dm.PaperHeightInPixels = 3300;
  dm.ColorMode = 3;
  dm.FileFormat = 24;
  dm.FileGenerationMethod = 3;
  dm.OutputDirectory.Set(u"C:\\Out");
  dm.ImageFileName.Set(u"report");
  job->m_Environment.userName = u"alice";
  job->m_szPrintStatus = u"Printing started";
  job->m_bPrintStatusPending = TRUE;
  job->m_dwActPage = 1;
  if (!job->GenerateFilenames(TRUE)) std::abort();
  job->m_dwActPage = 0;
  return job;
}

// One page's bookkeeping.
void Page(CTWJob& job) {
  ++job.m_dwActPage;
  if (job.m_dwActPage > 1 && !job.GenerateFilenames(FALSE)) std::abort();
  tw::group::RecordProducedFiles(job);
  if (!job.UpdateGroupFile()) std::abort();
  tw::group::WriteLastOutputFile(job);
}

void BM_PageBookkeeping(benchmark::State& state) {
  Machine machine;
  auto job = MakeJob();
  while (job->m_dwActPage + 1 < static_cast<DWORD>(state.range(0))) Page(*job);
  for (auto _ : state) Page(*job);
  state.counters["last page"] = job->m_dwActPage;
}
BENCHMARK(BM_PageBookkeeping)->Arg(500)->Arg(5000)->Iterations(100)->Unit(benchmark::kMicrosecond);

// The same page's entries through WritePrivateProfileStringW, each read back.
void BM_PageEntriesWrittenWhole(benchmark::State& state) {
  Machine machine;
  const WCHAR* file = u"C:\\Out\\whole.grp";
  auto writePage = [&](DWORD page) {
    WCHAR section[32];
    swprintf_s(section, std::size(section), u"Page %u", page);
    const WCHAR* keys[] = {u"FileName", u"Orientation", u"Page width in pixels", u"Page height in pixels",
                           u"X DPI", u"Y DPI"};
    WCHAR value[1024];
    for (const WCHAR* key : keys) {
      WritePrivateProfileStringW(section, key, u"C:\\Out\\report_500.png", file);
      GetPrivateProfileStringW(section, key, u"", value, 1024, file);
    }
    WritePrivateProfileStringW(u"Tarnwick Printer", u"Total number of pages", u"500", file);
    GetPrivateProfileStringW(u"Tarnwick Printer", u"Total number of pages", u"", value, 1024, file);
  };
  DWORD page = 1;
  for (; page < static_cast<DWORD>(state.range(0)); ++page) writePage(page);
  for (auto _ : state) writePage(page++);
}
BENCHMARK(BM_PageEntriesWrittenWhole)->Arg(500)->Iterations(20)->Unit(benchmark::kMicrosecond);

}  // namespace
