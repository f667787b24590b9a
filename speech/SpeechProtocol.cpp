// Records of the speech protocol and the client-side helpers.
#include "SpeechProtocol.h"

#include <cwchar>
#include <new>

// ---------------------------------------------------------------------------------------------
void SpeechClient::AddListener(HWND hWnd) {
  CSingleLock guard(&listeners.lock, TRUE);
  for (SpeechListener& l : listeners.items) {
    if (l.hWnd == hWnd) {
      ++l.refCount;
      return;
    }
  }
  listeners.items.push_back(SpeechListener{1, hWnd});
}

void SpeechClient::NotifyListeners(UINT message, WPARAM wParam, LPARAM lParam) {
  CSingleLock guard(&listeners.lock, TRUE);
  for (const SpeechListener& l : listeners.items) {
    if (::IsWindow(l.hWnd) && !::PostMessageW(l.hWnd, message, wParam, lParam)) {
      // A full queue or a window that went away between the two calls: the listener misses this
      // notification, which is all that can be done for a posted one.
      OutputDebugStringA("speech: a notification could not be posted to a listener\n");
    }
  }
}

// ---------------------------------------------------------------------------------------------
void SpeakRequest::PrepareText(const wchar_t* source) {
  if ((flags & SPEAKF_ADOPT_TEXT) && source) {
    // The caller's array came from new[] and is the request's from now on.
    text.reset(const_cast<wchar_t*>(source));
    length = static_cast<DWORD>(wcslen(source));
    return;
  }
  if (!source) source = L"";  // no text at all is spoken as an empty one
  const size_t n = wcslen(source);
  std::unique_ptr<wchar_t[]> copy(new wchar_t[n + 2]);
  wmemcpy(copy.get(), source, n);
  copy[n] = L' ';
  copy[n + 1] = L'\0';
  text = std::move(copy);
  length = static_cast<DWORD>(n + 1);
}

void SpeakRequest::KeepTail(DWORD n) {
  if (!text || length < n) return;
  std::unique_ptr<wchar_t[]> tail(new wchar_t[n + 1]);
  wmemcpy(tail.get(), text.get() + (length - n), n);
  tail[n] = L'\0';
  text = std::move(tail);
  length = n;
}

bool SpeakRequest::BuildStream() {
  stream.Reset();
  if (!text) length = 0;
  const SIZE_T bytes = static_cast<SIZE_T>(length) * 2 + 4;
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return false;
  auto* p = static_cast<wchar_t*>(GlobalLock(memory));
  if (!p) {
    GlobalFree(memory);
    return false;
  }
  p[0] = 0xFEFF;
  if (length) wmemcpy(p + 1, text.get(), length);
  p[length + 1] = L'\0';
  GlobalUnlock(memory);
  // The stream frees the memory when it is released (fDeleteOnRelease).
  const HRESULT hr = CreateStreamOnHGlobal(memory, TRUE, stream.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    stream.Reset();
    GlobalFree(memory);
    return false;
  }
  // The allocation may be rounded up; the stream ends right after the terminating NUL.
  ULARGE_INTEGER size;
  size.QuadPart = bytes;
  if (FAILED(stream->SetSize(size))) {
    stream.Reset();
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
void AnswerVoiceListRequest(const VoiceListRequest& request, const std::deque<VoiceInfo>& voices) {
  if (request.list) *request.list = voices;
  if (request.count) *request.count = static_cast<int>(voices.size());
  if (request.done) request.done->SetEvent();
}

void AnswerVoiceInfoRequest(const VoiceInfoRequest& request, const std::deque<VoiceInfo>& voices) {
  const bool found = request.index >= 0 && static_cast<size_t>(request.index) < voices.size();
  if (found && request.out) *request.out = voices[static_cast<size_t>(request.index)];
  if (request.found) *request.found = found;
  if (request.done) request.done->SetEvent();
}

int RequestVoiceList(DWORD controlThreadId, std::deque<VoiceInfo>& out) {
  if (controlThreadId == GetCurrentThreadId()) return 0;
  CEvent done;  // auto-reset, unsignalled
  int count = 0;
  VoiceListRequest request{&done, &out, &count};
  if (!::PostThreadMessageW(controlThreadId, WM_SPEECHTHREAD_GET_VOICE_LIST, reinterpret_cast<WPARAM>(&request), 0))
    return 0;
  done.Lock(INFINITE);
  return count;
}

bool RequestVoiceInfo(DWORD controlThreadId, int index, VoiceInfo& out) {
  if (controlThreadId == GetCurrentThreadId()) return false;
  CEvent done;
  bool found = false;
  VoiceInfoRequest request{&done, index, &out, &found};
  if (!::PostThreadMessageW(controlThreadId, WM_SPEECHTHREAD_GET_VOICE_INFO, reinterpret_cast<WPARAM>(&request), 0))
    return false;
  done.Lock(INFINITE);
  return found;
}

int TogglePause(SpeechClient* client) {
  HWND control = client ? client->ControlHwnd() : nullptr;
  if (!control) return -1;
  const WPARAM w = reinterpret_cast<WPARAM>(client);
  const LRESULT paused = ::SendMessageW(control, WM_SPEECH_IS_PAUSED, w, 0);
  if (paused == -1) return -1;
  if (paused == 0) {
    ::SendMessageW(control, WM_SPEECH_PAUSE, w, 0);
    return 1;
  }
  ::SendMessageW(control, WM_SPEECH_RESUME, w, 0);
  return 0;
}
