// The registry tables and the detection of installed products, with keys that the tests
// write under their own root and remove again.
#include <UniqueHandle.h>
#include <ProductCatalogue.h>
#include <ProductTables.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

using namespace gwplugin;

namespace {

constexpr char kTestRoot[] = "Software\\OrvelPluginTests";

// Creates keys under the test root in the 32-bit view and removes the root afterwards.
class RegistryFixture : public testing::Test {
 protected:
  void TearDown() override {
    LONG result = RegDeleteTreeA(HKEY_LOCAL_MACHINE, kTestRoot);
    EXPECT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << "RegDeleteTree: " << result;
  }
  static std::string Key(const std::string& sub) { return std::string(kTestRoot) + "\\" + sub; }
  static void CreateKey(const std::string& key) {
    win::UniqueRegKey created;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_WOW64_32KEY | KEY_SET_VALUE, nullptr, created.put(), nullptr))
        << key;
  }
  static void SetValue(const std::string& key, DWORD type, const void* data, DWORD bytes) {
    win::UniqueRegKey created;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_WOW64_32KEY | KEY_SET_VALUE, nullptr, created.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(created.get(), "Version", 0, type, static_cast<const BYTE*>(data), bytes));
  }
};

TEST(ProductTables, ShapeOfTheTables) {
  EXPECT_EQ(0, kFamilyTable[0].family);
  EXPECT_EQ(-1, kFamilyTable[1].family);
  EXPECT_EQ(2, kFamilyTable[2].family);
  EXPECT_EQ(-1, kFamilyTable[3].family);
  EXPECT_EQ(4, kFamilyTable[4].family);
  EXPECT_STREQ("ORVEL_TUNELO", kApplicationTable[2].id);
  EXPECT_STREQ("ORVEL_TUNELO", kApplicationTable[3].id);
  EXPECT_EQ("Software\\Orvel\\Orvel Murmelin", ApplicationRowKey(kApplicationTable[3]));
  std::set<std::pair<int, std::string>> seen;
  for (const VoiceRow& row : kVoiceTable) {
    EXPECT_TRUE(row.family == 0 || row.family == 2) << row.id;
    EXPECT_TRUE(std::strncmp(row.id, "VOICE_", 6) == 0 || std::strncmp(row.id, "FONEXA_", 7) == 0) << row.id;
    EXPECT_TRUE(seen.insert({row.family, row.id}).second) << "duplicate " << row.id;
    EXPECT_FALSE(VoiceRowKey(row).empty()) << row.id;
  }
}

TEST_F(RegistryFixture, InstalledVoicesByFamilyKeyAndPathLength) {
  // A path of 36 + 1 + 224 characters: over 259, each component within the registry's limits.
  const std::string long_family = "Software\\OrvelPluginTests\\Gen1\\" + std::string(120, 'f');
  const std::string long_sub = std::string(100, 's') + "\\" + std::string(123, 't');
  const FamilyRow families[] = {
      {0, L"Test", "Software\\OrvelPluginTests\\Gen1"},
      {-1, L"", ""},
      {2, L"Test 2", "Software\\OrvelPluginTests\\Gen2"},
      {-1, L"", ""},
      {4, L"Long", long_family.c_str()},
  };
  const VoiceRow rows[] = {
      {2, L"Heron 2", "Heron", "VOICE_HERON"},          {0, L"Heron", "Heron", "VOICE_HERON"},
      {0, L"Missing", "Missing", "VOICE_MISSING"},      {1, L"Unused family", "Heron", "VOICE_HERON"},
      {4, L"Too long", long_sub.c_str(), "VOICE_LONG"},
  };
  CreateKey(Key("Gen2\\Heron"));
  CreateKey(Key("Gen1\\Heron"));
  // The long key exists where the registry takes such paths (Wine's does not), and either way
  // its path is not looked at.
  {
    const std::string path = long_family + "\\" + long_sub;
    const std::wstring wide(path.begin(), path.end());
    win::UniqueRegKey created;
    LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide.c_str(), 0, nullptr, 0, KEY_WOW64_32KEY | KEY_SET_VALUE,
                                  nullptr, created.put(), nullptr);
    if (result != ERROR_SUCCESS)
      std::printf("note: a %u-character key cannot be created here (%ld)\n", static_cast<unsigned>(path.size()),
                  result);
  }
  auto found = FindInstalledVoices(rows, 5, families, 5);
  ASSERT_EQ(2u, found.size());
  EXPECT_EQ(0, found[0].row);
  EXPECT_EQ(Key("Gen2\\Heron"), found[0].key);
  EXPECT_EQ(1, found[1].row);
}

TEST_F(RegistryFixture, InstalledApplicationsFromTheKeyMap) {
  const std::map<std::string, std::string> key_map = {
      {"Tunelo", Key("Tunelo")}, {"Murmelin", Key("Murmelin")}, {"Parlon", std::string(260, 'k')}};
  CreateKey(Key("Tunelo"));
  CreateKey(Key("Murmelin"));
  auto found = FindInstalledApplications(kApplicationTable, kApplicationRowCount, key_map);
  ASSERT_EQ(2u, found.size());
  EXPECT_EQ(2, found[0].row);
  EXPECT_EQ(3, found[1].row);
}

TEST_F(RegistryFixture, VersionValues) {
  struct Case {
    const char* sub;
    DWORD type;  // 0: no value
    std::string data;
    bool terminate;
    VersionValue expected;
    VersionNumber version;
  } cases[] = {
      {"NoValue", 0, "", false, VersionValue::Missing, VersionNumber()},
      {"Good", REG_SZ, "1.6.2.0", true, VersionValue::Read, VersionNumber(1, 6, 2, 0)},
      {"Short", REG_SZ, "2.1", true, VersionValue::Read, VersionNumber(2, 1, 0, 0)},
      {"Unterminated", REG_SZ, "1.5.0.0", false, VersionValue::Read, VersionNumber(1, 5, 0, 0)},
      {"Letters", REG_SZ, "1.x", true, VersionValue::Malformed, VersionNumber()},
      {"Dword", REG_DWORD, std::string("\x01\x00\x00\x00", 4), false, VersionValue::Malformed, VersionNumber()},
      {"Binary", REG_BINARY, "1.0.0.0", true, VersionValue::Malformed, VersionNumber()},
      {"TooLong", REG_SZ, std::string(127, '1') + "." + std::string(200, '2'), true, VersionValue::Malformed,
       VersionNumber()},
      {"Exactly128", REG_SZ, "1.2.3.4" + std::string(121, ' '), false, VersionValue::Malformed, VersionNumber()},
      // Leading zeros make long texts that parse as versions: only the 128-byte bound refuses
      // them. 127 characters and the terminator fit; one more does not.
      {"Fits128", REG_SZ, std::string(120, '0') + "1.2.3.4", true, VersionValue::Read, VersionNumber(1, 2, 3, 4)},
      {"Over128ByOne", REG_SZ, std::string(121, '0') + "1.2.3.4", true, VersionValue::Malformed, VersionNumber()},
      {"LongLeadingZeros", REG_SZ, std::string(300, '0') + "2.0", true, VersionValue::Malformed, VersionNumber()},
  };
  for (const Case& c : cases) {
    const std::string key = Key(c.sub);
    if (c.type == 0)
      CreateKey(key);
    else
      SetValue(key, c.type, c.data.c_str(), static_cast<DWORD>(c.data.size() + (c.terminate ? 1 : 0)));
    VersionNumber version(9, 9, 9, 9);
    EXPECT_EQ(c.expected, ReadProductVersion(key, version)) << c.sub;
    EXPECT_EQ(c.version, version) << c.sub << ": " << testing::PrintToString(version.ToString());
  }
  VersionNumber version(9, 9, 9, 9);
  EXPECT_EQ(VersionValue::NoKey, ReadProductVersion(Key("Absent"), version));
  EXPECT_EQ(VersionNumber(), version);
}

}  // namespace
