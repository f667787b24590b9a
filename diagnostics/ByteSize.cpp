#include "ByteSize.h"

#include <cstdio>

std::string FormatByteSize(uint64_t bytes, int precision) {
  static const char* const kUnits[] = {" bytes", " KB", " MB", " GB", " TB"};
  double value = static_cast<double>(bytes);
  size_t steps = 0;
  // 1000 itself stays in the lower unit, so a figure never reads "1000.00 KB" only by chance.
  while (value > 1000.0) {
    value *= 1.0 / 1024.0;
    ++steps;
  }
  char number[64];
  snprintf(number, sizeof number, "%.*f", precision, value);
  std::string text(number);
  if (steps < sizeof kUnits / sizeof kUnits[0]) text += kUnits[steps];
  text.push_back('\0');
  return text;
}
