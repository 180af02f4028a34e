// `twspool settings PRINTER [--reg] [--ini FILE]`: a printer's settings by
// key group, each value's effective reading and whether it is set or
// defaulted; with --reg a ".reg" file that `twreg import` accepts, every
// value preceded by a ";" line saying what it is, so that an administrator
// starts from a complete template.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace twspool {

struct SettingsOptions {
  std::u16string printer;
  bool reg = false;
  std::u16string iniFile;  // the printer's INI file (driver data file); empty: INI values are left out
};

// Parses the arguments after "settings". False with a message for a
// missing printer name or an unknown option.
bool ParseSettingsArgs(const std::vector<std::string>& args, SettingsOptions& options, std::string& error);

// The listing (UTF-8, LF line ends).
std::string SettingsListing(const SettingsOptions& options);
// The .reg file (UTF-8, CRLF line ends, "Windows Registry Editor Version 5.00").
std::string SettingsRegFile(const SettingsOptions& options);

// Comment lines of a template stay within this many columns.
inline constexpr size_t kRegCommentWidth = 100;
// `text` as ".reg" comment lines ("; " and CRLF), broken between words so
// that each stays within kRegCommentWidth (a longer word keeps a line of its
// own). A line never ends in a backslash: a registry file reader would join
// the next line, the value, to it.
std::u16string RegComment(std::u16string_view text);

// The whole command: 0 done, 2 bad arguments (usage on `err`).
int RunSettingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace twspool
