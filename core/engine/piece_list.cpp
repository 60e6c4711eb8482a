#include "core/engine/piece_list.h"

namespace fetch {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;  // upper case too: one spelling per list keeps its digest unique
}

}  // namespace

bool IsValidPieceSize(uint64_t piece_bytes) {
  return piece_bytes >= kMinPieceBytes && piece_bytes <= kMaxPieceBytes && (piece_bytes & (piece_bytes - 1)) == 0;
}

uint64_t PieceCountFor(uint64_t file_bytes, uint64_t piece_bytes) {
  return piece_bytes == 0 ? 0 : file_bytes / piece_bytes + (file_bytes % piece_bytes != 0 ? 1 : 0);
}

bool ParseDigestHex(const char* text, size_t size, PieceDigest* out) {
  if (size != 64) return false;
  PieceDigest digest;
  for (size_t i = 0; i < 32; ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return false;
    digest[i] = static_cast<uint8_t>(high << 4 | low);
  }
  *out = digest;
  return true;
}

std::string DigestHex(const PieceDigest& digest) {
  static const char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(64);
  for (uint8_t b : digest) {
    hex.push_back(kHex[b >> 4]);
    hex.push_back(kHex[b & 15]);
  }
  return hex;
}

PieceListStatus ParsePieceList(const char* data, size_t size, uint64_t file_bytes, uint64_t piece_bytes,
                               PieceTable* out) {
  if (!IsValidPieceSize(piece_bytes) || file_bytes == 0) return PieceListStatus::kBadPieceSize;
  const uint64_t count = PieceCountFor(file_bytes, piece_bytes);
  // The count follows from the length alone; judge it before reading lines
  // so a huge list costs nothing.
  if (size % kPieceLineBytes != 0) return PieceListStatus::kMalformed;
  if (size / kPieceLineBytes != count) return PieceListStatus::kWrongCount;
  PieceTable table;
  table.piece_bytes = piece_bytes;
  table.digests.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < table.digests.size(); ++i) {
    const char* line = data + i * kPieceLineBytes;
    if (line[64] != '\n' || !ParseDigestHex(line, 64, &table.digests[i])) return PieceListStatus::kMalformed;
  }
  *out = std::move(table);
  return PieceListStatus::kOk;
}

PieceListStatus CheckPieceList(const char* data, size_t size, const std::string& list_digest_hex,
                               const std::string& pinned_hex, uint64_t file_bytes, uint64_t piece_bytes,
                               PieceTable* out) {
  if (!IsValidPieceSize(piece_bytes)) return PieceListStatus::kBadPieceSize;
  if (pinned_hex.size() != 64 || list_digest_hex != pinned_hex) return PieceListStatus::kWrongDigest;
  return ParsePieceList(data, size, file_bytes, piece_bytes, out);
}

}  // namespace fetch
