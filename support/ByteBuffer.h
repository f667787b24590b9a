// Owned bytes shared between copies: copying a ByteBuffer shares the array, it does not copy bytes.
// The array holds one zero byte more, just past Length(), so that a document read from the
// network or a file can be parsed where it lies instead of being copied to get its terminator.
#pragma once

#include "MemoryView.h"

#include <boost/shared_array.hpp>
#include <cstdint>

class ByteBuffer {
 public:
  ByteBuffer() = default;
  // A new array of length bytes, not initialised. Throws std::length_error for a negative length.
  explicit ByteBuffer(std::int32_t length);
  // A new array holding a copy of the view's bytes.
  explicit ByteBuffer(const MemoryView& view);

  std::uint8_t* Data() const { return m_data.get(); }
  std::int32_t Length() const { return m_length; }
  bool IsEmpty() const { return m_length == 0; }

  // Copies the view's bytes into this buffer at offset; throws std::out_of_range when they do not fit.
  void CopyIn(std::int32_t offset, const MemoryView& view);

 private:
  boost::shared_array<std::uint8_t> m_data;
  std::int32_t m_length = 0;
};
