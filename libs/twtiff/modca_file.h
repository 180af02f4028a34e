// The IOCA and MO:DCA files: a MO:DCA document of one page per image.
#pragma once
#include <windows.h>

#include <string_view>

namespace twtiff::modca {

// Writes the page as a new one-page document `name` (created or replaced).
bool SaveIocaFile(std::u16string_view name, HGLOBAL dib, int compression, int quality);

// Adds the page after the last page of the document `name` (`position` -1,
// or the number of pages it holds); a missing or empty file becomes a new
// document. A file that is not such a document is left alone.
bool InsertModcaPage(std::u16string_view name, int position, HGLOBAL dib, int compression, int quality);

}  // namespace twtiff::modca
