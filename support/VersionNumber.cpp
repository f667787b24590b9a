#include "VersionNumber.h"

#include "SupportExceptions.h"

#include <algorithm>
#include <limits>

namespace {

// One part: digits only (no sign, no space), within 32 bits.
std::int32_t ParsePart(const wchar_t* first, const wchar_t* last) {
  if (first == last) throw FormatException();
  std::int64_t value = 0;
  for (const wchar_t* p = first; p != last; ++p) {
    if (*p < L'0' || *p > L'9') throw FormatException();
    value = value * 10 + (*p - L'0');
    if (value > std::numeric_limits<std::int32_t>::max()) throw FormatException();
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

VersionNumber VersionNumber::Parse(const std::wstring& text) {
  // Read in place: a catalogue parses thousands of versions.
  VersionNumber v;
  const wchar_t* const end = text.data() + text.size();
  const wchar_t* start = text.data();
  for (int index = 0;; ++index) {
    if (index == 4) throw FormatException();
    const wchar_t* dot = std::find(start, end, L'.');
    v.m_parts[index] = ParsePart(start, dot);
    if (dot == end) break;
    start = dot + 1;
  }
  return v;
}

std::wstring VersionNumber::ToString() const {
  return std::to_wstring(m_parts[0]) + L"." + std::to_wstring(m_parts[1]) + L"." + std::to_wstring(m_parts[2]) + L"." +
         std::to_wstring(m_parts[3]);
}

std::wstring VersionNumber::ToShortString() const {
  int count = 4;
  while (count > 0 && m_parts[count - 1] == 0) --count;
  std::wstring text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += L'.';
    text += std::to_wstring(m_parts[i]);
  }
  return text;
}

int VersionNumber::Compare(const VersionNumber& a, const VersionNumber& b) {
  for (int i = 0; i < 4; ++i) {
    if (a.m_parts[i] != b.m_parts[i]) return a.m_parts[i] < b.m_parts[i] ? -1 : 1;
  }
  return 0;
}
