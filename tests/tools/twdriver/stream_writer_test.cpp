// The driver stand-in writes the command stream byte-exact.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "job/devmode/devmode_access.h"
#include "job/job/port_cmd.h"
#include "tools/twdriver/stream_writer.h"
#include "tw_test.h"

namespace {

using tw::twdriver::Fault;
using tw::twdriver::StreamWriter;

PORT_COMMAND HeaderAt(const std::vector<BYTE>& bytes, size_t offset) {
  PORT_COMMAND h{};
  std::memcpy(&h, bytes.data() + offset, sizeof h);
  return h;
}

TEST(TwDriverStream, CommandsAreHeaderThenPayload) {
  tw::twdriver::DevModeOptions o;
  o.printer = u"Office Printer";
  auto dm = tw::twdriver::MakeDevMode(o);
  StreamWriter s;
  s.StartDoc(dm);
  s.StartPage(dm);
  s.TextOut(-3, 40, u"Hi");
  s.EndPage(std::vector<BYTE>(10, 0xAB));
  s.EndDoc();
  auto bytes = s.Bytes();
  ASSERT_EQ(bytes.size(), 5 * 16 + 6879 * 2 + (8 + 6) + 10u);

  auto h = HeaderAt(bytes, 0);
  EXPECT_EQ(h.dwFlag, 0x8000F44Fu);
  EXPECT_EQ(h.dwCommandSize, 16u);
  EXPECT_EQ(h.dwCommandType, 1u);
  EXPECT_EQ(h.dwDataSize, 6879u);
  TarnwickDEVMODE sent;
  std::memcpy(&sent, bytes.data() + 16, sizeof sent);
  EXPECT_EQ(sent.DM.dmSize, 220);
  EXPECT_EQ(sent.DM.dmDriverExtra, 6659);
  EXPECT_EQ(sent.DM.dmDeviceName.Get(), u"Office Printer");
  EXPECT_EQ(sent.DM.dmOrientation, 1);
  EXPECT_EQ(sent.PaperWidthInPixels, 2550);  // Letter at 300 DPI
  EXPECT_EQ(sent.PaperHeightInPixels, 3300);

  size_t at = 16 + 6879;
  EXPECT_EQ(HeaderAt(bytes, at).dwCommandType, 2u);
  at += 16 + 6879;
  h = HeaderAt(bytes, at);
  EXPECT_EQ(h.dwCommandType, 5u);
  EXPECT_EQ(h.dwDataSize, 14u);
  LONG x, y;
  std::memcpy(&x, bytes.data() + at + 16, 4);
  std::memcpy(&y, bytes.data() + at + 20, 4);
  EXPECT_EQ(x, -3);
  EXPECT_EQ(y, 40);
  EXPECT_EQ(std::memcmp(bytes.data() + at + 24, u"Hi", 6), 0);
  at += 16 + 14;
  h = HeaderAt(bytes, at);
  EXPECT_EQ(h.dwCommandType, 3u);
  EXPECT_EQ(h.dwDataSize, 10u);
  at += 16 + 10;
  h = HeaderAt(bytes, at);
  EXPECT_EQ(h.dwCommandType, 4u);
  EXPECT_EQ(h.dwDataSize, 0u);
}

TEST(TwDriverStream, OptionsReachTheRecord) {
  tw::twdriver::DevModeOptions o;
  o.orientation = 2;
  o.xDpi = 200;
  o.yDpi = 100;
  o.colorMode = 3;
  o.paperSize = 9;  // A4
  o.paperWidth = 2100;
  o.paperLength = 2970;
  auto dm = tw::twdriver::MakeDevMode(o);
  EXPECT_EQ(dm.DM.dmDeviceName.Get(), u"Tarnwick Printer");
  EXPECT_EQ(dm.DM.dmOrientation, 2);
  EXPECT_EQ(dm.DM.dmPaperSize, 9);
  EXPECT_EQ(dm.ColorMode, 3u);
  EXPECT_EQ(tw::devmode::GetXDPI(&dm), 200);
  EXPECT_EQ(tw::devmode::GetYDPI(&dm), 100);
  EXPECT_EQ(tw::devmode::GetPaperWidth(dm), 2100);
  EXPECT_EQ(tw::devmode::GetPaperLength(dm), 2970);
  EXPECT_GT(dm.PaperWidthInPixels, 0);
}

TEST(TwDriverStream, RawRecordKeepsItsPrivatePart) {
  std::vector<BYTE> raw(6879, 0);
  for (size_t i = 220; i < raw.size(); ++i) raw[i] = static_cast<BYTE>(i);
  tw::twdriver::DevModeOptions o;
  o.privatePart = raw;
  auto dm = tw::twdriver::MakeDevMode(o);
  EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(&dm) + 220, raw.data() + 220, 6659), 0);
  EXPECT_EQ(dm.DM.dmSize, 220);
}

TEST(TwDriverStream, FaultsMakeMalformedStreams) {
  StreamWriter s;
  s.EndPage(std::vector<BYTE>(100, 1));
  s.EndPage(std::vector<BYTE>(100, 2));
  s.EndDoc();
  s.AddFault({Fault::WrongFlag, 0});
  s.AddFault({Fault::Truncate, 1, 30});
  s.AddFault({Fault::WrongSize, 2});
  auto bytes = s.Bytes();
  ASSERT_EQ(bytes.size(), 16 + 100 + 16 + 30 + 16u);
  EXPECT_NE(HeaderAt(bytes, 0).dwFlag, TARNWICK_CMD_FLAG);
  EXPECT_EQ(HeaderAt(bytes, 116).dwDataSize, 100u);  // still announces all
  EXPECT_EQ(HeaderAt(bytes, 116 + 46).dwCommandSize, 24u);
}

TEST(TwDriverStream, PageFilesAreRecognised) {
  twtest::TempRoot root;
  auto write = [&](const char* name, std::vector<BYTE> bytes) {
    auto path = root.Dir() / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path.string();
  };
  std::vector<BYTE> emf(108, 0);
  DWORD one = 1, sig = 0x464D4520;
  std::memcpy(emf.data(), &one, 4);
  std::memcpy(emf.data() + 40, &sig, 4);
  std::vector<BYTE> bmp(14 + 40 + 4, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  bmp[14] = 40;
  std::string error;
  auto page = tw::twdriver::ReadPageFile(write("a.emf", emf), error);
  ASSERT_TRUE(page);
  EXPECT_FALSE(page->raw);
  EXPECT_EQ(page->bytes, emf);
  page = tw::twdriver::ReadPageFile(write("b.bmp", bmp), error);
  ASSERT_TRUE(page);
  EXPECT_TRUE(page->raw);
  EXPECT_EQ(page->bytes.size(), 44u);  // the packed DIB, without the file header
  EXPECT_EQ(page->bytes[0], 40);
  EXPECT_FALSE(tw::twdriver::ReadPageFile(write("c.txt", {'h', 'i'}), error));
  EXPECT_NE(error.find("neither"), std::string::npos);
  EXPECT_FALSE(tw::twdriver::ReadPageFile((root.Dir() / "missing.emf").string(), error));
}

}  // namespace
