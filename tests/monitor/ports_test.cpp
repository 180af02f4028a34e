// The monitor as the spooler sees it: initialisation, the port list, port
// enumeration and the Xcv requests.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "fake_spooler.h"
#include "tw/ui.h"
#include "monitor_host.h"

namespace {

using twtest::MonitorHost;

class PortsTest : public ::testing::Test {
 protected:
  static void IniPortName(LPCWSTR name) {
    ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", name, u"TwMonitor.ini"));
  }
  static std::vector<std::u16string> RegistryPorts() {
    std::vector<std::u16string> names;
    HKEY key = nullptr;
    std::u16string path = std::u16string(twtest::kMonitorKey) + u"\\PortList";
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
      WCHAR name[128];
      BYTE data[16];
      DWORD units = 128, size = sizeof data, type = 0;
      if (RegEnumValueW(key, i, name, &units, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      EXPECT_EQ(size, 2u);
      EXPECT_EQ(std::memcmp(data, u" ", 2), 0);
      names.emplace_back(name);
    }
    RegCloseKey(key);
    return names;
  }
  twtest::TempRoot root_;
};

TEST_F(PortsTest, TableAndMonitorName) {
  twtest::LeakGuard leaks;
  MonitorHost host;
  ASSERT_NE(host.table, nullptr);
  EXPECT_EQ(host.table->cbSize, 160u);
  EXPECT_EQ(host.monitor, nullptr);
  EXPECT_NE(host.table->pfnEnumPorts, nullptr);
  EXPECT_NE(host.table->pfnXcvDataPort, nullptr);
  EXPECT_NE(host.table->pfnShutdown, nullptr);
  EXPECT_EQ(host.table->pfnAddPort, nullptr);
  EXPECT_EQ(host.table->pfnConfigurePort, nullptr);
  EXPECT_EQ(host.table->pfnDeletePort, nullptr);
  EXPECT_EQ(host.table->pfnSendRecvBidiDataFromPort, nullptr);
  // The probe value is gone again.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, twtest::kMonitorKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"MonitorTest", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(PortsTest, Windows2000GetsTheShortTable) {
  auto machine = *tw::config::Get();
  machine.osMajor = 5;
  machine.osMinor = 0;
  ASSERT_TRUE(tw::config::Save(machine));
  MonitorHost host;
  ASSERT_NE(host.table, nullptr);
  EXPECT_EQ(host.table->cbSize, 148u);
}

TEST_F(PortsTest, AddPortThroughXcvListsNewestFirstAtLevel2) {
  twtest::LeakGuard leaks;
  MonitorHost host;
  IniPortName(u"TW01:");
  EXPECT_EQ(host.Xcv(u"AddPort", u"ignored"), 0u);
  IniPortName(u"TW02:");
  EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
  EXPECT_EQ(RegistryPorts().size(), 2u);

  DWORD needed = 0, returned = 0;
  EXPECT_FALSE(host.table->pfnEnumPorts(host.monitor, nullptr, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  DWORD perPort = 32 + 2 * (6 + 17 + 14);
  EXPECT_EQ(needed, 2 * perPort);
  std::vector<BYTE> buffer(needed);
  returned = 0;
  ASSERT_TRUE(host.table->pfnEnumPorts(host.monitor, nullptr, 2, buffer.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 2u);
  auto* info = reinterpret_cast<PORT_INFO_2W*>(buffer.data());
  EXPECT_EQ(std::u16string(info[0].pPortName), u"TW02:");
  EXPECT_EQ(std::u16string(info[1].pPortName), u"TW01:");
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(std::u16string(info[i].pMonitorName), twtest::kMonitorName);
    EXPECT_EQ(std::u16string(info[i].pDescription), u"Tarnwick Port");
    EXPECT_EQ(info[i].fPortType, 1u);
    EXPECT_EQ(info[i].Reserved, 0u);
    // The strings lie inside the caller's buffer.
    EXPECT_GE(reinterpret_cast<BYTE*>(info[i].pPortName), buffer.data() + 64);
    EXPECT_LT(reinterpret_cast<BYTE*>(info[i].pPortName), buffer.data() + buffer.size());
  }
}

TEST_F(PortsTest, DuplicateOrMissingNameIsNotAdded) {
  MonitorHost host;
  IniPortName(u"TW01:");
  EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
  EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);  // already there: still 0
  IniPortName(u"tw01:");
  EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
  EXPECT_EQ(host.Ports(), std::vector<std::u16string>{u"TW01:"});
  // Without a name the user is asked; without an answer nothing is added.
  IniPortName(u"");
  EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
  EXPECT_EQ(host.Ports(), std::vector<std::u16string>{u"TW01:"});
  EXPECT_EQ(RegistryPorts(), std::vector<std::u16string>{u"TW01:"});
}

TEST_F(PortsTest, DuplicatePortIsReportedInAMessageBox) {
  MonitorHost host;
  tw::ui::ClearRecords();
  IniPortName(u"TW01:");
  host.Xcv(u"AddPort", u"");
  EXPECT_TRUE(tw::ui::MessageBoxes().empty());
  host.Xcv(u"AddPort", u"");
  auto shown = tw::ui::MessageBoxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, u"Cannot add port! The specified port already exists.");
  EXPECT_EQ(shown[0].caption, u"Message");
  EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_OK));
}

TEST_F(PortsTest, ShortNameAsksTheUser) {
  MonitorHost host;
  tw::ui::ClearRecords();
  IniPortName(u"X");
  tw::ui::SetScript(u"dialog 1001=TW07: OK");
  EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
  EXPECT_EQ(host.Ports(), std::vector<std::u16string>{u"TW07:"});
  auto dialogs = tw::ui::Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].title, u"Add Tarnwick Port");
  EXPECT_EQ(dialogs[0].focusId, 1001);

  // Cancel fails the add; a name longer than 62 characters is cut.
  tw::ui::SetScript(u"dialog 1001=TW08: CANCEL");
  host.Xcv(u"AddPort", u"");
  EXPECT_EQ(host.Ports(), std::vector<std::u16string>{u"TW07:"});
  std::u16string longName(70, u'P');
  tw::ui::SetScript(u"dialog 1001=" + longName + u" OK");
  host.Xcv(u"AddPort", u"");
  EXPECT_EQ(host.Ports().front(), std::u16string(62, u'P'));
  tw::ui::SetScript(u"");
}

TEST_F(PortsTest, EnumerationSizesAndErrors) {
  MonitorHost host;
  IniPortName(u"TW01:");
  host.Xcv(u"AddPort", u"");
  IniPortName(u"LONGER_PORT");
  host.Xcv(u"AddPort", u"");
  DWORD expected = (8 + 2 * 6) + (8 + 2 * 12);
  std::vector<BYTE> buffer(expected);
  DWORD needed = 0, returned = 7;
  EXPECT_FALSE(host.table->pfnEnumPorts(host.monitor, nullptr, 1, buffer.data(), expected - 1, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(needed, expected);
  EXPECT_EQ(returned, 0u);
  returned = 0;
  EXPECT_TRUE(host.table->pfnEnumPorts(host.monitor, nullptr, 1, buffer.data(), expected, &needed, &returned));
  EXPECT_EQ(returned, 2u);

  WCHAR server[] = u"\\\\OTHER";
  needed = returned = 5;
  EXPECT_TRUE(host.table->pfnEnumPorts(host.monitor, server, 1, buffer.data(), expected, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);

  EXPECT_FALSE(host.table->pfnEnumPorts(host.monitor, nullptr, 3, buffer.data(), expected, &needed, &returned));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_LEVEL));
  EXPECT_EQ(needed, 0u);
}

TEST_F(PortsTest, PortListIsBuiltFromRegistryOnFirstEnumeration) {
  {
    MonitorHost host;
    IniPortName(u"TW01:");
    host.Xcv(u"AddPort", u"");
  }
  {
    MonitorHost again;  // a fresh load reads the registry
    EXPECT_EQ(again.Ports(), std::vector<std::u16string>{u"TW01:"});
  }
  // Opening before any enumeration finds the registry's ports too.
  MonitorHost third;
  WCHAR name[] = u"TW01:";
  HANDLE port = nullptr;
  ASSERT_TRUE(third.table->pfnOpenPort(third.monitor, name, &port));
  EXPECT_TRUE(third.table->pfnClosePort(port));
}

TEST_F(PortsTest, OpenIgnoresCaseDeleteDoesNot) {
  MonitorHost host;
  IniPortName(u"TW01:");
  host.Xcv(u"AddPort", u"");
  HANDLE port = nullptr;
  WCHAR lower[] = u"tw01:";
  ASSERT_TRUE(host.table->pfnOpenPort(host.monitor, lower, &port));
  EXPECT_NE(port, nullptr);
  EXPECT_TRUE(host.table->pfnClosePort(port));
  WCHAR missing[] = u"TW99:";
  HANDLE none = reinterpret_cast<HANDLE>(0x1);
  EXPECT_FALSE(host.table->pfnOpenPort(host.monitor, missing, &none));
  EXPECT_EQ(none, reinterpret_cast<HANDLE>(0x1));

  // Deleting with other letter case removes the value but not the port.
  EXPECT_EQ(host.Xcv(u"DeletePort", u"tw01:"), 0u);
  EXPECT_TRUE(RegistryPorts().empty());
  EXPECT_EQ(host.Ports(), std::vector<std::u16string>{u"TW01:"});
  EXPECT_EQ(host.Xcv(u"DeletePort", u"TW01:"), 0u);
  EXPECT_TRUE(host.Ports().empty());
}

// Xcv handles count the port they name; a port that a handle (the
// spooler's or an Xcv handle) still points at is not freed.
TEST_F(PortsTest, APortInUseIsNotDeleted) {
  twtest::LeakGuard leaks;
  {
    MonitorHost host;
    IniPortName(u"TW01:");
    host.Xcv(u"AddPort", u"");
    // Xcv handles opened and closed on the port leave no count behind.
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(host.Xcv(u"MonitorUI", u"", u"TW01:"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    WCHAR name[] = u"TW01:";
    HANDLE port = nullptr;
    ASSERT_TRUE(host.table->pfnOpenPort(host.monitor, name, &port));
    EXPECT_EQ(host.Xcv(u"DeletePort", u"TW01:"), static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(host.Ports(), std::vector<std::u16string>{u"TW01:"});
    EXPECT_EQ(RegistryPorts(), std::vector<std::u16string>{u"TW01:"});
    EXPECT_TRUE(host.table->pfnClosePort(port));

    // Another Xcv handle on the port keeps it too; the asking handle's own does not.
    HANDLE xcv = nullptr;
    ASSERT_TRUE(host.table->pfnXcvOpenPort(host.monitor, u"TW01:", 0, &xcv));
    EXPECT_EQ(host.Xcv(u"DeletePort", u"TW01:"), static_cast<DWORD>(ERROR_BUSY));
    std::u16string input = u"TW01:";
    DWORD needed = 0;
    EXPECT_EQ(host.table->pfnXcvDataPort(xcv, u"DeletePort", reinterpret_cast<PBYTE>(input.data()),
                                         static_cast<DWORD>((input.size() + 1) * 2), nullptr, 0, &needed),
              0u);
    EXPECT_TRUE(host.Ports().empty());
    EXPECT_TRUE(RegistryPorts().empty());
    // The handle refers to nothing now; closing it touches no freed port.
    EXPECT_FALSE(host.table->pfnXcvClosePort(xcv));
  }
}

// The dialog that asks for a port name holds no lock: while nobody answers
// it, other spooler threads still enumerate the ports.
TEST_F(PortsTest, AddPortDialogDoesNotHoldThePortList) {
  MonitorHost host;
  IniPortName(u"TW01:");
  host.Xcv(u"AddPort", u"");
  IniPortName(u"");
  // The dialog's script comes from a pipe that nobody writes yet.
  unsetenv("TW_UI_SCRIPT");
  const auto script = root_.Dir() / "ui-script.txt";
  ASSERT_EQ(mkfifo(script.c_str(), 0600), 0);
  tw::ui::ReloadScript();
  std::thread adding([&] { EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u); });
  // The dialog is up once it waits on the pipe.
  int writer = -1;
  for (int i = 0; i < 2000 && writer < 0; ++i) {
    writer = open(script.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_GE(writer, 0) << "the dialog never asked";
  auto listed = std::async(std::launch::async, [&] { return host.Ports(); });
  const bool answered = listed.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  const char answer[] = "dialog 1001=TW05: OK\n";
  EXPECT_EQ(write(writer, answer, sizeof answer - 1), static_cast<ssize_t>(sizeof answer - 1));
  close(writer);
  adding.join();
  EXPECT_TRUE(answered) << "the enumeration waited for the dialog";
  EXPECT_EQ(listed.get(), std::vector<std::u16string>{u"TW01:"});
  EXPECT_EQ(host.Ports(), (std::vector<std::u16string>{u"TW05:", u"TW01:"}));
}

TEST_F(PortsTest, XcvRequestNamesAndNullHandles) {
  MonitorHost host;
  EXPECT_EQ(host.Xcv(u"MonitorUI", u""), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(host.Xcv(u"addport", u""), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(host.Xcv(u"Anything", u""), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(host.table->pfnXcvDataPort(nullptr, u"AddPort", nullptr, 0, nullptr, 0, nullptr),
            static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(host.table->pfnXcvClosePort(nullptr));
  HANDLE xcv = nullptr;
  EXPECT_FALSE(host.table->pfnXcvOpenPort(host.monitor, u"", 0, &xcv));
  EXPECT_FALSE(host.table->pfnXcvOpenPort(host.monitor, nullptr, 0, &xcv));
  SetLastError(0);
  EXPECT_FALSE(host.table->pfnClosePort(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(host.table->pfnStartDocPort(nullptr, nullptr, 1, 1, nullptr));
  EXPECT_FALSE(host.table->pfnWritePort(nullptr, nullptr, 0, nullptr));
  EXPECT_FALSE(host.table->pfnReadPort(nullptr, nullptr, 0, nullptr));
  EXPECT_FALSE(host.table->pfnEndDocPort(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
