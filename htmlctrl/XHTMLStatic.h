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
  HWND GetSafeHwnd() const { return m_window; }

  // Per-paint state and colours back to their defaults, margins 0, links and commands gone.
  void Reset();
  // Sets the text and redraws at once, from scratch.
  void SetWindowText(const wchar_t* text);
  virtual COLORREF SetBkColor(COLORREF colour);
  virtual COLORREF SetBkColor(const wchar_t* name);
  virtual COLORREF SetTextColor(COLORREF colour);
  virtual COLORREF SetTextColor(const wchar_t* name);
  void AddAppCommand(HWND window, UINT message, WPARAM wparam, const std::wstring& name);

  const std::vector<RECT>& LinkRects() const { return m_linkRects; }
  const std::vector<std::wstring>& LinkTargets() const { return m_linkTargets; }
  HWND GetToolTip() const { return m_tooltip; }
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

  HWND m_window = nullptr;
  COLORREF m_background;
  COLORREF m_textColour;
  LOGFONTW m_font = {};
  bool m_useFont = false;
  HWND m_tooltip = nullptr;
  bool m_tooltipsOn = true;
  htmlctrl::MemoryDC m_cache;
  htmlctrl::Bitmap m_cacheBitmap;
  HGDIOBJ m_cacheOld = nullptr;
  bool m_needsRedraw = true;
  std::vector<RECT> m_linkRects;
  std::vector<std::wstring> m_linkTargets;
  htmlctrl::CXHtmlDrawLink m_links;
  int m_leftMargin = 0, m_rightMargin = 0;
  int m_ruleWidth = 2;
  HCURSOR m_replacedCursor = nullptr;
  bool m_overLink = false;
};
