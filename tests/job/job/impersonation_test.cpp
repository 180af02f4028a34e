// The job gives up the printing client's identity through "Spoolss.dll" and
// takes it back when it is destroyed.
#include <windows.h>

#include "job/job/tw_job.h"
#include "core/impersonation.h"
#include "tw/module.h"
#include "tw/root.h"
#include "tw/token.h"
#include "tw_test.h"

namespace {

TEST(Impersonation, JobImpersonatesTheClientAgainWhenDestroyed) {
  twtest::TempRoot root;
  auto machine = *tw::config::Get();
  machine.users.push_back({u"alice", u"TARNWICK-PC", u"S-1-5-21-1-2-3-1001", {}});
  ASSERT_TRUE(tw::config::Save(machine));
  tw::module::RegisterBuiltin(u"Spoolss.dll", tw::token::SpoolssExports());

  HANDLE user = tw::token::MakeUserToken(u"alice", 0);
  ASSERT_NE(user, nullptr) << GetLastError();
  ASSERT_TRUE(ImpersonateLoggedOnUser(user));
  CloseHandle(user);
  ASSERT_TRUE(tw::token::IsImpersonating());
  {
    CTWJob job;
    HANDLE client = tw::core::RevertToPrinterSelfHelper();
    ASSERT_NE(client, nullptr);
    EXPECT_FALSE(tw::token::IsImpersonating());  // working as the spooler
    job.SetClientToken(client);
  }
  EXPECT_TRUE(tw::token::IsImpersonating());
  EXPECT_EQ(tw::token::ThreadUser().name, u"alice");
  RevertToSelf();
  // Not impersonating: nothing to give up.
  EXPECT_EQ(tw::core::RevertToPrinterSelfHelper(), nullptr);
}

}  // namespace
