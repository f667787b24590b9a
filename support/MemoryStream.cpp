#include "MemoryStream.h"

#include <cstring>
#include <new>

MemoryStream* MemoryStream::Create(const void* data, std::int32_t size) {
  if (size < 0 || (size > 0 && data == nullptr)) return nullptr;
  return new (std::nothrow) MemoryStream(data, size);
}

HRESULT STDMETHODCALLTYPE MemoryStream::QueryInterface(REFIID riid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IStream) || IsEqualIID(riid, IID_ISequentialStream)) {
    *object = static_cast<IStream*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE MemoryStream::AddRef() { return static_cast<ULONG>(++m_refs); }

ULONG STDMETHODCALLTYPE MemoryStream::Release() {
  LONG left = --m_refs;
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT STDMETHODCALLTYPE MemoryStream::Read(void* buffer, ULONG count, ULONG* read) {
  if (m_position >= m_size) return S_FALSE;
  if (buffer == nullptr && count > 0) return STG_E_INVALIDPOINTER;
  const ULONG left = static_cast<ULONG>(m_size - m_position);
  const ULONG n = count < left ? count : left;
  if (n > 0) std::memcpy(buffer, m_data + m_position, n);
  m_position += static_cast<std::int32_t>(n);
  if (read != nullptr) *read = n;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryStream::Write(const void*, ULONG, ULONG*) {
  // The stream is read-only; writes are accepted and dropped.
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryStream::Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) {
  const std::int64_t distance = static_cast<std::int32_t>(move.LowPart);
  std::int64_t base = 0;
  switch (origin) {
    case STREAM_SEEK_SET:
      base = 0;
      break;
    case STREAM_SEEK_CUR:
      base = m_position;
      break;
    case STREAM_SEEK_END:
      base = m_size;
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  const std::int64_t target = base + distance;
  if (target < 0 || target > 0x7FFFFFFF) return STG_E_INVALIDFUNCTION;
  m_position = static_cast<std::int32_t>(target);
  if (newPosition != nullptr) newPosition->QuadPart = static_cast<ULONGLONG>(m_position);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE MemoryStream::SetSize(ULARGE_INTEGER) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MemoryStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE MemoryStream::Commit(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MemoryStream::Revert() { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MemoryStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MemoryStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE MemoryStream::Clone(IStream**) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE MemoryStream::Stat(STATSTG* stat, DWORD) {
  if (stat == nullptr) return STG_E_INVALIDPOINTER;
  std::memset(stat, 0, sizeof(*stat));
  stat->type = STGTY_STREAM;
  stat->cbSize.QuadPart = static_cast<ULONGLONG>(m_size);
  return S_OK;
}
