// The NSIS stack and variable routines, against a host of several string sizes.
#include <FakeNsisHost.h>
#include <NsisStack.h>

#include <gtest/gtest.h>

#include <string>

using gwplugin::NsisAtoi;
using gwplugin_test::FakeNsisHost;

namespace {

// Makes the routines work on host's stack, as an export call does.
class StackCall {
 public:
  explicit StackCall(FakeNsisHost& host) : m_host(host) {
    m_host.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
      gwplugin::NsisEnterCall(size, vars, top, extra);
    });
  }

 private:
  FakeNsisHost& m_host;
};

TEST(NsisAtoi, ReadsTheHostsNumberSyntax) {
  struct Case {
    const wchar_t* text;
    int expected;
  } cases[] = {
      {L"0x1F", 31},
      {L"0X1f", 31},
      {L"017", 15},
      {L"08", 8},
      {L"-12", -12},
      {L"-0x10", 0},
      {L"", 0},
      {L"0", 0},
      {L"42abc", 42},
      {L"0x", 0},
      {L"0xfg", 15},
      {L"0178", 15},
      {L"abc", 0},
      {L"-", 0},
      {L"0xFFFFFFFF", -1},
      {L"2147483647", 2147483647},
      {L"-2147483648", static_cast<int>(0x80000000u)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.expected, NsisAtoi(c.text))
        << "text \"" << std::wstring(c.text).size() << " chars\": " << testing::PrintToString(std::wstring(c.text));
  EXPECT_EQ(0, NsisAtoi(nullptr));
}

TEST(NsisStack, PushedTextLongerThanTheStringSizeArrivesCut) {
  FakeNsisHost host(16);
  StackCall call(host);
  ASSERT_TRUE(gwplugin::NsisPushString(std::wstring(40, L'x')));
  std::wstring popped;
  ASSERT_TRUE(host.Pop(popped));
  EXPECT_EQ(std::wstring(15, L'x'), popped) << "length " << popped.size();
}

TEST(NsisStack, PopIntoASmallBufferIsBoundedAndTerminated) {
  FakeNsisHost host(1024);
  StackCall call(host);
  host.Push(std::wstring(1000, L'y'));
  wchar_t buffer[12];
  wmemset(buffer, L'#', 12);
  wchar_t guard[4] = {L'G', L'G', L'G', L'\0'};
  ASSERT_TRUE(gwplugin::NsisPopString(buffer, 8));
  EXPECT_EQ(std::wstring(7, L'y'), std::wstring(buffer));
  EXPECT_EQ(L'#', buffer[8]) << "the copy wrote past the given capacity";
  EXPECT_EQ(std::wstring(L"GGG"), std::wstring(guard));
  EXPECT_TRUE(host.Stack().empty());
}

TEST(NsisStack, PopFromAnEmptyStackLeavesAZeroedBuffer) {
  FakeNsisHost host;
  StackCall call(host);
  wchar_t buffer[16];
  wmemset(buffer, L'#', 16);
  EXPECT_FALSE(gwplugin::NsisPopString(buffer, 16));
  for (wchar_t c : buffer) EXPECT_EQ(L'\0', c);
  EXPECT_EQ(0, gwplugin::NsisPopInt());
}

TEST(NsisStack, WithoutAStackPopsGiveNothingAndPushesDoNothing) {
  FakeNsisHost host;
  host.Push(L"kept");
  host.CallWithoutStack([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
    gwplugin::NsisEnterCall(size, vars, top, extra);
    std::wstring text = L"before";
    EXPECT_FALSE(gwplugin::NsisPopString(text));
    EXPECT_TRUE(text.empty());
    EXPECT_FALSE(gwplugin::NsisPushString(L"lost"));
    EXPECT_EQ(0, gwplugin::NsisPopInt());
  });
  EXPECT_EQ(std::vector<std::wstring>{L"kept"}, host.Stack());
}

TEST(NsisStack, AnUnterminatedEntryIsReadOnlyUpToTheStringSize) {
  FakeNsisHost host(32);
  StackCall call(host);
  host.PushUnterminated(L'z');
  std::wstring popped;
  ASSERT_TRUE(gwplugin::NsisPopString(popped));
  EXPECT_EQ(std::wstring(32, L'z'), popped);
}

// A host built with a string size of 8192 passes texts far longer than the plug-in's former
// 1024-character buffers; every pop must take them whole or bounded, never overflow.
TEST(NsisStack, LongStringsOfAn8192Host) {
  FakeNsisHost host(8192);
  StackCall call(host);
  const std::wstring long_text(8191, L'L');
  host.Push(long_text);
  host.Push(long_text);
  host.Push(L"12345" + std::wstring(5000, L' '));
  EXPECT_EQ(12345, gwplugin::NsisPopInt());
  std::wstring popped;
  ASSERT_TRUE(gwplugin::NsisPopString(popped));
  EXPECT_EQ(long_text, popped) << "length " << popped.size();
  wchar_t buffer[1024];
  ASSERT_TRUE(gwplugin::NsisPopString(buffer, 1024));
  EXPECT_EQ(1023u, wcslen(buffer));
  ASSERT_TRUE(gwplugin::NsisPushString(std::wstring(9000, L'P')));
  ASSERT_TRUE(host.Pop(popped));
  EXPECT_EQ(8191u, popped.size());
}

TEST(NsisStack, VariablesAndPushedNumbers) {
  FakeNsisHost host(64);
  host.SetVariable(nsis::kVarLanguage, L"1045");
  host.SetVariable(nsis::kVarExeDir, L"C:\\setup");
  StackCall call(host);
  EXPECT_EQ(L"1045", gwplugin::NsisGetVariable(nsis::kVarLanguage));
  EXPECT_EQ(L"C:\\setup", gwplugin::NsisGetVariable(nsis::kVarExeDir));
  EXPECT_EQ(L"", gwplugin::NsisGetVariable(99));
  gwplugin::NsisPushInt(-42);
  EXPECT_EQ(std::vector<std::wstring>{L"-42"}, host.Stack());
}

TEST(NsisStack, CodeSegmentsAreCalledWithTheAddressLessOne) {
  FakeNsisHost host;
  StackCall call(host);
  gwplugin::NsisExecuteCodeSegment(5, nullptr);
  gwplugin::NsisExecuteCodeSegment(0, reinterpret_cast<HWND>(0x1234));
  ASSERT_EQ(2u, host.codeSegmentCalls.size());
  EXPECT_EQ(4, host.codeSegmentCalls[0].first);
  EXPECT_EQ(-1, host.codeSegmentCalls[1].first);
  EXPECT_EQ(reinterpret_cast<HWND>(0x1234), host.codeSegmentCalls[1].second);
}

}  // namespace
