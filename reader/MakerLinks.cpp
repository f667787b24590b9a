#include "MakerLinks.h"

#include "LanguageModule.h"
#include "OrvelTTSParams.h"

namespace orv_reader {

namespace {
constexpr const wchar_t* kGatewayPage = L"/orvadmin/modules/orvapi/orv.gateway.app2web.php";
constexpr const wchar_t* kMakerVoiceQuery = L"?a=BN&ap=OMN&v=1.0.13";
constexpr const wchar_t* kOtherVoiceQuery = L"?a=OV&ap=OMN&v=1.0.13";
}  // namespace

std::wstring LanguagePageAddress(const std::wstring& uiLanguageCode) {
  return std::wstring(kMakerSite) + L"/tunelo.php?set_lang=" + uiLanguageCode;
}

std::wstring VoiceProductAddress(const VoiceInfo& voice, const std::wstring& uiLanguageCode) {
  const VTTSFramework::COrvelTTSParams* params = voice.params.get();
  const std::wstring base = std::wstring(kMakerGateway) + kGatewayPage + (params ? kMakerVoiceQuery : kOtherVoiceQuery);
  std::wstring address = AppendLanguageParam(base, uiLanguageCode);
  if (params) address += L"&PROD-" + params->productId + L"=" + params->version;
  return address;
}

}  // namespace orv_reader
