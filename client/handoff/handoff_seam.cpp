// Stand-in for the post-print hand-off until it is built.
#include "client/handoff/handoff.h"

BOOL WriteStartDocHandOffKeys(CTWJob&) { return TRUE; }
BOOL StartApplication(CTWJob&) { return TRUE; }
BOOL StartApplication(CTWJob&, BOOL, BOOL) { return TRUE; }
BOOL InitApplicationStarter(CTWJob&) { return TRUE; }
BOOL WriteEmailSendingProgramforStartApp(CTWJob&) { return TRUE; }
BOOL WriteContentFileForStartApp(CTWJob&) { return TRUE; }
BOOL WriteFileNameToRegistryforStartApp(CTWJob&) { return TRUE; }
BOOL AddXMLFiletoRegistryForSharePointUploader(CTWJob&) { return TRUE; }
BOOL AddXMLFiletoRegistryForEmailSender(CTWJob&) { return TRUE; }
