// "wsock32.dll" and "Netapi32.dll": loaded by name as the monitor loads
// them, answering from the machine configuration.
#include <windows.h>
#include <lm.h>
#include <winsock.h>

#include <cstring>
#include <string>

#include "tw/root.h"
#include "tw_test.h"

namespace {

class Module {
 public:
  explicit Module(const char16_t* name) : module_(LoadLibraryW(name)) {}
  ~Module() {
    if (module_) FreeLibrary(module_);
  }
  template <typename Fn>
  Fn Get(const char* name) const {
    return reinterpret_cast<Fn>(GetProcAddress(module_, name));
  }
  explicit operator bool() const { return module_ != nullptr; }

 private:
  HMODULE module_;
};

class NetModules : public ::testing::Test {
 protected:
  void SetUp() override {
    auto machine = *tw::config::Get();
    machine.hosts.push_back({u"CLIENT7", "192.168.10.77", u"client7.corp.example", u"CORP"});
    machine.hosts.push_back({u"OLDBOX", "10.0.0.9", u"", u"WORKGROUP"});
    ASSERT_TRUE(tw::config::Save(machine));
    ASSERT_TRUE(ws_);
    startup_ = ws_.Get<LPFN_WSASTARTUP>("WSAStartup");
    cleanup_ = ws_.Get<LPFN_WSACLEANUP>("WSACleanup");
    lastError_ = ws_.Get<LPFN_WSAGETLASTERROR>("WSAGetLastError");
    hostName_ = ws_.Get<LPFN_GETHOSTNAME>("gethostname");
    byName_ = ws_.Get<LPFN_GETHOSTBYNAME>("gethostbyname");
    byAddr_ = ws_.Get<LPFN_GETHOSTBYADDR>("gethostbyaddr");
    ntoa_ = ws_.Get<LPFN_INET_NTOA>("inet_ntoa");
    addr_ = ws_.Get<LPFN_INET_ADDR>("inet_addr");
    ASSERT_TRUE(startup_ && cleanup_ && lastError_ && hostName_ && byName_ && byAddr_ && ntoa_ && addr_);
  }
  std::string Address(const hostent* h) {
    if (!h || h->h_length != 4 || !h->h_addr_list[0]) return "none";
    in_addr a;
    std::memcpy(&a, h->h_addr_list[0], 4);
    EXPECT_EQ(h->h_addr_list[1], nullptr);
    EXPECT_EQ(h->h_addrtype, AF_INET);
    return ntoa_(a);
  }

  twtest::TempRoot root_;
  Module ws_{u"wsock32.dll"};
  LPFN_WSASTARTUP startup_ = nullptr;
  LPFN_WSACLEANUP cleanup_ = nullptr;
  LPFN_WSAGETLASTERROR lastError_ = nullptr;
  LPFN_GETHOSTNAME hostName_ = nullptr;
  LPFN_GETHOSTBYNAME byName_ = nullptr;
  LPFN_GETHOSTBYADDR byAddr_ = nullptr;
  LPFN_INET_NTOA ntoa_ = nullptr;
  LPFN_INET_ADDR addr_ = nullptr;
};

TEST_F(NetModules, StartupVersionsAndCleanup) {
  char name[64];
  EXPECT_EQ(hostName_(name, sizeof name), SOCKET_ERROR) << "before WSAStartup";
  EXPECT_EQ(lastError_(), WSANOTINITIALISED);
  EXPECT_EQ(byName_("CLIENT7"), nullptr);
  EXPECT_EQ(lastError_(), WSANOTINITIALISED);

  WSADATA data;
  EXPECT_EQ(startup_(0x0101, nullptr), WSAEFAULT);
  EXPECT_EQ(startup_(0x0000, &data), WSAVERNOTSUPPORTED);
  ASSERT_EQ(startup_(0x0101, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(data.wHighVersion, 0x0202);
  EXPECT_STREQ(data.szSystemStatus, "Running");
  ASSERT_EQ(startup_(0x0303, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0202);
  EXPECT_EQ(cleanup_(), 0);
  EXPECT_EQ(hostName_(name, sizeof name), 0) << "one start-up is still open";
  EXPECT_EQ(cleanup_(), 0);
  EXPECT_EQ(cleanup_(), SOCKET_ERROR);
  EXPECT_EQ(lastError_(), WSANOTINITIALISED);
}

TEST_F(NetModules, HostNamesAndAddressesFromTheConfiguration) {
  WSADATA data;
  ASSERT_EQ(startup_(0x0101, &data), 0);
  char name[64];
  ASSERT_EQ(hostName_(name, sizeof name), 0);
  EXPECT_STREQ(name, "tarnwick-pc");
  EXPECT_EQ(hostName_(name, 11), SOCKET_ERROR) << "no room for the terminator";
  EXPECT_EQ(lastError_(), WSAEFAULT);

  hostent* h = byName_(name);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(h->h_name, "tarnwick-pc.example.local");
  EXPECT_EQ(Address(h), "192.168.10.20");
  EXPECT_EQ(Address(byName_("TARNWICK-PC")), "192.168.10.20");
  EXPECT_EQ(Address(byName_(nullptr)), "192.168.10.20");
  EXPECT_EQ(Address(byName_("client7")), "192.168.10.77");
  EXPECT_STREQ(byName_("Client7.Corp.Example")->h_name, "client7.corp.example");
  EXPECT_STREQ(byName_("oldbox")->h_name, "OLDBOX");
  EXPECT_EQ(Address(byName_("localhost")), "127.0.0.1");
  EXPECT_EQ(Address(byName_("10.1.2.3")), "10.1.2.3");
  EXPECT_EQ(byName_("nowhere"), nullptr);
  EXPECT_EQ(lastError_(), WSAHOST_NOT_FOUND);

  ULONG a = addr_("192.168.10.77");
  h = byAddr_(reinterpret_cast<const char*>(&a), 4, AF_INET);
  ASSERT_NE(h, nullptr);
  EXPECT_STREQ(h->h_name, "client7.corp.example");
  a = addr_("127.0.0.1");
  EXPECT_STREQ(byAddr_(reinterpret_cast<const char*>(&a), 4, AF_INET)->h_name, "tarnwick-pc.example.local");
  a = addr_("10.9.9.9");
  EXPECT_EQ(byAddr_(reinterpret_cast<const char*>(&a), 4, AF_INET), nullptr);
  EXPECT_EQ(lastError_(), WSAHOST_NOT_FOUND);
  EXPECT_EQ(byAddr_(reinterpret_cast<const char*>(&a), 4, 23), nullptr);
  EXPECT_EQ(lastError_(), WSAEAFNOSUPPORT);
  EXPECT_EQ(byAddr_(reinterpret_cast<const char*>(&a), 2, AF_INET), nullptr);
  EXPECT_EQ(lastError_(), WSAEFAULT);
  EXPECT_EQ(cleanup_(), 0);
}

TEST_F(NetModules, AddressTextBothWays) {
  auto bytes = [&](const char* text) {
    ULONG v = addr_(text);
    const BYTE* b = reinterpret_cast<const BYTE*>(&v);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
  };
  EXPECT_EQ(bytes("192.168.10.20"), "192.168.10.20");
  EXPECT_EQ(bytes("10.1"), "10.0.0.1");
  EXPECT_EQ(bytes("10.1.258"), "10.1.1.2");
  EXPECT_EQ(bytes("0x7f.1"), "127.0.0.1");
  EXPECT_EQ(bytes("010.0.0.1"), "8.0.0.1");
  EXPECT_EQ(bytes("3232238100"), "192.168.10.20");
  for (const char* bad : {"", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "a.b.c.d", "1..2", "1.2.3.", "08.1.1.1",
                          "0x", "99999999999", " 1.2.3.4"})
    EXPECT_EQ(addr_(bad), INADDR_NONE) << bad;
  EXPECT_EQ(addr_(nullptr), INADDR_NONE);

  in_addr a;
  a.S_un.S_addr = addr_("1.22.133.244");
  EXPECT_STREQ(ntoa_(a), "1.22.133.244");
}

TEST_F(NetModules, WorkstationInformation) {
  twtest::LeakGuard guard;
  Module net(u"Netapi32.dll");
  ASSERT_TRUE(net);
  auto getInfo = net.Get<LPFN_NETWKSTAGETINFO>("NetWkstaGetInfo");
  auto freeBuffer = net.Get<LPFN_NETAPIBUFFERFREE>("NetApiBufferFree");
  ASSERT_TRUE(getInfo && freeBuffer);

  struct Row {
    const char16_t* server;
    const char16_t* computer;
    const char16_t* group;
  };
  for (Row r : {Row{nullptr, u"TARNWICK-PC", u"WORKGROUP"}, Row{u"", u"TARNWICK-PC", u"WORKGROUP"},
                Row{u"\\\\tarnwick-pc", u"TARNWICK-PC", u"WORKGROUP"}, Row{u"\\\\CLIENT7", u"CLIENT7", u"CORP"},
                Row{u"client7.corp.example", u"CLIENT7", u"CORP"}}) {
    std::u16string server = r.server ? r.server : u"";
    LPBYTE buffer = nullptr;
    ASSERT_EQ(getInfo(r.server ? server.data() : nullptr, 100, &buffer), NERR_Success);
    auto* info = reinterpret_cast<WKSTA_INFO_100*>(buffer);
    EXPECT_EQ(std::u16string(info->wki100_computername), r.computer);
    EXPECT_EQ(std::u16string(info->wki100_langroup), r.group);
    EXPECT_EQ(info->wki100_platform_id, DWORD{PLATFORM_ID_NT});
    EXPECT_EQ(info->wki100_ver_major, 10u);
    EXPECT_EQ(freeBuffer(buffer), NERR_Success);
  }
  std::u16string unknown = u"\\\\NOWHERE";
  LPBYTE buffer = reinterpret_cast<LPBYTE>(&unknown);
  EXPECT_EQ(getInfo(unknown.data(), 100, &buffer), DWORD{ERROR_BAD_NETPATH});
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(getInfo(nullptr, 101, &buffer), DWORD{ERROR_INVALID_LEVEL});
  EXPECT_EQ(getInfo(nullptr, 100, nullptr), DWORD{ERROR_INVALID_PARAMETER});
  EXPECT_EQ(freeBuffer(nullptr), NERR_Success);
}

}  // namespace
