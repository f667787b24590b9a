// The plug-in's exported functions, as callable code: the DLL's undecorated cdecl exports
// forward here, and tests call these directly as a host would.
//
// Each one keeps what the host passed, starts the application object on the first call,
// pops its arguments and pushes its results. No exception leaves them: a failure pushes what
// the function pushes when there is nothing to offer ("NO_DATA", "BUILTIN_NONE", "cancel").
#pragma once

#include <nsisplugin.h>

namespace gwplugin {

#define GWPLUGIN_EXPORT_ARGS \
  HWND parent, int string_size, WCHAR *variables, nsis::StackEntry **stacktop, nsis::ExtraParameters *extra

void Configuration(GWPLUGIN_EXPORT_ARGS);
void Initialize(GWPLUGIN_EXPORT_ARGS);
void CheckReady(GWPLUGIN_EXPORT_ARGS);
void HasBuiltInProducts(GWPLUGIN_EXPORT_ARGS);
void ShowFlagsDialog(GWPLUGIN_EXPORT_ARGS);
void ShowComponentsDialog(GWPLUGIN_EXPORT_ARGS);
void ShowInstallDialog(GWPLUGIN_EXPORT_ARGS);

// Runs body as an export: stores the host's values, starts the application object, and
// turns any exception into failure_push (nothing pushed when null).
template <typename Body>
void RunExport(const char* name, int string_size, WCHAR* variables, nsis::StackEntry** stacktop,
               nsis::ExtraParameters* extra, const wchar_t* failure_push, Body body);

// The host's unload callback: ends the application object before the DLL is freed.
UINT_PTR __cdecl PluginUnloadCallback(nsis::PluginMessage message);

}  // namespace gwplugin

#include "ExportsImpl.h"
