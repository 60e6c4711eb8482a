#include "core/zip/stored_zip.h"

#include <cstring>

namespace zip {

namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr uint32_t kLocalHeaderSize = 30;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8Name = 0x0800;
constexpr char kIndexMagic[4] = {'r', 'i', 'd', 'x'};
constexpr uint32_t kIndexRecordFixed = 16;  // four 32-bit fields before the name

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

std::wstring NormalizeEntryName(const std::wstring& name) {
  std::wstring out = name;
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    else if (c == L'/') c = L'\\';
  }
  if (!out.empty() && out[0] == L'\\') out.erase(0, 1);
  return out;
}

bool ScanStoredArchive(const uint8_t* data, uint32_t size, size_t max_entries,
                       const NameDecoder& decode, CXMLArchiveItemList* items) {
  uint32_t pos = 0;
  while (size - pos >= 4 && U32(data + pos) == kLocalHeaderSignature) {
    if (size - pos < kLocalHeaderSize) return false;
    const uint8_t* h = data + pos;
    const uint16_t flags = U16(h + 6);
    const uint16_t method = U16(h + 8);
    const uint32_t packed = U32(h + 18);
    const uint32_t unpacked = U32(h + 22);
    const uint32_t name_length = U16(h + 26);
    const uint32_t extra_length = U16(h + 28);
    // Only stored entries whose sizes are in the header can be copied out.
    if (method != 0 || (flags & (kFlagEncrypted | kFlagDataDescriptor)) || packed != unpacked)
      return false;
    const uint32_t room = size - pos - kLocalHeaderSize;
    if (name_length > room || extra_length > room - name_length ||
        packed > room - name_length - extra_length)
      return false;
    if (items->size() >= max_entries) return false;
    const std::wstring name = NormalizeEntryName(
        name_length ? decode(h + kLocalHeaderSize, name_length, (flags & kFlagUtf8Name) != 0)
                    : std::wstring());
    const uint32_t entry_length = kLocalHeaderSize + name_length + extra_length + packed;
    if (!name.empty()) items->emplace(name, CXMLArchiveItem{pos, entry_length, packed});
    pos += entry_length;
  }
  return true;
}

bool ParseIndexFile(const uint8_t* index, uint32_t size, uint32_t max_records,
                    const uint8_t* archive, uint32_t archive_size, CXMLArchiveItemList* out) {
  if (size < 8 || std::memcmp(index, kIndexMagic, 4) != 0) return false;
  const uint32_t count = U32(index + 4);
  if (count > max_records) return false;

  CXMLArchiveItemList items;
  uint32_t pos = 8;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - pos < kIndexRecordFixed + 2) return false;
    const uint8_t* r = index + pos;
    CXMLArchiveItem item{U32(r), U32(r + 4), U32(r + 8)};
    const uint32_t name_bytes = U32(r + 12);
    if (name_bytes % 2 != 0 || name_bytes > size - pos - kIndexRecordFixed - 2) return false;
    std::wstring name(name_bytes / 2, L'\0');
    for (uint32_t c = 0; c < name_bytes / 2; ++c)
      name[c] = static_cast<wchar_t>(U16(r + kIndexRecordFixed + 2 * c));
    if (U16(r + kIndexRecordFixed + name_bytes) != 0) return false;
    uint32_t ignored = 0;
    // A record must describe a real stored entry of this archive.
    if (!StoredDataOffset(archive, archive_size, item, &ignored)) return false;
    name = NormalizeEntryName(name);
    if (!name.empty()) items.emplace(name, item);
    pos += kIndexRecordFixed + name_bytes + 2;
  }
  out->swap(items);
  return true;
}

bool StoredDataOffset(const uint8_t* data, uint32_t size, const CXMLArchiveItem& item,
                      uint32_t* offset) {
  if (item.header_offset > size || size - item.header_offset < kLocalHeaderSize) return false;
  const uint8_t* h = data + item.header_offset;
  if (U32(h) != kLocalHeaderSignature || U16(h + 8) != 0 || U32(h + 18) != item.data_size) return false;
  const uint32_t head = kLocalHeaderSize + U16(h + 26) + U16(h + 28);
  const uint32_t room = size - item.header_offset;
  if (head > room || item.data_size > room - head || item.entry_length != head + item.data_size)
    return false;
  *offset = item.header_offset + head;
  return true;
}

}  // namespace zip
