// A stored-zip archive and its ".idx" index cache. Input: a 32-bit
// little-endian archive length, the archive's bytes, then the index's.
// Every entry found either way must be copyable out of the archive's bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/zip/stored_zip.h"
#include "fuzz_check.h"

namespace {

// The program's limits (skin/mini_unpak.h).
constexpr size_t kMaxEntries = 65535;
constexpr uint32_t kMaxIndexRecords = 32767;

// Code pages belong to the platform; one byte to one character reaches
// every path of the scan.
std::wstring Widen(const uint8_t* bytes, uint32_t length, bool) {
  return std::wstring(bytes, bytes + length);
}

// Copies every entry out through the archive's own bytes, so
// AddressSanitizer sees any offset past the end.
void CopyEveryEntry(const std::vector<uint8_t>& archive, const CXMLArchiveItemList& items) {
  std::vector<uint8_t> out;
  for (const auto& [name, item] : items) {
    KV_FUZZ_CHECK(!name.empty());
    uint32_t offset = 0;
    KV_FUZZ_CHECK(zip::StoredDataOffset(archive.data(), static_cast<uint32_t>(archive.size()), item,
                                        &offset));
    out.resize(item.data_size);
    if (item.data_size) std::memcpy(out.data(), archive.data() + offset, item.data_size);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  uint32_t archive_size = static_cast<uint32_t>(data[0]) | (static_cast<uint32_t>(data[1]) << 8) |
                          (static_cast<uint32_t>(data[2]) << 16) |
                          (static_cast<uint32_t>(data[3]) << 24);
  if (archive_size > size - 4) archive_size = static_cast<uint32_t>(size - 4);
  // Exact-size copies: the sanitizer then catches a read one past either.
  const std::vector<uint8_t> archive(data + 4, data + 4 + archive_size);
  const std::vector<uint8_t> index(data + 4 + archive_size, data + size);

  CXMLArchiveItemList scanned;
  if (zip::ScanStoredArchive(archive.data(), archive_size, kMaxEntries, Widen, &scanned)) {
    CopyEveryEntry(archive, scanned);
  }

  CXMLArchiveItemList cached;
  cached.emplace(L"KEPT", CXMLArchiveItem{});
  if (zip::ParseIndexFile(index.data(), static_cast<uint32_t>(index.size()), kMaxIndexRecords,
                          archive.data(), archive_size, &cached)) {
    CopyEveryEntry(archive, cached);
  } else {
    // A refused index leaves the caller's list alone.
    KV_FUZZ_CHECK(cached.size() == 1 && cached.count(L"KEPT") == 1);
  }
  return 0;
}
