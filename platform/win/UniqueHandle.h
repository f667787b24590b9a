// The one owning type for raw Windows handles: UniqueHandle<H, Traits>, one traits struct per
// handle kind, and a Unique... alias for each kind the code owns.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <wincrypt.h>

#include <utility>

namespace win {

// Traits name the value that means "none" (not always null: files and finds use
// INVALID_HANDLE_VALUE) and the function that gives the handle back.
template <typename H, typename Traits>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(H handle) : m_handle(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~UniqueHandle() { reset(); }

  H get() const { return m_handle; }
  explicit operator bool() const { return m_handle != Traits::Invalid(); }
  H release() { return std::exchange(m_handle, Traits::Invalid()); }
  void reset(H handle = Traits::Invalid()) {
    if (m_handle != Traits::Invalid()) Traits::Close(m_handle);
    m_handle = handle;
  }
  // For functions that return a handle through a pointer.
  H* put() {
    reset();
    return &m_handle;
  }

 private:
  H m_handle = Traits::Invalid();
};

struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};
struct FindTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
// Files, and the other handles whose "none" is INVALID_HANDLE_VALUE (tool-help snapshots).
struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct GlobalTraits {
  static HGLOBAL Invalid() { return nullptr; }
  static void Close(HGLOBAL h) { GlobalFree(h); }
};
struct WindowTraits {
  static HWND Invalid() { return nullptr; }
  static void Close(HWND h) { DestroyWindow(h); }
};
// Bitmaps, fonts, brushes, pens and regions.
template <typename H>
struct GdiObjectTraits {
  static H Invalid() { return nullptr; }
  static void Close(H h) { DeleteObject(h); }
};
// A DC of CreateCompatibleDC / CreateDC; a window's DC goes back with ReleaseDC instead.
struct MemoryDCTraits {
  static HDC Invalid() { return nullptr; }
  static void Close(HDC h) { DeleteDC(h); }
};
struct IconTraits {
  static HICON Invalid() { return nullptr; }
  static void Close(HICON h) { DestroyIcon(h); }
};
// A cursor the program made (CopyIcon, CreateCursor, LoadImage from a file); a shared cursor of
// LoadCursor is never destroyed.
struct CursorTraits {
  static HCURSOR Invalid() { return nullptr; }
  static void Close(HCURSOR h) { DestroyCursor(h); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { FreeLibrary(h); }
};
struct HookTraits {
  static HHOOK Invalid() { return nullptr; }
  static void Close(HHOOK h) { UnhookWindowsHookEx(h); }
};
template <typename T>
struct CoTaskMemTraits {
  static T* Invalid() { return nullptr; }
  static void Close(T* p) { CoTaskMemFree(p); }
};
struct CertStoreTraits {
  static HCERTSTORE Invalid() { return nullptr; }
  static void Close(HCERTSTORE h) { CertCloseStore(h, 0); }
};
struct CertContextTraits {
  static PCCERT_CONTEXT Invalid() { return nullptr; }
  static void Close(PCCERT_CONTEXT h) { CertFreeCertificateContext(h); }
};

using UniqueRegKey = UniqueHandle<HKEY, RegKeyTraits>;
using UniqueFind = UniqueHandle<HANDLE, FindTraits>;
using UniqueKernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;
using UniqueFile = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueSnapshot = UniqueHandle<HANDLE, FileHandleTraits>;
using UniqueGlobal = UniqueHandle<HGLOBAL, GlobalTraits>;
using UniqueWindow = UniqueHandle<HWND, WindowTraits>;
using UniqueBitmap = UniqueHandle<HBITMAP, GdiObjectTraits<HBITMAP>>;
using UniqueFont = UniqueHandle<HFONT, GdiObjectTraits<HFONT>>;
using UniqueBrush = UniqueHandle<HBRUSH, GdiObjectTraits<HBRUSH>>;
using UniquePen = UniqueHandle<HPEN, GdiObjectTraits<HPEN>>;
using UniqueRegion = UniqueHandle<HRGN, GdiObjectTraits<HRGN>>;
using UniqueMemoryDC = UniqueHandle<HDC, MemoryDCTraits>;
using UniqueIcon = UniqueHandle<HICON, IconTraits>;
using UniqueCursor = UniqueHandle<HCURSOR, CursorTraits>;
using UniqueModule = UniqueHandle<HMODULE, ModuleTraits>;
template <typename T>
using UniqueCoTaskMem = UniqueHandle<T*, CoTaskMemTraits<T>>;
using UniqueCertStore = UniqueHandle<HCERTSTORE, CertStoreTraits>;
using UniqueCertContext = UniqueHandle<PCCERT_CONTEXT, CertContextTraits>;

}  // namespace win
