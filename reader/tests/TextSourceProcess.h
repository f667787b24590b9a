// The tests' text source (orv_text_source.exe) as a running process: a window whose edit
// control holds text_source::kSelection selected. Closed (and, failing that, ended) when the
// object goes.
#pragma once

#include <windows.h>

#include <string>

namespace reader_test {

class TextSource {
 public:
  // mode: "text", "image" or "none" (see TextSource.h).
  explicit TextSource(const wchar_t* mode);
  ~TextSource();
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  // Pumps this thread's messages until the source's edit control has the focus and a reader
  // dialog's focus hook has seen it (CSelReaderDlg::LastFocusWnd); false after boundMs.
  bool WaitFocused(DWORD boundMs = 30000);

 private:
  std::wstring m_title;
  PROCESS_INFORMATION m_process{};
  HWND m_main = nullptr;
  HWND m_edit = nullptr;
};

}  // namespace reader_test
