#include "skin/skin_zip_loader.h"

#include <new>

#include "log/log.h"
#include "upp/image_decode.h"

namespace skin {

namespace {

constexpr wchar_t kDescriptionEntry[] = L"SKIN.INFO";

std::wstring AsciiLower(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return text;
}

}  // namespace

SkinZipLoader::SkinZipLoader(SkinLoader& target) : target_(target) {}

bool SkinZipLoader::ReadWhole(const std::wstring& name, std::string* bytes) const {
  const uint32_t size = EntrySize(name);
  if (size == 0) return false;
  try {
    bytes->assign(size, '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  return ReadEntry(name, &(*bytes)[0], size) == static_cast<int>(size);
}

bool SkinZipLoader::LoadDescription(const std::wstring& archive) {
  if (!OpenArchive(archive)) return false;
  std::string text;
  if (!ReadWhole(kDescriptionEntry, &text)) return false;
  return target_.LoadInfoText(text);
}

bool SkinZipLoader::LoadAllImages(const std::wstring& archive) {
  if (!OpenArchive(archive)) return false;
  for (const auto& [name, item] : Entries()) {
    if (name == kDescriptionEntry || item.data_size == 0) continue;
    std::string bytes;
    Upp::Image image;
    if (ReadWhole(name, &bytes)) image = Upp::DecodeImage(bytes);
    const std::wstring store_name = AsciiLower(name);
    if (image.IsEmpty()) {
      KV_LOG_ERROR << "读内置皮肤失败 " << store_name;
      continue;
    }
    target_.AddImage(store_name, image);
  }
  return true;
}

Upp::Image SkinZipLoader::LoadOneImage(const std::wstring& archive, const std::wstring& name) {
  if (!OpenArchive(archive)) return Upp::Image();
  const std::wstring entry = NormalizeName(name);
  std::string bytes;
  if (EntrySize(entry) == 0) return Upp::Image();
  Upp::Image image;
  if (ReadWhole(entry, &bytes)) image = Upp::DecodeImage(bytes);
  if (image.IsEmpty()) {
    KV_LOG_ERROR << "读外置皮肤失败 " << name;
  }
  return image;
}

}  // namespace skin
