// The processor as the crash report describes it: count, vendor, family, model, a readable name
// and the clock speed measured with the time-stamp counter.
//
// Everything the processor and the system are asked goes through a CpuProbe, so the decoding
// of CPUID results and the speed rule can be checked with known answers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The four words that one CPUID leaf returns (EAX, EBX, ECX, EDX).
class RegisterValues {
 public:
  RegisterValues() = default;
  RegisterValues(uint32_t a, uint32_t b, uint32_t c, uint32_t d) : m_a(a), m_b(b), m_c(c), m_d(d) {}
  virtual ~RegisterValues() = default;
  RegisterValues(const RegisterValues&) = default;
  RegisterValues& operator=(const RegisterValues&) = default;

  virtual uint32_t GetA() const { return m_a; }
  virtual void SetA(const uint32_t* value) { m_a = *value; }
  virtual uint32_t GetB() const { return m_b; }
  virtual void SetB(const uint32_t* value) { m_b = *value; }
  virtual uint32_t GetC() const { return m_c; }
  virtual void SetC(const uint32_t* value) { m_c = *value; }
  virtual uint32_t GetD() const { return m_d; }
  virtual void SetD(const uint32_t* value) { m_d = *value; }
  virtual void Assign(const RegisterValues& other) { *this = other; }

 private:
  uint32_t m_a = 0, m_b = 0, m_c = 0, m_d = 0;
};

// Vendor codes of the vendor id texts; any other text is 0.
enum CpuVendor : uint32_t { kVendorOther = 0, kVendorIntel = 1, kVendorAmd = 2, kVendorCyrix = 3, kVendorCentaur = 4 };

// One processor's identity: what CPUID answered, decoded.
class CpuStats {
 public:
  CpuStats();
  CpuStats(const CpuStats& other);
  CpuStats& operator=(const CpuStats& other);
  virtual ~CpuStats() = default;

  virtual void SetCpuidSupported(const bool* supported) { m_cpuidSupported = *supported; }
  virtual bool GetCpuidSupported() const { return m_cpuidSupported; }
  virtual uint32_t Signature() const { return m_standard.GetA(); }
  virtual uint32_t Family() const { return (Signature() >> 8) & 0xF; }
  virtual uint32_t Model() const { return (Signature() >> 4) & 0xF; }
  virtual uint32_t Stepping() const { return Signature() & 0xF; }
  virtual std::string GetName() const { return m_name; }
  virtual std::string GetVendorId() const { return m_vendorId; }
  virtual uint32_t GetVendorCode() const { return m_vendorCode; }
  virtual bool HasFeatures(const uint32_t* mask) const { return (m_standard.GetD() & *mask) == *mask; }
  virtual bool HasExtendedFeatures(const uint32_t* mask) const { return (m_extendedFeatures & *mask) == *mask; }
  virtual uint32_t GetFeatures() const { return m_standard.GetD(); }
  virtual uint32_t GetExtendedFeatures() const { return m_extendedFeatures; }
  virtual uint32_t GetStandardB() const { return m_standard.GetB(); }
  virtual uint32_t GetStandardC() const { return m_standard.GetC(); }
  virtual const RegisterValues& Cache() const { return m_cache; }
  virtual const RegisterValues& ExtendedCache() const { return m_extendedCache; }
  virtual void SetSignature(const uint32_t* value) { m_standard.SetA(value); }
  virtual void SetName(const std::string& name) { m_name = name; }
  // Also sets the vendor code from the text.
  virtual void SetVendorId(const std::string& vendorId);
  virtual void SetFeatures(const uint32_t* value) { m_standard.SetD(value); }
  virtual void SetExtendedFeatures(const uint32_t* value) { m_extendedFeatures = *value; }
  virtual void SetStandardB(const uint32_t* value) { m_standard.SetB(value); }
  virtual void SetStandardC(const uint32_t* value) { m_standard.SetC(value); }
  virtual void SetCache(const RegisterValues& values) { m_cache = values; }
  virtual void SetExtendedCache(const RegisterValues& values) { m_extendedCache = values; }
  virtual void Assign(const CpuStats& other);

 private:
  bool m_cpuidSupported = false;
  uint32_t m_extendedFeatures = 0;  // D of leaf 0x80000001
  std::string m_vendorId;
  std::string m_name;
  uint32_t m_vendorCode = kVendorOther;
  RegisterValues m_standard;       // leaf 1
  RegisterValues m_cache;          // leaf 2, or 0x80000005 where that is read
  RegisterValues m_extendedCache;  // leaf 0x80000006
};

// What identification and speed measurement ask of the processor and the system.
class CpuProbe {
 public:
  virtual ~CpuProbe() = default;
  virtual bool HasCpuid() = 0;  // bit 21 of EFLAGS can be flipped
  virtual RegisterValues Cpuid(uint32_t leaf) = 0;
  virtual uint32_t ProcessorCount() = 0;
  virtual DWORD Milliseconds() = 0;  // timeGetTime
  virtual uint64_t TimeStampCounter() = 0;
  // Raises the process to high priority for the measurement; answers what to restore.
  virtual DWORD RaisePriority() = 0;
  virtual void RestorePriority(DWORD priorityClass) = 0;
};

// The processor this code runs on.
CpuProbe& HardwareCpuProbe();

// The readable name of an Intel processor by family and model (and, for some models, the cache
// descriptors of leaf 2 or the brand id), with " with MMX" appended when MMX is present. Empty
// plus " with MMX", or empty, for families without a table name.
std::string IntelProcessorName(const CpuStats& stats);

class CpuInfo {
 public:
  explicit CpuInfo(bool detailed, CpuProbe& probe = HardwareCpuProbe());
  CpuInfo(const CpuInfo&) = default;
  CpuInfo& operator=(const CpuInfo&) = default;
  virtual ~CpuInfo() = default;

  virtual void CountAndIdentify();
  virtual void MeasureSpeed();
  virtual std::string GetName() const { return m_stats.GetName(); }
  virtual int GetSpeed() const { return atoi(m_speedText.c_str()); }
  virtual std::string GetSpeedText() const { return m_speedText; }
  virtual int GetProcessorCount() const { return atoi(m_countText.c_str()); }
  virtual std::string GetProcessorCountText() const { return m_countText; }
  virtual uint32_t GetFamily() const { return m_stats.Family(); }
  virtual uint32_t GetModel() const { return m_stats.Model(); }
  virtual uint32_t GetStepping() const { return m_stats.Stepping(); }
  virtual CpuStats GetStats() const { return m_stats; }
  virtual void Assign(const CpuInfo& other) { *this = other; }

 private:
  void Identify();
  uint32_t MeasureOnce();

  CpuProbe* m_probe;  // not owned; outlives the object
  CpuStats m_stats;
  std::string m_speedText;  // "0", or "<MHz> MHz", with a NUL of its own at the end
  std::string m_countText;  // decimal count, with a NUL of its own at the end
};
