// RunExport's body (a template, so test exports can use it too).
#pragma once

#include "NsisStack.h"
#include "PluginApp.h"
#include "TestHooks.h"

#include <afx.h>

namespace gwplugin {

// Registers the unload callback once, where the host supports it.
void RegisterUnloadCallback(nsis::ExtraParameters* extra);
// The host has called the callback (or the object was ended otherwise): register anew.
void ForgetUnloadCallback();

template <typename Body>
void RunExport(const char* name, int string_size, WCHAR* variables, nsis::StackEntry** stacktop,
               nsis::ExtraParameters* extra, const wchar_t* failure_push, Body body) {
  // Test builds trace where each call is entered and left (TestHooks.h); shipped ones do nothing.
  testhooks::ExportScope traced(name);
  try {
    NsisEnterCall(string_size, variables, stacktop, extra);
    RegisterUnloadCallback(extra);
    CGWPluginApp& app = ThePluginApp();
    if (!app.EnsureStarted()) {
      if (failure_push) NsisPushString(failure_push);
      return;
    }
    body(app);
    return;
  } catch (...) {
    // Reports the exception (and deletes a CException) where the debugger output shows it.
    AfxReportCaughtException(name);
  }
  if (failure_push) NsisPushString(failure_push);
}

}  // namespace gwplugin
