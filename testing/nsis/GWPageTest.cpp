// GWPageTest.dll: exports for end-to-end tests inside a real NSIS installer.
//   ShowTestPage: pops the page's initial value and the name of the event to set once the page
//                 is up, hosts the test page in the NSIS window as the
//                 product pages are hosted, and pushes what RunPage and the page push.
//   Echo:         pops a text and pushes it twice over (to see a text longer than the string
//                 size arrive cut).
//   EventCreate:  pops the name of a manual-reset event and creates it (kept open), before
//                 anything can set it.
//   EventWait:    pops a time-out in milliseconds, waits on that event without dispatching
//                 messages (the script's thread is busy, as in a script that does other work)
//                 and pushes "signalled" or "timeout".
#include "TestPage.h"

#include <Exports.h>

#include <windows.h>

#include <string>

namespace {

gwplugin_test::CTestPage& Page() {
  static gwplugin_test::CTestPage page;
  return page;
}

}  // namespace

extern "C" __declspec(dllexport) void __cdecl ShowTestPage(HWND parent, int string_size, WCHAR* variables,
                                                           nsis::StackEntry** stacktop, nsis::ExtraParameters* extra) {
  gwplugin::RunExport("ShowTestPage", string_size, variables, stacktop, extra, L"cancel",
                      [parent](gwplugin::CGWPluginApp& app) {
                        gwplugin::NsisPopString(Page().initialValue);
                        std::wstring event_name;
                        gwplugin::NsisPopString(event_name);
                        // The driver process waits on this event before it presses a button.
                        HANDLE shown = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
                        Page().shownEvent = shown;
                        app.SubclassNsisWindow(parent);
                        app.RunPage(Page(), gwplugin_test::kTestPageTemplate);
                        app.RestoreNsisWindow();
                        Page().shownEvent = nullptr;
                        if (shown) CloseHandle(shown);
                      });
}

extern "C" __declspec(dllexport) void __cdecl Echo(HWND, int string_size, WCHAR* variables, nsis::StackEntry** stacktop,
                                                   nsis::ExtraParameters* extra) {
  gwplugin::RunExport("Echo", string_size, variables, stacktop, extra, nullptr, [](gwplugin::CGWPluginApp&) {
    std::wstring text;
    gwplugin::NsisPopString(text);
    gwplugin::NsisPushString(text + text);
  });
}

namespace {
HANDLE g_event = nullptr;  // the event of EventCreate; closed when the DLL goes
}  // namespace

extern "C" __declspec(dllexport) void __cdecl EventCreate(HWND, int string_size, WCHAR* variables,
                                                          nsis::StackEntry** stacktop, nsis::ExtraParameters* extra) {
  gwplugin::RunExport("EventCreate", string_size, variables, stacktop, extra, nullptr, [](gwplugin::CGWPluginApp&) {
    std::wstring name;
    gwplugin::NsisPopString(name);
    if (g_event) CloseHandle(g_event);
    g_event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
  });
}

extern "C" __declspec(dllexport) void __cdecl EventWait(HWND, int string_size, WCHAR* variables,
                                                        nsis::StackEntry** stacktop, nsis::ExtraParameters* extra) {
  gwplugin::RunExport("EventWait", string_size, variables, stacktop, extra, L"timeout", [](gwplugin::CGWPluginApp&) {
    const int timeout = gwplugin::NsisPopInt();
    const bool signalled = g_event && WaitForSingleObject(g_event, static_cast<DWORD>(timeout)) == WAIT_OBJECT_0;
    gwplugin::NsisPushString(signalled ? L"signalled" : L"timeout");
  });
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  if (reason == DLL_PROCESS_DETACH && g_event) CloseHandle(g_event);
  return TRUE;
}
