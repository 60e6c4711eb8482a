// The header every control style record begins with. The skin never sets
// it; the control library uses it to tell a style it registered itself from
// one read out of the skin, and to find the standard style of its kind.
//
// Thread-safety: part of plain records; user-interface thread like them.
#pragma once

#include <cstdint>

namespace Upp {

struct StyleHeader {
  uint8_t status = 0;
  uint8_t registered = 0;
  const void* standard = nullptr;
};

}  // namespace Upp
