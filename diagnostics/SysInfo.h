// The system-information composite of the crash report: processor, operating system, memory,
// sockets library and drives. Memory and drive figures are asked through small query objects,
// so their arithmetic and selection can be checked with known answers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

#include "CpuInfo.h"

// Memory figures come from the extended status: the basic one saturates at 2 GB.
using MemoryStatusQuery = std::function<bool(MEMORYSTATUSEX&)>;
MemoryStatusQuery SystemMemoryStatus();

// 640 KB of conventional memory that the status leaves out, added to every figure.
constexpr uint64_t kMemoryFigureAddend = 0xA0000;

class MemoryInfo {
 public:
  explicit MemoryInfo(MemoryStatusQuery query = SystemMemoryStatus());
  MemoryInfo(const MemoryInfo&) = default;
  MemoryInfo& operator=(const MemoryInfo&) = default;
  virtual ~MemoryInfo() = default;

  virtual std::string GetTotalPhys() const { return m_totalPhys; }
  virtual std::string GetAvailPhys() const { return m_availPhys; }
  virtual std::string GetTotalPageFile() const { return m_totalPageFile; }
  virtual std::string GetAvailPageFile() const { return m_availPageFile; }
  virtual std::string GetTotalVirtual() const { return m_totalVirtual; }
  virtual std::string GetAvailVirtual() const { return m_availVirtual; }
  void Refresh();

 private:
  MemoryStatusQuery m_query;
  std::string m_totalPhys, m_availPhys, m_totalPageFile, m_availPageFile, m_totalVirtual, m_availVirtual;
  MEMORYSTATUSEX m_status = {};
};

// Drive selection mask bits.
enum DriveMask : uint32_t { kDrivesFixed = 1, kDrivesNetwork = 2, kDrivesRemovable = 4, kDrivesCdRom = 8 };

const char* DriveTypeText(UINT type);

class DriveStats {
 public:
  DriveStats() = default;
  DriveStats(const DriveStats&) = default;
  DriveStats& operator=(const DriveStats&) = default;
  virtual ~DriveStats() = default;

  virtual void SetType(const std::string& text) { m_typeText = text; }
  virtual void SetTypeCode(UINT code) { m_typeCode = code; }
  virtual std::string GetType() const { return m_typeText; }
  virtual void GetTypeCode(UINT* code) const { *code = m_typeCode; }
  virtual void SetName(const std::string& root) { m_root = root; }
  virtual std::string GetName() const { return m_root; }
  virtual void SetTotalText(const std::string& text) { m_total = text; }
  virtual std::string GetTotalText() const { return m_total; }
  virtual void SetFreeText(const std::string& text) { m_free = text; }
  virtual std::string GetFreeText() const { return m_free; }
  virtual void Assign(const DriveStats& other) { *this = other; }

 private:
  UINT m_typeCode = 0;
  std::string m_typeText = "Unknown";
  std::string m_root, m_total, m_free;
};

// What drive enumeration asks of the system.
class DriveSystem {
 public:
  virtual ~DriveSystem() = default;
  virtual bool Open() = 0;  // KERNEL32.DLL loads
  virtual void Close() = 0;
  virtual DWORD LogicalDrives() = 0;
  virtual UINT DriveType(const std::string& root) = 0;
  virtual bool HasFreeSpaceEx() = 0;
  virtual bool FreeSpaceEx(const std::string& root, uint64_t& totalBytes, uint64_t& totalFreeBytes) = 0;
  virtual bool FreeSpace(const std::string& root, DWORD& sectorsPerCluster, DWORD& bytesPerSector, DWORD& freeClusters,
                         DWORD& totalClusters) = 0;
};

DriveSystem& SystemDrives();

class DriveInfo {
 public:
  explicit DriveInfo(uint32_t mask, DriveSystem& system = SystemDrives());
  DriveInfo(const DriveInfo&) = default;
  DriveInfo& operator=(const DriveInfo&) = default;
  virtual ~DriveInfo() { m_drives.clear(); }

  // Lists the drives of the kinds the mask selects, in letter order; false when the system
  // library cannot be loaded (the list is left as it was).
  virtual bool Enumerate(uint32_t mask);
  virtual const std::deque<DriveStats>& GetDrives() const { return m_drives; }
  virtual void Assign(const DriveInfo& other) { m_drives = other.m_drives; }

 private:
  DriveSystem* m_system;  // not owned
  std::deque<DriveStats> m_drives;
};

// The operating system in one text, with a code by platform and version.
class OSInfo {
 public:
  OSInfo();
  virtual ~OSInfo() = default;
  OSInfo(const OSInfo&) = default;
  OSInfo& operator=(const OSInfo&) = default;

  virtual DWORD GetCode() const { return m_code; }
  virtual std::string GetDescription() const { return m_description; }
  virtual void Assign(const OSInfo& other) { *this = other; }
  virtual void Describe();

 private:
  DWORD m_code = 0;
  std::string m_description;
};

// The sockets library and the host's name and address.
class SocketInfo {
 public:
  SocketInfo(BYTE major, BYTE minor);
  virtual ~SocketInfo() = default;
  SocketInfo(const SocketInfo&) = default;
  SocketInfo& operator=(const SocketInfo&) = default;

  virtual std::string GetVersion() const { return m_version; }
  virtual std::string GetHighestVersion() const { return m_highestVersion; }
  virtual std::string GetDescription() const { return m_description; }
  virtual std::string GetSystemStatus() const { return m_systemStatus; }
  virtual std::string GetMaxSockets() const { return m_maxSockets; }
  virtual std::string GetIpAddress() const { return m_ipAddress; }
  virtual std::string GetHostName() const { return m_hostName; }
  virtual std::string GetMaxDatagramSize() const { return m_maxDatagramSize; }
  virtual void Assign(const SocketInfo& other) { *this = other; }
  virtual void LookUpHost();
  void Refresh(BYTE major, BYTE minor);

 private:
  std::string m_version, m_highestVersion, m_description, m_systemStatus, m_maxSockets, m_ipAddress, m_hostName,
      m_maxDatagramSize;
};

class SysInfo {
 public:
  SysInfo(BYTE winsockMajor, BYTE winsockMinor, bool detailed, uint32_t driveMask);
  virtual ~SysInfo() = default;

  virtual void Refresh(const bool* detailed, uint32_t driveMask, BYTE winsockMajor, BYTE winsockMinor);
  virtual std::string GetProcessorName() const { return m_cpu.GetName(); }
  virtual std::string GetVendorId() const { return m_cpu.GetStats().GetVendorId(); }
  virtual int GetSpeed() const { return m_cpu.GetSpeed(); }
  virtual std::string GetSpeedText() const { return m_cpu.GetSpeedText(); }
  virtual int GetProcessorCount() const { return m_cpu.GetProcessorCount(); }
  virtual std::string GetProcessorCountText() const { return m_cpu.GetProcessorCountText(); }
  virtual uint32_t GetFamily() const { return m_cpu.GetFamily(); }
  virtual uint32_t GetModel() const { return m_cpu.GetModel(); }
  virtual uint32_t GetStepping() const { return m_cpu.GetStepping(); }
  virtual bool HasFeatures(const uint32_t* mask) const { return m_cpu.GetStats().HasFeatures(mask); }
  virtual bool HasExtendedFeatures(const uint32_t* mask) const { return m_cpu.GetStats().HasExtendedFeatures(mask); }
  virtual std::string GetOsDescription() const { return m_os.GetDescription(); }
  virtual DWORD GetOsCode() const { return m_os.GetCode(); }
  virtual std::string GetTotalPhys() const { return m_memory.GetTotalPhys(); }
  virtual std::string GetAvailPhys() const { return m_memory.GetAvailPhys(); }
  virtual std::string GetTotalPageFile() const { return m_memory.GetTotalPageFile(); }
  virtual std::string GetAvailPageFile() const { return m_memory.GetAvailPageFile(); }
  virtual std::string GetTotalVirtual() const { return m_memory.GetTotalVirtual(); }
  virtual std::string GetAvailVirtual() const { return m_memory.GetAvailVirtual(); }
  virtual const SocketInfo& Sockets() const { return m_sockets; }
  virtual const std::deque<DriveStats>& GetDrives() const { return m_drives.GetDrives(); }

 private:
  CpuInfo m_cpu;
  OSInfo m_os;
  MemoryInfo m_memory;
  SocketInfo m_sockets;
  DriveInfo m_drives;
};
