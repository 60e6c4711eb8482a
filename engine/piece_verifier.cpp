#include "engine/piece_verifier.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "base/scoped_handle.h"
#include "engine/sha256.h"

namespace fetch {

namespace {

constexpr uint32_t kReadBytes = 1024 * 1024;

bool AllZero(const char* data, size_t size) {
  // Word-wise: this scan runs over every hole of a resumed file.
  size_t i = 0;
  for (; i + sizeof(uint64_t) <= size; i += sizeof(uint64_t)) {
    uint64_t word;
    memcpy(&word, data + i, sizeof(word));
    if (word != 0) return false;
  }
  for (; i < size; ++i) {
    if (data[i] != 0) return false;
  }
  return true;
}

bool DigestOf(Sha256* sha, PieceDigest* out) {
  const std::string hex = sha->FinishHex();
  return ParseDigestHex(hex.data(), hex.size(), out);
}

}  // namespace

PieceVerifier::PieceVerifier(std::wstring path, const PieceTable& pieces, uint64_t file_bytes, Verdict verdict)
    : path_(std::move(path)), pieces_(pieces), file_bytes_(file_bytes), verdict_(std::move(verdict)) {}

PieceVerifier::~PieceVerifier() { Stop(); }

int PieceVerifier::PoolSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return std::max(2, std::min(4, static_cast<int>(info.dwNumberOfProcessors)));
}

void PieceVerifier::Start() {
  const int count = PoolSize();
  for (int i = 0; i < count; ++i) threads_.emplace_back(&PieceVerifier::Run, this);
}

void PieceVerifier::Submit(const PieceCheck& check) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(check);
  }
  wake_.notify_one();
}

size_t PieceVerifier::Pending() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queue_.size() + running_;
}

void PieceVerifier::Stop() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

void PieceVerifier::Run() {
  // Shared for writing: the job writes other pieces meanwhile. A handle of
  // its own per thread, since a synchronous handle serialises its reads.
  base::ScopedHandle file(CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
  std::vector<char> buffer;
  try {
    buffer.resize(kReadBytes);
  } catch (...) {
    buffer.clear();
  }
  for (;;) {
    PieceCheck check;
    {
      std::unique_lock<std::mutex> guard(lock_);
      wake_.wait(guard, [this] { return stop_ || !queue_.empty(); });
      if (stop_) return;
      check = queue_.front();
      queue_.pop_front();
      ++running_;
    }
    bool ok = false;
    try {
      ok = file && !buffer.empty() && Check(file.Get(), check.piece, &buffer);
    } catch (...) {
      ok = false;  // judged bad: the piece is fetched again, never trusted
    }
    verdict_(check, ok);
    std::lock_guard<std::mutex> guard(lock_);
    --running_;
  }
}

bool PieceVerifier::Check(HANDLE file, uint64_t piece, std::vector<char>* buffer) {
  if (piece >= pieces_.Count()) return false;
  const uint64_t first = piece * pieces_.piece_bytes;
  const uint64_t size = std::min(pieces_.piece_bytes, file_bytes_ - first);
  Sha256 sha;
  uint64_t zeros = 0;  // leading zero bytes not hashed yet
  for (uint64_t done = 0; done < size;) {
    const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(kReadBytes, size - done));
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(first + done);
    at.OffsetHigh = static_cast<DWORD>((first + done) >> 32);
    DWORD read = 0;
    if (!ReadFile(file, buffer->data(), want, &read, &at) || read != want) return false;
    if (zeros == done && AllZero(buffer->data(), want)) {
      zeros += want;
    } else {
      if (zeros > 0 && zeros == done) {
        // Data after a zero run: the run is part of the piece after all.
        std::vector<char> zero_block(kReadBytes, 0);
        for (uint64_t z = 0; z < zeros;) {
          const size_t n = static_cast<size_t>(std::min<uint64_t>(kReadBytes, zeros - z));
          sha.Update(zero_block.data(), n);
          z += n;
        }
      }
      sha.Update(buffer->data(), want);
    }
    done += want;
  }
  if (zeros == size) return ZeroPieceMatches(piece);
  PieceDigest digest;
  return DigestOf(&sha, &digest) && digest == pieces_.digests[static_cast<size_t>(piece)];
}

bool PieceVerifier::ZeroPieceMatches(uint64_t piece) {
  const uint64_t first = piece * pieces_.piece_bytes;
  const uint64_t size = std::min(pieces_.piece_bytes, file_bytes_ - first);
  {
    std::lock_guard<std::mutex> guard(lock_);
    for (const auto& known : zero_digests_) {
      if (known.first == size) return known.second == pieces_.digests[static_cast<size_t>(piece)];
    }
  }
  // Once per length and job: a file may really hold a piece of zeros.
  Sha256 sha;
  std::vector<char> zero_block(kReadBytes, 0);
  for (uint64_t z = 0; z < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kReadBytes, size - z));
    sha.Update(zero_block.data(), n);
    z += n;
  }
  PieceDigest digest;
  if (!DigestOf(&sha, &digest)) return false;
  std::lock_guard<std::mutex> guard(lock_);
  zero_digests_.emplace_back(size, digest);
  return digest == pieces_.digests[static_cast<size_t>(piece)];
}

}  // namespace fetch
