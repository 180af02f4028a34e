// The entries of the Application log as a test reads them back: type, id,
// source and insertion strings of each record, oldest first.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

namespace twtest {

struct EventEntry {
  DWORD record = 0;
  WORD type = 0;
  DWORD id = 0;
  std::u16string source;
  std::vector<std::u16string> strings;
};

// Every entry; empty when the log cannot be opened.
inline std::vector<EventEntry> ReadEventEntries() {
  std::vector<EventEntry> out;
  HANDLE h = OpenEventLogW(nullptr, u"Application");
  if (!h) return out;
  std::vector<BYTE> buffer(65536);
  DWORD read = 0, needed = 0;
  while (ReadEventLogW(h, EVENTLOG_SEQUENTIAL_READ | EVENTLOG_FORWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
    for (DWORD at = 0; at < read;) {
      EVENTLOGRECORD r;
      std::memcpy(&r, buffer.data() + at, sizeof r);
      EventEntry e;
      e.record = r.RecordNumber;
      e.type = r.EventType;
      e.id = r.EventID;
      e.source = reinterpret_cast<const char16_t*>(buffer.data() + at + sizeof r);
      const auto* s = reinterpret_cast<const char16_t*>(buffer.data() + at + r.StringOffset);
      for (WORD i = 0; i < r.NumStrings; ++i) {
        e.strings.emplace_back(s);
        s += e.strings.back().size() + 1;
      }
      out.push_back(e);
      at += r.Length;
    }
  }
  CloseEventLog(h);
  return out;
}

}  // namespace twtest
