// The naming's rules on names and its texts, free of any job state.
#include <windows.h>

#include <cstdarg>

#include "job/naming/naming.h"

namespace tw::naming {

namespace {

// printf semantics of the CRT ("%s" wide), into a string of the right size.
std::u16string FormatText(const WCHAR* format, ...) {
  va_list args;
  va_start(args, format);
  va_list count;
  va_copy(count, args);
  int length = _vscwprintf(format, count);
  va_end(count);
  std::u16string text;
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    int written = vswprintf_s(text.data(), text.size(), format, args);
    text.resize(written > 0 ? static_cast<size_t>(written) : 0);
  }
  va_end(args);
  return text;
}

std::u16string Text(std::u16string_view view) { return std::u16string(view); }

}  // namespace

std::u16string DocumentNameToFileName(std::u16string_view documentName, std::u16string_view extension) {
  std::u16string name(documentName);
  // "Report.final.docx" loses ".docx"; "Release.notes" keeps ".notes".
  size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos && name.size() - dot - 1 < 5) name.erase(dot);
  name += u'.';
  name += extension;
  std::erase_if(name,
                [](char16_t c) { return std::u16string_view(u"\"*/:<>?\\|").find(c) != std::u16string_view::npos; });
  if (name.size() > 1024) name.resize(1024);
  return name;
}

bool HasInvalidNameCharacter(std::u16string_view name) {
  for (size_t i = 0; i < name.size(); ++i) {
    char16_t c = name[i];
    if (std::u16string_view(u"<>?*/\"|\r\n").find(c) != std::u16string_view::npos) return true;
    if (c == u':' && i != 1) return true;
  }
  return false;
}

std::u16string_view FilePart(std::u16string_view path) {
  size_t slash = path.rfind(u'\\');
  return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

size_t ExtensionDot(std::u16string_view path) {
  std::u16string_view file = FilePart(path);
  size_t dot = file.rfind(u'.');
  return dot == std::u16string_view::npos ? dot : path.size() - file.size() + dot;
}

std::u16string ReplaceExtension(std::u16string_view path, std::u16string_view extension) {
  size_t dot = ExtensionDot(path);
  std::u16string result(path.substr(0, dot == std::u16string_view::npos ? path.size() : dot));
  result += u'.';
  result += extension;
  return result;
}

std::u16string NumberedPath(std::u16string_view path, DWORD pageNumber, bool collision) {
  size_t dot = ExtensionDot(path);
  std::u16string name(path.substr(0, dot == std::u16string_view::npos ? path.size() : dot));
  std::u16string extension = dot == std::u16string_view::npos ? u"tif" : std::u16string(path.substr(dot + 1));
  WCHAR number[16];
  if (pageNumber) {
    swprintf_s(number, std::size(number), u"_%0.3d", static_cast<int>(pageNumber));
    name += number;
  }
  std::u16string result = name + u"." + extension;
  // A bound that no directory reaches; the path grows past the length limit long before.
  for (int n = 1; collision && GetFileAttributesW(result.c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
    if (n > 99999) return {};
    swprintf_s(number, std::size(number), u" (%d).", n);
    result = name + number + extension;
  }
  return result;
}

std::u16string InvalidNameText(std::u16string_view name) {
  return FormatText(
      u"253: Invalid character in the file name. The following characters are not allowed: <>:*?\"|/ File name: %s",
      Text(name).c_str());
}

std::u16string DirectoryNotSpecifiedText(std::u16string_view prefix) {
  return FormatText(u"25: %s. Directory name not specified.", Text(prefix).c_str());
}

std::u16string DirectoryNotFoundText(std::u16string_view prefix, std::u16string_view directory) {
  return FormatText(u"25: %s\"%s\". Directory not found.", Text(prefix).c_str(), Text(directory).c_str());
}

std::u16string FileNotSpecifiedText(std::u16string_view prefix) {
  return FormatText(u"25: %s Filename not specified.", Text(prefix).c_str());
}

std::u16string DirectoryRefusedText(std::u16string_view prefix, std::u16string_view path, DWORD error) {
  const WCHAR* format = u"25: %s\"%s\". Windows Error Code: %d";
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    format = u"25: %s\"%s\". Directory not found. Windows Error Code: %d";
  else if (error == ERROR_ACCESS_DENIED)
    format = u"25: %s\"%s\". Access Denied to Directory. Windows Error Code: %d";
  return FormatText(format, Text(prefix).c_str(), Text(path).c_str(), static_cast<int>(error));
}

std::u16string ExistingFileRefusedText(std::u16string_view prefix, std::u16string_view path, DWORD error) {
  return FormatText(u"25: %s\"%s\". File already exists but cannot be opened for writing. Windows error code: %d",
                    Text(prefix).c_str(), Text(path).c_str(), static_cast<int>(error));
}

std::u16string CreateFileText(std::u16string_view name, DWORD error) {
  std::u16string n(name);
  if (error == 0)
    return FormatText(u"25: Could not create file. Please check the access rights of the directory: \"%s\"", n.c_str());
  const WCHAR* format = u"25: Could not create file. Cannot access directory: \"%s\". Windows Error Code: %d";
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    format = u"25: Could not create file. Directory not found: \"%s\". Windows Error Code: %d";
  else if (error == ERROR_ACCESS_DENIED)
    format =
        u"25: Could not create file. Please check the access rights of the directory: \"%s\". Windows Error Code: %d";
  return FormatText(format, n.c_str(), static_cast<int>(error));
}

std::u16string NameTooLongText(std::u16string_view path) {
  return FormatText(u"Filename is longer than 260 characters: %s", Text(path).c_str());
}

}  // namespace tw::naming
