// The task log: what the install queue is about to install, written for support into
// "gw_log.txt" in the user's temporary folder when the machine asks for it (the "log"
// switch of the plug-in's registry key).
//
// The file is UTF-16LE text, appended to; a new (or empty) file starts with the byte-order
// mark, and every "\n" is written as CR LF, as the C runtime's UTF-16 text mode writes them.
// Used on one thread at a time (the NSIS thread).
#pragma once

#include <UniqueHandle.h>
#include "Products.h"

#include <cstdint>
#include <ctime>
#include <string>

namespace gwplugin {

class InstallTaskLog {
 public:
  static constexpr const wchar_t* kFileName = L"gw_log.txt";

  InstallTaskLog() = default;
  ~InstallTaskLog() = default;
  InstallTaskLog(const InstallTaskLog&) = delete;
  InstallTaskLog& operator=(const InstallTaskLog&) = delete;

  // Opens (creating when missing) the temporary folder's "gw_log.txt" for appending. True
  // when the file is open (also when it already was); false when the temporary folder
  // cannot be had or the file cannot be opened (nothing is written then).
  bool Open();
  // The same for a file of the caller's choice.
  bool Open(const std::wstring& path);
  bool IsOpen() const { return static_cast<bool>(m_file); }
  void Close() { m_file.reset(); }

  // One block: the BEGIN line, each product in the given order, the END line.
  bool WriteTasks(const orv_products::ProductList& products);
  // One line about a product whose installation failed, with the time and the reason.
  bool WriteFailure(const orv_products::CProd& product, const std::wstring& reason);
  // Appends text ("\n" becomes CR LF). False when the file is not open or a write fails.
  bool Write(const std::wstring& text);

  // The Windows error of the last failed open or write (0 when none).
  DWORD LastError() const { return m_lastError; }

 private:
  win::UniqueFile m_file;
  DWORD m_lastError = 0;
};

// The local time of t formatted as "(%H:%M:%S/%d.%m)"; empty when the conversion fails.
std::wstring FormatLogTime(std::time_t t);

// The names of the set state bits, each followed by a blank, in the log's order:
// PS_INSTALL, PS_INSTALL_CHECK, PS_DOWNLOAD, PS_UPGRADE, PS_UPDATE, PS_DISABLED,
// PS_NOT_AVAILABLE, PS_REINSTALL.
std::wstring FormatStateNames(std::uint32_t state);

}  // namespace gwplugin
