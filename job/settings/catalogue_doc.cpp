#include "job/settings/catalogue_doc.h"

#include <sstream>
#include <vector>

#include "job/settings/catalogue.h"
#include "tw/utf.h"

namespace tw::settings {
namespace {

constexpr char kIntro[] = R"(# Printer settings

This list is generated from the monitor's settings table
(`job/settings/catalogue_rows.h`); the test `test_job_settings` fails when
it is out of date (run it with `TW_WRITE_SETTINGS_DOC=1` to write it again).

## Where the settings live

Every printer has its own key below
`HKEY_CURRENT_USER\SOFTWARE\Tarnwick Software LLC`, named after the printer.
For the spooler's SYSTEM account `HKEY_CURRENT_USER` is the default user's
hive, `HKEY_USERS\.DEFAULT`. In the key groups below `%s` stands for the
printer's key and `%d` for a number: the job ID for the per-job keys `%s\%d`
and `%s\Save As Option Settings\%d`, the Bates profile number, the FTP
connection number or the printer ID, as each group says.

The printer's key is found from the job's DEVMODE: the value `Printer name`
of `SOFTWARE\Tarnwick Software LLC\PrinterIDs\<Printer ID>`, and when that is
missing, the DEVMODE's device name (at most 32 characters). A monitor running
inside an application package reads `<printer>_Package <package full name>`
instead; the first time it uses a printer it copies the printer's ordinary
key there.

`Use Output Directory from Client` is read from the printer's
`Filename Generation Settings` below `HKEY_USERS\.DEFAULT`. Groups written
`INI:<section>` are sections of the printer driver's data file, read as an
INI file.

## Value types

| Type | Stored as | Read as |
|---|---|---|
| DWORD | `REG_DWORD` | the number; the default when missing |
| number | `REG_SZ` with a decimal number, at most 7 characters | leading blanks and a sign allowed, reading stops at the first other character, 0 when no digit comes first; a longer text gives the default |
| yes | `REG_SZ`, at most 7 characters | on when the text is `yes` in any case |
| no | `REG_SZ`, at most 7 characters | on when the text is `no` in any case |
| text | `REG_SZ` | the text, at most the size given (characters, terminator included); a longer text gives the default |
| flag | `REG_DWORD` | on when present and not 0 |
| binary | `REG_BINARY` | the bytes, whole |
| any | any type | handed on to the post-print program as stored |
| decimal text | `REG_SZ` with a decimal number | as number, up to 259 characters; 0 when missing |
| integer, text (INI) | INI key | as `GetPrivateProfileInt` / `GetPrivateProfileString` read them |

A missing key or value, a value of another type, or a value too large for
its buffer gives the default. The per-job PDF passwords are stored with every
character XORed with 0x47; the FTP passwords as two hexadecimal digits per
character XORed with 0x6C.

## A printer's settings as a template

`twspool settings PRINTER` lists a printer's settings by key group as the
monitor reads them, marking the values that are set (`*`) apart from those
that hold their defaults; with `--ini FILE` the values of the printer's INI
file are listed too. `twspool settings PRINTER --reg` writes the same values
as a `.reg` file that `twreg import` accepts: every value of the printer's
key groups, with its current value when set and its default otherwise,
preceded by two kinds of `;` comment lines, first the value's type, default
and overriding Save-As value (ending in `; set` when the value was set),
then what the value is for (the Use column below), wrapped at 100 columns.
A value without a default is written commented out. Per-job keys, the
printer-ID table and values named by a number (`Font %d`) are left out. An
administrator edits the values, deletes what is not wanted and imports the
file to configure a printer.

## Save-As values

While the DEVMODE's `Flags` bit 31 is set, a value of the job's key
`%s\Save As Option Settings\%d` overrides the setting named in the Save-As
column (its number in the tables at the end), even when it is 0. A missing
Save-As value leaves the setting as configured here.
)";

std::string U8(std::u16string_view s) { return ToUtf8(s); }

// What "%s" alone and each "%d" stand for, under the group's heading.
const char* GroupNote(std::u16string_view group) {
  if (group == u"%s") return "The printer's key itself.";
  if (group == u"%s\\%d") return "The per-job key: `%d` is the job ID. Written by the printing client or the monitor for one job.";
  if (group.find(u"PrinterIDs") != std::u16string_view::npos) return "`%d` is the printer ID (decimal).";
  if (group.find(u"BatesNumbering") != std::u16string_view::npos)
    return "A Bates numbering profile: `%d` is the DEVMODE's `BatesProfile` plus 1. Every value is `REG_SZ`.";
  if (group.find(u"FTP Settings\\%d") != std::u16string_view::npos) return "One FTP connection: `%d` is its number.";
  if (group.find(u"EnvVars") != std::u16string_view::npos)
    return "One text value per variable; any name used between `<<` and `>>` or between two `%` signs in a path is looked up here too.";
  return nullptr;
}

// Table cells must not break the Markdown table.
std::string Text(std::u16string_view s) {
  std::string escaped;
  for (char c : U8(s)) {
    if (c == '|') escaped += "\\|";
    else escaped += c;
  }
  return escaped;
}

std::string Cell(std::u16string_view s) { return s.empty() ? "" : "`" + Text(s) + "`"; }

}  // namespace

std::string SettingsDocumentation() {
  std::ostringstream doc;
  doc << kIntro;
  std::vector<CatalogueRow> rows = CatalogueRows();
  std::u16string saveAsGroup = kSaveAsGroup;
  std::vector<std::u16string> groups;
  for (const CatalogueRow& r : rows) {
    if (r.group == saveAsGroup) continue;
    bool known = false;
    for (const auto& g : groups) known = known || g == r.group;
    if (!known) groups.push_back(r.group);
  }
  for (const auto& group : groups) {
    doc << "\n## " << U8(group) << "\n\n";
    if (const char* note = GroupNote(group)) doc << note << "\n\n";
    doc << "| Value | Type | Default | Size | Save-As | Use |\n|---|---|---|---|---|---|\n";
    for (const CatalogueRow& r : rows) {
      if (r.group != group) continue;
      doc << "| " << Cell(r.name) << " | " << U8(r.type) << " | " << Cell(r.defaultText) << " | " << U8(r.size)
          << " | " << U8(r.saveAs) << " | " << Text(r.meaning) << " |\n";
    }
  }
  doc << "\n## Save-As values (" << U8(saveAsGroup) << ")\n\n";
  doc << "Numbered DWORD values and text values; the texts are read into 260 characters, and `%d` in a name is "
         "a font or printer number.\n\n";
  doc << "| No. | DWORD value | Text value |\n|---|---|---|\n";
  for (DWORD n = 0; n < kSaveAsDwordCount; ++n) {
    const char16_t* text = SaveAsTextName(n);
    doc << "| " << n << " | " << Cell(SaveAsDwordName(n)) << " | " << (text ? Cell(text) : "") << " |\n";
  }
  return doc.str();
}

}  // namespace tw::settings
