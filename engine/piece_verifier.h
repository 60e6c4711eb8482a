// Checks pieces of the partial file against the task's piece list on a
// small pool of threads, one per core (at least two, at most four), so the
// check keeps pace with a fast link instead of trailing it on one core.
//
// Each thread reads the piece back through its own handle: what is judged
// is what is on disk, not what the network delivered. A piece of nothing
// but zero bytes (a hole the download has not reached) is judged without
// hashing it, which keeps the check at start of a resume cheap.
//
// Thread-safety: Submit() and Pending() from any thread; Start() and Stop()
// from the owner's thread. The verdict runs on a pool thread, several at
// once: it must be safe for that. Ownership: the verifier owns its threads
// and handles; Stop() (or the destructor) drops what is queued and joins.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/engine/piece_list.h"

namespace fetch {

struct PieceCheck {
  uint64_t piece = 0;
  uint32_t epoch = 0;    // the job's epoch when submitted, handed back
  bool initial = false;  // the check at start, not a freshly written piece
};

class PieceVerifier {
 public:
  // `ok` false also when the piece could not be read.
  using Verdict = std::function<void(const PieceCheck& check, bool ok)>;

  PieceVerifier(std::wstring path, const PieceTable& pieces, uint64_t file_bytes, Verdict verdict);
  ~PieceVerifier();
  PieceVerifier(const PieceVerifier&) = delete;
  PieceVerifier& operator=(const PieceVerifier&) = delete;

  void Start();
  void Submit(const PieceCheck& check);
  // Queued and running checks.
  size_t Pending() const;
  void Stop();

  static int PoolSize();

 private:
  void Run();
  bool Check(HANDLE file, uint64_t piece, std::vector<char>* buffer);
  bool ZeroPieceMatches(uint64_t piece);

  const std::wstring path_;
  const PieceTable& pieces_;
  const uint64_t file_bytes_;
  const Verdict verdict_;

  mutable std::mutex lock_;
  std::condition_variable wake_;
  std::deque<PieceCheck> queue_;
  size_t running_ = 0;
  bool stop_ = false;
  // Digest of an all-zero piece, per length (full pieces and the last one).
  std::vector<std::pair<uint64_t, PieceDigest>> zero_digests_;
  std::vector<std::thread> threads_;
};

}  // namespace fetch
