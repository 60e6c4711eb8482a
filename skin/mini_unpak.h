// A reader of ZIP archives whose entries are stored (not compressed), such
// as the skin archives the program carries. The whole archive is read into
// memory at once and entries are copied out of it.
//
// The index (entry name -> where the entry lies) comes from the local file
// headers, or from an index cache file "<archive>.idx" when that file's
// creation and last-write times both equal the archive's. Entry names are
// normalised on insertion and lookup alike: ASCII a-z to upper case, '/' to
// '\', one leading separator dropped; so lookups ignore ASCII case.
//
// Input is untrusted: every offset and length from the archive or the index
// file is checked against the bytes actually there. An archive with a
// compressed, encrypted or data-descriptor entry, a truncated header, or an
// entry running past the end is refused whole. A bad index file is ignored
// and the archive scanned instead.
//
// Thread-safety: an object belongs to one thread; separate objects may be
// used on separate threads.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/zip/stored_zip.h"

// The archive's bytes.
class CUIMemoryFile {
 public:
  // Reads the whole file; false (and empty) if it is missing, unreadable or
  // larger than `max_bytes`.
  bool Load(const std::wstring& path, uint32_t max_bytes);
  void Clear();
  bool IsOpen() const { return open_; }
  const uint8_t* Data() const { return bytes_.data(); }
  uint32_t Size() const { return static_cast<uint32_t>(bytes_.size()); }

 private:
  std::vector<uint8_t> bytes_;
  bool open_ = false;
};

class CMiniUnPak {
 public:
  // Far above any skin; keeps a hostile file from taking the address space.
  static constexpr uint32_t kMaxArchiveBytes = 256u * 1024u * 1024u;
  static constexpr uint32_t kMaxIndexFileBytes = 64u * 1024u * 1024u;
  static constexpr uint32_t kMaxIndexRecords = 32767;
  static constexpr size_t kMaxEntries = 65535;

  CMiniUnPak() = default;
  virtual ~CMiniUnPak() = default;
  CMiniUnPak(const CMiniUnPak&) = delete;
  CMiniUnPak& operator=(const CMiniUnPak&) = delete;

  // Closes any open archive, then opens `path` with the index cache
  // `path` + ".idx" (or `index_path`). False if the file cannot be read
  // whole or the scan refuses it.
  bool OpenArchive(const std::wstring& path);
  bool OpenArchive(const std::wstring& path, const std::wstring& index_path);
  void CloseArchive();
  bool IsOpen() const { return file_.IsOpen(); }

  // Copies at most `size` bytes of the entry's data into `buffer`: the
  // number copied, 0 for an unknown name, -1 when no archive is open.
  int ReadEntry(const std::wstring& name, void* buffer, uint32_t size) const;
  // The entry's data size; 0 for an unknown name.
  uint32_t EntrySize(const std::wstring& name) const;

  const CXMLArchiveItemList& Entries() const { return items_; }
  // True when the open archive's index came from its cache file.
  bool IndexFromCache() const { return index_from_cache_; }

  static std::wstring NormalizeName(const std::wstring& name);

 private:
  bool ScanArchive();
  bool LoadIndexFile(const std::wstring& index_path);
  // The entry's data offset when the header at `item` is intact and agrees
  // with the item; false otherwise.
  bool DataOffset(const CXMLArchiveItem& item, uint32_t* offset) const;

  CUIMemoryFile file_;
  CXMLArchiveItemList items_;
  bool index_from_cache_ = false;
};
