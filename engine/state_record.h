// The durable record of a partial download, kept beside the partial file
// in the save folder (<name>.kvstate). It says which fixed-size chunks of
// the partial file are complete, for which file (size, digest, validator).
//
// Crash safety: without a piece list the engine flushes the partial file
// before it writes a record that claims its chunks (with one, every piece
// is judged by its digest instead), and a record is replaced whole (written to
// a temporary file, flushed, then moved over the old one), so a process
// killed at any instant leaves either the old or the new record, never a
// torn one. A record that fails its checksum or does not match the task is
// ignored: the download starts over rather than trusting it.
//
// Thread-safety: free functions on values; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fetch {

// Small enough that a killed process loses little of what was in flight
// (each connection loses its unfinished chunk whole), large enough that
// the record of a 4 GiB file stays 16 KiB. A record written with another chunk
// size is not read; with a piece list the pieces on disk are still kept.
constexpr uint32_t kChunkBytes = 32 * 1024;

struct StateRecord {
  uint64_t total = 0;
  std::string sha256;     // the task's digest this record belongs to
  std::string validator;  // "E:<etag>" or "L:<last-modified>" or empty
  bool verified = false;  // the final file was checked and renamed
  std::vector<uint8_t> done;  // one flag per chunk

  uint64_t ChunkCount() const { return (total + kChunkBytes - 1) / kChunkBytes; }
  uint64_t ChunkSize(uint64_t index) const {
    uint64_t start = index * kChunkBytes;
    return total - start < kChunkBytes ? total - start : kChunkBytes;
  }
  uint64_t DoneBytes() const;
};

std::string SerializeState(const StateRecord& record);
bool ParseState(const std::string& bytes, StateRecord* record);

// Atomic replace: <path>.tmp, flush, MoveFileEx over <path>.
bool WriteStateFile(const std::wstring& path, const StateRecord& record);
bool ReadStateFile(const std::wstring& path, StateRecord* record);

// Writes small text atomically the same way (the per-user pointer record).
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes);
bool ReadWholeFile(const std::wstring& path, std::string* bytes, size_t limit);

}  // namespace fetch
