// The group file: the job's record of the document and every page written,
// kept in memory (the group data), in the group file beside the output and in
// the temporary group files of the uploads; the machine-wide group INI; the
// XML summary; the files the job produced; the text appender.
//
// The job's operations (members of CTWJob, job/job/tw_job.h):
//   UpdateGroupFile()            the entries of the current sheet (after each
//                                complete sheet, after cover pages, at the end
//                                of the document); FALSE when a group file
//                                could not be written.
//   WriteGroupFileEntry(k, v)    one entry of the printer's section.
//   WritePrintStatus(text)       "Print status".
//   GroupFilesEnabled()          the group data goes to files.
//   GenerateXmlSummary()         the XML summary of formats 31 to 35.
//   DeleteOutputFiles()          discards what the job produced.
// Everything else is below (docs/group-file.md).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "job/group/group_data.h"
#include "tw/wintypes.h"

class CTWJob;

namespace tw::group {

class GroupFileWriter;

}  // namespace tw::group

// What the group file keeps in the job.
class CTWGroupFile {
 public:
  CTWGroupFile();
  ~CTWGroupFile();
  CTWGroupFile(const CTWGroupFile&) = delete;
  CTWGroupFile& operator=(const CTWGroupFile&) = delete;

  // --- the group data: section -> key -> value; no value removes the key ---
  void SetData(std::u16string_view section, std::u16string_view key, const WCHAR* value);
  std::optional<std::u16string> Value(std::u16string_view section, std::u16string_view key) const;
  const tw::group::GroupData& Data() const { return m_Data; }

  // --- the files the entries go to (the job decides which are active) ---
  // The writer of one group file; made on first use.
  tw::group::GroupFileWriter& File(std::u16string_view path, std::u16string_view printerSection);
  // Forgets what is known of a file (it was made anew or deleted).
  void ForgetFile(std::u16string_view path);
  // Entries written while a batch is open reach the files together when it closes.
  bool m_bBatch = false;

  // --- facts other areas leave for the next update of the group file ---
  std::u16string m_szBarcodeError;  // the page's barcode failure ("Barcode Error"), cleared once written
  std::u16string m_szOcrError;      // the page's OCR failure ("OCR Error"), cleared once written
  // The job's captured messaging warning: the first one is kept ("Message
  // Capture Warning" of the printer's section, once); each is also the
  // pending warning of the page being written.
  void SetCaptureWarning(std::u16string_view text);
  std::u16string m_szCaptureWarning;
  bool m_bCaptureWarningWritten = false;
  std::u16string m_szPendingCaptureWarning;
  // Cover pages or the barcode separator page are being written at the end
  // of the document: "Total number of pages" is left alone.
  bool m_bWritingPagesInFront = false;

  // --- once-per-job reports ---
  bool m_bWriteFailureShown = false;  // the first group write failure was shown
  bool m_bTextFileReported = false;   // "Cannot write text file: " was reported

  // --- files and directories the job produced, in the order first recorded ---
  void AddProducedFile(std::u16string path);
  void AddProducedDirectory(std::u16string path);
  const std::vector<std::u16string>& ProducedFiles() const { return m_ProducedFiles; }
  const std::vector<std::u16string>& ProducedDirectories() const { return m_ProducedDirectories; }
  void ClearProduced();

 private:
  tw::group::GroupData m_Data;
  std::vector<std::unique_ptr<tw::group::GroupFileWriter>> m_Files;
  std::vector<std::u16string> m_ProducedFiles, m_ProducedDirectories;
  std::unordered_set<std::u16string> m_ProducedKeys;  // upper-cased paths of both lists
};

namespace tw::group {

inline constexpr WCHAR kPrefixGroupFile[] = u"Cannot write GRP file: ";
inline constexpr WCHAR kPrefixTextFile[] = u"Cannot write text file: ";
// The longest value the read-back compares (the reader's buffer less its terminator).
inline constexpr size_t kReadBackChars = 1023;

// --- entries ---------------------------------------------------------------------------

// One entry: into the group data, then into every active group file, each
// read back. FALSE when a file could not be written or a value did not read
// back; the first such failure of the job is shown to the user.
BOOL WriteGroupEntry(CTWJob& job, const WCHAR* section, const WCHAR* key, const WCHAR* value);
// An entry of the group data; `fallback` when absent.
std::u16string ReadGroupEntry(const CTWJob& job, std::u16string_view section, std::u16string_view key,
                              std::u16string_view fallback = {});
DWORD ReadGroupEntryNumber(const CTWJob& job, std::u16string_view section, std::u16string_view key,
                           DWORD fallback = 0);

// Collects the entries written in its lifetime and writes each file once at
// its end (UpdateGroupFile uses it; entries written through the job's
// operations while it is open join it). Result() flushes early.
class GroupBatch {
 public:
  explicit GroupBatch(CTWJob& job);
  ~GroupBatch();
  GroupBatch(const GroupBatch&) = delete;
  GroupBatch& operator=(const GroupBatch&) = delete;
  // Writes what was collected; FALSE when a file failed.
  BOOL Close();

 private:
  CTWJob& job_;
  bool open_;
};

// --- naming time ---------------------------------------------------------------------

// Creates an empty UTF-16 file (the byte-order mark FF FE only); FALSE when
// the path is empty or the file exists (traced).
BOOL CreateUNICODEFile(const WCHAR* path);
// The group file of a document that goes into UTF-16: "UNICODE Group File",
// or an upload or the TIFF viewer that reads it.
bool UnicodeGroupFile(const CTWJob& job);

// --- per page (the page path calls these) ------------------------------------------------

// EndPage step 1: the page's output files into the job's produced files.
void RecordProducedFiles(CTWJob& job);
// EndPage step 19: "Last Output File" of the group INI = m_szActFileName.
BOOL WriteLastOutputFile(CTWJob& job);
// The group INI of the job's printer (printer INI [TwGroup.ini] "INI File").
std::u16string GroupIniPath(const CTWJob& job);

// --- end of document -----------------------------------------------------------------------

// The XML summary of the section's entries beside `groupFileName`; FALSE
// after an internal error (302, 303, 305) or when the name has no ".".
BOOL GenerateXMLFromGroup(CTWJob& job, const WCHAR* section, const WCHAR* groupFileName);
// The formats that get an XML summary (31 to 35).
bool WritesXmlSummary(const CTWJob& job);
// The XML file of a group file: everything after the last "." of its file
// part replaced by "XML"; empty when there is none.
std::u16string XmlSummaryName(std::u16string_view groupFileName);
// Deletes every produced file, then every produced directory that is empty.
// With `report` a file held by another process is tried again for up to
// 10 s, and a failure other than "file not found" is shown to the user.
BOOL DeleteProducedFiles(CTWJob& job, BOOL report);

// --- text output ---------------------------------------------------------------------------

// Text encodings of the appender.
inline constexpr DWORD kEncodingUtf8 = 1;
inline constexpr DWORD kEncodingUtf16LE = 2;
inline constexpr DWORD kEncodingUtf16BE = 3;
// Appends `count` units of `text` to `file` in `encoding` (other values: the
// ANSI code page); a new or empty file starts with the encoding's byte-order
// mark. A file that cannot be opened is reported once per job ("Cannot write
// text file: ") and the append fails.
BOOL AppendText(CTWJob& job, const WCHAR* text, DWORD count, const WCHAR* file, DWORD encoding);
// Line break kinds: 1 CR LF, 2 LF, 3 CR (any other: CR LF).
BOOL AppendLineBreak(CTWJob& job, DWORD kind, const WCHAR* file, DWORD encoding);

}  // namespace tw::group
