// A static control that draws its window text as light HTML over several lines: word wrap,
// centring, links in blue with their targets as tooltips, rules and "APP:" commands.
#pragma once

#include "GdiOwners.h"
#include "XHtmlDraw.h"

#include <windows.h>

#include <string>
#include <vector>

class CXHTMLStatic {
 public:
  CXHTMLStatic();
  virtual ~CXHTMLStatic();
  CXHTMLStatic(const CXHTMLStatic&) = delete;
  CXHTMLStatic& operator=(const CXHTMLStatic&) = delete;

  // Takes over a static control: adds SS_NOTIFY and makes the tooltip control.
  BOOL SubclassWindow(HWND window);
  // Creates a static child and takes it over.
  BOOL Create(const wchar_t* text, DWORD style, const RECT& rect, HWND parent, UINT id, DWORD ex_style = 0);
  HWND GetSafeHwnd() const { return window_; }

  // Per-paint state and colours back to their defaults, margins 0, links and commands gone.
  void Reset();
  // Sets the text and redraws at once, from scratch.
  void SetWindowText(const wchar_t* text);
  virtual COLORREF SetBkColor(COLORREF colour);
  virtual COLORREF SetBkColor(const wchar_t* name);
  virtual COLORREF SetTextColor(COLORREF colour);
  virtual COLORREF SetTextColor(const wchar_t* name);
  void AddAppCommand(HWND window, UINT message, WPARAM wparam, const std::wstring& name);

  const std::vector<RECT>& LinkRects() const { return link_rects_; }
  const std::vector<std::wstring>& LinkTargets() const { return link_targets_; }
  HWND GetToolTip() const { return tooltip_; }
  // The index of the first link rectangle holding the client point, or -1.
  int LinkAt(POINT client) const;
  // Opens link index; "APP:" commands go to the control's own table (lParam 0).
  BOOL OpenLink(int index);

 private:
  struct Piece;
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                       DWORD_PTR data);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void Paint(HDC dc);
  void Render(HDC dc, const RECT& client);
  void FlushLine(HDC dc, std::vector<Piece>& line, int left, int right, int& y, int line_height, bool centred);
  void ClearLinks();
  bool NeedsHand(POINT client) const { return LinkAt(client) >= 0; }

  HWND window_ = nullptr;
  COLORREF background_;
  COLORREF text_colour_;
  LOGFONTW font_ = {};
  bool use_font_ = false;
  HWND tooltip_ = nullptr;
  bool tooltips_on_ = true;
  htmlctrl::MemoryDC cache_;
  htmlctrl::Bitmap cache_bitmap_;
  HGDIOBJ cache_old_ = nullptr;
  bool needs_redraw_ = true;
  std::vector<RECT> link_rects_;
  std::vector<std::wstring> link_targets_;
  htmlctrl::CXHtmlDrawLink links_;
  int left_margin_ = 0, right_margin_ = 0;
  int rule_width_ = 2;
  HCURSOR replaced_cursor_ = nullptr;
  bool over_link_ = false;
};
