// Builders of skin test input: PNG files, ZIP archives laid out byte by
// byte (so a test can break any field), ".idx" index caches, and access to
// the real skin archives embedded in this test program. Test thread only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skintest {

// An 8-bit RGBA PNG of one straight-alpha colour (0xAARRGGBB).
std::string EncodePng(int width, int height, uint32_t argb);

struct ZipEntry {
  std::string name;
  std::string data;
  uint16_t method = 0;
  uint16_t flags = 0;
  std::string extra;
};

// Local headers, central directory and end record, like a zip tool writes.
std::string BuildZip(const std::vector<ZipEntry>& entries);
// Offset of the n-th local header of an archive BuildZip made.
uint32_t LocalHeaderOffset(const std::vector<ZipEntry>& entries, size_t n);

struct IndexRecord {
  uint32_t header_offset;
  uint32_t entry_length;
  uint32_t data_size;
  std::wstring name;
};
std::string BuildIndex(const std::vector<IndexRecord>& records, const char* magic = "ridx");

void PutU16(std::string* bytes, size_t at, uint16_t v);
void PutU32(std::string* bytes, size_t at, uint32_t v);

// Gives `target` the creation and last-write times of `source`.
bool CopyFileTimes(const std::wstring& source, const std::wstring& target);
// Moves `path`'s last-write time by `seconds`.
bool ShiftWriteTime(const std::wstring& path, int seconds);

// The bytes of a resource of type "ZIP" of this program.
std::string ResourceBytes(const wchar_t* name);

}  // namespace skintest
