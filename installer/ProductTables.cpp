#include "ProductTables.h"

#include <UniqueHandle.h>

#include <TextConversion.h>

#include <cstring>
#include <exception>

namespace gwplugin {

const FamilyRow kFamilyTable[kFamilyCount] = {
    {0, L"Orvel", "Software\\Orvel\\Orvel Vokant"},        {-1, L"", ""},
    {2, L"Orvel 2", "Software\\Orvel\\Orvel 2 Vokant"},    {-1, L"", ""},
    {4, L"Orvel Fonexa", "Software\\Orvel\\Orvel Fonexa"},
};

const ApplicationRow kApplicationTable[kApplicationRowCount] = {
    {1, "Helmstand", "ORVEL_HELM"},
    {1, "Parlon", "ORVEL_PARLON"},
    {1, "Tunelo", "ORVEL_TUNELO"},
    {1, "Murmelin", "ORVEL_TUNELO"},
};

// The voice line. Second-generation rows come first: a first-generation record of the
// same voice found later is then dropped (see the installed-voice scan of the catalogue).
const VoiceRow kVoiceTable[kVoiceRowCount] = {
    // Family 2: Orvel 2
    {2, L"Orvel 2 Wisla (Polish)", "Wisla", "VOICE_WISLA"},
    {2, L"Orvel 2 Odra (Polish)", "Odra", "VOICE_ODRA"},
    {2, L"Orvel 2 Warta (Polish)", "Warta", "VOICE_WARTA"},
    {2, L"Orvel 2 Narew (Polish)", "Narew", "VOICE_NAREW"},
    {2, L"Orvel 2 Pilica (Polish)", "Pilica", "VOICE_PILICA"},
    {2, L"Orvel 2 Sowa (Polish)", "Sowa", "VOICE_SOWA"},
    {2, L"Orvel 2 Thames (English UK)", "Thames", "VOICE_THAMES"},
    {2, L"Orvel 2 Severn (English UK)", "Severn", "VOICE_SEVERN"},
    {2, L"Orvel 2 Trent (English UK)", "Trent", "VOICE_TRENT"},
    {2, L"Orvel 2 Kestrel (English UK)", "Kestrel", "VOICE_KESTREL"},
    {2, L"Orvel 2 Plover (English UK)", "Plover", "VOICE_PLOVER"},
    {2, L"Orvel 2 Hudson (English US)", "Hudson", "VOICE_HUDSON"},
    {2, L"Orvel 2 Platte (English US)", "Platte", "VOICE_PLATTE"},
    {2, L"Orvel 2 Osprey (English US)", "Osprey", "VOICE_OSPREY"},
    {2, L"Orvel 2 Bluejay (English US)", "Bluejay", "VOICE_BLUEJAY"},
    {2, L"Orvel 2 Shenandoah (English US)", "Shenandoah", "VOICE_SHENANDOAH"},
    {2, L"Orvel 2 Olt (Romanian)", "Olt", "VOICE_OLT"},
    {2, L"Orvel 2 Mures (Romanian)", "Mures", "VOICE_MURES"},
    {2, L"Orvel 2 Siret (Romanian)", "Siret", "VOICE_SIRET"},
    {2, L"Orvel 2 Prut (Romanian)", "Prut", "VOICE_PRUT"},
    {2, L"Orvel 2 Barza (Romanian)", "Barza", "VOICE_BARZA"},
    {2, L"Orvel 2 Ebro (Spanish)", "Ebro", "VOICE_EBRO"},
    {2, L"Orvel 2 Tajo (Spanish)", "Tajo", "VOICE_TAJO"},
    {2, L"Orvel 2 Duero (Spanish)", "Duero", "VOICE_DUERO"},
    {2, L"Orvel 2 Jilguero (Spanish)", "Jilguero", "VOICE_JILGUERO"},
    {2, L"Orvel 2 Alcotan (Spanish)", "Alcotan", "VOICE_ALCOTAN"},
    {2, L"Orvel 2 Bravo (Spanish US)", "Bravo", "VOICE_BRAVO"},
    {2, L"Orvel 2 Pecos (Spanish US)", "Pecos", "VOICE_PECOS"},
    {2, L"Orvel 2 Colibri (Spanish US)", "Colibri", "VOICE_COLIBRI"},
    {2, L"Orvel 2 Grande (Spanish US)", "Grande", "VOICE_GRANDE"},
    {2, L"Orvel 2 Elbe (German)", "Elbe", "VOICE_ELBE"},
    {2, L"Orvel 2 Mosel (German)", "Mosel", "VOICE_MOSEL"},
    {2, L"Orvel 2 Neckar (German)", "Neckar", "VOICE_NECKAR"},
    {2, L"Orvel 2 Amsel (German)", "Amsel", "VOICE_AMSEL"},
    {2, L"Orvel 2 Fink (German)", "Fink", "VOICE_FINK"},
    {2, L"Orvel 2 Loire (French)", "Loire", "VOICE_LOIRE"},
    {2, L"Orvel 2 Garonne (French)", "Garonne", "VOICE_GARONNE"},
    {2, L"Orvel 2 Rhone (French)", "Rhone", "VOICE_RHONE"},
    {2, L"Orvel 2 Mesange (French)", "Mesange", "VOICE_MESANGE"},
    {2, L"Orvel 2 Pinson (French)", "Pinson", "VOICE_PINSON"},
    {2, L"Orvel 2 Fonexa Heron (English UK)", "Fonexa Heron", "FONEXA_HERON"},
    {2, L"Orvel 2 Fonexa Eider (English US)", "Fonexa Eider", "FONEXA_EIDER"},
    {2, L"Orvel 2 Fonexa Tern (Polish)", "Fonexa Tern", "FONEXA_TERN"},
    {2, L"Orvel 2 Fonexa Albatros (German)", "Fonexa Albatros", "FONEXA_ALBATROS"},
    {2, L"Orvel 2 Fonexa Sava (Romanian)", "Fonexa Sava", "FONEXA_SAVA"},
    {2, L"Orvel 2 Fonexa Drava (French)", "Fonexa Drava", "FONEXA_DRAVA"},
    // Family 0: Orvel
    {0, L"Orvel Wisla (Polish)", "Wisla", "VOICE_WISLA"},
    {0, L"Orvel Odra (Polish)", "Odra", "VOICE_ODRA"},
    {0, L"Orvel Warta (Polish)", "Warta", "VOICE_WARTA"},
    {0, L"Orvel Narew (Polish)", "Narew", "VOICE_NAREW"},
    {0, L"Orvel Pilica (Polish)", "Pilica", "VOICE_PILICA"},
    {0, L"Orvel Sowa (Polish)", "Sowa", "VOICE_SOWA"},
    {0, L"Orvel Thames (English UK)", "Thames", "VOICE_THAMES"},
    {0, L"Orvel Severn (English UK)", "Severn", "VOICE_SEVERN"},
    {0, L"Orvel Trent (English UK)", "Trent", "VOICE_TRENT"},
    {0, L"Orvel Kestrel (English UK)", "Kestrel", "VOICE_KESTREL"},
    {0, L"Orvel Plover (English UK)", "Plover", "VOICE_PLOVER"},
    {0, L"Orvel Hudson (English US)", "Hudson", "VOICE_HUDSON"},
    {0, L"Orvel Platte (English US)", "Platte", "VOICE_PLATTE"},
    {0, L"Orvel Osprey (English US)", "Osprey", "VOICE_OSPREY"},
    {0, L"Orvel Bluejay (English US)", "Bluejay", "VOICE_BLUEJAY"},
    {0, L"Orvel Shenandoah (English US)", "Shenandoah", "VOICE_SHENANDOAH"},
    {0, L"Orvel Olt (Romanian)", "Olt", "VOICE_OLT"},
    {0, L"Orvel Mures (Romanian)", "Mures", "VOICE_MURES"},
    {0, L"Orvel Siret (Romanian)", "Siret", "VOICE_SIRET"},
    {0, L"Orvel Prut (Romanian)", "Prut", "VOICE_PRUT"},
    {0, L"Orvel Barza (Romanian)", "Barza", "VOICE_BARZA"},
    {0, L"Orvel Ebro (Spanish)", "Ebro", "VOICE_EBRO"},
    {0, L"Orvel Tajo (Spanish)", "Tajo", "VOICE_TAJO"},
    {0, L"Orvel Duero (Spanish)", "Duero", "VOICE_DUERO"},
    {0, L"Orvel Jilguero (Spanish)", "Jilguero", "VOICE_JILGUERO"},
    {0, L"Orvel Alcotan (Spanish)", "Alcotan", "VOICE_ALCOTAN"},
    {0, L"Orvel Bravo (Spanish US)", "Bravo", "VOICE_BRAVO"},
    {0, L"Orvel Pecos (Spanish US)", "Pecos", "VOICE_PECOS"},
    {0, L"Orvel Colibri (Spanish US)", "Colibri", "VOICE_COLIBRI"},
    {0, L"Orvel Grande (Spanish US)", "Grande", "VOICE_GRANDE"},
    {0, L"Orvel Elbe (German)", "Elbe", "VOICE_ELBE"},
    {0, L"Orvel Mosel (German)", "Mosel", "VOICE_MOSEL"},
    {0, L"Orvel Neckar (German)", "Neckar", "VOICE_NECKAR"},
    {0, L"Orvel Amsel (German)", "Amsel", "VOICE_AMSEL"},
    {0, L"Orvel Fink (German)", "Fink", "VOICE_FINK"},
    {0, L"Orvel Loire (French)", "Loire", "VOICE_LOIRE"},
    {0, L"Orvel Garonne (French)", "Garonne", "VOICE_GARONNE"},
    {0, L"Orvel Rhone (French)", "Rhone", "VOICE_RHONE"},
    {0, L"Orvel Mesange (French)", "Mesange", "VOICE_MESANGE"},
    {0, L"Orvel Pinson (French)", "Pinson", "VOICE_PINSON"},
    {0, L"Orvel Fonexa Heron (English UK)", "Fonexa Heron", "FONEXA_HERON"},
    {0, L"Orvel Fonexa Eider (English US)", "Fonexa Eider", "FONEXA_EIDER"},
    {0, L"Orvel Fonexa Tern (Polish)", "Fonexa Tern", "FONEXA_TERN"},
    {0, L"Orvel Fonexa Albatros (German)", "Fonexa Albatros", "FONEXA_ALBATROS"},
    {0, L"Orvel Fonexa Sava (Romanian)", "Fonexa Sava", "FONEXA_SAVA"},
    {0, L"Orvel Fonexa Drava (French)", "Fonexa Drava", "FONEXA_DRAVA"},
};

const std::map<std::string, std::string>& ApplicationKeyMap() {
  static const std::map<std::string, std::string> map = {
      {"Helmstand", "Software\\Orvel\\Orvel Helmstand"},
      {"Parlon", "Software\\Orvel\\Orvel Parlon"},
      {"Tunelo", "Software\\Orvel\\Orvel Tunelo"},
      {"Murmelin", "Software\\Orvel\\Orvel Murmelin"},
  };
  return map;
}

const FamilyRow* FindFamily(int family, const FamilyRow* families, int family_count) {
  if (family < 0 || family >= family_count) return nullptr;
  const FamilyRow& row = families[family];
  return row.family == family ? &row : nullptr;
}

int FindApplicationRowById(const char* id) {
  if (!id) return -1;
  for (int i = 0; i < kApplicationRowCount; ++i)
    if (_stricmp(kApplicationTable[i].id, id) == 0) return i;
  return -1;
}

int FindVoiceRowById(const char* id, int family) {
  if (!id) return -1;
  for (int i = 0; i < kVoiceRowCount; ++i) {
    if (family >= 0 && kVoiceTable[i].family != family) continue;
    if (_stricmp(kVoiceTable[i].id, id) == 0) return i;
  }
  return -1;
}

namespace {

constexpr std::size_t kMaxKeyPath = 259;

bool KeyExists(const std::string& key) {
  win::UniqueRegKey opened;
  return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WOW64_32KEY | KEY_QUERY_VALUE, opened.put()) ==
         ERROR_SUCCESS;
}

bool IsVoiceFamily(int family) { return family == 0 || family == 2 || family == 4; }

}  // namespace

std::string VoiceRowKey(const VoiceRow& row, const FamilyRow* families, int family_count) {
  const FamilyRow* family = FindFamily(row.family, families, family_count);
  if (!family || !row.subKey) return std::string();
  std::size_t family_length = std::strlen(family->key);
  std::size_t sub_length = std::strlen(row.subKey);
  if (family_length + sub_length + 2 > kMaxKeyPath) return std::string();
  return std::string(family->key) + "\\" + row.subKey;
}

std::string ApplicationRowKey(const ApplicationRow& row, const std::map<std::string, std::string>& key_map) {
  auto found = key_map.find(row.name ? row.name : "");
  if (found == key_map.end() || found->second.size() >= kMaxKeyPath + 1) return std::string();
  return found->second;
}

std::deque<InstalledRow> FindInstalledVoices(const VoiceRow* rows, int row_count, const FamilyRow* families,
                                             int family_count) {
  std::deque<InstalledRow> found;
  for (int i = 0; i < row_count; ++i) {
    if (!IsVoiceFamily(rows[i].family)) continue;
    std::string key = VoiceRowKey(rows[i], families, family_count);
    if (!key.empty() && KeyExists(key)) found.push_back({i, key});
  }
  return found;
}

std::deque<InstalledRow> FindInstalledVoices() {
  return FindInstalledVoices(kVoiceTable, kVoiceRowCount, kFamilyTable, kFamilyCount);
}

std::deque<InstalledRow> FindInstalledApplications(const ApplicationRow* rows, int row_count,
                                                   const std::map<std::string, std::string>& key_map) {
  std::deque<InstalledRow> found;
  for (int i = 0; i < row_count; ++i) {
    std::string key = ApplicationRowKey(rows[i], key_map);
    if (!key.empty() && KeyExists(key)) found.push_back({i, key});
  }
  return found;
}

std::deque<InstalledRow> FindInstalledApplications() {
  return FindInstalledApplications(kApplicationTable, kApplicationRowCount, ApplicationKeyMap());
}

VersionValue ReadProductVersion(const std::string& key, VersionNumber& version) {
  version = VersionNumber();
  win::UniqueRegKey opened;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_WOW64_32KEY | KEY_QUERY_VALUE, opened.put()) !=
      ERROR_SUCCESS)
    return VersionValue::NoKey;
  // A version is at most four ten-digit numbers and three dots; 128 bytes hold any valid
  // one with room to spare, and a longer value is not a version.
  char buffer[128 + 1] = {};
  DWORD type = 0;
  DWORD bytes = 128;
  LONG result = RegQueryValueExA(opened.get(), "Version", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  if (result == ERROR_FILE_NOT_FOUND) return VersionValue::Missing;
  if (result != ERROR_SUCCESS || type != REG_SZ || bytes > 128) return VersionValue::Malformed;
  buffer[bytes] = '\0';  // the stored value need not be terminated
  try {
    version = VersionNumber::Parse(AnsiToWide(std::string(buffer)));
    return VersionValue::Read;
  } catch (const std::exception&) {
    version = VersionNumber();
    return VersionValue::Malformed;
  }
}

}  // namespace gwplugin
