// GWPlugin.dll: the seven exports an NSIS installer calls (cdecl, undecorated names through
// GWPlugin.def). DllMain does nothing but decline thread notifications: the application
// object, GDI+ and the hidden window start on the first export call and end in the host's
// unload callback, never under the loader lock.
#include <Exports.h>

#include <windows.h>

#define GWPLUGIN_FORWARD(name)                                                                                    \
  extern "C" __declspec(dllexport) void __cdecl name(HWND parent, int string_size, WCHAR* variables,              \
                                                     nsis::StackEntry** stacktop, nsis::ExtraParameters* extra) { \
    gwplugin::name(parent, string_size, variables, stacktop, extra);                                              \
  }

GWPLUGIN_FORWARD(Configuration)
GWPLUGIN_FORWARD(Initialize)
GWPLUGIN_FORWARD(CheckReady)
GWPLUGIN_FORWARD(HasBuiltInProducts)
GWPLUGIN_FORWARD(ShowFlagsDialog)
GWPLUGIN_FORWARD(ShowComponentsDialog)
GWPLUGIN_FORWARD(ShowInstallDialog)

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
