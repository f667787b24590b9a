// The NSIS host's stack and variables as the plug-in uses them.
//
// Every export stores what the host passed (NsisEnterCall); the routines below then work
// on the NSIS thread without the values being passed along. Nothing here throws.
#pragma once

#include <nsisplugin.h>

#include <cstddef>
#include <string>

namespace gwplugin {

// What the host passed to the export that runs (or ran last). Owned by the NSIS thread.
struct NsisCall {
  HWND parent = nullptr;
  int string_size = 0;
  WCHAR* variables = nullptr;
  nsis::StackEntry** stacktop = nullptr;
  nsis::ExtraParameters* extra = nullptr;
};

// The one process-wide record of the host's values.
NsisCall& Nsis();

// Keeps the values of one export call. The parent window is only taken by the page
// exports, so it is passed separately.
void NsisEnterCall(int string_size, WCHAR* variables, nsis::StackEntry** stacktop, nsis::ExtraParameters* extra);

// Pushes a text; a text of string size characters or more arrives cut to string size - 1.
// Does nothing without a stack. False when nothing was pushed.
bool NsisPushString(const std::wstring& text);
bool NsisPushString(const wchar_t* text);
// Pushes a number formatted as "%d".
bool NsisPushInt(int value);

// Pops the top entry into text (bounded by the string size). Without a stack or with an
// empty stack text is emptied and the result is false.
bool NsisPopString(std::wstring& text);
// Pops into a caller's buffer of capacity characters: the buffer is zeroed first, the
// copy is cut to capacity - 1 characters and always terminated. False when the stack
// was empty or missing (the buffer is then all zeros).
bool NsisPopString(wchar_t* buffer, std::size_t capacity);
// Pops a number (at most 127 characters of it are read) with NsisAtoi; 0 when empty.
int NsisPopInt();
// True when an entry is on the stack.
bool NsisStackHasEntries();

// NSIS's number syntax: "0x"/"0X" hexadecimal, a leading "0" with an octal digit octal,
// else an optional "-" and decimal digits. Reading stops at the first character that does
// not belong; no digits gives 0. The arithmetic wraps like the host's 32-bit integers.
int NsisAtoi(const wchar_t* text);

// The text of a variable slot (bounded by the string size); empty without variables.
std::wstring NsisGetVariable(int index);

// Runs the script function whose address the script passed (the host's code segments
// are numbered from 1, so address - 1 is handed over). Returns the host's result, or -1
// when the host gave no extra parameters.
int NsisExecuteCodeSegment(int address, HWND parent);

}  // namespace gwplugin
