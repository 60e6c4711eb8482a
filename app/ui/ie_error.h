// korvan::IEError: the page-error picture (skin image "page_error.jpg" at
// its natural size, 45 pixels from the left and 14 from the top). The web
// page panel keeps it hidden behind the loading panel: a failed page is
// retried with the loading picture showing instead.
//
// IMPORTANT: Thread-safety. User-interface thread only.
#pragma once

#include "ctrls/image_ctrl.h"
#include "ctrls/panel.h"

namespace korvan {

class IEError : public ctrls::Panel<Upp::Ctrl> {
 public:
  static constexpr int kLeft = 45;
  static constexpr int kTop = 14;

  IEError();

 private:
  ctrls::ImageCtrl image_;
};

}  // namespace korvan
