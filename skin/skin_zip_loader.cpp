#include "skin/skin_zip_loader.h"

#include <new>
#include <utility>
#include <vector>

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
  struct Pending {
    std::wstring name;
    std::string bytes;
    Upp::Image image;
  };
  std::vector<Pending> pending;
  try {
    // The archive is read first; a PNG header states the size, so
    // an archive over the budget is refused before any pixel is taken.
    uint64_t stated = 0;
    for (const auto& [name, item] : Entries()) {
      if (name == kDescriptionEntry || item.data_size == 0) continue;
      Pending p{AsciiLower(name), std::string(), Upp::Image()};
      if (!ReadWhole(name, &p.bytes)) p.bytes.clear();
      stated += PngPixels(p.bytes);
      if (stated > kMaxSkinPixels) return OverBudget(archive);
      pending.push_back(std::move(p));
    }
    for (Pending& p : pending) {
      p.image = Upp::DecodeImage(p.bytes);
      std::string().swap(p.bytes);
    }
    uint64_t pixels = 0;
    for (const Pending& p : pending) {
      const Upp::Size size = p.image.GetSize();
      pixels += static_cast<uint64_t>(size.cx) * static_cast<uint64_t>(size.cy);
    }
    if (pixels > kMaxSkinPixels) return OverBudget(archive);
  } catch (const std::bad_alloc&) {
    KV_LOG_ERROR << "SkinZipLoader::LoadAllImages out of memory, no image of the skin is used";
    return false;
  }
  for (const Pending& p : pending) {
    if (p.image.IsEmpty()) {
      KV_LOG_ERROR << "读内置皮肤失败 " << p.name;
      continue;
    }
    target_.AddImage(p.name, p.image);
  }
  return true;
}

uint64_t SkinZipLoader::PngPixels(const std::string& bytes) {
  // Signature (8), IHDR length and type (8), then width and height.
  if (bytes.size() < 24 || !Upp::IsPngData(bytes.data(), bytes.size())) return 0;
  auto be32 = [&](size_t at) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
  };
  return uint64_t{be32(16)} * be32(20);
}

bool SkinZipLoader::OverBudget(const std::wstring& archive) {
  KV_LOG_ERROR << "SkinZipLoader::LoadAllImages " << archive << ": the images pass the budget of "
               << static_cast<unsigned>(kMaxSkinPixels) << " pixels, no image of the skin is used";
  return false;
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
