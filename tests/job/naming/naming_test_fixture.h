// The fixture of the naming tests: a job of printer "Tarnwick Printer" with
// a PNG output named "report" in C:\Out, messages to clients recorded.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "client/messaging/messaging.h"
#include "core/log/event_messages.h"
#include "event_entries.h"
#include "fake_spooler.h"
#include "job/job/tw_job.h"
#include "job/settings/save_as.h"
#include "job/settings/settings_store.h"
#include "tw/clock.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace twtest_naming {

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;
using namespace tw::naming;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

class OutputNamingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    spooler_.spooler->AddPrinter(kPrinter, kIni);
    setenv("TW_FAKE_TICK", "2621440", 1);  // 0x280000: GetTempFileNameW numbers start near 0
    tw::clock::Reload();
    std::filesystem::create_directories(Host(u"C:\\Out"));
    SetClientMessageHook(&OutputNamingTest::Message, this);
    job_.SetJobID(7);
    job_.SetPrinterName(kPrinter);
    wcsncpy_s(job_.m_szPrinterINIFile, kIni, _TRUNCATE);
    TarnwickDEVMODE& dm = job_.m_DevMode;
    dm.DM.dmDeviceName.Set(kPrinter);
    dm.DM.dmSize = 220;
    dm.DM.dmDriverExtra = sizeof(TarnwickDEVMODE) - 220;
    dm.FileFormat = 24;  // PNG
    dm.FileGenerationMethod = 3;
    dm.OutputDirectory.Set(u"C:\\Out");
    dm.ImageFileName.Set(u"report");
    job_.m_Environment.userName = u"alice";
    job_.m_dwActPage = 1;
  }
  void TearDown() override {
    SetClientMessageHook(nullptr, nullptr);
    unsetenv("TW_FAKE_TICK");
    tw::clock::Reload();
  }

  static void WINAPI Message(void* context, DWORD message, const WCHAR* text) {
    static_cast<OutputNamingTest*>(context)->messages_.push_back(std::to_string(message) + " " + tw::ToUtf8(text));
  }
  std::filesystem::path Host(const std::u16string& windowsPath) {
    std::string path = tw::ToUtf8(windowsPath.substr(3));
    std::replace(path.begin(), path.end(), '\\', '/');
    return root_.Dir() / "drive_c" / path;
  }
  void Touch(const std::u16string& windowsPath, const std::string& text = "old") {
    std::ofstream(Host(windowsPath), std::ios::binary) << text;
  }
  std::u16string Name() const { return job_.m_szActFileName; }
  BOOL Page(DWORD page) {
    job_.m_dwActPage = page;
    return job_.GenerateFilenames(page == 1 && first_);
  }
  st::SettingsScope Scope() const { return job_.SettingsScope(); }
  std::vector<std::u16string> ErrorEntries() {
    std::vector<std::u16string> texts;
    for (const auto& e : twtest::ReadEventEntries())
      if (e.id == MSG_PRINTING_ERROR && e.strings.size() > 10) texts.push_back(e.strings[10]);
    return texts;
  }
  std::vector<std::string> TmpFiles() {
    std::vector<std::string> found;
    for (const auto& f : std::filesystem::directory_iterator(Host(u"C:\\Out")))
      if (f.path().extension() == ".tmp") found.push_back(f.path().filename().string());
    return found;
  }
  void DenyWrites(std::u16string path) {
    auto machine = *tw::config::Get();
    machine.denyWrite = {std::move(path)};
    ASSERT_TRUE(tw::config::Save(machine));
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  CTWJob job_;
  std::vector<std::string> messages_;
  bool first_ = true;
};

}  // namespace twtest_naming
