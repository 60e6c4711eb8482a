// The bytes of the durable record of a partial download (engine/
// state_record.h keeps it on disk): which fixed-size chunks of the partial
// file are complete, for which file. Little-endian fields after the magic
// "KVFSTAT1", ending in a CRC-32 of everything before it.
//
// Part of the pure core: standard C++ only, no platform call, so the
// native fuzzers build exactly this code.
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

  // Rounded up without overflow: a total near 2^64 must not wrap to no chunks.
  uint64_t ChunkCount() const { return total / kChunkBytes + (total % kChunkBytes != 0 ? 1 : 0); }
  uint64_t ChunkSize(uint64_t index) const {
    uint64_t start = index * kChunkBytes;
    return total - start < kChunkBytes ? total - start : kChunkBytes;
  }
  uint64_t DoneBytes() const;
};

std::string SerializeState(const StateRecord& record);
// False (and `record` untouched) on a wrong magic, checksum or chunk size,
// a total of 0 or a flag count that does not match the total.
bool ParseState(const std::string& bytes, StateRecord* record);

}  // namespace fetch
