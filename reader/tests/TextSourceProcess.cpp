#include "TextSourceProcess.h"

#include <gtest/gtest.h>

#include <vector>

#include "ReaderTestSupport.h"
#include "SelReaderDlg.h"

namespace reader_test {

TextSource::TextSource(const wchar_t* mode) {
  m_title = L"orv text source " + std::to_wstring(GetCurrentProcessId());
  std::wstring command = L"\"" + TestFolder() + L"orv_text_source.exe\" " + mode + L" \"" + m_title + L"\"";
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_process))
    ADD_FAILURE() << "text source did not start, error " << GetLastError();
}

TextSource::~TextSource() {
  if (!m_process.hProcess) return;
  if (m_main) PostMessageW(m_main, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(m_process.hProcess, 30000) != WAIT_OBJECT_0) TerminateProcess(m_process.hProcess, 1);
  CloseHandle(m_process.hThread);
  CloseHandle(m_process.hProcess);
}

bool TextSource::WaitFocused(DWORD boundMs) {
  return PumpUntil(
      [this] {
        m_main = FindWindowW(L"OrvTextSource", m_title.c_str());
        m_edit = m_main ? FindWindowExW(m_main, nullptr, L"EDIT", nullptr) : nullptr;
        return m_edit && CSelReaderDlg::LastFocusWnd() == m_edit;
      },
      boundMs);
}

}  // namespace reader_test
