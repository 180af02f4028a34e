// `twspool events`: reads an event log and renders each entry's text from
// its source's message file.
#include "tools/twspool/events_command.h"

#include <windows.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "tw/eventlog_internal.h"
#include "tw/root.h"
#include "tw/utf.h"

namespace {

constexpr char16_t kEventLogKey[] = u"SYSTEM\\CurrentControlSet\\Services\\EventLog\\";
constexpr int kMaxInserts = 99;

struct Options {
  std::u16string log = u"Application";
  std::optional<std::u16string> source;
  std::optional<WORD> type;
  size_t last = 0;  // 0: all
  bool json = false;
};

struct Event {
  DWORD record = 0, timeGenerated = 0, timeWritten = 0, id = 0;
  WORD type = 0, category = 0;
  std::u16string source, computer, user;
  std::vector<std::u16string> strings;
  std::vector<BYTE> data;
  std::optional<std::u16string> message;
};

bool equalsNoCase(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// Parses the words; an error text when they are wrong.
std::optional<std::string> parse(const std::vector<std::u16string>& args, Options& o) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    auto value = [&](std::u16string& v) -> bool {
      if (i + 1 >= args.size()) return false;
      v = args[++i];
      return true;
    };
    std::u16string v;
    if (a == u"--json") {
      o.json = true;
    } else if (a == u"--source") {
      if (!value(v) || v.empty()) return "--source needs a source name";
      o.source = v;
    } else if (a == u"--log") {
      if (!value(v) || v.empty()) return "--log needs a log name";
      o.log = v;
    } else if (a == u"--type") {
      if (!value(v)) return "--type needs error, warning or information";
      if (equalsNoCase(v, u"error"))
        o.type = EVENTLOG_ERROR_TYPE;
      else if (equalsNoCase(v, u"warning"))
        o.type = EVENTLOG_WARNING_TYPE;
      else if (equalsNoCase(v, u"information"))
        o.type = EVENTLOG_INFORMATION_TYPE;
      else
        return "--type must be error, warning or information, not '" + tw::ToUtf8(v) + "'";
    } else if (a == u"--last") {
      if (!value(v)) return "--last needs a number";
      const std::string n = tw::ToUtf8(v);
      size_t count = 0;
      auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), count);
      if (ec != std::errc() || end != n.data() + n.size() || count == 0)
        return "--last needs a positive number, not '" + n + "'";
      o.last = count;
    } else {
      return "unknown argument '" + tw::ToUtf8(a) + "'";
    }
  }
  return std::nullopt;
}

Event decode(const BYTE* p) {
  EVENTLOGRECORD r;
  std::memcpy(&r, p, sizeof r);
  Event e;
  e.record = r.RecordNumber;
  e.timeGenerated = r.TimeGenerated;
  e.timeWritten = r.TimeWritten;
  e.id = r.EventID;
  e.type = r.EventType;
  e.category = r.EventCategory;
  const auto* names = reinterpret_cast<const char16_t*>(p + sizeof r);
  e.source = names;
  e.computer = names + e.source.size() + 1;
  const auto* s = reinterpret_cast<const char16_t*>(p + r.StringOffset);
  for (WORD i = 0; i < r.NumStrings; ++i) {
    e.strings.emplace_back(s);
    s += e.strings.back().size() + 1;
  }
  if (r.UserSidLength) {
    std::vector<BYTE> sid(p + r.UserSidOffset, p + r.UserSidOffset + r.UserSidLength);
    LPWSTR text = nullptr;
    if (ConvertSidToStringSidW(sid.data(), &text)) {
      e.user = text;
      LocalFree(text);
    }
  }
  e.data.assign(p + r.DataOffset, p + r.DataOffset + r.DataLength);
  return e;
}

struct LogCloser {
  void operator()(HANDLE h) const { CloseEventLog(h); }
};
struct ModuleFreer {
  void operator()(HMODULE h) const { FreeLibrary(h); }
};
using ModulePtr = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

// The message files of each source, loaded for their resources once.
class MessageFiles {
 public:
  explicit MessageFiles(std::u16string log) : m_log(std::move(log)) {}

  std::optional<std::u16string> Render(const Event& e) {
    auto& modules = Modules(e.source);
    // Every insert the text may name gets an argument ("" when the entry has
    // fewer strings), so a text never reads past them.
    std::vector<std::u16string> padded = e.strings;
    padded.resize(std::max<size_t>(padded.size(), kMaxInserts));
    std::vector<DWORD_PTR> args;
    for (const auto& s : padded) args.push_back(reinterpret_cast<DWORD_PTR>(s.c_str()));
    for (const auto& module : modules) {
      LPWSTR text = nullptr;
      DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                   FORMAT_MESSAGE_ALLOCATE_BUFFER,
                               module.get(), e.id, 0, reinterpret_cast<LPWSTR>(&text), 0,
                               reinterpret_cast<va_list*>(args.data()));
      if (n) {
        std::u16string out(text, n);
        LocalFree(text);
        return out;
      }
    }
    return std::nullopt;
  }

 private:
  std::vector<ModulePtr>& Modules(const std::u16string& source) {
    for (auto& [name, modules] : m_cache)
      if (equalsNoCase(name, source)) return modules;
    auto& modules = m_cache[source];
    const std::u16string key = std::u16string(kEventLogKey) + m_log + u"\\" + source;
    WCHAR value[2048];
    DWORD bytes = sizeof value - sizeof(WCHAR);
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), u"EventMessageFile", flags, nullptr, value, &bytes) !=
        ERROR_SUCCESS)
      return modules;
    WCHAR expanded[2048];
    if (!ExpandEnvironmentStringsW(value, expanded, 2048)) return modules;
    // Several files are separated by semicolons.
    std::u16string_view rest = expanded;
    while (!rest.empty()) {
      size_t cut = rest.find(u';');
      std::u16string file(rest.substr(0, cut));
      rest = cut == std::u16string_view::npos ? std::u16string_view{} : rest.substr(cut + 1);
      if (file.empty()) continue;
      if (HMODULE h = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) modules.emplace_back(h);
    }
    return modules;
  }

  std::u16string m_log;
  std::map<std::u16string, std::vector<ModulePtr>> m_cache;
};

const char* typeName(WORD type) {
  switch (type) {
    case EVENTLOG_ERROR_TYPE: return "Error";
    case EVENTLOG_WARNING_TYPE: return "Warning";
    case EVENTLOG_INFORMATION_TYPE: return "Information";
    case EVENTLOG_AUDIT_SUCCESS: return "Audit Success";
    case EVENTLOG_AUDIT_FAILURE: return "Audit Failure";
    default: return "Success";
  }
}

// Windows' words for an entry whose text cannot be found.
std::u16string missingText(const Event& e) {
  std::u16string text = u"The description for Event ID " + tw::FromUtf8(std::to_string(e.id)) + u" from source " +
                        e.source + u" cannot be found.";
  if (!e.strings.empty()) {
    text += u" The following information was included with the event:\r\n";
    for (const auto& s : e.strings) text += u"\r\n" + s;
  }
  return text;
}

SYSTEMTIME toSystemTime(DWORD seconds, bool local) {
  ULONGLONG ticks = (static_cast<ULONGLONG>(seconds) + 11644473600ULL) * 10000000ULL;
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  FILETIME lt = ft;
  if (local) FileTimeToLocalFileTime(&ft, &lt);
  SYSTEMTIME st{};
  FileTimeToSystemTime(&lt, &st);
  return st;
}

std::string isoTime(DWORD seconds) {
  SYSTEMTIME st = toSystemTime(seconds, false);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond);
  return buffer;
}

std::string localTime(DWORD seconds) {
  SYSTEMTIME st = toSystemTime(seconds, true);
  WCHAR date[256] = {}, time[256] = {};
  GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 256);
  GetTimeFormatW(LOCALE_SYSTEM_DEFAULT, 0, &st, nullptr, time, 256);
  return tw::ToUtf8(date) + " " + tw::ToUtf8(time);
}

// CR LF as the viewer shows it: plain line feeds.
std::string plainLines(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) out += text[i];
  while (!out.empty() && (out.back() == u'\n' || out.back() == u'\r')) out.pop_back();
  return tw::ToUtf8(out);
}

void printText(std::ostream& out, const std::vector<Event>& events) {
  if (events.empty()) {
    out << "No events.\n";
    return;
  }
  bool first = true;
  for (const auto& e : events) {
    if (!first) out << "\n";
    first = false;
    out << "Record " << e.record << "  " << localTime(e.timeGenerated) << "  " << typeName(e.type)
        << "  Source: " << tw::ToUtf8(e.source) << "  Event ID: " << e.id << "\n";
    out << "Computer: " << tw::ToUtf8(e.computer);
    if (!e.user.empty()) out << "  User: " << tw::ToUtf8(e.user);
    out << "\n" << plainLines(e.message ? *e.message : missingText(e)) << "\n";
  }
}

void printJson(std::ostream& out, const std::vector<Event>& events) {
  nlohmann::json array = nlohmann::json::array();
  for (const auto& e : events) {
    nlohmann::json strings = nlohmann::json::array();
    for (const auto& s : e.strings) strings.push_back(tw::ToUtf8(s));
    std::string hex;
    static const char digits[] = "0123456789abcdef";
    for (BYTE b : e.data) {
      hex += digits[b >> 4];
      hex += digits[b & 15];
    }
    array.push_back({{"record", e.record},
                     {"time_generated", isoTime(e.timeGenerated)},
                     {"time_written", isoTime(e.timeWritten)},
                     {"type", typeName(e.type)},
                     {"source", tw::ToUtf8(e.source)},
                     {"event_id", e.id},
                     {"category", e.category},
                     {"computer", tw::ToUtf8(e.computer)},
                     {"user", e.user.empty() ? nlohmann::json(nullptr) : nlohmann::json(tw::ToUtf8(e.user))},
                     {"strings", strings},
                     {"data", hex},
                     {"message", e.message ? nlohmann::json(tw::ToUtf8(*e.message)) : nlohmann::json(nullptr)}});
  }
  out << array.dump(2) << "\n";
}

}  // namespace

int RunEventsCommand(const std::vector<std::u16string>& args, const std::filesystem::path& root, std::ostream& out,
                     std::ostream& err) {
  Options options;
  if (auto problem = parse(args, options)) {
    err << "twspool events: " << *problem << "\n"
        << "usage: twspool events [--log NAME] [--source NAME] [--type error|warning|information] [--last N] "
           "[--json]\n";
    return 2;
  }
  if (!root.empty() && root != tw::root::Dir()) tw::root::SetDir(root);

  std::unique_ptr<std::remove_pointer_t<HANDLE>, LogCloser> log(OpenEventLogW(nullptr, options.log.c_str()));
  if (!log) {
    const std::string why = tw::eventlog::LastProblem();
    err << "twspool events: cannot open the event log: "
        << (why.empty() ? "error " + std::to_string(GetLastError()) : why) << "\n";
    return 1;
  }
  // Newest first, so that --last stops early; printed oldest first.
  std::vector<Event> events;
  std::vector<BYTE> buffer(64 * 1024);
  bool done = false;
  while (!done) {
    DWORD read = 0, needed = 0;
    if (!ReadEventLogW(log.get(), EVENTLOG_SEQUENTIAL_READ | EVENTLOG_BACKWARDS_READ, 0, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &read, &needed)) {
      DWORD error = GetLastError();
      if (error == ERROR_INSUFFICIENT_BUFFER) {
        buffer.resize(needed);
        continue;
      }
      if (error == ERROR_HANDLE_EOF) break;
      err << "twspool events: reading the event log failed, error " << error << "\n";
      return 1;
    }
    for (DWORD at = 0; at < read && !done;) {
      Event e = decode(buffer.data() + at);
      at += reinterpret_cast<const EVENTLOGRECORD*>(buffer.data() + at)->Length;
      if (options.source && !equalsNoCase(e.source, *options.source)) continue;
      if (options.type && e.type != *options.type) continue;
      events.push_back(std::move(e));
      if (options.last && events.size() >= options.last) done = true;
    }
  }
  std::reverse(events.begin(), events.end());
  MessageFiles files(options.log);
  for (auto& e : events) e.message = files.Render(e);
  if (options.json)
    printJson(out, events);
  else
    printText(out, events);
  return 0;
}

int RunEventsCommand(const std::vector<std::u16string>& args, const std::filesystem::path& root) {
  return RunEventsCommand(args, root, std::cout, std::cerr);
}
