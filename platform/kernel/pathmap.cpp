// Windows paths on the machine root.
#include "tw/pathmap.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <vector>

#include "tw/casefold.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "winerror.h"

namespace tw::path {
namespace {

std::mutex g_cwdMutex;
std::u16string g_cwd = u"C:\\Windows\\System32";

bool isSep(char16_t c) { return c == u'\\' || c == u'/'; }
bool isLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }
char16_t upperLetter(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

bool hasDrive(std::u16string_view p) { return p.size() >= 2 && isLetter(p[0]) && p[1] == u':'; }

bool validComponent(std::u16string_view c) {
  for (char16_t ch : c) {
    if (ch < 32) return false;
    switch (ch) {
      case u'<': case u'>': case u':': case u'"': case u'|': case u'?': case u'*':
        return false;
      default:
        break;
    }
  }
  return true;
}

// Splits `rest` into components and applies them to `parts`.
DWORD applyComponents(std::u16string_view rest, std::vector<std::u16string>& parts, bool validate) {
  size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && isSep(rest[i])) ++i;
    size_t start = i;
    while (i < rest.size() && !isSep(rest[i])) ++i;
    std::u16string_view comp = rest.substr(start, i - start);
    if (comp.empty() || comp == u".") continue;
    if (comp == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    // Windows drops trailing dots and blanks of a name.
    size_t end = comp.size();
    while (end > 0 && (comp[end - 1] == u'.' || comp[end - 1] == u' ')) --end;
    comp = comp.substr(0, end);
    if (comp.empty()) continue;
    if (validate && !validComponent(comp)) return ERROR_INVALID_NAME;
    parts.emplace_back(comp);
  }
  return ERROR_SUCCESS;
}

}  // namespace

bool IsUnc(std::u16string_view p) {
  return p.size() >= 2 && isSep(p[0]) && isSep(p[1]) && !(p.size() >= 3 && (p[2] == u'?' || p[2] == u'.') &&
                                                          (p.size() == 3 || isSep(p[3])));
}

bool IsDevice(std::u16string_view p) {
  return p.size() >= 4 && isSep(p[0]) && isSep(p[1]) && p[2] == u'.' && isSep(p[3]);
}

static DWORD fullPath(std::u16string_view input, std::u16string& out, bool validate) {
  std::u16string_view p = input;
  if (p.size() >= 4 && isSep(p[0]) && isSep(p[1]) && p[2] == u'?' && isSep(p[3])) {
    p.remove_prefix(4);
    if (p.size() >= 4 && EqualsNoCase(p.substr(0, 4), u"UNC\\")) return ERROR_BAD_NETPATH;
  }
  if (p.empty()) return ERROR_PATH_NOT_FOUND;
  if (IsUnc(p) || IsDevice(p)) return ERROR_BAD_NETPATH;

  std::u16string linuxForm;
  if (p[0] == u'/' && !(p.size() > 1 && isSep(p[1]))) {
    linuxForm = u"Z:" + std::u16string(p);  // a Linux absolute path lives on Z:
    p = linuxForm;
  }

  char16_t drive;
  std::vector<std::u16string> parts;
  DWORD rc;
  if (hasDrive(p)) {
    drive = upperLetter(p[0]);
    std::u16string_view rest = p.substr(2);
    if (rest.empty() || !isSep(rest[0])) {  // "C:name" is relative to that drive's current folder
      std::u16string cwd = CurrentDirectory();
      if (upperLetter(cwd[0]) == drive && (rc = applyComponents(std::u16string_view(cwd).substr(2), parts, validate)))
        return rc;
    }
    if ((rc = applyComponents(rest, parts, validate))) return rc;
  } else {
    std::u16string cwd = CurrentDirectory();
    drive = upperLetter(cwd[0]);
    if (!isSep(p[0]) && (rc = applyComponents(std::u16string_view(cwd).substr(2), parts, validate))) return rc;
    if ((rc = applyComponents(p, parts, validate))) return rc;
  }

  out.assign(1, drive);
  out += u":\\";
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += u'\\';
    out += parts[i];
  }
  return ERROR_SUCCESS;
}

DWORD FullPath(std::u16string_view windowsPath, std::u16string& out) { return fullPath(windowsPath, out, true); }

DWORD LexicalFullPath(std::u16string_view windowsPath, std::u16string& out) {
  return fullPath(windowsPath, out, false);
}

DWORD ToHost(std::u16string_view windowsPath, std::filesystem::path& hostPath) {
  std::u16string full;
  if (DWORD rc = FullPath(windowsPath, full)) return rc;
  char16_t drive = full[0];
  std::filesystem::path base;
  if (drive == u'Z') {
    base = "/";
  } else {
    std::string dir = "drive_";
    dir += static_cast<char>(drive - u'A' + 'a');
    base = tw::root::Dir() / dir;
  }
  bool exists = true;
  std::error_code ec;
  std::u16string_view rest = std::u16string_view(full).substr(3);
  // Mostly the path is spelt as it is on disk: one look at the whole of it.
  if (!rest.empty()) {
    std::string spelt = ToUtf8(rest);
    std::replace(spelt.begin(), spelt.end(), '\\', '/');
    auto exact = base / spelt;
    if (std::filesystem::symlink_status(exact, ec).type() != std::filesystem::file_type::not_found) {
      hostPath = std::move(exact);
      return ERROR_SUCCESS;
    }
  }
  size_t i = 0;
  while (i < rest.size()) {
    size_t end = rest.find(u'\\', i);
    if (end == std::u16string_view::npos) end = rest.size();
    std::u16string_view comp = rest.substr(i, end - i);
    i = end + 1;
    std::string name = ToUtf8(comp);
    if (exists) {
      auto exact = base / name;
      if (std::filesystem::symlink_status(exact, ec).type() != std::filesystem::file_type::not_found) {
        base = std::move(exact);
        continue;
      }
      // Not with this spelling: look for one that differs only in case.
      bool found = false;
      if (std::filesystem::is_directory(base, ec)) {
        for (const auto& entry : std::filesystem::directory_iterator(base, ec)) {
          auto entryName = entry.path().filename().string();
          if (EqualsNoCase(FromUtf8(entryName), comp)) {
            base /= entryName;
            found = true;
            break;
          }
        }
      }
      if (found) continue;
      exists = false;
    }
    base /= name;
  }
  hostPath = std::move(base);
  return ERROR_SUCCESS;
}

std::u16string FromHost(const std::filesystem::path& hostPath) {
  std::error_code ec;
  auto absolute = std::filesystem::absolute(hostPath, ec).lexically_normal();
  auto root = tw::root::Dir();
  auto rel = absolute.lexically_relative(root);
  if (!rel.empty() && rel.begin() != rel.end()) {
    std::string first = rel.begin()->string();
    if (first.size() == 7 && first.compare(0, 6, "drive_") == 0 && first[6] >= 'a' && first[6] <= 'z') {
      std::u16string out(1, static_cast<char16_t>(u'A' + (first[6] - 'a')));
      out += u":\\";
      bool firstPart = true;
      for (auto it = std::next(rel.begin()); it != rel.end(); ++it) {
        if (it->empty() || *it == ".") continue;
        if (!firstPart) out += u'\\';
        out += FromUtf8(it->string());
        firstPart = false;
      }
      return out;
    }
  }
  std::u16string out = u"Z:";
  for (char16_t c : FromUtf8(absolute.string())) out += (c == u'/') ? u'\\' : c;
  if (out.size() == 2) out += u'\\';
  return out;
}

std::u16string CurrentDirectory() {
  std::lock_guard lock(g_cwdMutex);
  return g_cwd;
}

DWORD SetCurrentDirectory(std::u16string_view windowsPath) {
  std::u16string full;
  if (DWORD rc = FullPath(windowsPath, full)) return rc;
  std::filesystem::path host;
  if (DWORD rc = ToHost(full, host)) return rc;
  std::error_code ec;
  auto status = std::filesystem::status(host, ec);
  if (status.type() == std::filesystem::file_type::not_found) return ERROR_FILE_NOT_FOUND;
  if (status.type() != std::filesystem::file_type::directory) return ERROR_DIRECTORY;
  std::lock_guard lock(g_cwdMutex);
  g_cwd = std::move(full);
  return ERROR_SUCCESS;
}

}  // namespace tw::path
