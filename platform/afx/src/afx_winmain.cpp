// The program entry of an application built on the layer. A static library member: the linker
// takes it only into programs that have no WinMain of their own (GUI programs, not test programs).
#include "afxwin.h"

extern "C" int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR /*lpCmdLine*/, int nCmdShow) {
  // The command line after the program name, in UTF-16.
  LPWSTR p = GetCommandLineW();
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  return AfxWinMain(hInstance, hPrevInstance, p, nCmdShow);
}
