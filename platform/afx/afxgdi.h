// Device contexts and GDI objects of the layer: CDC, CPaintDC, CClientDC, and the GDI object
// wrappers CBitmap, CFont, CRgn and CBrush. Each is little more than its handle and deletes
// what it created or attached when it goes. afxwin.h includes this header.
#pragma once

class CWnd;

// ---------------------------------------------------------------------------------------------
class CGdiObject : public CObject {
  DECLARE_DYNAMIC(CGdiObject)
 public:
  CGdiObject() = default;
  ~CGdiObject() override { DeleteObject(); }

  HGDIOBJ m_hObject = nullptr;  // owned unless the object is a temporary wrapper
  operator HGDIOBJ() const { return m_hObject; }
  HGDIOBJ GetSafeHandle() const { return m_hObject; }

  BOOL Attach(HGDIOBJ hObject);
  BOOL DeleteObject();
};

class CBitmap : public CGdiObject {
  DECLARE_DYNAMIC(CBitmap)
 public:
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
};

class CFont : public CGdiObject {
  DECLARE_DYNAMIC(CFont)
 public:
  operator HFONT() const { return static_cast<HFONT>(m_hObject); }
  BOOL CreateFontIndirect(const LOGFONTW* lpLogFont);
};

class CBrush : public CGdiObject {
  DECLARE_DYNAMIC(CBrush)
 public:
  CBrush() = default;
  explicit CBrush(COLORREF crColor) { CreateSolidBrush(crColor); }
  operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
  BOOL CreateSolidBrush(COLORREF crColor);
};

class CRgn : public CGdiObject {
  DECLARE_DYNAMIC(CRgn)
 public:
  operator HRGN() const { return static_cast<HRGN>(m_hObject); }
};

// ---------------------------------------------------------------------------------------------
class CDC : public CObject {
  DECLARE_DYNAMIC(CDC)
 public:
  CDC() = default;
  ~CDC() override;  // deletes a DC the object created (CreateCompatibleDC) or attached

  HDC m_hDC = nullptr;
  operator HDC() const { return m_hDC; }
  HDC GetSafeHdc() const { return m_hDC; }

  // A wrapper of a foreign DC owned by the calling thread, valid until the thread next goes
  // idle (CWnd::DeleteTempMap); it never deletes the DC. NULL for a NULL handle.
  static CDC* PASCAL FromHandle(HDC hDC);
  static void PASCAL DeleteTempMap();
  BOOL Attach(HDC hDC);
  HDC Detach();

  BOOL CreateCompatibleDC(CDC* pDC);
  BOOL DeleteDC();
  int SaveDC() { return ::SaveDC(m_hDC); }
  BOOL RestoreDC(int nSavedDC) { return ::RestoreDC(m_hDC, nSavedDC); }

  // Selection answers the handle that was selected before; selecting it again restores the DC
  // (no temporary object wrappers to outlive).
  HGDIOBJ SelectObject(HGDIOBJ hObject) { return ::SelectObject(m_hDC, hObject); }
  HGDIOBJ SelectObject(const CGdiObject* pObject) {
    return pObject ? ::SelectObject(m_hDC, pObject->m_hObject) : nullptr;
  }

  BOOL BitBlt(int x, int y, int nWidth, int nHeight, CDC* pSrcDC, int xSrc, int ySrc, DWORD dwRop) {
    return ::BitBlt(m_hDC, x, y, nWidth, nHeight, pSrcDC ? pSrcDC->m_hDC : nullptr, xSrc, ySrc, dwRop);
  }
  void FillSolidRect(LPCRECT lpRect, COLORREF clr);
  void FillSolidRect(int x, int y, int cx, int cy, COLORREF clr);
  void DrawFocusRect(LPCRECT lpRect) { ::DrawFocusRect(m_hDC, lpRect); }

  int DrawText(LPCTSTR lpszString, int nCount, LPRECT lpRect, UINT nFormat) {
    return ::DrawTextW(m_hDC, lpszString, nCount, lpRect, nFormat);
  }
  int DrawText(const CString& str, LPRECT lpRect, UINT nFormat) {
    return DrawText(str.GetString(), str.GetLength(), lpRect, nFormat);
  }
  CSize GetTextExtent(LPCTSTR lpszString, int nCount) const;
  CSize GetTextExtent(const CString& str) const { return GetTextExtent(str.GetString(), str.GetLength()); }
  COLORREF SetTextColor(COLORREF crColor) { return ::SetTextColor(m_hDC, crColor); }
  int SetBkMode(int nBkMode) { return ::SetBkMode(m_hDC, nBkMode); }

  int ExcludeClipRect(int x1, int y1, int x2, int y2) { return ::ExcludeClipRect(m_hDC, x1, y1, x2, y2); }
  int ExcludeClipRect(LPCRECT lpRect) {
    return ExcludeClipRect(lpRect->left, lpRect->top, lpRect->right, lpRect->bottom);
  }

 private:
  bool m_bTemporary = false;  // a FromHandle wrapper: never deletes the DC
};

// BeginPaint / EndPaint of a window, for WM_PAINT handlers.
class CPaintDC : public CDC {
  DECLARE_DYNAMIC(CPaintDC)
 public:
  explicit CPaintDC(CWnd* pWnd);
  ~CPaintDC() override;
  PAINTSTRUCT m_ps{};

 protected:
  HWND m_hWnd = nullptr;
};

// GetDC / ReleaseDC of a window's client area.
class CClientDC : public CDC {
  DECLARE_DYNAMIC(CClientDC)
 public:
  explicit CClientDC(CWnd* pWnd);
  ~CClientDC() override;

 protected:
  HWND m_hWnd = nullptr;
};
