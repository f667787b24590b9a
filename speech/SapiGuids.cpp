// SAPI identifiers that mingw-w64's import libraries declare but do not define (documented values).
#include <windows.h>
#include <sapi.h>

extern "C" const GUID SPDFID_WaveFormatEx = {
    0xC31ADBAE, 0x527F, 0x4ff5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};
