#include "skin_test_util.h"

#include <windows.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <vector>

#include "base/scoped_handle.h"

namespace skintest {

namespace {

void Append16(std::string* s, uint16_t v) {
  s->push_back(static_cast<char>(v & 0xFF));
  s->push_back(static_cast<char>(v >> 8));
}

void Append32(std::string* s, uint32_t v) {
  Append16(s, static_cast<uint16_t>(v & 0xFFFF));
  Append16(s, static_cast<uint16_t>(v >> 16));
}

void PngWrite(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void PngFlush(png_structp) {}

struct PngWriter {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string LocalHeader(const ZipEntry& e) {
  std::string h;
  Append32(&h, 0x04034B50);
  Append16(&h, 10);
  Append16(&h, e.flags);
  Append16(&h, e.method);
  Append16(&h, 0);
  Append16(&h, 0x21);
  Append32(&h, Crc(e.data));
  Append32(&h, static_cast<uint32_t>(e.data.size()));
  Append32(&h, static_cast<uint32_t>(e.data.size()));
  Append16(&h, static_cast<uint16_t>(e.name.size()));
  Append16(&h, static_cast<uint16_t>(e.extra.size()));
  return h + e.name + e.extra + e.data;
}

}  // namespace

std::string EncodePng(int width, int height, uint32_t argb) {
  std::string out;
  PngWriter writer;
  png_structp png = writer.png;
  png_infop info = writer.info;
  std::vector<png_byte> row(static_cast<size_t>(width) * 4);
  for (int x = 0; x < width; ++x) {
    row[x * 4 + 0] = static_cast<png_byte>(argb >> 16);
    row[x * 4 + 1] = static_cast<png_byte>(argb >> 8);
    row[x * 4 + 2] = static_cast<png_byte>(argb);
    row[x * 4 + 3] = static_cast<png_byte>(argb >> 24);
  }
  if (setjmp(png_jmpbuf(png))) return std::string();
  png_set_write_fn(png, &out, PngWrite, PngFlush);
  png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) png_write_row(png, row.data());
  png_write_end(png, nullptr);
  return out;
}

std::string BuildZip(const std::vector<ZipEntry>& entries) {
  std::string zip, central;
  for (const ZipEntry& e : entries) {
    const uint32_t offset = static_cast<uint32_t>(zip.size());
    zip += LocalHeader(e);
    Append32(&central, 0x02014B50);
    Append16(&central, 20);
    Append16(&central, 10);
    Append16(&central, e.flags);
    Append16(&central, e.method);
    Append16(&central, 0);
    Append16(&central, 0x21);
    Append32(&central, Crc(e.data));
    Append32(&central, static_cast<uint32_t>(e.data.size()));
    Append32(&central, static_cast<uint32_t>(e.data.size()));
    Append16(&central, static_cast<uint16_t>(e.name.size()));
    Append16(&central, 0);
    Append16(&central, 0);
    Append16(&central, 0);
    Append16(&central, 0);
    Append32(&central, 0);
    Append32(&central, offset);
    central += e.name;
  }
  const uint32_t central_offset = static_cast<uint32_t>(zip.size());
  zip += central;
  Append32(&zip, 0x06054B50);
  Append16(&zip, 0);
  Append16(&zip, 0);
  Append16(&zip, static_cast<uint16_t>(entries.size()));
  Append16(&zip, static_cast<uint16_t>(entries.size()));
  Append32(&zip, static_cast<uint32_t>(central.size()));
  Append32(&zip, central_offset);
  Append16(&zip, 0);
  return zip;
}

uint32_t LocalHeaderOffset(const std::vector<ZipEntry>& entries, size_t n) {
  uint32_t offset = 0;
  for (size_t i = 0; i < n; ++i)
    offset += static_cast<uint32_t>(30 + entries[i].name.size() + entries[i].extra.size() +
                                    entries[i].data.size());
  return offset;
}

std::string BuildIndex(const std::vector<IndexRecord>& records, const char* magic) {
  std::string idx(magic, 4);
  Append32(&idx, static_cast<uint32_t>(records.size()));
  for (const IndexRecord& r : records) {
    Append32(&idx, r.header_offset);
    Append32(&idx, r.entry_length);
    Append32(&idx, r.data_size);
    Append32(&idx, static_cast<uint32_t>(r.name.size() * 2));
    for (wchar_t c : r.name) Append16(&idx, static_cast<uint16_t>(c));
    Append16(&idx, 0);
  }
  return idx;
}

void PutU16(std::string* bytes, size_t at, uint16_t v) {
  (*bytes)[at] = static_cast<char>(v & 0xFF);
  (*bytes)[at + 1] = static_cast<char>(v >> 8);
}

void PutU32(std::string* bytes, size_t at, uint32_t v) {
  PutU16(bytes, at, static_cast<uint16_t>(v & 0xFFFF));
  PutU16(bytes, at + 2, static_cast<uint16_t>(v >> 16));
}

bool CopyFileTimes(const std::wstring& source, const std::wstring& target) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data)) return false;
  base::ScopedHandle file(CreateFileW(target.c_str(), FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && SetFileTime(file.Get(), &data.ftCreationTime, nullptr, &data.ftLastWriteTime) != FALSE;
}

bool ShiftWriteTime(const std::wstring& path, int seconds) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  ULARGE_INTEGER t;
  t.LowPart = data.ftLastWriteTime.dwLowDateTime;
  t.HighPart = data.ftLastWriteTime.dwHighDateTime;
  t.QuadPart += static_cast<long long>(seconds) * 10000000LL;
  FILETIME shifted = {t.LowPart, t.HighPart};
  base::ScopedHandle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && SetFileTime(file.Get(), nullptr, nullptr, &shifted) != FALSE;
}

std::string ResourceBytes(const wchar_t* name) {
  HRSRC info = FindResourceW(nullptr, name, L"ZIP");
  if (!info) return std::string();
  HGLOBAL handle = LoadResource(nullptr, info);
  const void* data = handle ? LockResource(handle) : nullptr;
  const DWORD size = SizeofResource(nullptr, info);
  return data ? std::string(static_cast<const char*>(data), size) : std::string();
}

}  // namespace skintest
