// The fake SpStream: binds to a wave file (writing the RIFF header on creation and fixing its
// sizes on Close) or wraps a base stream, which is how a voice's output is sent to a file.
#include "FakeVoice.h"

#include "FakeSupport.h"

#include <sapi.h>
#include <wrl/client.h>

#include <vector>

using Microsoft::WRL::ComPtr;

namespace fakesapi {

// Documented identifier of the wave format.
extern const GUID kWaveFormatExId;
const GUID kWaveFormatExId = {0xC31ADBAE, 0x527F, 0x4ff5, {0xA2, 0x30, 0xF6, 0x2B, 0xB6, 0x1F, 0xF7, 0x0C}};

namespace {

constexpr DWORD kWaveHeaderBytes = 44;

class Stream : public ISpStream, public RefCounted {
 public:
  Stream() : RefCounted(L"SpStream") {}
  FAKE_IUNKNOWN_REFS

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream || riid == IID_ISpStreamFormat ||
        riid == IID_ISpStream) {
      *out = static_cast<ISpStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  // ---- ISequentialStream / IStream ----
  STDMETHODIMP Read(void* data, ULONG size, ULONG* read) override {
    ComPtr<IStream> base;
    {
      Guard g(m_lock);
      if (read) *read = 0;
      if (m_file) {
        DWORD got = 0;
        if (!ReadFile(m_file.get(), data, size, &got, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
        if (read) *read = got;
        return got == size ? S_OK : S_FALSE;
      }
      base = m_base;
    }
    return base ? base->Read(data, size, read) : kErrUninitialized;
  }
  STDMETHODIMP Write(const void* data, ULONG size, ULONG* written) override {
    ComPtr<IStream> base;
    {
      Guard g(m_lock);
      if (written) *written = 0;
      if (m_file) {
        DWORD put = 0;
        if (!WriteFile(m_file.get(), data, size, &put, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
        m_dataBytes += put;
        if (written) *written = put;
        return S_OK;
      }
      base = m_base;
    }
    return base ? base->Write(data, size, written) : kErrUninitialized;
  }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    ComPtr<IStream> base;
    {
      Guard g(m_lock);
      if (m_file) {
        LARGE_INTEGER to = move;
        if (origin == STREAM_SEEK_SET) to.QuadPart += m_headerBytes;
        LARGE_INTEGER now;
        if (!SetFilePointerEx(m_file.get(), to, &now, origin)) return HRESULT_FROM_WIN32(GetLastError());
        if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart - m_headerBytes);
        return S_OK;
      }
      base = m_base;
    }
    return base ? base->Seek(move, origin, position) : kErrUninitialized;
  }
  STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
  STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
  STDMETHODIMP Commit(DWORD) override { return S_OK; }
  STDMETHODIMP Revert() override { return E_NOTIMPL; }
  STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Stat(STATSTG* stat, DWORD) override {
    if (!stat) return E_POINTER;
    Guard g(m_lock);
    *stat = STATSTG();
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = m_dataBytes;
    return S_OK;
  }
  STDMETHODIMP Clone(IStream** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  // ---- ISpStreamFormat ----
  STDMETHODIMP GetFormat(GUID* formatId, WAVEFORMATEX** format) override {
    if (!formatId) return E_POINTER;
    Guard g(m_lock);
    if (!static_cast<bool>(m_file) && !m_base) return kErrUninitialized;
    *formatId = m_formatId;
    if (format) {
      *format = nullptr;
      if (!m_waveFormat.empty()) {
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(m_waveFormat.size()));
        if (!*format) return E_OUTOFMEMORY;
        memcpy(*format, m_waveFormat.data(), m_waveFormat.size());
      }
    }
    return S_OK;
  }

  // ---- ISpStream ----
  STDMETHODIMP SetBaseStream(IStream* stream, REFGUID formatId, const WAVEFORMATEX* format) override {
    FAKE_TRY
    LogCall(L"SetBaseStream");
    HRESULT hr = InjectedFailure(L"SetBaseStream");
    if (FAILED(hr)) return hr;
    if (!stream) return E_INVALIDARG;
    Guard g(m_lock);
    if (static_cast<bool>(m_file) || m_base) return kErrAlreadyInitialized;
    m_base = stream;
    SetFormatLocked(formatId, format);
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP GetBaseStream(IStream** stream) override {
    if (!stream) return E_POINTER;
    Guard g(m_lock);
    *stream = m_base.Get();
    if (!*stream) return S_FALSE;
    (*stream)->AddRef();
    return S_OK;
  }
  STDMETHODIMP BindToFile(LPCWSTR name, SPFILEMODE mode, const GUID* formatId, const WAVEFORMATEX* format,
                          ULONGLONG) override {
    FAKE_TRY
    if (!name) return E_INVALIDARG;
    LogCall(L"BindToFile", {{L"file", name}});
    HRESULT hr = InjectedFailure(L"BindToFile");
    if (FAILED(hr)) return hr;
    Guard g(m_lock);
    if (static_cast<bool>(m_file) || m_base) return kErrAlreadyInitialized;
    DWORD disposition = OPEN_EXISTING, access = GENERIC_READ;
    switch (mode) {
      case SPFM_OPEN_READONLY:
        break;
      case SPFM_OPEN_READWRITE:
        access |= GENERIC_WRITE;
        break;
      case SPFM_CREATE:
        disposition = OPEN_ALWAYS;
        access |= GENERIC_WRITE;
        break;
      case SPFM_CREATE_ALWAYS:
        disposition = CREATE_ALWAYS;
        access |= GENERIC_WRITE;
        break;
      default:
        return E_INVALIDARG;
    }
    m_file.reset(CreateFileW(name, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
      m_file.reset();
      return HRESULT_FROM_WIN32(GetLastError());
    }
    m_fileName = name;
    m_dataBytes = 0;
    m_headerBytes = 0;
    SetFormatLocked(formatId ? *formatId : GUID_NULL, format);
    if ((access & GENERIC_WRITE) && m_formatId == kWaveFormatExId && !m_waveFormat.empty()) {
      m_headerBytes = kWaveHeaderBytes;
      hr = WriteHeaderLocked();
      if (FAILED(hr)) {
        m_file.reset();
        return hr;
      }
    }
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP Close() override {
    Guard g(m_lock);
    return CloseLocked(true);
  }

 protected:
  void OnFinalRelease() override {
    Guard g(m_lock);
    CloseLocked(false);
  }

 private:
  void SetFormatLocked(REFGUID formatId, const WAVEFORMATEX* format) {
    m_formatId = formatId;
    m_waveFormat.clear();
    if (format) {
      size_t size = sizeof(WAVEFORMATEX) + format->cbSize;
      const BYTE* bytes = reinterpret_cast<const BYTE*>(format);
      m_waveFormat.assign(bytes, bytes + size);
    }
  }

  HRESULT WriteHeaderLocked() {
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(m_waveFormat.data());
    BYTE header[kWaveHeaderBytes] = {};
    auto put32 = [&](size_t at, DWORD v) { memcpy(header + at, &v, 4); };
    auto put16 = [&](size_t at, WORD v) { memcpy(header + at, &v, 2); };
    memcpy(header, "RIFF", 4);
    put32(4, static_cast<DWORD>(kWaveHeaderBytes - 8 + m_dataBytes));
    memcpy(header + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, wf->wFormatTag);
    put16(22, wf->nChannels);
    put32(24, wf->nSamplesPerSec);
    put32(28, wf->nAvgBytesPerSec);
    put16(32, wf->nBlockAlign);
    put16(34, wf->wBitsPerSample);
    memcpy(header + 36, "data", 4);
    put32(40, static_cast<DWORD>(m_dataBytes));
    LARGE_INTEGER start = {};
    LARGE_INTEGER back = {};
    if (!SetFilePointerEx(m_file.get(), LARGE_INTEGER(), &back, FILE_CURRENT) ||
        !SetFilePointerEx(m_file.get(), start, nullptr, FILE_BEGIN))
      return HRESULT_FROM_WIN32(GetLastError());
    DWORD put = 0;
    BOOL ok = WriteFile(m_file.get(), header, kWaveHeaderBytes, &put, nullptr);
    DWORD error = GetLastError();
    if (back.QuadPart > static_cast<LONGLONG>(kWaveHeaderBytes))
      SetFilePointerEx(m_file.get(), back, nullptr, FILE_BEGIN);
    return ok && put == kWaveHeaderBytes ? S_OK : HRESULT_FROM_WIN32(error);
  }

  HRESULT CloseLocked(bool log) {
    if (m_file) {
      if (m_headerBytes) WriteHeaderLocked();
      m_file.reset();
      if (log) LogCall(L"CloseStream", {{L"file", m_fileName}});
      m_fileName.clear();
      return S_OK;
    }
    if (m_base) {
      m_base.Reset();
      if (log) LogCall(L"CloseStream", {{L"file", L""}});
      return S_OK;
    }
    return kErrUninitialized;
  }

  Lock m_lock;  // guards everything below
  win::UniqueFile m_file;
  std::wstring m_fileName;
  ComPtr<IStream> m_base;
  GUID m_formatId = GUID_NULL;
  std::vector<BYTE> m_waveFormat;
  ULONGLONG m_dataBytes = 0;
  DWORD m_headerBytes = 0;
};

}  // namespace

HRESULT CreateStream(REFIID riid, void** out) {
  FAKE_TRY
  ComPtr<Stream> stream = Adopt(new Stream());
  return stream->QueryInterface(riid, out);
  FAKE_CATCH
}

}  // namespace fakesapi
