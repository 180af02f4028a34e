// The monitor's event message table (ids 100-102). The monitor module
// carries it as its RT_MESSAGETABLE resource by listing it in its resource
// table:
//
//   TW_RESOURCES(..., EventMessageTable());
//
// An event reader then finds the texts through the source's
// "EventMessageFile" (the module's path), as on Windows.
#pragma once
#include <windows.h>

#include "tw/modulekit.h"

inline constexpr DWORD MSG_PRINTING_FINISHED = 0x64;
inline constexpr DWORD MSG_PRINTING_ABORTED = 0x65;
inline constexpr DWORD MSG_PRINTING_ERROR = 0x66;

// Insertion strings of the entries: ten for 0x64 and 0x65, eleven for 0x66.
inline constexpr WORD EVENT_JOB_STRINGS = 10;
inline constexpr WORD EVENT_ERROR_STRINGS = 11;

// The text of one id (null for another id), as stored in the table.
const WCHAR* EventMessageText(DWORD id);
// The resource group for TW_RESOURCES.
tw::res::Resources EventMessageTable();
