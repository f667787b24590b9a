#include "Files.h"

#include <limits>
#include <stdexcept>

namespace {

// Read during static initialisation so every mapping uses the same value.
const DWORD g_allocationGranularity = [] {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}();

const FileHandlePtr& RequireFile(const FileHandlePtr& file) {
  // A null reference is "no file": refuse it through the normal failure path.
  if (!file) throw FileException(FileHandlePtr(), ERROR_INVALID_HANDLE);
  return file;
}

}  // namespace

DWORD AllocationGranularity() { return g_allocationGranularity; }

// Both "no handle" values are held as INVALID_HANDLE_VALUE, which the owner never closes.
FileHandleRecord::FileHandleRecord(HANDLE handle) : m_handle(handle == nullptr ? INVALID_HANDLE_VALUE : handle) {}

FileHandleRecord::~FileHandleRecord() = default;

void FileHandleRecord::CountWrittenBytes() {
  if (!m_written) m_written = std::make_unique<WrittenBytes>();
}

void WrittenBytes::Appended(const MemoryView& data) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_hash.Update(data.Data(), static_cast<std::size_t>(data.Length()));
  m_length += data.Length();
}

void WrittenBytes::Truncated() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_hash.Reset();
  m_length = 0;
  m_lost = false;
}

void WrittenBytes::Lost() {
  std::lock_guard<std::mutex> hold(m_lock);
  m_lost = true;
}

bool WrittenBytes::Intact(std::int64_t& length) const {
  std::lock_guard<std::mutex> hold(m_lock);
  length = m_length;
  return !m_lost && m_hash.Ok();
}

bool WrittenBytes::Finish(Sha256::Digest& digest, std::int64_t& length) {
  std::lock_guard<std::mutex> hold(m_lock);
  length = m_length;
  const bool known = !m_lost && m_hash.Finish(digest);
  m_lost = true;  // the hash has ended: nothing written later is accounted for
  return known;
}

FileHandlePtr MakeFileRecord(HANDLE handle) {
  // The record owns the handle from the call on: when it cannot be made, the owner here closes it.
  win::UniqueFile owned(handle == nullptr ? INVALID_HANDLE_VALUE : handle);
  if (!owned) return FileHandlePtr();
  FileHandlePtr record(new FileHandleRecord(owned.get()));
  owned.release();
  return record;
}

FileHandlePtr OpenFileRecord(const std::wstring& path) {
  HANDLE h =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return MakeFileRecord(h);
}

FileHandlePtr OpenFileForReading(const std::wstring& path) {
  FileHandlePtr file = OpenFileRecord(path);
  if (!file) throw FileException(FileHandlePtr(), GetLastError());
  return file;
}

void AppendToFile(const FileHandlePtr& file, const MemoryView& data) {
  RequireFile(file);
  SetLastError(0);
  if (SetFilePointer(file->Handle(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
    DWORD err = GetLastError();
    if (err != 0) throw FileException(file, err);
  }
  DWORD written = 0;
  WrittenBytes* count = file->Written();
  if (!WriteFile(file->Handle(), data.Data(), static_cast<DWORD>(data.Length()), &written, nullptr)) {
    const DWORD error = GetLastError();
    if (count) count->Lost();  // some of it may have reached the file
    throw FileException(file, error);
  }
  if (written != static_cast<DWORD>(data.Length())) {
    if (count) count->Lost();
    throw FileException(file, ERROR_WRITE_FAULT);
  }
  if (count) count->Appended(data);
}

void TruncateFile(const FileHandlePtr& file) {
  RequireFile(file);
  SetLastError(0);
  if (SetFilePointer(file->Handle(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    DWORD err = GetLastError();
    if (err != 0) throw FileException(file, err);
  }
  if (!SetEndOfFile(file->Handle())) {
    const DWORD error = GetLastError();
    if (WrittenBytes* count = file->Written()) count->Lost();
    throw FileException(file, error);
  }
  if (WrittenBytes* count = file->Written()) count->Truncated();
}

std::int64_t GetFileSize64(const FileHandlePtr& file) {
  RequireFile(file);
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file->Handle(), &size)) throw FileException(file, GetLastError());
  return size.QuadPart;
}

FileMappingRecord::FileMappingRecord(FileHandlePtr file, std::int64_t fileSize, HANDLE mapping)
    : m_file(std::move(file)), m_fileSize(fileSize), m_mapping(mapping) {}

FileMappingRecord::~FileMappingRecord() {
  // The view goes first; the mapping's owner closes it after.
  if (m_view != nullptr) UnmapViewOfFile(m_view);
}

MemoryView FileMappingRecord::MapView() {
  const std::int64_t offset = 0;
  if (m_fileSize < 0) throw FileMappingException(m_file, this, ERROR_INVALID_PARAMETER);
  if (m_view != nullptr) {
    if (!UnmapViewOfFile(m_view)) throw std::runtime_error("UnmapViewOfFile failed.");
    m_view = nullptr;
  }
  const std::int64_t start = offset - offset % g_allocationGranularity;
  const std::int64_t remainder = offset - start;
  void* address = MapViewOfFile(m_mapping.get(), m_viewAccess, static_cast<DWORD>(start >> 32),
                                static_cast<DWORD>(start & 0xFFFFFFFF), 0);
  if (address == nullptr) throw FileMappingException(m_file, this, GetLastError());
  m_view = address;
  if (m_fileSize > std::numeric_limits<std::int32_t>::max()) throw std::overflow_error("File too large for one view.");
  return MemoryView(static_cast<const std::uint8_t*>(address) + remainder,
                    static_cast<std::int32_t>(m_fileSize - remainder));
}

FileMappingPtr MapFileReadOnly(const FileHandlePtr& file) {
  if (!file) throw FileMappingException(FileHandlePtr(), FileMappingPtr(), ERROR_INVALID_HANDLE);
  const std::int64_t size = GetFileSize64(file);
  win::UniqueKernelHandle mapping(CreateFileMappingW(file->Handle(), nullptr, PAGE_READONLY, 0, 0, nullptr));
  if (!mapping) throw FileMappingException(file, FileMappingPtr(), GetLastError());
  // When the record cannot be made, the owner here closes the mapping.
  FileMappingPtr record(new FileMappingRecord(file, size, mapping.get()));
  mapping.release();
  return record;
}

ByteBuffer ReadFileToBuffer(const std::wstring& path) {
  FileHandlePtr file = OpenFileForReading(path);
  FileMappingPtr mapping = MapFileReadOnly(file);
  return ByteBuffer(mapping->MapView());
}
