// What the reader's benchmarks share: the clock, the built programs' paths, the reader's
// registry values set for a run and put back after it, the fake speech engine with one voice,
// and the read hot key.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "FakeSapiControl.h"
#include "StartedProgram.h"

namespace reader_bench {

double NowMs();  // a monotonic clock in milliseconds
double Median(std::vector<double> values);
std::wstring BenchFolder();    // the running benchmark's folder, trailing backslash kept
std::wstring ReaderProgram();  // the built reader
std::wstring BuildFolder();    // the build tree's root, trailing backslash kept

// Values of the reader's HKLM keys (32-bit view, as the reader reads them) for the life of the
// object; what was there before is put back, keys it made are removed.
class ScopedValues {
 public:
  ScopedValues() = default;
  ~ScopedValues();
  ScopedValues(const ScopedValues&) = delete;
  ScopedValues& operator=(const ScopedValues&) = delete;

  bool SetDword(const wchar_t* key, const wchar_t* name, DWORD value);
  bool SetString(const wchar_t* key, const wchar_t* name, const std::wstring& value);
  bool SetBinary4(const wchar_t* key, const wchar_t* name, int value);
  bool Remove(const wchar_t* key, const wchar_t* name);  // absent until put back
  // What every run of the reader needs: the keys an installed reader has (the installer makes
  // them; the reader itself never does), "language", not the first run (no usage hint), the
  // dialog unfolded, no Notepad fallback, and the read hot key Ctrl+Shift+F9.
  bool SetReaderDefaults();
  // What an earlier run leaves for the next start besides "first": the speech settings and the
  // window position it saved at its end (voice 0, full volume, normal rate, at 100, 100).
  bool SetEarlierRunState();
  // The reader's next start becomes its first run again: "first" goes (each run that ends
  // writes it back, so this is needed before every start that is to be a first run).
  bool ForgetEarlierRun();

 private:
  struct Saved {
    std::wstring key, name;
    bool had;
    DWORD type;
    std::vector<BYTE> data;
  };
  bool Set(const wchar_t* key, const wchar_t* name, DWORD type, const void* data, DWORD size);
  std::vector<Saved> m_saved;
  std::vector<std::wstring> m_madeKeys;
};

// The fake engine registered for this benchmark's children, with one voice.
class FakeEngine {
 public:
  FakeEngine();
  bool ok() const { return m_ok; }
  fakesapi::Session& session() { return m_session; }

 private:
  fakesapi::Session m_session;
  bool m_ok = false;
};

// The set-up every reader benchmark starts with: `reader` built, no reader already running in
// the prefix, the fake engine registered and the reader's defaults set. False, with the reason
// printed after `name`, when the benchmark cannot run.
bool PrepareRun(const char* name, const std::wstring& reader, const FakeEngine& engine, ScopedValues& values);

// Ctrl+Shift+F9 pressed and released as injected input, tagged with `extraInfo`.
void PressReadHotKey(ULONG_PTR extraInfo);

}  // namespace reader_bench
