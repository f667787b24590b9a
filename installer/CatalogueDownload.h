// The catalogue download's address and the hand-over of its end from the download thread to
// the NSIS thread.
#pragma once

#include <FileDownloadTask.h>

#include <UniqueHandle.h>

#include <windows.h>

#include <mutex>
#include <string>

namespace gwplugin {

// The maker's web gateway.
extern const wchar_t kGatewayHost[];
// The catalogue request's address without its language: "https://" + host + this path and query.
extern const wchar_t kCatalogueRequest[];

// The catalogue address for an installer language: the gateway address (the test gateway's
// in test builds that name one, see TestHooks.h) + "&lang=" + the language's ISO 639-1 code.
// A language the language table does not know asks for "en".
std::wstring CatalogueAddress(LANGID langid);

// How long the checking dialog may wait for a download with these time-outs: the connection
// phases of its two passes (probe and body) and one stall period. Past that the task itself
// is stuck or merely slow, and the installer goes on without it.
DWORD CatalogueWaitLimit(const DownloadTimeouts& timeouts);

// The outcome of one catalogue download, shared by its worker (which ends it) and the NSIS
// thread (which reads it). The worker never waits for the NSIS thread: it stores the result,
// sets the ended event and posts WM_CONTENT_DOWNLOADED to the notify window.
class CatalogueHandOff {
 public:
  CatalogueHandOff();
  CatalogueHandOff(const CatalogueHandOff&) = delete;
  CatalogueHandOff& operator=(const CatalogueHandOff&) = delete;

  // The window told of the end; null stops the telling (the window is going).
  void SetNotifyWindow(HWND window);

  // Any thread, once: stores result (a DownloadResult, never 0), sets the event, posts the
  // message. Later calls change nothing. Never throws.
  void Finish(int result) noexcept;

  // 0 while the download runs, else its DownloadResult.
  int Result() const;
  bool Ended() const { return Result() != 0; }
  // Manual-reset, set at the end (null when it could not be made: then Ended is the only way).
  HANDLE EndedEvent() const { return m_ended.get(); }

 private:
  mutable std::mutex m_lock;  // guards m_result and m_notify
  int m_result = 0;
  HWND m_notify = nullptr;
  win::UniqueKernelHandle m_ended;
};

}  // namespace gwplugin
