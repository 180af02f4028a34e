// A job driven directly, page by page as the page path will drive it (the
// page's names, the group file update, "Last Output File"), for the group
// file tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "client/messaging/messaging.h"
#include "core/log/event_messages.h"
#include "event_entries.h"
#include "fake_spooler.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/settings/settings_store.h"
#include "tools/twdriver/stream_writer.h"
#include "tw/clock.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace twtest_group {

namespace dmf = tw::devmode::flags;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

class GroupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    spooler_.spooler->AddPrinter(kPrinter, kIni);
    std::filesystem::create_directories(Host(u"C:\\Out"));
    SetClientMessageHook(&GroupTest::Message, this);
  }
  void TearDown() override { SetClientMessageHook(nullptr, nullptr); }

  static void WINAPI Message(void* context, DWORD message, const WCHAR* text) {
    static_cast<GroupTest*>(context)->messages_.push_back(std::to_string(message) + " " + tw::ToUtf8(text));
  }
  std::filesystem::path Host(const std::u16string& windowsPath) const {
    std::string path = tw::ToUtf8(windowsPath.substr(3));
    std::replace(path.begin(), path.end(), '\\', '/');
    return root_.Dir() / "drive_c" / path;
  }
  std::string Bytes(const std::u16string& windowsPath) const {
    std::ifstream in(Host(windowsPath), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static std::u16string Profile(const std::u16string& section, const WCHAR* key, const std::u16string& file) {
    WCHAR value[1024] = {};
    GetPrivateProfileStringW(section.c_str(), key, u"\x01", value, 1024, file.c_str());
    return value;
  }
  static bool HasKey(const std::u16string& section, const WCHAR* key, const std::u16string& file) {
    return Profile(section, key, file) != u"\x01";
  }
  // A record for a PNG file per page named "report" in C:\Out, true colour.
  static TarnwickDEVMODE Record(DWORD format = 24, const std::u16string& name = u"report") {
    tw::twdriver::DevModeOptions options;
    options.outputDirectory = u"C:\\Out";
    options.colorMode = 3;
    TarnwickDEVMODE dm = tw::twdriver::MakeDevMode(options);
    dm.FileFormat = format;
    dm.FileGenerationMethod = 3;
    dm.ImageFileName.Set(name);
    return dm;
  }
  // The job takes the record and starts its document.
  bool Start(const TarnwickDEVMODE& dm, const std::u16string& document = u"Quarterly report") {
    job_.SetJobID(7);
    job_.SetPrinterName(kPrinter);
    job_.SetDocumentName(document.c_str());
    std::vector<BYTE> record(sizeof dm);
    std::memcpy(record.data(), &dm, sizeof dm);
    return job_.SetDevMode(record.data(), TRUE) && job_.StartDoc();
  }
  // One page the way the page path runs it: the page starts, gets its names
  // (not the first), and the group file and the group INI are updated.
  BOOL Page() {
    if (!job_.StartPage()) return FALSE;
    if (job_.m_dwActPage > 1 && !job_.GenerateFilenames(FALSE)) return FALSE;
    BOOL updated = job_.UpdateGroupFile();
    tw::group::WriteLastOutputFile(job_);
    return updated;
  }
  std::u16string Group() const { return job_.m_szGroupFileName; }
  std::vector<std::u16string> ErrorTexts() const {
    std::vector<std::u16string> texts;
    for (const auto& e : twtest::ReadEventEntries())
      if (e.type == EVENTLOG_ERROR_TYPE && e.id == MSG_PRINTING_ERROR && e.strings.size() > 10)
        texts.push_back(e.strings[10]);
    return texts;
  }
  // The error messages (5) the clients got.
  std::vector<std::string> ErrorMessages() const {
    std::vector<std::string> found;
    for (const auto& m : messages_)
      if (m.starts_with("5 ")) found.push_back(m);
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
};

}  // namespace twtest_group
