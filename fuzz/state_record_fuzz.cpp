// The record a partial download leaves. An odd first byte has the harness
// put the right checksum at the end first, so the fuzzer reaches the
// fields behind it. A rejected record leaves the caller's untouched; an
// accepted one has a flag per chunk of its total, and written back it
// reads the same. Records are also built from the input and must survive
// the round trip.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/engine/state_record.h"
#include "fuzz_check.h"

namespace {

uint32_t Crc32(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc ^ 0xFFFFFFFFu;
}

bool SameRecord(const fetch::StateRecord& a, const fetch::StateRecord& b) {
  return a.total == b.total && a.sha256 == b.sha256 && a.validator == b.validator && a.verified == b.verified &&
         a.done == b.done;
}

void CheckAccepted(const fetch::StateRecord& r) {
  KV_FUZZ_CHECK(r.total != 0);
  const uint64_t chunks = r.ChunkCount();
  KV_FUZZ_CHECK(chunks * fetch::kChunkBytes >= r.total && (chunks - 1) * fetch::kChunkBytes < r.total);
  KV_FUZZ_CHECK(r.done.size() == chunks);
  KV_FUZZ_CHECK(r.DoneBytes() <= r.total);
  KV_FUZZ_CHECK(r.ChunkSize(chunks - 1) >= 1 && r.ChunkSize(chunks - 1) <= fetch::kChunkBytes);
  fetch::StateRecord again;
  KV_FUZZ_CHECK(fetch::ParseState(fetch::SerializeState(r), &again));
  KV_FUZZ_CHECK(SameRecord(r, again));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) != 0 && bytes.size() >= 4) {
    const uint32_t crc = Crc32(bytes.substr(0, bytes.size() - 4));
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  }
  fetch::StateRecord record;
  record.sha256 = "untouched";
  const bool parsed = fetch::ParseState(bytes, &record);
  if (parsed) {
    CheckAccepted(record);
    KV_FUZZ_CHECK(fetch::SerializeState(record).size() == bytes.size());
  } else {
    KV_FUZZ_CHECK(record.sha256 == "untouched" && record.total == 0 && record.done.empty());
  }

  // A record made from the input: a total of up to 32 chunks, its flags
  // and texts from the following bytes.
  if (bytes.size() >= 2) {
    fetch::StateRecord made;
    made.total = 1 + (static_cast<uint64_t>(static_cast<uint8_t>(bytes[0])) << 12) +
                 static_cast<uint64_t>(static_cast<uint8_t>(bytes[1])) * 3;
    made.verified = (data[0] & 2) != 0;
    made.done.resize(static_cast<size_t>(made.ChunkCount()));
    for (size_t i = 0; i < made.done.size(); ++i) made.done[i] = i + 2 < bytes.size() && (bytes[i + 2] & 1);
    made.sha256 = bytes.substr(2, 64);
    made.validator = bytes.size() > 66 ? bytes.substr(66, 4096) : std::string();
    CheckAccepted(made);
  }
  return 0;
}
