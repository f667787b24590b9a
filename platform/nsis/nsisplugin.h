// The records through which an NSIS installer (Unicode build) talks to a plug-in DLL.
//
// A plug-in export has the signature of NsisPluginExport below and the cdecl calling
// convention with an undecorated name. The host passes the string size (in characters)
// that it was built with; every stack entry and every variable slot holds that many
// characters, terminator included.
#pragma once

#include <windows.h>

namespace nsis {

// One entry of the host's string stack. The text runs past the declared array:
// the host allocates sizeof(StackEntry*) + string_size characters for each entry.
struct StackEntry {
  StackEntry* next;
  WCHAR text[1];
};

// Bytes one stack entry takes for a given string size (the pointer plus the text).
inline SIZE_T StackEntryBytes(int string_size) {
  return sizeof(StackEntry*) + sizeof(WCHAR) * static_cast<SIZE_T>(string_size);
}

// Variable slots: slot n starts at variables + n * string_size.
enum Variable : int {
  kVar0 = 0,  // $0 .. $9 are 0 .. 9, $R0 .. $R9 are 10 .. 19
  kVarR0 = 10,
  kVarCmdLine = 20,   // $CMDLINE
  kVarInstDir = 21,   // $INSTDIR
  kVarOutDir = 22,    // $OUTDIR
  kVarExeDir = 23,    // $EXEDIR
  kVarLanguage = 24,  // $LANGUAGE, a decimal LANGID
  kVarCount = 25,
};

// Execution flags of the running script (the first member of ExtraParameters).
struct ExecFlags {
  int autoclose;
  int all_user_var;
  int exec_error;
  int abort;
  int exec_reboot;
  int reboot_called;
  int cur_insttype;
  int plugin_api_version;  // kPluginApiVersion1 or later when the fields below exist
  int silent;
  int instdir_error;
  int rtl;
  int errlvl;
  int alter_reg_view;
  int status_update;
};

// The first plug-in API version whose hosts have RegisterPluginCallback.
constexpr int kPluginApiVersion1 = 0x00010000;

// Messages of the plug-in callback.
enum PluginMessage : int {
  kPluginUnload = 0,     // the host is about to free the DLL (end of the installer)
  kPluginGuiUnload = 1,  // the installer's window is about to go away
};

typedef UINT_PTR(__cdecl* PluginCallback)(PluginMessage message);

// The fifth argument of every export.
struct ExtraParameters {
  ExecFlags* exec_flags;
  // Runs the script function whose address the script passed, minus 1.
  int(__stdcall* ExecuteCodeSegment)(int address, HWND parent);
  void(__stdcall* validate_filename)(WCHAR* name);
  // Keeps the DLL loaded until the installer ends and calls the callback then.
  // 0 when registered, 1 when it already was, negative on failure.
  int(__stdcall* RegisterPluginCallback)(HMODULE module, PluginCallback callback);
};

// Signature of an exported plug-in function (cdecl, undecorated name).
typedef void(__cdecl* PluginExport)(HWND parent, int string_size, WCHAR* variables, StackEntry** stacktop,
                                    ExtraParameters* extra);

// Messages and controls of the installer window.
constexpr UINT kWmNotifyOuterNext = WM_USER + 0x8;    // 1032; wParam 1 next, -1 back, 120 cancel
constexpr UINT kWmNotifyCustomReady = WM_USER + 0xd;  // 1037; wParam: the custom page window
constexpr int kOuterNext = 1;
constexpr int kOuterBack = -1;
constexpr int kOuterCancel = 120;
constexpr int kIdNext = 1;
constexpr int kIdCancel = 2;
constexpr int kIdBack = 3;
constexpr int kIdPageFrame = 1018;

}  // namespace nsis
