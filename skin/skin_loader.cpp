#include "skin/skin_loader.h"

#include <windows.h>

#include <climits>
#include <utility>

#include "upp/image_decode.h"

namespace skin {

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX / 4) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

SkinLoader& SkinLoader::Instance() {
  // Never destroyed: controls keep references into the caches until exit.
  static SkinLoader* instance = new SkinLoader;
  return *instance;
}

SkinLoader::SkinLoader() = default;

SkinLoader::~SkinLoader() { TearDownTree(tree_); }

int SkinLoader::NextTypeId() {
  static int counter = 0;
  return ++counter;
}

bool SkinLoader::LoadInfoText(const std::string& text) { return ParseInfoText(text, &tree_); }

const InfoTree* SkinLoader::Find(const std::string& key) const { return FindKey(tree_, key); }

std::string SkinLoader::Value(const std::string& key) const {
  const InfoTree* node = Find(key);
  return node ? node->data() : std::string();
}

bool SkinLoader::HasKey(const std::string& key) const { return Find(key) != nullptr; }

bool SkinLoader::Resolve(const std::string& key, std::string* resolved) const {
  return ResolveReference(tree_, key, resolved);
}

bool SkinLoader::ResolvedValue(const std::string& key, std::string* value) const {
  std::string resolved;
  if (!Resolve(key, &resolved)) return false;
  *value = Value(resolved);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Color& value) {
  std::string v;
  ColorValue color;
  if (!ResolvedValue(key, &v) || !ParseColorValue(v, &color)) return false;
  value = color.null ? Upp::Color::Null() : Upp::Color(color.r, color.g, color.b);
  return true;
}

bool SkinLoader::Read(const std::string& key, int& value) {
  return ParseIntValue(Value(key), &value);
}

bool SkinLoader::Read(const std::string& key, bool& value) {
  std::string v;
  return ResolvedValue(key, &v) && ParseBoolValue(v, &value);
}

bool SkinLoader::Read(const std::string& key, std::string& value) {
  std::string v = Value(key);
  if (v.empty()) return false;
  value = std::move(v);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Point& value) {
  std::string v;
  int n[2];
  if (!ResolvedValue(key, &v) || !ParseNumberList(v, n, 2)) return false;
  value = Upp::Point(n[0], n[1]);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Size& value) {
  std::string v;
  int n[2];
  if (!ResolvedValue(key, &v) || !ParseNumberList(v, n, 2)) return false;
  value = Upp::Size(n[0], n[1]);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Rect& value) {
  std::string v;
  int n[4];
  if (!ResolvedValue(key, &v) || !ParseNumberList(v, n, 4)) return false;
  value = Upp::Rect(n[0], n[1], n[2], n[3]);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Image& value) {
  const ImageValue parsed = ParseImageValue(Value(key));
  Upp::Image image = FindImage(Utf8ToWide(parsed.name));
  if (image.IsEmpty()) return false;
  image.ClearSpots();
  if (parsed.has_hot_spot) image.SetHotSpot(Upp::Point(parsed.hot_x, parsed.hot_y));
  if (parsed.has_second_spot) image.Set2ndSpot(Upp::Point(parsed.second_x, parsed.second_y));
  value = image;
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Font& value) {
  std::string resolved;
  if (!Resolve(key, &resolved) || !Find(resolved)) return false;
  Upp::Font font = value;
  bool any = false;
  int height = 0;
  bool flag = false;
  if (Read(resolved + ".Height", height)) {
    font.Height(height);
    any = true;
  }
  if (Read(resolved + ".Bold", flag)) {
    font.Bold(flag);
    any = true;
  }
  if (Read(resolved + ".Underline", flag)) {
    font.Underline(flag);
    any = true;
  }
  if (font_hook_) font_hook_(Utf8ToWide(resolved), font);
  if (!any) return false;
  value = font;
  return true;
}

template <class T>
void SkinLoader::ReadField(const std::string& base, const char* field, T& target, bool& any) {
  const Entry<T>& entry = Get<T>(base + "." + field, T());
  if (!entry.loaded) return;
  target = entry.value;
  any = true;
}

template <class S, class Fill>
bool SkinLoader::ReadStyle(const std::string& key, S& value, Fill fill) {
  std::string resolved;
  if (!Resolve(key, &resolved) || !Find(resolved)) return false;
  S style = value;
  bool any = false;
  fill(resolved, style, any);
  if (any) value = style;
  return any;
}

bool SkinLoader::Read(const std::string& key, ButtonStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, ButtonStyle& s, bool& any) {
    static const char* const kLooks[4] = {"look0", "look1", "look2", "look3"};
    static const char* const kInks[4] = {"textcolor0", "textcolor1", "textcolor2", "textcolor3"};
    for (int i = 0; i < 4; ++i) ReadField(k, kLooks[i], s.look[i], any);
    for (int i = 0; i < 4; ++i) ReadField(k, kInks[i], s.textcolor[i], any);
    ReadField(k, "pressoffset", s.pressoffset, any);
    ReadField(k, "posx", s.posx, any);
    ReadField(k, "posy", s.posy, any);
    ReadField(k, "align", s.align, any);
    ReadField(k, "valign", s.valign, any);
  });
}

bool SkinLoader::Read(const std::string& key, SystemPanelStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, SystemPanelStyle& s, bool& any) {
    ReadField(k, "closebox", s.closebox, any);
    ReadField(k, "restorebox", s.restorebox, any);
    ReadField(k, "maxbox", s.maxbox, any);
    ReadField(k, "minbox", s.minbox, any);
    ReadField(k, "shadow", s.shadow, any);
    ReadField(k, "changeui", s.changeui, any);
    ReadField(k, "dragtop", s.dragtop, any);
    ReadField(k, "posx", s.posx, any);
    ReadField(k, "posy", s.posy, any);
    ReadField(k, "icon", s.icon, any);
    ReadField(k, "wndbg", s.wndbg, any);
    ReadField(k, "wndcolorbg", s.wndcolorbg, any);
    ReadField(k, "iconpos", s.iconpos, any);
    ReadField(k, "titlepos", s.titlepos, any);
    ReadField(k, "titlefont", s.titlefont, any);
    ReadField(k, "titleink", s.titleink, any);
    ReadField(k, "titletext", s.titletext, any);
    ReadField(k, "wndsize", s.wndsize, any);
  });
}

bool SkinLoader::Read(const std::string& key, EditTextStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, EditTextStyle& s, bool& any) {
    static const char* const kEdges[4] = {"edge0", "edge1", "edge2", "edge3"};
    ReadField(k, "paper", s.paper, any);
    ReadField(k, "disabled", s.disabled, any);
    ReadField(k, "text", s.text, any);
    ReadField(k, "textdisabled", s.textdisabled, any);
    ReadField(k, "selected", s.selected, any);
    ReadField(k, "selectedtext", s.selectedtext, any);
    ReadField(k, "margin", s.margin, any);
    for (int i = 0; i < 4; ++i) ReadField(k, kEdges[i], s.edge[i], any);
  });
}

bool SkinLoader::Read(const std::string& key, OptionCtrlStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, OptionCtrlStyle& s, bool& any) {
    static const char* const kPressed[4] = {"pressed0", "pressed1", "pressed2", "pressed3"};
    static const char* const kUnpressed[4] = {"unpressed0", "unpressed1", "unpressed2", "unpressed3"};
    for (int i = 0; i < 4; ++i) ReadField(k, kPressed[i], s.pressed[i], any);
    for (int i = 0; i < 4; ++i) ReadField(k, kUnpressed[i], s.unpressed[i], any);
    ReadField(k, "optionview_width", s.optionview_width, any);
  });
}

bool SkinLoader::Read(const std::string& key, ProgressCtrlStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, ProgressCtrlStyle& s, bool& any) {
    ReadField(k, "bg", s.bg, any);
    ReadField(k, "block", s.block, any);
    ReadField(k, "tile", s.tile, any);
    ReadField(k, "animate", s.animate, any);
  });
}

bool SkinLoader::Read(const std::string& key, LinkStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, LinkStyle& s, bool& any) {
    ReadField(k, "textfont0", s.textfont0, any);
    ReadField(k, "textfont1", s.textfont1, any);
    ReadField(k, "textcolor", s.textcolor, any);
  });
}

bool SkinLoader::AddImage(const std::wstring& name, const Upp::Image& image) {
  if (name.empty() || image.IsEmpty()) return false;
  return images_.emplace(name, image).second;
}

Upp::Image SkinLoader::FindImage(const std::wstring& name) const {
  auto it = images_.find(name);
  return it == images_.end() ? Upp::Image() : it->second;
}

Upp::Image SkinLoader::LoadImage(const std::wstring& name) const {
  if (!image_archive_.empty()) return image_loader_ ? image_loader_(image_archive_, name) : Upp::Image();
  if (!image_folder_.empty()) {
    const wchar_t last = image_folder_.back();
    const bool has_separator = last == L'\\' || last == L'/';
    return Upp::LoadImageFile(image_folder_ + (has_separator ? L"" : L"\\") + name);
  }
  return Upp::Image();
}

void SkinLoader::SetImageFolder(const std::wstring& folder) {
  image_folder_ = folder;
  image_archive_.clear();
}

void SkinLoader::SetImageArchive(const std::wstring& archive) {
  image_archive_ = archive;
  image_folder_.clear();
}

}  // namespace skin
