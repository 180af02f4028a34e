// The end of a save: the surface's pages (and, when appending, the existing
// file's) put in their order with qpdf, and what cairo does not write added:
// document information and XMP, viewer settings, links, the invisible text
// layer, font fix-ups, PDF/A-2b, encryption, linearization, object streams
// and the /ID. Written beside the target and renamed over it, or into a
// growing memory block.
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <regex>
#include <set>

#include "document_impl.h"
#include "existing_pdf.h"
#include "ocr_face.h"
#include "pdf_dates.h"
#include "sfnt.h"
#include "srgb_profile.h"
#include "tw/utf.h"

namespace twpdf {

namespace {

constexpr char kProducer[] = "TwPdfEngine 17.63";

// The document into a movable global memory block, grown as qpdf writes.
class GlobalBlockPipeline : public Pipeline {
 public:
  GlobalBlockPipeline() : Pipeline("global memory", nullptr) {}
  ~GlobalBlockPipeline() override {
    if (block_) GlobalFree(block_);
  }
  void write(unsigned char const* data, size_t len) override {
    if (failed_ || len == 0) return;
    if (size_ + len > capacity_) {
      SIZE_T want = std::max<SIZE_T>(capacity_ * 2, size_ + len + 65536);
      HGLOBAL grown = block_ ? GlobalReAlloc(block_, want, GMEM_MOVEABLE) : GlobalAlloc(GMEM_MOVEABLE, want);
      if (!grown) {
        failed_ = true;
        return;
      }
      block_ = grown;
      capacity_ = want;
    }
    BYTE* p = static_cast<BYTE*>(GlobalLock(block_));
    std::memcpy(p + size_, data, len);
    GlobalUnlock(block_);
    size_ += len;
  }
  void finish() override {}
  // The block cut to the document's size; null when memory ran out.
  HGLOBAL Take() {
    if (failed_ || !block_) return nullptr;
    HGLOBAL exact = GlobalReAlloc(block_, size_, GMEM_MOVEABLE);
    if (exact) block_ = exact;
    HGLOBAL out = block_;
    block_ = nullptr;
    return out;
  }

 private:
  HGLOBAL block_ = nullptr;
  SIZE_T size_ = 0, capacity_ = 0;
  bool failed_ = false;
};

// Text in the fonts of the invisible layer gets render mode 3 (invisible),
// every other font mode 0; q / Q keep the mode as the graphics state does.
class InvisibleTextFilter : public QPDFObjectHandle::TokenFilter {
 public:
  explicit InvisibleTextFilter(std::set<std::string> fonts) : fonts_(std::move(fonts)) {}
  void handleToken(QPDFTokenizer::Token const& token) override {
    writeToken(token);
    if (token.getType() == QPDFTokenizer::tt_name) {
      lastName_ = token.getValue();
    } else if (token.getType() == QPDFTokenizer::tt_word) {
      const std::string& op = token.getValue();
      if (op == "q") {
        saved_.push_back(invisible_);
      } else if (op == "Q" && !saved_.empty()) {
        invisible_ = saved_.back();
        saved_.pop_back();
      } else if (op == "Tf") {
        bool invisible = fonts_.count(lastName_) > 0;
        if (invisible != invisible_) write(invisible ? " 3 Tr" : " 0 Tr");
        invisible_ = invisible;
      }
    }
  }

 private:
  std::set<std::string> fonts_;
  std::string lastName_;
  bool invisible_ = false;
  std::vector<bool> saved_;
};

std::string xmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default:
        // XML 1.0 has no place for most control characters.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
    }
  }
  return out;
}

// A URI as PDF keeps it: 7-bit, anything else percent-encoded.
std::string uriBytes(const std::u16string& url) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : tw::ToUtf8(url)) {
    if (c > 0x20 && c < 0x7F) {
      out += char(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

bool isOcrFont(QPDFObjectHandle font) {
  if (!font.isDictionary() || !font.getKey("/BaseFont").isName()) return false;
  std::string name = font.getKey("/BaseFont").getName();  // "/ABCDEF+TwOcrText"
  std::string want = std::string("+") + kOcrFontName;
  return name == std::string("/") + kOcrFontName ||
         (name.size() > want.size() && name.compare(name.size() - want.size(), want.size(), want) == 0);
}

std::set<std::string> ocrFontNames(QPDFObjectHandle resources) {
  std::set<std::string> names;
  if (!resources.isDictionary()) return names;
  QPDFObjectHandle fonts = resources.getKey("/Font");
  if (!fonts.isDictionary()) return names;
  for (const std::string& key : fonts.getKeys())
    if (isOcrFont(fonts.getKey(key))) names.insert(key);
  return names;
}

// Invisible text may sit in the page's content or in its form XObjects.
void filterForms(QPDFObjectHandle resources, int depth) {
  if (depth > 8 || !resources.isDictionary()) return;
  QPDFObjectHandle xobjects = resources.getKey("/XObject");
  if (!xobjects.isDictionary()) return;
  for (const std::string& key : xobjects.getKeys()) {
    QPDFObjectHandle form = xobjects.getKey(key);
    if (!form.isStream() || form.getDict().getKey("/Subtype").unparse() != "/Form") continue;
    QPDFObjectHandle formResources = form.getDict().getKey("/Resources");
    std::set<std::string> names = ocrFontNames(formResources);
    if (!names.empty()) form.addTokenFilter(std::make_shared<InvisibleTextFilter>(std::move(names)));
    filterForms(formResources, depth + 1);
  }
}

QPDFObjectHandle name(const std::string& n) { return QPDFObjectHandle::newName(n); }

}  // namespace

class FinishPass {
 public:
  explicit FinishPass(Document& d) : d_(d), s_(d.settings_) {}
  bool Run(const std::filesystem::path* file, HGLOBAL* memory);

 private:
  bool PdfA() const { return s_.pdfType == 2; }
  // Nothing of the surface's pages changes: the end of the save only adds
  // the document information, XMP and viewer keys.
  bool OnlyAdds() const;
  // Empty when the drawn file is not laid out as expected (the full pass
  // then does the work).
  std::optional<bool> AddToDrawnFile(const std::filesystem::path* file, HGLOBAL* memory);
  QPDFObjectHandle InfoDictionary(const PdfStamp& stamp) const;
  std::string Xmp(const PdfStamp& stamp) const;
  void SetInfo(QPDF& pdf, const PdfStamp& stamp);
  int IntValue(int key) const;
  bool OpensElsewhere() const;
  void SetCatalogKeys(QPDFObjectHandle catalog) const;
  void SetViewer(QPDF& pdf);
  void AddLinks(QPDF& pdf, QPDFPageObjectHelper& page, const Document::Written& w);
  void FixObjects(QPDF& pdf);
  void SetOutputIntent(QPDF& pdf);
  bool SetEncryption(QPDFWriter& writer);

  Document& d_;
  const Settings& s_;
};

QPDFObjectHandle FinishPass::InfoDictionary(const PdfStamp& stamp) const {
  const DocInfo& info = s_.info;
  QPDFObjectHandle dict = QPDFObjectHandle::newDictionary();
  auto text = [&](const char* key, const std::optional<std::u16string>& value) {
    if (value) dict.replaceKey(key, QPDFObjectHandle::newUnicodeString(tw::ToUtf8(*value)));
  };
  text("/Title", info.title);
  text("/Author", info.author);
  text("/Subject", info.subject);
  text("/Keywords", info.keywords);
  text("/Creator", info.creator);
  dict.replaceKey("/Producer", QPDFObjectHandle::newString(kProducer));
  dict.replaceKey("/CreationDate", QPDFObjectHandle::newString(stamp.pdf));
  dict.replaceKey("/ModDate", QPDFObjectHandle::newString(stamp.pdf));
  return dict;
}

std::string FinishPass::Xmp(const PdfStamp& stamp) const {
  // The same values as the document information, so the two agree (PDF/A
  // requires it).
  const DocInfo& info = s_.info;
  auto u8 = [](const std::u16string& s) { return xmlEscape(tw::ToUtf8(s)); };
  std::string x =
      "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
      " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
      "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
      " xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\"";
  if (PdfA()) x += " xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\"";
  x += ">\n   <dc:format>application/pdf</dc:format>\n";
  if (info.title)
    x += "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" + u8(*info.title) + "</rdf:li></rdf:Alt></dc:title>\n";
  if (info.author) x += "   <dc:creator><rdf:Seq><rdf:li>" + u8(*info.author) + "</rdf:li></rdf:Seq></dc:creator>\n";
  if (info.subject)
    x += "   <dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">" + u8(*info.subject) +
         "</rdf:li></rdf:Alt></dc:description>\n";
  if (info.keywords) x += "   <pdf:Keywords>" + u8(*info.keywords) + "</pdf:Keywords>\n";
  if (info.creator) x += "   <xmp:CreatorTool>" + u8(*info.creator) + "</xmp:CreatorTool>\n";
  x += std::string("   <pdf:Producer>") + kProducer + "</pdf:Producer>\n";
  x += "   <xmp:CreateDate>" + stamp.xmp + "</xmp:CreateDate>\n   <xmp:ModifyDate>" + stamp.xmp +
       "</xmp:ModifyDate>\n   <xmp:MetadataDate>" + stamp.xmp + "</xmp:MetadataDate>\n";
  if (PdfA()) x += "   <pdfaid:part>2</pdfaid:part>\n   <pdfaid:conformance>B</pdfaid:conformance>\n";
  x += "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
  return x;
}

void FinishPass::SetInfo(QPDF& pdf, const PdfStamp& stamp) {
  pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(InfoDictionary(stamp)));
  QPDFObjectHandle metadata = pdf.newStream(Xmp(stamp));
  metadata.getDict().replaceKey("/Type", name("/Metadata"));
  metadata.getDict().replaceKey("/Subtype", name("/XML"));
  pdf.getRoot().replaceKey("/Metadata", metadata);
}

int FinishPass::IntValue(int key) const {
  auto it = s_.intValues.find(key);
  return it == s_.intValues.end() ? 0 : it->second;
}

bool FinishPass::OpensElsewhere() const {
  int magnification = IntValue(PDF_KEY_MAGNIFICATION);
  return IntValue(PDF_KEY_OPEN_PAGE) > 1 || (magnification >= 1 && magnification <= 6);
}

void FinishPass::SetCatalogKeys(QPDFObjectHandle catalog) const {
  static const char* layouts[] = {nullptr, "/SinglePage", "/OneColumn", "/TwoColumnLeft", "/TwoColumnRight",
                                  "/TwoPageLeft", "/TwoPageRight"};
  static const char* modes[] = {nullptr, "/UseOutlines", "/UseThumbs", "/FullScreen"};
  int layout = IntValue(PDF_KEY_PAGE_LAYOUT), mode = IntValue(PDF_KEY_PAGE_MODE);
  if (layout >= 1 && layout <= 6) catalog.replaceKey("/PageLayout", name(layouts[layout]));
  if (mode >= 1 && mode <= 3) catalog.replaceKey("/PageMode", name(modes[mode]));
  static const std::pair<int, const char*> prefs[] = {
      {PDF_KEY_HIDE_TOOLBAR, "/HideToolbar"},   {PDF_KEY_HIDE_MENUBAR, "/HideMenubar"},
      {PDF_KEY_HIDE_WINDOWUI, "/HideWindowUI"}, {PDF_KEY_FIT_WINDOW, "/FitWindow"},
      {PDF_KEY_CENTER_WINDOW, "/CenterWindow"}, {PDF_KEY_DISPLAY_TITLE, "/DisplayDocTitle"}};
  QPDFObjectHandle viewer = QPDFObjectHandle::newDictionary();
  for (auto [key, entry] : prefs) {
    auto it = s_.boolValues.find(key);
    if (it != s_.boolValues.end() && it->second) viewer.replaceKey(entry, QPDFObjectHandle::newBool(true));
  }
  if (!viewer.getKeys().empty()) catalog.replaceKey("/ViewerPreferences", viewer);
}

void FinishPass::SetViewer(QPDF& pdf) {
  QPDFObjectHandle root = pdf.getRoot();
  SetCatalogKeys(root);
  // The open action: the page shown first and its view.
  if (!OpensElsewhere()) return;
  int magnification = IntValue(PDF_KEY_MAGNIFICATION), openPage = IntValue(PDF_KEY_OPEN_PAGE);
  auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
  if (pages.empty()) return;
  QPDFObjectHandle target = pages[std::size_t(std::clamp(openPage, 1, int(pages.size())) - 1)].getObjectHandle();
  QPDFObjectHandle dest = QPDFObjectHandle::newArray();
  dest.appendItem(target);
  auto null = QPDFObjectHandle::newNull();
  switch (magnification) {
    case 2: dest.appendItem(name("/FitH")), dest.appendItem(null); break;
    case 3: dest.appendItem(name("/FitV")), dest.appendItem(null); break;
    case 4: dest.appendItem(name("/FitB")); break;
    case 5:
    case 6: {
      int zoom = magnification == 5 ? 100 : IntValue(PDF_KEY_ZOOM);
      dest.appendItem(name("/XYZ")), dest.appendItem(null), dest.appendItem(null);
      dest.appendItem(zoom > 0 ? QPDFObjectHandle::newReal(zoom / 100.0, 2) : null);
      break;
    }
    default: dest.appendItem(name("/Fit")); break;
  }
  root.replaceKey("/OpenAction", dest);
}

void FinishPass::AddLinks(QPDF& pdf, QPDFPageObjectHelper& page, const Document::Written& w) {
  if (w.links.empty()) return;
  QPDFObjectHandle pageObject = page.getObjectHandle();
  QPDFObjectHandle annots = pageObject.getKey("/Annots");
  if (!annots.isArray()) {
    annots = QPDFObjectHandle::newArray();
    pageObject.replaceKey("/Annots", annots);
  }
  for (const auto& link : w.links) {
    QPDFObjectHandle action = QPDFObjectHandle::newDictionary();
    action.replaceKey("/S", name("/URI"));
    action.replaceKey("/URI", QPDFObjectHandle::newString(uriBytes(link.url)));
    QPDFObjectHandle annot = QPDFObjectHandle::newDictionary();
    annot.replaceKey("/Type", name("/Annot"));
    annot.replaceKey("/Subtype", name("/Link"));
    annot.replaceKey("/Rect", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(link.x0, link.y0, link.x1, link.y1)));
    QPDFObjectHandle border = QPDFObjectHandle::newArray();
    for (int i = 0; i < 3; ++i) border.appendItem(QPDFObjectHandle::newInteger(0));
    annot.replaceKey("/Border", border);
    annot.replaceKey("/F", QPDFObjectHandle::newInteger(4));  // printed
    annot.replaceKey("/A", action);
    annots.appendItem(pdf.makeIndirectObject(annot));
  }
}

void FinishPass::FixObjects(QPDF& pdf) {
  for (QPDFObjectHandle object : pdf.getAllObjects()) {
    if (object.isStream()) {
      QPDFObjectHandle dict = object.getDict();
      std::string subtype = dict.getKey("/Subtype").isName() ? dict.getKey("/Subtype").getName() : "";
      // Images are never interpolated (cairo asks for it unless told not to).
      if (subtype == "/Image" && dict.hasKey("/Interpolate")) dict.replaceKey("/Interpolate", QPDFObjectHandle::newBool(false));
      continue;
    }
    if (!object.isDictionary()) continue;
    std::string type = object.getKey("/Type").isName() ? object.getKey("/Type").getName() : "";
    std::string subtype = object.getKey("/Subtype").isName() ? object.getKey("/Subtype").getName() : "";
    if (type == "/Font" && subtype == "/CIDFontType2" && !object.hasKey("/CIDToGIDMap"))
      object.replaceKey("/CIDToGIDMap", name("/Identity"));
    if (type == "/Annot" && PdfA()) {
      // Printed, never hidden (PDF/A).
      int flags = object.getKey("/F").isInteger() ? int(object.getKey("/F").getIntValue()) : 0;
      object.replaceKey("/F", QPDFObjectHandle::newInteger((flags | 4) & ~(1 | 2 | 32)));
    }
    if (type == "/FontDescriptor" && s_.removeFontTables && !PdfA()) {
      QPDFObjectHandle file = object.getKey("/FontFile2");
      if (!file.isStream()) continue;
      std::shared_ptr<Buffer> data = file.getStreamData(qpdf_dl_generalized);
      Sfnt font;
      if (!ReadSfnt({data->getBuffer(), data->getSize()}, font) || !StripHinting(font)) continue;
      std::vector<BYTE> stripped = WriteSfnt(std::move(font));
      file.replaceStreamData(std::string(stripped.begin(), stripped.end()), QPDFObjectHandle::newNull(),
                             QPDFObjectHandle::newNull());
      file.getDict().replaceKey("/Length1", QPDFObjectHandle::newInteger(static_cast<long long>(stripped.size())));
    }
  }
}

void FinishPass::SetOutputIntent(QPDF& pdf) {
  QPDFObjectHandle profile = pdf.newStream(std::string(reinterpret_cast<const char*>(kSrgbProfile), kSrgbProfileSize));
  profile.getDict().replaceKey("/N", QPDFObjectHandle::newInteger(3));
  QPDFObjectHandle intent = QPDFObjectHandle::newDictionary();
  intent.replaceKey("/Type", name("/OutputIntent"));
  intent.replaceKey("/S", name("/GTS_PDFA1"));
  intent.replaceKey("/OutputConditionIdentifier", QPDFObjectHandle::newString("sRGB IEC61966-2.1"));
  intent.replaceKey("/Info", QPDFObjectHandle::newString("sRGB IEC61966-2.1"));
  intent.replaceKey("/DestOutputProfile", profile);
  QPDFObjectHandle intents = QPDFObjectHandle::newArray();
  intents.appendItem(pdf.makeIndirectObject(intent));
  pdf.getRoot().replaceKey("/OutputIntents", intents);
}

bool FinishPass::SetEncryption(QPDFWriter& writer) {
  if (PdfA() || s_.encryption == 0) return true;  // a PDF/A file is never encrypted
  if (s_.encryption < 0) return d_.Fail(PDF_ERROR_ENCRYPTION);
  bool aes256 = s_.encryption >= 4;
  std::string user = PasswordBytes(tw::ToUtf8(s_.userPassword), aes256);
  std::string owner = PasswordBytes(tw::ToUtf8(s_.ownerPassword), aes256);
  qpdf_r3_print_e print = s_.allowPrint ? qpdf_r3p_full : qpdf_r3p_none;
  bool copy = s_.allowCopy, modify = s_.allowModify, annotate = s_.allowAnnotate;
  switch (s_.encryption) {
    case 1: writer.setR2EncryptionParametersInsecure(user.c_str(), owner.c_str(), s_.allowPrint, modify, copy, annotate); break;
    case 2:
      writer.setR3EncryptionParametersInsecure(user.c_str(), owner.c_str(), true, copy, modify, annotate, annotate, modify,
                                               print);
      break;
    case 3:
      writer.setR4EncryptionParametersInsecure(user.c_str(), owner.c_str(), true, copy, modify, annotate, annotate,
                                               modify, print, true, true);
      break;
    default:
      writer.setR6EncryptionParameters(user.c_str(), owner.c_str(), true, copy, modify, annotate, annotate, modify, print,
                                       true);
      break;
  }
  return true;
}

bool FinishPass::OnlyAdds() const {
  if (d_.appending_ || PdfA() || s_.encryption != 0 || s_.linearized || s_.removeFontTables || s_.streamFilter == 0 ||
      OpensElsewhere())
    return false;
  for (std::size_t k = 0; k < d_.written_.size(); ++k) {
    const Document::Written& w = d_.written_[k];
    if (w.position != int(k) + 1 || !w.links.empty() || w.invisibleText) return false;
  }
  return true;
}

// The common case: the surface's file gets an update section (PDF's
// incremental update) with a new catalogue, the document information and
// the XMP, and becomes the document. Only its trailer and catalogue are
// read, so memory stays flat however many pages the document has.
std::optional<bool> FinishPass::AddToDrawnFile(const std::filesystem::path* file, HGLOBAL* memory) {
  std::ifstream in(d_.cairoFile_, std::ios::binary);
  std::uintmax_t size = std::filesystem::file_size(d_.cairoFile_);
  auto readAt = [&](std::uintmax_t from, std::size_t n) {
    std::string text(std::min<std::uintmax_t>(n, size - std::min(from, size)), '\0');
    in.seekg(std::streamoff(from));
    in.read(text.data(), std::streamsize(text.size()));
    return text;
  };
  // The trailer and the one cross-reference section cairo writes.
  std::string tail = readAt(size - std::min<std::uintmax_t>(size, 1024), 1024);
  std::smatch m;
  static const std::regex trailerRe(
      "trailer\\s*<<[^>]*/Size\\s+(\\d+)[^>]*/Root\\s+(\\d+)\\s+0\\s+R[^>]*>>\\s*startxref\\s+(\\d+)\\s+%%EOF\\s*$");
  if (!std::regex_search(tail, m, trailerRe)) return std::nullopt;
  long long count = std::stoll(m[1]), rootId = std::stoll(m[2]), xrefAt = std::stoll(m[3]);
  std::string head = readAt(std::uintmax_t(xrefAt), 64);
  static const std::regex xrefRe("^xref\\s+0\\s+(\\d+)\\s*\\n");
  if (!std::regex_search(head, m, xrefRe) || std::stoll(m[1]) != count || rootId <= 0 || rootId >= count)
    return std::nullopt;
  std::string entry = readAt(std::uintmax_t(xrefAt + m.length(0) + 20 * rootId), 20);
  std::string object = readAt(std::uintmax_t(std::atoll(entry.c_str())), 4096);
  std::size_t open = object.find("<<"), close = object.rfind(">>", object.find("endobj"));
  if (object.compare(0, std::to_string(rootId).size() + 6, std::to_string(rootId) + " 0 obj") != 0 ||
      open == std::string::npos || close == std::string::npos || close < open)
    return std::nullopt;
  in.close();

  // The new catalogue: cairo's with the metadata and the viewer keys.
  PdfStamp stamp = Now();
  long long infoId = count, metadataId = count + 1;
  QPDFObjectHandle keys = QPDFObjectHandle::newDictionary();
  SetCatalogKeys(keys);
  std::string extra = keys.unparse();  // "<< ... >>"
  std::string catalog = object.substr(open, close - open) + " /Metadata " + std::to_string(metadataId) + " 0 R " +
                        extra.substr(2, extra.size() - 4) + ">>";
  std::string xmp = Xmp(stamp);

  std::FILE* out = std::fopen(d_.cairoFile_.c_str(), "ab");
  if (!out) return d_.Fail(PDF_ERROR_OUTPUT);
  long long offset = static_cast<long long>(size);
  std::vector<std::pair<long long, long long>> offsets;
  bool ok = true;
  auto write = [&](const std::string& text) {
    ok = ok && std::fwrite(text.data(), 1, text.size(), out) == text.size();
    offset += static_cast<long long>(text.size());
  };
  auto writeObject = [&](long long id, const std::string& body) {
    offsets.push_back({id, offset});
    write(std::to_string(id) + " 0 obj\n" + body + "\nendobj\n");
  };
  writeObject(rootId, catalog);
  writeObject(infoId, InfoDictionary(stamp).unparse());
  writeObject(metadataId, "<< /Type /Metadata /Subtype /XML /Length " + std::to_string(xmp.size()) + " >>\nstream\n" +
                              xmp + "\nendstream");
  long long xref = offset;
  std::string table = "xref\n";
  for (auto [id, where] : offsets) {
    char line[48];
    std::snprintf(line, sizeof line, "%lld 1\n%010lld 00000 n \n", id, where);
    table += line;
  }
  std::string id = RandomId();  // a new document: both parts the same
  write(table + "trailer\n<< /Size " + std::to_string(count + 2) + " /Root " + std::to_string(rootId) + " 0 R /Info " +
        std::to_string(infoId) + " 0 R /ID [<" + id + "> <" + id + ">] /Prev " +
        std::to_string(xrefAt) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
  ok = std::fclose(out) == 0 && ok;
  if (!ok) return d_.Fail(PDF_ERROR_OUTPUT);
  if (file) return CommitFile(d_.cairoFile_, *file) ? true : d_.Fail(PDF_ERROR_OUTPUT);
  // In memory: the file's bytes in a movable block.
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, SIZE_T(offset));
  if (!block) return d_.Fail(PDF_ERROR_MEMORY);
  std::ifstream bytes(d_.cairoFile_, std::ios::binary);
  bytes.read(static_cast<char*>(GlobalLock(block)), std::streamsize(offset));
  GlobalUnlock(block);
  if (!bytes) {
    GlobalFree(block);
    return d_.Fail(PDF_ERROR_OUTPUT);
  }
  *memory = block;
  return true;
}

bool FinishPass::Run(const std::filesystem::path* file, HGLOBAL* memory) {
  try {
    if (OnlyAdds())
      if (std::optional<bool> done = AddToDrawnFile(file, memory)) return *done;
    QPDF drawn;
    drawn.setSuppressWarnings(true);
    drawn.processFile(d_.cairoFile_.c_str());
    std::unique_ptr<QPDF> existing;
    if (d_.appending_) {
      switch (OpenExistingPdf(existing, d_.target_, d_.Passwords())) {
        case OpenResult::Ok: break;
        case OpenResult::Encrypted: return d_.Fail(PDF_ERROR_ENCRYPTED);
        case OpenResult::NotPdf: return d_.Fail(PDF_ERROR_NOT_PDF);
      }
    }
    QPDF& out = existing ? *existing : drawn;
    QPDFPageDocumentHelper pages(out);
    pages.pushInheritedAttributesToPage();
    std::vector<QPDFPageObjectHelper> newPages = QPDFPageDocumentHelper(drawn).getAllPages();
    if (newPages.size() != d_.written_.size()) return d_.Fail(PDF_ERROR_DOCUMENT);

    // The order: the existing pages, then each written page at its place.
    std::vector<QPDFPageObjectHelper> oldPages = existing ? pages.getAllPages() : std::vector<QPDFPageObjectHelper>();
    std::vector<std::pair<bool, std::size_t>> order;  // (written, index)
    for (std::size_t i = 0; i < oldPages.size(); ++i) order.push_back({false, i});
    bool inOrder = true;
    for (std::size_t k = 0; k < d_.written_.size(); ++k) {
      std::size_t at = std::size_t(std::clamp(d_.written_[k].position - 1, 0, int(order.size())));
      inOrder = inOrder && at == order.size();
      order.insert(order.begin() + std::ptrdiff_t(at), {true, k});
    }
    if (existing || !inOrder) {
      for (auto& page : pages.getAllPages()) pages.removePage(page);
      for (auto [isNew, i] : order) pages.addPage(isNew ? newPages[i] : oldPages[i], false);
    }
    std::vector<QPDFPageObjectHelper> finalPages = pages.getAllPages();
    for (std::size_t f = 0; f < order.size() && f < finalPages.size(); ++f) {
      if (!order[f].first) continue;
      const Document::Written& w = d_.written_[order[f].second];
      AddLinks(out, finalPages[f], w);
      if (w.invisibleText) {
        QPDFObjectHandle resources = finalPages[f].getAttribute("/Resources", false);
        std::set<std::string> names = ocrFontNames(resources);
        if (!names.empty()) finalPages[f].addContentTokenFilter(std::make_shared<InvisibleTextFilter>(std::move(names)));
        filterForms(resources, 0);
      }
    }

    SetInfo(out, Now());
    SetViewer(out);
    FixObjects(out);
    if (PdfA()) SetOutputIntent(out);

    GlobalBlockPipeline block;
    std::unique_ptr<StagedOutput> staged;
    std::unique_ptr<QPDFWriter> writer;
    if (file) {
      staged = std::make_unique<StagedOutput>(*file);
      if (!staged->Ok()) return d_.Fail(PDF_ERROR_OUTPUT);
      writer = std::make_unique<QPDFWriter>(out, staged->Path().c_str());
    } else {
      writer = std::make_unique<QPDFWriter>(out);
      writer->setOutputPipeline(&block);
    }
    if (s_.streamFilter == 0) {
      writer->setCompressStreams(false);
      writer->setDecodeLevel(qpdf_dl_generalized);
    }
    if (s_.removeFontTables && !PdfA()) writer->setObjectStreamMode(qpdf_o_generate);
    if (s_.linearized) writer->setLinearization(true);
    // An appended file keeps its own encryption unless the job sets one;
    // a PDF/A file has none.
    if (PdfA() || s_.encryption != 0) writer->setPreserveEncryption(false);
    if (!SetEncryption(*writer)) return false;
    writer->write();
    if (memory) {
      *memory = block.Take();
      if (!*memory) return d_.Fail(PDF_ERROR_MEMORY);
      return true;
    }
    return staged->Commit() ? true : d_.Fail(PDF_ERROR_OUTPUT);
  } catch (const QPDFExc& e) {
    return d_.Fail(e.getErrorCode() == qpdf_e_system ? PDF_ERROR_OUTPUT : PDF_ERROR_DOCUMENT);
  } catch (const QPDFSystemError&) {  // a file that cannot be read or written (a full disk)
    return d_.Fail(PDF_ERROR_OUTPUT);
  } catch (const std::bad_alloc&) {
    return d_.Fail(PDF_ERROR_MEMORY);
  } catch (const std::exception&) {
    return d_.Fail(PDF_ERROR_DOCUMENT);
  }
}

bool Document::Finish(const std::filesystem::path* file, HGLOBAL* memory) {
  FinishPass pass(*this);
  return pass.Run(file, memory);
}

}  // namespace twpdf
