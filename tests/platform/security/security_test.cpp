// SIDs, ACLs, security descriptors and SDDL.
#include <windows.h>

#include <cstring>

#include "tw/utf.h"
#include "tw_test.h"

namespace {

std::u16string sidString(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return u"<invalid>";
  std::u16string out(text);
  LocalFree(text);
  return out;
}

std::u16string sddlOf(PSECURITY_DESCRIPTOR sd, SECURITY_INFORMATION info) {
  LPWSTR text = nullptr;
  if (!ConvertSecurityDescriptorToStringSecurityDescriptorW(sd, SDDL_REVISION_1, info, &text, nullptr))
    return u"<error>";
  std::u16string out(text);
  LocalFree(text);
  return out;
}

TEST(Sid, AllocateConvertCompareAndFree) {
  twtest::LeakGuard leaks;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY, world = SECURITY_WORLD_SID_AUTHORITY;
  PSID admins = nullptr, everyone = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                       0, &admins));
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  EXPECT_EQ(GetLengthSid(admins), 16u);
  EXPECT_EQ(sidString(admins), u"S-1-5-32-544");
  EXPECT_EQ(sidString(everyone), u"S-1-1-0");
  EXPECT_EQ(*GetSidSubAuthorityCount(admins), 2);
  EXPECT_EQ(*GetSidSubAuthority(admins, 1), 544u);
  PSID parsed = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(u"BA", &parsed));
  EXPECT_TRUE(EqualSid(parsed, admins));
  EXPECT_FALSE(EqualSid(parsed, everyone));
  LocalFree(parsed);
  ASSERT_TRUE(ConvertStringSidToSidW(u"S-1-5-21-3623811015-3361044348-30300820-1001", &parsed));
  EXPECT_EQ(sidString(parsed), u"S-1-5-21-3623811015-3361044348-30300820-1001");
  LocalFree(parsed);
  // Malformed strings and too many sub-authorities fail cleanly.
  for (const char16_t* bad : {u"S-1", u"S-2-5-18", u"X-1-5", u"S-1-5-", u"S-1-5-99999999999", u"ZZ", u""}) {
    PSID sid = nullptr;
    EXPECT_FALSE(ConvertStringSidToSidW(bad, &sid)) << tw::ToUtf8(bad);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SID));
  }
  PSID nine = nullptr;
  EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &nine));
  EXPECT_EQ(FreeSid(admins), nullptr);
  EXPECT_EQ(FreeSid(everyone), nullptr);
}

TEST(Acl, SetEntriesInAclModesAndOrder) {
  twtest::LeakGuard leaks;
  PSID users = nullptr, system = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(u"BU", &users));
  ASSERT_TRUE(ConvertStringSidToSidW(u"SY", &system));
  EXPLICIT_ACCESS_W ea[3] = {};
  ea[0] = {KEY_READ, GRANT_ACCESS, NO_INHERITANCE, {nullptr, NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_SID, TRUSTEE_IS_GROUP,
                                                     static_cast<LPWSTR>(users)}};
  ea[1] = {KEY_SET_VALUE, DENY_ACCESS, NO_INHERITANCE, {nullptr, NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_SID,
                                                         TRUSTEE_IS_GROUP, static_cast<LPWSTR>(users)}};
  ea[2] = {KEY_ALL_ACCESS, SET_ACCESS, SUB_CONTAINERS_AND_OBJECTS_INHERIT,
           {nullptr, NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_NAME, TRUSTEE_IS_USER, const_cast<LPWSTR>(u"SYSTEM")}};
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(3, ea, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(IsValidAcl(acl));
  EXPECT_EQ(acl->AceCount, 3);
  // Deny first, then the grants in the order given.
  void* ace = nullptr;
  ASSERT_TRUE(GetAce(acl, 0, &ace));
  EXPECT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_DENIED_ACE_TYPE);
  ASSERT_TRUE(GetAce(acl, 2, &ace));
  EXPECT_EQ(static_cast<ACCESS_ALLOWED_ACE*>(ace)->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
  EXPECT_TRUE(EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart, system));

  // SET_ACCESS on an old ACL replaces the trustee's entries; REVOKE removes them.
  EXPLICIT_ACCESS_W again[2] = {};
  again[0] = {KEY_QUERY_VALUE, SET_ACCESS, NO_INHERITANCE, {nullptr, NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_SID,
                                                             TRUSTEE_IS_GROUP, static_cast<LPWSTR>(users)}};
  again[1] = {0, REVOKE_ACCESS, NO_INHERITANCE, {nullptr, NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_SID, TRUSTEE_IS_USER,
                                                  static_cast<LPWSTR>(system)}};
  PACL next = nullptr;
  ASSERT_EQ(SetEntriesInAclW(2, again, acl, &next), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(next->AceCount, 1);
  ASSERT_TRUE(GetAce(next, 0, &ace));
  EXPECT_EQ(static_cast<ACCESS_ALLOWED_ACE*>(ace)->Mask, static_cast<DWORD>(KEY_QUERY_VALUE));

  // Bad trustees.
  EXPLICIT_ACCESS_W bad = ea[2];
  bad.Trustee.ptstrName = const_cast<LPWSTR>(u"No Such Account");
  PACL none = nullptr;
  EXPECT_EQ(SetEntriesInAclW(1, &bad, nullptr, &none), static_cast<DWORD>(ERROR_NONE_MAPPED));
  bad.Trustee.TrusteeForm = TRUSTEE_BAD_FORM;
  EXPECT_EQ(SetEntriesInAclW(1, &bad, nullptr, &none), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(none, nullptr);
  LocalFree(acl);
  LocalFree(next);
  LocalFree(users);
  LocalFree(system);
}

TEST(SecurityDescriptor, AbsoluteDescriptorInFortyBytes) {
  twtest::LeakGuard leaks;
  static_assert(SECURITY_DESCRIPTOR_MIN_LENGTH == 40);
  auto sd = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH);
  EXPECT_FALSE(InitializeSecurityDescriptor(sd, 2));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
  ASSERT_TRUE(InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION));
  // A present null DACL: access for everyone.
  ASSERT_TRUE(SetSecurityDescriptorDacl(sd, TRUE, nullptr, FALSE));
  EXPECT_EQ(sddlOf(sd, DACL_SECURITY_INFORMATION), u"D:NO_ACCESS_CONTROL");
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(sd, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);
  EXPECT_TRUE(IsValidSecurityDescriptor(sd));
  // Self-relative copy: size query, then the copy, which cannot be changed in place.
  DWORD size = 0;
  EXPECT_FALSE(MakeSelfRelativeSD(sd, nullptr, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 20u);
  std::vector<BYTE> relative(size);
  ASSERT_TRUE(MakeSelfRelativeSD(sd, relative.data(), &size));
  EXPECT_FALSE(SetSecurityDescriptorDacl(relative.data(), FALSE, nullptr, FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_SECURITY_DESCR));
  LocalFree(sd);
}

TEST(SecurityDescriptor, SddlRoundTripsAndRejectsBadText) {
  twtest::LeakGuard leaks;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ULONG size = 0;
  // The shared-memory label: low integrity, no write up.
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"S:(ML;;NW;;;LW)", SDDL_REVISION_1, &sd, &size));
  EXPECT_EQ(sddlOf(sd, LABEL_SECURITY_INFORMATION), u"S:(ML;;NW;;;LW)");
  EXPECT_EQ(GetSecurityDescriptorLength(sd), size);
  LocalFree(sd);
  const char16_t* full = u"O:BAG:SYD:P(D;;KW;;;BU)(A;OICI;KA;;;SY)(A;;0x1234;;;S-1-5-21-1-2-3-1001)";
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(full, SDDL_REVISION_1, &sd, nullptr));
  EXPECT_EQ(sddlOf(sd, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION), full);
  EXPECT_EQ(sddlOf(sd, OWNER_SECURITY_INFORMATION), u"O:BA");
  PSID owner = nullptr;
  BOOL defaulted = TRUE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(sd, &owner, &defaulted));
  EXPECT_EQ(sidString(owner), u"S-1-5-32-544");
  LocalFree(sd);
  for (const char16_t* bad : {u"D:(A;;KA;;;)", u"D:(X;;KA;;;SY)", u"D:(A;;QQ;;;SY)", u"Q:BA", u"D:(A;;KA;;;SY",
                              u"O:ZZ", u"D:(OA;;KA;0e0e0e0e-0000-0000-0000-000000000000;;SY)"}) {
    sd = nullptr;
    EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(bad, SDDL_REVISION_1, &sd, nullptr))
        << tw::ToUtf8(bad);
    EXPECT_EQ(sd, nullptr);
  }
  // Damaged descriptors are refused: a bad ACL revision, an ACE larger than its ACL.
  BYTE junk[32] = {1, 0, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,
                   9, 0, 8, 0, 0, 0, 0, 0};
  EXPECT_FALSE(IsValidSecurityDescriptor(junk));
  BYTE overlong[32] = {1, 0, 0x04, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 20, 0, 0, 0,
                       2, 0, 12, 0, 1, 0, 0, 0, 0, 0, 64, 0};
  EXPECT_FALSE(IsValidSecurityDescriptor(overlong));
}

}  // namespace
