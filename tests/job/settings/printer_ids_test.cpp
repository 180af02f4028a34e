// Printer identity numbers: given by installation, taken into a job's record.
#include <gtest/gtest.h>

#include "devmode_test_util_settings.h"
#include "job/settings/printer_ids.h"
#include "job/settings/settings_store.h"
#include "settings_test_util.h"
#include "tw_test.h"

using namespace tw::settings;

namespace {

class PrinterIds : public ::testing::Test {
 protected:
  void SetUp() override { internal::ResetOncePerProcessState(); }
  twtest::TempRoot root_;
  twtest::LeakGuard keys_;
};

TEST_F(PrinterIds, NewPrintersGetTheLowestFreeNumberOnce) {
  auto a = AssignPrinterId(u"Tarnwick Printer");
  ASSERT_TRUE(a);
  EXPECT_EQ(*a, 1u);
  EXPECT_EQ(PrinterNameForId(1), u"Tarnwick Printer");
  EXPECT_EQ(TryRead(ScopeForPrinter(u"Tarnwick Printer"), PrinterId), 1u);

  EXPECT_EQ(AssignPrinterId(u"tarnwick printer"), 1u) << "the same printer, any case";
  EXPECT_EQ(AssignPrinterId(u"Second"), 2u);
  // A printer whose key lost its ID gets its registered number back.
  ASSERT_TRUE(Delete(ScopeForPrinter(u"Second"), Definition(PrinterId)));
  EXPECT_EQ(AssignPrinterId(u"Second"), 2u);
  EXPECT_EQ(TryRead(ScopeForPrinter(u"Second"), PrinterId), 2u);
  // A key naming another printer's number is corrected.
  ASSERT_TRUE(Write(ScopeForPrinter(u"Third"), PrinterId, 1));
  EXPECT_EQ(AssignPrinterId(u"Third"), 3u);
}

TEST_F(PrinterIds, TheRecordTakesThePrinterKeysId) {
  auto record = ZeroedRecord();
  record->DM.dmDeviceName.Set(u"Old Name");
  record->PrinterID = 0;
  EXPECT_EQ(TakePrinterIdentity(*record, u"Tarnwick Printer"), u"Old Name") << "nothing registered";

  ASSERT_TRUE(AssignPrinterId(u"Tarnwick Printer"));
  EXPECT_EQ(TakePrinterIdentity(*record, u"Tarnwick Printer"), u"Tarnwick Printer");
  EXPECT_EQ(+record->PrinterID, 1u);
}

TEST_F(PrinterIds, TheRecordsIdIsWrittenWhenItNamesThisPrinter) {
  ASSERT_TRUE(SetRegText(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\PrinterIDs\\7", u"Printer name",
                         u"Renamed Printer"));
  auto record = ZeroedRecord();
  record->DM.dmDeviceName.Set(u"Device");
  record->PrinterID = 7;
  EXPECT_EQ(TakePrinterIdentity(*record, u"Other Printer"), u"Renamed Printer");
  EXPECT_FALSE(TryRead(ScopeForPrinter(u"Other Printer"), PrinterId)) << "registered for another printer";
  EXPECT_EQ(TakePrinterIdentity(*record, u"renamed printer"), u"Renamed Printer");
  EXPECT_EQ(TryRead(ScopeForPrinter(u"renamed printer"), PrinterId), 7u);
}

}  // namespace
