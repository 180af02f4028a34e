// Access control lists: the binary form, building with explicit entries.
#include <algorithm>
#include <cstring>

#include "sd_parts.h"
#include "tw/lasterror.h"
#include "tw/memory.h"
#include "winerror.h"

namespace tw::security {
namespace {

constexpr size_t kAclHeader = sizeof(ACL);
constexpr size_t kAceFixed = 8;  // header + mask

bool knownAceType(BYTE type) {
  return type == ACCESS_ALLOWED_ACE_TYPE || type == ACCESS_DENIED_ACE_TYPE || type == SYSTEM_AUDIT_ACE_TYPE ||
         type == SYSTEM_ALARM_ACE_TYPE || type == SYSTEM_MANDATORY_LABEL_ACE_TYPE;
}

size_t aceSize(const Ace& ace) { return kAceFixed + ace.sid.size(); }

}  // namespace

bool ReadAcl(const void* acl, size_t limit, AclValue* out) {
  if (!acl || limit < kAclHeader) return false;
  ACL header;
  std::memcpy(&header, acl, kAclHeader);
  if (header.AclRevision < ACL_REVISION || header.AclRevision > ACL_REVISION_DS) return false;
  if (header.AclSize < kAclHeader || header.AclSize > limit) return false;
  auto* base = static_cast<const BYTE*>(acl);
  size_t offset = kAclHeader;
  AclValue value;
  value.revision = header.AclRevision;
  for (WORD i = 0; i < header.AceCount; ++i) {
    if (offset + kAceFixed > header.AclSize) return false;
    ACE_HEADER ah;
    std::memcpy(&ah, base + offset, sizeof ah);
    if (ah.AceSize < kAceFixed || offset + ah.AceSize > header.AclSize || (ah.AceSize & 3)) return false;
    Ace ace;
    ace.type = ah.AceType;
    ace.flags = ah.AceFlags;
    std::memcpy(&ace.mask, base + offset + 4, 4);
    if (knownAceType(ah.AceType)) {
      DWORD sidLength = SidLength(base + offset + kAceFixed, ah.AceSize - kAceFixed);
      if (!sidLength) return false;
      ace.sid.assign(base + offset + kAceFixed, base + offset + kAceFixed + sidLength);
    } else {
      // Kept as it is (object ACEs and others we do not interpret).
      ace.sid.assign(base + offset + kAceFixed, base + offset + ah.AceSize);
    }
    value.aces.push_back(std::move(ace));
    offset += ah.AceSize;
  }
  if (out) *out = std::move(value);
  return true;
}

Bytes WriteAcl(const AclValue& acl) {
  size_t size = kAclHeader;
  for (const auto& ace : acl.aces) size += (aceSize(ace) + 3) & ~size_t(3);
  Bytes out(size, 0);
  ACL header{acl.revision, 0, static_cast<WORD>(size), static_cast<WORD>(acl.aces.size()), 0};
  std::memcpy(out.data(), &header, kAclHeader);
  size_t offset = kAclHeader;
  for (const auto& ace : acl.aces) {
    size_t length = (aceSize(ace) + 3) & ~size_t(3);
    ACE_HEADER ah{ace.type, ace.flags, static_cast<WORD>(length)};
    std::memcpy(out.data() + offset, &ah, sizeof ah);
    std::memcpy(out.data() + offset + 4, &ace.mask, 4);
    std::memcpy(out.data() + offset + kAceFixed, ace.sid.data(), ace.sid.size());
    offset += length;
  }
  return out;
}

}  // namespace tw::security

using namespace tw::security;

namespace {

// Appends an ACE to an ACL in place (the AddAccess*Ace family).
BOOL addAce(PACL pAcl, DWORD revision, BYTE type, DWORD flags, DWORD mask, PSID pSid) {
  AclValue acl;
  if (!pAcl || !ReadAcl(pAcl, pAcl ? pAcl->AclSize : 0, &acl)) {
    SetLastError(ERROR_INVALID_ACL);
    return FALSE;
  }
  if (revision < ACL_REVISION || revision > ACL_REVISION_DS) {
    SetLastError(ERROR_REVISION_MISMATCH);
    return FALSE;
  }
  if (!SidLength(pSid)) {
    SetLastError(ERROR_INVALID_SID);
    return FALSE;
  }
  if (flags & ~DWORD(VALID_INHERIT_FLAGS | SUCCESSFUL_ACCESS_ACE_FLAG | FAILED_ACCESS_ACE_FLAG)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return FALSE;
  }
  acl.aces.push_back({type, static_cast<BYTE>(flags), mask, SidBytes(pSid)});
  Bytes written = WriteAcl(acl);
  WORD capacity = pAcl->AclSize;
  if (written.size() > capacity) {
    SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
    return FALSE;
  }
  // The ACL keeps its allocated size; only the count and the ACEs change.
  std::memcpy(pAcl, written.data(), written.size());
  pAcl->AclSize = capacity;
  return TRUE;
}

}  // namespace

TWAPI BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision) {
  if (!pAcl || nAclLength < sizeof(ACL) || nAclLength > 0xFFFF) {
    SetLastError(nAclLength < sizeof(ACL) ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwAclRevision < ACL_REVISION || dwAclRevision > ACL_REVISION_DS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ACL header{static_cast<BYTE>(dwAclRevision), 0, static_cast<WORD>(nAclLength & ~DWORD(3)), 0, 0};
  std::memcpy(pAcl, &header, sizeof header);
  return TRUE;
}

TWAPI BOOL IsValidAcl(PACL pAcl) { return pAcl && ReadAcl(pAcl, pAcl->AclSize, nullptr) ? TRUE : FALSE; }

TWAPI BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
  return addAce(pAcl, dwAceRevision, ACCESS_ALLOWED_ACE_TYPE, 0, AccessMask, pSid);
}

TWAPI BOOL AddAccessAllowedAceEx(PACL pAcl, DWORD dwAceRevision, DWORD AceFlags, DWORD AccessMask, PSID pSid) {
  return addAce(pAcl, dwAceRevision, ACCESS_ALLOWED_ACE_TYPE, AceFlags, AccessMask, pSid);
}

TWAPI BOOL AddAccessDeniedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid) {
  return addAce(pAcl, dwAceRevision, ACCESS_DENIED_ACE_TYPE, 0, AccessMask, pSid);
}

TWAPI BOOL GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID* pAce) {
  if (!pAcl || !pAce || !IsValidAcl(pAcl) || dwAceIndex >= pAcl->AceCount) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto* p = reinterpret_cast<BYTE*>(pAcl) + sizeof(ACL);
  for (DWORD i = 0; i < dwAceIndex; ++i) p += reinterpret_cast<ACE_HEADER*>(p)->AceSize;
  *pAce = p;
  return TRUE;
}

TWAPI DWORD SetEntriesInAclW(ULONG cCountOfExplicitEntries, PEXPLICIT_ACCESS_W pListOfExplicitEntries, PACL OldAcl,
                             PACL* NewAcl) {
  if (!NewAcl || (cCountOfExplicitEntries && !pListOfExplicitEntries)) return ERROR_INVALID_PARAMETER;
  *NewAcl = nullptr;
  AclValue acl;
  if (OldAcl && !ReadAcl(OldAcl, OldAcl->AclSize, &acl)) return ERROR_INVALID_ACL;

  for (ULONG i = 0; i < cCountOfExplicitEntries; ++i) {
    const EXPLICIT_ACCESS_W& entry = pListOfExplicitEntries[i];
    if (entry.grfAccessMode == NOT_USED_ACCESS) continue;
    const TRUSTEE_W& trustee = entry.Trustee;
    if (trustee.pMultipleTrustee || trustee.MultipleTrusteeOperation != NO_MULTIPLE_TRUSTEE)
      return ERROR_INVALID_PARAMETER;
    Bytes sid;
    if (trustee.TrusteeForm == TRUSTEE_IS_SID) {
      if (!SidLength(trustee.ptstrName)) return ERROR_INVALID_SID;
      sid = SidBytes(trustee.ptstrName);
    } else if (trustee.TrusteeForm == TRUSTEE_IS_NAME) {
      if (!trustee.ptstrName) return ERROR_INVALID_PARAMETER;
      auto found = SidForName(trustee.ptstrName);
      if (!found) return ERROR_NONE_MAPPED;
      sid = *found;
    } else {
      return ERROR_INVALID_PARAMETER;
    }
    auto flags = static_cast<BYTE>(entry.grfInheritance & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE |
                                                           NO_PROPAGATE_INHERIT_ACE | INHERIT_ONLY_ACE));
    auto explicitFor = [&](const Ace& ace) {
      return !(ace.flags & INHERITED_ACE) && ace.sid == sid &&
             (ace.type == ACCESS_ALLOWED_ACE_TYPE || ace.type == ACCESS_DENIED_ACE_TYPE);
    };
    switch (entry.grfAccessMode) {
      case GRANT_ACCESS: {
        auto it = std::find_if(acl.aces.begin(), acl.aces.end(), [&](const Ace& ace) {
          return explicitFor(ace) && ace.type == ACCESS_ALLOWED_ACE_TYPE && ace.flags == flags;
        });
        if (it != acl.aces.end()) it->mask |= entry.grfAccessPermissions;
        else acl.aces.push_back({ACCESS_ALLOWED_ACE_TYPE, flags, entry.grfAccessPermissions, sid});
        break;
      }
      case SET_ACCESS:
        std::erase_if(acl.aces, explicitFor);
        acl.aces.push_back({ACCESS_ALLOWED_ACE_TYPE, flags, entry.grfAccessPermissions, sid});
        break;
      case DENY_ACCESS:
        acl.aces.push_back({ACCESS_DENIED_ACE_TYPE, flags, entry.grfAccessPermissions, sid});
        break;
      case REVOKE_ACCESS:
        std::erase_if(acl.aces, explicitFor);
        break;
      case SET_AUDIT_SUCCESS:
      case SET_AUDIT_FAILURE:
        return ERROR_INVALID_PARAMETER;  // audit entries belong in a SACL
      default:
        return ERROR_INVALID_PARAMETER;
    }
  }

  // Canonical order: explicit deny, explicit allow, then inherited entries.
  auto rank = [](const Ace& ace) {
    if (ace.flags & INHERITED_ACE) return 2;
    return ace.type == ACCESS_DENIED_ACE_TYPE ? 0 : 1;
  };
  std::stable_sort(acl.aces.begin(), acl.aces.end(),
                   [&](const Ace& a, const Ace& b) { return rank(a) < rank(b); });

  Bytes written = WriteAcl(acl);
  if (written.size() > 0xFFFF) return ERROR_ALLOTTED_SPACE_EXCEEDED;
  auto* out = static_cast<PACL>(LocalAlloc(LMEM_FIXED, written.size()));
  if (!out) return ERROR_NOT_ENOUGH_MEMORY;
  std::memcpy(out, written.data(), written.size());
  *NewAcl = out;
  return ERROR_SUCCESS;
}
