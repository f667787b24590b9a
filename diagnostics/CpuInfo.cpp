#include "CpuInfo.h"

#include "LateBound.h"

#include <cpuid.h>
#include <x86intrin.h>

#include <cstring>

namespace {

// Process-wide constant vendor texts, indexed by vendor code - 1.
const std::string kVendorIds[] = {"GenuineIntel", "AuthenticAMD", "CyrixInstead", "CentaurHauls"};
const std::string kUnknownVendor = "Unknown";

constexpr uint32_t kMmxBit = 0x800000;

class HardwareProbe final : public CpuProbe {
 public:
  bool HasCpuid() override {
#if defined(__i386__)
    // A processor with CPUID lets bit 21 of EFLAGS be changed.
    const unsigned int before = __readeflags();
    __writeeflags(before ^ 0x200000u);
    const unsigned int after = __readeflags();
    __writeeflags(before);
    return ((before ^ after) & 0x200000u) != 0;
#else
    return true;  // every x86-64 processor has it
#endif
  }
  RegisterValues Cpuid(uint32_t leaf) override {
    unsigned int a = 0, b = 0, c = 0, d = 0;
    __cpuid(leaf, a, b, c, d);
    return RegisterValues(a, b, c, d);
  }
  uint32_t ProcessorCount() override {
    SYSTEM_INFO info = {};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
  }
  DWORD Milliseconds() override {
    // The multimedia timer library is bound on first use, not by the program's imports: only a
    // measurement needs it, and loading it (with the audio compression manager it brings) would
    // otherwise cost every start of the reader. Should it be missing, the system tick serves.
    static const auto readTime = orv_diagnostics::BindOnFirstUse<DWORD(WINAPI*)()>(L"winmm.dll", "timeGetTime");
    return readTime ? readTime() : ::GetTickCount();
  }
  uint64_t TimeStampCounter() override { return __rdtsc(); }
  DWORD RaisePriority() override {
    const DWORD previous = GetPriorityClass(GetCurrentProcess());
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    return previous;
  }
  void RestorePriority(DWORD priorityClass) override {
    if (priorityClass != 0) SetPriorityClass(GetCurrentProcess(), priorityClass);
  }
};

// True when one of the cache descriptor bytes of leaf 2 is among the wanted ones. The lowest
// byte of A is the leaf's repeat count, not a descriptor.
bool HasCacheDescriptor(const RegisterValues& cache, uint8_t first, uint8_t second) {
  const uint32_t words[] = {cache.GetA() & 0xFFFFFF00u, cache.GetB(), cache.GetC(), cache.GetD()};
  for (uint32_t word : words) {
    for (int shift = 0; shift < 32; shift += 8) {
      const uint8_t descriptor = static_cast<uint8_t>(word >> shift);
      if (descriptor == first || descriptor == second) return true;
    }
  }
  return false;
}

std::string WithOwnTerminator(std::string text) {
  text.push_back('\0');
  return text;
}

}  // namespace

CpuProbe& HardwareCpuProbe() {
  static HardwareProbe probe;
  return probe;
}

CpuStats::CpuStats() : m_vendorId(kUnknownVendor) {}

CpuStats::CpuStats(const CpuStats& other) : CpuStats() { Assign(other); }

CpuStats& CpuStats::operator=(const CpuStats& other) {
  Assign(other);
  return *this;
}

void CpuStats::SetVendorId(const std::string& vendorId) {
  m_vendorId = vendorId;
  m_vendorCode = kVendorOther;
  for (size_t i = 0; i < sizeof kVendorIds / sizeof kVendorIds[0]; ++i) {
    if (vendorId == kVendorIds[i]) m_vendorCode = static_cast<uint32_t>(i + 1);
  }
}

void CpuStats::Assign(const CpuStats& other) {
  if (this == &other) return;
  m_cpuidSupported = other.m_cpuidSupported;
  SetVendorId(other.m_vendorId);
  m_name = other.m_name;
  m_extendedFeatures = other.m_extendedFeatures;
  m_standard = other.m_standard;
  m_cache = other.m_cache;
  m_extendedCache = other.m_extendedCache;
}

std::string IntelProcessorName(const CpuStats& stats) {
  const uint32_t family = stats.Family();
  const uint32_t model = stats.Model();
  std::string name;
  if (family == 4) {
    switch (model) {
      case 0:
      case 1:
        name = "Intel486(TM) DX processor";
        break;
      case 2:
        name = "Intel486(TM) SX processor";
        break;
      case 3:
        name = "IntelDX2(TM) processor";
        break;
      case 4:
        name = "Intel486(TM) processor";
        break;
      case 5:
        name = "IntelSX2(TM) processor";
        break;
      case 7:
        name = "Writeback Enhanced IntelDX2(TM) processor";
        break;
      case 8:
        name = "IntelDX4(TM) processor";
        break;
      default:
        name = "Intel 486 processor";
        break;
    }
  } else if (family == 5) {
    name = "Intel Pentium(R) processor";
  } else if (family == 6) {
    switch (model) {
      case 1:
        name = "Intel Pentium(R) Pro processor";
        break;
      case 3:
        name = "Intel Pentium(R) II processor, model 3";
        break;
      case 6:
        name = "Intel Celeron(TM) processor, model 6";
        break;
      case 8:
        name = "Intel Pentium(R) III Coppermine processor";
        break;
      case 5:
      case 7:
        if (HasCacheDescriptor(stats.Cache(), 0x40, 0x40)) {
          name = "Intel Celeron(TM) processor, model 5";  // for model 7 as well
        } else if (HasCacheDescriptor(stats.Cache(), 0x44, 0x45)) {
          name = model == 5 ? "Intel Pentium(R) II Xeon(TM) processor" : "Intel Pentium(R) III Xeon(TM) processor";
        } else {
          name = model == 5 ? "Intel Pentium(R) II processor, model 5" : "Intel Pentium(R) III processor";
        }
        break;
      default:
        switch (stats.GetStandardB() & 0xFF) {  // brand id
          case 1:
            name = "Genuine Intel Celeron(TM) processor";
            break;
          case 2:
            name = "Genuine Intel Pentium(R) III processor";
            break;
          case 3:
            name = "Genuine Intel Pentium(R) III Xeon(TM) processor";
            break;
          case 8:
            name = "Genuine Intel Pentium(R) 4 processor";
            break;
          default:
            name = "Unknown Genuine Intel processor";
            break;
        }
        break;
    }
  } else {
    name = stats.GetName();  // no table name: the current one stays
  }
  const uint32_t mmx = kMmxBit;
  if (stats.HasFeatures(&mmx)) name += " with MMX";
  return name;
}

CpuInfo::CpuInfo(bool detailed, CpuProbe& probe) : m_probe(&probe), m_speedText(WithOwnTerminator("0")) {
  CountAndIdentify();
  if (detailed) MeasureSpeed();
}

void CpuInfo::CountAndIdentify() {
  // std::to_string, not a string stream: streams bring the C++ locale machinery into the
  // program, which alone would double its size.
  m_countText = WithOwnTerminator(std::to_string(m_probe->ProcessorCount()));
  Identify();
}

void CpuInfo::Identify() {
  if (!m_probe->HasCpuid()) return;
  const bool supported = true;
  m_stats.SetCpuidSupported(&supported);

  const RegisterValues leaf0 = m_probe->Cpuid(0);
  const uint32_t highestStandard = leaf0.GetA();
  if (highestStandard != 0) {
    char vendor[13] = {};
    const uint32_t parts[] = {leaf0.GetB(), leaf0.GetD(), leaf0.GetC()};
    memcpy(vendor, parts, 12);
    m_stats.SetVendorId(vendor);
  }
  if (highestStandard == 0) return;
  if (highestStandard >= 2) {
    // Leaf 2 holds cache descriptors only when it answers in one round (low byte of A is 1).
    const RegisterValues leaf2 = m_probe->Cpuid(2);
    m_stats.SetCache((leaf2.GetA() & 0xFF) == 1 ? leaf2 : RegisterValues());
  }
  const RegisterValues leaf1 = m_probe->Cpuid(1);
  uint32_t word = leaf1.GetA();
  m_stats.SetSignature(&word);
  word = leaf1.GetB();
  m_stats.SetStandardB(&word);
  word = leaf1.GetC();
  m_stats.SetStandardC(&word);
  word = leaf1.GetD();
  m_stats.SetFeatures(&word);

  if (m_stats.GetVendorCode() == kVendorIntel) m_stats.SetName(IntelProcessorName(m_stats));

  uint32_t highestExtended = m_probe->Cpuid(0x80000000u).GetA();
  // Processors without extended leaves answer with anything below 0x80000001 (often the
  // standard leaves' answer); later processors go beyond 0x80000006 and have all of these.
  if (highestExtended < 0x80000001u || highestExtended > 0x8000FFFFu) return;
  if (highestExtended > 0x80000006u) highestExtended = 0x80000006u;
  if (highestExtended >= 0x80000006u) m_stats.SetExtendedCache(m_probe->Cpuid(0x80000006u));
  if (highestExtended >= 0x80000005u) m_stats.SetCache(m_probe->Cpuid(0x80000005u));
  if (highestExtended >= 0x80000004u) {
    char brand[49] = {};
    for (uint32_t i = 0; i < 3; ++i) {
      const RegisterValues part = m_probe->Cpuid(0x80000002u + i);
      const uint32_t words[] = {part.GetA(), part.GetB(), part.GetC(), part.GetD()};
      memcpy(brand + 16 * i, words, 16);
    }
    m_stats.SetName(brand);  // up to the first NUL
  }
  word = m_probe->Cpuid(0x80000001u).GetD();
  m_stats.SetExtendedFeatures(&word);
}

uint32_t CpuInfo::MeasureOnce() {
  // Start on a fresh millisecond, so the 500 ms interval is not shortened by a partly spent one.
  const DWORD begin = m_probe->Milliseconds();
  DWORD start = begin;
  while (start - begin < 2) start = m_probe->Milliseconds();
  const uint32_t first = static_cast<uint32_t>(m_probe->TimeStampCounter());
  while (m_probe->Milliseconds() - start <= 500) {
  }
  const uint32_t last = static_cast<uint32_t>(m_probe->TimeStampCounter());
  return (last - first) / 500000u;
}

void CpuInfo::MeasureSpeed() {
  const uint32_t family = m_stats.Family();
  const uint32_t vendor = m_stats.GetVendorCode();
  if (!((vendor == kVendorIntel && family > 4) || (vendor == kVendorAmd && family > 5))) return;
  const DWORD priority = m_probe->RaisePriority();
  uint32_t previous = 0;
  bool agreed = false;
  for (int i = 0; i < 10 && !agreed; ++i) {
    const uint32_t current = MeasureOnce();
    agreed = current == previous;
    previous = current;
  }
  m_probe->RestorePriority(priority);
  if (!agreed) return;
  m_speedText = WithOwnTerminator(std::to_string(previous) + " MHz");
}
