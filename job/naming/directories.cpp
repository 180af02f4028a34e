// Directories of the naming: the output directory, configured directories
// expanded, the temporary directory, and the tests names need.
#include <windows.h>

#include "job/job/tw_job.h"
#include "job/naming/naming.h"

namespace st = tw::settings;

namespace tw::naming {

bool PathExists(std::u16string_view path) {
  return GetFileAttributesW(std::u16string(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::u16string WithBackslash(std::u16string directory) {
  if (directory.empty() || directory.back() != u'\\') directory += u'\\';
  return directory;
}

std::u16string TempDirectory() {
  WCHAR path[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(static_cast<DWORD>(std::size(path)), path);
  return length && length < std::size(path) ? std::u16string(path) : std::u16string();
}

std::u16string ExpandedDirectory(const CTWJob& job, const st::SettingsScope& scope, std::u16string directory,
                                 bool& expanded) {
  expanded = st::ExpandPathVariables(directory, job.m_Environment, scope) && !directory.empty();
  return directory;
}

bool UsableDirectory(std::u16string_view directory) {
  if (directory.empty()) return false;
  const std::u16string folder = WithBackslash(std::u16string(directory));
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         _waccess(folder.c_str(), 6) == 0;
}

std::u16string ConfiguredDirectory(const CTWJob& job, const st::SettingsScope& scope, std::u16string directory) {
  if (directory.empty()) return {};
  bool expanded = false;
  directory = ExpandedDirectory(job, scope, std::move(directory), expanded);
  return expanded && UsableDirectory(directory) ? directory : std::u16string();
}

}  // namespace tw::naming
