// The maker's products as the registry knows them: the voice families, the applications
// and the voices, with the keys (under HKEY_LOCAL_MACHINE, 32-bit view) their installers
// create, and the scans that tell which of them are installed.
#pragma once

#include <VersionNumber.h>

#include <windows.h>

#include <cstddef>
#include <deque>
#include <map>
#include <string>

namespace gwplugin {

struct FamilyRow {
  int family;           // -1: unused slot
  const wchar_t* name;  // "Orvel", "Orvel 2", "Orvel Fonexa"
  const char* key;      // under HKEY_LOCAL_MACHINE
};

struct ApplicationRow {
  int family;        // 1 in every row
  const char* name;  // short name: selects the key in the application key map
  const char* id;    // catalogue id
};

struct VoiceRow {
  int family;  // 0, 2 (or 4 for the Fonexa family)
  const wchar_t* displayName;
  const char* subKey;  // appended to the family's key
  const char* id;      // "VOICE_..." or "FONEXA_..."
};

constexpr int kFamilyCount = 5;
constexpr int kApplicationRowCount = 4;
constexpr int kVoiceRowCount = 92;

extern const FamilyRow kFamilyTable[kFamilyCount];
extern const ApplicationRow kApplicationTable[kApplicationRowCount];
extern const VoiceRow kVoiceTable[kVoiceRowCount];

// Short application name -> registry key.
const std::map<std::string, std::string>& ApplicationKeyMap();

// The family row of a family number, or null for an unused or unknown number.
const FamilyRow* FindFamily(int family, const FamilyRow* families = kFamilyTable, int family_count = kFamilyCount);

// Look-ups by catalogue id, ignoring case; -1 when none. family < 0 accepts any family.
int FindApplicationRowById(const char* id);
int FindVoiceRowById(const char* id, int family);

// The registry key of a voice row ("family key\sub-key"); empty when the family is unused
// or the path would exceed 259 characters.
std::string VoiceRowKey(const VoiceRow& row, const FamilyRow* families = kFamilyTable, int family_count = kFamilyCount);
// The key of an application row from the key map; empty when missing or 260 characters
// or longer.
std::string ApplicationRowKey(const ApplicationRow& row,
                              const std::map<std::string, std::string>& key_map = ApplicationKeyMap());

struct InstalledRow {
  int row;          // index into the scanned table
  std::string key;  // the key that exists
};

// Rows of family 0, 2 or 4 whose key exists, in table order.
std::deque<InstalledRow> FindInstalledVoices();
std::deque<InstalledRow> FindInstalledVoices(const VoiceRow* rows, int row_count, const FamilyRow* families,
                                             int family_count);
// Application rows whose key exists, in table order.
std::deque<InstalledRow> FindInstalledApplications();
std::deque<InstalledRow> FindInstalledApplications(const ApplicationRow* rows, int row_count,
                                                   const std::map<std::string, std::string>& key_map);

// How a product's "Version" value was read.
enum class VersionValue {
  Read,       // a REG_SZ holding a valid version
  Missing,    // no such value (version 0.0.0.0)
  Malformed,  // wrong type, too long, or not a version (version 0.0.0.0)
  NoKey,      // the key cannot be opened (not installed)
};

// Reads "Version" from a product key into version; anything but Read leaves 0.0.0.0.
// Never throws.
VersionValue ReadProductVersion(const std::string& key, VersionNumber& version);

}  // namespace gwplugin
