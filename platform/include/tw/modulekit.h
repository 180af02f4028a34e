// What a module's author writes to give the module what a Windows module
// carries besides named functions: exports by ordinal and resources.
// docs/modules.md explains the convention with a full example.
//
//   #include <windows.h>
//   #include "tw/modulekit.h"
//
//   TW_EXPORT BOOL WINAPI DllMain(HINSTANCE h, DWORD reason, LPVOID) { ... }
//   TW_EXPORT HGLOBAL WINAPI ReduceColors(HGLOBAL dib, int bits, int variant);
//   TW_ORDINAL(98, ReduceColors);
//
//   TW_RESOURCES(
//     tw::res::Strings({{10, u"Tarnwick Port Monitor"}}),
//     tw::res::Dialog(103, tw::res::DialogTemplate(u"Add Tarnwick Port", {0, 0, 186, 62})
//                               .Static(u"Enter port name:", {7, 7, 120, 8})
//                               .Edit(1001, {7, 18, 172, 14})
//                               .DefButton(u"OK", IDOK, {75, 40, 50, 14})
//                               .Button(u"Cancel", IDCANCEL, {129, 40, 50, 14})),
//     tw::res::MessageTable({{0x64, u"Printing finished successfully%n..."}}));
#pragma once
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "tw/module.h"

// Exports a function or object from a module with its plain (C) name.
#define TW_EXPORT extern "C" __attribute__((visibility("default")))

// Exports `function` by ordinal `n` (a decimal literal).
#define TW_ORDINAL(n, function)                          \
  TW_EXPORT const TW_ORDINAL_EXPORT tw_ordinal_##n = {   \
      TW_ORDINAL_MAGIC, n, reinterpret_cast<FARPROC>(&(function))}

// Declares the module's resources: a list of tw::res builders. The table is
// built the first time the loader asks for it and lives as long as the module.
#define TW_RESOURCES(...)                                           \
  TW_EXPORT const TW_RESOURCE_TABLE* tw_resources(void) {           \
    static const ::tw::res::Table table{__VA_ARGS__};               \
    return table.Get();                                             \
  }

namespace tw::res {

// Dialog and control styles the builders use (the values of winuser.h).
inline constexpr DWORD kWsPopup = 0x80000000, kWsChild = 0x40000000, kWsVisible = 0x10000000,
                       kWsCaption = 0x00C00000, kWsBorder = 0x00800000, kWsSysMenu = 0x00080000,
                       kWsGroup = 0x00020000, kWsTabStop = 0x00010000;
inline constexpr DWORD kDsSetFont = 0x40, kDsModalFrame = 0x80, kDsCenter = 0x0800;
inline constexpr DWORD kEsAutoHScroll = 0x0080;
inline constexpr DWORD kBsPushButton = 0x0, kBsDefPushButton = 0x1;
inline constexpr DWORD kSsLeft = 0x0, kSsIcon = 0x3;
inline constexpr WORD kClassButton = 0x80, kClassEdit = 0x81, kClassStatic = 0x82;
inline constexpr WORD kDefaultLanguage = 0;  // LANG_NEUTRAL

// A resource type or name: an integer id or a string.
class ResId {
 public:
  ResId(int id) : id_(static_cast<WORD>(id)) {}  // NOLINT: ids are written as plain numbers
  // MAKEINTRESOURCEW(n) and "#n" mean the integer n, as in FindResourceW.
  ResId(const char16_t* name);                     // NOLINT
  ResId(std::u16string_view name);
  bool IsInt() const { return isInt_; }
  WORD Id() const { return id_; }
  const std::u16string& Name() const { return name_; }

 private:
  bool isInt_ = true;
  WORD id_ = 0;
  std::u16string name_;
};

struct Resource {
  ResId type;
  ResId name;
  WORD language;
  std::vector<BYTE> bytes;
};
using Resources = std::vector<Resource>;

struct StringEntry {
  UINT id;
  std::u16string_view text;
};
struct MessageEntry {
  DWORD id;
  std::u16string_view text;
};
struct Rect {
  SHORT x, y, cx, cy;
};

// String table: the RT_STRING blocks (16 strings each) holding these ids.
TWCPPAPI Resources Strings(std::initializer_list<StringEntry> strings, WORD language = kDefaultLanguage);
// Message table (RT_MESSAGETABLE, name 1), UTF-16 entries; each text is
// stored as given ("%n", "%1" are FormatMessage's business).
TWCPPAPI Resources MessageTable(std::initializer_list<MessageEntry> messages, WORD language = kDefaultLanguage,
                                ResId name = 1);
// Raw bytes under RT_RCDATA, or under any type.
TWCPPAPI Resources RcData(ResId name, std::span<const BYTE> bytes, WORD language = kDefaultLanguage);
TWCPPAPI Resources Raw(ResId type, ResId name, std::span<const BYTE> bytes, WORD language = kDefaultLanguage);

// Builds DLGTEMPLATE bytes. Coordinates are dialog units, as in .rc files.
class TWCPPAPI DialogTemplate {
 public:
  // Default style: a modal frame popup with caption and system menu; default
  // font 8 pt "MS Shell Dlg" (Font("") leaves DS_SETFONT off).
  explicit DialogTemplate(std::u16string_view title, Rect rect,
                          DWORD style = kWsPopup | kWsCaption | kWsSysMenu | kDsModalFrame);
  DialogTemplate& Font(WORD pointSize, std::u16string_view faceName);
  DialogTemplate& ExStyle(DWORD exStyle);
  // Any control: a predefined class ordinal (kClassButton...) or a class name.
  DialogTemplate& Control(ResId windowClass, ResId title, WORD id, Rect rect, DWORD style, DWORD exStyle = 0);
  DialogTemplate& Static(std::u16string_view text, Rect rect, WORD id = 0xFFFF, DWORD style = kSsLeft);
  DialogTemplate& Edit(WORD id, Rect rect, DWORD style = kEsAutoHScroll | kWsBorder | kWsTabStop);
  DialogTemplate& Button(std::u16string_view text, WORD id, Rect rect, DWORD style = kBsPushButton | kWsTabStop);
  DialogTemplate& DefButton(std::u16string_view text, WORD id, Rect rect);
  // A static icon control showing icon resource `iconId`.
  DialogTemplate& Icon(WORD iconId, Rect rect, WORD id = 0xFFFF);
  std::vector<BYTE> Bytes() const;

 private:
  struct Item {
    ResId windowClass;
    ResId title;
    WORD id;
    Rect rect;
    DWORD style, exStyle;
  };
  std::u16string title_;
  Rect rect_;
  DWORD style_, exStyle_ = 0;
  WORD pointSize_ = 0;
  std::u16string faceName_;
  std::vector<Item> items_;
};
TWCPPAPI Resources Dialog(ResId name, const DialogTemplate& dialog, WORD language = kDefaultLanguage);

// The table TW_RESOURCES exports.
class TWCPPAPI Table {
 public:
  Table(std::initializer_list<Resources> groups);
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  const TW_RESOURCE_TABLE* Get() const { return &table_; }

 private:
  std::vector<Resource> resources_;
  std::vector<TW_RESOURCE_ENTRY> entries_;
  TW_RESOURCE_TABLE table_{};
};

}  // namespace tw::res
