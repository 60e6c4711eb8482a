// Loads the skin out of its archives into a skin reader: the entry
// "skin.info" of one archive, and every image entry of another into
// the image store (under its lower-case name, the first image of a name
// kept).
//
// Thread-safety: user-interface thread, like the reader it fills.
// Ownership: the target reader must outlive this object (the program's is
// the process-wide SkinLoader::Instance()).
#pragma once

#include <string>

#include "skin/mini_unpak.h"
#include "skin/skin_loader.h"
#include "upp/image.h"

namespace skin {

class SkinZipLoader : public CMiniUnPak {
 public:
  explicit SkinZipLoader(SkinLoader& target = SkinLoader::Instance());

  // Opens the archive, reads the entry "SKIN.INFO" whole and parses it into
  // the target. False if the archive, the entry or the parse fails, or the
  // entry is empty.
  bool LoadDescription(const std::wstring& archive);

  // Opens the archive and adds every non-empty entry but "SKIN.INFO" that
  // decodes as an image. An entry that does not decode is logged and left
  // out. True once the archive is open, whatever single entries did.
  bool LoadAllImages(const std::wstring& archive);

  // Opens the archive and decodes the one entry `name` (any case); empty if
  // the archive or the entry is missing or the entry does not decode.
  Upp::Image LoadOneImage(const std::wstring& archive, const std::wstring& name);

 private:
  // The entry's whole data; false when it is missing or empty.
  bool ReadWhole(const std::wstring& name, std::string* bytes) const;

  SkinLoader& target_;
};

}  // namespace skin
