// The maker's web addresses that the reader opens: the language page of the web site and the
// gateway page of a voice product.
#pragma once

#include <string>

#include "SpeechProtocol.h"

namespace orv_reader {

// The maker's web site (plain HTTP) and its gateway (HTTPS), the one the installer plug-in uses.
constexpr const wchar_t* kMakerSite = L"http://www.orvelspeech.com";
constexpr const wchar_t* kMakerGateway = L"https://gateway.orvelspeech.com";

// The web site's page in the user-interface language: "/tunelo.php?set_lang=" + code.
std::wstring LanguagePageAddress(const std::wstring& uiLanguageCode);

// The gateway's page of a voice: "?a=BN..." for a maker voice, "?a=OV..." for any other, then
// "&l=" + code, and for a maker voice "&PROD-<product id>=<version>".
std::wstring VoiceProductAddress(const VoiceInfo& voice, const std::wstring& uiLanguageCode);

}  // namespace orv_reader
