// The machine beyond processor, memory and drives: operating-system version and edition,
// browser and data-access library versions, processor registry entries, network adapters and
// addresses, administrator rights, user name and program folder. Built, then filled by one
// Collect; of all this, the crash report prints the version numbers.
#pragma once

#include <windows.h>
#include <snmp.h>

#include <UniqueHandle.h>

#include <cstdint>
#include <string>
#include <vector>

// The operating system's name from its version record, as the report's collector composes it:
// the family name, the edition (when the extended record could be read) and the service pack.
// `servicePack` receives the number found in the service-pack text (0 when none).
std::string ComposeWindowsName(bool ntFamily, const OSVERSIONINFOEXW& version, bool extendedRead, int* servicePack);

// The service-pack number of a service-pack text: its smallest digit from 1 to 9, 0 when none.
int ServicePackNumber(const wchar_t* servicePackText);

struct InterfaceRecord {
  std::string description;  // at most 127 characters
  long index = 0, type = 0, mtu = 0, speed = 0, adminStatus = 0, operStatus = 0;
};

class CSysInfo {
 public:
  CSysInfo();
  ~CSysInfo();
  CSysInfo(const CSysInfo&) = delete;
  CSysInfo& operator=(const CSysInfo&) = delete;

  void Collect();

  // What reaches the report.
  DWORD m_platformId = 0;
  WORD m_servicePackMajor = 0;
  WORD m_servicePackMinor = 0;
  WORD m_suiteMask = 0;
  BYTE m_productType = 0;
  DWORD m_ieMajor = 0, m_ieMinor = 0, m_ieBuild = 0, m_ieRevision = 0;

  // The rest, for whoever looks at the object in a debugger.
  int64_t m_startTime = 0;
  bool m_ntFamily = false;
  DWORD m_major = 0, m_minor = 0, m_build = 0;
  int m_servicePack = 0;
  std::string m_osName;
  DWORD m_processorCount = 0;
  std::string m_processorIdentifier, m_processorVendor, m_processorName;
  DWORD m_processorMhz = 0;
  int m_dataAccess[4] = {};
  DWORD m_memoryLoad = 0;
  uint64_t m_totalPhys = 0, m_availPhys = 0, m_totalPageFile = 0, m_availPageFile = 0, m_totalVirtual = 0,
           m_availVirtual = 0;
  int m_adapterCount = 0;
  std::vector<DWORD> m_addresses;  // network byte order, at most 100
  long m_interfaceCount = 0;
  std::vector<InterfaceRecord> m_interfaces;
  bool m_administrator = false;
  std::wstring m_userName;
  std::wstring m_programFolder;

 private:
  using SnmpInitFn = BOOL(SNMP_FUNC_TYPE*)(DWORD, HANDLE*, AsnObjectIdentifier*);
  using SnmpQueryFn = BOOL(SNMP_FUNC_TYPE*)(BYTE, SnmpVarBindList*, AsnInteger32*, AsnInteger32*);

  void ReadOsVersion();
  void ReadProcessorEntries();
  void ReadMemory();
  void ReadBrowserVersion();
  void ReadDataAccessVersion();
  void CountAdapters();
  void ReadAddressTable();
  void ReadInterfaceTable();
  void CheckAdministrator();
  // Get-next requests from `column` for as long as the answers stay under it, at most `limit`;
  // `take` sees each answer's value before it is freed.
  template <typename Take>
  void SnmpWalk(const std::vector<UINT>& column, size_t limit, Take take);

  bool m_winsockStarted = false;
  win::UniqueModule m_snmpAgent;
  SnmpInitFn m_snmpInit = nullptr;
  FARPROC m_snmpInitEx = nullptr;
  SnmpQueryFn m_snmpQuery = nullptr;
  FARPROC m_snmpTrap = nullptr;
  win::UniqueModule m_ipHelper;
  FARPROC m_getAdaptersInfo = nullptr;
  FARPROC m_getIfEntry = nullptr;
  win::UniqueModule m_processStatus;
  FARPROC m_getProcessMemoryInfo = nullptr;
};
