// The artwork the program ships (res/skin), read straight from the source
// tree through Wine's Z: drive, for tests that want the real looks without
// the skin set-up. Test thread only.
#pragma once

#include <string>

#include "upp/image.h"
#include "upp/image_decode.h"

namespace ctrls_test {

// res/skin/<name> as this (Wine) process opens it; empty when the source
// tree is not where it was built from.
inline std::wstring ShippedSkinFile(const std::string& name) {
  std::string here = __FILE__;  // .../tests/ctrls/shipped_skin.h
  const size_t cut = here.rfind("/tests/");
  if (cut == std::string::npos || here.empty() || here[0] != '/') return std::wstring();
  std::wstring path = L"Z:";
  for (char c : here.substr(0, cut) + "/res/skin/" + name) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

inline Upp::Image LoadShippedImage(const std::string& name) { return Upp::LoadImageFile(ShippedSkinFile(name)); }

}  // namespace ctrls_test
