// SpVoice and SpStream of the fake SAPI server (see FakeSapiControl.h for their behaviour).
#pragma once

#include <windows.h>

namespace fakesapi {

HRESULT CreateVoice(REFIID riid, void** out);
HRESULT CreateStream(REFIID riid, void** out);

}  // namespace fakesapi
