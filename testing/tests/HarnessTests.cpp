// Checks that the test environment itself is what every other test assumes:
// a native process of the build's word size, a display for real windows, and a writable HKLM.
#include <windows.h>
#include <gtest/gtest.h>

TEST(Harness, RunsAsNativeProcessOfItsBuild) {
#ifdef _WIN64
  EXPECT_EQ(8u, sizeof(void*));
#else
  EXPECT_EQ(4u, sizeof(void*));
#endif
  BOOL wow64 = TRUE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64)) << "GetLastError " << GetLastError();
#ifdef _WIN64
  EXPECT_FALSE(wow64);
#endif
}

TEST(Harness, CanCreateAndShowAWindow) {
  HWND hwnd = CreateWindowExW(0, L"STATIC", L"harness", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200, 100, nullptr,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, hwnd) << "GetLastError " << GetLastError();
  EXPECT_TRUE(IsWindowVisible(hwnd));
  RECT rc{};
  EXPECT_TRUE(GetWindowRect(hwnd, &rc));
  EXPECT_EQ(200, rc.right - rc.left);
  DestroyWindow(hwnd);
}

TEST(Harness, LocalMachineRegistryIsWritable) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvelHarnessTest", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr);
  ASSERT_EQ(ERROR_SUCCESS, rc) << std::hex << rc;
  DWORD value = 0x12345678, back = 0, size = sizeof(back), type = 0;
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof(value)));
  EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, L"v", nullptr, &type, reinterpret_cast<BYTE*>(&back), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(value, back);
  RegCloseKey(key);
  EXPECT_EQ(ERROR_SUCCESS, RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\OrvelHarnessTest"));
}
