// The steps of taking in a job's DEVMODE record that stand on the record
// and the printer's settings alone: document-name clean-up, data type,
// which record the job keeps, the per-user default for an inconsistent
// record, forced paper and resolution, the client interface, the in-memory
// switch and the time-outs. The job calls them in its own order.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "job/devmode/tarnwick_devmode.h"
#include "job/settings/effective.h"

namespace tw::settings {

// The document name without every occurrence of "Remove Text from Document
// Name" (exact, case-sensitive); unchanged when that value is empty.
std::u16string CleanDocumentName(const SettingsScope& scope, std::u16string_view documentName);

// Reads "Job <id> Data Type" from the printer's key and deletes it; true
// when it was exactly "RAW" or "TEXT".
bool TakeJobDataType(const SettingsScope& scope);

// The job's copy is replaced by the incoming record when it is the first
// one, or when both ask for the same effective output format; a later
// record that changes the format is ignored. Returns true when replaced.
bool TakeIncomingRecord(TarnwickDEVMODE& copy, const TarnwickDEVMODE& incoming, bool first,
                        const EffectiveContext& ctx);

// A copy whose dmSize + dmDriverExtra is not the record size is replaced
// by the printer's per-user default, carrying the copy's orientation (1 or
// 2), paper size (above 0), paper length, width and scale (length and width
// above 0) and resolution (both above 0). Without a default the copy stays.
// Returns true when replaced.
bool ReplaceInconsistentRecord(TarnwickDEVMODE& copy, const TarnwickDEVMODE* userDefault);

// "Page Settings": "Force Paper Enabled" forces paper size, dimensions,
// resolution and pixel size; else "Force DPI Enabled" the resolution only.
// Either clears Flags 0x1000000. Returns true when something was forced.
bool ApplyForcedPageSettings(const SettingsScope& scope, TarnwickDEVMODE& record);

// "Sharing Settings" of the printer's INI file.
struct SharingSettings {
  bool ignoreStandard = false;  // "Ignore DEVMODE from clients"
  bool ignoreExtended = false;  // "Ignore extended DEVMODE from clients"
};
SharingSettings ReadSharingSettings(const SettingsScope& scope);

// "OCR Settings" of the printer's INI file.
struct OcrBitmapSettings {
  std::u16string directory;  // "Bitmap Directory"
  bool write = false;        // "Write Bitmaps" is "yes" in any case
};
OcrBitmapSettings ReadOcrBitmapSettings(const SettingsScope& scope);

// The client interface: the per-job key's name and ID, else "Messaging
// Interface Settings", else the INI's "InterfaceName" and "SessionID",
// else the record's MessagingInterfaceName and SessionID.
struct MessagingInterface {
  std::u16string name;
  DWORD id = 0;
  bool sessionUnknown = false;  // "Windows Session ID" of the per-job key missing or 0
};
MessagingInterface ResolveMessagingInterface(const SettingsScope& scope, const TarnwickDEVMODE& record);

// Flags 0x4000000 (in memory) switches Flags 0x400 (no file) off. The two
// message-capture lines are appended to `log`.
struct OutputSwitches {
  bool generateInMemory = false;
  bool noFileOutput = false;
};
OutputSwitches ApplyInMemorySwitch(TarnwickDEVMODE& record, std::vector<std::u16string>* log = nullptr);

// "Default Settings" of the printer's INI file; the three time-outs are
// appended to `log` as "<name> = <value>".
struct JobTimeouts {
  INT startApplication = 5000;
  INT messaging = 10000;
  INT messaging2 = 10000;
  bool allowAnisotropicDpi = false;
};
JobTimeouts ReadJobTimeouts(const SettingsScope& scope, std::vector<std::u16string>* log = nullptr);

}  // namespace tw::settings
