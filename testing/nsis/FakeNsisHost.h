// A stand-in for the NSIS installer when tests call the plug-in's exports directly: it owns a
// string stack and variable block of any string size, and records the code-segment calls and
// the unload-callback registration that the plug-in makes.
#pragma once

#include <nsisplugin.h>

#include <string>
#include <utility>
#include <vector>

namespace gwplugin_test {

class FakeNsisHost {
 public:
  explicit FakeNsisHost(int string_size = 1024);
  ~FakeNsisHost();
  FakeNsisHost(const FakeNsisHost&) = delete;
  FakeNsisHost& operator=(const FakeNsisHost&) = delete;

  // Pushes as the host does: the text is cut to string size - 1 characters.
  void Push(const std::wstring& text);
  // Pushes an entry whose string_size characters are all filled (no terminator).
  void PushUnterminated(wchar_t fill);
  // Pops the top entry (bounded by the string size); false when empty.
  bool Pop(std::wstring& text);
  // The stack's texts, top first.
  std::vector<std::wstring> Stack() const;
  void Clear();

  void SetVariable(int index, const std::wstring& value);

  // Calls an export as the host does.
  void Call(nsis::PluginExport function, HWND parent = nullptr);
  // The same with no stack at all (stack top null).
  void CallWithoutStack(nsis::PluginExport function, HWND parent = nullptr);

  // ExecuteCodeSegment calls seen: {address passed, window}.
  std::vector<std::pair<int, HWND>> codeSegmentCalls;
  int callbackRegistrations = 0;
  nsis::PluginCallback callback = nullptr;

 private:
  static int __stdcall ExecuteCodeSegment(int address, HWND parent);
  static void __stdcall ValidateFilename(WCHAR*);
  static int __stdcall RegisterPluginCallback(HMODULE, nsis::PluginCallback callback);

  int m_stringSize;
  nsis::StackEntry* m_top = nullptr;
  std::vector<WCHAR> m_variables;
  nsis::ExecFlags m_flags{};
  nsis::ExtraParameters m_extra{};
};

}  // namespace gwplugin_test
