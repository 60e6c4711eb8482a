// The layout of stored (uncompressed) ZIP archives and of their ".idx"
// index cache, read from bytes already in memory: the local-header scan,
// the index records, and the check that a record describes a real entry.
//
// Part of the pure core: standard C++ only, no platform call, so the
// native fuzzers build exactly this code. Files and name decoding from code
// pages stay with the caller (skin/mini_unpak).
//
// Input is untrusted: every offset and length is checked against the bytes
// actually there, in 32-bit arithmetic that cannot wrap. Allocation is
// bounded by the input: one map entry per header or record, at most
// `max_entries` / `max_records` of them.
//
// Index file: "ridx", u32 record count, then per record u32 header offset,
// u32 entry length, u32 data size, u32 name bytes, the name in UTF-16LE and
// a u16 zero. Little-endian throughout.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

struct CXMLArchiveItem {
  uint32_t header_offset = 0;
  uint32_t entry_length = 0;  // 30 + name length + extra length + data size
  uint32_t data_size = 0;
};

using CXMLArchiveItemList = std::map<std::wstring, CXMLArchiveItem>;

namespace zip {

// (name bytes, length, whether the UTF-8 flag is set) -> the name.
using NameDecoder = std::function<std::wstring(const uint8_t*, uint32_t, bool)>;

// ASCII a-z to upper case, '/' to '\', one leading separator dropped.
std::wstring NormalizeEntryName(const std::wstring& name);

// Adds one item per local header from the start of `data` (names decoded,
// then normalised; entries with empty names skipped). False, leaving
// `items` partly filled, for a compressed, encrypted or data-descriptor
// entry, a truncated header, an entry running past the end, or more than
// `max_entries` entries.
bool ScanStoredArchive(const uint8_t* data, uint32_t size, size_t max_entries,
                       const NameDecoder& decode, CXMLArchiveItemList* items);

// Reads an index file whose every record must describe a real stored entry
// of `archive`. On success replaces `*items`; false leaves it alone.
bool ParseIndexFile(const uint8_t* index, uint32_t index_size, uint32_t max_records,
                    const uint8_t* archive, uint32_t archive_size, CXMLArchiveItemList* items);

// The entry's data offset when the header at `item` is intact, stored, and
// agrees with the item; false otherwise.
bool StoredDataOffset(const uint8_t* archive, uint32_t archive_size, const CXMLArchiveItem& item,
                      uint32_t* offset);

}  // namespace zip
