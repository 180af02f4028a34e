#include "tools/twspool/settings_command.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <string_view>

#include "job/settings/catalogue.h"
#include "job/settings/settings_store.h"
#include "tools/twreg/regfile.h"
#include "tw/utf.h"
#include "windows.h"

namespace twspool {

namespace ts = tw::settings;
using ts::ValueType;

namespace {

constexpr char kUsage[] = "usage: twspool settings PRINTER [--reg] [--ini FILE]\n";

// One instance of a key group: the catalogue rows it holds and the number
// that fills its "%d" (Bates profiles, FTP connections).
struct GroupInstance {
  const char16_t* group;
  ts::Store store;
  std::optional<DWORD> number;
  std::vector<const ts::SettingDef*> rows;
};

bool HasNumber(const char16_t* text) { return std::u16string_view(text).find(u"%d") != std::u16string_view::npos; }

std::u16string RootName(ts::Store store) {
  return store == ts::Store::DefaultUser ? u"HKEY_USERS" : u"HKEY_CURRENT_USER";
}
HKEY RootKey(ts::Store store) { return store == ts::Store::DefaultUser ? HKEY_USERS : HKEY_CURRENT_USER; }

// The numbers of the existing subkeys of a numbered group ("...\BatesNumbering\2").
std::vector<DWORD> ExistingNumbers(const ts::SettingsScope& scope, const ts::SettingDef& def) {
  std::u16string path = ts::KeyPath(scope, def, ts::Fill{0, std::nullopt});
  path.resize(path.rfind(u'\\'));
  std::vector<DWORD> numbers;
  HKEY key = nullptr;
  if (RegOpenKeyExW(RootKey(def.store), path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return numbers;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD chars = 256;
    if (RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::u16string_view text(name, chars);
    if (text.empty() || text.size() > 9 || text.find_first_not_of(u"0123456789") != std::u16string_view::npos)
      continue;
    numbers.push_back(static_cast<DWORD>(std::stoul(tw::ToUtf8(text))));
  }
  RegCloseKey(key);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

// The printer's groups in catalogue order. Per-job keys, the printer-ID
// table and values named by a number are left out: they belong to jobs
// and to printer installation, not to a printer's template.
std::vector<GroupInstance> Groups(const ts::SettingsScope& scope, bool withIni) {
  std::vector<GroupInstance> groups;
  std::map<std::u16string, size_t> seen;
  for (const ts::SettingDef& def : ts::AllSettings()) {
    if (def.store == ts::Store::Absolute || HasNumber(def.name)) continue;
    if (def.store == ts::Store::Ini && !withIni) continue;
    if (std::u16string_view(def.group) == u"%s\\%d") continue;
    std::u16string label = RootName(def.store) + (def.store == ts::Store::Ini ? u"INI:" : u"") + std::u16string(def.group);
    auto it = seen.find(label);
    if (it == seen.end()) {
      std::vector<std::optional<DWORD>> numbers{std::nullopt};
      if (HasNumber(def.group)) {
        numbers.clear();
        for (DWORD n : ExistingNumbers(scope, def)) numbers.push_back(n);
        if (numbers.empty()) numbers.push_back(1);  // a template of the first one
      }
      it = seen.emplace(label, groups.size()).first;
      for (auto n : numbers) groups.push_back({def.group, def.store, n, {}});
    }
    for (size_t i = it->second;
         i < groups.size() && std::u16string_view(groups[i].group) == def.group && groups[i].store == def.store; ++i)
      groups[i].rows.push_back(&def);
  }
  return groups;
}

ts::Fill FillOf(const GroupInstance& g) { return ts::Fill{g.number, std::nullopt}; }

std::u16string Number(LONGLONG n) { return tw::FromUtf8(std::to_string(n)); }

// The value as the monitor reads it (defaults and reading rules applied).
std::u16string EffectiveText(const ts::SettingsScope& scope, const ts::SettingDef& def, const ts::Fill& fill) {
  auto id = static_cast<ts::SettingId>(&def - ts::AllSettings().data());
  auto onOff = [](bool on) { return std::u16string(on ? u"on" : u"off"); };
  switch (def.type) {
    case ValueType::Dword: return Number(ts::Read(scope, ts::Setting<ValueType::Dword>{id}, fill));
    case ValueType::Number: return Number(ts::Read(scope, ts::Setting<ValueType::Number>{id}, fill));
    case ValueType::DecimalText: return Number(ts::Read(scope, ts::Setting<ValueType::DecimalText>{id}, fill));
    case ValueType::Yes: return onOff(ts::Read(scope, ts::Setting<ValueType::Yes>{id}, fill));
    case ValueType::No: return onOff(ts::Read(scope, ts::Setting<ValueType::No>{id}, fill));
    case ValueType::Flag: return onOff(ts::Read(scope, ts::Setting<ValueType::Flag>{id}, fill));
    case ValueType::Text: return u"\"" + ts::Read(scope, ts::Setting<ValueType::Text>{id}, fill) + u"\"";
    case ValueType::Binary:
      return Number(static_cast<LONGLONG>(ts::Read(scope, ts::Setting<ValueType::Binary>{id}, fill).size())) +
             u" bytes";
    case ValueType::Any: {
      auto raw = ts::Read(scope, ts::Setting<ValueType::Any>{id}, fill);
      return raw ? Number(static_cast<LONGLONG>(raw->data.size())) + u" bytes" : u"none";
    }
    case ValueType::IniInt: return Number(ts::Read(scope, ts::Setting<ValueType::IniInt>{id}));
    case ValueType::IniText: return u"\"" + ts::Read(scope, ts::Setting<ValueType::IniText>{id}) + u"\"";
  }
  return {};
}

bool IsSet(const ts::SettingsScope& scope, const ts::SettingDef& def, const ts::Fill& fill) {
  if (def.store == ts::Store::Ini) {
    std::u16string section(def.group), name(def.name);
    WCHAR probe[2];
    // A value the file holds differs from either of two distinct defaults.
    DWORD a = GetPrivateProfileStringW(section.c_str(), name.c_str(), u"\x01", probe, 2, scope.iniFile.c_str());
    return !(a == 1 && probe[0] == u'\x01');
  }
  return ts::ReadRaw(scope, def, fill).has_value();
}

std::vector<BYTE> TextBytes(std::u16string_view text) {
  std::vector<BYTE> bytes((text.size() + 1) * 2, 0);
  std::memcpy(bytes.data(), text.data(), text.size() * 2);
  return bytes;
}

std::vector<BYTE> DwordBytes(DWORD value) {
  std::vector<BYTE> bytes(4);
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

// The default in the value's stored form; empty when the row has none to write.
std::optional<twreg::RegValue> DefaultValue(const ts::SettingDef& def, const std::u16string& name) {
  if (!def.def.present || def.rule == ts::Rule::DefaultIsInterfaceName) return std::nullopt;
  twreg::RegValue v;
  v.name = name;
  auto number = static_cast<LONG>(def.def.number);
  switch (def.type) {
    case ValueType::Dword:
    case ValueType::Flag:
      v.type = REG_DWORD;
      v.data = DwordBytes(static_cast<DWORD>(number));
      return v;
    case ValueType::Number:
    case ValueType::DecimalText:
      v.type = REG_SZ;
      v.data = TextBytes(Number(number));
      return v;
    case ValueType::Yes:
      v.type = REG_SZ;
      v.data = TextBytes(number ? u"yes" : u"no");
      return v;
    case ValueType::No:
      v.type = REG_SZ;
      v.data = TextBytes(number ? u"no" : u"yes");
      return v;
    case ValueType::Text:
      v.type = REG_SZ;
      v.data = TextBytes(def.def.text ? def.def.text : u"");
      return v;
    default: return std::nullopt;
  }
}

}  // namespace

std::u16string RegComment(std::u16string_view text) {
  std::u16string out;
  auto emit = [&out](std::u16string line) {
    if (!line.empty() && line.back() == u'\\') line += u" ;";
    out += u"; " + line + u"\r\n";
  };
  std::u16string line;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(u' ', at);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view word = text.substr(at, end - at);
    at = end + 1;
    if (word.empty()) continue;
    if (!line.empty() && 2 + line.size() + 1 + word.size() > kRegCommentWidth) {
      emit(std::move(line));
      line.clear();
    }
    if (!line.empty()) line += u' ';
    line += word;
  }
  if (!line.empty()) emit(std::move(line));
  return out;
}

namespace {

// What the template says above a value: its name, type, default and Save-As
// counterpart on the first line (and whether it was set), then its meaning.
std::u16string Description(const ts::SettingDef& def, bool set) {
  std::u16string text = std::u16string(def.name) + u": " + std::u16string(ts::TypeWord(def.type));
  if (def.size) text += u" of at most " + Number(def.size - 1) + u" characters";
  std::u16string byDefault = ts::DefaultText(def);
  text += u", default " + (byDefault.empty() ? u"\"\"" : byDefault);
  if (def.saveAs >= 0) text += u", Save-As value " + Number(def.saveAs) + u" overrides it";
  if (set) text += u"; set";
  return RegComment(text) + RegComment(def.meaning);
}

}  // namespace

bool ParseSettingsArgs(const std::vector<std::string>& args, SettingsOptions& options, std::string& error) {
  options = {};
  bool havePrinter = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--reg") {
      options.reg = true;
    } else if (a == "--ini") {
      if (i + 1 == args.size()) {
        error = "--ini needs a FILE.";
        return false;
      }
      options.iniFile = tw::FromUtf8(args[++i]);
    } else if (a.starts_with("--")) {
      error = "unknown option " + a + ".";
      return false;
    } else if (!havePrinter) {
      options.printer = tw::FromUtf8(a);
      havePrinter = true;
    } else {
      error = "only one PRINTER may be given.";
      return false;
    }
  }
  if (!havePrinter || options.printer.empty()) {
    error = "settings needs a PRINTER.";
    return false;
  }
  return true;
}

std::string SettingsListing(const SettingsOptions& options) {
  ts::SettingsScope scope = ts::ScopeForPrinter(options.printer, 0, options.iniFile);
  // The meanings stay out of the listing to keep one short line per value;
  // the template and docs/settings.md carry them.
  std::u16string out = u"Settings of printer \"" + options.printer +
                       u"\" (* set, otherwise the default; --reg says what each value is for)\n";
  if (options.iniFile.empty()) out += u"The printer's INI file was not given: INI values are not listed.\n";
  for (const GroupInstance& g : Groups(scope, !options.iniFile.empty())) {
    ts::Fill fill = FillOf(g);
    const ts::SettingDef& first = *g.rows.front();
    if (g.store == ts::Store::Ini)
      out += u"\n[INI " + options.iniFile + u": " + std::u16string(g.group) + u"]\n";
    else
      out += u"\n[" + RootName(g.store) + u"\\" + ts::KeyPath(scope, first, fill) + u"]\n";
    for (const ts::SettingDef* def : g.rows) {
      out += IsSet(scope, *def, fill) ? u"* " : u"  ";
      out += ts::ValueName(scope, *def, fill) + u" = " + EffectiveText(scope, *def, fill) + u"\n";
    }
  }
  return tw::ToUtf8(out);
}

std::string SettingsRegFile(const SettingsOptions& options) {
  ts::SettingsScope scope = ts::ScopeForPrinter(options.printer, 0, options.iniFile);
  std::u16string out = twreg::kRegFileHeader;
  out += u"; Settings of printer \"" + options.printer + u"\". Above each value: its type and default, then what it\r\n"
         u"; is for. A value marked \"; set\" was set; the others hold their defaults. A commented value\r\n"
         u"; has no default: it counts only when present.\r\n\r\n";
  for (const GroupInstance& g : Groups(scope, false)) {
    ts::Fill fill = FillOf(g);
    out += u"[" + RootName(g.store) + u"\\" + ts::KeyPath(scope, *g.rows.front(), fill) + u"]\r\n";
    for (const ts::SettingDef* def : g.rows) {
      std::u16string name = ts::ValueName(scope, *def, fill);
      auto raw = ts::ReadRaw(scope, *def, fill);
      out += Description(*def, raw.has_value());
      if (raw) {
        out += twreg::FormatValueLines({name, raw->type, raw->data, false});
      } else if (def->rule == ts::Rule::ZeroWhenKeyMissing) {
        // Its reading depends on whether the key exists: the template keeps the reading.
        auto id = static_cast<ts::SettingId>(def - ts::AllSettings().data());
        DWORD reading = ts::Read(scope, ts::Setting<ValueType::Dword>{id}, fill);
        out += twreg::FormatValueLines({name, REG_DWORD, DwordBytes(reading), false});
      } else if (auto value = DefaultValue(*def, name)) {
        out += twreg::FormatValueLines(*value);
      } else {
        out += u";" + twreg::FormatValueLines({name, REG_SZ, TextBytes(u""), false});
      }
    }
    out += u"\r\n";
  }
  return tw::ToUtf8(out);
}

int RunSettingsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  SettingsOptions options;
  std::string error;
  if (!ParseSettingsArgs(args, options, error)) {
    err << "twspool settings: " << error << "\n" << kUsage;
    return 2;
  }
  out << (options.reg ? SettingsRegFile(options) : SettingsListing(options));
  return 0;
}

}  // namespace twspool
