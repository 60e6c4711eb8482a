// Loads the skin out of its archives into a skin reader: the entry
// "skin.info" of one archive, and every image entry of another into
// the image store (under its lower-case name, the first image of a name
// kept).
//
// Thread-safety: user-interface thread, like the reader it fills.
// Ownership: the target reader must outlive this object (the program's is
// the process-wide SkinLoader::Instance()).
#pragma once

#include <cstdint>
#include <string>

#include "skin/mini_unpak.h"
#include "skin/skin_loader.h"
#include "upp/image.h"

namespace skin {

class SkinZipLoader : public CMiniUnPak {
 public:
  explicit SkinZipLoader(SkinLoader& target = SkinLoader::Instance());

  // The most decoded pixels the images of one archive may hold together
  // (64 MiB of pixels). The shipped skin has about 0.7 Mi pixels, so the
  // margin is over twenty-fold; a crafted archive of many large one-colour
  // images is refused long before a 32-bit process runs out of room.
  static constexpr uint64_t kMaxSkinPixels = 16u * 1024u * 1024u;

  // Opens the archive, reads the entry "SKIN.INFO" whole and parses it into
  // the target. False if the archive, the entry or the parse fails, or the
  // entry is empty.
  bool LoadDescription(const std::wstring& archive);

  // Opens the archive and adds every non-empty entry but "SKIN.INFO" that
  // decodes as an image. An entry that does not decode is logged and left
  // out. All or nothing beyond that: when the images together would pass
  // kMaxSkinPixels, or memory runs out, none is added and the result is
  // false (logged). Otherwise true once the archive is open.
  bool LoadAllImages(const std::wstring& archive);

  // Opens the archive and decodes the one entry `name` (any case); empty if
  // the archive or the entry is missing or the entry does not decode.
  Upp::Image LoadOneImage(const std::wstring& archive, const std::wstring& name);

 private:
  // Width x height a PNG's header states; 0 for anything else.
  static uint64_t PngPixels(const std::string& bytes);
  // Logs the refusal; false.
  static bool OverBudget(const std::wstring& archive);
  // The entry's whole data; false when it is missing or empty.
  bool ReadWhole(const std::wstring& name, std::string* bytes) const;

  SkinLoader& target_;
};

}  // namespace skin
