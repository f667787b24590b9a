// The sockets and SNMP utility functions that the crash report's system information uses, bound
// on first use (LateBound.h), with the answers of a failure when their library is missing.
#pragma once

// The sockets header must come before the windows header.
#include <winsock2.h>
#include <snmp.h>

#include "LateBound.h"

namespace orv_diagnostics {
namespace late {

inline int WSAStartup(WORD version, WSADATA* data) {
  static const auto bound = BindOnFirstUse<decltype(&::WSAStartup)>(L"ws2_32.dll", "WSAStartup");
  return bound ? bound(version, data) : WSASYSNOTREADY;
}
inline int WSACleanup() {
  static const auto bound = BindOnFirstUse<decltype(&::WSACleanup)>(L"ws2_32.dll", "WSACleanup");
  return bound ? bound() : SOCKET_ERROR;
}
inline int gethostname(char* name, int length) {
  static const auto bound = BindOnFirstUse<decltype(&::gethostname)>(L"ws2_32.dll", "gethostname");
  return bound ? bound(name, length) : SOCKET_ERROR;
}
inline hostent* gethostbyname(const char* name) {
  static const auto bound = BindOnFirstUse<decltype(&::gethostbyname)>(L"ws2_32.dll", "gethostbyname");
  return bound ? bound(name) : nullptr;
}
inline INT SnmpUtilOidCpy(AsnObjectIdentifier* to, AsnObjectIdentifier* from) {
  static const auto bound = BindOnFirstUse<decltype(&::SnmpUtilOidCpy)>(L"snmpapi.dll", "SnmpUtilOidCpy");
  return bound ? bound(to, from) : SNMPAPI_ERROR;
}
inline INT SnmpUtilOidNCmp(AsnObjectIdentifier* a, AsnObjectIdentifier* b, UINT length) {
  static const auto bound = BindOnFirstUse<decltype(&::SnmpUtilOidNCmp)>(L"snmpapi.dll", "SnmpUtilOidNCmp");
  return bound ? bound(a, b, length) : -1;
}
inline void SnmpUtilVarBindFree(SnmpVarBind* bind) {
  static const auto bound = BindOnFirstUse<decltype(&::SnmpUtilVarBindFree)>(L"snmpapi.dll", "SnmpUtilVarBindFree");
  if (bound) bound(bind);
}

}  // namespace late
}  // namespace orv_diagnostics
