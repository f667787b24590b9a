// Reading a selection: from a read request (StartCapture) to the text handed to the dialog,
// with the text-source program of the reader's tests holding the selection, against a bare
// clipboard round trip (set and read back) in one process. Prints both medians and the ratio;
// the capture includes the pauses after each synthesised key (100 ms each by default) and is
// also measured without them.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "SelReaderDlg.h"
#include "resource.h"
#include "TextSource.h"

namespace {

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

template <class Done>
bool Pump(Done done, double bound = 20.0) {
  const double start = Now();
  while (!done()) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (Now() - start > bound) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

class CBenchDlg : public CSelReaderDlg {
 public:
  CBenchDlg() : CSelReaderDlg(IDD_USE_HINT) {}
  void OnTextCaptured(const std::wstring& text) override {
    last = text;
    ++texts;
  }
  void OnCaptureFailed() override { ++failures; }
  std::wstring last;
  int texts = 0;
  int failures = 0;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double ClipboardRoundTrip(HWND owner) {
  const std::wstring text = L"Zażółć gęślą jaźń";
  const double start = Now();
  if (!text_source::PutTextOnClipboard(owner, text)) return -1;
  std::wstring back;
  CSelReaderDlg::ReadClipboardText(back);
  return back == text ? Now() - start : -1;
}

}  // namespace

int main() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  folder = folder.substr(0, folder.find_last_of(L'\\') + 1);
  HMODULE module = LoadLibraryW((folder + L"..\\reader\\bin\\lang\\english.dll").c_str());
  if (!module) {
    std::printf("english.dll missing\n");
    return 1;
  }
  AfxSetResourceHandle(module);
  CBenchDlg dlg;
  if (!dlg.Create(IDD_USE_HINT)) return 1;

  std::wstring title = L"orv bench source " + std::to_wstring(GetCurrentProcessId());
  std::wstring command = L"\"" + folder + L"..\\reader\\orv_text_source.exe\" text \"" + title + L"\"";
  std::vector<wchar_t> line(command.begin(), command.end());
  line.push_back(0);
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    std::printf("text source did not start\n");
    return 1;
  }
  HWND source = nullptr;
  Pump([&] {
    source = FindWindowW(L"OrvTextSource", title.c_str());
    return source && CSelReaderDlg::LastFocusWnd() && GetAncestor(CSelReaderDlg::LastFocusWnd(), GA_ROOT) == source;
  });

  const int kRuns = 15;
  std::vector<double> bare, capture, captureNoPause;
  for (int i = 0; i < kRuns; ++i) bare.push_back(ClipboardRoundTrip(dlg.m_hWnd));
  for (UINT pause : {100u, 0u}) {
    dlg.m_bounds.keyDelayMs = pause;
    for (int i = 0; i < kRuns; ++i) {
      const int before = dlg.texts + dlg.failures;
      const double start = Now();
      dlg.StartCapture();
      if (!Pump([&] { return dlg.texts + dlg.failures > before; })) break;
      (pause ? capture : captureNoPause).push_back(Now() - start);
    }
  }
  const double b = Median(bare), c = Median(capture), c0 = Median(captureNoPause);
  std::printf("clipboard round trip (set and read): %.2f ms (median of %d)\n", b * 1e3, kRuns);
  std::printf("read request to captured text:      %.1f ms (median of %zu; %d failed)\n", c * 1e3, capture.size(),
              dlg.failures);
  std::printf("  without the pauses after the keys: %.1f ms\n", c0 * 1e3);
  if (b > 0) std::printf("ratio capture / round trip: %.0f (without pauses %.0f)\n", c / b, c0 / b);

  if (source) PostMessageW(source, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  dlg.DestroyWindow();
  FreeLibrary(module);
  return 0;
}
