// The selected-text capture and its usage hint, under Wine on the tests' private display:
// the hint's fades driven tick by tick, its placement, automatic hiding and close link; the
// capture from a separate text-source process (Unicode text captured exactly once, the viewer
// chain intact, failures by the "wait" time-out); the bounded clipboard copy; and the Notepad
// fallback, once per request.
#include <gtest/gtest.h>

#include "SelReaderDlg.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ReaderTestSupport.h"
#include "SelReaderDlg.h"
#include "Settings.h"
#include "UsageHint.h"
#include "resource.h"
#include "TextSourceProcess.h"
#include "TextSource.h"

using reader_test::EndNotepads;
using reader_test::Hex;
using reader_test::Narrow;
using reader_test::NotepadProcesses;
using reader_test::ScopedRegValue;

namespace {

constexpr DWORD kBoundMs = 30000;  // safety net for what takes milliseconds

// The English module gives the templates (the hint's, and a plain one for the test dialog).
class ModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    m_module = std::make_unique<reader_test::ResourceModule>(L"english");
    ASSERT_TRUE(m_module->ok());
  }
  void TearDown() override { m_module.reset(); }
  std::unique_ptr<reader_test::ResourceModule> m_module;
};
::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

using reader_test::PumpUntil;

int LayeredAlpha(HWND hwnd) {
  BYTE alpha = 0;
  COLORREF key = 0;
  DWORD flags = 0;
  if (!GetLayeredWindowAttributes(hwnd, &key, &alpha, &flags)) return -1;
  return alpha;
}

// A plain window standing for the main dialog the hint belongs to.
struct OwnerWindow {
  CWnd wnd;
  OwnerWindow() {
    HWND h = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_BORDER, 120, 90, 320, 140, nullptr, nullptr, nullptr,
                             nullptr);
    wnd.Attach(h);
  }
  ~OwnerWindow() {
    HWND h = wnd.Detach();
    if (h) DestroyWindow(h);
  }
};

// ---------------------------------------------------------------------------------------------
// The usage hint.

// Real timers are given an hour, so only the ticks the test sends move the fades.
void DriveByHand(CUseHintDlg& hint) {
  hint.m_nFadeInPeriod = 3600000;
  hint.m_nFadeOutPeriod = 3600000;
}

std::vector<int> Tick(CUseHintDlg& hint, UINT_PTR timer, int count) {
  std::vector<int> applied;
  for (int i = 0; i < count && hint.m_hWnd; ++i) {
    HWND h = hint.m_hWnd;
    ::SendMessageW(h, WM_TIMER, timer, 0);
    applied.push_back(IsWindow(h) ? LayeredAlpha(h) : -2);
  }
  return applied;
}

std::vector<int> Range(int from, int step, int count) {
  std::vector<int> v;
  for (int i = 0; i < count; ++i) v.push_back(from + step * i);
  return v;
}

TEST(UsageHint, FadesInAndOutTickByTickAndAShowInTheFirstFadeOutStepRestartsTheFadeIn) {
  OwnerWindow owner;
  CUseHintDlg hint;
  DriveByHand(hint);
  hint.ShowBelow(&owner.wnd, 0);
  ASSERT_NE(hint.m_hWnd, nullptr) << "template 736 did not make a window";
  EXPECT_EQ(hint.HintType(), 1);

  // Fade-in: 0, 25, ..., 250, then 255 and the timer stops moving it.
  std::vector<int> expectedIn = Range(0, 25, 11);
  expectedIn.push_back(255);
  expectedIn.push_back(255);
  EXPECT_EQ(Tick(hint, CUseHintDlg::TIMER_HINT_FADEIN, 13), expectedIn);

  struct Case {
    const char* what;
    std::function<void()> startFadeOut;
  };
  const Case cases[] = {
      {"close link",
       [&] {
         HWND link = ::GetDlgItem(hint.m_hWnd, IDC_HINT_CLOSE_LINK);
         ASSERT_NE(link, nullptr);
         ::SendMessageW(hint.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_HINT_CLOSE_LINK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(link));
       }},
      {"automatic hiding", [&] { ::SendMessageW(hint.m_hWnd, WM_TIMER, CUseHintDlg::TIMER_HINT_AUTOHIDE, 0); }},
      {"the owner's hide", [&] { hint.Hide(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.startFadeOut();
    ASSERT_TRUE(hint.IsFadingOut());
    // The fade-out's first step is due and the alpha still reads 255: a show request now
    // must restart the fade-in, not be lost.
    EXPECT_EQ(hint.Alpha(), 255);
    hint.ShowBelow(&owner.wnd, 0);
    EXPECT_FALSE(hint.IsFadingOut());
    EXPECT_EQ(hint.Alpha(), 0) << "the show request during the fade-out was lost";
    EXPECT_EQ(Tick(hint, CUseHintDlg::TIMER_HINT_FADEIN, 13), expectedIn);
  }

  // Fade-out from 255: 255, 230, ..., 30, 5, and the window is gone with that last tick.
  hint.Hide();
  std::vector<int> expectedOut = Range(255, -25, 10);
  expectedOut.push_back(-2);  // destroyed while applying 5
  EXPECT_EQ(Tick(hint, CUseHintDlg::TIMER_HINT_FADEOUT, 12), expectedOut);
  EXPECT_EQ(hint.m_hWnd, nullptr);
  EXPECT_EQ(hint.HintType(), 0);
  EXPECT_EQ(hint.Alpha(), 0);

  // The object is reused for the next showing.
  hint.ShowBelow(&owner.wnd, 0);
  ASSERT_NE(hint.m_hWnd, nullptr);
  EXPECT_EQ(hint.Alpha(), 0);
  hint.DestroyWindow();
}

TEST(UsageHint, SitsUnderTheOwnerFollowsItNeverActivatesAndHidesItself) {
  OwnerWindow owner;
  owner.wnd.ShowWindow(SW_SHOW);
  ::SetForegroundWindow(owner.wnd.m_hWnd);
  ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == owner.wnd.m_hWnd; }));
  CUseHintDlg hint;
  hint.ShowBelow(&owner.wnd, 0);
  ASSERT_NE(hint.m_hWnd, nullptr);
  CRect ownerRect, hintRect;
  owner.wnd.GetWindowRect(&ownerRect);
  hint.GetWindowRect(&hintRect);
  EXPECT_EQ(hintRect.left, ownerRect.left);
  EXPECT_EQ(hintRect.top, ownerRect.bottom);
  EXPECT_TRUE(::IsWindowVisible(hint.m_hWnd));
  const LONG_PTR exStyle = ::GetWindowLongPtrW(hint.m_hWnd, GWL_EXSTYLE);
  EXPECT_EQ(exStyle & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_LAYERED),
            WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_LAYERED)
      << Hex(static_cast<unsigned long>(exStyle));
  EXPECT_EQ(::GetWindow(hint.m_hWnd, GW_OWNER), nullptr);
  PumpUntil([] { return false; }, 100);  // let a wrong activation happen
  EXPECT_EQ(GetForegroundWindow(), owner.wnd.m_hWnd) << "the hint " << hint.m_hWnd << " took the foreground";
  HRGN region = ::CreateRectRgn(0, 0, 0, 0);
  EXPECT_EQ(::GetWindowRgn(hint.m_hWnd, region), COMPLEXREGION) << "no rounded corners";
  ::DeleteObject(region);

  owner.wnd.SetWindowPos(nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  hint.FollowOwner(&owner.wnd);
  owner.wnd.GetWindowRect(&ownerRect);
  hint.GetWindowRect(&hintRect);
  EXPECT_EQ(hintRect.TopLeft(), CPoint(ownerRect.left, ownerRect.bottom));

  if (const char* pause = getenv("ORV_HINT_SHOT_MS")) PumpUntil([] { return false; }, atoi(pause));

  // Real timers end to end: fully faded in, hidden after the time given, then destroyed.
  ASSERT_TRUE(PumpUntil([&] { return hint.Alpha() == 255; })) << "alpha " << hint.Alpha();
  hint.ShowBelow(&owner.wnd, 50);
  ASSERT_TRUE(PumpUntil([&] { return hint.m_hWnd == nullptr; })) << "alpha " << hint.Alpha();
  EXPECT_EQ(GetForegroundWindow(), owner.wnd.m_hWnd);
}

// ---------------------------------------------------------------------------------------------
// The bounded clipboard copy.

// Text placed so that it ends exactly at the end of a committed page, followed by a page
// that cannot be read: a copy that looks past the block faults.
class GuardedBlock {
 public:
  explicit GuardedBlock(const std::wstring& chars) {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_page = info.dwPageSize;
    m_base = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * m_page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    if (m_base) VirtualProtect(m_base + m_page, m_page, PAGE_NOACCESS, &old);
    m_bytes = chars.size() * sizeof(wchar_t);
    m_data = m_base + m_page - m_bytes;
    memcpy(m_data, chars.data(), m_bytes);
  }
  ~GuardedBlock() {
    if (m_base) VirtualFree(m_base, 0, MEM_RELEASE);
  }
  const void* data() const { return m_data; }
  SIZE_T bytes() const { return m_bytes; }

 private:
  SIZE_T m_page = 0;
  BYTE* m_base = nullptr;
  BYTE* m_data = nullptr;
  SIZE_T m_bytes = 0;
};

TEST(ClipboardText, TheCopyStopsAtTheTerminatorOrTheEndOfTheBlock) {
  struct Case {
    const char* what;
    std::wstring block;
    SIZE_T trimBytes;  // bytes of the block not reported as its size
    std::wstring expected;
  };
  const std::wstring text = text_source::kSelection;
  const Case cases[] = {
      {"terminated", text + L'\0', 0, text},
      {"terminated early, rest of the block garbage", std::wstring(L"ab\0cd", 5), 0, L"ab"},
      {"not terminated", text, 0, text},
      {"odd byte count", L"abc", 1, L"ab"},
      {"empty block", L"", 0, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GuardedBlock block(c.block);
    std::wstring out = L"stale";
    CSelReaderDlg::CopyBoundedText(block.data(), block.bytes() - c.trimBytes, out);
    EXPECT_EQ(out, c.expected) << Narrow(out);
  }
}

// ---------------------------------------------------------------------------------------------
// The capture.

// A clipboard viewer that is not the reader: it must keep hearing of every change.
class OtherViewer {
 public:
  OtherViewer() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvOtherViewer";
    RegisterClassW(&wc);
    m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_next = SetClipboardViewer(m_hwnd);
  }
  ~OtherViewer() {
    ChangeClipboardChain(m_hwnd, m_next);
    DestroyWindow(m_hwnd);
  }
  HWND hwnd() const { return m_hwnd; }
  int changes = 0;

  // Puts text on the clipboard as another application would.
  bool SetText(const std::wstring& text) { return text_source::PutTextOnClipboard(m_hwnd, text); }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<OtherViewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && message == WM_DRAWCLIPBOARD) {
      ++self->changes;
      if (self->m_next) SendMessageW(self->m_next, message, wParam, lParam);
      return 0;
    }
    if (self && message == WM_CHANGECBCHAIN) {
      if (reinterpret_cast<HWND>(wParam) == self->m_next)
        self->m_next = reinterpret_cast<HWND>(lParam);
      else if (self->m_next)
        SendMessageW(self->m_next, message, wParam, lParam);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  HWND m_hwnd = nullptr;
  HWND m_next = nullptr;
};

// The test's dialog: records the outcomes the main dialog reacts to, and optionally falls
// back on Notepad the way the main dialog does.
class CCaptureTestDlg : public CSelReaderDlg {
 public:
  CCaptureTestDlg() : CSelReaderDlg(IDD_USE_HINT) {}
  void SetBusy(bool busy) override { busyCalls.push_back(busy); }
  void OnCaptureFailed() override {
    ++failures;
    if (fallBack) StartNotepadFallback();
  }
  void OnTextCaptured(const std::wstring& text) override {
    texts.push_back(text);
    CSelReaderDlg::OnTextCaptured(text);
  }
  void OnReadRequest() override {
    ++readRequests;
    CSelReaderDlg::OnReadRequest();
  }
  void ShowUsageHint() override { ++hints; }
  using CSelReaderDlg::StartNotepadFallback;

  bool fallBack = false;
  std::vector<bool> busyCalls;
  std::vector<std::wstring> texts;
  int failures = 0;
  int readRequests = 0;
  int hints = 0;
};

using reader_test::TextSource;

class Capture : public ::testing::Test {
 protected:
  void SetUp() override {
    CSelReaderDlg::SetLastFocusWnd(nullptr);
    ASSERT_TRUE(wait.ok());
    ASSERT_TRUE(wait.SetDword(400));
    ASSERT_TRUE(dlg.Create(IDD_USE_HINT));
    ASSERT_TRUE(dlg.HasFocusHook());
  }
  void TearDown() override {
    if (dlg.m_hWnd) dlg.DestroyWindow();
  }
  bool WaitForOutcome(int outcomes = 1) {
    return PumpUntil([&] { return static_cast<int>(dlg.texts.size()) + dlg.failures >= outcomes; });
  }

  OtherViewer viewer;
  ScopedRegValue wait{reader_settings::kAppKey, L"wait"};
  CCaptureTestDlg dlg;
};

TEST_F(Capture, UnicodeSelectionIsReadExactlyOnceAndTheChainStaysIntact) {
  TextSource source(L"text");
  ASSERT_TRUE(source.WaitFocused());
  viewer.SetText(L"before");  // not the selection
  PumpUntil([&] { return viewer.changes > 0; });
  EXPECT_TRUE(dlg.StartCapture());
  ASSERT_TRUE(WaitForOutcome());
  ASSERT_EQ(dlg.texts.size(), 1u);
  EXPECT_EQ(dlg.texts[0], text_source::kSelection) << Narrow(dlg.texts[0]);
  EXPECT_EQ(dlg.failures, 0);
  EXPECT_EQ(dlg.busyCalls, (std::vector<bool>{true, false, false}));
  EXPECT_FALSE(dlg.InClipboardChain());

  // Later changes reach the other viewer and are no longer read.
  const int seen = viewer.changes;
  ASSERT_TRUE(viewer.SetText(L"later"));
  ASSERT_TRUE(PumpUntil([&] { return viewer.changes > seen; })) << "the chain is broken";
  EXPECT_EQ(dlg.texts.size(), 1u);
  // The time-out was killed: no failure follows.
  PumpUntil([] { return false; }, 600);
  EXPECT_EQ(dlg.failures, 0);
}

TEST_F(Capture, FailsByTheWaitTimeOutWhenNothingOrNoTextArrives) {
  struct Case {
    const wchar_t* mode;
    bool clipboardChanges;
  };
  for (const Case& c : {Case{L"none", false}, Case{L"image", true}}) {
    SCOPED_TRACE(Narrow(c.mode));
    dlg.failures = 0;
    dlg.texts.clear();
    TextSource source(c.mode);
    ASSERT_TRUE(source.WaitFocused());
    const int seen = viewer.changes;
    const DWORD start = GetTickCount();
    EXPECT_TRUE(dlg.StartCapture());
    if (c.clipboardChanges) {
      // An image ends the watching at once; the failure still waits for the time-out.
      ASSERT_TRUE(PumpUntil([&] { return viewer.changes > seen; }));
      EXPECT_FALSE(dlg.InClipboardChain());
    }
    ASSERT_TRUE(WaitForOutcome());
    EXPECT_GE(GetTickCount() - start, 400u) << "failed before the \"wait\" time-out";
    EXPECT_EQ(dlg.failures, 1);
    EXPECT_TRUE(dlg.texts.empty());
    EXPECT_FALSE(dlg.InClipboardChain());
    const int before = viewer.changes;
    ASSERT_TRUE(viewer.SetText(L"after"));
    EXPECT_TRUE(PumpUntil([&] { return viewer.changes > before; })) << "the chain is broken";
  }
  // Without a remembered window no key is sent; the time-out still ends the capture.
  dlg.failures = 0;
  CSelReaderDlg::SetLastFocusWnd(nullptr);
  EXPECT_FALSE(dlg.StartCapture());
  ASSERT_TRUE(WaitForOutcome());
  EXPECT_EQ(dlg.failures, 1);
}

TEST_F(Capture, ADialogDestroyedDuringACaptureLeavesTheChainIntact) {
  TextSource source(L"none");
  ASSERT_TRUE(source.WaitFocused());
  dlg.StartCapture();
  ASSERT_TRUE(dlg.InClipboardChain());
  dlg.DestroyWindow();
  const int seen = viewer.changes;
  ASSERT_TRUE(viewer.SetText(L"after the reader's dialog"));
  EXPECT_TRUE(PumpUntil([&] { return viewer.changes > seen; }, 5000))
      << "the other viewer no longer hears of clipboard changes";
}

// A copy that fails (no memory for a large selection) must give the clipboard back: while the
// reader held it open, no other application could copy or paste.
TEST_F(Capture, ACopyThatThrowsLeavesTheClipboardClosedAndTheChainIntact) {
  TextSource source(L"text");
  ASSERT_TRUE(source.WaitFocused());
  {
    reader_test::ScopedFault fault(L"clipboard_copy");
    EXPECT_TRUE(dlg.StartCapture());
    ASSERT_TRUE(WaitForOutcome());
  }
  EXPECT_TRUE(dlg.texts.empty());
  EXPECT_EQ(dlg.failures, 1);
  EXPECT_FALSE(dlg.InClipboardChain());

  orv_testing::StartedProgram other;
  ASSERT_TRUE(other.Start(reader_test::TestFolder() + L"orv_text_source.exe", L"open-clipboard probe"))
      << "error " << GetLastError();
  EXPECT_EQ(other.WaitForExit(kBoundMs), 0u) << "another process cannot open the clipboard";

  // Copying works again, and the other viewer still hears of it.
  const int seen = viewer.changes;
  EXPECT_TRUE(dlg.StartCapture());
  ASSERT_TRUE(WaitForOutcome(2));
  ASSERT_EQ(dlg.texts.size(), 1u) << "failures " << dlg.failures;
  EXPECT_EQ(dlg.texts[0], text_source::kSelection) << Narrow(dlg.texts[0]);
  EXPECT_GT(viewer.changes, seen) << "the chain is broken";
}

// ---------------------------------------------------------------------------------------------
// The Notepad fallback.

class NotepadFallback : public Capture {
 protected:
  void SetUp() override {
    Capture::SetUp();
    ASSERT_TRUE(NotepadProcesses().empty()) << "a Notepad the test did not start is running";
    ASSERT_TRUE(mode.SetDword(1));
    dlg.fallBack = true;
  }
  void TearDown() override {
    EndNotepads(kBoundMs);
    Capture::TearDown();
  }
  ScopedRegValue mode{reader_settings::kAppKey, L"notepad_mode"};
  ScopedRegValue file{reader_settings::kAppKey, L"notepad_default_txt"};
};

TEST_F(NotepadFallback, ReadsTheWholeFileInANewNotepadAndInOneAlreadyRunning) {
  reader_test::TempFolder folder;
  const std::wstring path = folder.Path() + L"sample.txt";
  const std::wstring content = std::wstring(L"\xFEFF") + text_source::kSelection;
  HANDLE out = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(out, content.data(), static_cast<DWORD>(content.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(out);
  ASSERT_TRUE(file.SetString(path));

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "Notepad started" : "Notepad already running");
    dlg.texts.clear();
    dlg.failures = 0;
    dlg.readRequests = 0;
    // A failed capture (nothing remembered) starts the fallback.
    CSelReaderDlg::SetLastFocusWnd(nullptr);
    dlg.StartCapture();
    ASSERT_TRUE(PumpUntil([&] { return !dlg.texts.empty() || dlg.hints > 0; }));
    EXPECT_EQ(dlg.hints, 0);
    EXPECT_EQ(dlg.readRequests, 1);
    ASSERT_EQ(dlg.texts.size(), 1u);
    EXPECT_EQ(dlg.texts[0], text_source::kSelection) << Narrow(dlg.texts[0]);
    EXPECT_EQ(NotepadProcesses().size(), 1u);
    EXPECT_FALSE(dlg.IsFallbackRunning());
    EXPECT_TRUE(dlg.HasFocusHook());
  }
}

TEST_F(NotepadFallback, AFailureInNotepadShowsTheHintInsteadOfFallingBackAgain) {
  // A missing file starts an empty Notepad; copying nothing changes nothing, so the capture on
  // Notepad fails too.
  ASSERT_TRUE(file.SetString(L"C:\\no such folder\\no such file.txt"));
  CSelReaderDlg::SetLastFocusWnd(nullptr);
  dlg.StartCapture();
  ASSERT_TRUE(PumpUntil([&] { return dlg.hints > 0 || dlg.readRequests > 1; }))
      << "read requests " << dlg.readRequests << ", failures " << dlg.failures;
  EXPECT_EQ(dlg.readRequests, 1) << "the fallback started again";
  EXPECT_EQ(dlg.failures, 2);
  EXPECT_EQ(dlg.hints, 1);
  EXPECT_TRUE(dlg.texts.empty());
  EXPECT_FALSE(dlg.IsFallbackRunning());
  EXPECT_FALSE(dlg.InClipboardChain());

  // The next request of the user may fall back again.
  dlg.StartCapture();
  ASSERT_TRUE(PumpUntil([&] { return dlg.hints > 1 || dlg.readRequests > 2; }));
  EXPECT_EQ(dlg.readRequests, 2);
  EXPECT_EQ(dlg.hints, 2);
}

TEST_F(NotepadFallback, WithoutTheModeAFailureShowsTheHint) {
  ASSERT_TRUE(mode.SetDword(0));
  CSelReaderDlg::SetLastFocusWnd(nullptr);
  dlg.StartCapture();
  ASSERT_TRUE(PumpUntil([&] { return dlg.hints > 0; }));
  EXPECT_EQ(dlg.readRequests, 0);
  EXPECT_TRUE(NotepadProcesses().empty());
}

}  // namespace
