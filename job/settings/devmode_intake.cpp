#include "job/settings/devmode_intake.h"

#include <cstring>

#include "job/devmode/devmode_access.h"
#include "job/settings/value_text.h"
#include "tw/utf.h"
#include "windows.h"

namespace tw::settings {

namespace dm = tw::devmode;

std::u16string CleanDocumentName(const SettingsScope& scope, std::u16string_view documentName) {
  std::u16string name(documentName);
  std::u16string remove = Read(scope, NamingRemoveTextFromDocumentName);
  if (remove.empty()) return name;
  for (size_t at = name.find(remove); at != std::u16string::npos; at = name.find(remove, at)) name.erase(at, remove.size());
  return name;
}

bool TakeJobDataType(const SettingsScope& scope) {
  std::u16string type = Read(scope, JobDataType);
  Delete(scope, Definition(JobDataType));
  return type == u"RAW" || type == u"TEXT";
}

bool TakeIncomingRecord(TarnwickDEVMODE& copy, const TarnwickDEVMODE& incoming, bool first,
                        const EffectiveContext& ctx) {
  if (!first) {
    EffectiveContext mine{ctx.scope, &copy, ctx.merge, ctx.tiffViewer};
    EffectiveContext theirs{ctx.scope, &incoming, ctx.merge, ctx.tiffViewer};
    if (EffectiveFileFormat(mine) != EffectiveFileFormat(theirs)) return false;
  }
  std::memcpy(&copy, &incoming, sizeof copy);
  return true;
}

bool ReplaceInconsistentRecord(TarnwickDEVMODE& copy, const TarnwickDEVMODE* userDefault) {
  if (dm::HasConsistentSize(copy) || !userDefault) return false;
  TarnwickDEVMODE replacement;
  std::memcpy(&replacement, userDefault, sizeof replacement);
  const auto& from = copy.DM;
  auto& to = replacement.DM;
  if (from.dmOrientation == 1 || from.dmOrientation == 2) to.dmOrientation = from.dmOrientation;
  if (from.dmPaperSize > 0) to.dmPaperSize = from.dmPaperSize;
  if (from.dmPaperLength > 0 && from.dmPaperWidth > 0) {
    to.dmPaperLength = from.dmPaperLength;
    to.dmPaperWidth = from.dmPaperWidth;
    to.dmScale = from.dmScale;
  }
  if (from.dmPrintQuality > 0 && from.dmYResolution > 0) {
    to.dmPrintQuality = from.dmPrintQuality;
    to.dmYResolution = from.dmYResolution;
  }
  std::memcpy(&copy, &replacement, sizeof copy);
  return true;
}

bool ApplyForcedPageSettings(const SettingsScope& scope, TarnwickDEVMODE& record) {
  bool paper = Read(scope, PageForcePaperEnabled);
  if (!paper && !Read(scope, PageForceDpiEnabled)) return false;
  if (paper) {
    record.DM.dmPaperSize = static_cast<SHORT>(Read(scope, PageForcePaperSize));
    dm::SetPaperWidth(record, static_cast<LONG>(Read(scope, PageForcePaperWidth)));
    dm::SetPaperLength(record, static_cast<LONG>(Read(scope, PageForcePaperHeight)));
  }
  dm::SetResolution(record, static_cast<LONG>(Read(scope, PageForcePaperXDpi)),
                    static_cast<LONG>(Read(scope, PageForcePaperYDpi)));
  if (paper) {
    record.PaperWidthInPixels = static_cast<LONG>(Read(scope, PageForcePaperWidthInPixels));
    record.PaperHeightInPixels = static_cast<LONG>(Read(scope, PageForcePaperHeightInPixels));
  }
  record.Flags = record.Flags & ~dm::flags::UserResolution;
  return true;
}

SharingSettings ReadSharingSettings(const SettingsScope& scope) {
  return {Read(scope, IniIgnoreDevmodeFromClients) != 0, Read(scope, IniIgnoreExtendedDevmodeFromClients) != 0};
}

OcrBitmapSettings ReadOcrBitmapSettings(const SettingsScope& scope) {
  OcrBitmapSettings s;
  s.directory = Read(scope, IniOcrBitmapDirectory);
  std::u16string write = Read(scope, IniOcrWriteBitmaps);
  s.write = IsYes(write);
  return s;
}

MessagingInterface ResolveMessagingInterface(const SettingsScope& scope, const TarnwickDEVMODE& record) {
  MessagingInterface mi;
  if (TextRead perJob = TryReadText(scope, JobMessagingInterfaceName); perJob.found && !perJob.value.empty()) {
    mi.name = perJob.value;
    mi.id = Read(scope, JobMessagingInterfaceId);
  } else if (TextRead printer = TryReadText(scope, MessagingInterfaceName); printer.found && !printer.value.empty()) {
    mi.name = printer.value;
    mi.id = Read(scope, MessagingInterfaceId);
  } else {
    mi.name = Read(scope, IniInterfaceName);
    mi.id = static_cast<DWORD>(Read(scope, IniSessionId));
    if (mi.name.empty()) {
      mi.name = record.MessagingInterfaceName.Get();
      mi.id = record.SessionID;
    }
  }
  mi.sessionUnknown = Read(scope, JobWindowsSessionId) == 0;
  return mi;
}

OutputSwitches ApplyInMemorySwitch(TarnwickDEVMODE& record, std::vector<std::u16string>* log) {
  OutputSwitches s;
  s.generateInMemory = (record.Flags & dm::flags::GenerateInMemory) != 0;
  s.noFileOutput = (record.Flags & dm::flags::NoFileOutput) != 0;
  if (log)
    log->push_back((record.Flags & dm::flags::MessagingInterface) ? u"Messaging interface enabled."
                                                                   : u"Messaging interface disabled.");
  if (s.generateInMemory) {
    record.Flags = record.Flags & ~dm::flags::NoFileOutput;
    s.noFileOutput = false;
  }
  if (log)
    log->push_back(s.generateInMemory ? u"Generate output in memory enabled." : u"Generate output in memory disabled.");
  return s;
}

JobTimeouts ReadJobTimeouts(const SettingsScope& scope, std::vector<std::u16string>* log) {
  JobTimeouts t;
  t.startApplication = Read(scope, IniStartApplicationTimeout);
  t.messaging = Read(scope, IniMessagingTimeout);
  t.messaging2 = Read(scope, IniMessagingTimeout2);
  t.allowAnisotropicDpi = Read(scope, IniAllowAnisotropicDpi) != 0;
  if (log) {
    auto line = [&](const char16_t* name, INT value) {
      log->push_back(std::u16string(name) + u" = " + FromUtf8(std::to_string(value)));
    };
    line(u"Start Application Timeout", t.startApplication);
    line(u"Messaging Timeout", t.messaging);
    line(u"Messaging Timeout 2", t.messaging2);
  }
  return t;
}

}  // namespace tw::settings
