// The install log and the message capture log: switches, banner, line
// formats, levels, and silence when they are off.
#include <windows.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "core/log/tw_log.h"
#include "tw/eventlog_internal.h"
#include "tw_test.h"

namespace {

class LogFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    drive_ = root_.Dir() / "drive_c";
    std::filesystem::create_directories(drive_ / "Temp");
    ResetLogStateForTests();
  }
  void TearDown() override { ResetLogStateForTests(); }

  void WriteIni(const std::string& body) { std::ofstream(drive_ / "PrnDebug.ini") << "[Setting]\r\n" << body; }
  std::string Read(const char* name) {
    std::ifstream in(drive_ / "Temp" / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The file's lines without the UTF-8 byte-order mark, split at CR LF.
  std::vector<std::string> Lines(const char* name) {
    std::string text = Read(name);
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
      size_t end = text.find("\r\n", at);
      EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
      if (end == std::string::npos) break;
      lines.push_back(text.substr(at, end - at));
      at = end + 2;
    }
    return lines;
  }

  twtest::TempRoot root_;
  std::filesystem::path drive_;
};

TEST_F(LogFilesTest, WithoutDebugIniNothingIsWritten) {
  std::u16string debugger;
  tw::debugout::SetSink([&](std::u16string_view t) { debugger += t; });
  LogInstall(u"Port %s added", u"TW1:");
  LogMessageCapture(TWLOG_ERROR, u"Messaging failed: %d", 5);
  Trace(u"> CTWJob::StartDoc");
  tw::debugout::SetSink(nullptr);
  EXPECT_FALSE(std::filesystem::exists(drive_ / "Temp" / "TWDriverInstall.log"));
  EXPECT_FALSE(std::filesystem::exists(drive_ / "Temp" / "MessageCapture_PORTMON_DLL.txt"));
  EXPECT_EQ(debugger, u"");
  EXPECT_EQ(GetDebugSwitch(), 0);
  EXPECT_EQ(GetMessageCaptureLogLevel(), 0);
}

TEST_F(LogFilesTest, InstallLogGetsBannerThenLinesWithoutLevels) {
  WriteIni("Debug=1\r\n");
  std::u16string debugger;
  tw::debugout::SetSink([&](std::u16string_view t) { debugger += t; });
  LogInstall(u"Port %s added, error %d", u"TW1:", 0);
  LogInstall(u"second");
  tw::debugout::SetSink(nullptr);

  auto lines = Lines("TWDriverInstall.log");
  ASSERT_EQ(lines.size(), 5u);
  const std::string head = R"(^\d+\.\d{8} \d\d/\d\d/\d\d \d\d:\d\d:\d\d: \[)" + std::to_string(GetCurrentProcessId()) +
                           R"(\] \[\d+\] TARNWICKMON: )";
  EXPECT_TRUE(std::regex_search(lines[0], std::regex(head + R"(\* PDF Printer Driver version 17\.63\.3143$)")))
      << lines[0];
  EXPECT_TRUE(std::regex_search(lines[1], std::regex(head + R"(\* devmode\.h version: 1763$)"))) << lines[1];
  EXPECT_TRUE(std::regex_search(lines[2], std::regex(head + R"(\* Loading Module: .+test_core_log$)")))
      << lines[2];
  EXPECT_TRUE(std::regex_search(lines[3], std::regex(head + "Port TW1: added, error 0$"))) << lines[3];
  EXPECT_TRUE(std::regex_search(lines[4], std::regex(head + "second$"))) << lines[4];
  EXPECT_NE(debugger.find(u"TARNWICKMON: Port TW1: added, error 0\n"), std::u16string::npos);
  // The message capture log stays off.
  LogMessageCapture(TWLOG_ERROR, u"x");
  EXPECT_FALSE(std::filesystem::exists(drive_ / "Temp" / "MessageCapture_PORTMON_DLL.txt"));
}

TEST_F(LogFilesTest, CaptureLogKeepsLevelsUpToTheSwitch) {
  WriteIni("Message Capture Log Level=2\r\n");
  LogMessageCapture(TWLOG_ERROR, u"Could not open pipe %s", u"\\\\.\\pipe\\x");
  LogMessageCapture(TWLOG_WARNING, u"Client %d did not answer", 7);
  LogMessageCapture(TWLOG_INFO, u"Messaging interface enabled.");
  LogMessageCapture(TWLOG_DEBUG, u"debug detail");
  LogInstall(u"install line");  // "Debug" is 0

  auto lines = Lines("MessageCapture_PORTMON_DLL.txt");
  ASSERT_EQ(lines.size(), 5u);  // banner and two lines
  const std::string pid = std::to_string(GetCurrentProcessId());
  auto line = [&](const std::string& tag, const std::string& text) {
    return std::regex(R"(^\d+\.\d{8} )" + tag + R"( \d\d/\d\d/\d\d \d\d:\d\d:\d\d \[PID )" + pid +
                      R"(\] \[TID \d+\] )" + text + "$");
  };
  EXPECT_TRUE(std::regex_search(lines[0], line(R"(\[INFO\]   )", R"(\* PDF Printer Driver version 17\.63\.3143)")))
      << lines[0];
  EXPECT_TRUE(std::regex_search(lines[3], line(R"(\[ERROR\]  )", R"(Could not open pipe \\\\\.\\pipe\\x)")))
      << lines[3];
  EXPECT_TRUE(std::regex_search(lines[4], line(R"(\[WARNING\])", "Client 7 did not answer"))) << lines[4];
  EXPECT_FALSE(std::filesystem::exists(drive_ / "Temp" / "TWDriverInstall.log"));
}

TEST_F(LogFilesTest, SwitchesAreReadOncePerProcess) {
  LogInstall(u"before");  // no file: off, and remembered
  WriteIni("Debug=1\r\nMessage Capture Log Level=4\r\n");
  LogInstall(u"still off");
  LogMessageCapture(TWLOG_DEBUG, u"still off");
  EXPECT_FALSE(std::filesystem::exists(drive_ / "Temp" / "TWDriverInstall.log"));
  ResetLogStateForTests();  // a new process
  LogInstall(u"now on");
  EXPECT_EQ(GetDebugSwitch(), 1);
  EXPECT_EQ(GetMessageCaptureLogLevel(), 4);
  auto lines = Lines("TWDriverInstall.log");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_NE(lines[3].find("TARNWICKMON: now on"), std::string::npos);
}

TEST_F(LogFilesTest, NothingWrittenWithoutTempFolder) {
  WriteIni("Debug=1\r\nMessage Capture Log Level=4\r\n");
  std::filesystem::remove_all(drive_ / "Temp");
  LogInstall(u"line");
  LogMessageCapture(TWLOG_ERROR, u"line");
  EXPECT_FALSE(std::filesystem::exists(drive_ / "Temp"));
}

TEST_F(LogFilesTest, LongMessagesAreCutAndThreadsLoseNoLine) {
  WriteIni("Message Capture Log Level=4\r\n");
  std::u16string huge(5000, u'x');
  LogMessageCapture(TWLOG_INFO, u"%s", huge.c_str());
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 25; ++i) LogMessageCapture(TWLOG_DEBUG, u"thread %d line %d", t, i);
    });
  for (auto& t : threads) t.join();
  auto lines = Lines("MessageCapture_PORTMON_DLL.txt");
  ASSERT_EQ(lines.size(), 3u + 1u + 100u);
  const std::string& cut = lines[3];
  EXPECT_EQ(cut.size() - cut.find_last_not_of('x') - 1, 2047u);  // the message buffer holds 2047 units
  for (size_t i = 4; i < lines.size(); ++i) EXPECT_TRUE(std::regex_search(lines[i], std::regex("thread \\d line \\d+$")));
}

}  // namespace
