/* A resource-only product data file for the tests: the code does nothing, the version
   resource (datafile_*.rc) is what the plug-in reads. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
