// Computer and user names, from the machine configuration.
#include <algorithm>

#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "tw/sysinfo.h"
#include "tw/token.h"
#include "winerror.h"

namespace {

// The NetBIOS name: upper case, at most 15 characters.
std::u16string netbiosName(const tw::config::Machine& m) {
  return tw::Upcase(m.computerName).substr(0, MAX_COMPUTERNAME_LENGTH);
}

std::u16string dnsHostName(const tw::config::Machine& m) {
  auto dot = m.dnsName.find(u'.');
  return dot == std::u16string::npos ? m.dnsName : m.dnsName.substr(0, dot);
}

std::u16string dnsDomain(const tw::config::Machine& m) {
  auto dot = m.dnsName.find(u'.');
  return dot == std::u16string::npos ? std::u16string() : m.dnsName.substr(dot + 1);
}

// Copies `text` when it fits (size: in = buffer units, out = length without
// terminator); otherwise size = units needed and `shortError` is set.
BOOL copyName(const std::u16string& text, LPWSTR buffer, LPDWORD size, DWORD shortError) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!buffer || text.size() + 1 > *size) {
    *size = static_cast<DWORD>(text.size() + 1);
    SetLastError(shortError);
    return FALSE;
  }
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  *size = static_cast<DWORD>(text.size());
  return TRUE;
}

}  // namespace

TWAPI BOOL GetComputerNameW(LPWSTR lpBuffer, LPDWORD nSize) {
  return copyName(netbiosName(*tw::config::Get()), lpBuffer, nSize, ERROR_BUFFER_OVERFLOW);
}

TWAPI BOOL GetComputerNameExW(COMPUTER_NAME_FORMAT NameType, LPWSTR lpBuffer, LPDWORD nSize) {
  auto machine = tw::config::Get();
  std::u16string text;
  switch (NameType) {
    case ComputerNameNetBIOS:
    case ComputerNamePhysicalNetBIOS:
      text = netbiosName(*machine);
      break;
    case ComputerNameDnsHostname:
    case ComputerNamePhysicalDnsHostname:
      text = dnsHostName(*machine);
      break;
    case ComputerNameDnsDomain:
    case ComputerNamePhysicalDnsDomain:
      text = dnsDomain(*machine);
      break;
    case ComputerNameDnsFullyQualified:
    case ComputerNamePhysicalDnsFullyQualified:
      text = machine->dnsName;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  return copyName(text, lpBuffer, nSize, ERROR_MORE_DATA);
}

TWAPI BOOL GetUserNameW(LPWSTR lpBuffer, LPDWORD pcbBuffer) {
  std::u16string name = tw::token::ThreadUser().name;
  if (!copyName(name, lpBuffer, pcbBuffer, ERROR_INSUFFICIENT_BUFFER)) return FALSE;
  *pcbBuffer += 1;  // GetUserNameW counts the terminator
  return TRUE;
}
