// The parameter record of a maker voice, read from its token identifier and the voice
// product's registry key.
#pragma once

#include <string>

namespace VTTSFramework {

class COrvelTTSParams {
 public:
  std::wstring shortName;         // the token key after the product word: "Agata22"
  std::wstring registryKey;       // "Software\Orvel\Orvel Vokant\Agata22", under HKEY_LOCAL_MACHINE
  std::wstring productId;         // "VOICE_" and the short name's leading non-digits in upper case
  std::wstring version;           // REG_SZ "Version" of the product key, at most 16 characters; "" unknown
  bool secondGeneration = false;  // an "Orvel 2 Vokant" voice
};

}  // namespace VTTSFramework
