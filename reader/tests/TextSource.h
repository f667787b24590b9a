// What the tests' text source shows and selects, shared by the source and the tests.
#pragma once

#include <windows.h>

#include <cstring>
#include <string>

namespace text_source {
// Before and after the selection; the selection holds Polish letters, symbols and CJK.
constexpr const wchar_t* kBefore = L"not this: ";
constexpr const wchar_t* kSelection = L"Zażółć gęślą jaźń — €½∑≠ «漢字» かな 한국어 ŁŚŻŹĆŃ";
constexpr const wchar_t* kAfter = L" nor this";
// Modes, the first argument: what the edit control does with a copy request.
//   text          copies the selection (the control's own handling)
//   image         puts only a bitmap on the clipboard
//   none          changes nothing
//   open-clipboard  shows no window: opens the clipboard once and ends, with 0 when it opened
// The second argument is the window title the tests find the source by.

// Puts Unicode text on the clipboard as an application does; false when that failed.
inline bool PutTextOnClipboard(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const SIZE_T bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
  bool put = false;
  if (void* data = block ? GlobalLock(block) : nullptr) {
    std::memcpy(data, text.c_str(), bytes);
    GlobalUnlock(block);
    put = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
  }
  if (block && !put) GlobalFree(block);
  CloseClipboard();
  return put;
}
}  // namespace text_source
