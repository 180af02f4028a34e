// Printer forwarding: the keys the forwarding program reads at the end of a
// document.
#pragma once

#include "tw/wintypes.h"

class CTWJob;

// The end-of-document keys, when forwarding is on for the job.
BOOL WriteEndDocForPrinterForwardingToRegistry(CTWJob& job);
// Tells the forwarding program that this job forwards nothing (post-print
// actions, an application, merge mode, cover pages or Save-As are on).
BOOL WriteNoRedirectMsgForPrinterForwardingToRegistry(CTWJob& job);
