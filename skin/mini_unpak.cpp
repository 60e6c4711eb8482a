#include "skin/mini_unpak.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

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

struct HandleCloser {
  void operator()(void* h) const { CloseHandle(h); }
};
using ScopedFile = std::unique_ptr<void, HandleCloser>;

bool ReadWholeFile(const std::wstring& path, uint32_t max_bytes, std::vector<uint8_t>* out) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ScopedFile file(h);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(h, &size) || size.QuadPart < 0 || size.QuadPart > max_bytes) return false;
  try {
    out->resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return false;
  }
  DWORD read = 0;
  if (out->empty()) return true;
  return ReadFile(h, out->data(), static_cast<DWORD>(out->size()), &read, nullptr) &&
         read == out->size();
}

bool SameTimes(const std::wstring& a, const std::wstring& b) {
  WIN32_FILE_ATTRIBUTE_DATA fa = {}, fb = {};
  if (!GetFileAttributesExW(a.c_str(), GetFileExInfoStandard, &fa) ||
      !GetFileAttributesExW(b.c_str(), GetFileExInfoStandard, &fb))
    return false;
  return CompareFileTime(&fa.ftCreationTime, &fb.ftCreationTime) == 0 &&
         CompareFileTime(&fa.ftLastWriteTime, &fb.ftLastWriteTime) == 0;
}

std::wstring DecodeEntryName(const uint8_t* bytes, uint32_t length, bool utf8) {
  if (length == 0) return std::wstring();
  const UINT code_page = utf8 ? CP_UTF8 : CP_ACP;
  const char* text = reinterpret_cast<const char*>(bytes);
  const int n = MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring name(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), &name[0], n);
  return name;
}

}  // namespace

bool CUIMemoryFile::Load(const std::wstring& path, uint32_t max_bytes) {
  Clear();
  if (!ReadWholeFile(path, max_bytes, &bytes_)) {
    Clear();
    return false;
  }
  open_ = true;
  return true;
}

void CUIMemoryFile::Clear() {
  std::vector<uint8_t>().swap(bytes_);
  open_ = false;
}

std::wstring CMiniUnPak::NormalizeName(const std::wstring& name) {
  std::wstring out = name;
  for (wchar_t& c : out) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    else if (c == L'/') c = L'\\';
  }
  if (!out.empty() && out[0] == L'\\') out.erase(0, 1);
  return out;
}

bool CMiniUnPak::OpenArchive(const std::wstring& path) { return OpenArchive(path, path + L".idx"); }

bool CMiniUnPak::OpenArchive(const std::wstring& path, const std::wstring& index_path) {
  CloseArchive();
  if (!file_.Load(path, kMaxArchiveBytes)) return false;
  if (!index_path.empty() && GetFileAttributesW(index_path.c_str()) != INVALID_FILE_ATTRIBUTES &&
      SameTimes(path, index_path) && LoadIndexFile(index_path)) {
    index_from_cache_ = true;
    return true;
  }
  items_.clear();
  if (!ScanArchive()) {
    CloseArchive();
    return false;
  }
  return true;
}

void CMiniUnPak::CloseArchive() {
  file_.Clear();
  items_.clear();
  index_from_cache_ = false;
}

bool CMiniUnPak::ScanArchive() {
  const uint8_t* data = file_.Data();
  const uint32_t size = file_.Size();
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
    if (items_.size() >= kMaxEntries) return false;
    const std::wstring name = NormalizeName(
        DecodeEntryName(h + kLocalHeaderSize, name_length, (flags & kFlagUtf8Name) != 0));
    const uint32_t entry_length = kLocalHeaderSize + name_length + extra_length + packed;
    if (!name.empty()) items_.emplace(name, CXMLArchiveItem{pos, entry_length, packed});
    pos += entry_length;
  }
  return true;
}

bool CMiniUnPak::LoadIndexFile(const std::wstring& index_path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(index_path, kMaxIndexFileBytes, &bytes)) return false;
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  if (size < 8 || std::memcmp(bytes.data(), kIndexMagic, 4) != 0) return false;
  const uint32_t count = U32(bytes.data() + 4);
  if (count > kMaxIndexRecords) return false;

  CXMLArchiveItemList items;
  uint32_t pos = 8;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - pos < kIndexRecordFixed + 2) return false;
    const uint8_t* r = bytes.data() + pos;
    CXMLArchiveItem item{U32(r), U32(r + 4), U32(r + 8)};
    const uint32_t name_bytes = U32(r + 12);
    if (name_bytes % 2 != 0 || name_bytes > size - pos - kIndexRecordFixed - 2) return false;
    std::wstring name(name_bytes / 2, L'\0');
    for (uint32_t c = 0; c < name_bytes / 2; ++c)
      name[c] = static_cast<wchar_t>(U16(r + kIndexRecordFixed + 2 * c));
    if (U16(r + kIndexRecordFixed + name_bytes) != 0) return false;
    uint32_t ignored = 0;
    // A record must describe a real stored entry of this archive.
    if (!DataOffset(item, &ignored)) return false;
    name = NormalizeName(name);
    if (!name.empty()) items.emplace(name, item);
    pos += kIndexRecordFixed + name_bytes + 2;
  }
  items_.swap(items);
  return true;
}

bool CMiniUnPak::DataOffset(const CXMLArchiveItem& item, uint32_t* offset) const {
  const uint8_t* data = file_.Data();
  const uint32_t size = file_.Size();
  if (!file_.IsOpen() || item.header_offset > size || size - item.header_offset < kLocalHeaderSize)
    return false;
  const uint8_t* h = data + item.header_offset;
  if (U32(h) != kLocalHeaderSignature || U16(h + 8) != 0 || U32(h + 18) != item.data_size) return false;
  const uint32_t head = kLocalHeaderSize + U16(h + 26) + U16(h + 28);
  const uint32_t room = size - item.header_offset;
  if (head > room || item.data_size > room - head || item.entry_length != head + item.data_size)
    return false;
  *offset = item.header_offset + head;
  return true;
}

int CMiniUnPak::ReadEntry(const std::wstring& name, void* buffer, uint32_t size) const {
  if (!IsOpen()) return -1;
  auto it = items_.find(NormalizeName(name));
  if (it == items_.end()) return 0;
  uint32_t offset = 0;
  if (!DataOffset(it->second, &offset)) return 0;
  uint32_t n = it->second.data_size < size ? it->second.data_size : size;
  if (n > 0x7FFFFFFF) n = 0x7FFFFFFF;
  if (n > 0 && buffer) std::memcpy(buffer, file_.Data() + offset, n);
  return buffer ? static_cast<int>(n) : 0;
}

uint32_t CMiniUnPak::EntrySize(const std::wstring& name) const {
  auto it = items_.find(NormalizeName(name));
  return it == items_.end() ? 0 : it->second.data_size;
}
