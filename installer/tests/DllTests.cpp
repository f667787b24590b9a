// GWPlugin.dll itself: its seven exports by their undecorated names, nothing started while the
// loader runs DllMain, and everything started by the first export ended by the host's unload
// callback before the DLL goes.
#include <FakeNsisHost.h>

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using gwplugin_test::FakeNsisHost;

namespace {

using gwplugin_test::HiddenWindowOfThisThread;

std::wstring PluginPath() {
  // wine-run passes the build folder (a host path); Wine sees it on drive Z:.
  const char* binary_dir = std::getenv("ORV_BINARY_DIR");
  if (!binary_dir) return L"";
  std::wstring path = L"Z:";
  for (const char* p = binary_dir; *p; ++p) path += static_cast<wchar_t>(*p == '/' ? '\\' : *p);
  return path + L"\\plugin\\GWPlugin.dll";
}

TEST(GWPluginDll, StartsOnTheFirstExportAndEndsInTheUnloadCallback) {
  const std::wstring path = PluginPath();
  if (path.empty()) GTEST_SKIP() << "ORV_BINARY_DIR is not set (run through wine-run)";
  HMODULE dll = LoadLibraryW(path.c_str());
  ASSERT_NE(nullptr, dll) << "LoadLibrary error " << GetLastError();
  EXPECT_EQ(nullptr, HiddenWindowOfThisThread()) << "DllMain must not create the hidden window";

  const char* names[] = {"Configuration",   "Initialize",           "CheckReady",       "HasBuiltInProducts",
                         "ShowFlagsDialog", "ShowComponentsDialog", "ShowInstallDialog"};
  for (const char* name : names) EXPECT_NE(nullptr, GetProcAddress(dll, name)) << name;

  auto has_built_in =
      reinterpret_cast<nsis::PluginExport>(reinterpret_cast<void (*)()>(GetProcAddress(dll, "HasBuiltInProducts")));
  ASSERT_NE(nullptr, has_built_in);
  {
    FakeNsisHost host;
    host.Call(has_built_in);
    EXPECT_EQ(std::vector<std::wstring>{L"BUILTIN_NONE"}, host.Stack());
    EXPECT_NE(nullptr, HiddenWindowOfThisThread());
    ASSERT_EQ(1, host.callbackRegistrations);
    ASSERT_NE(nullptr, host.callback);
    EXPECT_EQ(0u, host.callback(nsis::kPluginUnload));
    EXPECT_EQ(nullptr, HiddenWindowOfThisThread()) << "the callback ends the hidden window";
  }
  EXPECT_TRUE(FreeLibrary(dll)) << GetLastError();
}

}  // namespace
