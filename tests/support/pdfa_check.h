// A checker for the PDF/A-2b rules the engine is responsible for (no
// PDF/A validator is packaged for the build machines): the file's header and
// end, /ID and no encryption, the XMP identification and its agreement with
// the document information, the sRGB output intent and its profile, images
// without interpolation, LZW or alternates, every font embedded (CID fonts
// with a CIDToGIDMap), printable annotations without actions that run
// anything, and page sizes. Each broken rule is one line of the result.
#pragma once
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "pdf_tools.h"

namespace pdftest {

namespace pdfa_detail {

inline std::string xmpValue(const std::string& xmp, const std::string& element) {
  std::smatch m;
  std::regex re("<" + element + ">(?:<rdf:(?:Alt|Seq)><rdf:li[^>]*>)?([^<]*)");
  if (!std::regex_search(xmp, m, re)) return "(missing)";
  std::string v = m[1].str(), out;
  const std::pair<const char*, char> entities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (std::size_t i = 0; i < v.size();) {
    bool replaced = false;
    for (auto [name, c] : entities)
      if (v.compare(i, std::strlen(name), name) == 0) {
        out += c;
        i += std::strlen(name);
        replaced = true;
        break;
      }
    if (!replaced) out += v[i++];
  }
  return out;
}

// D:YYYYMMDDHHmmSS+HH'mm' -> YYYY-MM-DDTHH:mm:SS+HH:mm
inline std::string isoDate(const std::string& pdf) {
  std::smatch m;
  if (!std::regex_match(pdf, m, std::regex("D:(\\d{4})(\\d\\d)(\\d\\d)(\\d\\d)(\\d\\d)(\\d\\d)([+-])(\\d\\d)'(\\d\\d)'?")))
    return "(bad date " + pdf + ")";
  return m[1].str() + "-" + m[2].str() + "-" + m[3].str() + "T" + m[4].str() + ":" + m[5].str() + ":" + m[6].str() +
         m[7].str() + m[8].str() + ":" + m[9].str();
}

}  // namespace pdfa_detail

inline std::vector<std::string> PdfA2bViolations(const std::filesystem::path& file) {
  using pdfa_detail::isoDate;
  using pdfa_detail::xmpValue;
  std::vector<std::string> bad;
  auto bytes = twtest::ReadBytes(file);
  std::string head(bytes.begin(), bytes.begin() + std::ptrdiff_t(std::min<std::size_t>(bytes.size(), 32)));
  if (head.compare(0, 7, "%PDF-1.") != 0) bad.push_back("header is not %PDF-1.n");
  std::size_t eol = head.find('\n');
  int high = 0;
  if (eol != std::string::npos && eol + 1 < head.size() && head[eol + 1] == '%')
    for (std::size_t i = eol + 2; i < head.size() && head[i] != '\n' && head[i] != '\r'; ++i) high += (unsigned char)head[i] > 127;
  if (high < 4) bad.push_back("no binary comment after the header");
  std::string tail(bytes.end() - std::ptrdiff_t(std::min<std::size_t>(bytes.size(), 16)), bytes.end());
  std::size_t eof = tail.rfind("%%EOF");
  if (eof == std::string::npos || tail.find_first_not_of("\r\n", eof + 5) != std::string::npos)
    bad.push_back("data after %%EOF");

  QPDF pdf;
  pdf.setSuppressWarnings(true);
  pdf.processFile(file.c_str());
  QPDFObjectHandle trailer = pdf.getTrailer(), root = pdf.getRoot();
  if (!trailer.getKey("/ID").isArray() || trailer.getKey("/ID").getArrayNItems() != 2) bad.push_back("no /ID");
  if (trailer.hasKey("/Encrypt")) bad.push_back("encrypted");

  QPDFObjectHandle metadata = root.getKey("/Metadata");
  std::string xmp;
  if (!metadata.isStream()) {
    bad.push_back("no XMP metadata");
  } else {
    QPDFObjectHandle d = metadata.getDict();
    if (d.getKey("/Type").unparse() != "/Metadata" || d.getKey("/Subtype").unparse() != "/XML")
      bad.push_back("metadata stream is not /Type /Metadata /Subtype /XML");
    if (d.hasKey("/Filter")) bad.push_back("metadata stream is compressed");
    auto data = metadata.getRawStreamData();
    xmp.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    if (xmpValue(xmp, "pdfaid:part") != "2") bad.push_back("pdfaid:part is not 2");
    if (xmpValue(xmp, "pdfaid:conformance") != "B") bad.push_back("pdfaid:conformance is not B");
  }
  QPDFObjectHandle info = trailer.getKey("/Info");
  auto infoText = [&](const char* key) {
    QPDFObjectHandle v = info.isDictionary() ? info.getKey(key) : QPDFObjectHandle::newNull();
    return v.isString() ? v.getUTF8Value() : std::string("(missing)");
  };
  const std::pair<const char*, const char*> agree[] = {{"/Title", "dc:title"},       {"/Author", "dc:creator"},
                                                       {"/Subject", "dc:description"}, {"/Keywords", "pdf:Keywords"},
                                                       {"/Creator", "xmp:CreatorTool"}, {"/Producer", "pdf:Producer"}};
  for (auto [key, element] : agree)
    if (infoText(key) != xmpValue(xmp, element))
      bad.push_back(std::string(key) + " \"" + infoText(key) + "\" disagrees with " + element + " \"" +
                    xmpValue(xmp, element) + "\"");
  if (isoDate(infoText("/CreationDate")) != xmpValue(xmp, "xmp:CreateDate")) bad.push_back("creation dates disagree");
  if (isoDate(infoText("/ModDate")) != xmpValue(xmp, "xmp:ModifyDate")) bad.push_back("modification dates disagree");

  QPDFObjectHandle intents = root.getKey("/OutputIntents");
  bool srgb = false;
  for (int i = 0; intents.isArray() && i < intents.getArrayNItems(); ++i) {
    QPDFObjectHandle intent = intents.getArrayItem(i);
    if (intent.getKey("/S").unparse() != "/GTS_PDFA1") continue;
    QPDFObjectHandle profile = intent.getKey("/DestOutputProfile");
    if (!profile.isStream() || !profile.getDict().getKey("/N").isInteger() ||
        profile.getDict().getKey("/N").getIntValue() != 3)
      continue;
    auto icc = profile.getStreamData(qpdf_dl_generalized);
    const unsigned char* p = icc->getBuffer();
    srgb = icc->getSize() >= 128 && (p[8] == 2 || p[8] == 4) && std::string(reinterpret_cast<const char*>(p + 16), 4) == "RGB " &&
           std::string(reinterpret_cast<const char*>(p + 12), 4) == "mntr";
  }
  if (!srgb) bad.push_back("no GTS_PDFA1 output intent with an RGB display profile");

  for (QPDFObjectHandle o : pdf.getAllObjects()) {
    QPDFObjectHandle dict = o.isStream() ? o.getDict() : o;
    if (!dict.isDictionary()) continue;
    std::string filters = dict.getKey("/Filter").unparse();
    if (filters.find("LZWDecode") != std::string::npos) bad.push_back("LZW filter in " + o.unparse());
    std::string type = dict.getKey("/Type").unparse(), subtype = dict.getKey("/Subtype").unparse();
    if (subtype == "/Image") {
      if (dict.getKey("/Interpolate").isBool() && dict.getKey("/Interpolate").getBoolValue())
        bad.push_back("interpolated image " + o.unparse());
      if (dict.hasKey("/Alternates") || dict.hasKey("/OPI")) bad.push_back("image alternates in " + o.unparse());
    }
    if (type == "/Font" && subtype != "/Type0" && subtype != "/Type3") {
      QPDFObjectHandle fd = dict.getKey("/FontDescriptor");
      if (!fd.isDictionary() || !(fd.hasKey("/FontFile") || fd.hasKey("/FontFile2") || fd.hasKey("/FontFile3")))
        bad.push_back("font not embedded: " + dict.getKey("/BaseFont").unparse());
      if (subtype == "/CIDFontType2" && !dict.hasKey("/CIDToGIDMap"))
        bad.push_back("CIDFontType2 without CIDToGIDMap: " + dict.getKey("/BaseFont").unparse());
    }
    if (type == "/Annot") {
      long long f = dict.getKey("/F").isInteger() ? dict.getKey("/F").getIntValue() : 0;
      if (!(f & 4) || (f & (1 | 2 | 32))) bad.push_back("annotation not printable or hidden: " + o.unparse());
      if (dict.hasKey("/AA")) bad.push_back("annotation with additional actions");
    }
    std::string action = dict.getKey("/S").unparse();
    if (action == "/JavaScript" || action == "/Launch") bad.push_back("action " + action);
  }
  if (root.hasKey("/AA")) bad.push_back("catalog with additional actions");
  for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
    auto box = page.getMediaBox().getArrayAsRectangle();
    double w = box.urx - box.llx, h = box.ury - box.lly;
    if (w < 3 || h < 3 || w > 14400 || h > 14400) bad.push_back("page size out of range");
  }
  return bad;
}

}  // namespace pdftest
