// The moment a document is made, in the two forms PDF keeps it: the
// document information's date string and XMP's ISO 8601, both in the
// machine's local time with its offset from UTC.
#pragma once
#include <string>

namespace twpdf {

struct PdfStamp {
  std::string pdf;  // D:YYYYMMDDHHmmSS+HH'mm'
  std::string xmp;  // YYYY-MM-DDTHH:mm:SS+HH:mm
};

PdfStamp Now();

}  // namespace twpdf
