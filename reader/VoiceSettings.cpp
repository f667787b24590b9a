// The reader's values that the speech framework writes for it.
#include "VoiceSettings.h"

#include "Registry.h"

void WriteAppDword(LPCWSTR name, DWORD value) {
  win::RegistryKey key(HKEY_LOCAL_MACHINE, reader_settings::kAppKey, KEY_WRITE | reader_settings::kView);
  // A failed write changes nothing the reader depends on; say so for the debugger.
  if (key && !key.Write(name, REG_DWORD, &value, sizeof value))
    OutputDebugStringW(L"reader: a setting could not be written\n");
}

void WriteFirstRunDone() { WriteAppDword(L"first", 0); }

void WriteCurrentVoice(int index) { WriteAppDword(L"cur_voice", static_cast<DWORD>(index)); }
