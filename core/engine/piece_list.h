// The piece list of a task: the file cut into pieces of a power-of-two
// size, each with its SHA-256, so the engine can check, keep and repair the
// file piece by piece instead of trusting it or fetching it whole again.
//
// The list is a text file beside the .task, "<task id>.pieces": one line
// per piece in file order, 64 lower-case hex digits and "\n", nothing else
// (so `sha256sum` of each piece, cut to the digest, makes it). The .task
// pins the list by its own SHA-256, so a list and the table cannot drift
// apart; a list that fails that digest, has a line too many or too few, or
// any other byte out of place leaves the task incomplete.
//
// Standard C++ only (no platform headers): the parser is also built
// natively, for fuzzing. The caller hashes the list's bytes with the
// platform hash and hands the digest in.
//
// Thread-safety: free functions on values; any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace fetch {

using PieceDigest = std::array<uint8_t, 32>;

// Piece sizes the engine accepts: powers of two from 256 KiB (a whole
// number of the engine's chunks) to 1 GiB.
constexpr uint64_t kMinPieceBytes = 256 * 1024;
constexpr uint64_t kMaxPieceBytes = 1ull << 30;
constexpr size_t kPieceLineBytes = 65;

enum class PieceListStatus {
  kOk,
  kBadPieceSize,   // not a power of two in the accepted range
  kWrongDigest,    // the list's bytes are not the ones the table pins
  kWrongCount,     // more or fewer lines than the file has pieces
  kMalformed,      // a line that is not 64 lower-case hex digits and "\n"
};

struct PieceTable {
  uint64_t piece_bytes = 0;
  std::vector<PieceDigest> digests;

  bool empty() const { return digests.empty(); }
  uint64_t Count() const { return digests.size(); }
};

bool IsValidPieceSize(uint64_t piece_bytes);
uint64_t PieceCountFor(uint64_t file_bytes, uint64_t piece_bytes);

// Lower-case hex <-> 32 bytes; false on anything but 64 hex digits.
bool ParseDigestHex(const char* text, size_t size, PieceDigest* out);
std::string DigestHex(const PieceDigest& digest);

// Parses `size` bytes of a list for a file of `file_bytes` cut into pieces
// of `piece_bytes`. On any status but kOk, `out` is left untouched.
PieceListStatus ParsePieceList(const char* data, size_t size, uint64_t file_bytes, uint64_t piece_bytes,
                               PieceTable* out);

// The whole check: the list's digest (computed by the caller over the same
// bytes) against the pinned one, then the parse.
PieceListStatus CheckPieceList(const char* data, size_t size, const std::string& list_digest_hex,
                               const std::string& pinned_hex, uint64_t file_bytes, uint64_t piece_bytes,
                               PieceTable* out);

}  // namespace fetch
