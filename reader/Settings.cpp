// The reader's registry settings, read hot key, diagnostic switch and thread names.
#include "Settings.h"

#include <atomic>

#include "Registry.h"

namespace {

// A key of the reader, in the registry view where the reader keeps its keys.
win::RegistryKey ReaderKey(LPCWSTR path, REGSAM access) {
  return win::RegistryKey(HKEY_LOCAL_MACHINE, path, access | reader_settings::kView);
}

// -1 not read yet, else 0 or 1.
std::atomic<int> g_diagnostic{-1};

}  // namespace

// ---------------------------------------------------------------------------------------------
CCfgData& CCfgData::Instance() {
  static CCfgData s_instance;
  return s_instance;
}

int ReadAppDword(LPCWSTR name) {
  DWORD value = 0;
  if (!ReaderKey(reader_settings::kAppKey, KEY_READ).ReadDword(name, value)) return -1;
  return static_cast<int>(value);
}

BOOL GetAppDwordValue(LPCWSTR name, DWORD& value) {
  return ReaderKey(reader_settings::kAppKey, KEY_READ).ReadDword(name, value) ? TRUE : FALSE;
}

BOOL GetRegStringValue(LPCWSTR keyPath, std::wstring& text, LPCWSTR name) {
  return ReaderKey(keyPath, KEY_READ).ReadString(name, reader_settings::kMaxStringChars, text) ? TRUE : FALSE;
}

BOOL GetRegStringValue(LPCWSTR keyPath, CString& text, LPCWSTR name) {
  std::wstring value;
  if (!GetRegStringValue(keyPath, value, name)) return FALSE;
  text = value.c_str();
  return TRUE;
}

BOOL ReadFoldState() {
  DWORD value = 0;
  return ReaderKey(reader_settings::kAppKey, KEY_READ).ReadDword(L"fold", value) && value != 0;
}

void WriteFoldState(BOOL folded) { WriteAppDword(L"fold", folded ? 1 : 0); }

BOOL ReadWindowPos(int& x, int& y) {
  win::RegistryKey key = ReaderKey(reader_settings::kAppKey, KEY_READ);
  int px = 0, py = 0;
  if (!key.ReadBinary4(L"posx", px) || !key.ReadBinary4(L"posy", py)) return FALSE;
  x = px;
  y = py;
  return TRUE;
}

void WriteWindowPos(int x, int y) {
  win::RegistryKey key = ReaderKey(reader_settings::kAppKey, KEY_WRITE);
  const BYTE bx[4] = {static_cast<BYTE>(x), static_cast<BYTE>(x >> 8), static_cast<BYTE>(x >> 16),
                      static_cast<BYTE>(static_cast<unsigned>(x) >> 24)};
  const BYTE by[4] = {static_cast<BYTE>(y), static_cast<BYTE>(y >> 8), static_cast<BYTE>(y >> 16),
                      static_cast<BYTE>(static_cast<unsigned>(y) >> 24)};
  if (!key) return;
  if (!key.Write(L"posx", REG_BINARY, bx, 4) || !key.Write(L"posy", REG_BINARY, by, 4))
    OutputDebugStringW(L"reader: the window position could not be written\n");
}

BOOL IsFirstRun() {
  DWORD value = 0;
  return ReaderKey(reader_settings::kAppKey, KEY_READ).ReadDword(L"first", value) ? FALSE : TRUE;
}

int ReadCurrentVoice() { return ReadAppDword(L"cur_voice"); }

BOOL IsDiagnosticMode() {
  int cached = g_diagnostic.load();
  if (cached < 0) {
    DWORD value = 0;
    cached = ReaderKey(reader_settings::kDiagnosticKey, KEY_READ).ReadDword(L"diagnostic", value) && value == 1 ? 1 : 0;
    g_diagnostic.store(cached);
  }
  return cached == 1;
}

void reader_settings::ForgetDiagnosticModeForTest() { g_diagnostic.store(-1); }

// ---------------------------------------------------------------------------------------------
void RegisterReadHotKey(CCfgData& cfg, HWND mainDialog) {
  if (cfg.m_bHotKeyRegistered) return;
  win::RegistryKey key = ReaderKey(reader_settings::kHotKeyKey, KEY_READ);
  if (!key) return;
  DWORD alt = 0, ctrl = 0, shift = 0, keyCode = 0;
  if (!key.ReadDword(L"alt", alt) || !key.ReadDword(L"ctrl", ctrl) || !key.ReadDword(L"shift", shift) ||
      !key.ReadDword(L"key_code", keyCode))
    return;
  // Set before registering: the teardown releases the key whenever registration was attempted.
  cfg.m_bHotKeyRegistered = true;
  UINT modifiers = 0;
  if (alt == 1) modifiers |= MOD_ALT;
  if (ctrl == 1) modifiers |= MOD_CONTROL;
  if (shift == 1) modifiers |= MOD_SHIFT;
  if (modifiers == 0) modifiers = MOD_CONTROL;
  if (!::RegisterHotKey(mainDialog, READ_HOTKEY_ID, modifiers, keyCode)) {
    // Another program holds the combination; the reader then works by its read button only.
    OutputDebugStringW(L"reader: the read hot key could not be registered\n");
  }
}

void RegisterReadHotKey(CCfgData& cfg, CWnd* mainDialog) {
  RegisterReadHotKey(cfg, mainDialog ? mainDialog->GetSafeHwnd() : nullptr);
}

void UnregisterReadHotKey(CCfgData& cfg, HWND mainDialog) {
  if (!cfg.m_bHotKeyRegistered) return;
  ::UnregisterHotKey(mainDialog, READ_HOTKEY_ID);
  cfg.m_bHotKeyRegistered = false;
}
