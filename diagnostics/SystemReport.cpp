#include "SystemReport.h"

#include "CSysInfo.h"
#include "SysInfo.h"

void WriteSystemLines(FILE* out) {
  fprintf(out, "VERSION:%ls %ls\n", kProductVersion, kProductName);
  fprintf(out, "VER: date=*%s* time=*%s*\n", __DATE__, __TIME__);

  // Fixed and network drives from C: on; Winsock 2.0; the speed measured.
  SysInfo system(2, 0, true, kDrivesFixed | kDrivesNetwork);
  CSysInfo machine;
  machine.Collect();

  fprintf(out, "CPU num:%s fam:%d id:%s md:%d spd:%s vnd:%s\n", system.GetProcessorCountText().c_str(),
          static_cast<int>(system.GetFamily()), system.GetProcessorName().c_str(), static_cast<int>(system.GetModel()),
          system.GetSpeedText().c_str(), system.GetVendorId().c_str());
  fprintf(out, "OS Number: PlatformId=%d, ServicePack=%d.%d, Suit=%d, Type=%d\n",
          static_cast<int>(machine.m_platformId), machine.m_servicePackMajor, machine.m_servicePackMinor,
          machine.m_suiteMask, machine.m_productType);
  fprintf(out, "IE version: %d.%d.%d\n", static_cast<int>(machine.m_ieMajor), static_cast<int>(machine.m_ieMinor),
          static_cast<int>(machine.m_ieBuild));
  fprintf(out, "MEM total:%s avail:%s\n", system.GetTotalPhys().c_str(), system.GetAvailPhys().c_str());
  for (const DriveStats& drive : system.GetDrives()) {
    fprintf(out, "Name:%s Type:%s Total:%s Free:%s\n", drive.GetName().c_str(), drive.GetType().c_str(),
            drive.GetTotalText().c_str(), drive.GetFreeText().c_str());
  }
}
