#include <windows.h>

#include <fcntl.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "child.h"
#include "tw/kernelsync.h"
#include "tw_test.h"

namespace {

DWORD Err() { return GetLastError(); }
constexpr DWORD kMappedAlignment = 1132;

// The cover-page hand-shake: a filler process in session 2 takes the mutex,
// makes "Local\..._Map" holding a length and a document, signals the create
// event and waits for the done event; the monitor (session 0) opens the map
// by its session name, reads it with the size checks, and hands the turn back
// with SignalObjectAndWait.
TEST(FileMapping, SharedBetweenProcessesAcrossSessionsWithSizeChecks) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  HANDLE create = CreateEventW(nullptr, TRUE, FALSE, u"Global\\B_7_CreateEvent");
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, u"Global\\B_7_DoneEvent");
  HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Global\\B_7_Mutex");
  ASSERT_TRUE(create && done && mutex);
  Child filler(
      [](const Child::Channel&) {
        HANDLE c = OpenEventW(EVENT_MODIFY_STATE, FALSE, u"Global\\B_7_CreateEvent");
        HANDLE d = OpenEventW(SYNCHRONIZE, FALSE, u"Global\\B_7_DoneEvent");
        HANDLE m = OpenMutexW(SYNCHRONIZE, FALSE, u"Global\\B_7_Mutex");
        if (!c || !d || !m || WaitForSingleObject(m, 10000) != WAIT_OBJECT_0) return 1;
        const char document[] = "%PDF-cover";
        const ULONGLONG length = sizeof document;
        HANDLE map = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        static_cast<DWORD>(length + 8), u"Local\\B_7_Map");
        if (!map) return 2;
        auto* view = static_cast<char*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, 0));
        if (!view) return 3;
        std::memcpy(view, &length, 8);
        std::memcpy(view + 8, document, length);
        SetEvent(c);
        if (WaitForSingleObject(d, 20000) != WAIT_OBJECT_0) return 4;
        // The monitor read everything before it signalled done.
        UnmapViewOfFile(view);
        CloseHandle(map);
        ReleaseMutex(m);
        return 0;
      },
      "TW_SESSION_ID=2");

  ASSERT_EQ(WaitForSingleObject(create, 20000), WAIT_OBJECT_0);
  HANDLE map = OpenFileMappingW(FILE_MAP_READ, FALSE, u"Session\\2\\B_7_Map");
  ASSERT_NE(map, nullptr);
  auto* head = static_cast<const ULONGLONG*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 8));
  ASSERT_NE(head, nullptr);
  const ULONGLONG length = *head;
  EXPECT_EQ(length, 11u);
  auto* whole = static_cast<const char*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, length + 8));
  ASSERT_NE(whole, nullptr);
  EXPECT_STREQ(whole + 8, "%PDF-cover");
  EXPECT_EQ(MapViewOfFile(map, FILE_MAP_READ, 0, 0, length + 9), nullptr) << "larger than the mapping";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 8), nullptr) << "opened for reading only";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(UnmapViewOfFile(head));
  EXPECT_TRUE(UnmapViewOfFile(whole));
  CloseHandle(map);

  EXPECT_EQ(SignalObjectAndWait(done, mutex, 20000, FALSE), WAIT_OBJECT_0);
  EXPECT_TRUE(ReleaseMutex(mutex));
  EXPECT_EQ(filler.Join(), 0);
  EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"Session\\2\\B_7_Map"), nullptr) << "gone with the filler";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  for (HANDLE h : {create, done, mutex}) CloseHandle(h);
  EXPECT_EQ(tw::sync::LiveViewCount(), 0u);
}

TEST(FileMapping, OffsetsSizesAndExistingMappings) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  const DWORD size = 3 * 65536 + 100;
  HANDLE map = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, u"Global\\Offsets");
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(Err(), 0u);
  auto* all = static_cast<unsigned char*>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(all, nullptr);
  for (DWORD i = 0; i < size; ++i) all[i] = static_cast<unsigned char>(i / 65536 + 1);

  HANDLE same = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 2 * size, u"Global\\Offsets");
  ASSERT_NE(same, nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(MapViewOfFile(same, FILE_MAP_READ, 0, 0, size + 1), nullptr) << "the existing size stays";
  auto* tail = static_cast<unsigned char*>(MapViewOfFile(same, FILE_MAP_READ, 0, 3 * 65536, 0));
  ASSERT_NE(tail, nullptr) << "size 0 maps to the end";
  EXPECT_EQ(tail[0], 4);
  EXPECT_EQ(tail[99], 4);
  EXPECT_EQ(MapViewOfFile(same, FILE_MAP_READ, 0, 4096, 10), nullptr);
  EXPECT_EQ(Err(), kMappedAlignment);
  EXPECT_EQ(MapViewOfFile(same, FILE_MAP_READ, 0, 4 * 65536, 0), nullptr) << "offset past the end";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(MapViewOfFile(same, FILE_MAP_READ, 1, 0, 0), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  all[3 * 65536 + 5] = 0xEE;
  EXPECT_EQ(tail[5], 0xEE) << "views share the memory";

  // A copy-on-write view keeps its changes to itself.
  auto* copy = static_cast<unsigned char*>(MapViewOfFile(same, FILE_MAP_COPY, 0, 0, 16));
  ASSERT_NE(copy, nullptr);
  copy[0] = 0x55;
  EXPECT_EQ(all[0], 1);

  // A view keeps a named mapping alive after its handles are closed.
  CloseHandle(map);
  CloseHandle(same);
  HANDLE reopened = OpenFileMappingW(FILE_MAP_READ, FALSE, u"Global\\Offsets");
  ASSERT_NE(reopened, nullptr);
  CloseHandle(reopened);
  EXPECT_TRUE(UnmapViewOfFile(all + 100)) << "any address inside the view";
  EXPECT_TRUE(UnmapViewOfFile(tail));
  EXPECT_TRUE(UnmapViewOfFile(copy));
  EXPECT_FALSE(UnmapViewOfFile(all));
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_ADDRESS));
  EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, u"Global\\Offsets"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(std::filesystem::is_empty(root.Dir() / "run" / "sections")) << "backing removed with the object";
  EXPECT_EQ(tw::sync::LiveViewCount(), 0u);
}

TEST(FileMapping, BadArgumentsAndProtection) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_NOACCESS, 0, 10, nullptr), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  HANDLE readOnly = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READONLY | SEC_COMMIT, 0, 10, nullptr);
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(MapViewOfFile(readOnly, FILE_MAP_ALL_ACCESS, 0, 0, 0), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  void* view = MapViewOfFile(readOnly, FILE_MAP_READ, 0, 0, 0);
  EXPECT_NE(view, nullptr);
  EXPECT_EQ(MapViewOfFile(readOnly, 0, 0, 0, 0), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  UnmapViewOfFile(view);
  CloseHandle(readOnly);
  EXPECT_EQ(CreateFileMappingW(reinterpret_cast<HANDLE>(0x7770), nullptr, PAGE_READWRITE, 0, 10, nullptr), nullptr)
      << "no such file handle";
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, u"Global\\NotAMap");
  EXPECT_EQ(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 10, u"Global\\NotAMap"), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_EQ(MapViewOfFile(event, FILE_MAP_READ, 0, 0, 0), nullptr);
  EXPECT_EQ(Err(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(event);
}

// The file API hands file descriptors over through the resolver.
std::filesystem::path g_file;
int ResolveTestFile(HANDLE file, bool* writable) {
  if (file != reinterpret_cast<HANDLE>(0x7770)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return -1;
  }
  *writable = true;
  return open(g_file.c_str(), O_RDWR | O_CLOEXEC);
}

TEST(FileMapping, MapsAFileHandle) {
  twtest::TempRoot root;
  twtest::LeakGuard guard;
  g_file = root.Dir() / "data.bin";
  std::ofstream(g_file) << "hello file";
  tw::sync::SetFileDescriptorResolver(&ResolveTestFile);
  HANDLE file = reinterpret_cast<HANDLE>(0x7770);
  HANDLE map = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 0, nullptr);
  ASSERT_NE(map, nullptr);
  auto* view = static_cast<char*>(MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, 0));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(std::string(view, 10), "hello file");
  EXPECT_EQ(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 11), nullptr) << "size 0 is the file's size";
  view[0] = 'J';
  UnmapViewOfFile(view);
  CloseHandle(map);
  std::string content;
  std::getline(std::ifstream(g_file), content);
  EXPECT_EQ(content, "Jello file");

  // A named mapping larger than the file grows it; other handles open it by name.
  HANDLE named = CreateFileMappingW(file, nullptr, PAGE_READWRITE, 0, 100, u"Global\\FileMap");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(std::filesystem::file_size(g_file), 100u);
  HANDLE opened = OpenFileMappingW(FILE_MAP_READ, FALSE, u"Global\\FileMap");
  ASSERT_NE(opened, nullptr);
  auto* read = static_cast<const char*>(MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 100));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read[0], 'J');
  UnmapViewOfFile(read);
  CloseHandle(opened);
  CloseHandle(named);
  EXPECT_TRUE(std::filesystem::exists(g_file)) << "a mapped file is not removed with the mapping";
  tw::sync::SetFileDescriptorResolver(nullptr);
}

}  // namespace
