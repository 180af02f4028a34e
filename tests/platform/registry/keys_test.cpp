// Registry keys: creation, opening, enumeration order, deletion rules, trees,
// deleted-key handles, limits, the 32-bit view, volatile keys, the current
// user's hive and key security.
#include <cstdlib>

#include "reg_test_util.h"
#include "tw/registry.h"
#include "tw/utf.h"

using namespace regtest;

namespace {

class RegistryKeys : public ::testing::Test {
 protected:
  twtest::TempRoot root_;
  twtest::LeakGuard leaks_;
};

TEST_F(RegistryKeys, CreateReportsDispositionAndOpensExisting) {
  Key a, b;
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tarnwick", &a, 0,
                   KEY_ALL_ACCESS, &disposition),
            0);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"system\\currentcontrolset\\CONTROL\\print\\monitors\\TARNWICK\\", &b, 0,
                   KEY_ALL_ACCESS, &disposition),
            0);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  ASSERT_EQ(SetDword(a, u"V", 1), 0);
  EXPECT_EQ(Query(b, u"v").size(), 4u) << "both handles name one key";
  // The stored name keeps the case it was created with.
  Key monitors;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors", 0, KEY_READ,
                          monitors.Out()),
            0);
  EXPECT_EQ(SubKeys(monitors), std::vector<std::u16string>{u"Tarnwick"});
  // Open fails for a missing key; empty and null subkeys reopen the key.
  Key missing, again, againNull;
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Nope", 0, KEY_READ, missing.Out()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(static_cast<HKEY>(missing), nullptr);
  EXPECT_EQ(RegOpenKeyExW(a, u"", 0, KEY_READ, again.Out()), 0);
  EXPECT_EQ(RegOpenKeyExW(a, nullptr, 0, KEY_READ, againNull.Out()), 0);
  EXPECT_EQ(Query(againNull, u"V").size(), 4u);
}

TEST_F(RegistryKeys, BadNamesAndHandles) {
  Key key;
  EXPECT_EQ(Create(HKEY_LOCAL_MACHINE, u"\\SOFTWARE\\X", &key), ERROR_BAD_PATHNAME);
  std::u16string longest(255, u'k'), tooLong(256, u'k');
  EXPECT_EQ(Create(HKEY_CURRENT_USER, (u"SOFTWARE\\" + longest).c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, (u"SOFTWARE\\" + tooLong).c_str(), &key), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (u"SOFTWARE\\" + tooLong).c_str(), 0, KEY_READ, key.Out()),
            ERROR_INVALID_PARAMETER);
  HKEY bogus = reinterpret_cast<HKEY>(0x1234);
  EXPECT_EQ(SetDword(bogus, u"V", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(bogus), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, nullptr, 0, nullptr, 0, KEY_READ, nullptr, key.Out(), nullptr),
            ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\X", &key, 0, KEY_WOW64_32KEY | KEY_WOW64_64KEY),
            ERROR_INVALID_PARAMETER);
  // A handle without KEY_CREATE_SUB_KEY cannot create below itself.
  Key software, child;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE", 0, KEY_READ, software.Out()), 0);
  EXPECT_EQ(Create(software, u"New", &child), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryKeys, SubkeysEnumerateInCaseInsensitiveOrder) {
  Key root;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Order", &root), 0);
  for (const char16_t* name : {u"beta", u"Alpha", u"gamma", u"_under", u"Zulu", u"alpha2", u"Äpfel"}) {
    Key child;
    ASSERT_EQ(Create(root, name, &child), 0);
  }
  // Upper-cased code units: '_' (0x5F) sorts after the letters, 'Ä' after ASCII.
  EXPECT_EQ(SubKeys(root), (std::vector<std::u16string>{u"Alpha", u"alpha2", u"beta", u"gamma", u"Zulu", u"_under",
                                                       u"Äpfel"}));
  WCHAR name[8];
  DWORD count = 5;  // "Alpha" needs 6
  EXPECT_EQ(RegEnumKeyExW(root, 0, name, &count, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  count = 6;
  FILETIME written{};
  EXPECT_EQ(RegEnumKeyExW(root, 0, name, &count, nullptr, nullptr, nullptr, &written), ERROR_SUCCESS);
  EXPECT_EQ(count, 5u);
  EXPECT_NE(written.dwHighDateTime, 0u);
  count = 8;
  EXPECT_EQ(RegEnumKeyExW(root, 7, name, &count, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  DWORD subKeys = 0, maxLen = 0;
  ASSERT_EQ(RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &subKeys, &maxLen, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr),
            0);
  EXPECT_EQ(subKeys, 7u);
  EXPECT_EQ(maxLen, 6u);
}

TEST_F(RegistryKeys, DeleteKeyRefusesWhileSubkeysExist) {
  Key leaf;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P1\\Job 7\\Sub", &leaf), 0);
  leaf.Close();
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P1\\Job 7"),
            ERROR_ACCESS_DENIED);
  // Depth first, as the hand-over does.
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P1\\Job 7\\Sub"), 0);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P1\\Job 7"), 0);
  EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P1\\Job 7"),
            ERROR_FILE_NOT_FOUND);
  // The hives themselves cannot be deleted.
  Key hive;
  ASSERT_EQ(RegOpenKeyExW(HKEY_USERS, u".DEFAULT", 0, KEY_ALL_ACCESS, hive.Out()), 0);
  EXPECT_EQ(RegDeleteTreeW(HKEY_USERS, u".DEFAULT"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Exists(HKEY_USERS, u".DEFAULT"));
}

TEST_F(RegistryKeys, HandleToADeletedKeyFailsWithKeyDeleted) {
  Key key, other;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Gone", &key), 0);
  ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"SOFTWARE\\Gone"), 0);
  EXPECT_EQ(SetDword(key, u"V", 1), ERROR_KEY_DELETED);
  LONG rc = 0;
  Query(key, u"V", nullptr, &rc);
  EXPECT_EQ(rc, ERROR_KEY_DELETED);
  EXPECT_EQ(Create(key, u"Child", &other), ERROR_KEY_DELETED);
  // A new key of the same name is a different key.
  Key again;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Gone", &again), 0);
  EXPECT_EQ(SetDword(key, u"V", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  *key.Out() = nullptr;
  // An empty subkey deletes the key of the handle (it needs DELETE access).
  Key readOnly;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Gone", 0, KEY_READ, readOnly.Out()), 0);
  EXPECT_EQ(RegDeleteKeyW(readOnly, u""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(again, u""), ERROR_SUCCESS);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Gone"));
}

TEST_F(RegistryKeys, DeleteTreeWithAndWithoutSubkey) {
  Key a, b;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\T\\A\\A1\\A2", &a), 0);
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\T\\B", &b), 0);
  ASSERT_EQ(SetDword(a, u"deep", 1), 0);
  Key t;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\T", &t), 0);
  ASSERT_EQ(SetDword(t, u"own", 1), 0);
  EXPECT_EQ(RegDeleteTreeW(t, u"A"), 0);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\T\\A"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\T\\B"));
  EXPECT_EQ(SetDword(a, u"x", 1), ERROR_KEY_DELETED);
  // Null subkey: the key stays, empty.
  EXPECT_EQ(RegDeleteTreeW(t, nullptr), 0);
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\T"));
  EXPECT_TRUE(SubKeys(t).empty());
  EXPECT_TRUE(ValueNames(t).empty());
  EXPECT_EQ(RegDeleteTreeW(t, u"Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryKeys, CopyTreeCopiesValuesAndSubkeys) {
  Key src, deep, dst;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Src", &src), 0);
  ASSERT_EQ(Create(src, u"Page Settings\\Inner", &deep), 0);
  ASSERT_EQ(SetDword(src, u"Top", 1), 0);
  ASSERT_EQ(SetString(deep, u"Ready", u"YES", false), 0);
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Dst", &dst), 0);
  ASSERT_EQ(RegCopyTreeW(src, nullptr, dst), 0);
  EXPECT_EQ(Query(dst, u"Top").size(), 4u);
  Key copied;
  ASSERT_EQ(RegOpenKeyExW(dst, u"page settings\\inner", 0, KEY_READ, copied.Out()), 0);
  EXPECT_EQ(Query(copied, u"Ready"), Bytes(u"YES", false));
}

TEST_F(RegistryKeys, Wow64ViewRedirectsMachineSoftwareOnly) {
  Key view32, direct;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick Software LLC\\P1", &view32, 0,
                   KEY_ALL_ACCESS | KEY_WOW64_32KEY),
            0);
  ASSERT_EQ(SetDword(view32, u"LastPostPrintID", 41), 0);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P1", 0, KEY_READ,
                          direct.Out()),
            0);
  EXPECT_EQ(Query(direct, u"LastPostPrintID").size(), 4u);
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick Software LLC\\P1")) << "64-bit view untouched";
  // An explicit Wow6432Node path under the 32-bit view is not redirected twice.
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC",
                     KEY_READ | KEY_WOW64_32KEY));
  // Opening SOFTWARE itself in the 32-bit view lands in Wow6432Node.
  Key software32, relative;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE", 0, KEY_READ | KEY_WOW64_32KEY, software32.Out()), 0);
  ASSERT_EQ(RegOpenKeyExW(software32, u"Tarnwick Software LLC\\P1", 0, KEY_READ, relative.Out()), 0);
  EXPECT_EQ(Query(relative, u"LastPostPrintID").size(), 4u);
  // HKCU\SOFTWARE is shared between the views.
  Key user32;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC", &user32, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY),
            0);
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Wow6432Node"));
  // RegDeleteKeyExW and RegGetValueW take the view too.
  DWORD value = 0, size = 4;
  EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick Software LLC\\P1", u"LastPostPrintID",
                         RRF_RT_REG_DWORD | RRF_SUBKEY_WOW6432KEY, nullptr, &value, &size),
            0);
  EXPECT_EQ(value, 41u);
  EXPECT_EQ(RegDeleteKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Tarnwick Software LLC\\P1", KEY_WOW64_32KEY, 0), 0);
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Wow6432Node\\Tarnwick Software LLC\\P1"));
}

TEST_F(RegistryKeys, VolatileKeysAndTheirChildren) {
  Key root, child, check;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC", &root, REG_OPTION_VOLATILE), 0);
  // The monitor's repair: a non-volatile child under a volatile root fails.
  EXPECT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\VolatileCheck", &check),
            ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\VolatileCheck"));
  ASSERT_EQ(Create(root, u"Session\\Deeper", &child, REG_OPTION_VOLATILE), 0);
  bool isVolatile = false;
  ASSERT_EQ(tw::registry::IsKeyVolatile(child, &isVolatile), 0);
  EXPECT_TRUE(isVolatile);
  // Opening an existing key ignores the option.
  Key reopened;
  DWORD disposition = 0;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC", &reopened, 0, KEY_ALL_ACCESS, &disposition),
            0);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  // Repair: delete the whole tree and create the root again as a normal key.
  ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC"), 0);
  Key normal, normalChild;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC", &normal), 0);
  EXPECT_EQ(Create(normal, u"VolatileCheck", &normalChild), 0);
}

TEST_F(RegistryKeys, RestartDropsVolatileKeysOnly) {
  Key kept, gone, goneChild;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kept", &kept), 0);
  ASSERT_EQ(Create(kept, u"Session", &gone, REG_OPTION_VOLATILE), 0);
  ASSERT_EQ(Create(gone, u"Child", &goneChild, REG_OPTION_VOLATILE), 0);
  ASSERT_EQ(SetDword(goneChild, u"V", 1), 0);
  DWORD removed = 0;
  ASSERT_EQ(tw::registry::DropVolatileKeys(&removed), 0);
  EXPECT_EQ(removed, 2u);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kept"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kept\\Session"));
  EXPECT_EQ(SetDword(goneChild, u"V", 2), ERROR_KEY_DELETED);
}

TEST_F(RegistryKeys, CurrentUserIsTheSpoolerAccountsHive) {
  Key key;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1\\Filename Generation Settings", &key), 0);
  ASSERT_EQ(SetDword(key, u"Use Output Directory from Client", 1), 0);
  // SYSTEM's hive is HKU\.DEFAULT, also reachable as HKU\S-1-5-18.
  EXPECT_TRUE(Exists(HKEY_USERS, u".DEFAULT\\SOFTWARE\\Tarnwick Software LLC\\P1\\Filename Generation Settings"));
  EXPECT_TRUE(Exists(HKEY_USERS, u"S-1-5-18\\SOFTWARE\\Tarnwick Software LLC\\P1"));
  EXPECT_EQ(tw::registry::CurrentUserHive(), u".DEFAULT");

  // Another spooler account: its SID's hive, created on first use.
  auto machine = *tw::config::Get();
  machine.spoolerUser = u"alice";
  ASSERT_TRUE(tw::config::Save(machine));
  const auto* alice = tw::config::FindUser(machine, u"alice");
  ASSERT_NE(alice, nullptr);
  EXPECT_EQ(tw::registry::CurrentUserHive(), alice->sid);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC"));
  Key aliceKey;
  ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Mine", &aliceKey), 0);
  EXPECT_TRUE(Exists(HKEY_USERS, (alice->sid + u"\\SOFTWARE\\Mine").c_str()));

  // A process can name its own account (a client run as a user).
  setenv("TW_USER_SID", "S-1-5-18", 1);
  EXPECT_EQ(tw::registry::CurrentUserHive(), u".DEFAULT");
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1"));
  unsetenv("TW_USER_SID");
}

TEST_F(RegistryKeys, ClassesRootIsMachineClasses) {
  Key cls;
  ASSERT_EQ(Create(HKEY_CLASSES_ROOT, u".tif", &cls), 0);
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Classes\\.tif"));
}

TEST_F(RegistryKeys, QueryInfoReportsCountsAndClass) {
  Key key, child;
  WCHAR className[] = u"TwClass";
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Info", 0, className, 0, KEY_ALL_ACCESS, nullptr, key.Out(),
                            nullptr),
            0);
  ASSERT_EQ(Create(key, u"Sub", &child), 0);
  ASSERT_EQ(SetString(key, u"Name", u"twelve chars"), 0);
  ASSERT_EQ(SetDword(key, u"N", 1), 0);
  WCHAR cls[16];
  DWORD clsLen = 16, subKeys = 0, values = 0, maxName = 0, maxData = 0, sdSize = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, cls, &clsLen, nullptr, &subKeys, nullptr, nullptr, &values, &maxName, &maxData,
                             &sdSize, nullptr),
            0);
  EXPECT_EQ(std::u16string(cls), u"TwClass");
  EXPECT_EQ(clsLen, 7u);
  EXPECT_EQ(subKeys, 1u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(maxName, 4u);
  EXPECT_EQ(maxData, 26u);
  EXPECT_GT(sdSize, 20u);
  clsLen = 3;
  EXPECT_EQ(RegQueryInfoKeyW(key, cls, &clsLen, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr),
            ERROR_MORE_DATA);
}

// The forced-rights path of the port list: three SIDs, an ACL, an absolute
// descriptor in a 40-byte block, applied to the root and a new key.
TEST_F(RegistryKeys, ForcedRightsAreStoredAndReturned) {
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY, nt = SECURITY_NT_AUTHORITY;
  PSID everyone = nullptr, admins = nullptr, system = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone));
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                       0, &admins));
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
  EXPLICIT_ACCESS_W ea[3] = {};
  PSID sids[3] = {everyone, admins, system};
  TRUSTEE_TYPE types[3] = {TRUSTEE_IS_WELL_KNOWN_GROUP, TRUSTEE_IS_GROUP, TRUSTEE_IS_USER};
  for (int i = 0; i < 3; ++i) {
    ea[i].grfAccessPermissions = KEY_ALL_ACCESS;
    ea[i].grfAccessMode = SET_ACCESS;
    ea[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    ea[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    ea[i].Trustee.TrusteeType = types[i];
    ea[i].Trustee.ptstrName = static_cast<LPWSTR>(sids[i]);
  }
  PACL acl = nullptr;
  ASSERT_EQ(SetEntriesInAclW(3, ea, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
  auto sd = static_cast<PSECURITY_DESCRIPTOR>(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
  ASSERT_TRUE(InitializeSecurityDescriptor(sd, SECURITY_DESCRIPTOR_REVISION));
  ASSERT_TRUE(SetSecurityDescriptorDacl(sd, TRUE, acl, FALSE));

  Key monitorRoot, portList;
  ASSERT_EQ(Create(HKEY_LOCAL_MACHINE, u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tarnwick", &monitorRoot),
            0);
  EXPECT_EQ(RegSetKeySecurity(monitorRoot, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  ASSERT_EQ(RegCreateKeyExW(monitorRoot, u"PortList", 0, nullptr, 0, KEY_READ | KEY_WRITE | WRITE_DAC, &sa,
                            portList.Out(), nullptr),
            0);
  EXPECT_EQ(RegSetKeySecurity(portList, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);

  std::u16string text;
  ASSERT_EQ(tw::registry::KeySecuritySddl(portList, &text), 0);
  EXPECT_NE(text.find(u"D:(A;OICI;KA;;;WD)(A;OICI;KA;;;BA)(A;OICI;KA;;;SY)"), std::u16string::npos)
      << tw::ToUtf8(text);
  // RegGetKeySecurity: size query, then the descriptor with the DACL only.
  DWORD size = 0;
  EXPECT_EQ(RegGetKeySecurity(monitorRoot, DACL_SECURITY_INFORMATION, nullptr, &size), ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> buffer(size);
  ASSERT_EQ(RegGetKeySecurity(monitorRoot, DACL_SECURITY_INFORMATION, buffer.data(), &size), ERROR_SUCCESS);
  BOOL present = FALSE, defaulted = TRUE;
  PACL stored = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(buffer.data(), &present, &stored, &defaulted));
  EXPECT_TRUE(present);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->AceCount, 3);
  PSID owner = reinterpret_cast<PSID>(1);
  BOOL ownerDefaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(buffer.data(), &owner, &ownerDefaulted));
  EXPECT_EQ(owner, nullptr) << "only the DACL was asked for";
  // A read-only handle may not change the DACL.
  Key readOnly;
  ASSERT_EQ(RegOpenKeyExW(monitorRoot, u"PortList", 0, KEY_READ, readOnly.Out()), 0);
  EXPECT_EQ(RegSetKeySecurity(readOnly, DACL_SECURITY_INFORMATION, sd), ERROR_ACCESS_DENIED);

  EXPECT_EQ(FreeSid(everyone), nullptr);
  EXPECT_EQ(FreeSid(admins), nullptr);
  EXPECT_EQ(FreeSid(system), nullptr);
  LocalFree(acl);
  LocalFree(sd);
}

}  // namespace
