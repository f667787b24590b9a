// The reader's settings in the registry (HKEY_LOCAL_MACHINE), the read hot key, the diagnostic
// switch and thread names for the debugger.
//
// Every accessor opens its key itself (KEY_READ for reads, KEY_WRITE for writes, in the 32-bit
// registry view), does one thing and closes the key. None creates a key: the product's installer makes them, and
// without them every read reports "missing" and every write does nothing. A value whose stored type (or, for binary and
// string values, size) differs from the expected one counts as missing.
#pragma once

#include <afxwin.h>

#include <string>

namespace reader_settings {
constexpr const wchar_t* kAppKey = L"SOFTWARE\\Orvel\\Orvel Murmelin";
constexpr const wchar_t* kHotKeyKey = L"SOFTWARE\\Orvel\\Orvel Murmelin\\HotKey_Read";
constexpr const wchar_t* kMakerKey = L"SOFTWARE\\ORVEL";
// The diagnostic switch opens the maker key by this spelling (key names ignore case).
constexpr const wchar_t* kDiagnosticKey = L"Software\\ORVEL";
// The registry view of the reader's keys: the 32-bit one, which the 32-bit reader and installer
// use. Tests and other code that write these keys use it too.
constexpr REGSAM kView = KEY_WOW64_32KEY;
// Longest REG_SZ read by GetRegStringValue, terminator included.
constexpr DWORD kMaxStringChars = 128;
}  // namespace reader_settings

constexpr int READ_HOTKEY_ID = 42;

// The reader's process-wide configuration, created on first use and destroyed at process exit.
// Touched only on the UI thread.
class CCfgData {
 public:
  static CCfgData& Instance();
  bool m_bHotKeyRegistered = false;  // the read hot key is registered (or was attempted)

  CCfgData(const CCfgData&) = delete;
  CCfgData& operator=(const CCfgData&) = delete;

 private:
  CCfgData() = default;
};

// REG_DWORD values of the application key.
void WriteAppDword(LPCWSTR name, DWORD value);
int ReadAppDword(LPCWSTR name);                     // -1 when missing
BOOL GetAppDwordValue(LPCWSTR name, DWORD& value);  // TRUE when the value exists

// A REG_SZ or REG_EXPAND_SZ of at most 128 characters, terminator included, from any HKLM key.
// A longer value, an odd byte count or a missing terminator counts as missing; text is left
// unchanged then.
BOOL GetRegStringValue(LPCWSTR keyPath, std::wstring& text, LPCWSTR name);
BOOL GetRegStringValue(LPCWSTR keyPath, CString& text, LPCWSTR name);

BOOL ReadFoldState();
void WriteFoldState(BOOL folded);
BOOL ReadWindowPos(int& x, int& y);  // TRUE only when "posx" and "posy" are both 4-byte REG_BINARY
void WriteWindowPos(int x, int y);
BOOL IsFirstRun();  // TRUE when "first" is missing or not REG_DWORD
void WriteFirstRunDone();
void WriteCurrentVoice(int index);
int ReadCurrentVoice();  // -1 when missing

// "diagnostic" == 1 under the maker key; read on the first call, cached for the process.
BOOL IsDiagnosticMode();

// Registers the read hot key from the HotKey_Read subkey once per process: nothing when the flag
// is already set, the subkey is missing or any of "alt", "ctrl", "shift", "key_code" is missing
// or not REG_DWORD. The flag is set before registering, so it is set even when the system
// refuses the combination. Without any modifier the key is registered with Ctrl.
void RegisterReadHotKey(CCfgData& cfg, HWND mainDialog);
void RegisterReadHotKey(CCfgData& cfg, CWnd* mainDialog);
// The dialog's teardown: unregisters hot key 42 and clears the flag, when the flag is set.
void UnregisterReadHotKey(CCfgData& cfg, HWND mainDialog);

// Names a thread for the debugger (threadId -1 = the calling thread). Returns normally with or
// without a debugger: the naming exception is answered by a vectored handler of our own that
// continues execution, so it never reaches an unhandled-exception filter.
void SetThreadName(DWORD threadId, LPCSTR name);
// Formats the name (at most 512 characters) and names the thread.
void SetThreadNameF(DWORD threadId, LPCSTR format, ...);

namespace reader_settings {
// Forgets the cached diagnostic switch, so that a test can read it again.
void ForgetDiagnosticModeForTest();
}  // namespace reader_settings
