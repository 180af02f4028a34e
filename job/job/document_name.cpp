// CTWJob::SetDocumentName: the document name without the decorations
// applications add to their window titles.
#include <string>
#include <string_view>

#include "job/job/tw_job.h"
#include "tw/wcrt.h"

namespace {

constexpr std::u16string_view kRemovedTexts[] = {
    u"Microsoft Word - ", u"Microsoft PowerPoint - ", u"Crystal Reports - ", u" [Compatibility Mode]",
    u" - Compatibility Mode", u"  -  Compatibility Mode", u" - Read-Only", u"  -  Read-Only", u" [Read-Only]",
    u".txt - \u30E1\u30E2\u5E33", u" - \u30E1\u30E2\u5E33", u".txt - Notepad", u" - Notepad",
};
constexpr std::u16string_view kRemovedEndings[] = {u" pdf", u" PDF", u".pdf", u".PDF",
                                                   u" pmd", u" PMD", u".pmd", u".PMD"};

void RemoveAll(std::u16string& name, std::u16string_view text) {
  std::size_t at = 0;
  while ((at = name.find(text, at)) != std::u16string::npos) name.erase(at, text.size());
}

}  // namespace

void CTWJob::SetDocumentName(const WCHAR* name) {
  if (!name) return;
  std::u16string_view given(name);
  if (given.size() >= MAX_PATH) given = given.substr(0, MAX_PATH - 1);
  wcsncpy_s(m_szOriginalDocumentName, MAX_PATH, given.data(), given.size());

  std::u16string clean(given);
  for (auto text : kRemovedTexts) RemoveAll(clean, text);
  if (clean.starts_with(u"Visio-")) clean.erase(0, 6);
  for (auto ending : kRemovedEndings)
    if (clean.ends_with(ending)) clean.erase(clean.size() - ending.size());
  if (clean.find(u'\\') != std::u16string::npos && clean.size() >= 4 &&
      ((clean[1] == u':' && clean[2] == u'\\') || (clean[0] == u'\\' && clean[1] == u'\\')))
    clean.erase(0, clean.rfind(u'\\') + 1);
  wcsncpy_s(m_szDocumentName, MAX_PATH, clean.data(), clean.size());
}
