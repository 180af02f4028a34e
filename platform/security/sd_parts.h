// Internal: security descriptors as plain values, so the registry can store
// a descriptor as bytes, merge the parts a caller sets, and show it as SDDL.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tw/security.h"

namespace tw::security {

using Bytes = std::vector<BYTE>;

struct Ace {
  BYTE type = ACCESS_ALLOWED_ACE_TYPE;
  BYTE flags = 0;
  ACCESS_MASK mask = 0;
  Bytes sid;
};

struct AclValue {
  BYTE revision = ACL_REVISION;
  std::vector<Ace> aces;
};

// One descriptor. An absent optional is an absent part; a present DACL
// without a value (null DACL) is `daclPresent` with no `dacl`.
struct Descriptor {
  SECURITY_DESCRIPTOR_CONTROL control = 0;  // without SE_SELF_RELATIVE
  std::optional<Bytes> owner;
  std::optional<Bytes> group;
  bool daclPresent = false;
  std::optional<AclValue> dacl;
  bool saclPresent = false;
  std::optional<AclValue> sacl;
};

// Length of a valid SID at `sid` (at most `limit` bytes readable), 0 if not valid.
DWORD SidLength(const void* sid, size_t limit = SECURITY_MAX_SID_SIZE);
Bytes SidBytes(const void* sid);  // the SID must be valid
std::u16string SidToString(const Bytes& sid);
// "S-1-5-18" or an alias ("SY"); nullopt when malformed.
std::optional<Bytes> SidFromString(std::u16string_view text);

// Reads an ACL in its binary form; false when malformed.
bool ReadAcl(const void* acl, size_t limit, AclValue* out);
Bytes WriteAcl(const AclValue& acl);

// Reads an absolute or self-relative descriptor; false when malformed.
bool ReadDescriptor(const void* sd, Descriptor* out);
// The self-relative binary form.
Bytes WriteSelfRelative(const Descriptor& sd);
// Keeps only the parts `info` names.
Descriptor Select(const Descriptor& sd, SECURITY_INFORMATION info);
// Replaces in `target` the parts `info` names with those of `source`.
void Merge(Descriptor* target, const Descriptor& source, SECURITY_INFORMATION info);

// SDDL text; ParseSddl returns a Win32 error code (0 on success).
DWORD ParseSddl(std::u16string_view text, Descriptor* out);
std::u16string ToSddl(const Descriptor& sd);

// The SID of a configured user or well-known account name, or nullopt.
std::optional<Bytes> SidForName(std::u16string_view name);

}  // namespace tw::security
