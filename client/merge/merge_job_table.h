// The merge utility's JOBS table as the job sees it: the settings the
// utility chose for one job, handed out by a look at the table.
#pragma once

#include <string>
#include <string_view>

#include "tw/wintypes.h"

namespace tw::merge {

// The values of a job's settings record (type 2) that replace the job's own
// settings while it prints in a merge group.
struct MergeJobSettings {
  DWORD outputFormat = 0;
  BOOL openWithViewer = FALSE;
  BOOL openFolder = FALSE;
  BOOL addToExistingFile = FALSE;
  BOOL redirectPrinting = FALSE;
  BOOL sendByEmail = FALSE;
  BOOL uploadToSharePoint = FALSE;
  BOOL ftpUpload = FALSE;
  BOOL httpUpload = FALSE;
  BOOL imageWatermark = FALSE;
  BOOL ocr = FALSE;
  DWORD pdfEncryption = 0;  // the PDF encryption level
  std::u16string userPassword;   // at most 32 characters
  std::u16string ownerPassword;  // at most 32 characters
  DWORD index = 0;               // the job's place in the group, from 0
  DWORD count = 0;               // jobs in the group
  std::u16string outputFileName;  // at most 259 characters

  // The last job of the group: its index plus one equals the count.
  bool IsLastJob() const { return count != 0 && index + 1 == count; }
};

// The result of one look at the table for a job.
struct MergeTurn {
  BOOL found = FALSE;             // the job's records are in the table
  DWORD utilityProcessId = 0;     // the merge utility that owns the job
  MergeJobSettings settings;      // valid when found
  BOOL cancelled = FALSE;         // the user cancelled the job in the utility
};

// Whether jobs can take part in a merge group. Until the hand-shake is built
// the answer is no: a job then prints without merging, as when no merge
// utility is installed.
BOOL MergeHandShakeAvailable();

// One look at the merge utility's table of the block `baseName` for `jobId`
// (CMergeJobTable::WaitForTurn): TRUE when the job has its turn.
// Not reached until the hand-shake is built (MergeHandShakeAvailable).
BOOL WaitForTurn(std::u16string_view baseName, DWORD jobId, MergeTurn& turn);

}  // namespace tw::merge
