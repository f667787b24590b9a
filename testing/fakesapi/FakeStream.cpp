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
      Guard g(lock_);
      if (read) *read = 0;
      if (file_) {
        DWORD got = 0;
        if (!ReadFile(file_.get(), data, size, &got, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
        if (read) *read = got;
        return got == size ? S_OK : S_FALSE;
      }
      base = base_;
    }
    return base ? base->Read(data, size, read) : kErrUninitialized;
  }
  STDMETHODIMP Write(const void* data, ULONG size, ULONG* written) override {
    ComPtr<IStream> base;
    {
      Guard g(lock_);
      if (written) *written = 0;
      if (file_) {
        DWORD put = 0;
        if (!WriteFile(file_.get(), data, size, &put, nullptr)) return HRESULT_FROM_WIN32(GetLastError());
        dataBytes_ += put;
        if (written) *written = put;
        return S_OK;
      }
      base = base_;
    }
    return base ? base->Write(data, size, written) : kErrUninitialized;
  }
  STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
    ComPtr<IStream> base;
    {
      Guard g(lock_);
      if (file_) {
        LARGE_INTEGER to = move;
        if (origin == STREAM_SEEK_SET) to.QuadPart += headerBytes_;
        LARGE_INTEGER now;
        if (!SetFilePointerEx(file_.get(), to, &now, origin)) return HRESULT_FROM_WIN32(GetLastError());
        if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart - headerBytes_);
        return S_OK;
      }
      base = base_;
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
    Guard g(lock_);
    *stat = STATSTG();
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = dataBytes_;
    return S_OK;
  }
  STDMETHODIMP Clone(IStream** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  // ---- ISpStreamFormat ----
  STDMETHODIMP GetFormat(GUID* formatId, WAVEFORMATEX** format) override {
    if (!formatId) return E_POINTER;
    Guard g(lock_);
    if (!static_cast<bool>(file_) && !base_) return kErrUninitialized;
    *formatId = formatId_;
    if (format) {
      *format = nullptr;
      if (!waveFormat_.empty()) {
        *format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(waveFormat_.size()));
        if (!*format) return E_OUTOFMEMORY;
        memcpy(*format, waveFormat_.data(), waveFormat_.size());
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
    Guard g(lock_);
    if (static_cast<bool>(file_) || base_) return kErrAlreadyInitialized;
    base_ = stream;
    SetFormatLocked(formatId, format);
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP GetBaseStream(IStream** stream) override {
    if (!stream) return E_POINTER;
    Guard g(lock_);
    *stream = base_.Get();
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
    Guard g(lock_);
    if (static_cast<bool>(file_) || base_) return kErrAlreadyInitialized;
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
    file_.reset(CreateFileW(name, access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
      file_.reset();
      return HRESULT_FROM_WIN32(GetLastError());
    }
    fileName_ = name;
    dataBytes_ = 0;
    headerBytes_ = 0;
    SetFormatLocked(formatId ? *formatId : GUID_NULL, format);
    if ((access & GENERIC_WRITE) && formatId_ == kWaveFormatExId && !waveFormat_.empty()) {
      headerBytes_ = kWaveHeaderBytes;
      hr = WriteHeaderLocked();
      if (FAILED(hr)) {
        file_.reset();
        return hr;
      }
    }
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP Close() override {
    Guard g(lock_);
    return CloseLocked(true);
  }

 protected:
  void OnFinalRelease() override {
    Guard g(lock_);
    CloseLocked(false);
  }

 private:
  void SetFormatLocked(REFGUID formatId, const WAVEFORMATEX* format) {
    formatId_ = formatId;
    waveFormat_.clear();
    if (format) {
      size_t size = sizeof(WAVEFORMATEX) + format->cbSize;
      const BYTE* bytes = reinterpret_cast<const BYTE*>(format);
      waveFormat_.assign(bytes, bytes + size);
    }
  }

  HRESULT WriteHeaderLocked() {
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(waveFormat_.data());
    BYTE header[kWaveHeaderBytes] = {};
    auto put32 = [&](size_t at, DWORD v) { memcpy(header + at, &v, 4); };
    auto put16 = [&](size_t at, WORD v) { memcpy(header + at, &v, 2); };
    memcpy(header, "RIFF", 4);
    put32(4, static_cast<DWORD>(kWaveHeaderBytes - 8 + dataBytes_));
    memcpy(header + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, wf->wFormatTag);
    put16(22, wf->nChannels);
    put32(24, wf->nSamplesPerSec);
    put32(28, wf->nAvgBytesPerSec);
    put16(32, wf->nBlockAlign);
    put16(34, wf->wBitsPerSample);
    memcpy(header + 36, "data", 4);
    put32(40, static_cast<DWORD>(dataBytes_));
    LARGE_INTEGER start = {};
    LARGE_INTEGER back = {};
    if (!SetFilePointerEx(file_.get(), LARGE_INTEGER(), &back, FILE_CURRENT) ||
        !SetFilePointerEx(file_.get(), start, nullptr, FILE_BEGIN))
      return HRESULT_FROM_WIN32(GetLastError());
    DWORD put = 0;
    BOOL ok = WriteFile(file_.get(), header, kWaveHeaderBytes, &put, nullptr);
    DWORD error = GetLastError();
    if (back.QuadPart > static_cast<LONGLONG>(kWaveHeaderBytes))
      SetFilePointerEx(file_.get(), back, nullptr, FILE_BEGIN);
    return ok && put == kWaveHeaderBytes ? S_OK : HRESULT_FROM_WIN32(error);
  }

  HRESULT CloseLocked(bool log) {
    if (file_) {
      if (headerBytes_) WriteHeaderLocked();
      file_.reset();
      if (log) LogCall(L"CloseStream", {{L"file", fileName_}});
      fileName_.clear();
      return S_OK;
    }
    if (base_) {
      base_.Reset();
      if (log) LogCall(L"CloseStream", {{L"file", L""}});
      return S_OK;
    }
    return kErrUninitialized;
  }

  Lock lock_;  // guards everything below
  win::UniqueFile file_;
  std::wstring fileName_;
  ComPtr<IStream> base_;
  GUID formatId_ = GUID_NULL;
  std::vector<BYTE> waveFormat_;
  ULONGLONG dataBytes_ = 0;
  DWORD headerBytes_ = 0;
};

}  // namespace

HRESULT CreateStream(REFIID riid, void** out) {
  FAKE_TRY
  ComPtr<Stream> stream = Adopt(new Stream());
  return stream->QueryInterface(riid, out);
  FAKE_CATCH
}

}  // namespace fakesapi
