// Values the job derives beside its DEVMODE record when a document starts:
// the page selection, the cover page, the names of its channels.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/settings/effective.h"

namespace tw::settings {

// --- page selection ("Selected Pages" of "Page Settings") -----------------------

struct PageRange {
  WORD first;  // as written: a descending range has first > last
  WORD last;
};
// Every character other than digits, commas and hyphens is dropped, then the
// text is read as a comma-separated list of pages and ranges a-b, each page
// 1..65534. Empty items are skipped. Empty optional when the list does not
// parse or names no page: selection is then off.
std::optional<std::vector<PageRange>> ParseSelectedPages(std::u16string_view text);
bool IsPageSelected(const std::vector<PageRange>& ranges, DWORD page);
// The job's selection: "Print Selected Pages Only" on and a list that parses.
std::optional<std::vector<PageRange>> ReadPageSelection(const SettingsScope& scope);

// --- cover page -------------------------------------------------------------------

// The cover page file the job is asked for: empty optional when the effective
// switch (Save-As 108, else "Enable Cover Page") is off; else "Default Cover
// Page" of "Cover Page Settings" when "Enable Default Cover Page" is on, else
// of the per-job key (possibly empty).
std::optional<std::u16string> RequestedCoverPage(const EffectiveContext& ctx);

struct CoverPageCheck {
  bool accepted = false;
  bool pdf = false;  // the name ends in ".pdf" in any case: a PDF cover page
};
// A file is accepted when it exists and either ends in ".pdf" (exactly) with
// format 35, 36, 40 or 41, or does not end in ".pdf" with format 3..10,
// 21..23 or 30.
CoverPageCheck CheckCoverPage(std::u16string_view path, DWORD effectiveFormat);
// "412: Could not load Cover Page: <path>", shown when a file is refused.
std::u16string CoverPageErrorText(std::u16string_view path);

// --- names of the job's channels ---------------------------------------------------

// The printer name with every character that is not a letter or digit
// replaced by "_" (used in channel, group-file and merge-block names).
std::u16string ReducedPrinterName(std::u16string_view printerName);

struct JobChannelNames {
  std::u16string previewPipe;     // \\.\pipe\TW_PREVIEW_<id>_<job>_<tick>_<printer>
  std::u16string previewAbortEvent;  // Global\TW_PREVIEW_ABORT_...
  std::u16string ftpPipe;
  std::u16string httpPipe;
  std::u16string dbPipe;
  std::u16string mfilesPipe;
  std::u16string sharePointPipe;
  std::u16string tiffViewerPipe;
  std::u16string clientPipe;      // \\.\pipe\<interface name><interface id>
};
JobChannelNames MakeJobChannelNames(std::u16string_view interfaceName, DWORD interfaceId, DWORD jobId, DWORD tick,
                                    std::u16string_view printerName);

// The actions that get a temporary group file when uploads need one.
enum class TemporaryGroupAction { Ftp, Http, Database, MFiles, SharePoint, TiffViewer };
// <temp dir with a final backslash>TW_FTP_<id>_<job>_<tick>_<printer>.grp, ...;
// empty when the temporary directory is empty.
std::u16string TemporaryGroupFileName(std::u16string_view tempDir, TemporaryGroupAction action, DWORD interfaceId,
                                      DWORD jobId, DWORD tick, std::u16string_view printerName);

// The merge utility's block base name: Session\<session>\TwMerge__<printer>.
std::u16string MergeMapName(DWORD sessionId, std::u16string_view printerName);

}  // namespace tw::settings
