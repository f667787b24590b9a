// Opening what a hot link names: the browser for addresses, and resource-only modules for
// pictures named by markup.
#pragma once

#include <UniqueHandle.h>
#include <windows.h>

#include <string>

namespace htmlctrl {

// Maps a module for its resources only (none of its code runs); null on failure.
HMODULE LoadResourceOnlyModule(const std::wstring& path);

// The longest default value ReadDefaultValue takes, terminator included.
constexpr DWORD kMaxDefaultValueChars = 32768;

// The default value of a key under root (REG_SZ or REG_EXPAND_SZ, of any length up to
// kMaxDefaultValueChars); false when it is missing, empty, too long or stored without its
// terminator.
bool ReadDefaultValue(HKEY root, const std::wstring& subkey, std::wstring& value);

// The command line of the default HTML handler: the class named by ".htm" under
// classes_root, and that class's "shell\open\command".
bool GetHtmlOpenCommand(HKEY classes_root, std::wstring& command);

// The handler's command cut at its first "\"%1\"" (or "%1"), a space and the address in
// double quotes. False for an address that quoting cannot keep in one argument (empty, or
// holding a double quote or a control character).
bool BuildBrowserCommandLine(const std::wstring& command, const std::wstring& address, std::wstring& line);

// The hand cursor of links: the system's, or when it has none cursor 106 of the Windows
// folder's winhlp32.exe, copied. A copy goes with the object; the system's shared cursor is
// never destroyed.
class HandCursor {
 public:
  HandCursor();
  HandCursor(const HandCursor&) = delete;
  HandCursor& operator=(const HandCursor&) = delete;
  // Null when neither could be loaded.
  HCURSOR get() const { return m_copy ? m_copy.get() : m_shared; }

 private:
  HCURSOR m_shared = nullptr;
  win::UniqueCursor m_copy;
};

// ShellExecute "open" of the address; when that fails, the default HTML handler run with
// the address. Gives the ShellExecute result (or the handler's WinExec result).
LRESULT OpenHyperlink(const std::wstring& address, HKEY classes_root);

}  // namespace htmlctrl
