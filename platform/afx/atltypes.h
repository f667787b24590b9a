// CPoint, CSize and CRect: the Win32 POINT, SIZE and RECT records with MFC's helpers.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

class CSize : public tagSIZE {
 public:
  CSize() noexcept {
    cx = 0;
    cy = 0;
  }
  CSize(int initCX, int initCY) noexcept {
    cx = initCX;
    cy = initCY;
  }
  CSize(SIZE s) noexcept {
    cx = s.cx;
    cy = s.cy;
  }
  explicit CSize(POINT p) noexcept {
    cx = p.x;
    cy = p.y;
  }
  explicit CSize(DWORD dw) noexcept {
    cx = static_cast<short>(LOWORD(dw));
    cy = static_cast<short>(HIWORD(dw));
  }
  bool operator==(SIZE s) const noexcept { return cx == s.cx && cy == s.cy; }
  bool operator!=(SIZE s) const noexcept { return !(*this == s); }
  CSize operator+(SIZE s) const noexcept { return CSize(cx + s.cx, cy + s.cy); }
  CSize operator-(SIZE s) const noexcept { return CSize(cx - s.cx, cy - s.cy); }
  CSize operator-() const noexcept { return CSize(-cx, -cy); }
  void operator+=(SIZE s) noexcept {
    cx += s.cx;
    cy += s.cy;
  }
  void operator-=(SIZE s) noexcept {
    cx -= s.cx;
    cy -= s.cy;
  }
};

class CPoint : public tagPOINT {
 public:
  CPoint() noexcept {
    x = 0;
    y = 0;
  }
  CPoint(int initX, int initY) noexcept {
    x = initX;
    y = initY;
  }
  CPoint(POINT p) noexcept {
    x = p.x;
    y = p.y;
  }
  explicit CPoint(SIZE s) noexcept {
    x = s.cx;
    y = s.cy;
  }
  // From a message's lParam: signed 16-bit halves (GET_X_LPARAM / GET_Y_LPARAM).
  explicit CPoint(LPARAM dwPoint) noexcept {
    x = static_cast<short>(LOWORD(dwPoint));
    y = static_cast<short>(HIWORD(dwPoint));
  }
  void Offset(int xOffset, int yOffset) noexcept {
    x += xOffset;
    y += yOffset;
  }
  void Offset(POINT p) noexcept { Offset(p.x, p.y); }
  bool operator==(POINT p) const noexcept { return x == p.x && y == p.y; }
  bool operator!=(POINT p) const noexcept { return !(*this == p); }
  CPoint operator+(SIZE s) const noexcept { return CPoint(x + s.cx, y + s.cy); }
  CPoint operator-(SIZE s) const noexcept { return CPoint(x - s.cx, y - s.cy); }
  CPoint operator+(POINT p) const noexcept { return CPoint(x + p.x, y + p.y); }
  CSize operator-(POINT p) const noexcept { return CSize(x - p.x, y - p.y); }
  CPoint operator-() const noexcept { return CPoint(-x, -y); }
  void operator+=(SIZE s) noexcept {
    x += s.cx;
    y += s.cy;
  }
  void operator-=(SIZE s) noexcept {
    x -= s.cx;
    y -= s.cy;
  }
  void operator+=(POINT p) noexcept {
    x += p.x;
    y += p.y;
  }
  void operator-=(POINT p) noexcept {
    x -= p.x;
    y -= p.y;
  }
};

class CRect : public tagRECT {
 public:
  CRect() noexcept { left = top = right = bottom = 0; }
  CRect(int l, int t, int r, int b) noexcept {
    left = l;
    top = t;
    right = r;
    bottom = b;
  }
  CRect(const RECT& r) noexcept { CopyRect(&r); }
  CRect(const RECT* r) noexcept { CopyRect(r); }
  CRect(POINT p, SIZE s) noexcept {
    left = p.x;
    top = p.y;
    right = p.x + s.cx;
    bottom = p.y + s.cy;
  }
  CRect(POINT topLeft, POINT bottomRight) noexcept {
    left = topLeft.x;
    top = topLeft.y;
    right = bottomRight.x;
    bottom = bottomRight.y;
  }

  int Width() const noexcept { return right - left; }
  int Height() const noexcept { return bottom - top; }
  CPoint& TopLeft() noexcept { return *reinterpret_cast<CPoint*>(this); }
  const CPoint& TopLeft() const noexcept { return *reinterpret_cast<const CPoint*>(this); }
  CPoint CenterPoint() const noexcept { return CPoint((left + right) / 2, (top + bottom) / 2); }

  operator LPRECT() noexcept { return this; }
  operator LPCRECT() const noexcept { return this; }

  bool IsRectEmpty() const noexcept { return ::IsRectEmpty(this) != FALSE; }
  bool PtInRect(POINT p) const noexcept { return ::PtInRect(this, p) != FALSE; }
  void SetRectEmpty() noexcept { left = top = right = bottom = 0; }
  void CopyRect(LPCRECT r) noexcept {
    if (r) {
      left = r->left;
      top = r->top;
      right = r->right;
      bottom = r->bottom;
    } else
      SetRectEmpty();
  }
  bool EqualRect(LPCRECT r) const noexcept { return ::EqualRect(this, r) != FALSE; }
  void InflateRect(int x, int y) noexcept {
    left -= x;
    top -= y;
    right += x;
    bottom += y;
  }
  void InflateRect(SIZE s) noexcept { InflateRect(s.cx, s.cy); }
  void InflateRect(int l, int t, int r, int b) noexcept {
    left -= l;
    top -= t;
    right += r;
    bottom += b;
  }
  void DeflateRect(int x, int y) noexcept { InflateRect(-x, -y); }
  void DeflateRect(SIZE s) noexcept { InflateRect(-s.cx, -s.cy); }
  void DeflateRect(int l, int t, int r, int b) noexcept {
    left += l;
    top += t;
    right -= r;
    bottom -= b;
  }
  void OffsetRect(int x, int y) noexcept {
    left += x;
    right += x;
    top += y;
    bottom += y;
  }
  void OffsetRect(POINT p) noexcept { OffsetRect(p.x, p.y); }
  void OffsetRect(SIZE s) noexcept { OffsetRect(s.cx, s.cy); }
  void MoveToX(int x) noexcept {
    right = Width() + x;
    left = x;
  }
  bool IntersectRect(LPCRECT a, LPCRECT b) noexcept { return ::IntersectRect(this, a, b) != FALSE; }
  bool UnionRect(LPCRECT a, LPCRECT b) noexcept { return ::UnionRect(this, a, b) != FALSE; }

  void operator=(const RECT& r) noexcept { CopyRect(&r); }
  bool operator==(const RECT& r) const noexcept { return EqualRect(&r); }
  bool operator!=(const RECT& r) const noexcept { return !EqualRect(&r); }
  void operator+=(POINT p) noexcept { OffsetRect(p); }
  void operator-=(POINT p) noexcept { OffsetRect(-p.x, -p.y); }
  CRect operator+(POINT p) const noexcept {
    CRect r(*this);
    r.OffsetRect(p);
    return r;
  }
  CRect operator-(POINT p) const noexcept {
    CRect r(*this);
    r.OffsetRect(-p.x, -p.y);
    return r;
  }
  CRect operator&(const RECT& r) const noexcept {
    CRect o;
    o.IntersectRect(this, &r);
    return o;
  }
  CRect operator|(const RECT& r) const noexcept {
    CRect o;
    o.UnionRect(this, &r);
    return o;
  }
};
