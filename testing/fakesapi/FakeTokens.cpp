#include "FakeTokens.h"

#include "FakeSapiControl.h"
#include "FakeSupport.h"

#include <wrl/client.h>

#include <new>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace fakesapi {

namespace {

// ISpDataKey over one registry key, shared by data keys, tokens and the category.
template <class Interface>
class DataKeyImpl : public Interface, public RefCounted {
 public:
  FAKE_IUNKNOWN_REFS

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISpDataKey || riid == __uuidof(Interface)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  STDMETHODIMP SetData(LPCWSTR name, ULONG cb, const BYTE* data) override {
    if (!m_key) return kErrUninitialized;
    return HRESULT_FROM_WIN32(RegSetValueExW(m_key.get(), name, 0, REG_BINARY, data, cb));
  }
  STDMETHODIMP GetData(LPCWSTR name, ULONG* cb, BYTE* data) override {
    if (!m_key) return kErrUninitialized;
    if (!cb) return E_POINTER;
    DWORD size = *cb;
    LONG rc = RegQueryValueExW(m_key.get(), name, nullptr, nullptr, data, &size);
    *cb = size;
    if (rc == ERROR_FILE_NOT_FOUND) return kErrNotFound;
    return HRESULT_FROM_WIN32(rc);
  }
  STDMETHODIMP SetStringValue(LPCWSTR name, LPCWSTR value) override {
    if (!m_key) return kErrUninitialized;
    if (!value) return E_POINTER;
    return HRESULT_FROM_WIN32(RegSetValueExW(m_key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                                             static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t))));
  }
  STDMETHODIMP GetStringValue(LPCWSTR name, LPWSTR* value) override {
    FAKE_TRY
    if (!value) return E_POINTER;
    *value = nullptr;
    if (!m_key) return kErrUninitialized;
    HRESULT hr = InjectedFailure(L"GetStringValue");
    if (FAILED(hr)) return hr;
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(m_key.get(), name, nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) return kErrNotFound;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return kErrNotFound;
    std::vector<wchar_t> buf(size / sizeof(wchar_t) + 1, L'\0');
    rc = RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    *value = TaskStrDup(buf.data());
    return *value ? S_OK : E_OUTOFMEMORY;
    FAKE_CATCH
  }
  STDMETHODIMP SetDWORD(LPCWSTR name, DWORD value) override {
    if (!m_key) return kErrUninitialized;
    return HRESULT_FROM_WIN32(
        RegSetValueExW(m_key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value)));
  }
  STDMETHODIMP GetDWORD(LPCWSTR name, DWORD* value) override {
    if (!m_key) return kErrUninitialized;
    if (!value) return E_POINTER;
    DWORD type = 0, size = sizeof(DWORD);
    LONG rc = RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    if (rc == ERROR_FILE_NOT_FOUND || (rc == ERROR_SUCCESS && type != REG_DWORD)) return kErrNotFound;
    return HRESULT_FROM_WIN32(rc);
  }
  STDMETHODIMP OpenKey(LPCWSTR sub, ISpDataKey** out) override;
  STDMETHODIMP CreateKey(LPCWSTR sub, ISpDataKey** out) override;
  STDMETHODIMP DeleteKey(LPCWSTR sub) override {
    if (!m_key) return kErrUninitialized;
    LONG rc = RegDeleteKeyW(m_key.get(), sub);
    return rc == ERROR_FILE_NOT_FOUND ? kErrNotFound : HRESULT_FROM_WIN32(rc);
  }
  STDMETHODIMP DeleteValue(LPCWSTR name) override {
    if (!m_key) return kErrUninitialized;
    LONG rc = RegDeleteValueW(m_key.get(), name);
    return rc == ERROR_FILE_NOT_FOUND ? kErrNotFound : HRESULT_FROM_WIN32(rc);
  }
  STDMETHODIMP EnumKeys(ULONG index, LPWSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!m_key) return kErrUninitialized;
    wchar_t buf[256];
    DWORD len = 256;
    LONG rc = RegEnumKeyExW(m_key.get(), index, buf, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return kErrNoMoreItems;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    *name = TaskStrDup(buf);
    return *name ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP EnumValues(ULONG index, LPWSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    if (!m_key) return kErrUninitialized;
    wchar_t buf[256];
    DWORD len = 256;
    LONG rc = RegEnumValueW(m_key.get(), index, buf, &len, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) return kErrNoMoreItems;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    *name = TaskStrDup(buf);
    return *name ? S_OK : E_OUTOFMEMORY;
  }

 protected:
  explicit DataKeyImpl(const wchar_t* className) : RefCounted(className) {}
  void OnFinalRelease() override { m_key.reset(); }

  win::UniqueRegKey m_key;
  std::wstring m_path;
};

class DataKey : public DataKeyImpl<ISpDataKey> {
 public:
  DataKey(win::UniqueRegKey key, std::wstring path) : DataKeyImpl(L"DataKey") {
    m_key = std::move(key);
    m_path = std::move(path);
  }
};

template <class Interface>
HRESULT OpenSubKey(const std::wstring& path, HKEY parent, LPCWSTR sub, bool create, ISpDataKey** out) {
  FAKE_TRY
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!parent) return kErrUninitialized;
  if (!sub) return E_INVALIDARG;
  HRESULT hr = create ? S_OK : InjectedFailure(L"OpenKey");
  if (FAILED(hr)) return hr;
  win::UniqueRegKey key;
  LONG rc = create ? RegCreateKeyExW(parent, sub, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr)
                   : RegOpenKeyExW(parent, sub, 0, KEY_READ, key.put());
  if (rc == ERROR_FILE_NOT_FOUND) return kErrNotFound;
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  *out = new DataKey(std::move(key), path + L"\\" + sub);
  return S_OK;
  FAKE_CATCH
}

template <class Interface>
STDMETHODIMP DataKeyImpl<Interface>::OpenKey(LPCWSTR sub, ISpDataKey** out) {
  return OpenSubKey<Interface>(m_path, m_key.get(), sub, false, out);
}
template <class Interface>
STDMETHODIMP DataKeyImpl<Interface>::CreateKey(LPCWSTR sub, ISpDataKey** out) {
  return OpenSubKey<Interface>(m_path, m_key.get(), sub, true, out);
}

// Whether every "Name=Value" (or bare "Name") of `attributes` holds for the Attributes key.
bool MatchAttributes(HKEY tokenKey, const wchar_t* attributes) {
  if (!attributes || !*attributes) return true;
  win::UniqueRegKey attrs;
  if (RegOpenKeyExW(tokenKey, L"Attributes", 0, KEY_READ, attrs.put()) != ERROR_SUCCESS) return false;
  std::wstring all = attributes;
  size_t pos = 0;
  while (pos <= all.size()) {
    size_t end = all.find(L';', pos);
    if (end == std::wstring::npos) end = all.size();
    std::wstring cond = all.substr(pos, end - pos);
    pos = end + 1;
    if (cond.empty()) continue;
    size_t eq = cond.find(L'=');
    std::wstring name = cond.substr(0, eq);
    wchar_t buf[512] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t);
    if (RegQueryValueExW(attrs.get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) !=
        ERROR_SUCCESS)
      return false;
    if (eq != std::wstring::npos && !EqualNoCase(buf, cond.substr(eq + 1))) return false;
  }
  return true;
}

class Token : public DataKeyImpl<ISpObjectToken> {
 public:
  Token() : DataKeyImpl(L"SpObjectToken") {}

  HRESULT Init(const std::wstring& id) {
    HRESULT hr = OpenRegistryPath(id, false, &m_key);
    if (SUCCEEDED(hr)) m_path = id;
    return hr;
  }

  STDMETHODIMP SetId(LPCWSTR categoryId, LPCWSTR tokenId, BOOL create) override {
    FAKE_TRY
    if (m_key) return kErrAlreadyInitialized;
    if (!tokenId) return E_POINTER;
    std::wstring id = tokenId;
    if (categoryId && id.find(L'\\') == std::wstring::npos) id = MapCategory(categoryId) + L"\\Tokens\\" + id;
    HRESULT hr = OpenRegistryPath(id, create != FALSE, &m_key);
    if (SUCCEEDED(hr)) m_path = id;
    return hr;
    FAKE_CATCH
  }
  STDMETHODIMP GetId(LPWSTR* id) override {
    if (!id) return E_POINTER;
    *id = nullptr;
    if (!m_key) return kErrUninitialized;
    *id = TaskStrDup(m_path);
    return *id ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetCategory(ISpObjectTokenCategory**) override { return E_NOTIMPL; }
  STDMETHODIMP CreateInstance(IUnknown*, DWORD, REFIID, void** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetStorageFileName(REFCLSID, LPCWSTR, LPCWSTR, ULONG, LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveStorageFileName(REFCLSID, LPCWSTR, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP Remove(const CLSID*) override { return E_NOTIMPL; }
  STDMETHODIMP IsUISupported(LPCWSTR type, void*, ULONG, IUnknown*, BOOL* supported) override {
    FAKE_TRY
    if (!type || !supported) return E_POINTER;
    *supported = FALSE;
    if (!m_key) return kErrUninitialized;
    HRESULT hr = InjectedFailure(L"TokenIsUISupported");
    if (FAILED(hr)) return hr;
    *supported = HasUI(type) ? TRUE : FALSE;
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP DisplayUI(HWND parent, LPCWSTR, LPCWSTR type, void* data, ULONG size, IUnknown*) override {
    FAKE_TRY
    if (!type) return E_POINTER;
    if (!m_key) return kErrUninitialized;
    HRESULT hr = InjectedFailure(L"TokenDisplayUI");
    if (FAILED(hr)) return hr;
    if (!HasUI(type)) return kErrNotFound;
    return RunEngineDialog(parent, type, data, size);
    FAKE_CATCH
  }
  STDMETHODIMP MatchesAttributes(LPCWSTR attributes, BOOL* matches) override {
    if (!matches) return E_POINTER;
    if (!m_key) return kErrUninitialized;
    *matches = MatchAttributes(m_key.get(), attributes) ? TRUE : FALSE;
    return S_OK;
  }

  bool HasUI(const std::wstring& type) const {
    win::UniqueRegKey ui;
    return RegOpenKeyExW(m_key.get(), (L"UI\\" + type).c_str(), 0, KEY_READ, ui.put()) == ERROR_SUCCESS;
  }
};

class TokenEnum : public IEnumSpObjectTokens, public RefCounted {
 public:
  explicit TokenEnum(std::vector<std::wstring> ids) : RefCounted(L"EnumSpObjectTokens"), m_ids(std::move(ids)) {}
  FAKE_IUNKNOWN_REFS

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IEnumSpObjectTokens) {
      *out = static_cast<IEnumSpObjectTokens*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP Next(ULONG count, ISpObjectToken** tokens, ULONG* fetched) override {
    if (!tokens) return E_POINTER;
    if (count > 1 && !fetched) return E_POINTER;
    ULONG got = 0;
    while (got < count && m_next < m_ids.size()) {
      HRESULT hr = CreateToken(m_ids[m_next], &tokens[got]);
      if (FAILED(hr)) {
        for (ULONG i = 0; i < got; ++i) tokens[i]->Release();
        return hr;
      }
      ++m_next;
      ++got;
    }
    if (fetched) *fetched = got;
    return got == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    size_t left = m_ids.size() - m_next;
    if (count > left) {
      m_next = m_ids.size();
      return S_FALSE;
    }
    m_next += count;
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    m_next = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumSpObjectTokens** out) override {
    FAKE_TRY
    if (!out) return E_POINTER;
    auto* copy = new TokenEnum(m_ids);
    copy->m_next = m_next;
    *out = copy;
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP Item(ULONG index, ISpObjectToken** token) override {
    if (!token) return E_POINTER;
    *token = nullptr;
    if (index >= m_ids.size()) return kErrNoMoreItems;
    return CreateToken(m_ids[index], token);
  }
  STDMETHODIMP GetCount(ULONG* count) override {
    if (!count) return E_POINTER;
    HRESULT hr = InjectedFailure(L"GetCount");
    if (FAILED(hr)) return hr;
    *count = static_cast<ULONG>(m_ids.size());
    return S_OK;
  }

 private:
  std::vector<std::wstring> m_ids;
  size_t m_next = 0;
};

class Category : public DataKeyImpl<ISpObjectTokenCategory> {
 public:
  Category() : DataKeyImpl(L"SpObjectTokenCategory") {}

  STDMETHODIMP SetId(LPCWSTR id, BOOL create) override {
    FAKE_TRY
    if (!id) return E_POINTER;
    if (m_key) return kErrAlreadyInitialized;
    HRESULT hr = InjectedFailure(L"SetId");
    if (FAILED(hr)) return hr;
    std::wstring path = MapCategory(id);
    hr = OpenRegistryPath(path, create != FALSE, &m_key);
    if (SUCCEEDED(hr)) m_path = path;
    return hr;
    FAKE_CATCH
  }
  STDMETHODIMP GetId(LPWSTR* id) override {
    if (!id) return E_POINTER;
    *id = nullptr;
    if (!m_key) return kErrUninitialized;
    *id = TaskStrDup(m_path);
    return *id ? S_OK : E_OUTOFMEMORY;
  }
  STDMETHODIMP GetDataKey(SPDATAKEYLOCATION, ISpDataKey** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP EnumTokens(LPCWSTR required, LPCWSTR, IEnumSpObjectTokens** out) override {
    FAKE_TRY
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!m_key) return kErrUninitialized;
    HRESULT hr = InjectedFailure(L"EnumTokens");
    if (FAILED(hr)) return hr;
    std::vector<std::wstring> ids;
    win::UniqueRegKey tokens;
    if (RegOpenKeyExW(m_key.get(), L"Tokens", 0, KEY_READ, tokens.put()) == ERROR_SUCCESS) {
      for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD len = 256;
        LONG rc = RegEnumKeyExW(tokens.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc != ERROR_SUCCESS) break;
        win::UniqueRegKey token;
        if (RegOpenKeyExW(tokens.get(), name, 0, KEY_READ, token.put()) != ERROR_SUCCESS) continue;
        if (!MatchAttributes(token.get(), required)) continue;
        ids.push_back(m_path + L"\\Tokens\\" + name);
      }
    }
    *out = new TokenEnum(std::move(ids));
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP SetDefaultTokenId(LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetDefaultTokenId(LPWSTR* id) override {
    if (id) *id = nullptr;
    return E_NOTIMPL;
  }
};

}  // namespace

HRESULT CreateCategory(REFIID riid, void** out) {
  FAKE_TRY
  ComPtr<Category> category = Adopt(new Category());
  return category->QueryInterface(riid, out);
  FAKE_CATCH
}

HRESULT CreateToken(const std::wstring& id, ISpObjectToken** out) {
  FAKE_TRY
  if (!out) return E_POINTER;
  *out = nullptr;
  ComPtr<Token> token = Adopt(new Token());
  HRESULT hr = token->Init(id);
  if (FAILED(hr)) return hr;
  *out = token.Detach();
  return S_OK;
  FAKE_CATCH
}

HRESULT DefaultVoiceToken(ISpObjectToken** out) {
  FAKE_TRY
  if (!out) return E_POINTER;
  *out = nullptr;
  std::wstring path = MapCategory(kVoiceCategory) + L"\\Tokens";
  win::UniqueRegKey tokens;
  HRESULT hr = OpenRegistryPath(path, false, &tokens);
  if (FAILED(hr)) return hr;
  wchar_t name[256];
  DWORD len = 256;
  if (RegEnumKeyExW(tokens.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
    return kErrNotFound;
  return CreateToken(path + L"\\" + name, out);
  FAKE_CATCH
}

bool TokenSupportsUI(ISpObjectToken* token, const wchar_t* typeOfUI) {
  if (!token) return false;
  BOOL supported = FALSE;
  return SUCCEEDED(token->IsUISupported(typeOfUI, nullptr, 0, nullptr, &supported)) && supported;
}

std::wstring TokenId(ISpObjectToken* token) {
  std::wstring out;
  LPWSTR id = nullptr;
  if (token && SUCCEEDED(token->GetId(&id)) && id) {
    out = id;
    CoTaskMemFree(id);
  }
  return out;
}

}  // namespace fakesapi
