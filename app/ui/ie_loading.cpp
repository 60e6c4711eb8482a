#include "app/ui/ie_loading.h"

#include "skin/skin_loader.h"

namespace korvan {

IELoading::IELoading() {
  skin::SkinLoader& skin = skin::SkinLoader::Instance();
  spinner_.SetFrames(skin.FindImage(L"loading.png"), kFrames, kFrameMs);
  const Upp::Image text = skin.FindImage(L"loading_web_txt.png");
  text_size_ = text.GetSize();
  text_.Add(text);
  Add(spinner_);
  Add(text_);
}

void IELoading::Layout() {
  const Upp::Size size = GetSize();
  const int cx = size.cx / 2;
  const int cy = size.cy / 2;
  spinner_.SetRect(cx - kSpinnerSize / 2, cy - kOffsetFromCentre - kSpinnerSize / 2, kSpinnerSize,
                   kSpinnerSize);
  text_.SetRect(cx - text_size_.cx / 2, cy + kOffsetFromCentre - text_size_.cy / 2, text_size_.cx,
                text_size_.cy);
}

}  // namespace korvan
