// Decoding PNG (libpng) and JPEG (GDI+) from memory, and refusing what is
// not a sound image.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "upp/image_decode.h"

namespace {

struct Rgba8 {
  uint8_t r, g, b, a;
};

void PngWrite(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void PngFlush(png_structp) {}

// Encodes `pixels` (w*h straight RGBA) as a PNG of the given colour type and
// depth; palette images get one palette entry per distinct pixel and a tRNS
// chunk when any alpha is below 255.
struct PngWriter {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

std::string EncodePng(int w, int h, const std::vector<Rgba8>& pixels, int color_type, int depth,
                      bool interlace) {
  std::string out;
  PngWriter writer;
  png_structp png = writer.png;
  png_infop info = writer.info;
  std::vector<std::vector<png_byte>> rows(h);
  std::vector<png_color> palette;
  std::vector<png_byte> trans;
  if (setjmp(png_jmpbuf(png))) return std::string();
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, w, h, depth, color_type, interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (color_type == PNG_COLOR_TYPE_PALETTE) {
    for (const Rgba8& p : pixels) {
      bool found = false;
      for (size_t i = 0; i < palette.size(); ++i)
        found = found || (palette[i].red == p.r && palette[i].green == p.g && palette[i].blue == p.b &&
                          trans[i] == p.a);
      if (!found) {
        palette.push_back({p.r, p.g, p.b});
        trans.push_back(p.a);
      }
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    png_set_tRNS(png, info, trans.data(), static_cast<int>(trans.size()), nullptr);
  }
  png_write_info(png, info);
  if (depth == 16) png_set_swap(png);  // rows below are little-endian 16-bit
  const int channels = color_type == PNG_COLOR_TYPE_RGBA ? 4 : color_type == PNG_COLOR_TYPE_RGB ? 3
                       : color_type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
  const int bytes = depth == 16 ? 2 : 1;
  for (int y = 0; y < h; ++y) {
    std::vector<png_byte>& row = rows[y];
    row.assign(static_cast<size_t>(w) * channels * bytes + 8, 0);
    for (int x = 0; x < w; ++x) {
      const Rgba8& p = pixels[static_cast<size_t>(y) * w + x];
      uint8_t values[4] = {p.r, p.g, p.b, p.a};
      if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA) values[1] = p.a;
      if (color_type == PNG_COLOR_TYPE_PALETTE) {
        for (size_t i = 0; i < palette.size(); ++i)
          if (palette[i].red == p.r && palette[i].green == p.g && palette[i].blue == p.b && trans[i] == p.a)
            values[0] = static_cast<uint8_t>(i);
      }
      for (int c = 0; c < channels; ++c) {
        if (bytes == 2) {
          row[(x * channels + c) * 2] = values[c];
          row[(x * channels + c) * 2 + 1] = values[c];
        } else if (depth < 8) {
          const int per_byte = 8 / depth;
          const int shift = 8 - depth * (1 + x % per_byte);
          row[x / per_byte] |= static_cast<png_byte>((values[c] >> (8 - depth)) << shift);
        } else {
          row[x * channels + c] = values[c];
        }
      }
    }
  }
  std::vector<png_bytep> pointers;
  for (auto& r : rows) pointers.push_back(r.data());
  png_write_image(png, pointers.data());
  png_write_end(png, nullptr);
  return out;
}

std::vector<Rgba8> Pattern(int w, int h, bool alpha, bool gray) {
  std::vector<Rgba8> p(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t v = static_cast<uint8_t>((x * 37 + y * 91) & 0xFF);
      Rgba8& px = p[static_cast<size_t>(y) * w + x];
      px = gray ? Rgba8{v, v, v, 255} : Rgba8{v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(x * 16), 255};
      if (alpha) px.a = static_cast<uint8_t>((x + y) % 2 ? 255 : (y * 40) & 0xFF);
    }
  return p;
}

void ExpectPixels(const Upp::Image& image, int w, int h, const std::vector<Rgba8>& expected) {
  ASSERT_FALSE(image.IsEmpty());
  ASSERT_EQ(Upp::Size(w, h), image.GetSize());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgba8& e = expected[static_cast<size_t>(y) * w + x];
      const Upp::RGBA want = Upp::Premultiply(e.r, e.g, e.b, e.a);
      const Upp::RGBA got = image.At(x, y);
      ASSERT_EQ(want, got) << "at " << x << "," << y;
    }
}

TEST(ImageDecodeTest, PngColourTypesDecodeToPremultipliedBgra) {
  struct Case {
    const char* what;
    int color_type, depth;
    bool alpha, gray, interlace;
  } cases[] = {
      {"rgba8", PNG_COLOR_TYPE_RGBA, 8, true, false, false},
      {"rgb8", PNG_COLOR_TYPE_RGB, 8, false, false, false},
      {"rgba16", PNG_COLOR_TYPE_RGBA, 16, true, false, false},
      {"gray8", PNG_COLOR_TYPE_GRAY, 8, false, true, false},
      {"gray_alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, true, true, false},
      {"palette with tRNS", PNG_COLOR_TYPE_PALETTE, 8, true, false, false},
      {"rgba8 interlaced", PNG_COLOR_TYPE_RGBA, 8, true, false, true},
  };
  const int w = 13, h = 7;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<Rgba8> pixels = Pattern(w, h, c.alpha, c.gray);
    const std::string png = EncodePng(w, h, pixels, c.color_type, c.depth, c.interlace);
    ASSERT_FALSE(png.empty());
    EXPECT_TRUE(Upp::IsPngData(png.data(), png.size()));
    ExpectPixels(Upp::DecodePng(png.data(), png.size()), w, h, pixels);
    ExpectPixels(Upp::DecodeImage(png), w, h, pixels);
  }
}

TEST(ImageDecodeTest, LowBitGrayExpandsToFullRange) {
  std::vector<Rgba8> pixels = {{0, 0, 0, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}};
  const std::string png = EncodePng(4, 1, pixels, PNG_COLOR_TYPE_GRAY, 1, false);
  ExpectPixels(Upp::DecodePng(png.data(), png.size()), 4, 1, pixels);
}

std::string Chunk(const char* type, const std::string& data) {
  std::string c;
  const uint32_t n = static_cast<uint32_t>(data.size());
  c += static_cast<char>(n >> 24);
  c += static_cast<char>(n >> 16);
  c += static_cast<char>(n >> 8);
  c += static_cast<char>(n);
  const std::string body = std::string(type, 4) + data;
  c += body;
  const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                   static_cast<uInt>(body.size())));
  c += static_cast<char>(crc >> 24);
  c += static_cast<char>(crc >> 16);
  c += static_cast<char>(crc >> 8);
  c += static_cast<char>(crc);
  return c;
}

std::string Header(uint32_t w, uint32_t h) {
  std::string ihdr;
  for (uint32_t v : {w, h})
    for (int s = 24; s >= 0; s -= 8) ihdr += static_cast<char>(v >> s);
  ihdr += std::string("\x08\x06\x00\x00\x00", 5);
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", ihdr);
}

TEST(ImageDecodeTest, BrokenPngsDecodeEmpty) {
  const std::vector<Rgba8> pixels = Pattern(16, 16, true, false);
  const std::string good = EncodePng(16, 16, pixels, PNG_COLOR_TYPE_RGBA, 8, false);
  ASSERT_FALSE(Upp::DecodePng(good.data(), good.size()).IsEmpty());
  std::vector<std::pair<const char*, std::string>> cases;
  for (size_t cut : {size_t(0), size_t(4), size_t(8), size_t(20), size_t(33), size_t(60), good.size() / 2,
                     good.size() - 13})
    cases.push_back({"truncated", good.substr(0, cut)});
  {
    std::string b = good;
    b[20] ^= 0x40;  // IHDR width changed, CRC no longer matches
    cases.push_back({"bad header crc", b});
  }
  {
    std::string b = good;
    for (size_t i = 45; i < b.size() - 20; i += 3) b[i] = static_cast<char>(b[i] ^ 0x5A);
    cases.push_back({"scrambled data", b});
  }
  cases.push_back({"not a png", std::string("GIF89a just some other bytes, clearly not an image")});
  cases.push_back({"signature only", std::string("\x89PNG\r\n\x1a\n", 8)});
  cases.push_back({"huge width", Header(100000, 1) + Chunk("IEND", "")});
  cases.push_back({"too many pixels", Header(8192, 8192) + Chunk("IEND", "")});
  cases.push_back({"zero size", Header(0, 0) + Chunk("IEND", "")});
  cases.push_back({"header but no data", Header(4, 4) + Chunk("IEND", "")});
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.first << " (" << c.second.size() << " bytes)");
    EXPECT_TRUE(Upp::DecodePng(c.second.data(), c.second.size()).IsEmpty());
    EXPECT_TRUE(Upp::DecodeImage(c.second).IsEmpty());
  }
  EXPECT_TRUE(Upp::DecodePng(nullptr, 100).IsEmpty());
}

// --- JPEG through GDI+ -------------------------------------------------------------

class GdiplusScope {
 public:
  GdiplusScope() {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  ~GdiplusScope() { Gdiplus::GdiplusShutdown(token_); }

 private:
  ULONG_PTR token_ = 0;
};

struct ImageDisposer {
  void operator()(Gdiplus::GpBitmap* b) const { Gdiplus::DllExports::GdipDisposeImage(b); }
};
struct ComReleaser {
  void operator()(IUnknown* p) const { p->Release(); }
};

// A JPEG written by GDI+'s own encoder: w x h of one colour.
std::string EncodeJpeg(int w, int h, BYTE r, BYTE g, BYTE b) {
  using namespace Gdiplus::DllExports;
  GdiplusScope gdiplus;
  UINT count = 0, size = 0;
  if (GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return std::string();
  std::vector<BYTE> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok) return std::string();
  const CLSID* jpeg = nullptr;
  for (UINT i = 0; i < count; ++i)
    if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/jpeg") == 0) jpeg = &codecs[i].Clsid;
  if (!jpeg) return std::string();
  std::vector<BYTE> pixels(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < pixels.size(); i += 4) {
    pixels[i] = b;
    pixels[i + 1] = g;
    pixels[i + 2] = r;
    pixels[i + 3] = 255;
  }
  Gdiplus::GpBitmap* raw = nullptr;
  if (GdipCreateBitmapFromScan0(w, h, w * 4, PixelFormat32bppARGB, pixels.data(), &raw) != Gdiplus::Ok)
    return std::string();
  std::unique_ptr<Gdiplus::GpBitmap, ImageDisposer> bitmap(raw);
  std::unique_ptr<IStream, ComReleaser> stream(SHCreateMemStream(nullptr, 0));
  std::string out;
  if (stream && GdipSaveImageToStream(bitmap.get(), stream.get(), jpeg, nullptr) == Gdiplus::Ok) {
    STATSTG stat = {};
    stream->Stat(&stat, STATFLAG_NONAME);
    out.resize(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER zero = {};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(&out[0], static_cast<ULONG>(out.size()), &read);
    out.resize(read);
  }
  return out;
}

TEST(ImageDecodeTest, JpegDecodesThroughGdiplus) {
  const std::string jpeg = EncodeJpeg(24, 16, 200, 40, 40);
  ASSERT_FALSE(jpeg.empty()) << "no JPEG encoder";
  EXPECT_TRUE(Upp::IsJpegData(jpeg.data(), jpeg.size()));
  const Upp::Image image = Upp::DecodeImage(jpeg);
  ASSERT_FALSE(image.IsEmpty());
  EXPECT_EQ(Upp::Size(24, 16), image.GetSize());
  const Upp::RGBA centre = image.At(12, 8);
  EXPECT_EQ(255, centre.a);
  EXPECT_NEAR(200, centre.r, 12);
  EXPECT_NEAR(40, centre.g, 12);
  EXPECT_NEAR(40, centre.b, 12);
  // Cut short, it gives nothing rather than half an image or a crash.
  EXPECT_TRUE(Upp::DecodeJpeg(jpeg.data(), 40).IsEmpty());
  EXPECT_TRUE(Upp::DecodeJpeg("\xFF\xD8\xFF", 3).IsEmpty());
}

TEST(ImageDecodeTest, LoadImageFileReadsWholeFiles) {
  testutil::ScopedTempDir dir;
  const std::vector<Rgba8> pixels = Pattern(5, 5, true, false);
  const std::string png = EncodePng(5, 5, pixels, PNG_COLOR_TYPE_RGBA, 8, false);
  ASSERT_TRUE(testutil::WriteFileBytes(dir.Join(L"a.png"), png));
  ExpectPixels(Upp::LoadImageFile(dir.Join(L"a.png")), 5, 5, pixels);
  EXPECT_TRUE(Upp::LoadImageFile(dir.Join(L"missing.png")).IsEmpty());
  ASSERT_TRUE(testutil::WriteFileBytes(dir.Join(L"empty.png"), ""));
  EXPECT_TRUE(Upp::LoadImageFile(dir.Join(L"empty.png")).IsEmpty());
}

}  // namespace
