// The settings scope of a job's record, kept while the record's fields that
// decide it stay the same. Working the scope out reads the registry (the
// printer registered for the record's printer id), and a page asks for it
// dozens of times; the job forgets it at every page and record, so a printer
// registered or renamed meanwhile counts from the next page on.
#pragma once

#include <optional>
#include <string>

#include "job/devmode/tarnwick_devmode.h"
#include "job/settings/settings_store.h"

namespace tw::job {

class SettingsScopeCache {
 public:
  const tw::settings::SettingsScope& Get(const TarnwickDEVMODE& record, DWORD jobId, const WCHAR* iniFile) {
    Key key{record.PrinterID,    record.DM.dmDeviceName.Get(), record.ClientFlags, record.UserSID.Get(), jobId,
            std::u16string(iniFile)};
    if (!m_scope || !(key == m_key)) {
      m_scope = tw::settings::ScopeForRecord(record, jobId, iniFile);
      m_key = std::move(key);
    }
    return *m_scope;
  }
  void Forget() { m_scope.reset(); }

 private:
  struct Key {
    DWORD printerId = 0;
    std::u16string deviceName;
    DWORD clientFlags = 0;
    std::u16string userSid;
    DWORD jobId = 0;
    std::u16string iniFile;
    bool operator==(const Key&) const = default;
  };
  Key m_key;
  std::optional<tw::settings::SettingsScope> m_scope;
};

}  // namespace tw::job
