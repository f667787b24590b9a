// CString: MFC's string interface over std::basic_string. CString and CStringW hold UTF-16
// text, CStringA narrow text in the ANSI code page. Included by afx.h.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cwchar>
#include <string>

namespace afx_detail {
// Character traits of the two string flavours: formatting, case and the other flavour.
template <typename T>
struct StrOps;
template <>
struct StrOps<wchar_t> {
  using Other = char;
  static int FormatLength(const wchar_t* fmt, va_list args);
  static int Format(wchar_t* out, size_t count, const wchar_t* fmt, va_list args);
  static std::wstring Convert(const char* text, int length);  // ANSI code page to UTF-16
  static size_t Length(const wchar_t* s) { return s ? wcslen(s) : 0; }
  static int CompareNoCase(const wchar_t* a, const wchar_t* b);
  static bool IsSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
  static int LoadString(HINSTANCE h, UINT id, std::wstring& out);
};
template <>
struct StrOps<char> {
  using Other = wchar_t;
  static int FormatLength(const char* fmt, va_list args);
  static int Format(char* out, size_t count, const char* fmt, va_list args);
  static std::string Convert(const wchar_t* text, int length);  // UTF-16 to ANSI code page
  static size_t Length(const char* s) { return s ? strlen(s) : 0; }
  static int CompareNoCase(const char* a, const char* b);
  static bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
};
HINSTANCE ResourceHandleForStrings();
}  // namespace afx_detail

template <typename T>
class CStringT {
  using Ops = afx_detail::StrOps<T>;
  using OtherT = typename Ops::Other;

 public:
  using XCHAR = T;
  using PXSTR = T*;
  using PCXSTR = const T*;
  using StdString = std::basic_string<T>;

  CStringT() = default;
  CStringT(const CStringT&) = default;
  CStringT(CStringT&&) noexcept = default;
  CStringT& operator=(const CStringT&) = default;
  CStringT& operator=(CStringT&&) noexcept = default;

  // A resource identifier made with MAKEINTRESOURCE loads that string, as MFC's constructor does.
  CStringT(const T* psz) { Assign(psz); }
  CStringT(const T* pch, int nLength) : m_s(pch ? pch : EmptyText(), pch ? nLength : 0) {}
  CStringT(const OtherT* psz) {
    if (psz) m_s = Ops::Convert(psz, -1);
  }
  CStringT(T ch, int nRepeat = 1) : m_s(nRepeat > 0 ? nRepeat : 0, ch) {}
  CStringT(const StdString& s) : m_s(s) {}
  CStringT(const CStringT<OtherT>& other) : m_s(Ops::Convert(other.GetString(), other.GetLength())) {}

  CStringT& operator=(const T* psz) {
    Assign(psz);
    return *this;
  }
  CStringT& operator=(const OtherT* psz) {
    m_s = psz ? Ops::Convert(psz, -1) : StdString();
    return *this;
  }
  CStringT& operator=(T ch) {
    m_s.assign(1, ch);
    return *this;
  }
  CStringT& operator=(const StdString& s) {
    m_s = s;
    return *this;
  }
  CStringT& operator=(const CStringT<OtherT>& other) {
    m_s = Ops::Convert(other.GetString(), other.GetLength());
    return *this;
  }

  CStringT& operator+=(const CStringT& s) {
    m_s += s.m_s;
    return *this;
  }
  CStringT& operator+=(const T* psz) {
    if (psz) m_s += psz;
    return *this;
  }
  CStringT& operator+=(T ch) {
    m_s += ch;
    return *this;
  }

  operator const T*() const { return m_s.c_str(); }
  const T* GetString() const { return m_s.c_str(); }
  int GetLength() const { return static_cast<int>(m_s.size()); }
  bool IsEmpty() const { return m_s.empty(); }
  void Empty() { m_s.clear(); }
  T GetAt(int i) const { return m_s.at(static_cast<size_t>(i)); }
  T operator[](int i) const { return GetAt(i); }

  // Buffer access: the caller writes at most nMinBufLength characters and then calls
  // ReleaseBuffer; the string is cut at the first NUL (nNewLength -1) or at nNewLength.
  T* GetBuffer() { return &m_s[0]; }
  T* GetBuffer(int nMinBufLength) {
    if (nMinBufLength > GetLength()) m_s.resize(static_cast<size_t>(nMinBufLength));
    return &m_s[0];
  }
  void ReleaseBuffer(int nNewLength = -1) {
    if (nNewLength < 0)
      m_s.resize(Ops::Length(m_s.c_str()));
    else if (static_cast<size_t>(nNewLength) <= m_s.size())
      m_s.resize(static_cast<size_t>(nNewLength));
  }
  void Truncate(int nNewLength) {
    if (nNewLength >= 0 && nNewLength < GetLength()) m_s.resize(static_cast<size_t>(nNewLength));
  }

  // printf-style formatting with the Microsoft C library's rules (%s is a string of this
  // flavour, %S of the other).
  void Format(const T* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    FormatV(pszFormat, args);
    va_end(args);
  }
  void FormatV(const T* pszFormat, va_list args) {
    m_s.clear();
    if (!pszFormat) return;
    va_list copy;
    va_copy(copy, args);
    const int n = Ops::FormatLength(pszFormat, copy);
    va_end(copy);
    if (n <= 0) return;
    m_s.resize(static_cast<size_t>(n) + 1);
    const int written = Ops::Format(&m_s[0], m_s.size(), pszFormat, args);
    m_s.resize(written > 0 ? static_cast<size_t>(written) : 0);
  }

  // Loads string nID from the resource handle (AfxGetResourceHandle); FALSE when absent.
  BOOL LoadString(UINT nID) { return LoadString(afx_detail::ResourceHandleForStrings(), nID); }
  BOOL LoadString(HINSTANCE hInstance, UINT nID) {
    StdString s;
    if (!Ops::LoadString(hInstance, nID, s)) return FALSE;
    m_s.swap(s);
    return TRUE;
  }

  int CompareNoCase(const T* psz) const { return Ops::CompareNoCase(m_s.c_str(), psz ? psz : EmptyText()); }

  CStringT Left(int n) const { return n <= 0 ? CStringT() : CStringT(m_s.substr(0, static_cast<size_t>(n))); }
  CStringT Right(int n) const {
    if (n <= 0) return CStringT();
    if (n >= GetLength()) return *this;
    return CStringT(m_s.substr(m_s.size() - static_cast<size_t>(n)));
  }
  CStringT Mid(int iFirst) const { return Mid(iFirst, GetLength()); }
  CStringT Mid(int iFirst, int nCount) const {
    if (iFirst < 0) iFirst = 0;
    if (iFirst >= GetLength() || nCount <= 0) return CStringT();
    return CStringT(m_s.substr(static_cast<size_t>(iFirst), static_cast<size_t>(nCount)));
  }

  int Find(T ch, int iStart = 0) const {
    return Pos(iStart < 0 ? StdString::npos : m_s.find(ch, static_cast<size_t>(iStart)));
  }
  int Find(const T* psz, int iStart = 0) const {
    if (!psz || iStart < 0) return -1;
    return Pos(m_s.find(psz, static_cast<size_t>(iStart)));
  }
  int ReverseFind(T ch) const { return Pos(m_s.rfind(ch)); }

  int Replace(const T* pszOld, const T* pszNew) {
    const size_t oldLen = Ops::Length(pszOld);
    if (oldLen == 0) return 0;
    const StdString repl = pszNew ? pszNew : EmptyText();
    int count = 0;
    for (size_t pos = m_s.find(pszOld); pos != StdString::npos; pos = m_s.find(pszOld, pos + repl.size())) {
      m_s.replace(pos, oldLen, repl);
      ++count;
    }
    return count;
  }
  int Replace(T chOld, T chNew) {
    int count = 0;
    for (auto& c : m_s)
      if (c == chOld) {
        c = chNew;
        ++count;
      }
    return count;
  }

  CStringT& TrimLeft() {
    size_t i = 0;
    while (i < m_s.size() && Ops::IsSpace(m_s[i])) ++i;
    m_s.erase(0, i);
    return *this;
  }
  CStringT& TrimRight() {
    size_t n = m_s.size();
    while (n > 0 && Ops::IsSpace(m_s[n - 1])) --n;
    m_s.resize(n);
    return *this;
  }
  CStringT& Trim() { return TrimRight().TrimLeft(); }
  CStringT& TrimLeft(T ch) {
    m_s.erase(0, m_s.find_first_not_of(ch));
    return *this;
  }
  CStringT& TrimRight(T ch) {
    const size_t last = m_s.find_last_not_of(ch);
    m_s.resize(last == StdString::npos ? 0 : last + 1);
    return *this;
  }
  CStringT& Trim(T ch) { return TrimRight(ch).TrimLeft(ch); }
  CStringT& TrimLeft(const T* set) {
    if (set) m_s.erase(0, m_s.find_first_not_of(set));
    return *this;
  }
  CStringT& TrimRight(const T* set) {
    if (!set) return *this;
    const size_t last = m_s.find_last_not_of(set);
    m_s.resize(last == StdString::npos ? 0 : last + 1);
    return *this;
  }
  CStringT& Trim(const T* set) { return TrimRight(set).TrimLeft(set); }

  // The next token delimited by any character of pszTokens, starting at iStart; iStart becomes
  // -1 after the last token.
  CStringT Tokenize(const T* pszTokens, int& iStart) const {
    if (iStart < 0 || !pszTokens) {
      iStart = -1;
      return CStringT();
    }
    const size_t from = m_s.find_first_not_of(pszTokens, static_cast<size_t>(iStart));
    if (from == StdString::npos) {
      iStart = -1;
      return CStringT();
    }
    size_t to = m_s.find_first_of(pszTokens, from);
    if (to == StdString::npos) to = m_s.size();
    iStart = static_cast<int>(to < m_s.size() ? to + 1 : to);
    return CStringT(m_s.substr(from, to - from));
  }

  friend CStringT operator+(const CStringT& a, const CStringT& b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(const CStringT& a, const T* b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(const T* a, const CStringT& b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(const CStringT& a, T b) {
    CStringT r(a);
    r += b;
    return r;
  }
  friend CStringT operator+(T a, const CStringT& b) {
    CStringT r(a);
    r += b;
    return r;
  }

  friend bool operator==(const CStringT& a, const CStringT& b) { return a.m_s == b.m_s; }
  friend bool operator==(const CStringT& a, const T* b) { return a.Compare(b) == 0; }
  friend bool operator==(const T* a, const CStringT& b) { return b.Compare(a) == 0; }
  friend bool operator!=(const CStringT& a, const CStringT& b) { return a.m_s != b.m_s; }
  friend bool operator!=(const CStringT& a, const T* b) { return a.Compare(b) != 0; }
  friend bool operator!=(const T* a, const CStringT& b) { return b.Compare(a) != 0; }
  friend bool operator<(const CStringT& a, const CStringT& b) { return a.m_s < b.m_s; }
  friend bool operator>(const CStringT& a, const CStringT& b) { return a.m_s > b.m_s; }
  friend bool operator<=(const CStringT& a, const CStringT& b) { return a.m_s <= b.m_s; }
  friend bool operator>=(const CStringT& a, const CStringT& b) { return a.m_s >= b.m_s; }

 private:
  static const T* EmptyText() {
    static const T z = 0;
    return &z;
  }
  static int Pos(size_t p) { return p == StdString::npos ? -1 : static_cast<int>(p); }
  void Assign(const T* psz) {
    if (psz && IS_INTRESOURCE(psz)) {
      m_s.clear();
      LoadString(static_cast<UINT>(reinterpret_cast<ULONG_PTR>(psz)));
    } else {
      m_s.assign(psz ? psz : EmptyText());
    }
  }

  StdString m_s;
};

using CStringW = CStringT<wchar_t>;
using CStringA = CStringT<char>;
using CString = CStringW;
