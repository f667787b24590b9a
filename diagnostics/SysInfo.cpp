// The sockets header must come before the windows header that SysInfo.h brings in.
#include "LateBoundNetwork.h"
#include "SysInfo.h"

#include <cstdio>

#include "ByteSize.h"
#include "UniqueHandle.h"

namespace late = orv_diagnostics::late;

namespace {

class SystemDriveQueries final : public DriveSystem {
 public:
  using FreeSpaceExFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

  bool Open() override {
    m_kernel.reset(LoadLibraryW(L"KERNEL32.DLL"));
    m_freeSpaceEx = m_kernel ? reinterpret_cast<FreeSpaceExFn>(
                                   reinterpret_cast<void*>(GetProcAddress(m_kernel.get(), "GetDiskFreeSpaceExA")))
                             : nullptr;
    return static_cast<bool>(m_kernel);
  }
  void Close() override {
    m_kernel.reset();
    m_freeSpaceEx = nullptr;
  }
  DWORD LogicalDrives() override { return GetLogicalDrives(); }
  UINT DriveType(const std::string& root) override { return GetDriveTypeA(root.c_str()); }
  bool HasFreeSpaceEx() override { return m_freeSpaceEx != nullptr; }
  bool FreeSpaceEx(const std::string& root, uint64_t& totalBytes, uint64_t& totalFreeBytes) override {
    ULARGE_INTEGER available = {}, total = {}, free = {};
    if (!m_freeSpaceEx || !m_freeSpaceEx(root.c_str(), &available, &total, &free)) return false;
    totalBytes = total.QuadPart;
    totalFreeBytes = free.QuadPart;
    return true;
  }
  bool FreeSpace(const std::string& root, DWORD& sectorsPerCluster, DWORD& bytesPerSector, DWORD& freeClusters,
                 DWORD& totalClusters) override {
    return GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters) != FALSE;
  }

 private:
  win::UniqueModule m_kernel;
  FreeSpaceExFn m_freeSpaceEx = nullptr;
};

std::string Decimal(unsigned long value) {
  char text[32];
  snprintf(text, sizeof text, "%lu", value);
  return text;
}

}  // namespace

MemoryStatusQuery SystemMemoryStatus() {
  return [](MEMORYSTATUSEX& status) {
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) != FALSE;
  };
}

MemoryInfo::MemoryInfo(MemoryStatusQuery query) : m_query(std::move(query)) { Refresh(); }

void MemoryInfo::Refresh() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  // A failed query leaves the figures at zero: the report then shows the addend alone.
  if (!m_query || !m_query(status)) status = MEMORYSTATUSEX{sizeof status, 0, 0, 0, 0, 0, 0, 0, 0};
  m_status = status;
  m_totalPhys = FormatByteSize(status.ullTotalPhys + kMemoryFigureAddend, 0);
  m_availPhys = FormatByteSize(status.ullAvailPhys + kMemoryFigureAddend, 2);
  m_totalPageFile = FormatByteSize(status.ullTotalPageFile + kMemoryFigureAddend, 2);
  m_availPageFile = FormatByteSize(status.ullAvailPageFile + kMemoryFigureAddend, 2);
  m_totalVirtual = FormatByteSize(status.ullTotalVirtual + kMemoryFigureAddend, 2);
  m_availVirtual = FormatByteSize(status.ullAvailVirtual + kMemoryFigureAddend, 2);
}

const char* DriveTypeText(UINT type) {
  switch (type) {
    case DRIVE_REMOVABLE:
      return "Removable drive";
    case DRIVE_FIXED:
      return "Fixed drive";
    case DRIVE_REMOTE:
      return "Network drive";
    case DRIVE_CDROM:
      return "CD-ROM drive";
    case DRIVE_RAMDISK:
      return "RAM disk";
    default:
      return "Unknown drive";
  }
}

DriveSystem& SystemDrives() {
  static SystemDriveQueries drives;
  return drives;
}

DriveInfo::DriveInfo(uint32_t mask, DriveSystem& system) : m_system(&system) { Enumerate(mask); }

bool DriveInfo::Enumerate(uint32_t mask) {
  if (!m_system->Open()) return false;
  const DWORD letters = m_system->LogicalDrives();
  m_drives.clear();
  // Floppy drives are only touched when removable drives are wanted: asking an empty one
  // can stall.
  const int first = (mask & kDrivesRemovable) ? 0 : 2;
  for (int letter = first; letter < 26; ++letter) {
    if (!(letters & (1u << letter))) continue;
    const std::string root = std::string(1, static_cast<char>('A' + letter)) + ":\\";
    const UINT type = m_system->DriveType(root);
    if (type == DRIVE_NO_ROOT_DIR) continue;
    const bool wanted =
        ((mask & kDrivesCdRom) && type == DRIVE_CDROM) || ((mask & kDrivesFixed) && type == DRIVE_FIXED) ||
        ((mask & kDrivesNetwork) && type == DRIVE_REMOTE) || ((mask & kDrivesRemovable) && type == DRIVE_REMOVABLE);
    if (!wanted) continue;
    DriveStats drive;
    drive.SetName(root);
    drive.SetTypeCode(type);
    drive.SetType(DriveTypeText(type));
    if (m_system->HasFreeSpaceEx()) {
      uint64_t total = 0, free = 0;
      if (m_system->FreeSpaceEx(root, total, free)) {
        drive.SetTotalText(FormatByteSize(total, 2));
        drive.SetFreeText(FormatByteSize(free, 2));
      } else {
        drive.SetTotalText("0");
        drive.SetFreeText("0");
      }
    } else {
      DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
      if (!m_system->FreeSpace(root, sectorsPerCluster, bytesPerSector, freeClusters, totalClusters)) {
        sectorsPerCluster = bytesPerSector = freeClusters = totalClusters = 0;
      }
      const uint64_t cluster = uint64_t{sectorsPerCluster} * bytesPerSector;
      drive.SetTotalText(FormatByteSize(cluster * totalClusters, 2));
      drive.SetFreeText(FormatByteSize(cluster * freeClusters, 2));
    }
    m_drives.push_back(drive);
  }
  m_system->Close();
  return true;
}

OSInfo::OSInfo() { Describe(); }

void OSInfo::Describe() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) {
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return;
  }
  const DWORD major = version.dwMajorVersion, minor = version.dwMinorVersion;
  const wchar_t* sp = version.szCSDVersion;
  switch (version.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      m_code = 3;
      m_description = "Microsoft Win32s ";
      break;
    case VER_PLATFORM_WIN32_WINDOWS:
      if (major == 4 && minor == 0) {
        m_code = 0;
        m_description = "Microsoft Windows 95 ";
        if (sp[0] && sp[1] == L'C') m_description += "OSR2 ";
      } else if (major == 4 && minor == 10) {
        m_code = 1;
        m_description = "Microsoft Windows 98 ";
        if (sp[0] && sp[1] == L'A') m_description += "SE ";
      } else if (major == 4 && minor == 90) {
        m_code = 2;
        m_description = "Microsoft Windows Me ";
      }
      break;
    case VER_PLATFORM_WIN32_NT:
      if (major == 3 && minor == 51) {
        m_code = 4;
        m_description = "Microsoft Windows NT ";
      } else if (major == 4) {
        m_code = 5;
        m_description = "Microsoft Windows NT ";
      } else if (major == 5 && minor == 0) {
        m_code = 6;
        m_description = "Microsoft Windows 2000 ";
      } else if (major == 5 && minor == 1) {
        m_code = 7;
        m_description = "Microsoft Windows XP ";
      } else {
        m_description = "Microsoft Windows ";
      }
      char build[96];
      snprintf(build, sizeof build, "%lu.%lu (Build %lu)", static_cast<unsigned long>(major),
               static_cast<unsigned long>(minor), static_cast<unsigned long>(version.dwBuildNumber & 0xFFFF));
      m_description += build;
      break;
    default:
      break;
  }
}

SocketInfo::SocketInfo(BYTE major, BYTE minor) { Refresh(major, minor); }

void SocketInfo::Refresh(BYTE major, BYTE minor) {
  WSADATA data = {};
  if (late::WSAStartup(MAKEWORD(major, minor), &data) != 0) {
    m_version = m_highestVersion = m_description = m_systemStatus = m_maxSockets = m_maxDatagramSize = "Unknown";
    return;
  }
  auto versionText = [](WORD v) { return Decimal(LOBYTE(v)) + "." + Decimal(HIBYTE(v)); };
  m_version = versionText(data.wVersion);
  m_highestVersion = versionText(data.wHighVersion);
  m_description = data.szDescription;
  m_systemStatus = data.szSystemStatus;
  m_maxSockets = Decimal(data.iMaxSockets);
  m_maxDatagramSize = Decimal(data.iMaxUdpDg);
  LookUpHost();
  late::WSACleanup();
}

void SocketInfo::LookUpHost() {
  char name[128] = {};
  if (late::gethostname(name, sizeof name) != 0) return;
  m_hostName = name;
  const hostent* host = late::gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET) return;
  for (char** address = host->h_addr_list; *address != nullptr; ++address) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(*address);
    char text[32];
    snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    m_ipAddress = text;  // the last address is the one kept
  }
}

SysInfo::SysInfo(BYTE winsockMajor, BYTE winsockMinor, bool detailed, uint32_t driveMask)
    : m_cpu(detailed), m_sockets(winsockMajor, winsockMinor), m_drives(driveMask) {}

void SysInfo::Refresh(const bool* detailed, uint32_t driveMask, BYTE winsockMajor, BYTE winsockMinor) {
  m_cpu.CountAndIdentify();
  if (*detailed) m_cpu.MeasureSpeed();
  m_drives.Enumerate(driveMask);
  m_sockets.Refresh(winsockMajor, winsockMinor);
  m_memory.Refresh();
}
