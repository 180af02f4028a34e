// The names beside the output name: text, mail-merge, OCR text and OCR
// bitmap files. Each is made from the output path as SetImageFileName left
// it and keeps its previous value while its feature is off.
#include <windows.h>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"

using namespace tw::naming;

namespace {

// The name in `directory` (when one is given) with the file part of `path`.
std::u16string InDirectory(const std::u16string& path, const std::u16string& directory) {
  return directory.empty() ? path : WithBackslash(directory) + std::u16string(FilePart(path));
}

// Deletes an existing file (action 1) or numbers the name past existing ones
// (`collision`); FALSE when the name cannot be used.
BOOL Settle(std::u16string& name, bool deleteExisting, bool collision) {
  if (deleteExisting && PathExists(name) && !DeleteFileW(name.c_str()))
    Trace(u"MakeCompanionFileNames: %s not deleted (%d)", name.c_str(), GetLastError());
  if (collision) name = NumberedPath(name, 0, true);
  if (name.empty()) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  if (name.size() > kMaxOutputPath) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace

BOOL MakeCompanionFileNames(CTWJob& job, BOOL unique) {
  const DocumentSettings& settings = Settings(job);
  const std::u16string output = job.m_szActFileName;
  const bool upper = job.m_bUppercaseExtensions != FALSE;
  const bool firstPage = job.m_dwActPage == 1;
  const bool startsFile = firstPage || !DocumentGoesIntoOneFile(job);

  if (TextOutputOn(job)) {
    const DWORD textAction = settings.textAction;
    auto make = [&](const WCHAR* extension, std::u16string& field) {
      std::u16string name = InDirectory(ReplaceExtension(output, extension), settings.textDirectory);
      if (!Settle(name, textAction == kActionOverwrite && startsFile, textAction == kActionNewName)) return FALSE;
      field = std::move(name);
      return TRUE;
    };
    if (!make(upper ? u"TXT" : u"txt", job.m_Naming.m_szTextFileName)) return FALSE;
    if (MailMergeOn(job) && !make(upper ? u"MRG" : u"mrg", job.m_Naming.m_szMailMergeFileName)) return FALSE;
  }

  if (settings.ocrEnabled) {
    const DWORD action = ExistingFileAction(job);
    const WCHAR* extension = settings.ocrFormat == 1 ? (upper ? u"HTML" : u"html")
                             : TextOutputOn(job)     ? (upper ? u"OCR.TXT" : u"ocr.txt")
                                                     : (upper ? u"TXT" : u"txt");
    std::u16string text = InDirectory(ReplaceExtension(output, extension), settings.ocrDirectory);
    // The unique-name generator tries another name when this one is taken.
    if (unique && firstPage && tw::devmode::GetFileGenerationMethod(&job.m_DevMode) <= 2 && PathExists(text)) {
      SetLastError(ERROR_FILE_EXISTS);
      return FALSE;
    }
    if (!Settle(text, action == kActionOverwrite && startsFile, action == kActionNewName)) return FALSE;
    job.m_Naming.m_szOcrTextFileName = text;
    if (firstPage) job.m_Naming.m_szOcrFileNameforStartApp = text;

    if (job.m_bWriteOcrBitmaps) {
      const std::u16string& directory =
          settings.ocrBitmapDirectory.empty() ? settings.ocrDirectory : settings.ocrBitmapDirectory;
      // The page number is the output's own (a file per page carries it).
      std::u16string bitmap = InDirectory(ReplaceExtension(output, u"bmp"), directory);
      if (!Settle(bitmap, action == kActionOverwrite, true)) return FALSE;
      job.m_Naming.m_szOcrBitmapFileName = bitmap;
    }
  }
  return TRUE;
}
