// Four-part version numbers ("1.2.3.4"), parsed from dotted text and compared part by part.
#pragma once

#include <cstdint>
#include <string>

class VersionNumber {
 public:
  VersionNumber() = default;
  VersionNumber(std::int32_t major, std::int32_t minor, std::int32_t build, std::int32_t revision)
      : m_parts{major, minor, build, revision} {}

  // One to four dot-separated non-negative 32-bit integers; missing parts are 0.
  // Anything else (empty text or piece, signs, spaces, letters, overflow, a fifth piece)
  // throws FormatException.
  static VersionNumber Parse(const std::wstring& text);

  // All four parts: "1.0.0.0".
  std::wstring ToString() const;
  // Trailing zero parts dropped: 2.1.0.0 gives "2.1", 0.0.0.0 gives "".
  std::wstring ToShortString() const;

  friend bool operator==(const VersionNumber& a, const VersionNumber& b) { return Compare(a, b) == 0; }
  friend bool operator!=(const VersionNumber& a, const VersionNumber& b) { return Compare(a, b) != 0; }
  friend bool operator<(const VersionNumber& a, const VersionNumber& b) { return Compare(a, b) < 0; }
  friend bool operator>(const VersionNumber& a, const VersionNumber& b) { return Compare(a, b) > 0; }
  friend bool operator<=(const VersionNumber& a, const VersionNumber& b) { return Compare(a, b) <= 0; }
  friend bool operator>=(const VersionNumber& a, const VersionNumber& b) { return Compare(a, b) >= 0; }

 private:
  static int Compare(const VersionNumber& a, const VersionNumber& b);

  std::int32_t m_parts[4] = {0, 0, 0, 0};
};
