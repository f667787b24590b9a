// File records and read-only mappings.
#include "Files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A scratch file in the temporary folder, removed at the end of the test.
class TempFile {
 public:
  TempFile() {
    wchar_t dir[MAX_PATH];
    wchar_t name[MAX_PATH];
    EXPECT_NE(0u, GetTempPathW(MAX_PATH, dir)) << GetLastError();
    EXPECT_NE(0u, GetTempFileNameW(dir, L"orv", 0, name)) << GetLastError();
    m_path = name;
  }
  ~TempFile() { DeleteFileW(m_path.c_str()); }

  const std::wstring& Path() const { return m_path; }

  // A record opened for reading and writing.
  FileHandlePtr OpenReadWrite() const {
    HANDLE h = CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h) << "CreateFileW error " << GetLastError();
    return MakeFileRecord(h);
  }

  std::string Contents() const {
    ByteBuffer data = ReadFileToBuffer(m_path);
    return std::string(reinterpret_cast<const char*>(data.Data()), static_cast<std::size_t>(data.Length()));
  }

 private:
  std::wstring m_path;
};

MemoryView View(const char* text) { return MemoryView(text, static_cast<std::int32_t>(std::strlen(text))); }

std::wstring MissingPath() {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + L"orvel-no-such-dir\\missing.dat";
}

}  // namespace

TEST(FileRecords, MissingPath) {
  EXPECT_FALSE(OpenFileRecord(MissingPath()));
  try {
    OpenFileForReading(MissingPath());
    FAIL() << "no exception";
  } catch (const FileException& e) {
    EXPECT_FALSE(e.File());
    EXPECT_NE(0u, e.Error());
  }
  EXPECT_THROW(ReadFileToBuffer(MissingPath()), FileException);
}

TEST(FileRecords, InvalidHandlesGiveNoRecord) {
  EXPECT_FALSE(MakeFileRecord(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(MakeFileRecord(nullptr));
}

TEST(FileRecords, NullFileIsRefusedByEveryOperation) {
  const FileHandlePtr none;
  auto expectFileException = [](const char* what, auto operation) {
    try {
      operation();
      ADD_FAILURE() << what << ": no exception";
    } catch (const FileException& e) {
      EXPECT_FALSE(e.File()) << what;
    }
  };
  expectFileException("AppendToFile", [&] { AppendToFile(none, View("x")); });
  expectFileException("TruncateFile", [&] { TruncateFile(none); });
  expectFileException("GetFileSize64", [&] { GetFileSize64(none); });
  EXPECT_THROW(MapFileReadOnly(none), FileMappingException);
}

TEST(FileRecords, AppendWritesAtTheEndAfterASeekElsewhere) {
  TempFile temp;
  FileHandlePtr file = temp.OpenReadWrite();
  ASSERT_TRUE(file);
  AppendToFile(file, View("abc"));
  ASSERT_NE(INVALID_SET_FILE_POINTER, SetFilePointer(file->Handle(), 0, nullptr, FILE_BEGIN));
  char first = 0;
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file->Handle(), &first, 1, &read, nullptr)) << GetLastError();
  EXPECT_EQ('a', first);
  AppendToFile(file, View("de"));
  EXPECT_EQ(5, GetFileSize64(file));
  file.reset();  // the writer shares no write access with readers
  EXPECT_EQ("abcde", temp.Contents());
}

TEST(FileRecords, TruncateEmptiesTheFile) {
  TempFile temp;
  FileHandlePtr file = temp.OpenReadWrite();
  ASSERT_TRUE(file);
  AppendToFile(file, View("0123456789"));
  EXPECT_EQ(10, GetFileSize64(file));
  TruncateFile(file);
  EXPECT_EQ(0, GetFileSize64(file));
  AppendToFile(file, View("z"));
  EXPECT_EQ(1, GetFileSize64(file));
}

TEST(FileRecords, WriteToAReadOnlyHandleFailsWithTheFile) {
  TempFile temp;
  FileHandlePtr file = OpenFileForReading(temp.Path());
  try {
    AppendToFile(file, View("x"));
    FAIL() << "no exception";
  } catch (const FileException& e) {
    EXPECT_EQ(file, e.File());
    EXPECT_GE(file->UseCount(), 2) << "the exception keeps the file alive";
  }
}

TEST(FileMappings, EmptyFileCannotBeMapped) {
  TempFile temp;
  FileHandlePtr file = OpenFileForReading(temp.Path());
  try {
    MapFileReadOnly(file);
    FAIL() << "no exception";
  } catch (const FileMappingException& e) {
    EXPECT_EQ(file, e.File());
    EXPECT_FALSE(e.Mapping());
  }
  EXPECT_THROW(ReadFileToBuffer(temp.Path()), FileMappingException);
}

TEST(FileMappings, ViewShowsTheWholeFile) {
  TempFile temp;
  {
    FileHandlePtr file = temp.OpenReadWrite();
    ASSERT_TRUE(file);
    AppendToFile(file, View("mapped bytes"));
  }
  FileHandlePtr file = OpenFileForReading(temp.Path());
  FileMappingPtr mapping = MapFileReadOnly(file);
  EXPECT_EQ(12, mapping->FileSize());
  EXPECT_EQ(static_cast<DWORD>(FILE_MAP_READ), mapping->ViewAccess());
  MemoryView view = mapping->MapView();
  ASSERT_EQ(12, view.Length());
  EXPECT_EQ(0, std::memcmp("mapped bytes", view.Data(), 12));
  // A second view replaces the first.
  MemoryView again = mapping->MapView();
  EXPECT_EQ(0, std::memcmp("mapped bytes", again.Data(), 12));
  EXPECT_EQ("mapped bytes", temp.Contents());
  EXPECT_NE(0u, AllocationGranularity());
}
