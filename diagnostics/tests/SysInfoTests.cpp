// The decoding and arithmetic of the crash report's system information, with known answers
// injected for the processor, memory and drives, and the report's own look-ups (exception
// names, module sections) against this running program.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <UniqueHandle.h>

#include "ByteSize.h"
#include "CSysInfo.h"
#include "CpuInfo.h"
#include "CrashFilters.h"
#include "ExceptionReport.h"
#include "SysInfo.h"

#include <dbghelp.h>

#include <fstream>
#include <functional>
#include <sstream>

namespace {

std::string Hex(unsigned long long value) {
  char text[32];
  snprintf(text, sizeof text, "0x%llx", value);
  return text;
}

// Texts carry a NUL of their own at the end; compare what %s would print.
std::string Printed(const std::string& text) { return text.c_str(); }

TEST(FormatByteSize, UnitsStepsAndPrecision) {
  struct Case {
    uint64_t bytes;
    int precision;
    const char* text;
  } cases[] = {
      {0, 2, "0.00 bytes"},
      {1000, 0, "1000 bytes"},  // 1000 is not above 1000
      {1001, 2, "0.98 KB"},
      {1024000, 2, "1000.00 KB"},
      {1048576, 2, "1.00 MB"},
      {1073741824ull + 0xA0000, 0, "1 GB"},
      {6442450944ull, 2, "6.00 GB"},
      {1099511627776ull * 3, 1, "3.0 TB"},
      {1099511627776ull * 1024 * 2, 2, "2.00"},  // beyond TB: no unit
  };
  for (const Case& c : cases) {
    const std::string text = FormatByteSize(c.bytes, c.precision);
    EXPECT_EQ(Printed(text), c.text) << c.bytes << " bytes, precision " << c.precision;
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\0') << "the text carries its own terminator";
  }
}

// A processor and clock with scripted answers.
class FakeProbe : public CpuProbe {
 public:
  bool cpuid = true;
  uint32_t count = 4;
  std::map<uint32_t, RegisterValues> leaves;
  std::vector<uint32_t> measuredMhz;  // one per measurement, in order
  int counterReads = 0;
  int raised = 0, restored = 0;

  bool HasCpuid() override { return cpuid; }
  RegisterValues Cpuid(uint32_t leaf) override {
    auto found = leaves.find(leaf);
    return found == leaves.end() ? RegisterValues() : found->second;
  }
  uint32_t ProcessorCount() override { return count; }
  DWORD Milliseconds() override { return m_now++; }
  uint64_t TimeStampCounter() override {
    const int measurement = counterReads / 2;
    const bool end = counterReads++ % 2 == 1;
    const uint64_t start = 0xFFFF0000ull * (measurement + 1);  // the low word wraps inside a measurement
    const uint32_t mhz = measurement < static_cast<int>(measuredMhz.size()) ? measuredMhz[measurement] : 0;
    return end ? start + uint64_t{mhz} * 500000 : start;
  }
  DWORD RaisePriority() override {
    ++raised;
    return NORMAL_PRIORITY_CLASS;
  }
  void RestorePriority(DWORD) override { ++restored; }

  void Vendor(const char* id, uint32_t highestStandard) {
    uint32_t words[3] = {};
    memcpy(words, id, 12);
    leaves[0] = RegisterValues(highestStandard, words[0], words[2], words[1]);  // B, D, C order
  }
  void Leaf1(uint32_t family, uint32_t model, uint32_t brandId = 0, bool mmx = false) {
    leaves[1] = RegisterValues(family << 8 | model << 4, brandId, 0, mmx ? 0x800000u : 0);
  }
  void Brand(const char* text, uint32_t highestExtended = 0x80000004u) {
    char bytes[48] = {};
    strncpy(bytes, text, sizeof bytes - 1);
    for (uint32_t i = 0; i < 3; ++i) {
      uint32_t w[4];
      memcpy(w, bytes + 16 * i, 16);
      leaves[0x80000002u + i] = RegisterValues(w[0], w[1], w[2], w[3]);
    }
    leaves[0x80000000u] = RegisterValues(highestExtended, 0, 0, 0);
  }

 private:
  DWORD m_now = 1000;
};

TEST(CpuInfo, IdentifiesVendorFamilyModelAndName) {
  struct Case {
    const char* what;
    std::function<void(FakeProbe&)> setUp;
    const char* vendor;
    uint32_t vendorCode, family, model;
    const char* name;
  } cases[] = {
      {"no CPUID", [](FakeProbe& p) { p.cpuid = false; }, "Unknown", 0, 0, 0, ""},
      {"highest standard leaf 0",
       [](FakeProbe& p) {
         p.Vendor("GenuineIntel", 0);
         p.Leaf1(6, 8);
       },
       "Unknown", 0, 0, 0, ""},
      {"486 DX4", [](FakeProbe& p) { p.Vendor("GenuineIntel", 1), p.Leaf1(4, 8); }, "GenuineIntel", 1, 4, 8,
       "IntelDX4(TM) processor"},
      {"486 model 6", [](FakeProbe& p) { p.Vendor("GenuineIntel", 1), p.Leaf1(4, 6); }, "GenuineIntel", 1, 4, 6,
       "Intel 486 processor"},
      {"Pentium with MMX", [](FakeProbe& p) { p.Vendor("GenuineIntel", 1), p.Leaf1(5, 4, 0, true); }, "GenuineIntel", 1,
       5, 4, "Intel Pentium(R) processor with MMX"},
      {"family 6 model 5 without L2 (0x40 in D)",
       [](FakeProbe& p) {
         p.Vendor("GenuineIntel", 2), p.Leaf1(6, 5);
         p.leaves[2] = RegisterValues(0x00000001, 0, 0, 0x00000040);
       },
       "GenuineIntel", 1, 6, 5, "Intel Celeron(TM) processor, model 5"},
      {"family 6 model 7 with 1 MB L2 (0x44 in B)",
       [](FakeProbe& p) {
         p.Vendor("GenuineIntel", 2), p.Leaf1(6, 7);
         p.leaves[2] = RegisterValues(0x00000001, 0x00440000, 0, 0);
       },
       "GenuineIntel", 1, 6, 7, "Intel Pentium(R) III Xeon(TM) processor"},
      {"0x40 as leaf 2's repeat count is no descriptor",
       [](FakeProbe& p) {
         p.Vendor("GenuineIntel", 2), p.Leaf1(6, 5);
         p.leaves[2] = RegisterValues(0x00000040, 0, 0, 0);
       },
       "GenuineIntel", 1, 6, 5, "Intel Pentium(R) II processor, model 5"},
      {"leaf 2 in more than one round is ignored",
       [](FakeProbe& p) {
         p.Vendor("GenuineIntel", 2), p.Leaf1(6, 7);
         p.leaves[2] = RegisterValues(0x00000002, 0, 0, 0x40);
       },
       "GenuineIntel", 1, 6, 7, "Intel Pentium(R) III processor"},
      {"brand id 8", [](FakeProbe& p) { p.Vendor("GenuineIntel", 2), p.Leaf1(6, 0xB, 8); }, "GenuineIntel", 1, 6, 0xB,
       "Genuine Intel Pentium(R) 4 processor"},
      {"unknown brand id", [](FakeProbe& p) { p.Vendor("GenuineIntel", 2), p.Leaf1(6, 9, 0x16); }, "GenuineIntel", 1, 6,
       9, "Unknown Genuine Intel processor"},
      {"family 15 without brand string, with MMX",
       [](FakeProbe& p) { p.Vendor("GenuineIntel", 2), p.Leaf1(15, 2, 0, true); }, "GenuineIntel", 1, 15, 2,
       " with MMX"},
      {"the brand string replaces the table name",
       [](FakeProbe& p) {
         p.Vendor("GenuineIntel", 0xD), p.Leaf1(6, 0xA, 0, true);
         p.Brand("Intel(R) Core(TM) i7 CPU", 0x80000008u);
       },
       "GenuineIntel", 1, 6, 0xA, "Intel(R) Core(TM) i7 CPU"},
      {"AMD brand string",
       [](FakeProbe& p) {
         p.Vendor("AuthenticAMD", 1), p.Leaf1(15, 1);
         p.Brand("AMD Athlon(tm) 64 Processor");
       },
       "AuthenticAMD", 2, 15, 1, "AMD Athlon(tm) 64 Processor"},
      {"brand string incomplete below leaf 0x80000004",
       [](FakeProbe& p) {
         p.Vendor("AuthenticAMD", 1), p.Leaf1(6, 1);
         p.Brand("AMD", 0x80000003u);
       },
       "AuthenticAMD", 2, 6, 1, ""},
      {"another vendor", [](FakeProbe& p) { p.Vendor("GenuineTMx86", 1), p.Leaf1(5, 4, 0, true); }, "GenuineTMx86", 0,
       5, 4, ""},
      {"Cyrix", [](FakeProbe& p) { p.Vendor("CyrixInstead", 1), p.Leaf1(5, 2); }, "CyrixInstead", 3, 5, 2, ""},
      {"Centaur", [](FakeProbe& p) { p.Vendor("CentaurHauls", 1), p.Leaf1(6, 2); }, "CentaurHauls", 4, 6, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeProbe probe;
    probe.count = 3;
    c.setUp(probe);
    const CpuInfo info(false, probe);
    const CpuStats stats = info.GetStats();
    EXPECT_EQ(stats.GetVendorId(), c.vendor);
    EXPECT_EQ(stats.GetVendorCode(), c.vendorCode);
    EXPECT_EQ(info.GetFamily(), c.family);
    EXPECT_EQ(info.GetModel(), c.model);
    EXPECT_EQ(info.GetName(), c.name);
    EXPECT_EQ(Printed(info.GetProcessorCountText()), "3");
    EXPECT_EQ(Printed(info.GetSpeedText()), "0") << "not measured without the detailed flag";
    EXPECT_EQ(probe.counterReads, 0);
  }
}

TEST(CpuInfo, SpeedIsSetWhenTwoConsecutiveMeasurementsAgree) {
  struct Case {
    const char* vendor;
    uint32_t family;
    std::vector<uint32_t> mhz;
    const char* speed;
    int measurements;
  } cases[] = {
      {"GenuineIntel", 6, {2400, 2400}, "2400 MHz", 2},
      {"GenuineIntel", 15, {2399, 2401, 2400, 2400}, "2400 MHz", 4},
      {"GenuineIntel", 6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 9}, "9 MHz", 10},   // the tenth is the first to agree
      {"GenuineIntel", 6, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}, "0", 10},  // at most ten
      {"GenuineIntel", 4, {33, 33}, "0", 0},                              // a 486 is not measured
      {"AuthenticAMD", 5, {300, 300}, "0", 0},
      {"AuthenticAMD", 6, {1800, 1800}, "1800 MHz", 2},
      {"CyrixInstead", 6, {200, 200}, "0", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.vendor) + " family " + std::to_string(c.family));
    FakeProbe probe;
    probe.Vendor(c.vendor, 1);
    probe.Leaf1(c.family, 1);
    probe.measuredMhz = c.mhz;
    const CpuInfo info(true, probe);
    EXPECT_EQ(Printed(info.GetSpeedText()), c.speed);
    EXPECT_EQ(info.GetSpeed(), atoi(c.speed));
    EXPECT_EQ(probe.counterReads, 2 * c.measurements);
    EXPECT_EQ(probe.raised, c.measurements ? 1 : 0);
    EXPECT_EQ(probe.restored, probe.raised);
  }
}

TEST(MemoryInfo, FiguresGetTheAddendAndCrossTwoGigabytes) {
  MEMORYSTATUSEX status = {};
  status.ullTotalPhys = 1073741824ull;
  status.ullAvailPhys = 0;
  status.ullTotalPageFile = 6442450944ull;  // beyond what a 32-bit figure holds
  status.ullAvailPageFile = 3221225472ull;
  status.ullTotalVirtual = 4294836224ull;
  status.ullAvailVirtual = 2147483648ull;
  const MemoryInfo memory([&](MEMORYSTATUSEX& out) {
    out = status;
    return true;
  });
  EXPECT_EQ(Printed(memory.GetTotalPhys()), "1 GB");
  EXPECT_EQ(Printed(memory.GetAvailPhys()), "640.00 KB");
  EXPECT_EQ(Printed(memory.GetTotalPageFile()), "6.00 GB");
  EXPECT_EQ(Printed(memory.GetAvailPageFile()), "3.00 GB");
  EXPECT_EQ(Printed(memory.GetTotalVirtual()), "4.00 GB");
  EXPECT_EQ(Printed(memory.GetAvailVirtual()), "2.00 GB");

  const MemoryInfo failed([](MEMORYSTATUSEX&) { return false; });
  EXPECT_EQ(Printed(failed.GetTotalPhys()), "640 KB");
}

// Drives with scripted letters, types and sizes; records which roots were asked.
class FakeDrives : public DriveSystem {
 public:
  bool opens = true, hasEx = true, exWorks = true, fallbackWorks = true;
  std::map<char, UINT> types;
  std::vector<std::string> asked;
  int closed = 0;

  bool Open() override { return opens; }
  void Close() override { ++closed; }
  DWORD LogicalDrives() override {
    DWORD mask = 0;
    for (const auto& entry : types) mask |= 1u << (entry.first - 'A');
    return mask;
  }
  UINT DriveType(const std::string& root) override {
    asked.push_back(root);
    return types[root[0]];
  }
  bool HasFreeSpaceEx() override { return hasEx; }
  bool FreeSpaceEx(const std::string&, uint64_t& total, uint64_t& free) override {
    total = 107374182400ull;  // 100 GB
    free = 1048576ull;
    return exWorks;
  }
  bool FreeSpace(const std::string&, DWORD& spc, DWORD& bps, DWORD& freeClusters, DWORD& totalClusters) override {
    spc = 8, bps = 512, totalClusters = 262144, freeClusters = 256;  // 1 GB, 1 MB
    return fallbackWorks;
  }
};

TEST(DriveInfo, SelectsByMaskInLetterOrderAndReadsSizes) {
  const std::map<char, UINT> machine = {{'A', DRIVE_REMOVABLE}, {'C', DRIVE_FIXED},       {'D', DRIVE_CDROM},
                                        {'E', DRIVE_REMOTE},    {'F', DRIVE_NO_ROOT_DIR}, {'G', DRIVE_RAMDISK},
                                        {'H', DRIVE_UNKNOWN},   {'Z', DRIVE_FIXED}};
  struct Case {
    uint32_t mask;
    std::function<void(FakeDrives&)> setUp;
    std::vector<std::string> listed;  // "root|type|total|free"
    const char* firstAsked;
  } cases[] = {
      {3,
       nullptr,
       {"C:\\|Fixed drive|100.00 GB|1.00 MB", "E:\\|Network drive|100.00 GB|1.00 MB",
        "Z:\\|Fixed drive|100.00 GB|1.00 MB"},
       "C:\\"},
      {4, nullptr, {"A:\\|Removable drive|100.00 GB|1.00 MB"}, "A:\\"},
      {8, nullptr, {"D:\\|CD-ROM drive|100.00 GB|1.00 MB"}, "C:\\"},
      {15,
       [](FakeDrives& d) { d.exWorks = false; },
       {"A:\\|Removable drive|0|0", "C:\\|Fixed drive|0|0", "D:\\|CD-ROM drive|0|0", "E:\\|Network drive|0|0",
        "Z:\\|Fixed drive|0|0"},
       "A:\\"},
      {1,
       [](FakeDrives& d) { d.hasEx = false; },
       {"C:\\|Fixed drive|1.00 GB|1.00 MB", "Z:\\|Fixed drive|1.00 GB|1.00 MB"},
       "C:\\"},
      {1,
       [](FakeDrives& d) { d.hasEx = false, d.fallbackWorks = false; },
       {"C:\\|Fixed drive|0.00 bytes|0.00 bytes", "Z:\\|Fixed drive|0.00 bytes|0.00 bytes"},
       "C:\\"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mask " + std::to_string(c.mask));
    FakeDrives drives;
    drives.types = machine;
    if (c.setUp) c.setUp(drives);
    const DriveInfo info(c.mask, drives);
    std::vector<std::string> listed;
    for (const DriveStats& d : info.GetDrives()) {
      UINT code = 0;
      d.GetTypeCode(&code);
      EXPECT_EQ(d.GetType(), DriveTypeText(code));
      listed.push_back(d.GetName() + "|" + d.GetType() + "|" + Printed(d.GetTotalText()) + "|" +
                       Printed(d.GetFreeText()));
    }
    EXPECT_EQ(listed, c.listed);
    ASSERT_FALSE(drives.asked.empty());
    EXPECT_EQ(drives.asked.front(), c.firstAsked);
    EXPECT_EQ(drives.closed, 1);
  }

  // Without the system library the list stays as it was.
  FakeDrives drives;
  drives.types = machine;
  DriveInfo info(1, drives);
  ASSERT_EQ(info.GetDrives().size(), 2u);
  drives.opens = false;
  EXPECT_FALSE(info.Enumerate(3));
  EXPECT_EQ(info.GetDrives().size(), 2u);
}

OSVERSIONINFOEXW Version(DWORD major, DWORD minor, const wchar_t* servicePack, BYTE productType = 0, WORD suite = 0) {
  OSVERSIONINFOEXW v = {};
  v.dwOSVersionInfoSize = sizeof v;
  v.dwMajorVersion = major;
  v.dwMinorVersion = minor;
  wcsncpy(v.szCSDVersion, servicePack, 127);
  v.wProductType = productType;
  v.wSuiteMask = suite;
  return v;
}

TEST(CSysInfo, ComposesTheWindowsNameAndEdition) {
  struct Case {
    bool nt;
    OSVERSIONINFOEXW version;
    bool extendedRead;
    const char* name;
    int servicePack;
  } cases[] = {
      {true, Version(5, 1, L"Service Pack 3", 1, 0x200), true, "Windows XP Home Edition Service Pack 3", 3},
      {true, Version(5, 1, L"Service Pack 2", 1, 0x100), true, "Windows XP Professional Edition Service Pack 2", 2},
      {true, Version(5, 1, L"Service Pack 2", 1, 0x200), false, "Windows XP Service Pack 2", 2},
      {true, Version(5, 0, L"", 1), true, "Windows 2000 Professional", 0},
      {true, Version(5, 0, L"Service Pack 4", 3, 0x2), true, "Windows 2000 Advanced Server Service Pack 4", 4},
      {true, Version(5, 0, L"", 2, 0x80 | 0x10 | 0x4), true,
       "Windows 2000 DataCenter Terminal BackOffice Server Domain Controller", 0},
      {true, Version(4, 0, L"Service Pack 6", 1), true, "Windows NT 4.0 Workstation Service Pack 6", 6},
      {true, Version(4, 0, L"Service Pack 6a", 3), true, "Windows NT 4.0 Server Service Pack 6a", 6},
      {true, Version(6, 0, L"Service Pack 2", 1), true, "Windows Vista Service Pack 2", 2},
      {true, Version(6, 1, L"Service Pack 1", 1, 0x100), true, "Windows 7 Service Pack 1", 1},
      {true, Version(6, 1, L"Service Pack 1", 3), true, "Windows 7 Service Pack 1", 1},
      {true, Version(6, 1, L"Service Pack 1", 2), true, "Windows 7 Domain Controller Service Pack 1", 1},
      {true, Version(10, 0, L"", 1), true, "Unknown", 0},
      {true, Version(5, 1, L"Service Pack 3, v.3311", 1), true,
       "Windows XP Professional Edition Service Pack 3, v.3311", 1},
      {false, Version(4, 10, L" A "), false, "Windows 98 A ", 0},
      {false, Version(4, 0, L" C"), false, "Windows 95 C", 0},
      {false, Version(4, 90, L""), false, "Windows ME", 0},
  };
  for (const Case& c : cases) {
    int servicePack = -1;
    EXPECT_EQ(ComposeWindowsName(c.nt, c.version, c.extendedRead, &servicePack), c.name);
    EXPECT_EQ(servicePack, c.servicePack) << c.name;
  }
}

TEST(CSysInfo, CollectsWhatTheReportPrints) {
  CSysInfo machine;
  machine.Collect();
  OSVERSIONINFOEXW expected = {};
  expected.dwOSVersionInfoSize = sizeof expected;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&expected)));
  EXPECT_EQ(machine.m_platformId, expected.dwPlatformId);
  EXPECT_EQ(machine.m_servicePackMajor, expected.wServicePackMajor);
  EXPECT_EQ(machine.m_productType, expected.wProductType);
  EXPECT_EQ(machine.m_major, expected.dwMajorVersion);
  EXPECT_FALSE(machine.m_osName.empty());
  EXPECT_FALSE(machine.m_userName.empty());
  EXPECT_GT(machine.m_totalPhys, 0u);
  EXPECT_GT(machine.m_processorCount, 0u);
}

TEST(ExceptionReport, NamesKnownCodesAndAsksTheSystemForOthers) {
  const std::pair<DWORD, const char*> known[] = {
      {0x80000001, "GUARD_PAGE"},
      {0x80000003, "BREAKPOINT"},
      {0xC0000005, "ACCESS_VIOLATION"},
      {0xC000001D, "ILLEGAL_INSTRUCTION"},
      {0xC000008C, "ARRAY_BOUNDS_EXCEEDED"},
      {0xC0000094, "INT_DIVIDE_BY_ZERO"},
      {0xC0000096, "PRIV_INSTRUCTION"},
      {0xC00000FD, "STACK_OVERFLOW"},
  };
  for (const auto& entry : known) EXPECT_STREQ(GetExceptionName(entry.first), entry.second) << Hex(entry.first);

  // Outside the table: NTDLL's message text for the code, kept until the next such code.
  const std::string dllNotFound = GetExceptionName(0xC0000135);  // STATUS_DLL_NOT_FOUND
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (!wine) {
    EXPECT_NE(dllNotFound.find("DLL"), std::string::npos) << dllNotFound;
  } else {
    // Wine's NTDLL has no message table: every code outside the table keeps the empty text.
    EXPECT_EQ(dllNotFound, "");
  }
  EXPECT_EQ(GetExceptionName(0xE0F0A0B0), dllNotFound) << "a code without text keeps the previous one";
}

__attribute__((noinline)) int CodeOfThisProgram(int value) { return value * 3 + 1; }

TEST(ExceptionReport, LogicalAddressNeedsAnImageWithValidHeaders) {
  int onTheStack = 0;
  std::vector<char> onTheHeap(64);
  const void* notAModule[] = {nullptr, &onTheStack, onTheHeap.data(), reinterpret_cast<const void*>(0x10)};
  for (const void* address : notAModule) {
    char name[MAX_PATH] = {};
    DWORD section = 0;
    uintptr_t offset = 0;
    EXPECT_FALSE(GetLogicalAddress(address, name, sizeof name, section, offset)) << address;
    EXPECT_STREQ(name, "") << address;
    EXPECT_EQ(section, 0u) << address;
    EXPECT_EQ(offset, 0u) << address;
  }

  char name[MAX_PATH] = {};
  DWORD section = 0;
  uintptr_t offset = 0;
  const auto code = reinterpret_cast<const void*>(&CodeOfThisProgram);
  ASSERT_TRUE(GetLogicalAddress(code, name, sizeof name, section, offset));
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  EXPECT_STREQ(name, self);
  const auto base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
  const auto* nt =
      reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_SECTION_HEADER& text = IMAGE_FIRST_SECTION(nt)[section - 1];
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.Name), 5), ".text");
  EXPECT_EQ(offset, static_cast<uintptr_t>(static_cast<const BYTE*>(code) - base) - text.VirtualAddress);
}

// Three thousand frames deep, a thread writes its own call stack from its registers, as the
// report does for the faulting thread.
struct DeepThread {
  HANDLE report = INVALID_HANDLE_VALUE;
};

__attribute__((noinline)) int Descend(int depth, DeepThread* deep) {
  volatile char pad[16];
  pad[0] = static_cast<char>(depth);
  if (depth == 0) {
    CONTEXT context = {};
    RtlCaptureContext(&context);
    WriteCallStack(deep->report, GetCurrentThread(), context);
    return 0;
  }
  return Descend(depth - 1, deep) + pad[0];  // not a tail call: every level keeps its frame
}

DWORD WINAPI DeepThreadMain(void* parameter) {
  return static_cast<DWORD>(Descend(3000, static_cast<DeepThread*>(parameter)));
}

// A thread parked in a wait a few frames below its entry, for a walk from another thread: the
// report walks every listed thread that way (WriteThreadStack).
struct ParkedThread {
  win::UniqueKernelHandle parked{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  win::UniqueKernelHandle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  uintptr_t returnsTo = 0;  // where the parking call returns to, inside ParkHere
};

__attribute__((noinline)) void WaitParked(ParkedThread* parked) {
  parked->returnsTo = reinterpret_cast<uintptr_t>(__builtin_return_address(0));
  SetEvent(parked->parked.get());
  WaitForSingleObject(parked->release.get(), INFINITE);
}

__attribute__((noinline)) int ParkHere(ParkedThread* parked) {
  volatile int result = 1;
  WaitParked(parked);
  return result;  // not a tail call: ParkHere keeps its frame
}

DWORD WINAPI ParkedThreadMain(void* parameter) {
  return static_cast<DWORD>(ParkHere(static_cast<ParkedThread*>(parameter)));
}

// A call stack written by `write` into a temporary file, read back by lines (without their CR).
std::vector<std::string> WrittenStack(const std::function<void(HANDLE)>& write) {
  wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  GetTempFileNameW(folder, L"stk", 0, path);
  {
    win::UniqueFile report(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    EXPECT_TRUE(report) << "error " << GetLastError();
    if (report) write(report.get());
  }
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  in.close();
  DeleteFileW(path);
  return lines;
}

TEST(ExceptionReport, CallStacksOfTheFaultingAndOtherThreads) {
  // The symbol handler is set up as the reporting thread does, once with the process invaded and
  // once as when it cannot be (Wine's dbghelp refuses the invasion with this variable set, as it
  // does by itself at times under an i386 emulator): the walks must work either way.
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  for (const bool invadable : {true, false}) {
    SCOPED_TRACE(invadable ? "process invaded" : "process not invadable");
    if (!invadable) SetEnvironmentVariableW(L"DBGHELP_NOLIVE", L"1");
    const SymbolHandler handler = PrepareSymbolHandler();
    SetEnvironmentVariableW(L"DBGHELP_NOLIVE", nullptr);
    ASSERT_NE(handler, SymbolHandler::None) << "error " << GetLastError();
    // Windows ignores the variable; under Wine the row shows the fallback really ran.
    if (wine || invadable) {
      EXPECT_EQ(handler, invadable ? SymbolHandler::Invaded : SymbolHandler::ModuleByModule);
    }
    EXPECT_NE(SymGetModuleBase64(GetCurrentProcess(), reinterpret_cast<uintptr_t>(&ParkHere)), 0u)
        << "the symbol handler does not know this program";

    // Three thousand frames deep, a thread writes its own call stack from its registers, as the
    // report does for the faulting thread: the walk writes its bound and stops.
    std::vector<std::string> lines = WrittenStack([](HANDLE report) {
      DeepThread deep;
      deep.report = report;
      // Room below the deep frames for the walk itself (dbghelp reads the modules' debug information).
      win::UniqueKernelHandle thread(
          CreateThread(nullptr, 16 << 20, DeepThreadMain, &deep, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
      ASSERT_TRUE(thread);
      EXPECT_EQ(WaitForSingleObject(thread.get(), 120000), WAIT_OBJECT_0);
    });
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Call stack:");
    EXPECT_EQ(lines[1], "Address\tFrame");
    EXPECT_EQ(lines.size() - 2, static_cast<size_t>(kMaxStackFrames));

    // Another thread, parked in a wait, walked from its registers as the thread list walks each
    // thread: one of its frames returns into the function that parked it.
    ParkedThread parked;
    DWORD id = 0;
    win::UniqueKernelHandle thread(CreateThread(nullptr, 0, ParkedThreadMain, &parked, 0, &id));
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(parked.parked.get(), 120000), WAIT_OBJECT_0);
    lines = WrittenStack([id](HANDLE report) { WriteThreadStack(report, id); });
    SetEvent(parked.release.get());
    EXPECT_EQ(WaitForSingleObject(thread.get(), 120000), WAIT_OBJECT_0);
    ASSERT_GE(lines.size(), 3u) << "no frame of the parked thread";
    EXPECT_EQ(lines[0], "Call stack:");
    const auto start = reinterpret_cast<uintptr_t>(&ParkHere);
    std::string frames;
    bool inside = false;
    for (size_t i = 2; i < lines.size(); ++i) {
      const uintptr_t pc = static_cast<uintptr_t>(std::strtoull(lines[i].c_str(), nullptr, 16));
      inside = inside || (pc > start && pc <= parked.returnsTo);
      frames += lines[i] + "\n";
    }
    EXPECT_TRUE(inside) << "no frame between ParkHere (" << std::hex << start << ") and its call's return ("
                        << parked.returnsTo << "):\n"
                        << frames;
    SymCleanup(GetCurrentProcess());
  }
}

TEST(CrashFilters, MinidumpNameIsTheCrashTimeRightAligned) {
  EXPECT_EQ(MinidumpPathFor(L"C:\\data\\Orvel Murmelin\\0012345678.rpt", 987654321),
            L"C:\\data\\Orvel Murmelin\\state_ 987654321.mdmp");
  EXPECT_EQ(MinidumpPathFor(L"C:\\x\\1.rpt", 1765270000), L"C:\\x\\state_1765270000.mdmp");
  EXPECT_EQ(MinidumpPathFor(L"", 5), L"");
}

}  // namespace
