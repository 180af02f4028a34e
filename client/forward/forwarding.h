// Printer forwarding: the keys the forwarding program reads at the end of a
// document.
#pragma once

#include <string>
#include <vector>

#include "tw/wintypes.h"

class CTWJob;

// The end-of-document keys, when forwarding is on for the job.
BOOL WriteEndDocForPrinterForwardingToRegistry(CTWJob& job);
// Tells the forwarding program that this job forwards nothing (post-print
// actions, an application, merge mode, cover pages or Save-As are on).
BOOL WriteNoRedirectMsgForPrinterForwardingToRegistry(CTWJob& job);
// The forwarding data of a page: its metafile file (`pageFile`, `size`
// bytes) and one decoration metafile per copy. The forwarding program takes
// the files; until it is built the files are removed here.
BOOL WritePrinterForwardingDataToRegistry(CTWJob& job, const WCHAR* pageFile, DWORD size,
                                          const std::vector<std::u16string>& copyFiles);
