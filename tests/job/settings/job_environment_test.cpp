// The job's environment values and the expansion of path variables.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "job/settings/job_environment.h"
#include "settings_test_util.h"
#include "tw/root.h"
#include "tw/token.h"
#include "tw_test.h"

using namespace tw::settings;
using tw::devmode::TarnwickDEVMODE;

namespace {

constexpr char16_t kPrinter[] = u"Tarnwick Printer";

// The calling thread acts as a configured user while the object lives.
class Impersonation {
 public:
  explicit Impersonation(const char16_t* user) : token_(tw::token::MakeUserToken(user, 1)) {
    ok_ = token_ && ImpersonateLoggedOnUser(token_);
  }
  ~Impersonation() {
    RevertToSelf();
    if (token_) CloseHandle(token_);
  }
  bool ok() const { return ok_; }

 private:
  HANDLE token_;
  bool ok_ = false;
};

class JobEnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    internal::ResetOncePerProcessState();
    auto machine = *tw::config::Get();
    machine.hosts.push_back({u"CLIENT7", "192.168.10.77", u"client7.corp.example", u"CORP"});
    ASSERT_TRUE(tw::config::Save(machine));
    std::memset(record_.get(), 0, sizeof(TarnwickDEVMODE));
    scope_ = ScopeForPrinter(kPrinter, 4);
  }
  void SetEnvVar(const char16_t* name, const std::u16string& value) {
    ASSERT_TRUE(SetRegText(HKEY_CURRENT_USER, PrinterKey(kPrinter, u"EnvVars"), name, value));
  }

  twtest::TempRoot root_;
  std::unique_ptr<TarnwickDEVMODE> record_ = std::make_unique<TarnwickDEVMODE>();
  SettingsScope scope_;
};

TEST_F(JobEnvironmentTest, LocalPrinterTakesTheImpersonatedUsersEnvironment) {
  twtest::LeakGuard guard;
  Impersonation alice(u"alice");
  ASSERT_TRUE(alice.ok());
  JobEnvironment env = GetEnvironmentVariables(scope_, record_.get(), false, std::nullopt);
  EXPECT_EQ(env.userName, u"alice");
  EXPECT_EQ(env.domain, u"TARNWICK-PC");
  EXPECT_EQ(env.computerName, u"TARNWICK-PC");
  EXPECT_EQ(env.ipAddress, u"192.168.10.20");
  EXPECT_EQ(env.hostName, u"tarnwick-pc.example.local");
}

TEST_F(JobEnvironmentTest, ANameThatDoesNotExpandIsReadFromEnvVars) {
  // Without an impersonation token only the system's variables expand.
  SetEnvVar(u"USERNAME", u"printer-user");
  JobEnvironment env = GetEnvironmentVariables(scope_, record_.get(), false, std::nullopt);
  EXPECT_EQ(env.userName, u"printer-user");
  EXPECT_EQ(env.computerName, u"TARNWICK-PC");
  EXPECT_EQ(env.domain, u"");
}

TEST_F(JobEnvironmentTest, SharedPrinterTakesTheClientFieldsWhenAllAreFilled) {
  record_->ClientUserName.Set(u"carol");
  record_->ClientComputerName.Set(u"CLIENT7");
  record_->ClientDomain.Set(u"SALES");
  record_->ClientIPAddress.Set(u"192.168.10.77");
  JobEnvironment env = GetEnvironmentVariables(scope_, record_.get(), true, SpoolerJobNames{u"x\\y", u"\\\\Z"});
  EXPECT_EQ(env.userName, u"carol");
  EXPECT_EQ(env.computerName, u"CLIENT7");
  EXPECT_EQ(env.domain, u"SALES");
  EXPECT_EQ(env.ipAddress, u"192.168.10.77");
  EXPECT_EQ(env.hostName, u"client7.corp.example");
}

TEST_F(JobEnvironmentTest, SharedPrinterFillsTheRestFromTheSpoolersJob) {
  twtest::LeakGuard guard;
  record_->ClientUserName.Set(u"carol");
  JobEnvironment env = GetEnvironmentVariables(scope_, record_.get(), true, SpoolerJobNames{u"CORP\\bob", u"\\\\CLIENT7"});
  EXPECT_EQ(env.userName, u"carol");
  EXPECT_EQ(env.computerName, u"CLIENT7");
  EXPECT_EQ(env.ipAddress, u"192.168.10.77");
  EXPECT_EQ(env.domain, u"CORP");
  EXPECT_EQ(env.hostName, u"client7.corp.example");

  record_->ClientUserName.Set(u"");
  env = GetEnvironmentVariables(scope_, record_.get(), true, SpoolerJobNames{u"CORP\\bob", u"\\\\CLIENT7"});
  EXPECT_EQ(env.userName, u"bob");

  // An unknown computer: no address and no workgroup; the host is the local one.
  env = GetEnvironmentVariables(scope_, record_.get(), true, SpoolerJobNames{u"bob", u"\\\\NOWHERE"});
  EXPECT_EQ(env.computerName, u"NOWHERE");
  EXPECT_EQ(env.ipAddress, u"");
  EXPECT_EQ(env.domain, u"");
  EXPECT_EQ(env.hostName, u"tarnwick-pc.example.local");
}

TEST_F(JobEnvironmentTest, SharedPrinterWithoutMachineNameKeepsTheRecordsFields) {
  record_->ClientUserName.Set(u"carol");
  JobEnvironment env = GetEnvironmentVariables(scope_, record_.get(), true, std::nullopt);
  EXPECT_EQ(env.userName, u"carol");
  EXPECT_EQ(env.computerName, u"");
  EXPECT_EQ(env.ipAddress, u"");
  env = GetEnvironmentVariables(scope_, record_.get(), true, SpoolerJobNames{u"bob", u""});
  EXPECT_EQ(env.userName, u"carol");
  EXPECT_EQ(env.computerName, u"");
}

TEST_F(JobEnvironmentTest, ClientFieldsWithoutTerminatorStopAtTheFieldEnd) {
  std::memset(&record_->ClientUserName, 'A', sizeof record_->ClientUserName);
  std::memset(&record_->ClientComputerName, 'B', sizeof record_->ClientComputerName);
  JobEnvironment env = GetEnvironmentVariables(scope_, record_.get(), true, std::nullopt);
  EXPECT_EQ(env.userName.size(), 21u);
  EXPECT_EQ(env.computerName.size(), 16u);
}

class PathVariables : public JobEnvironmentTest {
 protected:
  JobEnvironment env_{u"alice", u"TARNWICK-PC", u"TARNWICK-PC", u"192.168.10.20", u"tarnwick-pc.example.local"};
};

TEST_F(PathVariables, BothFormsGiveTheJobsValues) {
  Impersonation alice(u"alice");
  ASSERT_TRUE(alice.ok());
  std::u16string path = u"C:\\Out\\<<USERNAME>>\\%username%\\<<IpAddress>>-%COMPUTERNAME%";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\Out\\alice\\alice\\192.168.10.20-TARNWICK-PC");
}

TEST_F(PathVariables, EnvVarsThenTheUsersEnvironment) {
  Impersonation alice(u"alice");
  ASSERT_TRUE(alice.ok());
  SetEnvVar(u"Dept", u"Sales");
  std::u16string path = u"C:\\<<Dept>>\\<<APPDATA>>\\%dept%\\<<NoSuchVariable>>\\%NoSuchEither%";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\Sales\\C:\\Users\\alice\\AppData\\Roaming\\Sales\\%NoSuchVariable%\\%NoSuchEither%");
}

TEST_F(PathVariables, AnUnclosedUnknownPercentNameStaysAsWritten) {
  Impersonation alice(u"alice");
  ASSERT_TRUE(alice.ok());
  SetEnvVar(u"Share", u"50%off");
  std::u16string path = u"C:\\100%done\\<<Share>>";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\100%done\\50%off");
  path = u"C:\\%APPDATA";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\C:\\Users\\alice\\AppData\\Roaming");
}

TEST_F(PathVariables, WithoutATokenUnknownNamesStayAndExpansionFails) {
  std::u16string path = u"C:\\<<NoSuchVariable>>\\%Other%\\<<USERNAME>>";
  EXPECT_FALSE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\<<NoSuchVariable>>\\%Other%\\alice");
  // A "%" variable alone does not make the expansion fail.
  path = u"C:\\%Other%";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\%Other%");
}

TEST_F(PathVariables, UnclosedVariablesAndLimits) {
  std::u16string path = u"C:\\Out\\<<USERNAME";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\Out\\alice");
  path = u"C:\\Out\\%USERNAME";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\Out\\alice");
  path = u"C:\\100%%\\<<>>";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\100%%\\<<>>");
  path = u"C:\\%Other";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\%Other");

  // A replacement that does not fit in 259 characters is dropped.
  SetEnvVar(u"Long", std::u16string(250, u'x'));
  path = u"C:\\abcdefgh\\<<Long>>\\end";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path, u"C:\\abcdefgh\\\\end");
  path = u"C:\\<<Long>>";
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path.size(), 253u);
  // Longer paths are cut to 259 characters first.
  path = std::u16string(300, u'p');
  EXPECT_TRUE(ExpandPathVariables(path, env_, scope_));
  EXPECT_EQ(path.size(), 259u);
}

}  // namespace
