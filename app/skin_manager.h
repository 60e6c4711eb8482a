// The application's skin: the set-up that loads the skin carried in the
// executable's resources, and the named fonts, texts and colours the
// windows ask for.
//
// LoadSkin runs once at start-up, before any window exists: it writes the
// resources "SKININFO.ZIP" and "SKIN.ZIP" to a scratch folder under the
// per-user data folder, loads skin.info and every image from there
// into the skin reader, installs the font hook and the standard font, and
// deletes the scratch folder again. Any failure leaves the windows with
// defaults (empty images, null colours, the toolkit's standard font); the
// flow goes on.
//
// Fonts: every font key resolves to one platform font ("微软雅黑", weight
// 400 or 700, height minus the font's pixel height), created the first
// time the key is read. The platform fonts live until the process ends:
// the skin caches, the standard font and the controls keep copies of the
// handles past this manager's life.
//
// The accessors settle a key's value at its first request: a key that
// failed to read keeps the default from then on.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/logic_object.h"
#include "upp/color.h"
#include "upp/font.h"

namespace skin {
class SkinLoader;
}

namespace korvan {

class SkinManager : public base::LogicObject {
 public:
  // Serves the process-wide skin reader.
  SkinManager();
  // Serves `loader`, which must outlive the manager (tests).
  explicit SkinManager(skin::SkinLoader& loader);
  ~SkinManager() override;
  SkinManager(const SkinManager&) = delete;
  SkinManager& operator=(const SkinManager&) = delete;

  // The skin set-up in the per-user data folder (ConfigManager::GetAppDataDir).
  void LoadSkin();
  // The same with `data_folder` in its place; the scratch folder is
  // `data_folder` + "\skin".
  void LoadSkin(const std::wstring& data_folder);

  // Loads skin.info from the first archive, then the images of each
  // image archive in order. False as soon as one step fails; no image is
  // loaded when skin.info fails.
  bool LoadSkinPackages(const std::wstring& description_archive,
                        const std::vector<std::wstring>& image_archives);

  // The font hook: attaches the key's platform font, creating it on the
  // key's first read. True if the key was new.
  bool OnFontRead(const std::wstring& key, Upp::Font& font);

  // Makes the font of `key` the toolkit's standard font.
  void SetDefaultFont(const std::wstring& key);
  // The platform font of the default key; null before SetDefaultFont.
  HFONT DefaultPlatformFont() const;

  Upp::Font GetSkinFont(const std::wstring& key);
  // The bytes of skin.info (GBK), empty when absent.
  std::string GetSkinText(const std::wstring& key);
  Upp::Color GetSkinColor(const std::wstring& key);

  // "default_wnd_caption" as UTF-16.
  std::wstring GetWindowCaption();

  Upp::Color TextBlack() { return GetSkinColor(L"TextBlack"); }
  Upp::Color TextGray() { return GetSkinColor(L"TextGray"); }
  Upp::Color TextRed() { return GetSkinColor(L"TextRed"); }
  Upp::Color TextBlue() { return GetSkinColor(L"TextBlue"); }
  Upp::Color TextGreen() { return GetSkinColor(L"TextGreen"); }
  Upp::Color TextWhite() { return GetSkinColor(L"TextWhite"); }
  Upp::Color TextOrange() { return GetSkinColor(L"TextOrange"); }
  Upp::Color TextYellow() { return GetSkinColor(L"TextYellow"); }
  Upp::Color TextBrown() { return GetSkinColor(L"TextBrown"); }

  // Platform fonts created so far, and the LOGFONTW each was made from.
  size_t PlatformFontCount() const;
  bool GetPlatformFontDescription(const std::wstring& key, LOGFONTW* description) const;

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
