// A document through the monitor reaches the plug-in with its record
// corrected, and the library's diagnostic export CallDLL.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "emf_page.h"
#include "fake_spooler.h"
#include "monitor_host.h"
#include "tools/twdriver/stream_writer.h"

namespace {

using twtest::MonitorHost;

constexpr WCHAR kPrinter[] = u"Tarnwick Printer";
constexpr WCHAR kIni[] = u"C:\\tw_printer.ini";

class DevModeIntakeTest : public ::testing::Test {
 public:
  void SetUp() override {
    spooler_.spooler->AddPrinter(kPrinter, kIni);
    ASSERT_TRUE(WritePrivateProfileStringW(u"Default Settings", u"Plugin Filename", u"TwTestPlugIn.dll", kIni));
    ASSERT_TRUE(WritePrivateProfileStringW(u"PortName", u"PortName", u"TW01:", u"TwMonitor.ini"));
    log_ = root_.Dir() / "plugin.log";
    setenv("TW_TEST_PLUGIN_LOG", log_.c_str(), 1);
  }
  void TearDown() override { unsetenv("TW_TEST_PLUGIN_LOG"); }

  // One page document of `dm` on port TW01:; returns the plug-in's first call.
  std::string PrintAndReadStartDoc(const TarnwickDEVMODE& dm, DWORD jobId) {
    tw::twdriver::StreamWriter s;
    s.StartDoc(dm);
    s.StartPage(dm);
    s.EndPage(twtest::EmfPage());
    s.EndDoc();
    std::vector<BYTE> stream = s.Bytes();
    {
      MonitorHost host;
      EXPECT_EQ(host.Xcv(u"AddPort", u""), 0u);
      std::u16string portName(u"TW01:"), printer(kPrinter), docName(u"Letter");
      HANDLE port = nullptr;
      EXPECT_TRUE(host.table->pfnOpenPort(host.monitor, portName.data(), &port));
      DOC_INFO_1W doc{docName.data(), nullptr, nullptr};
      spooler_.spooler->AddJob(jobId, printer, u"Letter");
      EXPECT_TRUE(host.table->pfnStartDocPort(port, printer.data(), jobId, 1, reinterpret_cast<LPBYTE>(&doc)));
      DWORD written = 0;
      EXPECT_TRUE(host.table->pfnWritePort(port, stream.data(), static_cast<DWORD>(stream.size()), &written));
      EXPECT_TRUE(host.table->pfnEndDocPort(port));
      EXPECT_TRUE(host.table->pfnClosePort(port));
    }
    std::ifstream in(log_);
    std::string first;
    std::getline(in, first);
    return first;
  }

  twtest::TempRoot root_;
  twtest::ScopedSpooler spooler_;
  std::filesystem::path log_;
};

TEST_F(DevModeIntakeTest, PluginSeesThePixelSizeOfTheCorrectedRecord) {
  tw::twdriver::DevModeOptions letter;
  auto dm = tw::twdriver::MakeDevMode(letter);
  // The driver left the pixel size out: the job computes it.
  dm.PaperWidthInPixels = 0;
  dm.PaperHeightInPixels = 0;
  EXPECT_EQ(PrintAndReadStartDoc(dm, 21), "TwStartDoc Tarnwick Printer 2550x3300");

  tw::twdriver::DevModeOptions a4;
  a4.paperSize = 9;
  a4.paperWidth = 2100;
  a4.paperLength = 2970;
  a4.xDpi = a4.yDpi = 200;
  auto a4dm = tw::twdriver::MakeDevMode(a4);
  a4dm.PaperWidthInPixels = 1;
  a4dm.PaperHeightInPixels = 1;
  std::filesystem::remove(log_);
  EXPECT_EQ(PrintAndReadStartDoc(a4dm, 22), "TwStartDoc Tarnwick Printer 1654x2339");
}

TEST(CallDllTest, DumpsAnyRecordAndReturnsZero) {
  twtest::TempRoot root;
  HMODULE module = LoadLibraryW(u"TarnwickMon.dll");
  ASSERT_NE(module, nullptr) << GetLastError();
  using CallDllFn = LONG(WINAPI*)(LPVOID, const TarnwickDEVMODE*);
  auto callDll = reinterpret_cast<CallDllFn>(GetProcAddress(module, "CallDLL"));
  ASSERT_NE(callDll, nullptr);
  auto dm = tw::twdriver::MakeDevMode({});
  EXPECT_EQ(callDll(nullptr, &dm), 0);
  EXPECT_EQ(callDll(nullptr, nullptr), 0);
  // Random bytes, every string without terminator: read within its fields.
  std::mt19937 random(7);
  auto record = std::make_unique<TarnwickDEVMODE>();
  auto* bytes = reinterpret_cast<BYTE*>(record.get());
  for (size_t i = 0; i < sizeof(TarnwickDEVMODE); ++i) bytes[i] = static_cast<BYTE>(random() | 1);
  EXPECT_EQ(callDll(reinterpret_cast<LPVOID>(1), record.get()), 0);
  FreeLibrary(module);
}

}  // namespace
