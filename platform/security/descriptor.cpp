// Security descriptors: absolute and self-relative forms.
#include <cstring>

#include "sd_parts.h"
#include "tw/lasterror.h"
#include "tw/memory.h"
#include "winerror.h"

namespace tw::security {
namespace {

constexpr size_t kRelativeHeader = sizeof(SECURITY_DESCRIPTOR_RELATIVE);

bool readAclAt(const void* acl, std::optional<AclValue>* out) {
  if (!acl) {
    out->reset();
    return true;
  }
  WORD size;
  std::memcpy(&size, static_cast<const BYTE*>(acl) + 2, 2);
  AclValue value;
  if (!ReadAcl(acl, size, &value)) return false;
  *out = std::move(value);
  return true;
}

bool readSidAt(const void* sid, std::optional<Bytes>* out) {
  if (!sid) {
    out->reset();
    return true;
  }
  if (!SidLength(sid)) return false;
  *out = SidBytes(sid);
  return true;
}

}  // namespace

bool ReadDescriptor(const void* sd, Descriptor* out) {
  if (!sd) return false;
  auto* base = static_cast<const BYTE*>(sd);
  if (base[0] != SECURITY_DESCRIPTOR_REVISION) return false;
  Descriptor result;
  WORD control;
  std::memcpy(&control, base + 2, 2);
  result.control = control & ~SE_SELF_RELATIVE;
  result.daclPresent = (control & SE_DACL_PRESENT) != 0;
  result.saclPresent = (control & SE_SACL_PRESENT) != 0;
  const void *owner, *group, *sacl, *dacl;
  if (control & SE_SELF_RELATIVE) {
    SECURITY_DESCRIPTOR_RELATIVE rel;
    std::memcpy(&rel, sd, sizeof rel);
    auto at = [&](DWORD offset) -> const void* { return offset ? base + offset : nullptr; };
    owner = at(rel.Owner);
    group = at(rel.Group);
    sacl = at(rel.Sacl);
    dacl = at(rel.Dacl);
  } else {
    SECURITY_DESCRIPTOR abs;
    std::memcpy(&abs, sd, sizeof abs);
    owner = abs.Owner;
    group = abs.Group;
    sacl = abs.Sacl;
    dacl = abs.Dacl;
  }
  if (!readSidAt(owner, &result.owner) || !readSidAt(group, &result.group)) return false;
  if (!readAclAt(result.daclPresent ? dacl : nullptr, &result.dacl)) return false;
  if (!readAclAt(result.saclPresent ? sacl : nullptr, &result.sacl)) return false;
  if (out) *out = std::move(result);
  return true;
}

Bytes WriteSelfRelative(const Descriptor& sd) {
  Bytes out(kRelativeHeader, 0);
  SECURITY_DESCRIPTOR_RELATIVE rel{};
  rel.Revision = SECURITY_DESCRIPTOR_REVISION;
  rel.Control = static_cast<WORD>((sd.control & ~(SE_DACL_PRESENT | SE_SACL_PRESENT)) | SE_SELF_RELATIVE);
  if (sd.daclPresent) rel.Control |= SE_DACL_PRESENT;
  if (sd.saclPresent) rel.Control |= SE_SACL_PRESENT;
  auto append = [&](const Bytes& part) {
    DWORD offset = static_cast<DWORD>(out.size());
    out.insert(out.end(), part.begin(), part.end());
    return offset;
  };
  if (sd.saclPresent && sd.sacl) rel.Sacl = append(WriteAcl(*sd.sacl));
  if (sd.daclPresent && sd.dacl) rel.Dacl = append(WriteAcl(*sd.dacl));
  if (sd.owner) rel.Owner = append(*sd.owner);
  if (sd.group) rel.Group = append(*sd.group);
  std::memcpy(out.data(), &rel, sizeof rel);
  return out;
}

Descriptor Select(const Descriptor& sd, SECURITY_INFORMATION info) {
  Descriptor out;
  Merge(&out, sd, info);
  return out;
}

void Merge(Descriptor* target, const Descriptor& source, SECURITY_INFORMATION info) {
  auto copyControl = [&](WORD bits) { target->control = (target->control & ~bits) | (source.control & bits); };
  if (info & OWNER_SECURITY_INFORMATION) {
    target->owner = source.owner;
    copyControl(SE_OWNER_DEFAULTED);
  }
  if (info & GROUP_SECURITY_INFORMATION) {
    target->group = source.group;
    copyControl(SE_GROUP_DEFAULTED);
  }
  if (info & DACL_SECURITY_INFORMATION) {
    target->daclPresent = source.daclPresent;
    target->dacl = source.dacl;
    copyControl(SE_DACL_DEFAULTED | SE_DACL_PROTECTED | SE_DACL_AUTO_INHERITED | SE_DACL_AUTO_INHERIT_REQ);
  }
  if (info & (SACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION)) {
    target->saclPresent = source.saclPresent;
    target->sacl = source.sacl;
    copyControl(SE_SACL_DEFAULTED | SE_SACL_PROTECTED | SE_SACL_AUTO_INHERITED | SE_SACL_AUTO_INHERIT_REQ);
  }
}

}  // namespace tw::security

using namespace tw::security;

namespace {

// The absolute descriptor behind a pointer, or null (and the error) when it
// cannot be changed in place.
SECURITY_DESCRIPTOR* absoluteForWrite(PSECURITY_DESCRIPTOR p) {
  auto* sd = static_cast<SECURITY_DESCRIPTOR*>(p);
  if (!sd) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return nullptr;
  }
  if (sd->Control & SE_SELF_RELATIVE) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return nullptr;
  }
  return sd;
}

bool checkReadable(PSECURITY_DESCRIPTOR p) {
  auto* base = static_cast<const BYTE*>(p);
  if (!base) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (base[0] != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return false;
  }
  return true;
}

// Pointers to the parts, for either form.
struct Parts {
  WORD control;
  void *owner, *group, *sacl, *dacl;
};

Parts partsOf(PSECURITY_DESCRIPTOR p) {
  auto* base = static_cast<BYTE*>(p);
  Parts parts{};
  std::memcpy(&parts.control, base + 2, 2);
  if (parts.control & SE_SELF_RELATIVE) {
    SECURITY_DESCRIPTOR_RELATIVE rel;
    std::memcpy(&rel, p, sizeof rel);
    auto at = [&](DWORD offset) -> void* { return offset ? base + offset : nullptr; };
    parts.owner = at(rel.Owner);
    parts.group = at(rel.Group);
    parts.sacl = at(rel.Sacl);
    parts.dacl = at(rel.Dacl);
  } else {
    auto* sd = static_cast<SECURITY_DESCRIPTOR*>(p);
    parts.owner = sd->Owner;
    parts.group = sd->Group;
    parts.sacl = sd->Sacl;
    parts.dacl = sd->Dacl;
  }
  return parts;
}

}  // namespace

TWAPI BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision) {
  if (!pSecurityDescriptor) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (dwRevision != SECURITY_DESCRIPTOR_REVISION) {
    SetLastError(ERROR_UNKNOWN_REVISION);
    return FALSE;
  }
  SECURITY_DESCRIPTOR sd{};
  sd.Revision = SECURITY_DESCRIPTOR_REVISION;
  std::memcpy(pSecurityDescriptor, &sd, sizeof sd);
  return TRUE;
}

TWAPI BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor) {
  if (!ReadDescriptor(pSecurityDescriptor, nullptr)) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  return TRUE;
}

TWAPI DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR pSecurityDescriptor) {
  Descriptor sd;
  if (!ReadDescriptor(pSecurityDescriptor, &sd)) return 0;
  return static_cast<DWORD>(WriteSelfRelative(sd).size());
}

TWAPI BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                        PSECURITY_DESCRIPTOR_CONTROL pControl, LPDWORD lpdwRevision) {
  if (!checkReadable(pSecurityDescriptor) || !pControl || !lpdwRevision) {
    if (pSecurityDescriptor) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpdwRevision = static_cast<BYTE*>(pSecurityDescriptor)[0];
  std::memcpy(pControl, static_cast<BYTE*>(pSecurityDescriptor) + 2, 2);
  return TRUE;
}

TWAPI BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                                     BOOL bDaclDefaulted) {
  auto* sd = absoluteForWrite(pSecurityDescriptor);
  if (!sd) return FALSE;
  sd->Control &= ~(SE_DACL_PRESENT | SE_DACL_DEFAULTED);
  if (bDaclPresent) {
    sd->Control |= SE_DACL_PRESENT;
    if (bDaclDefaulted) sd->Control |= SE_DACL_DEFAULTED;
    sd->Dacl = pDacl;
  } else {
    sd->Dacl = nullptr;
  }
  return TRUE;
}

TWAPI BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbDaclPresent, PACL* pDacl,
                                     LPBOOL lpbDaclDefaulted) {
  if (!checkReadable(pSecurityDescriptor)) return FALSE;
  if (!lpbDaclPresent || !pDacl || !lpbDaclDefaulted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Parts parts = partsOf(pSecurityDescriptor);
  *lpbDaclPresent = (parts.control & SE_DACL_PRESENT) ? TRUE : FALSE;
  if (*lpbDaclPresent) {
    *pDacl = static_cast<PACL>(parts.dacl);
    *lpbDaclDefaulted = (parts.control & SE_DACL_DEFAULTED) ? TRUE : FALSE;
  }
  return TRUE;
}

TWAPI BOOL SetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bSaclPresent, PACL pSacl,
                                     BOOL bSaclDefaulted) {
  auto* sd = absoluteForWrite(pSecurityDescriptor);
  if (!sd) return FALSE;
  sd->Control &= ~(SE_SACL_PRESENT | SE_SACL_DEFAULTED);
  if (bSaclPresent) {
    sd->Control |= SE_SACL_PRESENT;
    if (bSaclDefaulted) sd->Control |= SE_SACL_DEFAULTED;
    sd->Sacl = pSacl;
  } else {
    sd->Sacl = nullptr;
  }
  return TRUE;
}

TWAPI BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbSaclPresent, PACL* pSacl,
                                     LPBOOL lpbSaclDefaulted) {
  if (!checkReadable(pSecurityDescriptor)) return FALSE;
  if (!lpbSaclPresent || !pSacl || !lpbSaclDefaulted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Parts parts = partsOf(pSecurityDescriptor);
  *lpbSaclPresent = (parts.control & SE_SACL_PRESENT) ? TRUE : FALSE;
  if (*lpbSaclPresent) {
    *pSacl = static_cast<PACL>(parts.sacl);
    *lpbSaclDefaulted = (parts.control & SE_SACL_DEFAULTED) ? TRUE : FALSE;
  }
  return TRUE;
}

TWAPI BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner, BOOL bOwnerDefaulted) {
  auto* sd = absoluteForWrite(pSecurityDescriptor);
  if (!sd) return FALSE;
  sd->Owner = pOwner;
  sd->Control = (sd->Control & ~SE_OWNER_DEFAULTED) | (bOwnerDefaulted ? SE_OWNER_DEFAULTED : 0);
  return TRUE;
}

TWAPI BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pOwner,
                                      LPBOOL lpbOwnerDefaulted) {
  if (!checkReadable(pSecurityDescriptor)) return FALSE;
  if (!pOwner || !lpbOwnerDefaulted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Parts parts = partsOf(pSecurityDescriptor);
  *pOwner = parts.owner;
  *lpbOwnerDefaulted = (parts.control & SE_OWNER_DEFAULTED) ? TRUE : FALSE;
  return TRUE;
}

TWAPI BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pGroup, BOOL bGroupDefaulted) {
  auto* sd = absoluteForWrite(pSecurityDescriptor);
  if (!sd) return FALSE;
  sd->Group = pGroup;
  sd->Control = (sd->Control & ~SE_GROUP_DEFAULTED) | (bGroupDefaulted ? SE_GROUP_DEFAULTED : 0);
  return TRUE;
}

TWAPI BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pGroup,
                                      LPBOOL lpbGroupDefaulted) {
  if (!checkReadable(pSecurityDescriptor)) return FALSE;
  if (!pGroup || !lpbGroupDefaulted) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Parts parts = partsOf(pSecurityDescriptor);
  *pGroup = parts.group;
  *lpbGroupDefaulted = (parts.control & SE_GROUP_DEFAULTED) ? TRUE : FALSE;
  return TRUE;
}

TWAPI BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR pAbsoluteSecurityDescriptor,
                              PSECURITY_DESCRIPTOR pSelfRelativeSecurityDescriptor, LPDWORD lpdwBufferLength) {
  if (!lpdwBufferLength || !checkReadable(pAbsoluteSecurityDescriptor)) {
    if (!lpdwBufferLength) SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (partsOf(pAbsoluteSecurityDescriptor).control & SE_SELF_RELATIVE) {
    SetLastError(ERROR_BAD_DESCRIPTOR_FORMAT);
    return FALSE;
  }
  Descriptor sd;
  if (!ReadDescriptor(pAbsoluteSecurityDescriptor, &sd)) {
    SetLastError(ERROR_INVALID_SECURITY_DESCR);
    return FALSE;
  }
  Bytes bytes = WriteSelfRelative(sd);
  if (!pSelfRelativeSecurityDescriptor || *lpdwBufferLength < bytes.size()) {
    *lpdwBufferLength = static_cast<DWORD>(bytes.size());
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pSelfRelativeSecurityDescriptor, bytes.data(), bytes.size());
  *lpdwBufferLength = static_cast<DWORD>(bytes.size());
  return TRUE;
}
