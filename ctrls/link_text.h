// The text link of the application's panels: a LinkCtrl over StaticText.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/link_ctrl.h"
#include "ctrls/static_text.h"

namespace ctrls {

class LinkText : public LinkCtrl<StaticText> {};

}  // namespace ctrls
