// The plug-in's log: what went wrong (or what was decided) where nobody is told. Lines go to
// the debugger output and, in test builds, to the test trace (TestHooks.h). Never throws.
#pragma once

#include <string>

namespace gwplugin {

void LogLine(const std::wstring& line);

}  // namespace gwplugin

namespace gwplugin {

// An ASCII text (exception messages, result names) as a wide one.
std::wstring WidenAscii(const char* text);

}  // namespace gwplugin
