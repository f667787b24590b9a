// Owning types for the clipboard and for a locked global block: what is opened or locked is
// given back when the object goes, however the scope is left.
#pragma once

#include <windows.h>

namespace win {

// The clipboard opened for the calling thread (OpenClipboard); closed by the destructor. No
// other application can copy or paste while it is open.
class OpenedClipboard {
 public:
  explicit OpenedClipboard(HWND owner) : m_open(::OpenClipboard(owner) != FALSE) {}
  ~OpenedClipboard() {
    if (m_open) ::CloseClipboard();
  }
  OpenedClipboard(const OpenedClipboard&) = delete;
  OpenedClipboard& operator=(const OpenedClipboard&) = delete;

  explicit operator bool() const { return m_open; }

 private:
  bool m_open;
};

// A global block locked (GlobalLock); unlocked by the destructor. The block stays its owner's.
class LockedGlobal {
 public:
  explicit LockedGlobal(HGLOBAL block) : m_block(block), m_data(block ? ::GlobalLock(block) : nullptr) {}
  ~LockedGlobal() {
    if (m_data) ::GlobalUnlock(m_block);
  }
  LockedGlobal(const LockedGlobal&) = delete;
  LockedGlobal& operator=(const LockedGlobal&) = delete;

  explicit operator bool() const { return m_data != nullptr; }
  const void* data() const { return m_data; }
  // The block's size in bytes, which may exceed what was asked for when it was allocated.
  SIZE_T size() const { return ::GlobalSize(m_block); }

 private:
  HGLOBAL m_block;
  void* m_data;
};

}  // namespace win
