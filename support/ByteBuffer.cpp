#include "ByteBuffer.h"

#include <cstring>
#include <stdexcept>

MemoryView::MemoryView(const void* data, std::int32_t length)
    : m_data(static_cast<const std::uint8_t*>(data)), m_length(length) {
  if (length < 0 || (length > 0 && data == nullptr))
    throw std::invalid_argument("MemoryView: negative length or null data");
}

MemoryView::MemoryView(const ByteBuffer& buffer)
    : m_data(buffer.Data()), m_length(buffer.Length()), m_zeroTerminated(buffer.Data() != nullptr) {}

MemoryView MemoryView::SubView(std::int32_t offset) const {
  if (offset < 0 || offset > m_length) throw std::out_of_range("MemoryView: offset outside the view");
  MemoryView rest(m_data + offset, m_length - offset);
  rest.m_zeroTerminated = m_zeroTerminated;  // same end, same terminator
  return rest;
}

ByteBuffer::ByteBuffer(std::int32_t length) {
  if (length < 0) throw std::length_error("ByteBuffer: negative length");
  if (length > 0) {
    m_data.reset(new std::uint8_t[static_cast<std::size_t>(length) + 1]);
    m_data[static_cast<std::size_t>(length)] = 0;
  }
  m_length = length;
}

ByteBuffer::ByteBuffer(const MemoryView& view) : ByteBuffer(view.Length()) {
  if (view.Length() > 0) std::memcpy(m_data.get(), view.Data(), static_cast<std::size_t>(view.Length()));
}

void ByteBuffer::CopyIn(std::int32_t offset, const MemoryView& view) {
  if (offset < 0 || offset > m_length || view.Length() > m_length - offset)
    throw std::out_of_range("ByteBuffer: bytes do not fit at that offset");
  if (view.Length() > 0) std::memcpy(m_data.get() + offset, view.Data(), static_cast<std::size_t>(view.Length()));
}
