// Tests of the reader's registry settings, read hot key and thread naming, against the real
// HKEY_LOCAL_MACHINE keys of the test prefix. The fixture sets aside whatever the maker key
// holds before a test and puts it back afterwards.
#include "Settings.h"

#include <UniqueHandle.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

const wchar_t kMaker[] = L"SOFTWARE\\ORVEL";
const wchar_t kBackup[] = L"SOFTWARE\\OrvelSettingsTestBackup";

std::string Hex(DWORD v) {
  char b[16];
  snprintf(b, sizeof b, "0x%lx", static_cast<unsigned long>(v));
  return b;
}

constexpr REGSAM kView = reader_settings::kView;  // the keys live where the reader reads them

bool KeyExists(const wchar_t* path) {
  win::UniqueRegKey k;
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | kView, k.put()) == ERROR_SUCCESS;
}

void CreateKey(const wchar_t* path) {
  win::UniqueRegKey k;
  const LONG r =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS | kView, nullptr, k.put(), nullptr);
  ASSERT_EQ(r, ERROR_SUCCESS) << "RegCreateKeyExW failed, error " << r;
}

void SetRaw(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  win::UniqueRegKey k;
  LONG r = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE | kView, k.put());
  ASSERT_EQ(r, ERROR_SUCCESS) << "RegOpenKeyExW failed, error " << r;
  r = RegSetValueExW(k.get(), name, 0, type, static_cast<const BYTE*>(data), size);
  ASSERT_EQ(r, ERROR_SUCCESS) << "RegSetValueExW failed, error " << r;
}

void SetDword(const wchar_t* path, const wchar_t* name, DWORD value) { SetRaw(path, name, REG_DWORD, &value, 4); }

void SetString(const wchar_t* path, const wchar_t* name, const std::wstring& s, DWORD type = REG_SZ) {
  SetRaw(path, name, type, s.c_str(), static_cast<DWORD>((s.size() + 1) * sizeof(wchar_t)));
}

void DeleteValue(const wchar_t* path, const wchar_t* name) {
  win::UniqueRegKey k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_SET_VALUE | kView, k.put()) == ERROR_SUCCESS)
    RegDeleteValueW(k.get(), name);
}

struct RawValue {
  LONG status = ERROR_FILE_NOT_FOUND;
  DWORD type = 0;
  std::vector<BYTE> data;
};

RawValue GetRaw(const wchar_t* path, const wchar_t* name) {
  RawValue v;
  win::UniqueRegKey k;
  v.status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | kView, k.put());
  if (v.status != ERROR_SUCCESS) return v;
  DWORD size = 0;
  v.status = RegQueryValueExW(k.get(), name, nullptr, &v.type, nullptr, &size);
  if (v.status != ERROR_SUCCESS) return v;
  v.data.resize(size);
  v.status = RegQueryValueExW(k.get(), name, nullptr, &v.type, v.data.data(), &size);
  v.data.resize(size);
  return v;
}

// Deletes HKLM\SOFTWARE\<name> and everything under it, in the reader's view.
void DeleteTree(const wchar_t* path) {
  const std::wstring full(path);
  const size_t slash = full.rfind(L'\\');
  const std::wstring parent = full.substr(0, slash), name = full.substr(slash + 1);
  win::UniqueRegKey p;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parent.c_str(), 0, KEY_ALL_ACCESS | kView, p.put()) != ERROR_SUCCESS) return;
  win::UniqueRegKey k;
  if (RegOpenKeyExW(p.get(), name.c_str(), 0, KEY_ALL_ACCESS | kView, k.put()) != ERROR_SUCCESS) return;
  RegDeleteTreeW(k.get(), nullptr);
  const LONG r = RegDeleteKeyExW(p.get(), name.c_str(), kView, 0);
  EXPECT_EQ(r, ERROR_SUCCESS) << "RegDeleteKeyExW failed, error " << r;
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_hadMaker = KeyExists(kMaker);
    if (m_hadMaker) {
      DeleteTree(kBackup);
      CreateKey(kBackup);
      win::UniqueRegKey src, dst;
      ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMaker, 0, KEY_READ | kView, src.put()), ERROR_SUCCESS);
      ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBackup, 0, KEY_ALL_ACCESS | kView, dst.put()), ERROR_SUCCESS);
      const LONG r = RegCopyTreeW(src.get(), nullptr, dst.get());
      ASSERT_EQ(r, ERROR_SUCCESS) << "RegCopyTreeW failed, error " << r;
    }
    DeleteTree(kMaker);
    ASSERT_FALSE(KeyExists(kMaker));
    reader_settings::ForgetDiagnosticModeForTest();
  }
  void TearDown() override {
    DeleteTree(kMaker);
    if (m_hadMaker) {
      CreateKey(kMaker);
      win::UniqueRegKey src, dst;
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kBackup, 0, KEY_READ | kView, src.put());
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kMaker, 0, KEY_ALL_ACCESS | kView, dst.put());
      EXPECT_EQ(RegCopyTreeW(src.get(), nullptr, dst.get()), ERROR_SUCCESS);
      DeleteTree(kBackup);
    }
    reader_settings::ForgetDiagnosticModeForTest();
  }
  void MakeAppKey() { CreateKey(reader_settings::kAppKey); }
  bool m_hadMaker = false;
};

// ---------------------------------------------------------------------------------------------
TEST_F(SettingsTest, MissingKeysReadAsMissingAndWritesCreateNothing) {
  EXPECT_EQ(ReadAppDword(L"cur_volume"), -1);
  DWORD v = 123;
  EXPECT_FALSE(GetAppDwordValue(L"wait", v));
  EXPECT_EQ(v, 123u);
  std::wstring s = L"kept";
  EXPECT_FALSE(GetRegStringValue(reader_settings::kMakerKey, s, L"language"));
  EXPECT_EQ(s, L"kept");
  EXPECT_FALSE(ReadFoldState());
  int x = 1, y = 2;
  EXPECT_FALSE(ReadWindowPos(x, y));
  EXPECT_TRUE(IsFirstRun());
  EXPECT_EQ(ReadCurrentVoice(), -1);
  EXPECT_FALSE(IsDiagnosticMode());

  WriteAppDword(L"cur_volume", 50);
  WriteFoldState(TRUE);
  WriteWindowPos(10, 20);
  WriteFirstRunDone();
  WriteCurrentVoice(2);
  EXPECT_FALSE(KeyExists(reader_settings::kAppKey)) << "a write created the application key";
  EXPECT_FALSE(KeyExists(kMaker)) << "a write created the maker key";
}

TEST_F(SettingsTest, DwordValuesNeedTypeAndSize) {
  MakeAppKey();
  const wchar_t* app = reader_settings::kAppKey;
  const DWORD dw = 55;
  const BYTE eight[8] = {55};
  struct Case {
    const char* what;
    DWORD type;
    const void* data;
    DWORD size;
    int expected;
  } cases[] = {
      {"REG_DWORD", REG_DWORD, &dw, 4, 55},
      {"REG_BINARY of 4 bytes", REG_BINARY, &dw, 4, -1},
      {"REG_SZ", REG_SZ, L"55", 6, -1},
      {"REG_DWORD of 2 bytes", REG_DWORD, &dw, 2, -1},
      {"REG_DWORD of 8 bytes", REG_DWORD, eight, 8, -1},
  };
  for (const Case& c : cases) {
    SetRaw(app, L"cur_speed", c.type, c.data, c.size);
    EXPECT_EQ(ReadAppDword(L"cur_speed"), c.expected) << c.what;
    DWORD out = 7;
    EXPECT_EQ(GetAppDwordValue(L"cur_speed", out), c.expected != -1) << c.what;
    EXPECT_EQ(out, c.expected != -1 ? static_cast<DWORD>(c.expected) : 7u) << c.what;
  }
  DeleteValue(app, L"cur_speed");
  EXPECT_EQ(ReadAppDword(L"cur_speed"), -1);

  WriteAppDword(L"cur_volume", 80);
  RawValue raw = GetRaw(app, L"cur_volume");
  EXPECT_EQ(raw.status, ERROR_SUCCESS);
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(raw.data, (std::vector<BYTE>{80, 0, 0, 0}));
  EXPECT_EQ(ReadAppDword(L"cur_volume"), 80);

  WriteCurrentVoice(-1);
  EXPECT_EQ(ReadCurrentVoice(), -1);
  EXPECT_EQ(GetRaw(app, L"cur_voice").data, (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}));
  WriteCurrentVoice(3);
  EXPECT_EQ(ReadCurrentVoice(), 3);
}

TEST_F(SettingsTest, StringValuesHaveStrictSizeRules) {
  MakeAppKey();
  const wchar_t* app = reader_settings::kAppKey;
  const std::wstring max127(127, L'a');
  const std::wstring over128(128, L'b');
  const wchar_t noTerminator[] = {L'a', L'b'};
  const BYTE odd[] = {'a', 0, 'b', 0, 0};
  const DWORD dw = 1;
  struct Case {
    const char* what;
    DWORD type;
    const void* data;
    DWORD size;
    bool ok;
    std::wstring expected;
  } cases[] = {
      {"REG_SZ", REG_SZ, L"Polish", 14, true, L"Polish"},
      {"REG_EXPAND_SZ stays unexpanded", REG_EXPAND_SZ, L"%TEMP%", 14, true, L"%TEMP%"},
      {"empty REG_SZ", REG_SZ, L"", 2, true, L""},
      {"127 characters and terminator", REG_SZ, max127.c_str(), 256, true, max127},
      {"128 characters and terminator", REG_SZ, over128.c_str(), 258, false, L"kept"},
      {"no terminator", REG_SZ, noTerminator, 4, false, L"kept"},
      {"odd byte count", REG_SZ, odd, 5, false, L"kept"},
      {"zero bytes", REG_SZ, L"", 0, false, L"kept"},
      {"REG_DWORD", REG_DWORD, &dw, 4, false, L"kept"},
      {"REG_MULTI_SZ", REG_MULTI_SZ, L"a\0", 6, false, L"kept"},
  };
  for (const Case& c : cases) {
    SetRaw(app, L"notepad_default_txt", c.type, c.data, c.size);
    std::wstring text = L"kept";
    EXPECT_EQ(GetRegStringValue(app, text, L"notepad_default_txt"), c.ok ? TRUE : FALSE) << c.what;
    EXPECT_EQ(text, c.expected) << c.what;
  }
  CString cs(L"kept");
  SetString(app, L"language", L"German");
  EXPECT_TRUE(GetRegStringValue(app, cs, L"language"));
  EXPECT_STREQ(cs, L"German");
  EXPECT_FALSE(GetRegStringValue(app, cs, L"no such value"));
  EXPECT_STREQ(cs, L"German");
  // Any HKLM key can be read, the maker key by either spelling.
  SetString(kMaker, L"language", L"Polish");
  EXPECT_TRUE(GetRegStringValue(L"Software\\ORVEL", cs, L"language"));
  EXPECT_STREQ(cs, L"Polish");
}

TEST_F(SettingsTest, WindowPositionNeedsTwoFourByteBinaries) {
  MakeAppKey();
  const wchar_t* app = reader_settings::kAppKey;
  WriteWindowPos(-5, 1200);
  RawValue raw = GetRaw(app, L"posx");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(raw.data, (std::vector<BYTE>{0xFB, 0xFF, 0xFF, 0xFF}));
  int x = 0, y = 0;
  ASSERT_TRUE(ReadWindowPos(x, y));
  EXPECT_EQ(x, -5);
  EXPECT_EQ(y, 1200);

  const DWORD dw = 7;
  const BYTE three[3] = {1, 2, 3};
  struct Case {
    const char* what;
    DWORD type;
    const void* data;
    DWORD size;
  } broken[] = {
      {"REG_DWORD", REG_DWORD, &dw, 4},
      {"3 bytes", REG_BINARY, three, 3},
  };
  for (const Case& c : broken) {
    WriteWindowPos(1, 2);
    SetRaw(app, L"posx", c.type, c.data, c.size);
    x = y = 99;
    EXPECT_FALSE(ReadWindowPos(x, y)) << "posx as " << c.what;
    EXPECT_EQ(x, 99) << "posx as " << c.what;
    EXPECT_EQ(y, 99) << "posx as " << c.what;
  }
  WriteWindowPos(1, 2);
  DeleteValue(app, L"posy");
  EXPECT_FALSE(ReadWindowPos(x, y));
}

TEST_F(SettingsTest, FoldAndFirstRun) {
  MakeAppKey();
  const wchar_t* app = reader_settings::kAppKey;
  struct Case {
    DWORD value;
    BOOL folded;
  } folds[] = {{0, FALSE}, {1, TRUE}, {2, TRUE}};
  for (const Case& c : folds) {
    SetDword(app, L"fold", c.value);
    EXPECT_EQ(ReadFoldState(), c.folded) << "fold " << c.value;
  }
  SetString(app, L"fold", L"1");
  EXPECT_FALSE(ReadFoldState());
  WriteFoldState(TRUE);
  EXPECT_EQ(GetRaw(app, L"fold").data, (std::vector<BYTE>{1, 0, 0, 0}));
  WriteFoldState(FALSE);
  EXPECT_EQ(GetRaw(app, L"fold").data, (std::vector<BYTE>{0, 0, 0, 0}));

  EXPECT_TRUE(IsFirstRun());
  for (DWORD value : {0u, 1u, 12345u}) {
    SetDword(app, L"first", value);
    EXPECT_FALSE(IsFirstRun()) << "first = " << value;
  }
  SetString(app, L"first", L"0");
  EXPECT_TRUE(IsFirstRun()) << "a REG_SZ \"first\" does not count";
  WriteFirstRunDone();
  RawValue raw = GetRaw(app, L"first");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(raw.data, (std::vector<BYTE>{0, 0, 0, 0}));
  EXPECT_FALSE(IsFirstRun());
}

TEST_F(SettingsTest, DiagnosticSwitchIsReadOnce) {
  CreateKey(kMaker);
  SetDword(kMaker, L"diagnostic", 1);
  EXPECT_TRUE(IsDiagnosticMode());
  SetDword(kMaker, L"diagnostic", 0);
  EXPECT_TRUE(IsDiagnosticMode()) << "a change while running takes effect at the next start";
  struct Case {
    const char* what;
    DWORD type;
    DWORD value;
    BOOL expected;
  } cases[] = {{"1", REG_DWORD, 1, TRUE},
               {"0", REG_DWORD, 0, FALSE},
               {"2", REG_DWORD, 2, FALSE},
               {"REG_BINARY 1", REG_BINARY, 1, FALSE}};
  for (const Case& c : cases) {
    SetRaw(kMaker, L"diagnostic", c.type, &c.value, 4);
    reader_settings::ForgetDiagnosticModeForTest();
    EXPECT_EQ(IsDiagnosticMode(), c.expected) << c.what;
  }
}

TEST_F(SettingsTest, ReadsTheThirtyTwoBitView) {
  // A value written in the 64-bit view only must stay invisible (where the two views are one,
  // as on 32-bit Windows, there is nothing to tell apart).
  auto exists64 = [](const wchar_t* path) {
    win::UniqueRegKey k;
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, k.put()) == ERROR_SUCCESS;
  };
  const bool hadMaker64 = exists64(L"SOFTWARE\\Orvel");
  const bool hadApp64 = exists64(reader_settings::kAppKey);
  const wchar_t kProbe[] = L"view_probe";
  {
    win::UniqueRegKey k64;
    LONG r = RegCreateKeyExW(HKEY_LOCAL_MACHINE, reader_settings::kAppKey, 0, nullptr, 0,
                             KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, k64.put(), nullptr);
    ASSERT_EQ(r, ERROR_SUCCESS) << "error " << r;
    const DWORD value = 9;
    r = RegSetValueExW(k64.get(), kProbe, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    ASSERT_EQ(r, ERROR_SUCCESS) << "error " << r;
  }
  const bool separateViews = !KeyExists(reader_settings::kAppKey);
  if (separateViews) {
    DWORD out = 0;
    EXPECT_FALSE(GetAppDwordValue(kProbe, out)) << "read the 64-bit view";
    MakeAppKey();
    SetDword(reader_settings::kAppKey, kProbe, 1500);
    EXPECT_TRUE(GetAppDwordValue(kProbe, out));
    EXPECT_EQ(out, 1500u);
    // Put the 64-bit view back as it was.
    win::UniqueRegKey software;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, software.put()),
              ERROR_SUCCESS);
    if (!hadApp64) {
      EXPECT_EQ(RegDeleteKeyExW(software.get(), L"Orvel\\Orvel Murmelin", KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
    } else {
      win::UniqueRegKey k64;
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, reader_settings::kAppKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, k64.put());
      RegDeleteValueW(k64.get(), kProbe);
    }
    if (!hadMaker64) {
      EXPECT_EQ(RegDeleteKeyExW(software.get(), L"Orvel", KEY_WOW64_64KEY, 0), ERROR_SUCCESS);
    }
  } else {
    GTEST_SKIP() << "one registry view only";
  }
}

// ---------------------------------------------------------------------------------------------
// Read hot key: registered on the dialog's window with id 42 and the stored modifiers.
class HotKeyTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    m_dialog = MakeWindow();
    m_other = MakeWindow();
    m_cfg.m_bHotKeyRegistered = false;
  }
  void TearDown() override {
    UnregisterHotKey(m_dialog, READ_HOTKEY_ID);
    UnregisterHotKey(m_other, 1);
    DestroyWindow(m_dialog);
    DestroyWindow(m_other);
    CCfgData::Instance().m_bHotKeyRegistered = false;
    SettingsTest::TearDown();
  }
  static HWND MakeWindow() {
    HWND h = CreateWindowExW(0, L"STATIC", L"hotkey", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(h, nullptr) << "CreateWindowExW failed, error " << GetLastError();
    return h;
  }
  void StoreHotKey(DWORD alt, DWORD ctrl, DWORD shift, DWORD key) {
    CreateKey(reader_settings::kHotKeyKey);
    SetDword(reader_settings::kHotKeyKey, L"alt", alt);
    SetDword(reader_settings::kHotKeyKey, L"ctrl", ctrl);
    SetDword(reader_settings::kHotKeyKey, L"shift", shift);
    SetDword(reader_settings::kHotKeyKey, L"key_code", key);
  }
  // True when the combination is free: another window can take it (and gives it back).
  bool IsFree(UINT modifiers, UINT key) {
    if (!RegisterHotKey(m_other, 1, modifiers, key)) return false;
    UnregisterHotKey(m_other, 1);
    return true;
  }
  // Reading only; this fixture's flag stands in for the singleton.
  CCfgData& m_cfg = CCfgData::Instance();
  HWND m_dialog = nullptr;
  HWND m_other = nullptr;
};

TEST_F(HotKeyTest, NothingWithoutCompleteSubkey) {
  RegisterReadHotKey(m_cfg, m_dialog);
  EXPECT_FALSE(m_cfg.m_bHotKeyRegistered) << "no subkey";
  for (const wchar_t* missing : {L"alt", L"ctrl", L"shift", L"key_code"}) {
    StoreHotKey(0, 1, 0, VK_F8);
    DeleteValue(reader_settings::kHotKeyKey, missing);
    RegisterReadHotKey(m_cfg, m_dialog);
    EXPECT_FALSE(m_cfg.m_bHotKeyRegistered) << "without \"" << testing::PrintToString(std::wstring(missing)) << "\"";
    EXPECT_TRUE(IsFree(MOD_CONTROL, VK_F8));
  }
  StoreHotKey(0, 1, 0, VK_F8);
  SetString(reader_settings::kHotKeyKey, L"ctrl", L"1");
  RegisterReadHotKey(m_cfg, m_dialog);
  EXPECT_FALSE(m_cfg.m_bHotKeyRegistered) << "\"ctrl\" as REG_SZ";
  EXPECT_FALSE(UnregisterHotKey(m_dialog, READ_HOTKEY_ID));
}

TEST_F(HotKeyTest, ModifiersFromTheStoredFlags) {
  struct Case {
    DWORD alt, ctrl, shift;
    UINT modifiers;
  } cases[] = {
      {0, 0, 0, MOD_CONTROL},  // none given: Ctrl
      {1, 0, 0, MOD_ALT},
      {1, 0, 1, MOD_ALT | MOD_SHIFT},
      {0, 1, 1, MOD_CONTROL | MOD_SHIFT},
      {1, 1, 1, MOD_ALT | MOD_CONTROL | MOD_SHIFT},
      {2, 0, 1, MOD_SHIFT},  // only 1 counts
      {2, 2, 2, MOD_CONTROL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "alt " << c.alt << " ctrl " << c.ctrl << " shift " << c.shift);
    m_cfg.m_bHotKeyRegistered = false;
    StoreHotKey(c.alt, c.ctrl, c.shift, VK_F9);
    RegisterReadHotKey(m_cfg, m_dialog);
    EXPECT_TRUE(m_cfg.m_bHotKeyRegistered);
    EXPECT_FALSE(IsFree(c.modifiers, VK_F9)) << "modifiers " << Hex(c.modifiers) << " not taken";
    // Nothing else was taken.
    for (UINT other : {static_cast<UINT>(MOD_ALT), static_cast<UINT>(MOD_CONTROL), static_cast<UINT>(MOD_SHIFT),
                       static_cast<UINT>(MOD_ALT | MOD_CONTROL)}) {
      if (other != c.modifiers) {
        EXPECT_TRUE(IsFree(other, VK_F9)) << "modifiers " << Hex(other) << " taken too";
      }
    }
    UnregisterReadHotKey(m_cfg, m_dialog);
    EXPECT_FALSE(m_cfg.m_bHotKeyRegistered);
    EXPECT_TRUE(IsFree(c.modifiers, VK_F9)) << "teardown did not release the key";
  }
}

TEST_F(HotKeyTest, FlagIsSetWhenTheSystemRefusesAndRegistrationHappensOnce) {
  StoreHotKey(0, 1, 1, VK_F10);
  ASSERT_TRUE(RegisterHotKey(m_other, 1, MOD_CONTROL | MOD_SHIFT, VK_F10)) << "error " << GetLastError();
  RegisterReadHotKey(m_cfg, m_dialog);
  EXPECT_TRUE(m_cfg.m_bHotKeyRegistered) << "the flag is set even when the combination is taken";
  EXPECT_FALSE(UnregisterHotKey(m_dialog, READ_HOTKEY_ID)) << "the dialog cannot hold a taken combination";
  UnregisterHotKey(m_other, 1);

  // Once the flag is set, nothing more is registered.
  RegisterReadHotKey(m_cfg, m_dialog);
  EXPECT_TRUE(IsFree(MOD_CONTROL | MOD_SHIFT, VK_F10));
  m_cfg.m_bHotKeyRegistered = false;
  RegisterReadHotKey(m_cfg, m_dialog);
  EXPECT_TRUE(UnregisterHotKey(m_dialog, READ_HOTKEY_ID)) << "hot key id 42 on the dialog's window";
  m_cfg.m_bHotKeyRegistered = false;
  UnregisterReadHotKey(m_cfg, m_dialog);  // flag clear: unregisters nothing
  EXPECT_FALSE(m_cfg.m_bHotKeyRegistered);
}

// ---------------------------------------------------------------------------------------------
// Thread naming returns normally and never reaches the unhandled-exception filter or the
// vectored handlers after ours.
std::atomic<int> g_filterCalls{0};
std::atomic<int> g_laterHandlerCalls{0};

LONG WINAPI FlaggingFilter(EXCEPTION_POINTERS*) {
  ++g_filterCalls;
  return EXCEPTION_CONTINUE_EXECUTION;
}

LONG CALLBACK LaterHandler(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode == 0x406D1388) ++g_laterHandlerCalls;
  return EXCEPTION_CONTINUE_SEARCH;
}

UINT AFX_CDECL NameFromWorker(LPVOID) {
  SetThreadName(static_cast<DWORD>(-1), "VoiceCleanupThread");
  SetThreadNameF(static_cast<DWORD>(-1), "CTTS_SAPI5 (%d)", 3);
  return 7;
}

TEST(ThreadName, ReturnsNormallyWithoutReachingFilters) {
  g_filterCalls = 0;
  g_laterHandlerCalls = 0;
  LPTOP_LEVEL_EXCEPTION_FILTER previous = SetUnhandledExceptionFilter(&FlaggingFilter);
  PVOID later = AddVectoredExceptionHandler(0, &LaterHandler);
  ASSERT_NE(later, nullptr);

  SetThreadName(static_cast<DWORD>(-1), "MAIN");
  SetThreadName(GetCurrentThreadId(), "CThSpeechControl");
  SetThreadName(static_cast<DWORD>(-1), nullptr);
  const std::string longFormat(600, 'x');
  SetThreadNameF(static_cast<DWORD>(-1), "%s-%d", longFormat.c_str(), 12);

  // Started suspended: a worker that ended before m_bAutoDelete was cleared would take its
  // object and handle with it.
  CWinThread* worker = AfxBeginThread(&NameFromWorker, nullptr, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  ASSERT_NE(worker, nullptr);
  worker->m_bAutoDelete = FALSE;
  worker->ResumeThread();
  ASSERT_EQ(WaitForSingleObject(worker->m_hThread, 60000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(worker->m_hThread, &code);
  EXPECT_EQ(code, 7u) << "the worker did not return normally";
  delete worker;

  RemoveVectoredExceptionHandler(later);
  SetUnhandledExceptionFilter(previous);
  EXPECT_EQ(g_filterCalls.load(), 0) << "the unhandled-exception filter was reached";
  EXPECT_EQ(g_laterHandlerCalls.load(), 0) << "the naming exception went on past our handler";
}

}  // namespace
