// VersionNumber parsing, formatting and ordering.
#include "SupportExceptions.h"
#include "VersionNumber.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

}  // namespace

TEST(VersionNumber, ParsesOneToFourParts) {
  struct Case {
    const wchar_t* text;
    const wchar_t* full;  // null: FormatException
    const wchar_t* shortForm;
  };
  const Case cases[] = {
      {L"1", L"1.0.0.0", L"1"},
      {L"1.2.3.4", L"1.2.3.4", L"1.2.3.4"},
      {L"2.1", L"2.1.0.0", L"2.1"},
      {L"0.0.0.0", L"0.0.0.0", L""},
      {L"1.0.0.7", L"1.0.0.7", L"1.0.0.7"},
      {L"007.10", L"7.10.0.0", L"7.10"},
      {L"2147483647.0.0.1", L"2147483647.0.0.1", L"2147483647.0.0.1"},
      {L"", nullptr, nullptr},
      {L"1..2", nullptr, nullptr},
      {L"1.2.3.4.5", nullptr, nullptr},
      {L"1.-1", nullptr, nullptr},
      {L"1.-2", nullptr, nullptr},
      {L"1.x", nullptr, nullptr},
      {L"99999999999", nullptr, nullptr},
      {L"2147483648", nullptr, nullptr},
      {L"1.", nullptr, nullptr},
      {L".1", nullptr, nullptr},
      {L" 1", nullptr, nullptr},
      {L"1 ", nullptr, nullptr},
      {L"+1", nullptr, nullptr},
      {L"1.2.3.4.", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    if (c.full == nullptr) {
      EXPECT_THROW(VersionNumber::Parse(c.text), FormatException) << "'" << Narrow(c.text) << "'";
      continue;
    }
    VersionNumber v;
    ASSERT_NO_THROW(v = VersionNumber::Parse(c.text)) << "'" << Narrow(c.text) << "'";
    EXPECT_EQ(std::wstring(c.full), v.ToString()) << Narrow(c.text);
    EXPECT_EQ(std::wstring(c.shortForm), v.ToShortString()) << Narrow(c.text);
  }
  EXPECT_EQ(L"0.0.0.0", VersionNumber().ToString());
}

TEST(VersionNumber, OrdersPartByPartAsNumbers) {
  // Each row is strictly greater than the one before.
  const wchar_t* ascending[] = {
      L"0",       L"0.0.0.1", L"0.1",  L"1",        L"1.0.0.1", L"1.2", L"1.2.3",
      L"1.2.3.4", L"1.9",     L"1.10", L"1.10.0.1", L"2",       L"10",  L"2147483647",
  };
  const int n = static_cast<int>(sizeof(ascending) / sizeof(ascending[0]));
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const VersionNumber a = VersionNumber::Parse(ascending[i]);
      const VersionNumber b = VersionNumber::Parse(ascending[j]);
      const std::string what = Narrow(ascending[i]) + " vs " + Narrow(ascending[j]);
      EXPECT_EQ(i < j, a < b) << what;
      EXPECT_EQ(i > j, a > b) << what;
      EXPECT_EQ(i <= j, a <= b) << what;
      EXPECT_EQ(i >= j, a >= b) << what;
      EXPECT_EQ(i == j, a == b) << what;
      EXPECT_EQ(i != j, a != b) << what;
    }
  }
  EXPECT_TRUE(VersionNumber::Parse(L"1.2.3.4") >= VersionNumber(1, 2, 3, 4));
  EXPECT_TRUE(VersionNumber::Parse(L"1.0") == VersionNumber::Parse(L"1.0.0.0"));
}
