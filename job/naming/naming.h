// Output naming: where a job's files land and what they are called.
//
// The job's operations (members of CTWJob, declared in job/job/tw_job.h and
// described in docs/naming.md):
//
//   GenerateFilenames(document)   all names of the document (TRUE at the start
//                                 of the document) or of the coming page (FALSE).
//   BuildExactFilename(name)      names from a path that may hold a directory.
//   SetImageFileName(path, unique)
//                                 m_szActFileName from a path: extension, page
//                                 number, collision number, the 259-character
//                                 limit, the existing-file action and the lock
//                                 of a one-file TIFF document. FALSE leaves
//                                 the previous name in place.
//   ValidateOutputDirectory(prefix, directory, report)
//   ValidateOutputFile(prefix, path, report)
//                                 TRUE when usable. Otherwise the "25: ..."
//                                 text is reported: with `report` through
//                                 HandleError (the job fails with it: "Print
//                                 status", message 5, event log), without it
//                                 as an event-log error and message 5 only,
//                                 and the caller decides.
//   LockFile(path), ReleaseFile() the open handle that keeps a one-file
//                                 document's output while it is written.
//
// Writers call SetImageFileName when they make a name of their own and
// ValidateOutputFile with their prefix ("Cannot write TIFF file: ", ...) when
// they cannot open their output.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "job/settings/effective.h"
#include "tw/wintypes.h"

class CTWJob;

namespace tw::naming {

// The job's settings that the naming and the group file read for every page,
// taken when the document's names are made: registry, INI and Save-As
// values do not change within a document, and a page's bookkeeping must not
// read them again and again.
struct DocumentSettings {
  tw::settings::SettingsScope scope;
  DWORD format = 0;  // effective format code
  bool tiffViewer = false;
  bool multipageSwitch = false;
  bool splitDocument = false;
  DWORD startNewFileAfterPage = 0;
  bool sendInEmail = false, emailContentBased = false, emailSimpleContentBased = false,
       emailMultipageContentBased = false;
  DWORD action = 2;  // existing-file action, before the PDF cover page's rule
  LONG htmlSeparatePages = 0;
  std::u16string outputDirectory;  // expanded
  bool outputDirectoryExpanded = false;
  DWORD textAction = 0;
  std::u16string textDirectory;  // the separate text directory when usable
  bool textInMemory = false;
  bool ocrEnabled = false;  // format 41 or "Enabled"
  DWORD ocrFormat = 0;
  std::u16string ocrDirectorySetting;  // "Output Directory" of the OCR settings as set
  std::u16string ocrDirectory;         // the same, expanded, when usable
  std::u16string ocrBitmapDirectory;   // "Bitmap Directory" when usable
  std::u16string groupIni;             // the group INI's name
  bool redirectCopies = false;         // redirect printing with its own number of copies
  DWORD redirectNumberOfCopies = 1;
};

}  // namespace tw::naming

// What the naming keeps in the job beside the fields every area shares
// (m_szActFileName, m_szGroupFileName, m_szFileNameforStartApp).
class CTWNamingState {
 public:
  CTWNamingState() = default;
  ~CTWNamingState() { Unlock(); }
  CTWNamingState(const CTWNamingState&) = delete;
  CTWNamingState& operator=(const CTWNamingState&) = delete;

  // The locked output file (LockFile); closed by ReleaseFile and with the job.
  void Lock(HANDLE file) {
    Unlock();
    m_hLockedFile = file;
  }
  void Unlock();
  bool Locked() const { return m_hLockedFile != nullptr; }

  // Pages per sheet of the job (0 or 1: off); the pages-per-sheet set-up
  // fills it, page numbers in names count sheets.
  DWORD m_dwPagesPerSheet = 0;
  // What the text of the current page asked for (content-based names): a
  // file name ("Filename") and separate pages ("SaveSeparatePages"). Filled
  // by the text extraction of the page.
  std::u16string m_szContentFileName;
  BOOL m_bContentSeparatePages = FALSE;
  // The name being made comes from the page's content.
  BOOL m_bContentBasedName = FALSE;

  // The companion names beside the output name; each keeps its value while
  // its feature is off.
  std::u16string m_szTextFileName;
  std::u16string m_szMailMergeFileName;
  std::u16string m_szOcrTextFileName;
  std::u16string m_szOcrBitmapFileName;
  // The OCR text file of the first page, for the started application.
  std::u16string m_szOcrFileNameforStartApp;
  // The Bates number text of the current page; filled by the Bates numbering
  // when it is built (until then the naming reads the profile itself).
  std::u16string m_szBatesNumberText;

  // The document's settings (tw::naming::Settings); taken on first use and
  // again when the document's names are made.
  mutable std::unique_ptr<tw::naming::DocumentSettings> m_pSettings;

 private:
  HANDLE m_hLockedFile = nullptr;
};

namespace tw::naming {

// Existing-file actions.
inline constexpr DWORD kActionAdd = 0;        // keep the file; the writer adds the pages
inline constexpr DWORD kActionOverwrite = 1;  // delete it first
inline constexpr DWORD kActionNewName = 2;    // give the new file a name not taken yet

// The longest output path (characters, terminator not counted).
inline constexpr size_t kMaxOutputPath = 259;
// Rounds of the unique-name generator and of the fallback of exact names.
inline constexpr int kUniqueNameRounds = 25;

inline constexpr WCHAR kPrefixOutputDirectory[] = u"Cannot access output directory: ";
inline constexpr WCHAR kPrefixLockedFile[] = u"Cannot write file: ";

// The document's settings; TakeSettings reads them anew.
const DocumentSettings& Settings(const CTWJob& job);
void TakeSettings(CTWJob& job);

// The job's settings as the effective-setting rule reads them.
struct NamingContext {
  explicit NamingContext(const CTWJob& job);
  NamingContext(const NamingContext&) = delete;  // ctx refers to scope
  NamingContext& operator=(const NamingContext&) = delete;
  tw::settings::SettingsScope scope;
  tw::settings::EffectiveContext ctx;
};

// Names the group file and prepares it (PrepareGroupFile); a group file
// that cannot be made leaves the previous name.
BOOL SetGroupFileName(CTWJob& job, const std::u16string& path);

// --- decisions over the job's settings ----------------------------------------

// Text output (Flags 0x40); mail merge (Flags 0x40 and 0x100).
bool TextOutputOn(const CTWJob& job);
bool MailMergeOn(const CTWJob& job);
// OCR applies: format 41, or "Enabled" of the OCR settings (effective).
bool OcrEffective(const CTWJob& job);

// 0 add, 1 overwrite, 2 new name: merge mode first, then Save-As "Append
// File" or Flags 0x100000, Flags 0x20000, the e-mail split by content; a PDF
// cover page turns 1 into 0.
DWORD ExistingFileAction(const CTWJob& job);
// The document goes into one file: TIFF viewer, the multipage switch (off
// with "Split Document" every page, off with multipage content-based e-mail),
// and the TIFF codes that always keep one file open (42, 44, 46) when output
// is not in memory.
bool DocumentGoesIntoOneFile(const CTWJob& job);
// File-system failures are reported: output goes to files, and a page image
// is written.
bool ReportsFileErrors(const CTWJob& job);
// The effective format's extension, upper case with "Uppercase Extensions".
std::u16string FormatExtensionOf(const CTWJob& job);

// --- names ----------------------------------------------------------------------

// The document name made into a file name: a last "." followed by at most
// four characters is cut, "." and the extension are added, the characters
// "*/:<>?\| are removed; at most 1024 characters.
std::u16string DocumentNameToFileName(std::u16string_view documentName, std::u16string_view extension);
// A name an exact name may not hold: < > ? * / " | CR LF, or a colon other
// than the second character.
bool HasInvalidNameCharacter(std::u16string_view name);
// The part after the last backslash (all of it when there is none).
std::u16string_view FilePart(std::u16string_view path);
// Where the "." before the extension of the file part is in the path; npos
// when the file part has none.
size_t ExtensionDot(std::u16string_view path);
// The path with the extension of its file part replaced (added when it has none).
std::u16string ReplaceExtension(std::u16string_view path, std::u16string_view extension);

// The page number "_%0.3d" (0: none) after the name, then, with `collision`,
// " (n)" with the first n from 1 whose path does not exist. Empty when no
// free number was found.
std::u16string NumberedPath(std::u16string_view path, DWORD pageNumber, bool collision);

// --- directories ---------------------------------------------------------------------

bool PathExists(std::u16string_view path);
// With a trailing backslash (an empty directory becomes "\").
std::u16string WithBackslash(std::u16string directory);
// GetTempPathW's directory; empty when there is none.
std::u16string TempDirectory();
// A configured directory with its path variables expanded; `expanded` is
// false when it is empty or a variable could not be resolved.
std::u16string ExpandedDirectory(const CTWJob& job, const tw::settings::SettingsScope& scope, std::u16string directory,
                                 bool& expanded);
// An existing directory the job can read and write.
bool UsableDirectory(std::u16string_view directory);
// A configured directory, expanded, when it is usable; else empty.
std::u16string ConfiguredDirectory(const CTWJob& job, const tw::settings::SettingsScope& scope,
                                   std::u16string directory);

// --- the naming sources (methods 1, 2, 4, 5, 8 and custom names) ------------------

// A value of the naming INI file (NamingSettingsPath), read into 1024
// characters with an empty default.
std::u16string NamingIniValue(const CTWJob& job, std::u16string_view section, std::u16string_view key);
// The directory the naming INI names: "Output Directory", then
// "OutputDirectory", in the printer's section, then in "Default Settings";
// empty when none is set.
std::u16string NamingIniDirectory(const CTWJob& job);
// A REG_SZ value of the registry key NamingSettingsPath names
// ("HKEY_LOCAL_MACHINE\..." or "HKEY_CURRENT_USER\..."); empty when the
// path names no such key or the value is missing or of another type.
std::optional<std::u16string> NamingRegistryValue(const CTWJob& job, std::u16string_view name);

// --- custom names (method 7) ------------------------------------------------------

// Internal error codes of the build.
inline constexpr int kErrorNameDoesNotFit = 110;
inline constexpr int kErrorNoDirectory = 112;
inline constexpr WCHAR kDefaultTemplate[] = u"<<DOCNAME>><<NONE>>.<<ORIGINAL>>";

// A template taken apart: prefix <<first>> literal <<second>> . extension.
struct NameTemplate {
  std::u16string prefix, first, literal, second;
  bool originalExtension = false;  // "<<ORIGINAL>>"
  std::u16string extension;        // the literal extension otherwise
};
// The template when it is valid.
std::optional<NameTemplate> ParseNameTemplate(std::u16string_view text);

// What the tokens of a template stand for.
struct TemplateValues {
  std::u16string documentName;  // "DocumentName" when empty, at most 255
  std::u16string userName;      // "USERNAME" when empty
  std::u16string computerName;
  std::u16string pageNumber;    // PAGENUM: "" or 4 digits
  std::u16string date, time, timeMs;
  std::u16string counter;       // 7 digits
  std::u16string bates;         // "1" when empty
  std::u16string originalExtension;  // at most 128
  // The value of a token of the name part.
  std::u16string Token(std::u16string_view token) const;
};
// The file name of a template in `directory` (with its backslash): 0, or the
// internal error code of the build (110: a part was cut to fit; 112: the
// directory does not exist). With `newName` (existing-file action 2) a name
// that exists gets "(n)" before its extension.
int BuildTemplateName(const NameTemplate& tmpl, const TemplateValues& values, std::u16string_view directory,
                      bool newName, std::u16string& name);

// --- the system's texts ----------------------------------------------------------

std::u16string InvalidNameText(std::u16string_view name);              // 253
std::u16string DirectoryNotSpecifiedText(std::u16string_view prefix);  // 25
std::u16string DirectoryNotFoundText(std::u16string_view prefix, std::u16string_view directory);
std::u16string FileNotSpecifiedText(std::u16string_view prefix);
// The directory of `path` refused a file (system error `error`).
std::u16string DirectoryRefusedText(std::u16string_view prefix, std::u16string_view path, DWORD error);
std::u16string ExistingFileRefusedText(std::u16string_view prefix, std::u16string_view path, DWORD error);
// A name that could not be made (the create-file messages).
std::u16string CreateFileText(std::u16string_view name, DWORD error);
std::u16string NameTooLongText(std::u16string_view path);

}  // namespace tw::naming

// Made by the group file area when the group file is named: creates the file
// and checks it can be written; FALSE fails the naming step.
BOOL PrepareGroupFile(CTWJob& job);
// The text, mail-merge and OCR names beside a new output name (`unique`: for
// the unique-name generator).
BOOL MakeCompanionFileNames(CTWJob& job, BOOL unique);
