#include "job/settings/catalogue.h"

#include <array>
#include <string>

#include "job/settings/catalogue_meanings.h"
#include "job/settings/value_text.h"
#include "tw/casefold.h"
#include "tw/utf.h"

namespace tw::settings {
namespace {

// The row vocabulary of catalogue_rows.h.
constexpr DefaultValue NUM(LONGLONG n) { return {true, n, nullptr}; }
constexpr DefaultValue TXT(const char16_t* t) { return {true, 0, t}; }
constexpr DefaultValue NONE{false, 0, nullptr};
constexpr DefaultValue ON{true, 1, nullptr};
constexpr DefaultValue OFF{true, 0, nullptr};
constexpr DefaultValue EMPTY{true, 0, u""};
constexpr int SA(int n) { return n; }
constexpr int NOSA = -1;
constexpr Rule NORULE = Rule::None;
constexpr Rule ZeroWhenKeyMissing = Rule::ZeroWhenKeyMissing;
constexpr Rule Brightness100Else40 = Rule::Brightness100Else40;
constexpr Rule WatermarkPositionCode = Rule::WatermarkPositionCode;
constexpr Rule Percent0To100 = Rule::Percent0To100;
constexpr Rule ScrambledXor47 = Rule::ScrambledXor47;
constexpr Rule ScrambledHex6C = Rule::ScrambledHex6C;
constexpr Rule SaveAsTextYesExact = Rule::SaveAsTextYesExact;
constexpr Rule DefaultIsInterfaceName = Rule::DefaultIsInterfaceName;
constexpr Rule NotWrittenInPackage = Rule::NotWrittenInPackage;
struct MergeSpec {
  MergeRule rule;
  MergeField field;
};
constexpr MergeSpec NOMERGE{MergeRule::None, MergeField::None};
constexpr MergeSpec MERGE_EVERY(MergeField f) { return {MergeRule::EveryJob, f}; }
constexpr MergeSpec MERGE_LAST(MergeField f) { return {MergeRule::LastJob, f}; }
constexpr MergeSpec MERGE_GROUP(MergeField f) { return {MergeRule::WholeGroup, f}; }
constexpr MergeSpec MERGE_LAST_ONLY{MergeRule::LastJobOnly, MergeField::None};
constexpr MergeField OpenWithViewer = MergeField::OpenWithViewer;
constexpr MergeField OpenFolder = MergeField::OpenFolder;
constexpr MergeField Email = MergeField::Email;
constexpr MergeField SharePoint = MergeField::SharePoint;
constexpr MergeField Ftp = MergeField::Ftp;
constexpr MergeField Http = MergeField::Http;
constexpr MergeField Ocr = MergeField::Ocr;
constexpr MergeField Encryption = MergeField::Encryption;

// The meanings by row: every row must have exactly one.
struct MeaningTable {
  std::array<const char16_t*, static_cast<std::size_t>(SettingId::Count)> text{};
  bool twice = false;
};
constexpr MeaningTable MakeMeanings() {
  MeaningTable table;
  auto set = [&table](SettingId id, const char16_t* text) {
    auto& slot = table.text[static_cast<std::size_t>(id)];
    table.twice = table.twice || slot != nullptr;
    slot = text;
  };
#define TW_SETTING_MEANING(Id, Text) set(SettingId::Id, Text);
  TW_SETTING_MEANINGS(TW_SETTING_MEANING)
#undef TW_SETTING_MEANING
  return table;
}
constexpr MeaningTable kMeanings = MakeMeanings();
static_assert(!kMeanings.twice, "a catalogue row has two meanings");
constexpr bool EveryRowHasMeaning() {
  for (const char16_t* text : kMeanings.text)
    if (text == nullptr || *text == u'\0') return false;
  return true;
}
static_assert(EveryRowHasMeaning(), "a catalogue row has no meaning");

constexpr SettingDef Row(const char16_t* id, Store store, const char16_t* group, const char16_t* name,
                         ValueType type, DefaultValue def, DWORD size, int saveAs, Rule rule, MergeSpec merge,
                         const char16_t* meaning) {
  return {id, store, group, name, type, def, size, saveAs, rule, merge.rule, merge.field, meaning};
}

#define TW_SETTING_ROW(Id, StoreV, Group, Name, Type, Def, Size, SaveAs, RuleV, Merge) \
  Row(u## #Id, Store::StoreV, Group, Name, ValueType::Type, Def, Size, SaveAs, RuleV, Merge, \
      kMeanings.text[static_cast<std::size_t>(SettingId::Id)]),
constexpr std::array kSettings = {TW_SETTINGS_CATALOGUE(TW_SETTING_ROW)};
#undef TW_SETTING_ROW
static_assert(kSettings.size() == static_cast<std::size_t>(SettingId::Count));

#define TW_SAVE_AS_NAME(Id, Number, Name) Name,
constexpr std::array kSaveAsDwordNames = {TW_SAVE_AS_DWORDS(TW_SAVE_AS_NAME)};
constexpr std::array kSaveAsTextNames = {TW_SAVE_AS_TEXTS(TW_SAVE_AS_NAME)};
#undef TW_SAVE_AS_NAME

// The numbers must run 0, 1, 2, ... so that a number indexes its name.
#define TW_SAVE_AS_NUMBER(Id, Number, Name) Number,
constexpr std::array kSaveAsDwordNumbers = {TW_SAVE_AS_DWORDS(TW_SAVE_AS_NUMBER)};
constexpr std::array kSaveAsTextNumbers = {TW_SAVE_AS_TEXTS(TW_SAVE_AS_NUMBER)};
#undef TW_SAVE_AS_NUMBER
template <std::size_t N>
constexpr bool Consecutive(const std::array<int, N>& numbers) {
  for (std::size_t i = 0; i < N; ++i)
    if (numbers[i] != static_cast<int>(i)) return false;
  return true;
}
static_assert(Consecutive(kSaveAsDwordNumbers) && kSaveAsDwordNumbers.size() == kSaveAsDwordCount);
static_assert(Consecutive(kSaveAsTextNumbers) && kSaveAsTextNumbers.size() == kSaveAsTextCount);

}  // namespace

const SettingDef& Definition(SettingId id) { return kSettings[static_cast<std::size_t>(id)]; }

std::span<const SettingDef> AllSettings() { return kSettings; }

const SettingDef* FindSetting(std::u16string_view group, std::u16string_view name) {
  for (const SettingDef& d : kSettings)
    if (EqualsNoCase(group, d.group) && EqualsNoCase(name, d.name)) return &d;
  return nullptr;
}

const char16_t* SaveAsDwordName(DWORD number) {
  return number < kSaveAsDwordNames.size() ? kSaveAsDwordNames[number] : nullptr;
}

const char16_t* SaveAsTextName(DWORD number) {
  return number < kSaveAsTextNames.size() ? kSaveAsTextNames[number] : nullptr;
}

DWORD LimitNumber(const SettingDef& def, DWORD value) {
  switch (def.rule) {
    case Rule::Brightness100Else40: return value > 100 ? 40 : value;
    case Rule::WatermarkPositionCode: return IsWatermarkPositionCode(value) ? value : 4;
    case Rule::Percent0To100: {
      LONG v = static_cast<LONG>(value);
      return v < 0 ? 0 : (v > 100 ? 100 : static_cast<DWORD>(v));
    }
    default: return value;
  }
}

std::u16string_view TypeWord(ValueType type) {
  switch (type) {
    case ValueType::Dword: return u"DWORD";
    case ValueType::Number: return u"number";
    case ValueType::Yes: return u"yes";
    case ValueType::No: return u"no";
    case ValueType::Text: return u"text";
    case ValueType::Flag: return u"flag";
    case ValueType::Binary: return u"binary";
    case ValueType::Any: return u"any";
    case ValueType::DecimalText: return u"decimal text";
    case ValueType::IniInt: return u"integer";
    case ValueType::IniText: return u"text";
  }
  return u"?";
}

std::u16string DefaultText(const SettingDef& def) {
  if (def.rule == Rule::DefaultIsInterfaceName) return u"the job's messaging interface name";
  if (!def.def.present) return u"none";
  switch (def.type) {
    case ValueType::Yes:
    case ValueType::No:
    case ValueType::Flag: return def.def.number ? u"on" : u"off";
    case ValueType::Text:
    case ValueType::IniText:
    case ValueType::Binary:
    case ValueType::Any: return def.def.text ? def.def.text : u"";
    default: break;
  }
  std::u16string text = FromUtf8(std::to_string(def.def.number));
  if (def.rule == Rule::ZeroWhenKeyMissing) text += u" (0 when the key is missing)";
  return text;
}

std::vector<CatalogueRow> CatalogueRows() {
  auto number = [](LONGLONG n) { return FromUtf8(std::to_string(n)); };
  std::vector<CatalogueRow> rows;
  for (const SettingDef& d : kSettings) {
    CatalogueRow row;
    row.group = d.store == Store::Ini ? u"INI:" + std::u16string(d.group) : std::u16string(d.group);
    row.name = d.name;
    row.type = TypeWord(d.type);
    row.defaultText = DefaultText(d);
    row.size = d.size ? number(d.size) : u"";
    row.saveAs = d.saveAs >= 0 ? number(d.saveAs) : u"";
    row.meaning = d.meaning;
    rows.push_back(std::move(row));
  }
  for (DWORD n = 0; n < kSaveAsDwordCount; ++n)
    rows.push_back({kSaveAsGroup, kSaveAsDwordNames[n], u"DWORD", u"", u"", number(n)});
  for (DWORD n = 0; n < kSaveAsTextCount; ++n)
    rows.push_back({kSaveAsGroup, kSaveAsTextNames[n], u"text", u"", number(kSaveAsTextSize), number(n)});
  return rows;
}

}  // namespace tw::settings
