// The event log: event sources that report entries, and readers that read
// them back in the EVENTLOGRECORD layout, as on Windows.
//
// Entries live in the machine root (log/eventlog.db, SQLite in WAL mode):
// several processes may report at once, and a writer killed half-way loses
// nothing that was already reported. A source is looked up under
// HKLM\SYSTEM\CurrentControlSet\Services\EventLog\<log>\<source>; a source
// registered nowhere reports into "Application". Handles are kernel handles
// of the layer's table but must be closed with DeregisterEventSource /
// CloseEventLog, as on Windows.
#pragma once
#include "tw/security.h"
#include "tw/wintypes.h"

#ifndef RPC_S_SERVER_UNAVAILABLE
#define RPC_S_SERVER_UNAVAILABLE 1722L
#endif

#define EVENTLOG_SUCCESS 0x0000
#define EVENTLOG_ERROR_TYPE 0x0001
#define EVENTLOG_WARNING_TYPE 0x0002
#define EVENTLOG_INFORMATION_TYPE 0x0004
#define EVENTLOG_AUDIT_SUCCESS 0x0008
#define EVENTLOG_AUDIT_FAILURE 0x0010

#define EVENTLOG_SEQUENTIAL_READ 0x0001
#define EVENTLOG_SEEK_READ 0x0002
#define EVENTLOG_FORWARDS_READ 0x0004
#define EVENTLOG_BACKWARDS_READ 0x0008

#pragma pack(push, 1)
// Followed by SourceName and Computername (null-terminated), padding to a
// DWORD, the user SID, the strings (each null-terminated), the data, padding
// to a DWORD, and the Length once more.
typedef struct _EVENTLOGRECORD {
  DWORD Length;
  DWORD Reserved;  // 0x654C664C, "LfLe"
  DWORD RecordNumber;
  DWORD TimeGenerated;  // seconds since 1970-01-01 UTC
  DWORD TimeWritten;
  DWORD EventID;
  WORD EventType;
  WORD NumStrings;
  WORD EventCategory;
  WORD ReservedFlags;
  DWORD ClosingRecordNumber;
  DWORD StringOffset;
  DWORD UserSidLength;
  DWORD UserSidOffset;
  DWORD DataLength;
  DWORD DataOffset;
} EVENTLOGRECORD, *PEVENTLOGRECORD;
#pragma pack(pop)
static_assert(sizeof(EVENTLOGRECORD) == 56);
static_assert(offsetof(EVENTLOGRECORD, EventType) == 24);
static_assert(offsetof(EVENTLOGRECORD, StringOffset) == 36);
static_assert(offsetof(EVENTLOGRECORD, DataOffset) == 52);

#define EVENTLOG_RECORD_SIGNATURE 0x654C664Cu
// Largest record ReportEventW accepts (as on Windows, a little under 256 KB).
#define EVENTLOG_MAX_RECORD_SIZE 0x3FFF8u
// Longest single insertion string.
#define EVENTLOG_MAX_STRING_CHARS 31839u

// lpUNCServerName: null, empty, or this computer ("NAME" or "\\NAME");
// another computer fails with RPC_S_SERVER_UNAVAILABLE. A corrupt or foreign
// store fails with ERROR_EVENTLOG_FILE_CORRUPT (tw::eventlog::LastProblem()
// in tw/eventlog_internal.h says why, in words).
TWAPI HANDLE RegisterEventSourceW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName);
TWAPI BOOL DeregisterEventSource(HANDLE hEventLog);
// wType one of the EVENTLOG_*_TYPE values; strings must not be null (up to
// EVENTLOG_MAX_STRING_CHARS each); lpUserSid null or a valid SID.
TWAPI BOOL ReportEventW(HANDLE hEventLog, WORD wType, WORD wCategory, DWORD dwEventID, PSID lpUserSid,
                        WORD wNumStrings, DWORD dwDataSize, LPCWSTR* lpStrings, LPVOID lpRawData);
// lpSourceName names the log ("Application", "System", or a log key under
// Services\EventLog); an unknown name opens "Application", as on Windows.
TWAPI HANDLE OpenEventLogW(LPCWSTR lpUNCServerName, LPCWSTR lpSourceName);
TWAPI BOOL CloseEventLog(HANDLE hEventLog);
// Reads as many whole records as fit. The first record not fitting:
// ERROR_INSUFFICIENT_BUFFER with its size in *pnMinNumberOfBytesNeeded; no
// record left: ERROR_HANDLE_EOF. A seek read starts at dwRecordOffset
// (ERROR_INVALID_PARAMETER when that record does not exist); sequential reads
// continue where the last read ended (the oldest / newest at first).
TWAPI BOOL ReadEventLogW(HANDLE hEventLog, DWORD dwReadFlags, DWORD dwRecordOffset, LPVOID lpBuffer,
                         DWORD nNumberOfBytesToRead, DWORD* pnBytesRead, DWORD* pnMinNumberOfBytesNeeded);
TWAPI BOOL GetNumberOfEventLogRecords(HANDLE hEventLog, PDWORD NumberOfRecords);
// 0 for an empty log.
TWAPI BOOL GetOldestEventLogRecord(HANDLE hEventLog, PDWORD OldestRecord);
