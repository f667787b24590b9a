// Small routines shared by the plug-in: texts in the installer's language, temporary
// download files, file version values and PNG resources.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace Gdiplus {
class Image;
}

namespace gwplugin {

// The module whose resources the plug-in uses: the DLL itself (or the program that links
// the plug-in's code, in tests).
HMODULE PluginModule();

// Loads string id of the given language from the module's string table; when the
// language lacks the string (no block, or an empty entry), the Polish one (1045) is taken.
// True with the text, or false with an empty text.
bool LoadLangString(UINT id, LANGID langid, std::wstring& text);
bool LoadLangString(HMODULE module, UINT id, LANGID langid, std::wstring& text);

// The user's temporary folder (ends with a backslash).
bool GetTempDir(std::wstring& folder);
// A new empty file "ORV*.tmp" in the temporary folder's "orvel\" subfolder.
bool GetDownloadTempFile(std::wstring& path);
bool GetDownloadTempFile(const std::wstring& temp_folder, std::wstring& path);
// Removes every "ORV*" file of the download folder; true when any was found.
bool DeleteOldTempFiles();
bool DeleteOldTempFiles(const std::wstring& temp_folder);

// A value of a file's version resource: the first translation of the block that has it.
// translations points at the {language, code page} pairs, translation_bytes long.
bool GetFileVersionString(const void* version_block, const WORD* translations, UINT translation_bytes,
                          const wchar_t* name, std::wstring& value);

// A PNG resource (type "PNG") made into a GDI+ image. The image reads from a stream over
// a copy of the resource, so the copy lives (locked) as long as the image. GDI+ must be
// started while images are loaded and released.
class PngResourceImage {
 public:
  PngResourceImage();
  ~PngResourceImage();
  PngResourceImage(const PngResourceImage&) = delete;
  PngResourceImage& operator=(const PngResourceImage&) = delete;

  bool Load(UINT resource_id);
  bool Load(HMODULE module, UINT resource_id);
  void Release();

  Gdiplus::Image* Image() const { return m_image.get(); }
  SIZE_T Size() const { return m_size; }

 private:
  HGLOBAL m_block = nullptr;
  SIZE_T m_size = 0;
  std::unique_ptr<Gdiplus::Image> m_image;
  void* m_data = nullptr;
};

// Closes a held registry key and forgets it.
void CloseRegKey(HKEY& key);

}  // namespace gwplugin
