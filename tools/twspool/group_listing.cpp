// The pages a group file lists, read a block at a time.
#include "group_listing.h"

#include <map>

#include "tw/utf.h"

namespace twspool {

void ForEachGroupFileLine(HANDLE file, const std::function<void(std::u16string_view)>& line) {
  std::string bytes;  // read, not yet decoded
  std::u16string text;  // decoded, not yet split
  bool wide = false, started = false;
  auto split = [&](bool last) {
    size_t start = 0;
    for (;;) {
      size_t end = text.find_first_of(u"\r\n", start);
      if (end == std::u16string::npos) break;
      line(std::u16string_view(text).substr(start, end - start));
      start = end + 1;
    }
    if (last && start < text.size()) line(std::u16string_view(text).substr(start));
    text.erase(0, last ? text.size() : start);
  };
  char buffer[65536];
  for (DWORD got = 0;;) {
    const bool more = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got;
    if (more) bytes.append(buffer, got);
    if (!started && (bytes.size() >= 2 || !more)) {
      started = true;
      wide = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
             static_cast<unsigned char>(bytes[1]) == 0xFE;
      if (wide) bytes.erase(0, 2);
    }
    // Whole code units; in the ANSI code page up to the last line end read,
    // so that no double-byte character is cut.
    size_t take = bytes.size();
    if (wide) {
      take -= take % 2;
    } else if (more) {
      take = bytes.rfind('\n');
      take = take == std::string::npos ? 0 : take + 1;
    }
    if (wide) {
      for (size_t i = 0; i + 1 < take; i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    } else if (take) {
      const size_t at = text.size();
      text.resize(at + take);
      int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(take), text.data() + at,
                                  static_cast<int>(take));
      text.resize(at + (n > 0 ? static_cast<size_t>(n) : 0));
    }
    bytes.erase(0, take);
    split(!more);
    if (!more) return;
  }
}

GroupFilePages ReadGroupFilePages(const std::u16string& groupFile, std::u16string_view printerName) {
  GroupFilePages files;
  if (groupFile.empty()) return files;
  HANDLE file = CreateFileW(groupFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return files;
  auto trim = [](std::u16string_view v) {
    while (!v.empty() && (v.front() == u' ' || (v.front() >= u'\t' && v.front() <= u'\r'))) v.remove_prefix(1);
    while (!v.empty() && (v.back() == u' ' || (v.back() >= u'\t' && v.back() <= u'\r'))) v.remove_suffix(1);
    return v;
  };
  auto upper = [](std::u16string_view v) {
    std::u16string u(v);
    for (auto& c : u) c = c >= u'a' && c <= u'z' ? c - 32 : c;
    return u;
  };
  auto unquote = [](std::u16string_view v) {
    if (v.size() >= 2 && (v[0] == u'"' || v[0] == u'\'') && v.back() == v[0]) v = v.substr(1, v.size() - 2);
    return std::u16string(v);
  };
  // The page of a section named as the job names it ("PAGE " and the number
  // without leading zeros, upper-cased); 0 for any other section.
  auto pageOf = [](std::u16string_view name) -> unsigned long {
    constexpr std::u16string_view prefix = u"PAGE ";
    if (!name.starts_with(prefix)) return 0;
    name.remove_prefix(prefix.size());
    if (name.empty() || name.size() > 18 || name[0] == u'0') return 0;
    unsigned long page = 0;
    for (char16_t c : name) {
      if (c < u'0' || c > u'9') return 0;
      page = page * 10 + static_cast<unsigned long>(c - u'0');
    }
    return page;
  };
  // Only what the listing needs is kept: the printer's page count and each
  // page's file name.
  constexpr uint32_t kNoName = UINT32_MAX;
  const std::u16string printer = upper(trim(printerName));
  std::u16string total;
  bool printerSeen = false;
  std::map<unsigned long, uint32_t> pageFiles;  // the pages whose sections the file holds
  std::map<std::u16string, uint32_t, std::less<>> nameIds;
  enum class In { Other, Printer, Page } in = In::Other;
  bool keySeen = false;  // the section's key of interest was met (the first of a name counts)
  uint32_t* current = nullptr;
  ForEachGroupFileLine(file, [&](std::u16string_view line) {
    line = trim(line);
    if (line.empty() || line[0] == u';') return;
    if (size_t close; line[0] == u'[' && (close = line.rfind(u']')) != std::u16string_view::npos) {
      // The first section of a name counts.
      const std::u16string name = upper(trim(line.substr(1, close - 1)));
      in = In::Other;
      keySeen = false;
      if (name == printer) {
        if (!printerSeen) in = In::Printer;
        printerSeen = true;
      } else if (const unsigned long page = pageOf(name)) {
        auto [at, made] = pageFiles.try_emplace(page, kNoName);
        if (made) in = In::Page, current = &at->second;
      }
      return;
    }
    const size_t eq = line.find(u'=');
    if (in == In::Other || keySeen || eq == std::u16string_view::npos) return;
    const std::u16string key = upper(trim(line.substr(0, eq)));
    if (key != (in == In::Printer ? u"TOTAL NUMBER OF PAGES" : u"FILENAME")) return;
    keySeen = true;
    std::u16string value = unquote(trim(line.substr(eq + 1)));
    if (in == In::Printer) {
      total = std::move(value);
    } else if (!value.empty()) {
      auto [at, made] = nameIds.try_emplace(std::move(value), static_cast<uint32_t>(files.names.size()));
      if (made) files.names.push_back(at->first);
      *current = at->second;
    }
  });
  CloseHandle(file);
  const unsigned long pages = wcstoul(total.c_str(), nullptr, 10);
  for (auto [page, name] : pageFiles)
    if (page <= pages && name != kNoName) files.pages.push_back(name);
  return files;
}

}  // namespace twspool
