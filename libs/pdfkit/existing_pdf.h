// Opening a PDF the libraries append to, with qpdf: it must be a PDF qpdf
// can read, and an encrypted one must open with one of the given passwords.
#pragma once
#include <qpdf/QPDF.hh>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace twpdf {

enum class OpenResult { Ok, NotPdf, Encrypted };

// Tries no password, then each of `passwords` (UTF-8, as revision 6 takes
// them, then in PDFDocEncoding as earlier revisions do); qpdf's warnings are
// kept quiet. The page tree is read, so a broken one counts as not a PDF.
// On success `pdf` holds the document and `pages` its page count.
OpenResult OpenExistingPdf(std::unique_ptr<QPDF>& pdf, const std::filesystem::path& file,
                           const std::vector<std::string>& passwords, int* pages = nullptr);

// A password as a PDF reader compares it: revision 6 takes UTF-8, earlier
// ones PDFDocEncoding (characters it lacks become '?').
std::string PasswordBytes(const std::string& utf8, bool aes256);

}  // namespace twpdf
