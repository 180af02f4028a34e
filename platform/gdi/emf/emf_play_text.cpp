// Playing the text records. They go to ExtTextOutW/A and PolyTextOutW/A, so
// whatever text engine the DC has draws them; when it cannot (no font
// engine, missing face), the record fails and playback goes on.
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "../text_seam.h"
#include "emf_playback.h"

namespace tw::emf {
namespace {

// One EMRTEXT item of a record, with its string and spacing array copied out
// of the record (both checked against it).
struct TextItem {
  POINT origin{};
  UINT options = 0;
  RECT rect{};
  std::u16string wide;
  std::string narrow;
  std::vector<INT> dx;  // empty: no spacing array
  UINT count = 0;
};

bool readItem(const RecordView& r, const EMRTEXT& t, bool wide, TextItem& item) {
  item.origin = {t.ptlReference.x, t.ptlReference.y};
  item.options = t.fOptions;
  item.rect = {t.rcl.left, t.rcl.top, t.rcl.right, t.rcl.bottom};
  item.count = t.nChars;
  size_t charSize = wide ? 2 : 1;
  if (t.nChars > r.Size()) return false;  // more characters than the record has bytes
  if (t.nChars != 0 && !r.Contains(t.offString, size_t(t.nChars) * charSize)) return false;
  if (wide) {
    item.wide.resize(t.nChars);
    if (t.nChars) std::memcpy(item.wide.data(), r.Data() + t.offString, size_t(t.nChars) * 2);
  } else {
    item.narrow.assign(reinterpret_cast<const char*>(r.Data() + t.offString), t.nChars);
  }
  if (t.offDx != 0 && t.nChars != 0) {
    size_t n = size_t(t.nChars) * ((t.fOptions & ETO_PDY) ? 2 : 1);
    if (!r.Contains(t.offDx, n * sizeof(INT))) return false;
    item.dx.resize(n);
    std::memcpy(item.dx.data(), r.Data() + t.offDx, n * sizeof(INT));
  }
  return true;
}

const RECT* rectFor(const TextItem& item) {
  return (item.options & (ETO_OPAQUE | ETO_CLIPPED)) ? &item.rect : nullptr;
}

PlayResult extTextOut(PlaybackContext& c, const RecordView& r, bool wide) {
  auto* rec = r.As<EMREXTTEXTOUTW>();
  if (!rec) return PlayResult::Malformed;
  TextItem item;
  if (!readItem(r, rec->emrtext, wide, item)) return PlayResult::Malformed;
  const INT* dx = item.dx.empty() ? nullptr : item.dx.data();
  std::optional<tw::gdi::text::CompatibleTextScope> compatible;
  if (rec->iGraphicsMode != GM_ADVANCED) compatible.emplace();
  if (wide)
    return Result(ExtTextOutW(c.hdc, item.origin.x, item.origin.y, item.options, rectFor(item), item.wide.c_str(),
                              item.count, dx));
  return Result(ExtTextOutA(c.hdc, item.origin.x, item.origin.y, item.options, rectFor(item), item.narrow.c_str(),
                            item.count, dx));
}

PlayResult polyTextOut(PlaybackContext& c, const RecordView& r, bool wide) {
  auto* rec = r.AsAtLeast<EMRPOLYTEXTOUTW>(offsetof(EMRPOLYTEXTOUTW, aemrtext));
  if (!rec) return PlayResult::Malformed;
  if (rec->cStrings < 0) return PlayResult::Malformed;
  bool ok = true;
  auto texts = r.Array<EMRTEXT>(offsetof(EMRPOLYTEXTOUTW, aemrtext), size_t(rec->cStrings), ok);
  if (!ok) return PlayResult::Malformed;
  std::vector<TextItem> items(texts.size());
  for (size_t i = 0; i < texts.size(); ++i)
    if (!readItem(r, texts[i], wide, items[i])) return PlayResult::Malformed;
  if (items.empty()) return PlayResult::Ok;
  std::optional<tw::gdi::text::CompatibleTextScope> compatible;
  if (rec->iGraphicsMode != GM_ADVANCED) compatible.emplace();
  if (wide) {
    std::vector<POLYTEXTW> list(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      const TextItem& t = items[i];
      list[i] = {t.origin.x, t.origin.y, t.count, t.wide.c_str(), t.options, t.rect,
                 t.dx.empty() ? nullptr : const_cast<int*>(t.dx.data())};
    }
    return Result(PolyTextOutW(c.hdc, list.data(), int(list.size())));
  }
  std::vector<POLYTEXTA> list(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    const TextItem& t = items[i];
    list[i] = {t.origin.x, t.origin.y, t.count, t.narrow.c_str(), t.options, t.rect,
               t.dx.empty() ? nullptr : const_cast<int*>(t.dx.data())};
  }
  return Result(PolyTextOutA(c.hdc, list.data(), int(list.size())));
}

PlayResult smallTextOut(PlaybackContext& c, const RecordView& r) {
  auto* rec = r.As<EMRSMALLTEXTOUT>();
  if (!rec) return PlayResult::Malformed;
  size_t at = sizeof(EMRSMALLTEXTOUT);
  RECT rect{};
  bool haveRect = !(rec->fuOptions & ETO_NO_RECT);
  if (haveRect) {
    if (!r.Contains(at, sizeof(RECTL))) return PlayResult::Malformed;
    std::memcpy(&rect, r.Data() + at, sizeof(RECTL));
    at += sizeof(RECTL);
  }
  bool small = rec->fuOptions & ETO_SMALL_CHARS;
  if (rec->cChars > r.Size() || !r.Contains(at, size_t(rec->cChars) * (small ? 1 : 2))) return PlayResult::Malformed;
  std::u16string text(rec->cChars, u'\0');
  if (small) {
    for (DWORD i = 0; i < rec->cChars; ++i) text[i] = r.Data()[at + i];  // 8-bit codes widened
  } else if (rec->cChars) {
    std::memcpy(text.data(), r.Data() + at, size_t(rec->cChars) * 2);
  }
  UINT options = rec->fuOptions & ~(ETO_NO_RECT | ETO_SMALL_CHARS);
  std::optional<tw::gdi::text::CompatibleTextScope> compatible;
  if (rec->iGraphicsMode != GM_ADVANCED) compatible.emplace();
  const RECT* clip = haveRect && (options & (ETO_OPAQUE | ETO_CLIPPED)) ? &rect : nullptr;
  return Result(ExtTextOutW(c.hdc, rec->x, rec->y, options, clip, text.c_str(), rec->cChars, nullptr));
}

}  // namespace

PlayResult PlayTextRecord(PlaybackContext& c, const RecordView& r, bool& handled) {
  handled = true;
  switch (r.Type()) {
    case EMR_EXTTEXTOUTW: return extTextOut(c, r, true);
    case EMR_EXTTEXTOUTA: return extTextOut(c, r, false);
    case EMR_POLYTEXTOUTW: return polyTextOut(c, r, true);
    case EMR_POLYTEXTOUTA: return polyTextOut(c, r, false);
    case EMR_SMALLTEXTOUT: return smallTextOut(c, r);
    default:
      handled = false;
      return PlayResult::Ok;
  }
}

}  // namespace tw::emf
