// Post-print hand-off: the start-of-document keys and the application start.
#pragma once

#include "tw/wintypes.h"

class CTWJob;

// Writes the start-of-document hand-off keys of the features enabled for the job.
BOOL WriteStartDocHandOffKeys(CTWJob& job);
// Starts the job's post-print or client application.
BOOL StartApplication(CTWJob& job);
// Starts the application before printing and/or for messaging (the
// DEVMODE exchange).
BOOL StartApplication(CTWJob& job, BOOL beforePrinting, BOOL forMessaging);
// Allocates the job's post-print ID and starts the application starter, once
// per job that runs in the spooler's context.
BOOL InitApplicationStarter(CTWJob& job);

// After a page: the e-mail sending program (content-split e-mail, first
// sheet), the content file the page started, and the page's output file for
// the application started after printing.
BOOL WriteEmailSendingProgramforStartApp(CTWJob& job);
BOOL WriteContentFileForStartApp(CTWJob& job);
BOOL WriteFileNameToRegistryforStartApp(CTWJob& job);

// The XML summary of the XML formats, for the SharePoint uploader and the
// e-mail sender ("XML Filename"), when each is effective.
BOOL AddXMLFiletoRegistryForSharePointUploader(CTWJob& job);
BOOL AddXMLFiletoRegistryForEmailSender(CTWJob& job);
