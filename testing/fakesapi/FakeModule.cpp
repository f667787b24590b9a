// Entry points of fakesapi.dll: the class factory for the fake classes, and the hand-over to the
// original server (the system's SAPI) for processes that did not ask for the fake.
#include "FakeSapiControl.h"
#include "FakeSupport.h"
#include "FakeTokens.h"
#include "FakeVoice.h"

#include <sapi.h>
#include <wrl/client.h>

#include <string>

using Microsoft::WRL::ComPtr;

namespace fakesapi {
namespace {

using CreateFn = HRESULT (*)(REFIID, void**);

class ClassFactory : public IClassFactory {
 public:
  // `name` is the method name under which ORV_FAKESAPI_FAIL can make creation fail.
  ClassFactory(CreateFn create, const wchar_t* name) : m_create(create), m_name(name) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // The factories are static objects of the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    HRESULT hr = InjectedFailure(m_name);
    if (FAILED(hr)) return hr;
    return m_create(riid, out);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock)
      InterlockedIncrement(&g_serverLocks);
    else
      InterlockedDecrement(&g_serverLocks);
    return S_OK;
  }

 private:
  CreateFn m_create;
  const wchar_t* m_name;
};

ClassFactory g_voiceFactory(&CreateVoice, L"CreateSpVoice");
ClassFactory g_categoryFactory(&CreateCategory, L"CreateSpObjectTokenCategory");
ClassFactory g_streamFactory(&CreateStream, L"CreateSpStream");

std::wstring ClsidText(REFCLSID clsid) {
  wchar_t text[64] = {};
  StringFromGUID2(clsid, text, 64);
  return text;
}

// The original server of a class, as kept beside our registration (the system's SAPI if none).
std::wstring OriginalServer(REFCLSID clsid) {
  std::wstring path = L"CLSID\\" + ClsidText(clsid) + L"\\InprocServer32";
  win::UniqueRegKey key;
  wchar_t value[MAX_PATH] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS &&
      RegQueryValueExW(key.get(), kOriginalServerValue, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && value[0]) {
    wchar_t expanded[MAX_PATH] = {};
    if (ExpandEnvironmentStringsW(value, expanded, MAX_PATH)) return expanded;
    return value;
  }
  return L"sapi.dll";
}

HRESULT ForwardToOriginal(REFCLSID clsid, REFIID riid, void** out) {
  std::wstring server = OriginalServer(clsid);
  // Loaded for the rest of the process: objects of the original server may outlive any call.
  HMODULE module = LoadLibraryW(server.c_str());
  if (!module) return CLASS_E_CLASSNOTAVAILABLE;
  auto get = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  if (!get) return CLASS_E_CLASSNOTAVAILABLE;
  return get(clsid, riid, out);
}

}  // namespace
}  // namespace fakesapi

using namespace fakesapi;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    DisableThreadLibraryCalls(instance);
    // Objects outlive their last Release (see RefCounted) and the hidden windows use our window
    // procedure: the module stays loaded until the process ends.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCWSTR>(&DllMain), &self);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  try {
    ClassFactory* factory = nullptr;
    if (clsid == CLSID_SpVoice)
      factory = &g_voiceFactory;
    else if (clsid == CLSID_SpObjectTokenCategory)
      factory = &g_categoryFactory;
    else if (clsid == CLSID_SpStream)
      factory = &g_streamFactory;
    else
      return CLASS_E_CLASSNOTAVAILABLE;
    if (!FakeEnabled()) return ForwardToOriginal(clsid, riid, out);
    return factory->QueryInterface(riid, out);
  } catch (...) {
    return E_FAIL;
  }
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  // Pinned (see DllMain), and objects of the original server may be in use.
  return S_FALSE;
}
