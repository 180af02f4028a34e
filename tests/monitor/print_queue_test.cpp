// `twspool print` through TarnwickMon.dll as a user meets it: the progress
// line on a terminal (a pseudo-terminal here) and none in a pipe, and
// several documents for printers on two ports in one command.
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <regex>

#include "shell_run.h"
#include "tw_test.h"

namespace {

class PrintQueueEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    output_ = root_.Dir() / "drive_c" / "Users" / "Public" / "Documents" / "Tarnwick";
    ASSERT_EQ(Run(Tool("twspool") + " init").status, 0);
  }
  static twtest::ShellRun Run(const std::string& command) { return twtest::Shell(command + " 2>&1"); }
  static std::string Bin(const std::string& name) { return "'" + (twtest::BinDir() / name).string() + "'"; }
  std::string Tool(const std::string& name) { return Bin(name) + " --root '" + root_.Dir().string() + "'"; }

  // A job of `pages` text pages for `printer`.
  std::filesystem::path Job(const std::string& name, int pages, const std::string& printer = "Tarnwick Printer") {
    std::string text;
    for (int p = 0; p < pages; ++p) text += (p ? "\f" : "") + name + " page " + std::to_string(p + 1) + "\n";
    auto txt = root_.Dir() / (name + ".txt");
    std::ofstream(txt, std::ios::binary) << text;
    auto job = root_.Dir() / (name + ".twj");
    auto made = Run(Bin("twdriver") + " --printer '" + printer + "' -o '" + job.string() + "' '" + txt.string() + "'");
    EXPECT_EQ(made.status, 0) << made.out;
    return job;
  }

  // Runs twspool with its standard output on a pseudo-terminal; returns what
  // the terminal received and the exit status.
  twtest::ShellRun OnTerminal(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {(twtest::BinDir() / "twspool").string(), "--root", root_.Dir().string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 24;
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, &size);
    twtest::ShellRun run;
    if (child < 0) return run;
    if (child == 0) {
      execv(raw[0], raw.data());
      _exit(127);
    }
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) run.out.append(buffer, static_cast<size_t>(n));
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  twtest::TempRoot root_;
  std::filesystem::path output_;
};

TEST_F(PrintQueueEndToEnd, ATerminalGetsAProgressLineAndASummaryAPipeOnlyTheResult) {
  auto job = Job("report", 3);
  auto shown = OnTerminal({"print", job.string()});
  ASSERT_EQ(shown.status, 0) << shown.out;
  // Drawn in place from the start, then cleared for the result lines.
  EXPECT_EQ(shown.out.rfind("\r\033[Kprinting: 0 pages, 0.0 pages/s", 0), 0u) << shown.out;
  EXPECT_NE(shown.out.find("\r\033[Kjob "), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find(": printed\t" + job.string() + "\r\n\t"), std::string::npos) << shown.out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(shown.out, m, std::regex("\r\033\\[K3 pages, 3 files, [0-9]+\\.[0-9] s, [0-9]+\\.[0-9] pages/s\r\n$")))
      << shown.out;

  // The same in a pipe, and with --quiet on a terminal: the result and file lines only.
  std::filesystem::remove_all(output_);
  std::filesystem::create_directories(output_);
  auto piped = Run(Tool("twspool") + " print '" + job.string() + "'");
  ASSERT_EQ(piped.status, 0) << piped.out;
  std::regex lines("job [0-9]+: printed\t[^\n]*\n(\t[^\n]+\n){3}");
  EXPECT_TRUE(std::regex_match(piped.out, lines)) << piped.out;
  auto quiet = OnTerminal({"print", "--quiet", job.string()});
  ASSERT_EQ(quiet.status, 0) << quiet.out;
  EXPECT_EQ(quiet.out.find('\033'), std::string::npos) << quiet.out;
  EXPECT_EQ(quiet.out.find("pages/s"), std::string::npos) << quiet.out;
  EXPECT_NE(quiet.out.find(": printed\t"), std::string::npos) << quiet.out;
}

TEST_F(PrintQueueEndToEnd, DocumentsForTwoPortsAndForOnePortAllPrint) {
  ASSERT_EQ(Run(Tool("twspool") + " add-port TW02:").status, 0);
  ASSERT_EQ(Run(Tool("twspool") + " add-printer Second --port TW02:").status, 0);
  auto one = Job("one", 2), two = Job("two", 2, "Second"), three = Job("three", 1);
  auto run = Run(Tool("twspool") + " print '" + one.string() + "' --printer Second '" + two.string() +
                 "' --printer 'Tarnwick Printer' '" + three.string() + "'");
  ASSERT_EQ(run.status, 0) << run.out;
  std::regex lines("job [0-9]+: printed\t[^\n]*one.twj\n(\t[^\n]+\n){2}"
                   "job [0-9]+: printed\t[^\n]*two.twj\n(\t[^\n]+\n){2}"
                   "job [0-9]+: printed\t[^\n]*three.twj\n\t[^\n]+\n");
  EXPECT_TRUE(std::regex_match(run.out, lines)) << run.out;
  for (const char* file : {"one.bmp", "one_002.bmp", "two.bmp", "two_002.bmp", "three.bmp"})
    EXPECT_TRUE(std::filesystem::exists(output_ / file)) << file;
}

}  // namespace
