// `twspool events`: filters, the rendered texts from the source's message
// file, JSON output, and clear errors.
#include <windows.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "core/log/event_log.h"
#include "core/log/job_report.h"
#include "tools/twspool/events_command.h"
#include "tw/eventlog_internal.h"
#include "tw_test.h"

namespace {

struct Result {
  int code;
  std::string out, err;
};

Result Events(std::vector<std::u16string> args) {
  std::ostringstream out, err;
  int code = RunEventsCommand(args, {}, out, err);
  return {code, out.str(), err.str()};
}

class EventsCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryW(u"TwLogMessages.dll");
    ASSERT_NE(module_, nullptr) << "TwLogMessages.dll is built beside the test";
    WCHAR path[MAX_PATH];
    DWORD n = GetModuleFileNameW(module_, path, MAX_PATH);
    SetEventMessageFile(std::u16string(path, n).c_str());
    info_.pszPrinterName = u"Office Printer";
    info_.pszDocumentName = u"Report.docx";
    info_.pszUserName = u"alice";
    info_.stSubmitted = {2026, 3, 1, 2, 14, 9, 5, 0};
    info_.pszComputerName = u"TARNWICK-PC";
    info_.pszIPAddress = u"192.168.10.20";
    info_.pszHostName = u"tarnwick-pc.example.local";
    info_.hClientToken = reinterpret_cast<HANDLE>(1);  // no impersonation dance here
    info_.dwEventLoggingLevel = 3;
  }
  void TearDown() override {
    SetEventMessageFile(nullptr);
    if (module_) FreeLibrary(module_);
  }

  twtest::TempRoot root_;
  HMODULE module_ = nullptr;
  JOB_EVENT_INFO info_;
};

TEST_F(EventsCommandTest, FinishedDocumentShowsTheFullText) {
  ASSERT_TRUE(ReportJobEnd(info_, TRUE));
  Result r = Events({});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("Record 1  "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Information  Source: Office Printer  Event ID: 100\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Printing finished successfully\nPrinter name:\tOffice Printer\nDocument name:\tReport.docx\n"
                       "User name:\talice\nDate submitted:\t3/2/2026 2:09:05 PM\nDate printed:\t"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\nComputer name:\tTARNWICK-PC\nIP Address:\t192.168.10.20\nHost name:\t"
                       "tarnwick-pc.example.local\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find('%'), std::string::npos) << "every insert is filled: " << r.out;
}

TEST_F(EventsCommandTest, FiltersAndLast) {
  ASSERT_TRUE(ReportJobEnd(info_, TRUE));
  ASSERT_TRUE(ReportJobWarning(info_, u"The printed document was blank."));
  ASSERT_TRUE(ReportJobErrorText(info_, u"%s: %d.", u"Internal error", 57));
  ASSERT_TRUE(ReportJobErrorText(info_, u"Cannot find group file: %s", u"C:\\g.ini"));
  HANDLE other = RegisterEventSourceW(nullptr, u"Other Source");
  LPCWSTR s[] = {u"hello"};
  ASSERT_TRUE(ReportEventW(other, EVENTLOG_ERROR_TYPE, 0, 5, nullptr, 1, 0, s, nullptr));
  DeregisterEventSource(other);

  Result errors = Events({u"--type", u"ERROR", u"--source", u"office printer", u"--json"});
  ASSERT_EQ(errors.code, 0) << errors.err;
  auto json = nlohmann::json::parse(errors.out);
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["record"], 3);
  EXPECT_EQ(json[0]["type"], "Error");
  EXPECT_EQ(json[0]["event_id"], 102);
  EXPECT_EQ(json[0]["strings"].size(), 11u);
  EXPECT_EQ(json[0]["strings"][10], "Internal error: 57.");
  EXPECT_NE(json[0]["message"].get<std::string>().find("\r\nError:\tInternal error: 57.\r\n"), std::string::npos);
  EXPECT_EQ(json[1]["record"], 4);

  Result last = Events({u"--last", u"2", u"--json"});
  ASSERT_EQ(last.code, 0);
  json = nlohmann::json::parse(last.out);
  ASSERT_EQ(json.size(), 2u);
  EXPECT_EQ(json[0]["record"], 4);
  EXPECT_EQ(json[1]["record"], 5);
  // A source without a message file: Windows' words and the strings.
  EXPECT_TRUE(json[1]["message"].is_null());
  EXPECT_TRUE(std::regex_search(json[1]["time_generated"].get<std::string>(),
                                std::regex(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)")));
  Result text = Events({u"--source", u"Other Source"});
  EXPECT_NE(text.out.find("The description for Event ID 5 from source Other Source cannot be found. The following "
                          "information was included with the event:\n\nhello\n"),
            std::string::npos)
      << text.out;

  Result warnings = Events({u"--type", u"warning"});
  EXPECT_NE(warnings.out.find("Warning  Source: Office Printer  Event ID: 102"), std::string::npos);
  EXPECT_NE(warnings.out.find("Error:\tThe printed document was blank."), std::string::npos);
  EXPECT_EQ(warnings.out.find("Record 1 "), std::string::npos);
}

TEST_F(EventsCommandTest, EmptyLogBadArgumentsAndDamagedStore) {
  Result empty = Events({});
  EXPECT_EQ(empty.code, 0);
  EXPECT_EQ(empty.out, "No events.\n");
  EXPECT_EQ(Events({u"--json"}).out, "[]\n");

  for (auto args : std::vector<std::vector<std::u16string>>{
           {u"--type", u"fatal"}, {u"--last", u"0"}, {u"--last", u"x1"}, {u"--last"}, {u"--bogus"}}) {
    Result bad = Events(args);
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.err.find("twspool events: "), std::string::npos);
    EXPECT_NE(bad.err.find("usage:"), std::string::npos);
  }

  auto path = tw::eventlog::StorePath();
  std::ofstream(path, std::ios::binary) << std::string(4096, 'Q');
  Result damaged = Events({});
  EXPECT_EQ(damaged.code, 1);
  EXPECT_NE(damaged.err.find("cannot open the event log"), std::string::npos) << damaged.err;
  EXPECT_NE(damaged.err.find("damaged"), std::string::npos) << damaged.err;
}

}  // namespace
