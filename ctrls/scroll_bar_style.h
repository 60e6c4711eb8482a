// Reads a scroll bar's look out of the skin. The skin reader has no record
// of its own for scroll bars, so the bar's fields are read one by one
// through its cached typed lookups: barsize, arrowsize, thumbmin,
// overthumb, through, vthumbex, vupper0..3, vthumb0..3, vlower0..3 (and the
// h... set), the arrow buttons up, down, left, right, up2, down2, left2,
// right2 and their switches isup2, isdown2, isleft2, isright2.
//
// Ownership: SkinScrollBarStyle keeps one record per name until the process
// ends, as the skin reader does for its own records; bars point at it.
// IMPORTANT: Thread-safety. User-interface thread only, like the reader.
#pragma once

#include <string>

#include "ctrls/scroll_bar.h"
#include "skin/skin_loader.h"

namespace ctrls {

// Fills the fields the skin gives under `key`; true when it gave any.
bool ReadScrollBarStyle(skin::SkinLoader& loader, const std::string& key, ScrollBarStyle& style);

// The process-wide skin's record for `key` (the built-in default's values
// where the skin is silent), read once.
const ScrollBarStyle& SkinScrollBarStyle(const std::string& key);

}  // namespace ctrls
