// Helpers shared by the reader's tests: temporary folders with copies of the built program
// and modules, registry values restored when a test ends, and text formatting for failures.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "StartedProgram.h"
#include "UniqueHandle.h"

namespace reader_test {

// The reader's keys (HKLM, 32-bit view) and its program's file name, spelled out here rather
// than taken from the product, so that a misspelling there fails the tests.
const wchar_t kMakerKey[] = L"SOFTWARE\\ORVEL";
const wchar_t kAppKey[] = L"SOFTWARE\\Orvel\\Orvel Murmelin";
const wchar_t kProgramName[] = L"Orvel Murmelin.exe";

// The folder of the running test program, trailing backslash kept. The build puts the reader
// under bin\ and the test modules under testmodules\ beside it.
std::wstring TestFolder();
std::wstring BuiltProgram();                         // bin\Orvel Murmelin.exe
std::wstring BuiltModule(const std::wstring& name);  // bin\lang\<name>.dll
std::wstring TestModule(const std::wstring& name);   // testmodules\<name>.dll

// A built language module (bin\lang\<name>.dll) as the resource module for the object's life.
class ResourceModule {
 public:
  explicit ResourceModule(const std::wstring& name);
  ~ResourceModule();
  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;
  bool ok() const { return static_cast<bool>(m_module); }

 private:
  win::UniqueModule m_module;  // freed after the previous resource module is back
  HINSTANCE m_previous = nullptr;
};

// A fresh folder under the temporary folder, deleted with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& Path() const { return m_path; }  // trailing backslash kept
  // Copies a file into the folder under a relative name (sub-folders are made); false with the
  // reason added to the test's failure output.
  bool Copy(const std::wstring& source, const std::wstring& relativeName) const;

 private:
  std::wstring m_path;
};

bool DeleteTree(const std::wstring& folder);

// The registry helpers work in the reader's registry view (reader_settings::kView).

// Sets, or removes, one value of an HKLM key for the life of the object and puts back what was
// there before (or removes it again). The key is created when missing, and deleted at the end
// if this object created it.
class ScopedRegValue {
 public:
  ScopedRegValue(const wchar_t* keyPath, const wchar_t* name);
  ~ScopedRegValue();
  ScopedRegValue(const ScopedRegValue&) = delete;
  ScopedRegValue& operator=(const ScopedRegValue&) = delete;

  bool SetString(const std::wstring& value);
  bool SetDword(DWORD value);
  bool Remove();
  bool ok() const { return m_key != nullptr; }

 private:
  HKEY m_key = nullptr;
  std::wstring m_keyPath;
  std::wstring m_name;
  bool m_createdKey = false;
  bool m_hadValue = false;
  DWORD m_type = 0;
  std::vector<BYTE> m_data;
};

// Names a fault point of the reader's test hooks (ReaderTestHooks.h) in this process's
// environment, which the programs it starts inherit, until the object goes.
class ScopedFault {
 public:
  explicit ScopedFault(const wchar_t* point) { SetEnvironmentVariableW(kVariable, point); }
  ~ScopedFault() { SetEnvironmentVariableW(kVariable, nullptr); }
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;

 private:
  static constexpr const wchar_t* kVariable = L"ORV_READER_TEST_FAULT";
};

// Reads a REG_DWORD of an HKLM key; false when missing or of another type.
bool ReadDword(const wchar_t* keyPath, const wchar_t* name, DWORD& value);
// Reads a 4-byte REG_BINARY of an HKLM key as a signed number ("posx", "posy").
bool ReadBinaryInt(const wchar_t* keyPath, const wchar_t* name, int& value);
bool KeyExists(const wchar_t* keyPath);
// Deletes an HKLM key with its values (no subkeys expected).
void DeleteKey(const wchar_t* keyPath);

// The ids of the running processes named "notepad.exe" (any case).
std::set<DWORD> NotepadProcesses();
// Ends those processes by their ids, each waited for up to `boundMs`: the Notepads that a
// fallback under test started (the tests make sure that none ran before them).
void EndNotepads(DWORD boundMs = 30000);

// The tests' message pump, with the reader tests' usual bound.
inline bool PumpUntil(const std::function<bool()>& done, DWORD boundMs = 30000,
                      const std::function<void(const MSG&)>& seen = nullptr) {
  return orv_testing::PumpUntil(done, boundMs, seen);
}

std::string Narrow(const std::wstring& text);  // UTF-8, for failure messages
std::string Hex(unsigned long value);

}  // namespace reader_test
