#include "existing_pdf.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QUtil.hh>

namespace twpdf {

OpenResult OpenExistingPdf(std::unique_ptr<QPDF>& pdf, const std::filesystem::path& file,
                           const std::vector<std::string>& passwords, int* pages) {
  std::vector<std::string> tries{""};
  tries.insert(tries.end(), passwords.begin(), passwords.end());
  bool encrypted = false;
  for (const std::string& password : tries) {
    for (bool aes256 : {true, false}) {
      if ((encrypted && password.empty()) || (!aes256 && PasswordBytes(password, true) == PasswordBytes(password, false)))
        continue;
      try {
        auto attempt = std::make_unique<QPDF>();
        attempt->setSuppressWarnings(true);
        attempt->processFile(file.c_str(), PasswordBytes(password, aes256).c_str());
        int count = int(QPDFPageDocumentHelper(*attempt).getAllPages().size());
        if (pages) *pages = count;
        pdf = std::move(attempt);
        return OpenResult::Ok;
      } catch (const QPDFExc& e) {
        if (e.getErrorCode() != qpdf_e_password) return OpenResult::NotPdf;
        encrypted = true;
      } catch (const std::exception&) {
        return OpenResult::NotPdf;
      }
    }
  }
  return encrypted ? OpenResult::Encrypted : OpenResult::NotPdf;
}

std::string PasswordBytes(const std::string& utf8, bool aes256) {
  if (aes256) return utf8;
  std::string out;
  QUtil::utf8_to_pdf_doc(utf8, out, '?');
  return out;
}

}  // namespace twpdf
