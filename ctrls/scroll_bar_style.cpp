#include "ctrls/scroll_bar_style.h"

#include <map>

#include "upp/toolkit.h"

namespace ctrls {

namespace {

template <class T>
void Field(skin::SkinLoader& loader, const std::string& key, const std::string& field, T& target,
           bool& any) {
  const auto& entry = loader.Get<T>(key + "." + field, T());
  if (!entry.loaded) return;
  target = entry.value;
  any = true;
}

void Looks(skin::SkinLoader& loader, const std::string& key, const char* name, Upp::Image* looks,
           bool& any) {
  for (int i = 0; i < 4; ++i) Field(loader, key, name + std::to_string(i), looks[i], any);
}

}  // namespace

bool ReadScrollBarStyle(skin::SkinLoader& loader, const std::string& key, ScrollBarStyle& style) {
  if (!loader.HasKey(key)) return false;
  bool any = false;
  Field(loader, key, "barsize", style.barsize, any);
  Field(loader, key, "arrowsize", style.arrowsize, any);
  Field(loader, key, "thumbmin", style.thumbmin, any);
  Field(loader, key, "overthumb", style.overthumb, any);
  Field(loader, key, "through", style.through, any);
  Field(loader, key, "vthumbex", style.vthumbex, any);
  Looks(loader, key, "vupper", style.vupper, any);
  Looks(loader, key, "vthumb", style.vthumb, any);
  Looks(loader, key, "vlower", style.vlower, any);
  Looks(loader, key, "hupper", style.hupper, any);
  Looks(loader, key, "hthumb", style.hthumb, any);
  Looks(loader, key, "hlower", style.hlower, any);
  Field(loader, key, "up", style.up, any);
  Field(loader, key, "down", style.down, any);
  Field(loader, key, "left", style.left, any);
  Field(loader, key, "right", style.right, any);
  Field(loader, key, "up2", style.up2, any);
  Field(loader, key, "down2", style.down2, any);
  Field(loader, key, "left2", style.left2, any);
  Field(loader, key, "right2", style.right2, any);
  Field(loader, key, "isup2", style.isup2, any);
  Field(loader, key, "isdown2", style.isdown2, any);
  Field(loader, key, "isleft2", style.isleft2, any);
  Field(loader, key, "isright2", style.isright2, any);
  return any;
}

const ScrollBarStyle& SkinScrollBarStyle(const std::string& key) {
  UPP_CHECK_UI_THREAD();
  // std::map keeps its nodes in place, so bars may keep pointers.
  static std::map<std::string, ScrollBarStyle> cache;
  auto it = cache.find(key);
  if (it == cache.end()) {
    it = cache.emplace(key, ScrollBarStyle()).first;
    ReadScrollBarStyle(skin::SkinLoader::Instance(), key, it->second);
  }
  return it->second;
}

}  // namespace ctrls
