// Naming method 7: names from a template such as "INV_<<DOCNAME>>-<<DATE>>.pdf".
#include <windows.h>

#include <algorithm>
#include <array>

#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/settings/effective.h"

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;

namespace tw::naming {

namespace {

constexpr std::array<std::u16string_view, 11> kNameTokens = {u"NONE", u"DOCNAME", u"USERNAME", u"COMPUTER",
                                                             u"PAGENUM", u"DATE", u"TIME", u"TIMEMS",
                                                             u"COUNTER", u"DATETIME", u"BATES"};

bool IsNameToken(std::u16string_view token) {
  return std::find(kNameTokens.begin(), kNameTokens.end(), token) != kNameTokens.end();
}

// Characters a literal of a template may not hold (the extension's also no ".").
bool HasBadCharacter(std::u16string_view text) {
  return text.find_first_of(u"\\/:*?\"<>|") != std::u16string_view::npos;
}

// The parts of a template between and inside its "<<" ">>" pairs; false when
// a bracket is single, unbalanced or nested.
struct Piece {
  bool token;
  std::u16string text;
};
bool SplitTemplate(std::u16string_view text, std::vector<Piece>& pieces) {
  std::u16string literal;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == u'>') return false;  // a ">>" outside a token
    if (text[i] != u'<') {
      literal += text[i++];
      continue;
    }
    if (i + 1 >= text.size() || text[i + 1] != u'<') return false;
    size_t close = text.find(u">>", i + 2);
    if (close == std::u16string_view::npos) return false;
    std::u16string_view token = text.substr(i + 2, close - i - 2);
    if (token.find_first_of(u"<>") != std::u16string_view::npos) return false;
    pieces.push_back({false, std::move(literal)});
    pieces.push_back({true, std::u16string(token)});
    literal.clear();
    i = close + 2;
  }
  pieces.push_back({false, std::move(literal)});
  return true;
}

std::u16string Digits(DWORD value, int width) {
  WCHAR text[16];
  swprintf_s(text, std::size(text), u"%0*u", width, value);
  return text;
}

// The Bates number text of the job's profile: the prefix when "Use prefix",
// then the number padded to "Bates Number Length" with the padding character.
std::u16string BatesText(const CTWJob& job, const NamingContext& nc) {
  if (!job.m_Naming.m_szBatesNumberText.empty()) return job.m_Naming.m_szBatesNumberText;
  if (!(job.m_DevMode.Flags & dmf::BatesNumbering)) return {};
  const st::Fill profile{job.m_DevMode.BatesProfile + 1u, std::nullopt};
  const std::u16string prefix = st::Effective(nc.ctx, st::BatesPrefix, profile);
  if (st::Effective(nc.ctx, st::BatesName, profile) == u"ERROR" || prefix == u"ERROR" ||
      st::Effective(nc.ctx, st::BatesFontFacename, profile) == u"ERROR")
    return {};  // the profile does not load
  const bool reset = st::Effective(nc.ctx, st::BatesResetNumberAtEveryPrinting, profile) != 0 &&
                     st::Effective(nc.ctx, st::BatesIncreaseOnEachDocument, profile) == 0;
  const LONG number = reset ? static_cast<LONG>(job.m_dwActPage) + st::Effective(nc.ctx, st::BatesResetNumber, profile) - 1
                            : st::Effective(nc.ctx, st::BatesStartWith, profile);
  std::u16string digits = Digits(static_cast<DWORD>(number), 0);
  if (number < 0) {
    WCHAR text[16];
    swprintf_s(text, std::size(text), u"%d", static_cast<int>(number));
    digits = text;
  }
  const LONG length = std::min<LONG>(st::Effective(nc.ctx, st::BatesNumberLength, profile), 16);
  const std::u16string padding = st::Effective(nc.ctx, st::BatesPaddingCharacter, profile);
  const char16_t pad = padding.empty() ? u'E' : padding[0];
  if (length > 0 && digits.size() < static_cast<size_t>(length))
    digits.insert(0, static_cast<size_t>(length) - digits.size(), pad);
  return (st::Effective(nc.ctx, st::BatesUsePrefix, profile) ? prefix : std::u16string()) + digits;
}

std::u16string LocaleFormat(LCTYPE type) {
  WCHAR picture[128] = {};
  return GetLocaleInfoW(LOCALE_USER_DEFAULT, type, picture, static_cast<int>(std::size(picture))) ? picture : u"";
}

// The template's values for the job's current page at `now`.
TemplateValues ValuesFor(const CTWJob& job, const NamingContext& nc, const SYSTEMTIME& now) {
  TemplateValues v;
  v.documentName = std::u16string(job.m_szDocumentName).substr(0, 255);
  if (v.documentName.empty()) v.documentName = u"DocumentName";
  v.userName = job.m_Environment.userName.empty() ? u"USERNAME" : job.m_Environment.userName;
  WCHAR computer[MAX_PATH] = {};
  if (GetEnvironmentVariableW(u"COMPUTERNAME", computer, MAX_PATH) < MAX_PATH) v.computerName = computer;
  // The sheet number, from 1.
  const DWORD index = job.m_dwActPage ? job.m_dwActPage - 1 : 0;
  const DWORD perSheet = job.m_Naming.m_dwPagesPerSheet > 1 ? job.m_Naming.m_dwPagesPerSheet : 1;
  const DWORD sheet = index / perSheet + 1;
  if (sheet > 1 || job.m_bAddPageNumberToFirstFilename) v.pageNumber = Digits(sheet % 10000, 4);
  WCHAR text[128] = {};
  const std::u16string datePicture = LocaleFormat(LOCALE_SSHORTDATE);
  if (GetDateFormatW(LOCALE_USER_DEFAULT, 0, &now, datePicture.c_str(), text, static_cast<int>(std::size(text))))
    v.date = text;
  const std::u16string timePicture = LocaleFormat(LOCALE_STIMEFORMAT);
  if (GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &now, timePicture.c_str(), text, static_cast<int>(std::size(text))))
    v.time = text;
  swprintf_s(text, std::size(text), u"%02d:%02d:%02d.%03d", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  v.timeMs = text;
  v.counter = Digits(job.m_dwDocumentNumber % 10000000, 7);
  v.bates = BatesText(job, nc);
  if (v.bates.empty()) v.bates = u"1";
  v.originalExtension = job.m_DevMode.FileExtension.Get().substr(0, 128);
  return v;
}

}  // namespace

std::optional<NameTemplate> ParseNameTemplate(std::u16string_view text) {
  if (text.size() < 9 || text.size() >= 260) return std::nullopt;
  if (text.starts_with(u"<<NONE>><<NONE>>.")) return std::nullopt;
  const size_t dot = text.rfind(u">>.");
  if (dot == std::u16string_view::npos) return std::nullopt;
  std::vector<Piece> name, extension;
  if (!SplitTemplate(text.substr(0, dot + 2), name) || !SplitTemplate(text.substr(dot + 3), extension))
    return std::nullopt;
  // prefix <<first>> literal <<second>> ""
  if (name.size() != 5 || !name[1].token || !name[3].token || !name[4].text.empty()) return std::nullopt;
  NameTemplate t;
  t.prefix = name[0].text;
  t.first = name[1].text;
  t.literal = name[2].text;
  t.second = name[3].text;
  if (t.prefix.size() > 4 || HasBadCharacter(t.prefix) || t.prefix.find(u'.') != std::u16string::npos)
    return std::nullopt;
  if (t.literal.size() > 64 || HasBadCharacter(t.literal) || t.literal.find(u'.') != std::u16string::npos)
    return std::nullopt;
  if (!IsNameToken(t.first) || !IsNameToken(t.second)) return std::nullopt;
  if (extension.size() == 3 && extension[0].text.empty() && extension[1].text == u"ORIGINAL" &&
      extension[2].text.empty()) {
    t.originalExtension = true;
  } else if (extension.size() == 1 && extension[0].text.size() <= 4 && !HasBadCharacter(extension[0].text) &&
             extension[0].text.find(u'.') == std::u16string::npos) {
    t.extension = extension[0].text;
  } else {
    return std::nullopt;
  }
  return t;
}

std::u16string TemplateValues::Token(std::u16string_view token) const {
  if (token == u"DOCNAME") return documentName;
  if (token == u"USERNAME") return userName;
  if (token == u"COMPUTER") return computerName;
  if (token == u"PAGENUM") return pageNumber;
  if (token == u"DATE") return date;
  if (token == u"TIME") return time;
  if (token == u"TIMEMS") return timeMs;
  if (token == u"COUNTER") return counter;
  if (token == u"DATETIME") return date + u" " + time;
  if (token == u"BATES") return bates;
  return {};  // NONE
}

int BuildTemplateName(const NameTemplate& tmpl, const TemplateValues& values, std::u16string_view directory,
                      bool newName, std::u16string& name) {
  const DWORD attributes = GetFileAttributesW(std::u16string(directory).c_str());
  if (directory.empty() || attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    return kErrorNoDirectory;
  const std::u16string extension = tmpl.originalExtension ? values.originalExtension : tmpl.extension;
  std::u16string first = values.Token(tmpl.first), second = values.Token(tmpl.second);
  std::u16string prefix = tmpl.prefix, literal = tmpl.literal;

  // Room for the name (its extension and dot included), at `collision` digits of "(n)".
  auto build = [&](int collision) {
    int code = 0;
    LONG room = 257 - std::max<LONG>(static_cast<LONG>(directory.size()), 3);
    if (collision) room -= static_cast<LONG>(std::to_string(collision).size()) + 2;
    // A part that does not fit the room left is cut.
    auto fit = [&](std::u16string part, size_t extra) {
      const LONG need = static_cast<LONG>(part.size() + (part.empty() ? 0 : extra));
      if (need > room) {
        code = kErrorNameDoesNotFit;
        part.resize(static_cast<size_t>(std::max<LONG>(room - static_cast<LONG>(extra), 0)));
      }
      room -= static_cast<LONG>(part.size() + (part.empty() ? 0 : extra));
      room = std::max<LONG>(room, 0);
      return part;
    };
    const std::u16string ext = fit(extension, 1);
    // The document name comes first among the tokens.
    const bool firstIsDoc = tmpl.first == u"DOCNAME", secondIsDoc = !firstIsDoc && tmpl.second == u"DOCNAME";
    std::u16string v1, v2;
    if (firstIsDoc) v1 = fit(first, 0);
    if (secondIsDoc) v2 = fit(second, 0);
    const std::u16string p = fit(prefix, 0), l = fit(literal, 0);
    if (!firstIsDoc) v1 = fit(first, 0);
    if (!secondIsDoc) v2 = fit(second, 0);
    std::u16string result = p + v1 + l + v2;
    if (collision) {
      WCHAR number[16];
      swprintf_s(number, std::size(number), u"(%d)", collision);
      result += number;
    }
    if (!ext.empty()) result += u"." + ext;
    std::replace_if(result.begin(), result.end(),
                    [](char16_t c) { return std::u16string_view(u"\\/:*?\"<>|").find(c) != std::u16string_view::npos; },
                    u'-');
    name = std::move(result);
    return code;
  };
  auto exists = [&](const std::u16string& candidate) {
    const std::u16string path = std::u16string(directory) + candidate;
    if (PathExists(path)) return true;
    // The name as a program of the ANSI code page would make it.
    int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    std::string ansi(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, ansi.data(), n, nullptr, nullptr);
    return GetFileAttributesA(ansi.c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  int code = build(0);
  if (code || !newName) return code;
  for (int n = 1; exists(name); ++n) {
    if (n > 99999) return kErrorNameDoesNotFit;
    if ((code = build(n)) != 0) return code;
  }
  return 0;
}

}  // namespace tw::naming

using namespace tw::naming;

BOOL CTWJob::BuildCustomFileNames() {
  NamingContext nc(*this);
  const bool reports = ReportsFileErrors(*this);
  std::u16string directory;
  if (m_DevMode.Flags2 & tw::devmode::flags2::DirectoryFromNamingSettings) directory = NamingIniDirectory(*this);
  if (directory.empty()) directory = st::EffectiveOutputDirectory(nc.ctx);
  if (!directory.empty()) {
    bool expanded = false;
    directory = ExpandedDirectory(*this, nc.scope, directory, expanded);
    if (!expanded) directory = TempDirectory();
  }
  if (!ValidateOutputDirectory(kPrefixOutputDirectory, directory.c_str(), reports)) {
    Trace(u"BuildCustomFileNames: ValidateOutputDirectory returns FALSE");
    return FALSE;
  }
  directory = WithBackslash(directory);
  if (!m_szGroupFileName[0]) wcsncpy_s(m_szGroupFileName, (directory + u"GroupFile.grp").c_str(), _TRUNCATE);

  std::optional<NameTemplate> tmpl = ParseNameTemplate(m_DevMode.ImageFileName.Get());
  if (!tmpl) tmpl = ParseNameTemplate(kDefaultTemplate);
  SYSTEMTIME now{};
  GetLocalTime(&now);
  const DWORD action = ExistingFileAction(*this);
  std::u16string name;
  if (int code = BuildTemplateName(*tmpl, ValuesFor(*this, nc, now), directory, action == kActionNewName, name)) {
    HandleError(code, __FILE__, __LINE__);
    return FALSE;
  }

  const bool firstPage = m_dwActPage == 1;
  const bool startsFile = firstPage || !DocumentGoesIntoOneFile(*this);
  const std::u16string path = directory + name;
  if (action == kActionOverwrite && startsFile && PathExists(path) && !DeleteFileW(path.c_str()))
    Trace(u"BuildCustomFileNames: %s not deleted (%d)", path.c_str(), GetLastError());
  wcsncpy_s(m_szActFileName, path.c_str(), _TRUNCATE);

  const bool upper = m_bUppercaseExtensions != FALSE;
  if (MailMergeOn(*this)) m_Naming.m_szMailMergeFileName = ReplaceExtension(path, upper ? u"MRG" : u"mrg");
  if (TextOutputOn(*this)) {
    std::u16string text = ReplaceExtension(path, upper ? u"TXT" : u"txt");
    const DWORD textAction = Settings(*this).textAction;
    if (textAction == kActionOverwrite && startsFile && PathExists(text) && !DeleteFileW(text.c_str()))
      Trace(u"BuildCustomFileNames: %s not deleted (%d)", text.c_str(), GetLastError());
    if (textAction == kActionNewName) text = NumberedPath(text, 0, true);
    m_Naming.m_szTextFileName = text;
  }
  if (OcrEffective(*this)) {
    const std::u16string& ocrDirectory = Settings(*this).ocrDirectorySetting;
    const std::u16string base = ocrDirectory.empty() ? path : WithBackslash(ocrDirectory) + name;
    const WCHAR* ocrExtension = TextOutputOn(*this) ? (upper ? u"OCR.TXT" : u"ocr.txt") : (upper ? u"TXT" : u"txt");
    m_Naming.m_szOcrTextFileName = ReplaceExtension(base, ocrExtension);
  }
  if (firstPage) {
    wcsncpy_s(m_szFileNameforStartApp, path.c_str(), _TRUNCATE);
    m_Naming.m_szOcrFileNameforStartApp = m_Naming.m_szOcrTextFileName;
    return SetGroupFileName(*this, ReplaceExtension(path, upper ? u"GRP" : u"grp"));
  }
  return TRUE;
}
