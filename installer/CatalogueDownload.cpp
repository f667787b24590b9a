#include "CatalogueDownload.h"

#include "PluginLog.h"
#include "PluginMessages.h"
#include "TestHooks.h"

#include <LanguageTable.h>

namespace gwplugin {

const wchar_t kGatewayHost[] = L"gateway.orvelspeech.com";
const wchar_t kCatalogueRequest[] =
    L"/orvadmin/modules/orvapi/orv.gateway.orvapi.php?action=content&protocol=1.0&pgroup=1";

std::wstring CatalogueAddress(LANGID langid) {
  std::wstring address = testhooks::GatewayAddress();
  if (address.empty()) address = std::wstring(L"https://") + kGatewayHost + kCatalogueRequest;
  const wchar_t* code = GetLanguageCode(static_cast<LANGID>(langid & 0x3FF));
  return address + L"&lang=" + (code && *code ? code : L"en");
}

DWORD CatalogueWaitLimit(const DownloadTimeouts& timeouts) {
  const long long connect = timeouts.connectMilliseconds > 0 ? timeouts.connectMilliseconds : 0;
  const long long stall = timeouts.lowSpeedSeconds > 0 ? 1000LL * timeouts.lowSpeedSeconds : 0;
  const long long limit = 2 * connect + stall;
  if (limit <= 0) return 1;
  return limit >= 0x7FFFFFFFLL ? 0x7FFFFFFF : static_cast<DWORD>(limit);
}

CatalogueHandOff::CatalogueHandOff() : m_ended(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!m_ended) LogLine(L"catalogue hand-off: CreateEvent failed, error " + std::to_wstring(GetLastError()));
}

void CatalogueHandOff::SetNotifyWindow(HWND window) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_notify = window;
}

void CatalogueHandOff::Finish(int result) noexcept {
  if (result == 0) result = static_cast<int>(DownloadResult::Failed);
  HWND notify = nullptr;
  {
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_result != 0) return;
    m_result = result;
    notify = m_notify;
    // Posted, not sent: the download thread never waits for the NSIS thread, which may be
    // busy in the script, or tearing the plug-in down. The window is cleared (under this
    // lock) before it is destroyed. The message is queued before the event is set, so a
    // thread woken by the event finds it.
    if (notify && !PostMessageW(notify, WM_CONTENT_DOWNLOADED, 0, 0))
      OutputDebugStringW(L"GWPlugin: the catalogue hand-over could not be posted\n");
    if (m_ended) SetEvent(m_ended.get());
  }
  try {
    testhooks::SignalDownloadEnded();
  } catch (...) {
  }
}

int CatalogueHandOff::Result() const {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_result;
}

}  // namespace gwplugin
