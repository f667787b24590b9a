// Token category, token enumerator, tokens and data keys of the fake SAPI server, read from the
// registry as SAPI keeps them: <category>\Tokens\<name> with a default value (the description),
// named values, an "Attributes" sub-key and, per type of UI the voice supports, "UI\<type>".
#pragma once

#include <windows.h>
#include <sapi.h>

#include <string>

namespace fakesapi {

HRESULT CreateCategory(REFIID riid, void** out);
// A token for the full registry path `id` (it must exist).
HRESULT CreateToken(const std::wstring& id, ISpObjectToken** out);
// The first token of the voice category (the voice object's default voice).
HRESULT DefaultVoiceToken(ISpObjectToken** out);
// Whether the token supports that type of UI (its key has "UI\<type>").
bool TokenSupportsUI(ISpObjectToken* token, const wchar_t* typeOfUI);
std::wstring TokenId(ISpObjectToken* token);

// The engine's own dialog: a window titled with the type of UI, shown modally over `parent`
// with a message loop of its own until it is closed. Answers S_OK.
HRESULT RunEngineDialog(HWND parent, const wchar_t* typeOfUI, const void* data, ULONG size);

}  // namespace fakesapi
