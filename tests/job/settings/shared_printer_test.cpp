// Jobs on shared printers: who counts as remote, and what the server's
// record replaces.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "devmode_test_util_settings.h"
#include "job/devmode/devmode_access.h"
#include "job/settings/shared_printer.h"

using namespace tw::settings;
namespace dm = tw::devmode;
using dm::TarnwickDEVMODE;

namespace {

TEST(SharedPrinter, AttributeAndRemoteMachineOrClientRecord) {
  auto rec = ZeroedRecord();
  rec->ClientComputerName.Set(u"tarnwick-pc");
  const std::u16string_view local = u"TARNWICK-PC";
  EXPECT_FALSE(IsSharedPrinter(0, u"\\\\CLIENT7", rec.get(), local)) << "not shared at all";
  EXPECT_TRUE(IsSharedPrinter(kPrinterAttributeShared, u"\\\\CLIENT7", rec.get(), local));
  EXPECT_FALSE(IsSharedPrinter(kPrinterAttributeShared, u"\\\\Tarnwick-PC", rec.get(), local));
  EXPECT_FALSE(IsSharedPrinter(kPrinterAttributeShared, std::nullopt, rec.get(), local));
  EXPECT_FALSE(IsSharedPrinter(kPrinterAttributeShared, std::nullopt, nullptr, local));

  rec->ClientComputerName.Set(u"CLIENT7");
  EXPECT_TRUE(IsSharedPrinter(kPrinterAttributeShared, u"TARNWICK-PC", rec.get(), local));
  // Internet printing connections are not judged by the record.
  rec->DM.dmDeviceName.Set(u"\\\\HTTP://server/printers/p");
  EXPECT_FALSE(IsSharedPrinter(kPrinterAttributeShared, u"TARNWICK-PC", rec.get(), local));
  rec->DM.dmDeviceName.Set(u"\\\\htt");
  EXPECT_TRUE(IsSharedPrinter(kPrinterAttributeShared, u"TARNWICK-PC", rec.get(), local));
}

// A record of random bytes with a given version.
std::unique_ptr<TarnwickDEVMODE> RandomRecord(unsigned seed, WORD version) {
  auto rec = ZeroedRecord();
  std::mt19937 random(seed);
  auto* bytes = reinterpret_cast<BYTE*>(rec.get());
  for (size_t i = 0; i < sizeof(TarnwickDEVMODE); ++i) bytes[i] = static_cast<BYTE>(random());
  rec->DM.dmDriverVersion = version;
  return rec;
}

TEST(SharedPrinter, IgnoredPartsAreReplacedWhole) {
  auto server = RandomRecord(1, 1470);
  auto job = RandomRecord(2, 1470);
  auto before = std::make_unique<TarnwickDEVMODE>(*job);
  CopySettingsForSharedPrinter(*job, *server, true, false, false);
  EXPECT_EQ(std::memcmp(&job->DM, &server->DM, dm::kStandardPartSize), 0);

  *job = *before;
  CopySettingsForSharedPrinter(*job, *server, false, true, false);
  EXPECT_EQ(std::memcmp(&job->DM, &before->DM, dm::kStandardPartSize), 0);
  EXPECT_EQ(+job->Flags, server->Flags & ~dm::flags::SaveAs);
  job->Flags = server->Flags;
  EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(job.get()) + dm::kStandardPartSize,
                        reinterpret_cast<BYTE*>(server.get()) + dm::kStandardPartSize, dm::kPrivatePartSize),
            0);
}

TEST(SharedPrinter, ServerValuesReplaceOnlyTheirFields) {
  auto server = RandomRecord(3, 1470);
  auto job = RandomRecord(4, 1470);
  server->Flags = 0xffffffff;
  job->Flags = 0x80000000;
  server->OutputDirectory.Set(u"\\\\server\\out");
  for (DWORD i = 0; i < 16; ++i) dm::SetParameterOrder(*server, i, i % 2 ? 16 : 17);
  auto before = std::make_unique<TarnwickDEVMODE>(*job);
  CopySettingsForSharedPrinter(*job, *server, false, false, false);

  EXPECT_EQ(job->OutputDirectory.Get(), u"\\\\server\\out");
  EXPECT_EQ(+job->WatermarkFlags, +server->WatermarkFlags);
  EXPECT_EQ(+job->WatermarkBrightnessL, +server->WatermarkBrightnessL);
  EXPECT_EQ(+job->WatermarkBrightnessP, +server->WatermarkBrightnessP);
  EXPECT_EQ(std::memcmp(&job->WatermarkLandscapeImage, &server->WatermarkLandscapeImage, 520), 0);
  EXPECT_EQ(std::memcmp(&job->WatermarkPortraitImage, &server->WatermarkPortraitImage, 520), 0);
  EXPECT_EQ(+job->StartAppFlags, +server->StartAppFlags);
  EXPECT_EQ(std::memcmp(&job->ApplicationPath, &server->ApplicationPath, 520), 0);
  EXPECT_EQ(std::memcmp(&job->CustomParameter, &server->CustomParameter, sizeof job->CustomParameter), 0);
  EXPECT_EQ(+job->Flags, 0x40u | 0x100u | 0x2000000u | 0x8u | 0x4u | 0x10u | 0x8000000u) << "bit 31 cleared";
  EXPECT_EQ(+job->TextOutputType, +server->TextOutputType);
  EXPECT_EQ(+job->TextOutputOptions, +server->TextOutputOptions);
  EXPECT_EQ(+job->BatesProfile, +server->BatesProfile);
  EXPECT_EQ(+job->LossRatio, +server->LossRatio);
  EXPECT_EQ(+job->BarcodeFlags, +server->BarcodeFlags);
  EXPECT_EQ(+job->BarcodeType, +server->BarcodeType);
  EXPECT_EQ(std::memcmp(reinterpret_cast<BYTE*>(job.get()) + 0x1aa0, reinterpret_cast<BYTE*>(server.get()) + 0x1aa0,
                        33),
            0);
  // Entries 0..14, each only when at most 16; entry 15 is never taken.
  for (DWORD i = 0; i < 16; ++i) {
    DWORD want = (i < 15 && i % 2) ? 16 : dm::GetParameterOrder(before.get(), i);
    EXPECT_EQ(dm::GetParameterOrder(job.get(), i), want) << i;
  }
  // Everything else stays the job's.
  EXPECT_EQ(std::memcmp(&job->DM, &before->DM, dm::kStandardPartSize), 0);
  EXPECT_EQ(+job->FileFormat, +before->FileFormat);
  EXPECT_EQ(+job->ColorMode, +before->ColorMode);
  EXPECT_EQ(std::memcmp(&job->ImageFileName, &before->ImageFileName, 520), 0);
  EXPECT_EQ(+job->PrinterID, +before->PrinterID);
  EXPECT_EQ(+job->Flags2, +before->Flags2);
  EXPECT_EQ(std::memcmp(&job->ClientUserName, &before->ClientUserName, sizeof job->ClientUserName), 0);
}

TEST(SharedPrinter, OutputDirectoryRules) {
  auto server = ZeroedRecord();
  auto job = ZeroedRecord();
  job->OutputDirectory.Set(u"C:\\Client");
  server->OutputDirectory.Set(u"C:\\Server");
  CopySettingsForSharedPrinter(*job, *server, false, false, true);
  EXPECT_EQ(job->OutputDirectory.Get(), u"C:\\Client") << "the client's directory is used";
  // A server string without terminator is not taken.
  std::memset(&server->OutputDirectory, 'S', sizeof server->OutputDirectory);
  CopySettingsForSharedPrinter(*job, *server, false, false, false);
  EXPECT_EQ(job->OutputDirectory.Get(), u"C:\\Client");
}

TEST(SharedPrinter, OldRecordsTakeNineEntriesOfAtMostEight) {
  auto server = ZeroedRecord();
  auto job = ZeroedRecord();
  server->DM.dmDriverVersion = job->DM.dmDriverVersion = 1460;
  for (DWORD i = 0; i < 9; ++i) {
    dm::SetParameterOrder(*server, i, i == 3 || i == 8 ? 9 : i);
    dm::SetParameterOrder(*job, i, 5);
  }
  CopySettingsForSharedPrinter(*job, *server, false, false, false);
  for (DWORD i = 0; i < 9; ++i) EXPECT_EQ(dm::GetParameterOrder(job.get(), i), (i == 3 || i == 8) ? 5u : i) << i;

  dm::SetParameterOrder(*server, 8, 7);
  CopySettingsForSharedPrinter(*job, *server, false, false, false);
  EXPECT_EQ(dm::GetParameterOrder(job.get(), 8), 7u);
}

}  // namespace
