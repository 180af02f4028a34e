// Dialog templates: the builder module authors use (tw/modulekit.h) and the
// reader DialogBoxParamW uses (tw::module::ParseDialogTemplate). Both follow
// the DLGTEMPLATE / DLGITEMTEMPLATE layout the resource compiler writes:
// 16-bit-aligned strings and ordinals, each item on a 32-bit boundary.
#include <algorithm>

#include "tw/lasterror.h"
#include "tw/modulekit.h"
#include "winerror.h"

namespace tw::res {
namespace {

void putWord(std::vector<BYTE>& out, WORD w) {
  out.push_back(static_cast<BYTE>(w & 0xFF));
  out.push_back(static_cast<BYTE>(w >> 8));
}

void putDword(std::vector<BYTE>& out, DWORD d) {
  putWord(out, static_cast<WORD>(d & 0xFFFF));
  putWord(out, static_cast<WORD>(d >> 16));
}

void putString(std::vector<BYTE>& out, std::u16string_view text) {
  for (char16_t c : text) putWord(out, c);
  putWord(out, 0);
}

// A class, title or menu: 0xFFFF followed by an ordinal, or a string.
void putIdOrString(std::vector<BYTE>& out, const ResId& value) {
  if (value.IsInt()) {
    putWord(out, 0xFFFF);
    putWord(out, value.Id());
  } else {
    putString(out, value.Name());
  }
}

void putRect(std::vector<BYTE>& out, const Rect& r) {
  for (SHORT v : {r.x, r.y, r.cx, r.cy}) putWord(out, static_cast<WORD>(v));
}

}  // namespace

DialogTemplate::DialogTemplate(std::u16string_view title, Rect rect, DWORD style)
    : title_(title), rect_(rect), style_(style), pointSize_(8), faceName_(u"MS Shell Dlg") {}

DialogTemplate& DialogTemplate::Font(WORD pointSize, std::u16string_view faceName) {
  pointSize_ = pointSize;
  faceName_ = faceName;
  return *this;
}

DialogTemplate& DialogTemplate::ExStyle(DWORD exStyle) {
  exStyle_ = exStyle;
  return *this;
}

DialogTemplate& DialogTemplate::Control(ResId windowClass, ResId title, WORD id, Rect rect, DWORD style,
                                        DWORD exStyle) {
  // Controls are visible children, as the resource compiler makes them.
  items_.push_back({std::move(windowClass), std::move(title), id, rect, style | kWsChild | kWsVisible, exStyle});
  return *this;
}

DialogTemplate& DialogTemplate::Static(std::u16string_view text, Rect rect, WORD id, DWORD style) {
  return Control(kClassStatic, ResId(text), id, rect, style | kWsGroup);
}

DialogTemplate& DialogTemplate::Edit(WORD id, Rect rect, DWORD style) {
  return Control(kClassEdit, ResId(std::u16string_view()), id, rect, style);
}

DialogTemplate& DialogTemplate::Button(std::u16string_view text, WORD id, Rect rect, DWORD style) {
  return Control(kClassButton, ResId(text), id, rect, style);
}

DialogTemplate& DialogTemplate::DefButton(std::u16string_view text, WORD id, Rect rect) {
  return Button(text, id, rect, kBsDefPushButton | kWsTabStop);
}

DialogTemplate& DialogTemplate::Icon(WORD iconId, Rect rect, WORD id) {
  return Control(kClassStatic, ResId(static_cast<int>(iconId)), id, rect, kSsIcon);
}

std::vector<BYTE> DialogTemplate::Bytes() const {
  std::vector<BYTE> out;
  bool font = !faceName_.empty();
  putDword(out, style_ | (font ? kDsSetFont : 0));
  putDword(out, exStyle_);
  putWord(out, static_cast<WORD>(items_.size()));
  putRect(out, rect_);
  putWord(out, 0);  // no menu
  putWord(out, 0);  // the predefined dialog class
  putString(out, title_);
  if (font) {
    putWord(out, pointSize_);
    putString(out, faceName_);
  }
  for (const auto& item : items_) {
    while (out.size() % 4) out.push_back(0);
    putDword(out, item.style);
    putDword(out, item.exStyle);
    putRect(out, item.rect);
    putWord(out, item.id);
    putIdOrString(out, item.windowClass);
    putIdOrString(out, item.title);
    putWord(out, 0);  // no creation data
  }
  return out;
}

Resources Dialog(ResId name, const DialogTemplate& dialog, WORD language) {
  return {{RT_DIALOG, std::move(name), language, dialog.Bytes()}};
}

}  // namespace tw::res

namespace tw::module {
namespace {

class Reader {
 public:
  explicit Reader(std::span<const BYTE> bytes) : bytes_(bytes) {}
  bool Word(WORD& w) {
    if (pos_ + 2 > bytes_.size()) return false;
    w = static_cast<WORD>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return true;
  }
  bool Dword(DWORD& d) {
    WORD lo, hi;
    if (!Word(lo) || !Word(hi)) return false;
    d = lo | (DWORD(hi) << 16);
    return true;
  }
  bool Short(SHORT& s) {
    WORD w;
    if (!Word(w)) return false;
    s = static_cast<SHORT>(w);
    return true;
  }
  bool String(std::u16string& text) {
    text.clear();
    for (WORD w; Word(w);) {
      if (!w) return true;
      text += static_cast<char16_t>(w);
    }
    return false;
  }
  // 0x0000: none; 0xFFFF: an ordinal follows; anything else starts a string.
  bool IdOrString(WORD& ordinal, std::u16string& text) {
    ordinal = 0;
    text.clear();
    if (pos_ + 2 > bytes_.size()) return false;
    WORD first = static_cast<WORD>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    if (first == 0xFFFF) {
      pos_ += 2;
      return Word(ordinal);
    }
    return String(text);
  }
  bool Skip(size_t n) {
    if (n > bytes_.size() - pos_) return false;
    pos_ += n;
    return true;
  }
  void AlignDword() { pos_ = std::min(bytes_.size(), (pos_ + 3) & ~size_t(3)); }
  size_t Pos() const { return pos_; }

 private:
  std::span<const BYTE> bytes_;
  size_t pos_ = 0;
};

bool fail(DWORD error) {
  SetLastError(error);
  return false;
}

}  // namespace

bool ParseDialogTemplate(std::span<const BYTE> bytes, DialogDesc& out) {
  out = DialogDesc{};
  // DLGTEMPLATEEX starts with version 1 and signature 0xFFFF.
  if (bytes.size() >= 4 && bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xFF && bytes[3] == 0xFF)
    return fail(ERROR_NOT_SUPPORTED);
  Reader r(bytes);
  WORD count;
  if (!r.Dword(out.style) || !r.Dword(out.exStyle) || !r.Word(count) || !r.Short(out.x) || !r.Short(out.y) ||
      !r.Short(out.cx) || !r.Short(out.cy) || !r.IdOrString(out.menuOrdinal, out.menuName) ||
      !r.IdOrString(out.classOrdinal, out.className) || !r.String(out.title))
    return fail(ERROR_INVALID_DATA);
  if ((out.style & res::kDsSetFont) && (!r.Word(out.pointSize) || !r.String(out.faceName)))
    return fail(ERROR_INVALID_DATA);
  for (WORD i = 0; i < count; ++i) {
    r.AlignDword();
    DialogItem item;
    WORD extra;
    if (!r.Dword(item.style) || !r.Dword(item.exStyle) || !r.Short(item.x) || !r.Short(item.y) ||
        !r.Short(item.cx) || !r.Short(item.cy) || !r.Word(item.id) ||
        !r.IdOrString(item.classOrdinal, item.className) || !r.IdOrString(item.titleOrdinal, item.title) ||
        !r.Word(extra))
      return fail(ERROR_INVALID_DATA);
    // The creation data's size word counts itself.
    if (extra > 2) {
      size_t start = r.Pos();
      if (!r.Skip(extra - 2u)) return fail(ERROR_INVALID_DATA);
      item.creationData.assign(bytes.begin() + start, bytes.begin() + start + (extra - 2u));
    }
    out.items.push_back(std::move(item));
  }
  return true;
}

}  // namespace tw::module
