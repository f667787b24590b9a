// The speech client's registration protocol, against a stand-in control window on a thread of
// its own that records the requests it handles (message, client) in arrival order.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "SpeechClientRegistration.h"

using orv_reader::SpeechClientRegistration;

namespace {

struct Request {
  UINT message;
  WPARAM client;
  bool operator==(const Request& other) const { return message == other.message && client == other.client; }
};

std::ostream& operator<<(std::ostream& out, const Request& r) {
  return out << "{0x" << std::hex << r.message << ", " << reinterpret_cast<void*>(r.client) << std::dec << "}";
}

// A message-only window on its own thread, standing in for the speech control window. It sets
// the ready event once it exists, as the speech thread does.
class ControlWindowStandIn {
 public:
  ControlWindowStandIn() : m_ready(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    m_thread = std::thread([this] { Run(); });
  }
  ~ControlWindowStandIn() {
    // The window was made before Run set the ready event; the test has waited for that.
    if (m_window) PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_thread.join();
    CloseHandle(m_ready);
  }
  ControlWindowStandIn(const ControlWindowStandIn&) = delete;
  ControlWindowStandIn& operator=(const ControlWindowStandIn&) = delete;

  HANDLE Ready() const { return m_ready; }
  HWND Window() const { return m_window; }
  std::vector<Request> Requests() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ControlWindowStandIn*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && (message == WM_SPEECH_REGISTER_CLIENT || message == WM_SPEECH_UNREGISTER_CLIENT)) {
      std::lock_guard<std::mutex> guard(self->m_lock);
      self->m_requests.push_back({message, wParam});
      return 0;
    }
    if (message == WM_CLOSE) {
      DestroyWindow(hwnd);
      PostQuitMessage(0);
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  void Run() {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvTestControlWindow";
    RegisterClassW(&wc);  // a second registration in the same process fails harmlessly
    m_window = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
    if (m_window) SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetEvent(m_ready);
    MSG msg;
    while (m_window && GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  }

  HANDLE m_ready;
  HWND m_window = nullptr;  // written before m_ready is set, read after it
  std::mutex m_lock;
  std::vector<Request> m_requests;
  std::thread m_thread;
};

TEST(SpeechClientRegistration, RegistersAfterReadyAndUnregistersSynchronously) {
  ControlWindowStandIn control;
  SpeechClient client;
  const WPARAM id = reinterpret_cast<WPARAM>(&client);
  SpeechClientRegistration registration;
  // Register waits for the ready event itself; the window is asked for only after it.
  ASSERT_TRUE(registration.Register(client, nullptr, control.Ready(), [&] { return control.Window(); }));
  EXPECT_TRUE(registration.IsRegistered());
  EXPECT_EQ((std::vector<Request>{{WM_SPEECH_REGISTER_CLIENT, id}}), control.Requests());

  registration.Unregister();
  // Handled on the control thread before Unregister returned.
  EXPECT_EQ((std::vector<Request>{{WM_SPEECH_REGISTER_CLIENT, id}, {WM_SPEECH_UNREGISTER_CLIENT, id}}),
            control.Requests());
  EXPECT_FALSE(registration.IsRegistered());

  registration.Unregister();  // nothing more to do
  EXPECT_EQ(2u, control.Requests().size());
}

TEST(SpeechClientRegistration, GoesBeforeTheClientItRegistered) {
  ControlWindowStandIn control;
  WPARAM id = 0;
  {
    // As in the main dialog: the client first, its registration after it, so the registration
    // is destroyed (and unregisters) while the client still exists.
    struct Owner {
      SpeechClient client;
      SpeechClientRegistration registration;
    };
    auto owner = std::make_unique<Owner>();
    id = reinterpret_cast<WPARAM>(&owner->client);
    ASSERT_TRUE(
        owner->registration.Register(owner->client, nullptr, control.Ready(), [&] { return control.Window(); }));
  }
  EXPECT_EQ((std::vector<Request>{{WM_SPEECH_REGISTER_CLIENT, id}, {WM_SPEECH_UNREGISTER_CLIENT, id}}),
            control.Requests());
}

TEST(SpeechClientRegistration, NoControlWindowRegistersNothing) {
  ControlWindowStandIn control;
  SpeechClient client;
  SpeechClientRegistration registration;
  EXPECT_FALSE(registration.Register(client, nullptr, control.Ready(), [] { return HWND(nullptr); }));
  EXPECT_FALSE(registration.IsRegistered());
  registration.Unregister();
  EXPECT_TRUE(control.Requests().empty());
}

}  // namespace
