#include "ReaderTestHooks.h"

#ifdef ORV_READER_TEST_HOOKS

#include <windows.h>

#include <cwchar>
#include <new>

namespace orv_reader {
namespace testhooks {

namespace {

const wchar_t* NameOf(FaultPoint point) {
  switch (point) {
    case FaultPoint::ClipboardCopy:
      return L"clipboard_copy";
    case FaultPoint::SpeechThreadStart:
      return L"speech_thread_start";
    case FaultPoint::MainWindowCreate:
      return L"main_window_create";
    case FaultPoint::DialogStart:
      return L"dialog_start";
  }
  return L"";
}

}  // namespace

bool FaultNamed(FaultPoint point) {
  // Read at every point reached, so that a test may name a fault for a while in its own process.
  wchar_t named[64] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"ORV_READER_TEST_FAULT", named, 64);
  return length != 0 && length < 64 && std::wcscmp(named, NameOf(point)) == 0;
}

void InjectFault(FaultPoint point) {
  if (FaultNamed(point)) throw std::bad_alloc();
}

}  // namespace testhooks
}  // namespace orv_reader

#else

namespace orv_reader {
namespace testhooks {

bool FaultNamed(FaultPoint) { return false; }
void InjectFault(FaultPoint) {}

}  // namespace testhooks
}  // namespace orv_reader

#endif
