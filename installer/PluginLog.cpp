#include "PluginLog.h"

#include "TestHooks.h"

#include <windows.h>

namespace gwplugin {

void LogLine(const std::wstring& line) {
  try {
    OutputDebugStringW((L"GWPlugin: " + line + L"\n").c_str());
    testhooks::Trace(line);
  } catch (...) {
    // Logging must never be the reason something fails.
  }
}

}  // namespace gwplugin

namespace gwplugin {

std::wstring WidenAscii(const char* text) {
  std::wstring wide;
  if (!text) return wide;
  for (; *text; ++text) wide.push_back(static_cast<unsigned char>(*text) < 0x80 ? static_cast<wchar_t>(*text) : L'?');
  return wide;
}

}  // namespace gwplugin
