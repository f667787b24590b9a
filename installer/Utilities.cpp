#include "Utilities.h"

#include <UniqueHandle.h>

#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace gwplugin {

HMODULE PluginModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&PluginModule), &module))
    return nullptr;
  return module;
}

namespace {

constexpr LANGID kPolish = 1045;

// Entry id % 16 of string-table block id / 16 + 1 in one language; false when the block
// is missing, malformed or the entry is empty.
bool LoadStringEntry(HMODULE module, UINT id, LANGID langid, std::wstring& text) {
  HRSRC info = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), langid);
  if (!info) return false;
  DWORD bytes = SizeofResource(module, info);
  HGLOBAL loaded = LoadResource(module, info);
  if (!loaded || bytes == 0) return false;
  auto* p = static_cast<const WCHAR*>(LockResource(loaded));
  if (!p) return false;
  const WCHAR* end = p + bytes / sizeof(WCHAR);
  for (UINT entry = 0; entry < id % 16; ++entry) {
    if (p >= end) return false;
    p += 1 + *p;
  }
  if (p >= end || *p == 0 || p + 1 + *p > end) return false;
  text.assign(p + 1, *p);
  return true;
}

}  // namespace

bool LoadLangString(HMODULE module, UINT id, LANGID langid, std::wstring& text) {
  text.clear();
  if (!module) return false;
  if (LoadStringEntry(module, id, langid, text)) return true;
  if (LoadStringEntry(module, id, kPolish, text)) return true;
  text.clear();
  return false;
}

bool LoadLangString(UINT id, LANGID langid, std::wstring& text) {
  return LoadLangString(PluginModule(), id, langid, text);
}

bool GetTempDir(std::wstring& folder) {
  folder.clear();
  std::vector<wchar_t> buffer(2048);
  DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length == 0 || length >= buffer.size()) return false;
  folder.assign(buffer.data(), length);
  return true;
}

namespace {

constexpr wchar_t kDownloadFolder[] = L"orvel\\";
constexpr wchar_t kTempPrefix[] = L"ORV";

}  // namespace

bool GetDownloadTempFile(const std::wstring& temp_folder, std::wstring& path) {
  path.clear();
  std::wstring folder = temp_folder + kDownloadFolder;
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  wchar_t name[MAX_PATH];
  if (folder.size() > MAX_PATH - 14) return false;  // GetTempFileNameW's documented limit
  if (GetTempFileNameW(folder.c_str(), kTempPrefix, 0, name) == 0) return false;
  path = name;
  return true;
}

bool GetDownloadTempFile(std::wstring& path) {
  std::wstring temp;
  if (!GetTempDir(temp)) {
    path.clear();
    return false;
  }
  return GetDownloadTempFile(temp, path);
}

bool DeleteOldTempFiles(const std::wstring& temp_folder) {
  std::wstring folder = temp_folder + kDownloadFolder;
  std::wstring pattern = folder + kTempPrefix + L"*.*";
  WIN32_FIND_DATAW found;
  win::UniqueFind find(FindFirstFileW(pattern.c_str(), &found));
  if (!find) return false;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::wstring path = folder + found.cFileName;
    _wremove(path.c_str());
  } while (FindNextFileW(find.get(), &found));
  return true;
}

bool DeleteOldTempFiles() {
  std::wstring temp;
  return GetTempDir(temp) && DeleteOldTempFiles(temp);
}

bool GetFileVersionString(const void* version_block, const WORD* translations, UINT translation_bytes,
                          const wchar_t* name, std::wstring& value) {
  value.clear();
  if (!version_block || !translations || !name) return false;
  UINT pairs = translation_bytes / (2 * sizeof(WORD));
  for (UINT i = 0; i < pairs; ++i) {
    wchar_t query[128];
    if (_snwprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translations[2 * i], translations[2 * i + 1], name) <
        0)
      continue;
    void* text = nullptr;
    UINT length = 0;
    if (VerQueryValueW(version_block, query, &text, &length) && text) {
      value = static_cast<const wchar_t*>(text);
      return true;
    }
  }
  return false;
}

PngResourceImage::PngResourceImage() = default;

PngResourceImage::~PngResourceImage() { Release(); }

bool PngResourceImage::Load(UINT resource_id) { return Load(PluginModule(), resource_id); }

bool PngResourceImage::Load(HMODULE module, UINT resource_id) {
  Release();
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(resource_id), L"PNG");
  if (!info) return false;
  DWORD bytes = SizeofResource(module, info);
  if (bytes == 0) return false;
  HGLOBAL loaded = LoadResource(module, info);
  const void* source = loaded ? LockResource(loaded) : nullptr;
  if (!source) return false;

  win::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, bytes));
  if (!block) return false;
  void* data = GlobalLock(block.get());
  if (!data) return false;
  memcpy(data, source, bytes);

  IStream* stream = nullptr;
  if (FAILED(CreateStreamOnHGlobal(block.get(), FALSE, &stream)) || !stream) {
    GlobalUnlock(block.get());
    return false;
  }
  std::unique_ptr<Gdiplus::Image> image(Gdiplus::Image::FromStream(stream));
  stream->Release();
  if (!image || image->GetLastStatus() != Gdiplus::Ok) {
    image.reset();
    GlobalUnlock(block.get());
    return false;
  }
  m_image = std::move(image);
  m_size = bytes;
  m_data = data;
  m_block = block.release();
  return true;
}

void PngResourceImage::Release() {
  m_image.reset();
  if (m_block) {
    GlobalUnlock(m_block);
    GlobalFree(m_block);
  }
  m_block = nullptr;
  m_data = nullptr;
  m_size = 0;
}

// The one routine of the plug-in that gives back a key held by a plain HKEY; its call sequence is
// the routine's whole contract, so it stays hand-written.
void CloseRegKey(HKEY& key) {
  if (key) RegCloseKey(key);
  key = nullptr;
}

}  // namespace gwplugin
