// Security identifiers, access control lists and security descriptors.
//
// The layer stores what it is given (registry keys keep their descriptors)
// but enforces nothing: every object is accessible to every caller. The
// binary layouts are the Windows ones, so a descriptor built here can be
// handed to any function that takes one. SIDs, ACLs and descriptors that
// these functions allocate come from LocalAlloc and are freed with
// LocalFree (FreeSid for AllocateAndInitializeSid).
#pragma once
#include "tw/wintypes.h"
#include "tw/access_rights.h"

// Error codes of this area (winerror.h holds the common ones).
#ifndef ERROR_NONE_MAPPED
#define ERROR_NONE_MAPPED 1332L
#endif
#ifndef ERROR_UNKNOWN_REVISION
#define ERROR_UNKNOWN_REVISION 1305L
#endif
#ifndef ERROR_REVISION_MISMATCH
#define ERROR_REVISION_MISMATCH 1306L
#endif
#ifndef ERROR_INVALID_ACL
#define ERROR_INVALID_ACL 1336L
#endif
#ifndef ERROR_INVALID_SID
#define ERROR_INVALID_SID 1337L
#endif
#ifndef ERROR_INVALID_SECURITY_DESCR
#define ERROR_INVALID_SECURITY_DESCR 1338L
#endif
#ifndef ERROR_BAD_DESCRIPTOR_FORMAT
#define ERROR_BAD_DESCRIPTOR_FORMAT 1361L
#endif
#ifndef ERROR_ALLOTTED_SPACE_EXCEEDED
#define ERROR_ALLOTTED_SPACE_EXCEEDED 1344L
#endif


// --- SIDs -------------------------------------------------------------------

typedef PVOID PSID;

typedef struct _SID_IDENTIFIER_AUTHORITY {
  BYTE Value[6];
} SID_IDENTIFIER_AUTHORITY, *PSID_IDENTIFIER_AUTHORITY;
static_assert(sizeof(SID_IDENTIFIER_AUTHORITY) == 6);

typedef struct _SID {
  BYTE Revision;
  BYTE SubAuthorityCount;
  SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
  DWORD SubAuthority[1];
} SID, *PISID;
static_assert(sizeof(SID) == 12);

#define SID_REVISION 1
#define SID_MAX_SUB_AUTHORITIES 15
#define SECURITY_MAX_SID_SIZE 68

#define SECURITY_NULL_SID_AUTHORITY {{0, 0, 0, 0, 0, 0}}
#define SECURITY_WORLD_SID_AUTHORITY {{0, 0, 0, 0, 0, 1}}
#define SECURITY_LOCAL_SID_AUTHORITY {{0, 0, 0, 0, 0, 2}}
#define SECURITY_CREATOR_SID_AUTHORITY {{0, 0, 0, 0, 0, 3}}
#define SECURITY_NT_AUTHORITY {{0, 0, 0, 0, 0, 5}}
#define SECURITY_APP_PACKAGE_AUTHORITY {{0, 0, 0, 0, 0, 15}}
#define SECURITY_MANDATORY_LABEL_AUTHORITY {{0, 0, 0, 0, 0, 16}}

#define SECURITY_NULL_RID 0x00000000L
#define SECURITY_WORLD_RID 0x00000000L
#define SECURITY_LOCAL_RID 0x00000000L
#define SECURITY_CREATOR_OWNER_RID 0x00000000L
#define SECURITY_CREATOR_GROUP_RID 0x00000001L
#define SECURITY_INTERACTIVE_RID 0x00000004L
#define SECURITY_AUTHENTICATED_USER_RID 0x0000000BL
#define SECURITY_LOCAL_SYSTEM_RID 0x00000012L
#define SECURITY_LOCAL_SERVICE_RID 0x00000013L
#define SECURITY_NETWORK_SERVICE_RID 0x00000014L
#define SECURITY_BUILTIN_DOMAIN_RID 0x00000020L
#define DOMAIN_ALIAS_RID_ADMINS 0x00000220L
#define DOMAIN_ALIAS_RID_USERS 0x00000221L
#define DOMAIN_ALIAS_RID_GUESTS 0x00000222L
#define DOMAIN_ALIAS_RID_POWER_USERS 0x00000223L
#define SECURITY_MANDATORY_UNTRUSTED_RID 0x00000000L
#define SECURITY_MANDATORY_LOW_RID 0x00001000L
#define SECURITY_MANDATORY_MEDIUM_RID 0x00002000L
#define SECURITY_MANDATORY_HIGH_RID 0x00003000L
#define SECURITY_MANDATORY_SYSTEM_RID 0x00004000L

TWAPI BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount,
                                    DWORD nSubAuthority0, DWORD nSubAuthority1, DWORD nSubAuthority2,
                                    DWORD nSubAuthority3, DWORD nSubAuthority4, DWORD nSubAuthority5,
                                    DWORD nSubAuthority6, DWORD nSubAuthority7, PSID* pSid);
// Returns null on success, the SID when it was not one of ours.
TWAPI PVOID FreeSid(PSID pSid);
TWAPI BOOL InitializeSid(PSID Sid, PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount);
TWAPI DWORD GetSidLengthRequired(UCHAR nSubAuthorityCount);
TWAPI BOOL IsValidSid(PSID pSid);
TWAPI DWORD GetLengthSid(PSID pSid);
TWAPI BOOL EqualSid(PSID pSid1, PSID pSid2);
TWAPI BOOL CopySid(DWORD nDestinationSidLength, PSID pDestinationSid, PSID pSourceSid);
TWAPI PDWORD GetSidSubAuthority(PSID pSid, DWORD nSubAuthority);
TWAPI PUCHAR GetSidSubAuthorityCount(PSID pSid);
TWAPI PSID_IDENTIFIER_AUTHORITY GetSidIdentifierAuthority(PSID pSid);
// "S-1-5-18"; the string comes from LocalAlloc.
TWAPI BOOL ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid);
// Accepts "S-1-..." and the two-letter aliases ("WD", "BA", "SY", "LW", ...);
// the SID comes from LocalAlloc.
TWAPI BOOL ConvertStringSidToSidW(LPCWSTR StringSid, PSID* Sid);

// --- ACLs -------------------------------------------------------------------

typedef struct _ACL {
  BYTE AclRevision;
  BYTE Sbz1;
  WORD AclSize;
  WORD AceCount;
  WORD Sbz2;
} ACL, *PACL;
static_assert(sizeof(ACL) == 8);

typedef struct _ACE_HEADER {
  BYTE AceType;
  BYTE AceFlags;
  WORD AceSize;
} ACE_HEADER, *PACE_HEADER;
static_assert(sizeof(ACE_HEADER) == 4);

typedef struct _ACCESS_ALLOWED_ACE {
  ACE_HEADER Header;
  ACCESS_MASK Mask;
  DWORD SidStart;
} ACCESS_ALLOWED_ACE, *PACCESS_ALLOWED_ACE, ACCESS_DENIED_ACE, *PACCESS_DENIED_ACE, SYSTEM_AUDIT_ACE,
    SYSTEM_MANDATORY_LABEL_ACE;
static_assert(sizeof(ACCESS_ALLOWED_ACE) == 12);

#define ACL_REVISION 2
#define ACL_REVISION_DS 4

#define ACCESS_ALLOWED_ACE_TYPE 0x0
#define ACCESS_DENIED_ACE_TYPE 0x1
#define SYSTEM_AUDIT_ACE_TYPE 0x2
#define SYSTEM_ALARM_ACE_TYPE 0x3
#define SYSTEM_MANDATORY_LABEL_ACE_TYPE 0x11

#define OBJECT_INHERIT_ACE 0x1
#define CONTAINER_INHERIT_ACE 0x2
#define NO_PROPAGATE_INHERIT_ACE 0x4
#define INHERIT_ONLY_ACE 0x8
#define INHERITED_ACE 0x10
#define VALID_INHERIT_FLAGS 0x1F
#define SUCCESSFUL_ACCESS_ACE_FLAG 0x40
#define FAILED_ACCESS_ACE_FLAG 0x80

#define SYSTEM_MANDATORY_LABEL_NO_WRITE_UP 0x1
#define SYSTEM_MANDATORY_LABEL_NO_READ_UP 0x2
#define SYSTEM_MANDATORY_LABEL_NO_EXECUTE_UP 0x4

TWAPI BOOL InitializeAcl(PACL pAcl, DWORD nAclLength, DWORD dwAclRevision);
TWAPI BOOL IsValidAcl(PACL pAcl);
TWAPI BOOL AddAccessAllowedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid);
TWAPI BOOL AddAccessAllowedAceEx(PACL pAcl, DWORD dwAceRevision, DWORD AceFlags, DWORD AccessMask, PSID pSid);
TWAPI BOOL AddAccessDeniedAce(PACL pAcl, DWORD dwAceRevision, DWORD AccessMask, PSID pSid);
TWAPI BOOL GetAce(PACL pAcl, DWORD dwAceIndex, LPVOID* pAce);

// Explicit access entries (SetEntriesInAclW).
typedef enum _ACCESS_MODE {
  NOT_USED_ACCESS = 0,
  GRANT_ACCESS,
  SET_ACCESS,
  DENY_ACCESS,
  REVOKE_ACCESS,
  SET_AUDIT_SUCCESS,
  SET_AUDIT_FAILURE
} ACCESS_MODE;

typedef enum _MULTIPLE_TRUSTEE_OPERATION { NO_MULTIPLE_TRUSTEE, TRUSTEE_IS_IMPERSONATE } MULTIPLE_TRUSTEE_OPERATION;

typedef enum _TRUSTEE_FORM {
  TRUSTEE_IS_SID,
  TRUSTEE_IS_NAME,
  TRUSTEE_BAD_FORM,
  TRUSTEE_IS_OBJECTS_AND_SID,
  TRUSTEE_IS_OBJECTS_AND_NAME
} TRUSTEE_FORM;

typedef enum _TRUSTEE_TYPE {
  TRUSTEE_IS_UNKNOWN,
  TRUSTEE_IS_USER,
  TRUSTEE_IS_GROUP,
  TRUSTEE_IS_DOMAIN,
  TRUSTEE_IS_ALIAS,
  TRUSTEE_IS_WELL_KNOWN_GROUP,
  TRUSTEE_IS_DELETED,
  TRUSTEE_IS_INVALID,
  TRUSTEE_IS_COMPUTER
} TRUSTEE_TYPE;

typedef struct _TRUSTEE_W {
  struct _TRUSTEE_W* pMultipleTrustee;
  MULTIPLE_TRUSTEE_OPERATION MultipleTrusteeOperation;
  TRUSTEE_FORM TrusteeForm;
  TRUSTEE_TYPE TrusteeType;
  LPWSTR ptstrName;  // a PSID when TrusteeForm is TRUSTEE_IS_SID
} TRUSTEE_W, *PTRUSTEE_W, TRUSTEEW, *PTRUSTEEW;
static_assert(sizeof(TRUSTEE_W) == 32);
static_assert(offsetof(TRUSTEE_W, ptstrName) == 24);

typedef struct _EXPLICIT_ACCESS_W {
  DWORD grfAccessPermissions;
  ACCESS_MODE grfAccessMode;
  DWORD grfInheritance;
  TRUSTEE_W Trustee;
} EXPLICIT_ACCESS_W, *PEXPLICIT_ACCESS_W, EXPLICIT_ACCESSW, *PEXPLICIT_ACCESSW;
static_assert(sizeof(EXPLICIT_ACCESS_W) == 48);
static_assert(offsetof(EXPLICIT_ACCESS_W, Trustee) == 16);

#define NO_INHERITANCE 0x0
#define SUB_OBJECTS_ONLY_INHERIT 0x1
#define SUB_CONTAINERS_ONLY_INHERIT 0x2
#define SUB_CONTAINERS_AND_OBJECTS_INHERIT 0x3
#define INHERIT_NO_PROPAGATE 0x4
#define INHERIT_ONLY 0x8

// Builds a new ACL (from LocalAlloc) from OldAcl and the entries; returns a
// Win32 error code. Explicit deny entries come first, then explicit allow
// entries, then inherited ones, as Windows orders them. Trustees by name
// know "Everyone", "SYSTEM", "Administrators", "Users", "CURRENT_USER" and the
// configured users.
TWAPI DWORD SetEntriesInAclW(ULONG cCountOfExplicitEntries, PEXPLICIT_ACCESS_W pListOfExplicitEntries, PACL OldAcl,
                             PACL* NewAcl);

// --- Security descriptors --------------------------------------------------

typedef PVOID PSECURITY_DESCRIPTOR;
typedef WORD SECURITY_DESCRIPTOR_CONTROL, *PSECURITY_DESCRIPTOR_CONTROL;
typedef DWORD SECURITY_INFORMATION, *PSECURITY_INFORMATION;

typedef struct _SECURITY_DESCRIPTOR {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  PSID Owner;
  PSID Group;
  PACL Sacl;
  PACL Dacl;
} SECURITY_DESCRIPTOR, *PISECURITY_DESCRIPTOR;
static_assert(sizeof(SECURITY_DESCRIPTOR) == 40);

typedef struct _SECURITY_DESCRIPTOR_RELATIVE {
  BYTE Revision;
  BYTE Sbz1;
  SECURITY_DESCRIPTOR_CONTROL Control;
  DWORD Owner;
  DWORD Group;
  DWORD Sacl;
  DWORD Dacl;
} SECURITY_DESCRIPTOR_RELATIVE;
static_assert(sizeof(SECURITY_DESCRIPTOR_RELATIVE) == 20);

#define SECURITY_DESCRIPTOR_REVISION 1
#define SECURITY_DESCRIPTOR_MIN_LENGTH (sizeof(SECURITY_DESCRIPTOR))

#define SE_OWNER_DEFAULTED 0x0001
#define SE_GROUP_DEFAULTED 0x0002
#define SE_DACL_PRESENT 0x0004
#define SE_DACL_DEFAULTED 0x0008
#define SE_SACL_PRESENT 0x0010
#define SE_SACL_DEFAULTED 0x0020
#define SE_DACL_AUTO_INHERIT_REQ 0x0100
#define SE_SACL_AUTO_INHERIT_REQ 0x0200
#define SE_DACL_AUTO_INHERITED 0x0400
#define SE_SACL_AUTO_INHERITED 0x0800
#define SE_DACL_PROTECTED 0x1000
#define SE_SACL_PROTECTED 0x2000
#define SE_SELF_RELATIVE 0x8000

#define OWNER_SECURITY_INFORMATION 0x00000001L
#define GROUP_SECURITY_INFORMATION 0x00000002L
#define DACL_SECURITY_INFORMATION 0x00000004L
#define SACL_SECURITY_INFORMATION 0x00000008L
#define LABEL_SECURITY_INFORMATION 0x00000010L

#define SDDL_REVISION_1 1
#define SDDL_REVISION SDDL_REVISION_1

TWAPI BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision);
TWAPI BOOL IsValidSecurityDescriptor(PSECURITY_DESCRIPTOR pSecurityDescriptor);
TWAPI DWORD GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR pSecurityDescriptor);
TWAPI BOOL GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR pSecurityDescriptor,
                                        PSECURITY_DESCRIPTOR_CONTROL pControl, LPDWORD lpdwRevision);
TWAPI BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl,
                                     BOOL bDaclDefaulted);
TWAPI BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbDaclPresent, PACL* pDacl,
                                     LPBOOL lpbDaclDefaulted);
TWAPI BOOL SetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bSaclPresent, PACL pSacl,
                                     BOOL bSaclDefaulted);
TWAPI BOOL GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR pSecurityDescriptor, LPBOOL lpbSaclPresent, PACL* pSacl,
                                     LPBOOL lpbSaclDefaulted);
TWAPI BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pOwner, BOOL bOwnerDefaulted);
TWAPI BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pOwner,
                                      LPBOOL lpbOwnerDefaulted);
TWAPI BOOL SetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID pGroup, BOOL bGroupDefaulted);
TWAPI BOOL GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR pSecurityDescriptor, PSID* pGroup,
                                      LPBOOL lpbGroupDefaulted);
TWAPI BOOL MakeSelfRelativeSD(PSECURITY_DESCRIPTOR pAbsoluteSecurityDescriptor,
                              PSECURITY_DESCRIPTOR pSelfRelativeSecurityDescriptor, LPDWORD lpdwBufferLength);

// SDDL ("O:BAG:SYD:(A;CI;KA;;;SY)S:(ML;;NW;;;LW)"): the descriptor is
// self-relative, from LocalAlloc. Object ACEs (with GUIDs) are not supported.
TWAPI BOOL ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor,
                                                                DWORD StringSDRevision,
                                                                PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                PULONG SecurityDescriptorSize);
TWAPI BOOL ConvertSecurityDescriptorToStringSecurityDescriptorW(PSECURITY_DESCRIPTOR SecurityDescriptor,
                                                                DWORD RequestedStringSDRevision,
                                                                SECURITY_INFORMATION SecurityInformation,
                                                                LPWSTR* StringSecurityDescriptor,
                                                                PULONG StringSecurityDescriptorLen);
