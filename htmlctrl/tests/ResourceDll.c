/* A module that tells when its code runs: the HTML drawer must map it for its pictures only. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) SetEnvironmentVariableW(L"ORV_HTML_RESOURCE_DLL_RAN", L"1");
  return TRUE;
}
