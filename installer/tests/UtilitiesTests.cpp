// Language texts, temporary download files and text conversion.
#include <PluginText.h>
#include <Utilities.h>

#include <gtest/gtest.h>

#include <string>

using namespace gwplugin;

namespace {

// Strings of the test program's own table (plugin_tests.rc).
constexpr UINT kBothLanguages = 3000;
constexpr UINT kPolishOnly = 3001;
constexpr UINT kNowhere = 3002;
constexpr UINT kEmptyInEnglish = 3003;

TEST(LoadLangString, FallsBackToPolish) {
  struct Case {
    UINT id;
    LANGID langid;
    bool found;
    const wchar_t* text;
  } cases[] = {
      {kBothLanguages, 1033, true, L"English text"},
      {kBothLanguages, 1045, true, L"Tekst polski"},
      {kBothLanguages, 1031, true, L"Tekst polski"},  // no German table at all
      {kPolishOnly, 1033, true, L"Tylko po polsku"},
      {kPolishOnly, 1036, true, L"Tylko po polsku"},
      {kPolishOnly, 0x0416, true, L"Tylko po polsku"},
      {kEmptyInEnglish, 1033, true, L"Pusty po angielsku"},
      {kNowhere, 1033, false, L""},
      {kNowhere, 1045, false, L""},
  };
  for (const Case& c : cases) {
    std::wstring text = L"stale";
    EXPECT_EQ(c.found, LoadLangString(c.id, c.langid, text)) << c.id << " in " << c.langid;
    EXPECT_EQ(c.text, text) << c.id << " in " << c.langid;
  }
}

class TempFolder : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(GetTempDir(m_temp));
    m_temp += L"orv_plugin_tests\\";
    CreateDirectoryW(m_temp.c_str(), nullptr);
  }
  void TearDown() override {
    DeleteOldTempFiles(m_temp);
    RemoveDirectoryW((m_temp + L"orvel").c_str());
    RemoveDirectoryW(m_temp.c_str());
  }
  std::wstring m_temp;
};

TEST_F(TempFolder, DownloadFilesAreCreatedAndRemovedByPrefix) {
  std::wstring first, second;
  ASSERT_TRUE(GetDownloadTempFile(m_temp, first));
  ASSERT_TRUE(GetDownloadTempFile(m_temp, second));
  EXPECT_NE(first, second);
  EXPECT_EQ(0u, first.find(m_temp + L"orvel\\ORV")) << testing::PrintToString(first);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(first.c_str()));
  // A download of an earlier run ends in ".dat".
  const std::wstring dat = second + L".dat";
  HANDLE h = CreateFileW(dat.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << GetLastError();
  CloseHandle(h);
  const std::wstring other = m_temp + L"orvel\\keep.txt";
  h = CreateFileW(other.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << GetLastError();
  CloseHandle(h);

  EXPECT_TRUE(DeleteOldTempFiles(m_temp));
  for (const std::wstring& gone : {first, second, dat})
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(gone.c_str())) << testing::PrintToString(gone);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(other.c_str()));
  DeleteFileW(other.c_str());
  EXPECT_FALSE(DeleteOldTempFiles(m_temp)) << "nothing left to find";
}

TEST(TextConversion, WideToNarrowAndBack) {
  char narrow[16] = "xxxx";
  EXPECT_EQ(nullptr, WideToNarrow(L"abc", 16, CP_ACP, nullptr));
  EXPECT_EQ(nullptr, WideToNarrow(nullptr, 16, CP_ACP, narrow));
  EXPECT_STREQ("xxxx", narrow) << "a null text converts nothing";
  EXPECT_EQ(narrow, WideToNarrow(L"abc", 16, CP_ACP, narrow));
  EXPECT_STREQ("abc", narrow);
  EXPECT_EQ(nullptr, WideToNarrow(L"too long for it", 4, CP_ACP, narrow));
  EXPECT_STREQ("", narrow);
  wchar_t wide[8];
  EXPECT_EQ(wide, NarrowToWide("xyz", 8, CP_ACP, wide));
  EXPECT_STREQ(L"xyz", wide);
  EXPECT_EQ(nullptr, NarrowToWide("xyz", 8, CP_ACP, nullptr));
}

}  // namespace

#include <ProductCatalogue.h>

#include <objidl.h>
#include <gdiplus.h>

namespace {

class Gdiplus : public testing::Test {
 protected:
  void SetUp() override {
    ::Gdiplus::GdiplusStartupInput input;
    ASSERT_EQ(::Gdiplus::Ok, ::Gdiplus::GdiplusStartup(&m_token, &input, nullptr));
  }
  void TearDown() override { ::Gdiplus::GdiplusShutdown(m_token); }
  ULONG_PTR m_token = 0;
};

TEST_F(Gdiplus, PngResourceImages) {
  PngResourceImage image;
  ASSERT_TRUE(image.Load(4000));
  ASSERT_NE(nullptr, image.Image());
  EXPECT_EQ(3u, image.Image()->GetWidth());
  EXPECT_EQ(2u, image.Image()->GetHeight());
  EXPECT_GT(image.Size(), 0u);
  EXPECT_FALSE(image.Load(4001)) << "not a PNG";
  EXPECT_EQ(nullptr, image.Image());
  EXPECT_FALSE(image.Load(4999)) << "no such resource";
  ASSERT_TRUE(image.Load(4000));
  image.Release();
  EXPECT_EQ(nullptr, image.Image());
  EXPECT_EQ(0u, image.Size());
}

// Data files beside the installer: version resource, upper-case internal name, file size;
// a file whose id a descriptor already gave is not added again.
TEST_F(TempFolder, DataFilesBesideTheInstaller) {
  wchar_t self[MAX_PATH];
  ASSERT_NE(0u, GetModuleFileNameW(nullptr, self, MAX_PATH));
  const std::wstring data = m_temp + L"data";
  ASSERT_TRUE(CreateDirectoryW(data.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  const std::wstring copy = data + L"\\orveltest.dat";
  const std::wstring plain = data + L"\\orvelplain.dat";
  ASSERT_TRUE(CopyFileW(self, copy.c_str(), FALSE)) << GetLastError();
  HANDLE h = CreateFileW(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  CloseHandle(h);  // no version resource: skipped

  const std::wstring folder = m_temp.substr(0, m_temp.size() - 1);
  ProductCatalogue catalogue;
  catalogue.ScanDataFiles(folder);
  ASSERT_EQ(1u, catalogue.builtInProducts.size());
  const auto& product = *catalogue.builtInProducts[0];
  EXPECT_EQ(L"GWPLUGIN", product.id);
  EXPECT_EQ(VersionNumber(1, 0, 0, 0), product.version);
  EXPECT_EQ(copy, product.instFile);
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  ASSERT_TRUE(GetFileAttributesExW(copy.c_str(), GetFileExInfoStandard, &attributes));
  EXPECT_EQ(static_cast<std::int64_t>(attributes.nFileSizeLow), product.size);

  ProductCatalogue described;
  described.AddBuiltInDescriptor(L"GWPLUGIN|2.0|0|C:\\given.exe");
  described.ScanDataFiles(folder);
  ASSERT_EQ(1u, described.builtInProducts.size());
  EXPECT_EQ(L"C:\\given.exe", described.builtInProducts[0]->instFile);

  DeleteFileW(copy.c_str());
  DeleteFileW(plain.c_str());
  RemoveDirectoryW(data.c_str());
}

}  // namespace
