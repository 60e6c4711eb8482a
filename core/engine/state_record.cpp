#include "core/engine/state_record.h"

#include <cstring>

namespace fetch {

namespace {

constexpr char kMagic[8] = {'K', 'V', 'F', 'S', 'T', 'A', 'T', '1'};

uint32_t Crc32(const std::string& data) {
  static uint32_t table[256];
  static bool ready = [] {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return true;
  }();
  (void)ready;
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : data) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU64(std::string* out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutText(std::string* out, const std::string& s) {
  PutU32(out, static_cast<uint32_t>(s.size()));
  out->append(s);
}

struct Reader {
  const std::string& data;
  size_t pos = 0;
  bool U32(uint32_t* v) {
    if (data.size() - pos < 4) return false;
    *v = 0;
    for (int i = 0; i < 4; ++i) *v |= static_cast<uint32_t>(static_cast<unsigned char>(data[pos + i])) << (8 * i);
    pos += 4;
    return true;
  }
  bool U64(uint64_t* v) {
    if (data.size() - pos < 8) return false;
    *v = 0;
    for (int i = 0; i < 8; ++i) *v |= static_cast<uint64_t>(static_cast<unsigned char>(data[pos + i])) << (8 * i);
    pos += 8;
    return true;
  }
  bool Text(std::string* s, size_t limit) {
    uint32_t n = 0;
    if (!U32(&n) || n > limit || data.size() - pos < n) return false;
    s->assign(data, pos, n);
    pos += n;
    return true;
  }
};

}  // namespace

uint64_t StateRecord::DoneBytes() const {
  uint64_t bytes = 0;
  for (uint64_t i = 0; i < done.size(); ++i) {
    if (done[static_cast<size_t>(i)]) bytes += ChunkSize(i);
  }
  return bytes;
}

std::string SerializeState(const StateRecord& record) {
  std::string out(kMagic, sizeof(kMagic));
  PutU64(&out, record.total);
  PutU32(&out, kChunkBytes);
  PutU32(&out, record.verified ? 1 : 0);
  PutText(&out, record.sha256);
  PutText(&out, record.validator);
  std::string bits((record.done.size() + 7) / 8, '\0');
  for (size_t i = 0; i < record.done.size(); ++i) {
    if (record.done[i]) bits[i / 8] = static_cast<char>(bits[i / 8] | (1 << (i % 8)));
  }
  PutText(&out, bits);
  PutU32(&out, Crc32(out));
  return out;
}

bool ParseState(const std::string& bytes, StateRecord* record) {
  if (bytes.size() < sizeof(kMagic) + 4 || memcmp(bytes.data(), kMagic, sizeof(kMagic)) != 0) return false;
  const std::string body = bytes.substr(0, bytes.size() - 4);
  Reader tail{bytes, bytes.size() - 4};
  uint32_t crc = 0;
  if (!tail.U32(&crc) || crc != Crc32(body)) return false;
  Reader r{body, sizeof(kMagic)};
  StateRecord out;
  uint32_t chunk = 0, flags = 0;
  std::string bits;
  if (!r.U64(&out.total) || !r.U32(&chunk) || chunk != kChunkBytes || !r.U32(&flags) ||
      !r.Text(&out.sha256, 64) || !r.Text(&out.validator, 4096) || !r.Text(&bits, 64 * 1024 * 1024) ||
      r.pos != body.size() || out.total == 0) {
    return false;
  }
  out.verified = (flags & 1) != 0;
  const uint64_t chunks = out.ChunkCount();
  if (bits.size() != (chunks + 7) / 8) return false;
  out.done.resize(static_cast<size_t>(chunks));
  for (size_t i = 0; i < out.done.size(); ++i) out.done[i] = (bits[i / 8] >> (i % 8)) & 1;
  *record = std::move(out);
  return true;
}

}  // namespace fetch
