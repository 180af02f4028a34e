// Messages to the client applications of a job.
#pragma once

#include "job/devmode/tarnwick_devmode.h"
#include "tw/wintypes.h"

class CTWJob;

// Offers the record to the client (the DEVMODE message); the client may
// return a changed record, which replaces `devMode`.
BOOL SendDEVMODEPipeMessage(CTWJob& job, TarnwickDEVMODE& devMode, BOOL first);

// Message numbers: 1 document started, 3 page written, 4 document finished, 5 error.
BOOL SendMessageToClients(CTWJob& job, DWORD message, const WCHAR* text);

// The preview's abort event (the user closed the preview): whether it is there.
BOOL PreviewAbortEventExists(CTWJob& job);
// Sends the preview its overlay image ("Preview Window Overlay"), when one loads.
BOOL SendPreviewOverlay(CTWJob& job);
// Output generated in memory as one multipage output: sends the document's
// image to the client (WM_COPYDATA and pipe), then frees it.
BOOL SendInMemoryDocument(CTWJob& job);
// A page image of the preview (a page DIB, which stays the caller's).
BOOL SendPreviewPage(CTWJob& job, HGLOBAL hDIB);
// Output generated in memory a page at a time: the page's image (a BMP
// file image, a metafile, a TIFF) to the client (WM_COPYDATA and pipe). The
// block stays the caller's.
BOOL SendInMemoryPage(CTWJob& job, HGLOBAL hImage);
// A hook that sees every message a job sends to its clients, before it goes
// out (diagnostics and tests; null by default).
typedef void(WINAPI* TW_CLIENT_MESSAGE_HOOK)(void* context, DWORD message, const WCHAR* text);
void SetClientMessageHook(TW_CLIENT_MESSAGE_HOOK hook, void* context);
void NotifyClientMessage(DWORD message, const WCHAR* text);
// A hook that sees every in-memory image a job hands to its clients, while
// the block is alive (diagnostics and tests; null by default).
typedef void(WINAPI* TW_CLIENT_IMAGE_HOOK)(void* context, HGLOBAL image);
void SetClientImageHook(TW_CLIENT_IMAGE_HOOK hook, void* context);
void NotifyClientImage(HGLOBAL image);
