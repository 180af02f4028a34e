// SDDL: the text form of security descriptors.
#include <cstdio>
#include <cstring>

#include "sd_parts.h"
#include "tw/lasterror.h"
#include "tw/memory.h"
#include "tw/utf.h"
#include "winerror.h"

namespace tw::security {
namespace {

struct Name {
  const char16_t* code;
  DWORD value;
};

constexpr Name kAceTypes[] = {{u"A", ACCESS_ALLOWED_ACE_TYPE},
                              {u"D", ACCESS_DENIED_ACE_TYPE},
                              {u"AU", SYSTEM_AUDIT_ACE_TYPE},
                              {u"AL", SYSTEM_ALARM_ACE_TYPE},
                              {u"ML", SYSTEM_MANDATORY_LABEL_ACE_TYPE}};

constexpr Name kAceFlags[] = {{u"CI", CONTAINER_INHERIT_ACE}, {u"OI", OBJECT_INHERIT_ACE},
                              {u"NP", NO_PROPAGATE_INHERIT_ACE}, {u"IO", INHERIT_ONLY_ACE},
                              {u"ID", INHERITED_ACE},          {u"SA", SUCCESSFUL_ACCESS_ACE_FLAG},
                              {u"FA", FAILED_ACCESS_ACE_FLAG}};

// Composite rights first: they are preferred when writing.
constexpr Name kRights[] = {
    {u"KA", 0xF003F}, {u"KR", 0x20019}, {u"KW", 0x20006}, {u"KX", 0x20019}, {u"FA", 0x1F01FF},
    {u"FR", 0x120089}, {u"FW", 0x120116}, {u"FX", 0x1200A0}, {u"GA", GENERIC_ALL}, {u"GR", GENERIC_READ},
    {u"GW", GENERIC_WRITE}, {u"GX", GENERIC_EXECUTE}, {u"RC", READ_CONTROL}, {u"SD", DELETE},
    {u"WD", WRITE_DAC}, {u"WO", WRITE_OWNER}, {u"RP", 0x10}, {u"WP", 0x20}, {u"CC", 0x1}, {u"DC", 0x2},
    {u"LC", 0x4}, {u"SW", 0x8}, {u"LO", 0x80}, {u"DT", 0x40}, {u"CR", 0x100}};

constexpr Name kLabelRights[] = {{u"NW", SYSTEM_MANDATORY_LABEL_NO_WRITE_UP},
                                 {u"NR", SYSTEM_MANDATORY_LABEL_NO_READ_UP},
                                 {u"NX", SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP}};

char16_t upper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - 32) : c; }

bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (upper(text[i]) != upper(prefix[i])) return false;
  return true;
}

class Parser {
 public:
  explicit Parser(std::u16string_view text) : text_(text) {}

  DWORD Run(Descriptor* out) {
    while (pos_ < text_.size()) {
      if (pos_ + 2 > text_.size() || text_[pos_ + 1] != u':') return ERROR_INVALID_PARAMETER;
      char16_t part = upper(text_[pos_]);
      pos_ += 2;
      DWORD rc = ERROR_SUCCESS;
      switch (part) {
        case u'O': rc = sid(&out->owner); break;
        case u'G': rc = sid(&out->group); break;
        case u'D': rc = acl(&out->daclPresent, &out->dacl, &out->control, true); break;
        case u'S': rc = acl(&out->saclPresent, &out->sacl, &out->control, false); break;
        default: return ERROR_INVALID_PARAMETER;
      }
      if (rc) return rc;
    }
    return ERROR_SUCCESS;
  }

 private:
  DWORD sid(std::optional<Bytes>* out) {
    size_t start = pos_;
    if (startsWithNoCase(text_.substr(pos_), u"S-")) {
      pos_ += 2;
      while (pos_ < text_.size() && ((text_[pos_] >= u'0' && text_[pos_] <= u'9') || text_[pos_] == u'-')) ++pos_;
    } else {
      pos_ = std::min(pos_ + 2, text_.size());
    }
    auto parsed = SidFromString(text_.substr(start, pos_ - start));
    if (!parsed) return ERROR_INVALID_SID;
    *out = std::move(*parsed);
    return ERROR_SUCCESS;
  }

  DWORD acl(bool* present, std::optional<AclValue>* out, SECURITY_DESCRIPTOR_CONTROL* control, bool isDacl) {
    *present = true;
    AclValue value;
    bool nullAcl = false;
    while (pos_ < text_.size() && text_[pos_] != u'(') {
      auto rest = text_.substr(pos_);
      if (startsWithNoCase(rest, u"NO_ACCESS_CONTROL")) {
        nullAcl = true;
        pos_ += 17;
      } else if (startsWithNoCase(rest, u"AI")) {
        *control |= isDacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED;
        pos_ += 2;
      } else if (startsWithNoCase(rest, u"AR")) {
        *control |= isDacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ;
        pos_ += 2;
      } else if (upper(rest[0]) == u'P') {
        *control |= isDacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED;
        pos_ += 1;
      } else if (rest.size() >= 2 && rest[1] == u':') {
        break;  // the next part begins
      } else {
        return ERROR_INVALID_PARAMETER;
      }
    }
    while (pos_ < text_.size() && text_[pos_] == u'(') {
      size_t close = text_.find(u')', pos_);
      if (close == std::u16string_view::npos) return ERROR_INVALID_PARAMETER;
      Ace parsed;
      if (DWORD rc = ace(text_.substr(pos_ + 1, close - pos_ - 1), &parsed)) return rc;
      value.aces.push_back(std::move(parsed));
      pos_ = close + 1;
    }
    if (nullAcl && !value.aces.empty()) return ERROR_INVALID_PARAMETER;
    if (nullAcl) out->reset();
    else *out = std::move(value);
    return ERROR_SUCCESS;
  }

  static DWORD ace(std::u16string_view body, Ace* out) {
    std::vector<std::u16string_view> fields;
    size_t start = 0;
    while (true) {
      size_t semi = body.find(u';', start);
      fields.push_back(body.substr(start, semi == std::u16string_view::npos ? semi : semi - start));
      if (semi == std::u16string_view::npos) break;
      start = semi + 1;
    }
    if (fields.size() != 6) return ERROR_INVALID_PARAMETER;
    if (!fields[3].empty() || !fields[4].empty()) return ERROR_INVALID_PARAMETER;  // object ACEs
    bool typeFound = false;
    for (const auto& t : kAceTypes)
      if (fields[0].size() == std::char_traits<char16_t>::length(t.code) && startsWithNoCase(fields[0], t.code)) {
        out->type = static_cast<BYTE>(t.value);
        typeFound = true;
      }
    if (!typeFound) return ERROR_INVALID_PARAMETER;
    for (size_t i = 0; i < fields[1].size(); i += 2) {
      bool found = false;
      for (const auto& f : kAceFlags)
        if (startsWithNoCase(fields[1].substr(i), f.code)) {
          out->flags |= static_cast<BYTE>(f.value);
          found = true;
          break;
        }
      if (!found) return ERROR_INVALID_PARAMETER;
    }
    if (!rights(fields[2], out->type == SYSTEM_MANDATORY_LABEL_ACE_TYPE, &out->mask)) return ERROR_INVALID_PARAMETER;
    auto sidValue = SidFromString(fields[5]);
    if (!sidValue) return ERROR_INVALID_SID;
    out->sid = std::move(*sidValue);
    return ERROR_SUCCESS;
  }

  static bool rights(std::u16string_view text, bool label, ACCESS_MASK* out) {
    *out = 0;
    if (startsWithNoCase(text, u"0X")) {
      if (text.size() < 3 || text.size() > 10) return false;
      for (size_t i = 2; i < text.size(); ++i) {
        char16_t c = upper(text[i]);
        unsigned digit;
        if (c >= u'0' && c <= u'9') digit = c - u'0';
        else if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
        else return false;
        *out = (*out << 4) | digit;
      }
      return true;
    }
    if (text.size() % 2) return false;
    for (size_t i = 0; i < text.size(); i += 2) {
      bool found = false;
      auto code = text.substr(i, 2);
      if (label)
        for (const auto& r : kLabelRights)
          if (startsWithNoCase(code, r.code)) {
            *out |= r.value;
            found = true;
          }
      if (!found)
        for (const auto& r : kRights)
          if (startsWithNoCase(code, r.code)) {
            *out |= r.value;
            found = true;
            break;
          }
      if (!found) return false;
    }
    return true;
  }

  std::u16string_view text_;
  size_t pos_ = 0;
};

std::u16string sidText(const Bytes& sid) {
  std::u16string numeric = SidToString(sid);
  // Prefer the alias, as Windows writes them.
  static constexpr const char16_t* aliases[] = {u"WD", u"SY", u"BA", u"BU", u"LS", u"NS", u"AU", u"CO", u"CG",
                                                 u"IU", u"LW", u"ME", u"HI", u"SI", u"PU", u"AN", u"PS", u"RC"};
  for (const char16_t* alias : aliases)
    if (SidFromString(alias) == sid) return alias;
  return numeric;
}

std::u16string rightsText(ACCESS_MASK mask, bool label) {
  if (label) {
    std::u16string out;
    ACCESS_MASK left = mask;
    for (const auto& r : kLabelRights)
      if (mask & r.value) {
        out += r.code;
        left &= ~r.value;
      }
    if (!left) return out;
  } else {
    for (const auto& r : kRights)
      if (r.value == mask) return r.code;
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%x", mask);
  return FromUtf8(buf);
}

std::u16string aclText(const std::optional<AclValue>& acl, WORD control, bool isDacl) {
  std::u16string out;
  if (control & (isDacl ? SE_DACL_PROTECTED : SE_SACL_PROTECTED)) out += u"P";
  if (control & (isDacl ? SE_DACL_AUTO_INHERIT_REQ : SE_SACL_AUTO_INHERIT_REQ)) out += u"AR";
  if (control & (isDacl ? SE_DACL_AUTO_INHERITED : SE_SACL_AUTO_INHERITED)) out += u"AI";
  if (!acl) return out + u"NO_ACCESS_CONTROL";
  for (const auto& ace : acl->aces) {
    out += u"(";
    for (const auto& t : kAceTypes)
      if (t.value == ace.type) out += t.code;
    out += u";";
    for (const auto& f : kAceFlags)
      if (ace.flags & f.value) out += f.code;
    out += u";" + rightsText(ace.mask, ace.type == SYSTEM_MANDATORY_LABEL_ACE_TYPE) + u";;;" + sidText(ace.sid) + u")";
  }
  return out;
}

}  // namespace

DWORD ParseSddl(std::u16string_view text, Descriptor* out) {
  Descriptor sd;
  DWORD rc = Parser(text).Run(&sd);
  if (rc == ERROR_SUCCESS) *out = std::move(sd);
  return rc;
}

std::u16string ToSddl(const Descriptor& sd) {
  std::u16string out;
  if (sd.owner) out += u"O:" + sidText(*sd.owner);
  if (sd.group) out += u"G:" + sidText(*sd.group);
  if (sd.daclPresent) out += u"D:" + aclText(sd.dacl, sd.control, true);
  if (sd.saclPresent) out += u"S:" + aclText(sd.sacl, sd.control, false);
  return out;
}

}  // namespace tw::security

using namespace tw::security;

TWAPI BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                                DWORD StringSDRevision,
                                                                PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                PULONG SecurityDescriptorSize) {
  if (!StringSecurityDescriptor || !SecurityDescriptor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (StringSDRevision != SDDL_REVISION_1) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  Descriptor sd;
  if (DWORD rc = ParseSddl(StringSecurityDescriptor, &sd)) {
    SetLastError(rc);
    return FALSE;
  }
  Bytes bytes = WriteSelfRelative(sd);
  void* out = LocalAlloc(LMEM_FIXED, bytes.size());
  if (!out) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  std::memcpy(out, bytes.data(), bytes.size());
  *SecurityDescriptor = out;
  if (SecurityDescriptorSize) *SecurityDescriptorSize = static_cast<ULONG>(bytes.size());
  return TRUE;
}

TWAPI BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR SecurityDescriptor,
                                                                DWORD RequestedStringSDRevision,
                                                                SECURITY_INFORMATION SecurityInformation,
                                                                LPWSTR* StringSecurityDescriptor,
                                                                PULONG StringSecurityDescriptorLen) {
  if (!StringSecurityDescriptor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (RequestedStringSDRevision != SDDL_REVISION_1) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  Descriptor sd;
  if (!ReadDescriptor(SecurityDescriptor, &sd)) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  std::u16string text = ToSddl(Select(sd, SecurityInformation));
  auto* out = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, (text.size() + 1) * sizeof(WCHAR)));
  if (!out) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  *StringSecurityDescriptor = out;
  if (StringSecurityDescriptorLen) *StringSecurityDescriptorLen = static_cast<ULONG>(text.size() + 1);
  return TRUE;
}
