// The reader's settings in the registry (HKEY_LOCAL_MACHINE), the read hot key and the diagnostic
// switch; with them the values the speech framework writes (VoiceSettings.h) and thread names for
// the debugger (ThreadName.h).
//
// Every accessor opens its key itself (KEY_READ for reads, KEY_WRITE for writes, in the 32-bit
// registry view), does one thing and closes the key. None creates a key: the product's installer makes them, and
// without them every read reports "missing" and every write does nothing. A value whose stored type (or, for binary and
// string values, size) differs from the expected one counts as missing.
#pragma once

#include <afxwin.h>

#include <string>

#include "ThreadName.h"
#include "VoiceSettings.h"

namespace reader_settings {
constexpr const wchar_t* kHotKeyKey = ORV_READER_APP_KEY L"\\HotKey_Read";
constexpr const wchar_t* kMakerKey = L"SOFTWARE\\ORVEL";
// The diagnostic switch opens the maker key by this spelling (key names ignore case).
constexpr const wchar_t* kDiagnosticKey = L"Software\\ORVEL";
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

// REG_DWORD values of the application key (WriteAppDword: VoiceSettings.h).
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
BOOL IsFirstRun();       // TRUE when "first" is missing or not REG_DWORD
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

namespace reader_settings {
// Forgets the cached diagnostic switch, so that a test can read it again.
void ForgetDiagnosticModeForTest();
}  // namespace reader_settings
