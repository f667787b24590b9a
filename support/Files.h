// Files and read-only file mappings held through shared, reference-counted records.
// Closing is done only by the last release of a record, never by the operations.
#pragma once

#include "ByteBuffer.h"
#include "MemoryView.h"
#include "RefCounted.h"
#include "Sha256.h"

#include <UniqueHandle.h>
#include <windows.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

// What was written to a file through its record, when the record keeps count: the SHA-256 and
// the length of every byte appended (AppendToFile), started afresh by each truncation
// (TruncateFile). While no other handle writes to the file, it holds exactly these bytes.
// Written on the thread that writes, read by any: its own lock guards it.
class WrittenBytes {
 public:
  void Appended(const MemoryView& data);
  void Truncated();
  // A write or truncation failed part-way: what the file holds is no longer known.
  void Lost();
  // True while every write is accounted for; length is then the count of bytes written.
  bool Intact(std::int64_t& length) const;
  // Ends the count: the digest and the length of the bytes written; false when they are not
  // known (a lost write, a hash that failed).
  bool Finish(Sha256::Digest& digest, std::int64_t& length);

 private:
  mutable std::mutex m_lock;
  Sha256 m_hash;
  std::int64_t m_length = 0;
  bool m_lost = false;
};

// One open Windows file handle; the last release closes it.
class FileHandleRecord : public RefCounted {
 public:
  explicit FileHandleRecord(HANDLE handle);
  ~FileHandleRecord() override;

  HANDLE Handle() const { return m_handle.get(); }

  // From now on the record keeps count of what is written through it (see WrittenBytes); call
  // it before the first write. The count lives as long as the record.
  void CountWrittenBytes();
  // The count, or null when the record keeps none.
  WrittenBytes* Written() const { return m_written.get(); }

 private:
  win::UniqueFile m_handle;
  std::unique_ptr<WrittenBytes> m_written;
};

// A null reference means "no file".
using FileHandlePtr = boost::intrusive_ptr<FileHandleRecord>;

// A read-only mapping of a whole file with at most one mapped view.
class FileMappingRecord : public RefCounted {
 public:
  FileMappingRecord(FileHandlePtr file, std::int64_t fileSize, HANDLE mapping);
  ~FileMappingRecord() override;

  // Maps the whole file read-only (replacing an earlier view of this record) and returns it.
  // The view stays mapped until the next MapView or the record's destruction.
  MemoryView MapView();

  const FileHandlePtr& File() const { return m_file; }
  std::int64_t FileSize() const { return m_fileSize; }
  DWORD ViewAccess() const { return m_viewAccess; }

 private:
  FileHandlePtr m_file;
  std::int64_t m_fileSize;
  win::UniqueKernelHandle m_mapping;
  DWORD m_viewAccess = FILE_MAP_READ;
  void* m_view = nullptr;
};

using FileMappingPtr = boost::intrusive_ptr<FileMappingRecord>;

// A file operation failed. Holds the file concerned (null when no file could be opened, or
// when the operation was given no file) and the Windows error code seen at the failure.
class FileException : public std::exception {
 public:
  explicit FileException(FileHandlePtr file = FileHandlePtr(), DWORD error = 0)
      : m_file(std::move(file)), m_error(error) {}

  const char* what() const noexcept override { return "FileException"; }
  const FileHandlePtr& File() const { return m_file; }
  DWORD Error() const { return m_error; }

 private:
  FileHandlePtr m_file;
  DWORD m_error;
};

// Making or viewing a mapping failed. The mapping is null when making it failed.
class FileMappingException : public FileException {
 public:
  explicit FileMappingException(FileHandlePtr file = FileHandlePtr(), FileMappingPtr mapping = FileMappingPtr(),
                                DWORD error = 0)
      : FileException(std::move(file), error), m_mapping(std::move(mapping)) {}

  const char* what() const noexcept override { return "FileMappingException"; }
  const FileMappingPtr& Mapping() const { return m_mapping; }

 private:
  FileMappingPtr m_mapping;
};

// A record that owns a handle the caller opened; an invalid handle (null or
// INVALID_HANDLE_VALUE) gives a null reference.
FileHandlePtr MakeFileRecord(HANDLE handle);

// Opens an existing file for reading (shared for reading); a null reference when it cannot be opened.
FileHandlePtr OpenFileRecord(const std::wstring& path);

// As OpenFileRecord, but throws FileException (with no file) when the file cannot be opened.
FileHandlePtr OpenFileForReading(const std::wstring& path);

// Writes the whole view at the file's current end, wherever the file pointer was, and counts it
// when the record keeps count. Throws FileException for a null file, a failed seek or write, or
// a short write.
void AppendToFile(const FileHandlePtr& file, const MemoryView& data);

// Cuts the file to length 0 (and its count of written bytes with it). Throws FileException on
// failure or for a null file.
void TruncateFile(const FileHandlePtr& file);

// The file's size in bytes. Throws FileException on failure or for a null file.
std::int64_t GetFileSize64(const FileHandlePtr& file);

// A read-only mapping of the whole file. Throws FileMappingException for a null file or when
// the mapping cannot be made (an empty file cannot be mapped), FileException when the size
// cannot be read.
FileMappingPtr MapFileReadOnly(const FileHandlePtr& file);

// The whole file's bytes in a new buffer, read through a mapping: a missing file throws
// FileException, an empty one FileMappingException (Windows maps no empty file).
ByteBuffer ReadFileToBuffer(const std::wstring& path);

// The system's allocation granularity, read once at start-up.
DWORD AllocationGranularity();
