#include "app/skin_manager.h"

#include <map>
#include <new>
#include <utility>
#include <vector>

#include "app/config_manager.h"
#include "base/file_util.h"
#include "log/log.h"
#include "skin/skin_loader.h"
#include "skin/skin_zip_loader.h"
#include "upp/ptr.h"
#include "upp/toolkit.h"

namespace korvan {

namespace {

constexpr wchar_t kFontFace[] = L"\u5FAE\u8F6F\u96C5\u9ED1";  // 微软雅黑 (Microsoft YaHei)
constexpr UINT kSkinInfoCodePage = 936;                  // skin.info is GBK

// Owns one platform font.
class ScopedFont {
 public:
  explicit ScopedFont(HFONT font = nullptr) : font_(font) {}
  ScopedFont(ScopedFont&& other) noexcept : font_(std::exchange(other.font_, nullptr)) {}
  ScopedFont& operator=(ScopedFont&& other) noexcept {
    if (this != &other) {
      Reset();
      font_ = std::exchange(other.font_, nullptr);
    }
    return *this;
  }
  ScopedFont(const ScopedFont&) = delete;
  ScopedFont& operator=(const ScopedFont&) = delete;
  ~ScopedFont() { Reset(); }
  HFONT Get() const { return font_; }

 private:
  void Reset() {
    if (font_) DeleteObject(font_);
    font_ = nullptr;
  }
  HFONT font_;
};

struct FontRecord {
  Upp::Font font;
  HFONT handle = nullptr;  // owned by KeptFonts()
  LOGFONTW description = {};
};

// Every Font copy (style records in the skin caches, the standard font,
// controls) carries the bare handle, and those copies live as long as the
// process; so the platform fonts do too, whichever manager made them.
// User-interface thread only.
HFONT KeepFont(ScopedFont font) {
  static std::vector<ScopedFont> kept;
  kept.push_back(std::move(font));
  return kept.back().Get();
}

std::wstring FromCodePage(const std::string& text, UINT code_page) {
  if (text.empty()) return std::wstring();
  const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

}  // namespace

class SkinManager::Pimpl : public Upp::Pte<Pimpl> {
 public:
  explicit Pimpl(skin::SkinLoader& loader) : loader_(loader) {}


  bool OnFontRead(const std::wstring& key, Upp::Font& font) {
    auto it = fonts_.find(key);
    if (it != fonts_.end()) {
      font = it->second.font;
      return false;
    }
    FontRecord record;
    HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
    if (!stock || GetObjectW(stock, sizeof(record.description), &record.description) == 0)
      record.description = LOGFONTW{};
    lstrcpynW(record.description.lfFaceName, kFontFace, LF_FACESIZE);
    record.description.lfWeight = font.IsBold() ? FW_BOLD : FW_NORMAL;
    record.description.lfHeight = -font.GetHeight();
    record.description.lfUnderline = font.IsUnderline() ? TRUE : FALSE;
    ScopedFont made_font(CreateFontIndirectW(&record.description));
    if (made_font.Get()) {
      LOGFONTW made = {};
      if (GetObjectW(made_font.Get(), sizeof(made), &made) != 0) record.description = made;
      record.handle = KeepFont(std::move(made_font));
    }
    font.Handle(record.handle);
    record.font = font;
    fonts_.emplace(key, std::move(record));
    return true;
  }

  template <class T>
  T GetValue(const std::wstring& key) {
    auto& entry = loader_.Get<T>(skin::WideToUtf8(key), T());
    // Settled for the rest of the run, read or not.
    entry.loaded = true;
    return entry.value;
  }

  skin::SkinLoader& loader_;
  std::map<std::wstring, FontRecord> fonts_;
  std::wstring default_key_;
  HFONT default_font_ = nullptr;
};

SkinManager::SkinManager() : SkinManager(skin::SkinLoader::Instance()) {}

SkinManager::SkinManager(skin::SkinLoader& loader) : pimpl_(std::make_unique<Pimpl>(loader)) {}

SkinManager::~SkinManager() = default;

void SkinManager::LoadSkin() { LoadSkin(ConfigManager::GetAppDataDir()); }

void SkinManager::LoadSkin(const std::wstring& data_folder) {
  UPP_CHECK_UI_THREAD();
  const std::wstring scratch = data_folder + L"\\skin";
  const std::wstring info_archive = scratch + L"\\skininfo.sk";
  const std::wstring image_archive = scratch + L"\\skin.sk";

  // 1-2. Scratch copies of the two resources; failures show up as a skin
  // that does not load, which the windows survive.
  base::CreateFolderTree(scratch);
  base::ExtractResource(L"SKININFO.ZIP", L"ZIP", info_archive);
  base::ExtractResource(L"SKIN.ZIP", L"ZIP", image_archive);

  // 3. Images asked for by name later come from an archive of their own.
  skin::SkinLoader& loader = pimpl_->loader_;
  loader.SetImageLoader([&loader](const std::wstring& archive, const std::wstring& name) {
    skin::SkinZipLoader zip(loader);
    return zip.LoadOneImage(archive, name);
  });

  // 4. A skin that fails (a broken archive, images over the pixel budget,
  // no memory) leaves the windows with the built-in look; the flow goes on.
  bool loaded = false;
  try {
    loaded = LoadSkinPackages(info_archive, {image_archive});
  } catch (const std::bad_alloc&) {
    loaded = false;
  }
  if (!loaded) KV_LOG_ERROR << "SkinManager::LoadSkin the skin did not load, the built-in look is used";

  // 5. The hook holds the manager weakly: a font read after shutdown
  // simply gets no platform font.
  Upp::Ptr<Pimpl> weak(pimpl_.get());
  loader.SetFontHook([weak](const std::wstring& key, Upp::Font& font) {
    if (Pimpl* p = weak.Get()) p->OnFontRead(key, font);
  });

  // 6-7.
  SetDefaultFont(L"normal_ft");
  base::RemoveFolderTree(scratch);
}

bool SkinManager::LoadSkinPackages(const std::wstring& description_archive,
                                   const std::vector<std::wstring>& image_archives) {
  {
    skin::SkinZipLoader zip(pimpl_->loader_);
    if (!zip.LoadDescription(description_archive)) return false;
  }
  for (const std::wstring& archive : image_archives) {
    skin::SkinZipLoader zip(pimpl_->loader_);
    if (!zip.LoadAllImages(archive)) return false;
  }
  return true;
}

bool SkinManager::OnFontRead(const std::wstring& key, Upp::Font& font) {
  return pimpl_->OnFontRead(key, font);
}

void SkinManager::SetDefaultFont(const std::wstring& key) {
  Upp::Font font = GetSkinFont(key);
  Upp::SetStdFont(font);
  pimpl_->default_key_ = key;
  auto it = pimpl_->fonts_.find(key);
  pimpl_->default_font_ = it != pimpl_->fonts_.end() ? it->second.handle : nullptr;
}

HFONT SkinManager::DefaultPlatformFont() const { return pimpl_->default_font_; }

Upp::Font SkinManager::GetSkinFont(const std::wstring& key) { return pimpl_->GetValue<Upp::Font>(key); }

std::string SkinManager::GetSkinText(const std::wstring& key) {
  return pimpl_->GetValue<std::string>(key);
}

Upp::Color SkinManager::GetSkinColor(const std::wstring& key) {
  return pimpl_->GetValue<Upp::Color>(key);
}

std::wstring SkinManager::GetWindowCaption() {
  // skin.info is GBK whatever the system's ANSI code page is.
  return FromCodePage(GetSkinText(L"default_wnd_caption"), kSkinInfoCodePage);
}

size_t SkinManager::PlatformFontCount() const { return pimpl_->fonts_.size(); }

bool SkinManager::GetPlatformFontDescription(const std::wstring& key, LOGFONTW* description) const {
  auto it = pimpl_->fonts_.find(key);
  if (it == pimpl_->fonts_.end() || !it->second.handle) return false;
  *description = it->second.description;
  return true;
}

}  // namespace korvan
