// The command stream parser: headers and payloads reassembled across blocks,
// commands out of order, and a failure that ends the document.
#include <cstring>
#include <string>
#include <vector>

#include "capture_log.h"
#include "core/thread_state.h"
#include "recording_job.h"
#include "tools/twdriver/stream_writer.h"
#include "tw_test.h"

namespace {

using twtest::RecordingJob;
using tw::twdriver::StreamWriter;

TarnwickDEVMODE Record() {
  tw::twdriver::DevModeOptions o;
  return tw::twdriver::MakeDevMode(o);
}

std::vector<BYTE> Bytes(size_t n, BYTE seed) {
  std::vector<BYTE> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<BYTE>(seed + i * 7);
  return v;
}

std::vector<BYTE> TwoPageStream() {
  StreamWriter s;
  auto dm = Record();
  s.StartDoc(dm);
  s.StartPage(dm);
  s.TextOut(10, 20, u"Hello");
  s.EndPage(Bytes(1000, 1));
  s.StartPage(dm);
  s.EndPageRaw(Bytes(333, 2));
  s.EndDoc();
  return s.Bytes();
}

const std::vector<std::string> kTwoPageOps = {
    "SetDevMode(doc)", "StartDoc",   "SetDevMode(page)", "StartPage",      "Text(10,20,Hello)", "EndPage(1000)",
    "SetDevMode(page)", "StartPage", "EndPageRaw(333)",  "EndDoc"};

// Feeds the stream in blocks of `block` bytes; returns each call's result.
std::vector<BOOL> Feed(CTWJob& job, const std::vector<BYTE>& bytes, size_t block) {
  std::vector<BOOL> results;
  for (size_t at = 0; at < bytes.size(); at += block) {
    DWORD n = static_cast<DWORD>(std::min(block, bytes.size() - at));
    DWORD consumed = 12345;
    results.push_back(job.WritePort(bytes.data() + at, n, &consumed));
    EXPECT_LE(consumed, n);
  }
  return results;
}

// A job whose document has started: page commands are in order.
void Start(RecordingJob& job) { job.Document().phase = tw::job::DocumentPhase::Started; }

BOOL WriteAll(CTWJob& job, const std::vector<BYTE>& bytes, DWORD* consumed = nullptr) {
  DWORD ignored = 0;
  return job.WritePort(bytes.data(), static_cast<DWORD>(bytes.size()), consumed ? consumed : &ignored);
}

class WritePortTest : public ::testing::Test {
 protected:
  void SetUp() override { tw::core::ClearCommandHeader(); }
  void TearDown() override {
    tw::core::ThreadStateDetachThread();
    ResetLogStateForTests();
  }
  twtest::TempRoot root_;
};

TEST_F(WritePortTest, SameOperationsWhateverTheBlockSize) {
  auto stream = TwoPageStream();
  for (size_t block : {size_t{1}, size_t{7}, size_t{16}, size_t{4096}, stream.size()}) {
    twtest::LeakGuard leaks;
    {
      RecordingJob job;
      tw::core::ClearCommandHeader();
      for (BOOL r : Feed(job, stream, block)) EXPECT_TRUE(r) << "block " << block;
      EXPECT_EQ(job.ops, kTwoPageOps) << "block " << block;
      EXPECT_EQ(job.lastPage, Bytes(333, 2));
    }
  }
}

TEST_F(WritePortTest, PageBytesArriveUnchangedAcrossBlocks) {
  StreamWriter s;
  auto page = Bytes(70000, 9);
  s.EndPage(page);
  auto bytes = s.Bytes();
  RecordingJob job;
  Start(job);
  Feed(job, bytes, 4093);
  ASSERT_EQ(job.ops, std::vector<std::string>{"EndPage(70000)"});
  EXPECT_EQ(job.lastPage, page);
}

TEST_F(WritePortTest, BlockEndingAfterHeaderLeavesCommandWaiting) {
  StreamWriter s;
  s.EndPage(Bytes(10, 3));
  auto bytes = s.Bytes();
  RecordingJob job;
  Start(job);
  DWORD consumed = 0;
  EXPECT_TRUE(job.WritePort(bytes.data(), 16, &consumed));
  EXPECT_EQ(consumed, 16u);
  EXPECT_TRUE(job.ops.empty());
  EXPECT_TRUE(job.WritePort(bytes.data() + 16, 10, &consumed));
  EXPECT_EQ(consumed, 10u);
  EXPECT_EQ(job.ops, std::vector<std::string>{"EndPage(10)"});
}

TEST_F(WritePortTest, PartialHeaderIsNotCountedAsConsumed) {
  StreamWriter s;
  s.EndDoc();
  auto bytes = s.Bytes();
  RecordingJob job;
  Start(job);
  DWORD consumed = 99;
  EXPECT_TRUE(job.WritePort(bytes.data(), 5, &consumed));
  EXPECT_EQ(consumed, 0u);
  EXPECT_TRUE(job.WritePort(bytes.data() + 5, 11, &consumed));
  EXPECT_EQ(consumed, 11u);
  EXPECT_EQ(job.ops, std::vector<std::string>{"EndDoc"});
}

TEST_F(WritePortTest, InvalidHeaderDropsRestOfBlockOnly) {
  // A header with one flag bit wrong, a size of 24, codes 0 and 7.
  for (int variant = 0; variant < 4; ++variant) {
    PORT_COMMAND bad{TARNWICK_CMD_FLAG, 16, PORT_CMD_END_DOC, 0};
    if (variant == 0) bad.dwFlag ^= 0x80000000u;
    if (variant == 1) bad.dwCommandSize = 24;
    if (variant == 2) bad.dwCommandType = 0;
    if (variant == 3) bad.dwCommandType = 7;
    StreamWriter good;
    good.EndDoc();
    auto tail = good.Bytes();
    std::vector<BYTE> block(reinterpret_cast<BYTE*>(&bad), reinterpret_cast<BYTE*>(&bad) + 16);
    block.insert(block.end(), tail.begin(), tail.end());  // dropped with the bad header
    RecordingJob job;
    Start(job);
    DWORD consumed = 0;
    EXPECT_TRUE(job.WritePort(block.data(), static_cast<DWORD>(block.size()), &consumed));
    EXPECT_EQ(consumed, block.size());
    EXPECT_TRUE(job.ops.empty()) << variant;
    // The next block starts with a new header.
    EXPECT_TRUE(job.WritePort(tail.data(), static_cast<DWORD>(tail.size()), &consumed));
    EXPECT_EQ(job.ops, std::vector<std::string>{"EndDoc"}) << variant;
  }
}

TEST_F(WritePortTest, DevModeMustBe6879Bytes) {
  twtest::EnableCaptureLog(TWLOG_ERROR);
  for (size_t size : {size_t{6878}, size_t{6880}, size_t{0}}) {
    StreamWriter s;
    s.Command(PORT_CMD_START_DOC, std::vector<BYTE>(size, 0));
    s.Command(PORT_CMD_START_PAGE, std::vector<BYTE>(size, 0));
    auto bytes = s.Bytes();
    RecordingJob job;
    auto results = Feed(job, bytes, bytes.size() / 2 + 1);
    EXPECT_FALSE(results.back()) << size;
    EXPECT_TRUE(job.ops.empty()) << size;
  }
  StreamWriter s;
  s.StartDoc(Record());
  auto bytes = s.Bytes();
  RecordingJob job;
  DWORD consumed = 0;
  EXPECT_TRUE(job.WritePort(bytes.data(), static_cast<DWORD>(bytes.size()), &consumed));
  EXPECT_EQ(job.ops, (std::vector<std::string>{"SetDevMode(doc)", "StartDoc"}));
  EXPECT_EQ(std::memcmp(&job.DevMode(), bytes.data() + 16, 6879), 0);
  // Each refusal leaves its reason in the capture log.
  std::string log = twtest::ReadCaptureLog();
  EXPECT_NE(log.find("PORT_CMD_START_DOC: INVALID DEVMODE SIZE 6878 (a DEVMODE has 6879 bytes)"), std::string::npos)
      << log;
  EXPECT_NE(log.find("PORT_CMD_START_DOC: INVALID DEVMODE SIZE 0 (a DEVMODE has 6879 bytes)"), std::string::npos)
      << log;
  EXPECT_NE(log.find("PORT_CMD_START_DOC: payload of 6880 bytes dropped"), std::string::npos) << log;
}

TEST_F(WritePortTest, AFailedCommandEndsTheDocumentEvenWhenMoreFollowsInItsBlock) {
  // The last page fails in the block that also carries END_DOC: the document
  // must not end as finished. Once as a page without payload, once as a page
  // the job refuses.
  for (bool refusedByJob : {false, true}) {
    StreamWriter s;
    s.StartDoc(Record());
    s.StartPage(Record());
    if (refusedByJob) s.EndPage(Bytes(100, 5));
    else s.Command(PORT_CMD_END_PAGE, {});
    s.EndDoc();
    auto bytes = s.Bytes();
    RecordingJob job;
    job.endPageResult = !refusedByJob;
    DWORD consumed = 0;
    EXPECT_FALSE(WriteAll(job, bytes, &consumed));
    EXPECT_EQ(consumed, bytes.size()) << "the rest of the block is taken";
    std::vector<std::string> expected = {"SetDevMode(doc)", "StartDoc", "SetDevMode(page)", "StartPage"};
    if (refusedByJob) expected.push_back("EndPage(100)");
    EXPECT_EQ(job.ops, expected);
    EXPECT_TRUE(job.Document().Failed());
    // Every later command fails without running, END_DOC included.
    StreamWriter later;
    later.EndDoc();
    EXPECT_FALSE(WriteAll(job, later.Bytes(), &consumed));
    EXPECT_EQ(consumed, later.Bytes().size());
    EXPECT_EQ(job.ops, expected);
  }
}

TEST_F(WritePortTest, CommandsOutOfOrderAreRefusedBeforeTheyReachTheJob) {
  twtest::EnableCaptureLog(TWLOG_ERROR);
  // A page before START_DOC: not even its record is taken.
  {
    StreamWriter s;
    s.StartPage(Record());
    RecordingJob job;
    EXPECT_FALSE(WriteAll(job, s.Bytes()));
    EXPECT_TRUE(job.ops.empty());
  }
  // A second START_DOC.
  {
    StreamWriter s;
    s.StartDoc(Record());
    s.StartDoc(Record());
    RecordingJob job;
    EXPECT_FALSE(WriteAll(job, s.Bytes()));
    EXPECT_EQ(job.ops, (std::vector<std::string>{"SetDevMode(doc)", "StartDoc"}));
  }
  // Text, a page and END_DOC after END_DOC: refused, and the ended document stays ended.
  {
    StreamWriter s;
    s.StartDoc(Record());
    s.EndDoc();
    RecordingJob job;
    EXPECT_TRUE(WriteAll(job, s.Bytes()));
    EXPECT_TRUE(job.Document().Ended());
    StreamWriter after;
    after.TextOut(1, 2, u"late");
    EXPECT_FALSE(WriteAll(job, after.Bytes()));
    StreamWriter end;
    end.EndDoc();
    EXPECT_FALSE(WriteAll(job, end.Bytes()));
    EXPECT_EQ(job.ops, (std::vector<std::string>{"SetDevMode(doc)", "StartDoc", "EndDoc"}));
    EXPECT_TRUE(job.Document().Ended());
  }
  std::string log = twtest::ReadCaptureLog();
  EXPECT_NE(log.find("[ERROR]   "), std::string::npos) << log;
  EXPECT_NE(log.find("PORT_CMD_START_PAGE out of order (document created): not run"), std::string::npos) << log;
  EXPECT_NE(log.find("PORT_CMD_START_DOC out of order (document started): not run"), std::string::npos) << log;
  EXPECT_NE(log.find("PORT_CMD_WRITE_TEXT_OUT out of order (document ended): not run"), std::string::npos) << log;
  EXPECT_NE(log.find("PORT_CMD_END_DOC out of order (document ended): not run"), std::string::npos) << log;
  EXPECT_NE(log.find("Job 0: PORT_CMD_START_DOC failed; the rest of the document is not run"), std::string::npos)
      << log;
}

TEST_F(WritePortTest, TextWithoutTerminatorUsesWholePayload) {
  StreamWriter s;
  std::vector<BYTE> payload(8 + 6, 0);
  LONG x = -5, y = 7;
  std::memcpy(payload.data(), &x, 4);
  std::memcpy(payload.data() + 4, &y, 4);
  std::memcpy(payload.data() + 8, u"abc", 6);  // no terminator
  s.Command(PORT_CMD_WRITE_TEXT_OUT, payload);
  s.Command(PORT_CMD_WRITE_TEXT_OUT, std::vector<BYTE>(5, 1));  // too short for the coordinates
  auto bytes = s.Bytes();
  RecordingJob job;
  Start(job);
  auto results = Feed(job, bytes, 23);
  EXPECT_EQ(job.ops, std::vector<std::string>{"Text(-5,7,abc)"});
  EXPECT_FALSE(results.back());
}

TEST_F(WritePortTest, OversizedPayloadIsDroppedAndFailsTheJob) {
  twtest::LeakGuard leaks;
  {
    PORT_COMMAND huge{TARNWICK_CMD_FLAG, 16, PORT_CMD_END_PAGE, 0xFFFFFFF0u};
    std::vector<BYTE> block(reinterpret_cast<BYTE*>(&huge), reinterpret_cast<BYTE*>(&huge) + 16);
    block.resize(block.size() + 4096, 0x55);
    RecordingJob job;
    DWORD consumed = 0;
    EXPECT_FALSE(job.WritePort(block.data(), static_cast<DWORD>(block.size()), &consumed));
    EXPECT_EQ(consumed, block.size());
    EXPECT_TRUE(job.ops.empty());
    // A DEVMODE command announcing more than a record is not stored either.
    RecordingJob other;
    PORT_COMMAND big{TARNWICK_CMD_FLAG, 16, PORT_CMD_START_DOC, 100000};
    std::vector<BYTE> b2(reinterpret_cast<BYTE*>(&big), reinterpret_cast<BYTE*>(&big) + 16);
    b2.resize(16 + 100000, 0);
    EXPECT_FALSE(other.WritePort(b2.data(), static_cast<DWORD>(b2.size()), &consumed));
    EXPECT_TRUE(other.ops.empty());
  }
}

TEST_F(WritePortTest, UnfinishedCommandIsFreedWithTheJob) {
  twtest::LeakGuard leaks;
  {
    StreamWriter s;
    s.EndPage(Bytes(5000, 4));
    auto bytes = s.Bytes();
    RecordingJob job;
    DWORD consumed = 0;
    EXPECT_TRUE(job.WritePort(bytes.data(), 3000, &consumed));
    EXPECT_TRUE(job.ops.empty());
  }
}

TEST_F(WritePortTest, RandomBytesNeverCrash) {
  twtest::LeakGuard leaks;
  {
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    auto stream = TwoPageStream();
    for (int round = 0; round < 200; ++round) {
      std::vector<BYTE> bytes = stream;
      for (int flips = 0; flips < 8; ++flips) bytes[next() % bytes.size()] = static_cast<BYTE>(next() >> 16);
      bytes.resize(next() % bytes.size());
      RecordingJob job;
      tw::core::ClearCommandHeader();
      Feed(job, bytes, 1 + next() % 3000);
    }
  }
}

}  // namespace
