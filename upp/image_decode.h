// Decoding of images held in memory: PNG through libpng, JPEG through GDI+.
// Every result is a premultiplied Image (image.h); any failure (not an
// image, truncated, corrupt, larger than the limits below, out of memory)
// gives an empty Image. Nothing is logged here: callers know what the bytes
// were meant to be.
//
// Input is never trusted: reads stay inside the given bytes, and an image
// whose header promises more pixels than the limits is refused before any
// pixel memory is taken.
//
// Thread-safety: any thread. The JPEG decoder brings GDI+ up for the call
// and down again (a nested start-up costs nothing when the program's entry
// point already started it).
#pragma once

#include <cstddef>
#include <string>

#include "upp/image.h"

namespace Upp {

// Largest width or height accepted, and largest pixel count (64 MiB of
// pixels): far above any skin image, far below what would exhaust a 32-bit
// process.
constexpr int kMaxImageSide = 8192;
constexpr size_t kMaxImagePixels = 16u * 1024u * 1024u;
// Largest image file LoadImageFile reads.
constexpr size_t kMaxImageFileBytes = 64u * 1024u * 1024u;

bool IsPngData(const void* data, size_t size);
bool IsJpegData(const void* data, size_t size);

Image DecodePng(const void* data, size_t size);
Image DecodeJpeg(const void* data, size_t size);
// By signature: PNG or JPEG; anything else is empty.
Image DecodeImage(const void* data, size_t size);
inline Image DecodeImage(const std::string& bytes) { return DecodeImage(bytes.data(), bytes.size()); }

// Reads the whole file and decodes it.
Image LoadImageFile(const std::wstring& path);

}  // namespace Upp
