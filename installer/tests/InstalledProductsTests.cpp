// Installed products as the catalogue records them, from the shipped tables' own keys.
#include <UniqueHandle.h>
#include <ProductCatalogue.h>
#include <ProductTables.h>

#include <gtest/gtest.h>

using namespace gwplugin;

namespace {

const char* const kKeys[] = {
    "Software\\Orvel\\Orvel 2 Vokant\\Wisla",
    "Software\\Orvel\\Orvel Vokant\\Wisla",
    "Software\\Orvel\\Orvel Vokant\\Odra",
    "Software\\Orvel\\Orvel Vokant\\Warta",
};

class InstalledVoices : public testing::Test {
 protected:
  void SetUp() override {
    Write(kKeys[0], "1.6.1.0");
    Write(kKeys[1], "1.2.0.0");
    Write(kKeys[2], nullptr);
    Write(kKeys[3], "not a version");
  }
  void TearDown() override {
    for (const char* key : kKeys) RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, KEY_WOW64_32KEY, 0);
  }
  static void Write(const char* key, const char* version) {
    win::UniqueRegKey created;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WOW64_32KEY | KEY_SET_VALUE,
                                             nullptr, created.put(), nullptr));
    if (!version) return;
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(created.get(), "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                            DWORD(strlen(version) + 1)));
  }
};

TEST_F(InstalledVoices, RecordsWithVersionsAndTheSecondGenerationKeptAlone) {
  ProductCatalogue catalogue;
  catalogue.ReadInstalledVoiceVersions();
  std::map<std::wstring, std::vector<std::wstring>> versions;
  for (const auto& p : catalogue.installedProducts) versions[p->id].push_back(p->version.ToString());
  EXPECT_EQ(std::vector<std::wstring>{L"1.6.1.0"}, versions[L"VOICE_WISLA"]);
  EXPECT_EQ(std::vector<std::wstring>{L"0.0.0.0"}, versions[L"VOICE_ODRA"]);
  EXPECT_EQ(std::vector<std::wstring>{L"0.0.0.0"}, versions[L"VOICE_WARTA"]) << "a malformed Version reads as 0.0.0.0";
  for (const auto& p : catalogue.installedProducts) {
    ASSERT_GE(p->VoiceRow(), 0) << testing::PrintToString(p->id);
  }
}

}  // namespace
