#include "image_document.h"

#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>

#include "dib_image.h"
#include "existing_pdf.h"
#include "pdf_dates.h"
#include "tw/utf.h"
#include "tw_pdf_image.h"

namespace twpdf {
namespace {

// Objects 1 to 3 are written last; pages start at 4.
constexpr int kCatalog = 1, kPages = 2, kInfo = 3, kFirstFree = 4;

std::string num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.4f", v);
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s;
}

}  // namespace

int ImageDocument::Fail(int code, const std::string& text) {
  error_ = code;
  errorText_ = tw::FromUtf8(text);
  return code;
}

bool ImageDocument::Write(const void* data, std::size_t size) {
  if (size && std::fwrite(data, 1, size, file_) != size) return false;
  offset_ += static_cast<long long>(size);
  return true;
}

bool ImageDocument::BeginObject(int number) {
  if (offsets_.size() <= std::size_t(number)) offsets_.resize(std::size_t(number) + 1, 0);
  offsets_[std::size_t(number)] = offset_;
  return Write(std::to_string(number) + " 0 obj\n");
}

int ImageDocument::Create(LPCWSTR fileName) {
  if (state_ != State::New) return Fail(TWPDF_IMAGE_ERROR_STATE, "the document was created already");
  if (!fileName || !*fileName) return Fail(TWPDF_IMAGE_ERROR_ARGUMENT, "no file name");
  DWORD error = 0;
  target_ = HostPath(fileName, error);
  if (target_.empty()) return Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the file name cannot be used (Win32 error " + std::to_string(error) + ")");
  std::error_code ec;
  append_ = std::filesystem::exists(target_, ec);
  if (append_) {
    // Pages are added behind the existing ones: it must be a PDF we can read.
    std::unique_ptr<QPDF> existing;
    switch (OpenExistingPdf(existing, target_, {})) {
      case OpenResult::Ok: break;
      case OpenResult::Encrypted: return Fail(TWPDF_IMAGE_ERROR_ENCRYPTED, "the existing file is an encrypted PDF");
      case OpenResult::NotPdf: return Fail(TWPDF_IMAGE_ERROR_NOT_PDF, "the existing file is not a PDF that can be read");
    }
  }
  stage_ = std::make_unique<StagedOutput>(target_);
  if (!stage_->Ok() || !(file_ = std::fopen(stage_->Path().c_str(), "wb"))) {
    stage_.reset();
    return Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the folder of the file cannot take a new file");
  }
  offsets_.assign(kFirstFree, 0);
  static const char header[] = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  if (!Write(header, sizeof(header) - 1)) return Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the file cannot be written");
  state_ = State::Open;
  return 0;
}

int ImageDocument::SavePage(HGLOBAL dib, DWORD compression, int quality) {
  if (state_ != State::Open) return Fail(TWPDF_IMAGE_ERROR_STATE, "the document is not open");
  if (!dib) return Fail(TWPDF_IMAGE_ERROR_ARGUMENT, "no page");
  const BYTE* bytes = static_cast<const BYTE*>(GlobalLock(dib));
  if (!bytes) return Fail(TWPDF_IMAGE_ERROR_ARGUMENT, "the page is not a memory block");
  PdfImage image;
  std::string why;
  int code = MakePdfImage(bytes, GlobalSize(dib), compression, quality, image, why);
  GlobalUnlock(dib);
  if (code) return Fail(code, why);

  int imageObject = int(offsets_.size()), contentObject = imageObject + 1, pageObject = imageObject + 2;
  double w = image.width / image.dpiX * 72, h = image.height / image.dpiY * 72;
  std::string dict = "<< /Type /XObject /Subtype /Image /Width " + std::to_string(image.width) + " /Height " +
                     std::to_string(image.height) + " /ColorSpace " + image.colorSpace + " /BitsPerComponent " +
                     std::to_string(image.bitsPerComponent) + " /Filter " + image.filter;
  if (!image.decodeParms.empty()) dict += " /DecodeParms " + image.decodeParms;
  if (!image.decode.empty()) dict += " /Decode " + image.decode;
  dict += " /Length " + std::to_string(image.data.size()) + " >>\nstream\n";
  std::string content = "q " + num(w) + " 0 0 " + num(h) + " 0 0 cm /Im0 Do Q\n";
  bool ok = BeginObject(imageObject) && Write(dict) && Write(image.data.data(), image.data.size()) &&
            Write("\nendstream\nendobj\n") && BeginObject(contentObject) &&
            Write("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream\nendobj\n") &&
            BeginObject(pageObject) &&
            Write("<< /Type /Page /Parent " + std::to_string(kPages) + " 0 R /MediaBox [0 0 " + num(w) + " " + num(h) +
                  "] /Resources << /XObject << /Im0 " + std::to_string(imageObject) + " 0 R >> >> /Contents " +
                  std::to_string(contentObject) + " 0 R >>\nendobj\n");
  if (!ok) return Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the file cannot be written (disk full?)");
  pageObjects_.push_back(pageObject);
  return 0;
}

bool ImageDocument::WriteTrailerPart() {
  std::string kids;
  for (int p : pageObjects_) kids += std::to_string(p) + " 0 R ";
  std::string producer = "(TwPdfImage 17.63)";
  if (!BeginObject(kPages) ||
      !Write("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageObjects_.size()) + " >>\nendobj\n") ||
      !BeginObject(kCatalog) || !Write("<< /Type /Catalog /Pages " + std::to_string(kPages) + " 0 R >>\nendobj\n") ||
      !BeginObject(kInfo) ||
      !Write("<< /Producer " + producer + " /CreationDate (" + Now().pdf + ") >>\nendobj\n"))
    return false;
  long long xref = offset_;
  std::string table = "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
  for (std::size_t i = 1; i < offsets_.size(); ++i) {
    char entry[24];
    std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", offsets_[i]);
    table += entry;
  }
  std::string id = RandomId();
  table += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + std::to_string(kCatalog) +
           " 0 R /Info " + std::to_string(kInfo) + " 0 R /ID [<" + id + "> <" + id + ">] >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
  return Write(table);
}

int ImageDocument::MergeIntoExisting() {
  // The new pages go behind the existing ones; the result takes the
  // existing file's place only once it is complete.
  try {
    std::unique_ptr<QPDF> existing;
    switch (OpenExistingPdf(existing, target_, {})) {
      case OpenResult::Ok: break;
      case OpenResult::Encrypted: return Fail(TWPDF_IMAGE_ERROR_ENCRYPTED, "the existing file is an encrypted PDF");
      case OpenResult::NotPdf: return Fail(TWPDF_IMAGE_ERROR_NOT_PDF, "the existing file is not a PDF that can be read");
    }
    QPDF added;
    added.setSuppressWarnings(true);
    added.processFile(stage_->Path().c_str());
    QPDFPageDocumentHelper pages(*existing);
    for (auto& page : QPDFPageDocumentHelper(added).getAllPages()) pages.addPage(page, false);
    StagedOutput merged(target_);
    if (!merged.Ok()) return Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the folder of the file cannot take a new file");
    QPDFWriter writer(*existing, merged.Path().c_str());
    writer.write();
    if (!merged.Commit()) return Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the file cannot be replaced");
    return 0;
  } catch (const std::exception& e) {
    return Fail(TWPDF_IMAGE_ERROR_APPEND, std::string("the pages cannot be added to the existing file: ") + e.what());
  }
}

int ImageDocument::Finish() {
  if (state_ != State::Open) return Fail(TWPDF_IMAGE_ERROR_STATE, "the document is not open");
  bool ok = WriteTrailerPart();
  ok = std::fflush(file_) == 0 && ok;
  ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  state_ = State::Finished;
  if (!ok) {
    stage_.reset();
    return Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the file cannot be written (disk full?)");
  }
  int code = 0;
  if (!append_) {
    if (!stage_->Commit()) code = Fail(TWPDF_IMAGE_ERROR_OUTPUT, "the file cannot be put in its place");
  } else if (!pageObjects_.empty()) {
    code = MergeIntoExisting();
  }
  stage_.reset();
  return code;
}

void ImageDocument::Abandon(int code) {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  stage_.reset();  // removes the staging file: the target is untouched
  if (state_ == State::Open || state_ == State::New) {
    state_ = State::Abandoned;
    if (code) Fail(code, "abandoned");
  }
}

}  // namespace twpdf
