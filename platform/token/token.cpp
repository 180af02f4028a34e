// Access tokens and per-thread impersonation.
#include <cstring>
#include <mutex>

#include "token_state.h"
#include "tw/handles.h"
#include "tw/kobject.h"
#include "tw/lasterror.h"
#include "tw/sysinfo.h"
#include "tw/token.h"
#include "winerror.h"

namespace tw::token {
namespace {

class Token : public tw::kernel::KernelObject {
 public:
  tw::kernel::ObjectType Type() const override { return tw::kernel::ObjectType::Token; }
  TokenInfo info;
};

// The token the calling thread impersonates, or null.
thread_local std::shared_ptr<Token> t_impersonation;

std::shared_ptr<Token> makeToken(const tw::config::User& user, DWORD session, TOKEN_TYPE type,
                                 SECURITY_IMPERSONATION_LEVEL level) {
  auto token = std::make_shared<Token>();
  token->info = {user, session, type, type == TokenImpersonation ? level : SecurityAnonymous};
  return token;
}

// The process's primary token, made anew for each machine root.
std::shared_ptr<Token> processToken() {
  static std::mutex mutex;
  static std::shared_ptr<Token>* cached = new std::shared_ptr<Token>;
  static std::uint64_t generation = 0;
  std::lock_guard lock(mutex);
  if (!*cached || generation != tw::root::Generation()) {
    *cached = makeToken(tw::identity::ProcessUser(), tw::identity::SessionId(), TokenPrimary, SecurityAnonymous);
    generation = tw::root::Generation();
  }
  return *cached;
}

std::shared_ptr<Token> lookup(HANDLE handle) {
  auto token = tw::kernel::LookupHandleAs<Token>(handle);
  if (!token) SetLastError(ERROR_INVALID_HANDLE);
  return token;
}

// Only the calling thread's token can be reached (see tw/token.h).
bool isCallingThread(HANDLE thread) {
  if (thread == GetCurrentThread()) return true;
  auto object = tw::kernel::LookupHandle(thread);
  SetLastError(object && object->Type() == tw::kernel::ObjectType::Thread ? ERROR_NOT_SUPPORTED
                                                                            : ERROR_INVALID_HANDLE);
  return false;
}

BOOL insert(std::shared_ptr<Token> token, PHANDLE out) {
  HANDLE h = tw::kernel::InsertHandle(std::move(token));
  if (!h) return FALSE;
  *out = h;
  return TRUE;
}

BOOL fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

HANDLE MakeUserToken(std::u16string_view user, DWORD sessionId, TOKEN_TYPE type) {
  auto account = tw::identity::FindAccount(user);
  if (!account) {
    SetLastError(ERROR_NONE_MAPPED);
    return nullptr;
  }
  return tw::kernel::InsertHandle(makeToken(*account, sessionId, type, SecurityImpersonation));
}

std::optional<TokenInfo> Query(HANDLE token) {
  if (auto t = lookup(token)) return t->info;
  return std::nullopt;
}

tw::config::User ThreadUser() { return t_impersonation ? t_impersonation->info.user : tw::identity::ProcessUser(); }

bool IsImpersonating() { return t_impersonation != nullptr; }

// Impersonation for the spooler's pair, used by ImpersonatePrinterClient.
BOOL impersonate(HANDLE tokenHandle) {
  auto token = lookup(tokenHandle);
  if (!token) return FALSE;
  if (token->info.type != TokenImpersonation) return fail(ERROR_BAD_TOKEN_TYPE);
  t_impersonation = std::move(token);
  return TRUE;
}

HANDLE takeImpersonation() {
  if (!t_impersonation) {
    SetLastError(ERROR_NO_TOKEN);
    return nullptr;
  }
  HANDLE h = tw::kernel::InsertHandle(t_impersonation);
  if (h) t_impersonation.reset();
  return h;
}

}  // namespace tw::token

using namespace tw::token;

TWAPI BOOL OpenThreadToken(HANDLE ThreadHandle, DWORD, BOOL, PHANDLE TokenHandle) {
  if (!TokenHandle) return fail(ERROR_INVALID_PARAMETER);
  *TokenHandle = nullptr;
  if (!isCallingThread(ThreadHandle)) return FALSE;
  if (!t_impersonation) return fail(ERROR_NO_TOKEN);
  return insert(t_impersonation, TokenHandle);
}

TWAPI BOOL OpenProcessToken(HANDLE ProcessHandle, DWORD, PHANDLE TokenHandle) {
  if (!TokenHandle) return fail(ERROR_INVALID_PARAMETER);
  *TokenHandle = nullptr;
  if (ProcessHandle != GetCurrentProcess()) {
    auto object = tw::kernel::LookupHandle(ProcessHandle);
    return fail(object && object->Type() == tw::kernel::ObjectType::Process ? ERROR_NOT_SUPPORTED
                                                                            : ERROR_INVALID_HANDLE);
  }
  return insert(processToken(), TokenHandle);
}

TWAPI BOOL GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                               LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength) {
  auto token = lookup(TokenHandle);
  if (!token) return FALSE;
  if (!ReturnLength) return fail(ERROR_INVALID_PARAMETER);
  auto* out = static_cast<BYTE*>(TokenInformation);
  // Fixed-size classes: a wrong length is ERROR_BAD_LENGTH, as on Windows.
  auto putDword = [&](DWORD value) -> BOOL {
    *ReturnLength = sizeof(DWORD);
    if (!out || TokenInformationLength < sizeof(DWORD)) return fail(ERROR_BAD_LENGTH);
    std::memcpy(out, &value, sizeof value);
    return TRUE;
  };
  const TokenInfo& info = token->info;
  switch (TokenInformationClass) {
    case TokenUser: {
      auto sid = SidToBytes(info.user.sid);
      if (sid.empty()) return fail(ERROR_INVALID_SID);
      DWORD needed = static_cast<DWORD>(sizeof(TOKEN_USER) + sid.size());
      *ReturnLength = needed;
      if (!out || TokenInformationLength < needed) return fail(ERROR_INSUFFICIENT_BUFFER);
      TOKEN_USER user{{out + sizeof(TOKEN_USER), 0}};
      std::memcpy(out, &user, sizeof user);
      std::memcpy(out + sizeof(TOKEN_USER), sid.data(), sid.size());
      return TRUE;
    }
    case TokenSessionId:
      return putDword(info.sessionId);
    case TokenType:
      return putDword(static_cast<DWORD>(info.type));
    case TokenImpersonationLevel:
      if (info.type != TokenImpersonation) return fail(ERROR_INVALID_PARAMETER);
      return putDword(static_cast<DWORD>(info.level));
    default:
      return fail(ERROR_NOT_SUPPORTED);
  }
}

TWAPI BOOL ImpersonateLoggedOnUser(HANDLE hToken) {
  auto token = lookup(hToken);
  if (!token) return FALSE;
  // A primary token is impersonated through an impersonation copy of it.
  if (token->info.type == TokenPrimary)
    token = makeToken(token->info.user, token->info.sessionId, TokenImpersonation, SecurityImpersonation);
  t_impersonation = std::move(token);
  return TRUE;
}

TWAPI BOOL ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL ImpersonationLevel) {
  if (ImpersonationLevel > SecurityDelegation) return fail(ERROR_BAD_IMPERSONATION_LEVEL);
  auto self = processToken();
  t_impersonation = makeToken(self->info.user, self->info.sessionId, TokenImpersonation, ImpersonationLevel);
  return TRUE;
}

TWAPI BOOL RevertToSelf(void) {
  t_impersonation.reset();
  return TRUE;
}

TWAPI BOOL SetThreadToken(PHANDLE Thread, HANDLE Token) {
  if (Thread && !isCallingThread(*Thread)) return FALSE;
  if (!Token) {
    t_impersonation.reset();
    return TRUE;
  }
  return impersonate(Token);
}

TWAPI BOOL DuplicateTokenEx(HANDLE hExistingToken, DWORD, LPSECURITY_ATTRIBUTES,
                            SECURITY_IMPERSONATION_LEVEL ImpersonationLevel, TOKEN_TYPE TokenType,
                            PHANDLE phNewToken) {
  if (!phNewToken) return fail(ERROR_INVALID_PARAMETER);
  *phNewToken = nullptr;
  auto token = lookup(hExistingToken);
  if (!token) return FALSE;
  if (TokenType != TokenPrimary && TokenType != TokenImpersonation) return fail(ERROR_INVALID_PARAMETER);
  if (ImpersonationLevel > SecurityDelegation) return fail(ERROR_BAD_IMPERSONATION_LEVEL);
  // A copy cannot impersonate more than its source allows.
  if (token->info.type == TokenImpersonation &&
      (ImpersonationLevel > token->info.level ||
       (TokenType == TokenPrimary && token->info.level < SecurityImpersonation)))
    return fail(ERROR_BAD_IMPERSONATION_LEVEL);
  return insert(makeToken(token->info.user, token->info.sessionId, TokenType, ImpersonationLevel), phNewToken);
}

TWAPI BOOL DuplicateToken(HANDLE ExistingTokenHandle, SECURITY_IMPERSONATION_LEVEL ImpersonationLevel,
                          PHANDLE DuplicateTokenHandle) {
  return DuplicateTokenEx(ExistingTokenHandle, TOKEN_ALL_ACCESS, nullptr, ImpersonationLevel, TokenImpersonation,
                          DuplicateTokenHandle);
}
