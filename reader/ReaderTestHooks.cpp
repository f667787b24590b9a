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
  }
  return L"";
}

}  // namespace

void InjectFault(FaultPoint point) {
  // Read at every point reached, so that a test may name a fault for a while in its own process.
  wchar_t named[64] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"ORV_READER_TEST_FAULT", named, 64);
  if (length == 0 || length >= 64) return;
  if (std::wcscmp(named, NameOf(point)) == 0) throw std::bad_alloc();
}

}  // namespace testhooks
}  // namespace orv_reader

#else

namespace orv_reader {
namespace testhooks {

void InjectFault(FaultPoint) {}

}  // namespace testhooks
}  // namespace orv_reader

#endif
