#include "screen_capture.h"

#include <png.h>

#include <string>
#include <vector>

#include "common/test_util.h"

namespace uitest {

Upp::Image CaptureScreen(const RECT& r) {
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return Upp::Image();
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  Upp::Image result;
  if (dib && bits) {
    HGDIOBJ old = SelectObject(mem, dib);
    if (BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY)) {
      GdiFlush();
      Upp::ImageBuffer buffer(Upp::Size(w, h));
      const auto* in = static_cast<const Upp::RGBA*>(bits);
      for (int i = 0; i < w * h; ++i) {
        Upp::RGBA p = in[i];
        p.a = 255;
        buffer.Pixels()[i] = p;
      }
      result = buffer.Finish();
    }
    SelectObject(mem, old);
  }
  if (dib) DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  return result;
}

namespace {

void AppendBytes(png_structp png, png_bytep data, png_size_t size) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), size);
}
void NoFlush(png_structp) {}

}  // namespace

bool WritePng(const std::wstring& path, const Upp::Image& image) {
  if (image.IsEmpty()) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::string out;
  const int w = image.GetWidth(), h = image.GetHeight();
  std::vector<png_byte> row(static_cast<size_t>(w) * 3);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &out, AppendBytes, NoFlush);
  png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  for (int y = 0; y < h; ++y) {
    const Upp::RGBA* p = image.Row(y);
    for (int x = 0; x < w; ++x) {
      row[x * 3 + 0] = p[x].r;
      row[x * 3 + 1] = p[x].g;
      row[x * 3 + 2] = p[x].b;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return testutil::WriteFileBytes(path, out);
}

}  // namespace uitest
