#include "ByteBuffer.h"

#include <cstring>
#include <stdexcept>

MemoryView::MemoryView(const void* data, std::int32_t length)
    : data_(static_cast<const std::uint8_t*>(data)), length_(length) {
  if (length < 0 || (length > 0 && data == nullptr))
    throw std::invalid_argument("MemoryView: negative length or null data");
}

MemoryView::MemoryView(const ByteBuffer& buffer)
    : data_(buffer.Data()), length_(buffer.Length()), zeroTerminated_(buffer.Data() != nullptr) {}

MemoryView MemoryView::SubView(std::int32_t offset) const {
  if (offset < 0 || offset > length_) throw std::out_of_range("MemoryView: offset outside the view");
  MemoryView rest(data_ + offset, length_ - offset);
  rest.zeroTerminated_ = zeroTerminated_;  // same end, same terminator
  return rest;
}

ByteBuffer::ByteBuffer(std::int32_t length) {
  if (length < 0) throw std::length_error("ByteBuffer: negative length");
  if (length > 0) {
    data_.reset(new std::uint8_t[static_cast<std::size_t>(length) + 1]);
    data_[static_cast<std::size_t>(length)] = 0;
  }
  length_ = length;
}

ByteBuffer::ByteBuffer(const MemoryView& view) : ByteBuffer(view.Length()) {
  if (view.Length() > 0) std::memcpy(data_.get(), view.Data(), static_cast<std::size_t>(view.Length()));
}

void ByteBuffer::CopyIn(std::int32_t offset, const MemoryView& view) {
  if (offset < 0 || offset > length_ || view.Length() > length_ - offset)
    throw std::out_of_range("ByteBuffer: bytes do not fit at that offset");
  if (view.Length() > 0) std::memcpy(data_.get() + offset, view.Data(), static_cast<std::size_t>(view.Length()));
}
