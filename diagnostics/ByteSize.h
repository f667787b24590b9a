// Byte counts as the crash report prints them: "1.00 MB", "1000 bytes".
#pragma once

#include <cstdint>
#include <string>

// Divides by 1024 while the value is above 1000 and names the unit by the number of steps
// (bytes, KB, MB, GB, TB; none beyond). The text carries one NUL of its own at its end, which
// ends it when it is printed with %s.
std::string FormatByteSize(uint64_t bytes, int precision);
