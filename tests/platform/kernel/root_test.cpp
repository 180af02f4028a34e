#include <fstream>

#include "tw/root.h"
#include "tw_test.h"

namespace {

TEST(MachineRoot, FreshRootHasLayoutAndDefaultConfiguration) {
  twtest::TempRoot root;
  EXPECT_EQ(tw::root::Dir(), root.Dir());
  EXPECT_TRUE(std::filesystem::is_directory(root.Dir() / "drive_c/Windows/System32"));
  EXPECT_FALSE(std::filesystem::exists(root.Dir() / "drive_c/Temp")) << "C:\\Temp switches logs on";
  auto machine = tw::config::Get();
  EXPECT_EQ(machine->osMajor, 10u);
  EXPECT_EQ(machine->ansiCodePage, 1252u);
  EXPECT_NE(tw::config::FindUser(*machine, u"ALICE"), nullptr);
}

TEST(MachineRoot, SavedConfigurationIsReadBackAndSwitchingRootsForgetsIt) {
  twtest::TempRoot first;
  auto machine = *tw::config::Get();
  machine.osMajor = 5;
  machine.computerName = u"OLDBOX";
  ASSERT_TRUE(tw::config::Save(machine));
  EXPECT_EQ(tw::config::Get()->osMajor, 5u);
  auto firstTag = tw::root::Tag();
  {
    twtest::TempRoot second;
    EXPECT_EQ(tw::config::Get()->osMajor, 10u);
    EXPECT_NE(tw::root::Tag(), firstTag);
  }
}

TEST(MachineRoot, DamagedConfigurationFallsBackToDefaults) {
  twtest::TempRoot root;
  std::ofstream(root.Dir() / "config.json") << "{ not json";
  tw::root::SetDir(root.Dir());  // forget the cached copy
  EXPECT_EQ(tw::config::Get()->computerName, u"TARNWICK-PC");
}

}  // namespace
