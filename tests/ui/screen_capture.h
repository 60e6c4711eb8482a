// Reads a rectangle of the screen through GDI (under Wine: the X server's
// composed picture, layered windows included) and writes it as a PNG.
// Test thread only.
#pragma once

#include <windows.h>

#include <string>

#include "upp/image.h"

namespace uitest {

// Opaque pixels of the screen rectangle `r`; empty on failure.
Upp::Image CaptureScreen(const RECT& r);

// An RGB PNG of `image` (alpha dropped). False on failure.
bool WritePng(const std::wstring& path, const Upp::Image& image);

}  // namespace uitest
