// Borrowed, read-only bytes: a pointer and a length, owning nothing.
#pragma once

#include <cstdint>

class ByteBuffer;

class MemoryView {
 public:
  MemoryView() = default;
  MemoryView(const void* data, std::int32_t length);
  // The whole buffer; the buffer's bytes must outlive the view.
  MemoryView(const ByteBuffer& buffer);  // NOLINT: a buffer is usable wherever a view is

  const std::uint8_t* Data() const { return m_data; }
  const char* Chars() const { return reinterpret_cast<const char*>(m_data); }
  std::int32_t Length() const { return m_length; }
  // Whether the byte just past the view may be read and is zero, so that the bytes can be
  // handed as they are to code that reads up to a zero (true for views of a ByteBuffer).
  bool IsZeroTerminated() const { return m_zeroTerminated; }

  // The bytes from offset to the end; throws std::out_of_range outside [0, length].
  MemoryView SubView(std::int32_t offset) const;

 private:
  const std::uint8_t* m_data = nullptr;
  std::int32_t m_length = 0;
  bool m_zeroTerminated = false;
};
