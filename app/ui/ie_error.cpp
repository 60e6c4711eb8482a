#include "app/ui/ie_error.h"

#include "skin/skin_loader.h"

namespace korvan {

IEError::IEError() {
  const Upp::Image picture = skin::SkinLoader::Instance().FindImage(L"page_error.jpg");
  image_.Add(picture);
  const Upp::Size size = picture.GetSize();
  image_.SetRect(kLeft, kTop, size.cx, size.cy);
  Add(image_);
}

}  // namespace korvan
