// The sockets header must come before the windows header that CSysInfo.h brings in.
#include "LateBoundNetwork.h"
#include "CSysInfo.h"

#include <Registry.h>
#include <iphlpapi.h>

#include <cstdio>
#include <ctime>
#include <memory>

namespace late = orv_diagnostics::late;

namespace {

template <typename Fn>
Fn Lookup(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) out.push_back(*text < 0x80 ? static_cast<char>(*text) : '?');
  return out;
}

// A text value of a key, narrowed through the ANSI code page as the system's narrow reads give
// it; empty when the value is missing, of another type, or takes more than maxBytes bytes
// narrowed (terminator included).
std::string NarrowText(const win::RegistryKey& key, LPCWSTR name, DWORD maxBytes) {
  std::wstring text;
  // Every character takes at least one byte narrowed: no more characters than bytes.
  if (!key.ReadString(name, maxBytes, text) || text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0 || static_cast<DWORD>(bytes) >= maxBytes) return {};
  std::string narrow(static_cast<size_t>(bytes), '\0');
  if (WideCharToMultiByte(CP_ACP, 0, text.c_str(), length, &narrow[0], bytes, nullptr, nullptr) != bytes) return {};
  return narrow;
}

// MIB-II objects.
const std::vector<UINT> kIpAdEntAddr = {1, 3, 6, 1, 2, 1, 4, 20, 1, 1};
const std::vector<UINT> kIfNumber = {1, 3, 6, 1, 2, 1, 2, 1};
std::vector<UINT> IfColumn(UINT column) { return {1, 3, 6, 1, 2, 1, 2, 2, 1, column}; }
constexpr size_t kTableLimit = 100;

long AsInteger(const AsnAny& value) {
  switch (value.asnType) {
    case ASN_INTEGER:
      return value.asnValue.number;
    case ASN_GAUGE32:
    case ASN_COUNTER32:
    case ASN_TIMETICKS:
      return static_cast<long>(value.asnValue.unsigned32);
    default:
      return 0;
  }
}

}  // namespace

int ServicePackNumber(const wchar_t* text) {
  int smallest = 0;
  for (; *text; ++text) {
    if (*text >= L'1' && *text <= L'9' && (smallest == 0 || *text - L'0' < smallest)) smallest = *text - L'0';
  }
  return smallest;
}

std::string ComposeWindowsName(bool ntFamily, const OSVERSIONINFOEXW& v, bool extendedRead, int* servicePack) {
  std::string name;
  *servicePack = 0;
  const DWORD major = v.dwMajorVersion, minor = v.dwMinorVersion;
  if (!ntFamily) {
    if (minor == 0)
      name = "Windows 95";
    else if (minor == 10)
      name = "Windows 98";
    else if (minor == 90)
      name = "Windows ME";
    return name + Narrow(v.szCSDVersion);
  }
  *servicePack = ServicePackNumber(v.szCSDVersion);
  if (major == 4)
    name = "Windows NT 4.0";
  else if (major == 5 && minor == 0)
    name = "Windows 2000";
  else if (major == 5 && minor == 1)
    name = "Windows XP";
  else if (major == 6 && minor == 0)
    name = "Windows Vista";
  else if (major == 6 && minor == 1)
    name = "Windows 7";
  else
    name = "Unknown";
  if (extendedRead) {
    const WORD suite = v.wSuiteMask;
    if (v.wProductType == VER_NT_WORKSTATION) {
      if (major == 4)
        name += " Workstation";
      else if (major == 5 && minor == 1)
        name += (suite & VER_SUITE_PERSONAL) ? " Home Edition" : " Professional Edition";
      else if (major == 5 && minor == 0)
        name += " Professional";
    } else if (v.wProductType == VER_NT_DOMAIN_CONTROLLER || v.wProductType == VER_NT_SERVER) {
      if (major == 5) {
        if (suite & VER_SUITE_ENTERPRISE) name += " Advanced";
        if (suite & VER_SUITE_DATACENTER) name += " DataCenter";
        if (suite & VER_SUITE_TERMINAL) name += " Terminal";
        if (suite & VER_SUITE_BACKOFFICE) name += " BackOffice";
        name += " Server";
      } else if (major == 4 && minor == 0) {
        name += " Server";
      }
      if (v.wProductType == VER_NT_DOMAIN_CONTROLLER) name += " Domain Controller";
    }
  }
  if (*servicePack != 0) name += " " + Narrow(v.szCSDVersion);
  return name;
}

CSysInfo::CSysInfo() {
  HMODULE agent = LoadLibraryW(L"inetmib1.dll");
  if (reinterpret_cast<uintptr_t>(agent) < 32) agent = nullptr;
  m_snmpAgent.reset(agent);
  m_snmpInit = Lookup<SnmpInitFn>(m_snmpAgent.get(), "SnmpExtensionInit");
  m_snmpInitEx = Lookup<FARPROC>(m_snmpAgent.get(), "SnmpExtensionInitEx");
  m_snmpQuery = Lookup<SnmpQueryFn>(m_snmpAgent.get(), "SnmpExtensionQuery");
  m_snmpTrap = Lookup<FARPROC>(m_snmpAgent.get(), "SnmpExtensionTrap");
  WSADATA data = {};
  m_winsockStarted = late::WSAStartup(MAKEWORD(1, 1), &data) == 0;
  m_ntFamily = GetVersion() < 0x80000000u;
  m_startTime = static_cast<int64_t>(time(nullptr));
}

CSysInfo::~CSysInfo() {
  // In the reverse order of acquisition, not in member order: the agent was loaded before the
  // sockets library started, the helper libraries after.
  m_processStatus.reset();
  m_ipHelper.reset();
  if (m_winsockStarted) late::WSACleanup();
  m_snmpAgent.reset();
}

void CSysInfo::Collect() {
  m_ipHelper.reset(LoadLibraryW(L"iphlpapi.dll"));
  m_getAdaptersInfo = Lookup<FARPROC>(m_ipHelper.get(), "GetAdaptersInfo");
  m_getIfEntry = Lookup<FARPROC>(m_ipHelper.get(), "GetIfEntry");
  if (m_snmpInit) {
    HANDLE trapEvent = nullptr;
    AsnObjectIdentifier region = {0, nullptr};
    m_snmpInit(GetTickCount(), &trapEvent, &region);
  }
  if (m_ntFamily) {
    m_processStatus.reset(LoadLibraryW(L"psapi.dll"));
    m_getProcessMemoryInfo = Lookup<FARPROC>(m_processStatus.get(), "GetProcessMemoryInfo");
  }
  ReadOsVersion();
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  m_processorCount = system.dwNumberOfProcessors;
  ReadProcessorEntries();
  ReadMemory();
  ReadBrowserVersion();
  ReadDataAccessVersion();
  CountAdapters();
  ReadAddressTable();
  ReadInterfaceTable();
  CheckAdministrator();
  wchar_t user[101] = {};
  DWORD userChars = 100;
  if (GetUserNameW(user, &userChars)) m_userName = user;
  wchar_t program[201] = {};
  const DWORD length = GetModuleFileNameW(nullptr, program, 200);
  if (length > 0 && length < 200) {
    m_programFolder = program;
    const size_t slash = m_programFolder.rfind(L'\\');
    if (slash != std::wstring::npos) m_programFolder.resize(slash + 1);
  }
}

void CSysInfo::ReadOsVersion() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return;
  m_major = version.dwMajorVersion;
  m_minor = version.dwMinorVersion;
  m_build = version.dwBuildNumber;
  bool extendedRead = false;
  const int servicePack = m_ntFamily ? ServicePackNumber(version.szCSDVersion) : 0;
  if (m_ntFamily && (m_major > 4 || servicePack > 5)) {
    OSVERSIONINFOEXW extended = {};
    extended.dwOSVersionInfoSize = sizeof extended;
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&extended))) {
      extendedRead = true;
      version = extended;
      m_platformId = extended.dwPlatformId;
      m_servicePackMajor = extended.wServicePackMajor;
      m_servicePackMinor = extended.wServicePackMinor;
      m_suiteMask = extended.wSuiteMask;
      m_productType = extended.wProductType;
    }
  }
  m_osName = ComposeWindowsName(m_ntFamily, version, extendedRead, &m_servicePack);
}

void CSysInfo::ReadProcessorEntries() {
  const win::RegistryKey key(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", KEY_READ);
  m_processorIdentifier = NarrowText(key, L"Identifier", 100);
  m_processorVendor = NarrowText(key, L"VendorIdentifier", 100);
  m_processorName = NarrowText(key, L"ProcessorNameString", 100);
  DWORD mhz = 0;
  if (key.ReadDword(L"~MHz", mhz)) m_processorMhz = mhz;
}

void CSysInfo::ReadMemory() {
  // The extended status on every system: the basic one saturates at 2 GB.
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return;
  m_memoryLoad = status.dwMemoryLoad;
  m_totalPhys = status.ullTotalPhys;
  m_availPhys = status.ullAvailPhys;
  m_totalPageFile = status.ullTotalPageFile;
  m_availPageFile = status.ullAvailPageFile;
  m_totalVirtual = status.ullTotalVirtual;
  m_availVirtual = status.ullAvailVirtual;
}

void CSysInfo::ReadBrowserVersion() {
  const win::RegistryKey key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", KEY_READ);
  const std::string version = NarrowText(key, L"Version", 99);
  if (version.empty()) return;
  int parts[4] = {};
  sscanf(version.c_str(), "%d.%d.%d.%d", &parts[0], &parts[1], &parts[2], &parts[3]);
  m_ieMajor = static_cast<DWORD>(parts[0]);
  m_ieMinor = static_cast<DWORD>(parts[1]);
  m_ieBuild = static_cast<DWORD>(parts[2]);
  m_ieRevision = static_cast<DWORD>(parts[3]);
}

void CSysInfo::ReadDataAccessVersion() {
  const win::RegistryKey key(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\DataAccess", KEY_READ);
  std::string version = NarrowText(key, L"FullInstallVer", 99);
  if (version.empty()) version = NarrowText(key, L"Version", 99);
  if (!version.empty())
    sscanf(version.c_str(), "%d.%d.%d.%d", &m_dataAccess[0], &m_dataAccess[1], &m_dataAccess[2], &m_dataAccess[3]);
}

void CSysInfo::CountAdapters() {
  using GetAdaptersInfoFn = DWORD(WINAPI*)(PIP_ADAPTER_INFO, PULONG);
  auto getAdaptersInfo = reinterpret_cast<GetAdaptersInfoFn>(reinterpret_cast<void*>(m_getAdaptersInfo));
  const bool usable = m_ntFamily ? m_major >= 5 : m_minor >= 10;
  if (!getAdaptersInfo || !usable) return;
  ULONG size = 0;
  if (getAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return;
  std::unique_ptr<BYTE[]> buffer(new BYTE[size + 1]());
  auto* adapters = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.get());
  if (getAdaptersInfo(adapters, &size) != ERROR_SUCCESS) return;
  for (const IP_ADAPTER_INFO* adapter = adapters; adapter; adapter = adapter->Next) ++m_adapterCount;
}

template <typename Take>
void CSysInfo::SnmpWalk(const std::vector<UINT>& column, size_t limit, Take take) {
  if (!m_snmpQuery) return;
  std::vector<UINT> ids = column;
  AsnObjectIdentifier prefix = {static_cast<UINT>(column.size()), const_cast<UINT*>(column.data())};
  for (size_t count = 0; count < limit; ++count) {
    AsnObjectIdentifier start = {static_cast<UINT>(ids.size()), ids.data()};
    SnmpVarBind bind = {};
    if (!late::SnmpUtilOidCpy(&bind.name, &start)) return;
    SnmpVarBindList list = {&bind, 1};
    AsnInteger32 status = 0, index = 0;
    const bool answered = m_snmpQuery(SNMP_PDU_GETNEXT, &list, &status, &index) && status == SNMP_ERRORSTATUS_NOERROR;
    const bool inside = answered && late::SnmpUtilOidNCmp(&bind.name, &prefix, prefix.idLength) == 0 &&
                        bind.name.idLength > prefix.idLength;
    if (inside) {
      take(bind.value);
      ids.assign(bind.name.ids, bind.name.ids + bind.name.idLength);
    }
    late::SnmpUtilVarBindFree(&bind);  // frees the name and the value by its type
    if (!inside) return;
  }
}

void CSysInfo::ReadAddressTable() {
  SnmpWalk(kIpAdEntAddr, kTableLimit, [this](const AsnAny& value) {
    if (value.asnType == ASN_IPADDRESS && value.asnValue.address.length == 4) {
      DWORD address = 0;
      memcpy(&address, value.asnValue.address.stream, 4);
      m_addresses.push_back(address);
    }
  });
}

void CSysInfo::ReadInterfaceTable() {
  SnmpWalk(kIfNumber, 1, [this](const AsnAny& value) { m_interfaceCount = AsInteger(value); });
  SnmpWalk(IfColumn(1), kTableLimit, [this](const AsnAny& value) {
    InterfaceRecord record;
    record.index = AsInteger(value);
    m_interfaces.push_back(record);
  });
  size_t row = 0;
  SnmpWalk(IfColumn(2), m_interfaces.size(), [this, &row](const AsnAny& value) {
    if (value.asnType == ASN_OCTETSTRING) {
      const size_t length = value.asnValue.string.length < 127 ? value.asnValue.string.length : 127;
      m_interfaces[row].description.assign(reinterpret_cast<const char*>(value.asnValue.string.stream), length);
    }
    ++row;
  });
  long InterfaceRecord::*const numeric[] = {&InterfaceRecord::type,        &InterfaceRecord::mtu,
                                            &InterfaceRecord::speed,       nullptr,
                                            &InterfaceRecord::adminStatus, &InterfaceRecord::operStatus};
  for (UINT column = 3; column <= 8; ++column) {
    long InterfaceRecord::*field = numeric[column - 3];
    if (field == nullptr) continue;  // the physical address: not a number
    row = 0;
    SnmpWalk(IfColumn(column), m_interfaces.size(),
             [this, &row, field](const AsnAny& value) { m_interfaces[row++].*field = AsInteger(value); });
  }
}

void CSysInfo::CheckAdministrator() {
  if (!m_ntFamily) {
    m_administrator = true;
    return;
  }
  win::UniqueKernelHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return;
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &size);
  std::unique_ptr<BYTE[]> buffer(size ? new BYTE[size] : nullptr);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (buffer && GetTokenInformation(token.get(), TokenGroups, buffer.get(), size, &size) &&
      AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                               &administrators)) {
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.get());
    for (DWORD i = 0; i < groups->GroupCount && !m_administrator; ++i)
      m_administrator = EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
    FreeSid(administrators);
  }
}
