#include "upp/image_decode.h"

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace Upp {

namespace {

constexpr unsigned char kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool WithinLimits(unsigned long long width, unsigned long long height) {
  return width > 0 && height > 0 && width <= static_cast<unsigned>(kMaxImageSide) &&
         height <= static_cast<unsigned>(kMaxImageSide) && width * height <= kMaxImagePixels;
}

// --- PNG ---------------------------------------------------------------------

struct PngSource {
  const unsigned char* data;
  size_t size;
  size_t pos;
  jmp_buf jump;
};

void PngRead(png_structp png, png_bytep out, size_t length) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->pos) png_error(png, "truncated");
  std::memcpy(out, source->data + source->pos, length);
  source->pos += length;
}

// libpng must not return from its error handler; we go back to the setjmp in
// ReadPngRows, whose frame holds nothing with a destructor.
[[noreturn]] void PngFail(png_structp png, png_const_charp) {
  auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
  longjmp(source->jump, 1);
}

void PngWarn(png_structp, png_const_charp) {}

// Reads the whole image as straight-alpha BGRA into `buffer`. Only plain
// data lives in this frame, so a longjmp back into it skips no destructor;
// the containers it fills belong to the caller.
bool ReadPngRows(PngSource* source, png_structp png, png_infop info, ImageBuffer* buffer,
                 std::vector<png_bytep>* rows) {
  if (setjmp(source->jump)) return false;

  png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
  png_set_chunk_malloc_max(png, 8u * 1024u * 1024u);
  png_set_read_fn(png, source, PngRead);
  png_read_info(png, info);

  png_uint_32 width = 0, height = 0;
  int depth = 0, color = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &color, nullptr, nullptr, nullptr);
  if (!WithinLimits(width, height)) return false;

  const bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  if (color == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (color == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (has_trns) png_set_tRNS_to_alpha(png);
  if (depth == 16) png_set_strip_16(png);
  if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (!(color & PNG_COLOR_MASK_ALPHA) && !has_trns) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4) return false;

  *buffer = ImageBuffer(Size(static_cast<int>(width), static_cast<int>(height)));
  rows->resize(height);
  for (png_uint_32 y = 0; y < height; ++y)
    (*rows)[y] = reinterpret_cast<png_bytep>(buffer->Row(static_cast<int>(y)));
  png_read_image(png, rows->data());
  return true;
}

struct PngReadStruct {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReadStruct() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
};

// --- JPEG through GDI+ ----------------------------------------------------------

class GdiplusSession {
 public:
  GdiplusSession() {
    Gdiplus::GdiplusStartupInput input;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~GdiplusSession() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

struct ComRelease {
  void operator()(IUnknown* p) const { p->Release(); }
};

struct FileCloser {
  void operator()(void* file) const { CloseHandle(file); }
};
using ScopedFile = std::unique_ptr<void, FileCloser>;

class GdipBitmap {
 public:
  GdipBitmap() = default;
  ~GdipBitmap() {
    if (bitmap_) Gdiplus::DllExports::GdipDisposeImage(bitmap_);
  }
  GdipBitmap(const GdipBitmap&) = delete;
  GdipBitmap& operator=(const GdipBitmap&) = delete;
  Gdiplus::GpBitmap** Receive() { return &bitmap_; }
  Gdiplus::GpBitmap* Get() const { return bitmap_; }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
};

}  // namespace

bool IsPngData(const void* data, size_t size) {
  return data && size >= sizeof(kPngSignature) &&
         std::memcmp(data, kPngSignature, sizeof(kPngSignature)) == 0;
}

bool IsJpegData(const void* data, size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  return data && size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

Image DecodePng(const void* data, size_t size) {
  if (!IsPngData(data, size)) return Image();
  PngSource source{static_cast<const unsigned char*>(data), size, 0, {}};
  PngReadStruct read;
  read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, PngFail, PngWarn);
  if (!read.png) return Image();
  read.info = png_create_info_struct(read.png);
  if (!read.info) return Image();

  ImageBuffer buffer;
  std::vector<png_bytep> rows;
  try {
    if (!ReadPngRows(&source, read.png, read.info, &buffer, &rows)) return Image();
  } catch (const std::bad_alloc&) {
    return Image();
  }
  RGBA* p = buffer.Pixels();
  const size_t count = static_cast<size_t>(buffer.GetSize().cx) * buffer.GetSize().cy;
  for (size_t i = 0; i < count; ++i) {
    if (p[i].a != 255) p[i] = Premultiply(p[i].r, p[i].g, p[i].b, p[i].a);
  }
  return buffer.Finish();
}

Image DecodeJpeg(const void* data, size_t size) {
  if (!IsJpegData(data, size) || size > kMaxImageFileBytes) return Image();
  GdiplusSession gdiplus;
  if (!gdiplus.ok()) return Image();
  std::unique_ptr<IStream, ComRelease> stream(
      SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size)));
  if (!stream) return Image();

  using namespace Gdiplus::DllExports;
  GdipBitmap bitmap;
  if (GdipCreateBitmapFromStream(stream.get(), bitmap.Receive()) != Gdiplus::Ok || !bitmap.Get())
    return Image();
  UINT width = 0, height = 0;
  if (GdipGetImageWidth(bitmap.Get(), &width) != Gdiplus::Ok ||
      GdipGetImageHeight(bitmap.Get(), &height) != Gdiplus::Ok || !WithinLimits(width, height))
    return Image();

  try {
    ImageBuffer buffer(Size(static_cast<int>(width), static_cast<int>(height)));
    Gdiplus::GpRect rect(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData locked = {};
    if (GdipBitmapLockBits(bitmap.Get(), &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB,
                           &locked) != Gdiplus::Ok)
      return Image();
    const bool layout_ok = locked.Width == width && locked.Height == height && locked.Scan0 &&
                           (locked.Stride >= static_cast<INT>(width * 4) ||
                            locked.Stride <= -static_cast<INT>(width * 4));
    if (layout_ok) {
      const auto* scan = static_cast<const unsigned char*>(locked.Scan0);
      for (UINT y = 0; y < height; ++y)
        std::memcpy(buffer.Row(static_cast<int>(y)), scan + static_cast<ptrdiff_t>(y) * locked.Stride,
                    width * 4);
    }
    GdipBitmapUnlockBits(bitmap.Get(), &locked);
    return layout_ok ? buffer.Finish() : Image();
  } catch (const std::bad_alloc&) {
    return Image();
  }
}

Image DecodeImage(const void* data, size_t size) {
  if (IsPngData(data, size)) return DecodePng(data, size);
  if (IsJpegData(data, size)) return DecodeJpeg(data, size);
  return Image();
}

Image LoadImageFile(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Image();
  ScopedFile file(handle);
  std::string bytes;
  LARGE_INTEGER length = {};
  bool ok = GetFileSizeEx(handle, &length) && length.QuadPart >= 0 &&
            static_cast<unsigned long long>(length.QuadPart) <= kMaxImageFileBytes;
  if (ok) {
    try {
      bytes.resize(static_cast<size_t>(length.QuadPart));
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  DWORD read = 0;
  if (ok && !bytes.empty())
    ok = ReadFile(handle, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) &&
         read == bytes.size();
  return ok ? DecodeImage(bytes) : Image();
}

}  // namespace Upp
