// One download of one task into one save folder: the partial file, its
// state record, the connections that fill it, the check and the rename.
//
// A job runs on its own supervisor thread, which starts one worker thread
// per connection. Workers claim runs of 32 KiB chunks, fetch them with a
// Range request and write each chunk whole at its offset; the supervisor
// records the finished chunks (at least every 8 MiB or 40 ms; without
// pieces it flushes the file first, and waits 200 ms between records),
// measures the speed, and once the file is complete gives it its final
// name. When no chunk is free any more, idle workers duplicate the back
// half of the longest run another worker still fetches slowly (its next
// chunk waiting for half a second: the end-game): the first to have a
// chunk writes it, and a worker whose span is all done leaves it at once.
//
// When is a file complete? With a piece list (the usual table): when every
// piece read back from disk matched its digest in the list, the list
// itself having matched the digest the table pins. Each piece is checked
// by the PieceVerifier pool as soon as its last chunk is written; a piece
// that fails is fetched again (from the next source when it failed from
// this one) and its bytes never count as received; only a piece that
// fails from every source, twice each, ends the job with kCheckFailed.
// At start, every piece of a partial file of the right size is checked
// too, so bytes written after the last record are kept and bytes the
// record claims but the disk lacks (a torn write) are fetched again. A
// file finished by an earlier run goes back under its partial name and
// through the same check before it is reported complete.
//
// Without a piece list: when the file's size and whole-file SHA-256 match
// the table. A hasher thread reads back the complete prefix of the partial
// file, through its own handle, as chunks finish, so the digest is ready
// moments after the last byte; a resumed job hashes again what an earlier
// run left on disk. A mismatch ends the job with kCheckFailed and the
// partial file is deleted (there is nothing to repair by).
//
// Within a run nothing else can write the file (it is open without write
// sharing), and a chunk is written again only after its piece failed or
// the file on the server changed (which bumps the epoch).
//
// Thread-safety: Open() and Join() from the owning engine's control thread;
// Pause(), Resume(), RequestStop() and Snapshot() from any thread, none of
// them waits for I/O. Ownership: the job owns its threads and file handle;
// Join() (or the destructor) ends them.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/scoped_handle.h"
#include "engine/fetch_contract.h"
#include "engine/piece_verifier.h"
#include "engine/state_record.h"
#include "engine/task_table.h"

namespace fetch {

enum class JobPhase { kRunning, kVerifying, kDone, kFailed, kCheckFailed };

struct JobSnapshot {
  JobPhase phase = JobPhase::kRunning;
  int32_t failure = kOk;  // the code of a failed job
  int64_t total = 0;
  int64_t received = 0;
  int32_t speed = 0;
  bool paused = false;
  bool stopped = false;  // shut down: the job will not go on by itself
  int pieces_fetched_again = 0;  // pieces that failed their check in this job
};

// File names of a task's download inside a save folder.
std::wstring PartPath(const std::wstring& folder, const Task& task);
std::wstring StatePath(const std::wstring& folder, const Task& task);
std::wstring FinalPath(const std::wstring& folder, const Task& task);

class TransferJob {
 public:
  TransferJob(Task task, std::wstring folder);
  ~TransferJob();
  TransferJob(const TransferJob&) = delete;
  TransferJob& operator=(const TransferJob&) = delete;

  // Takes the files (refusing with kBusy when another engine holds them),
  // reads the state record and starts the supervisor. Fast: no network.
  int32_t Open();
  void Pause();
  void Resume();
  void RequestStop();
  // Waits for every thread and closes the files; the state on disk is then
  // resumable. Only after RequestStop() or the end of the job.
  void Join();
  JobSnapshot Snapshot() const;
  const std::wstring& folder() const { return folder_; }

 private:
  struct Span {
    uint64_t first_chunk = 0;
    uint64_t end_chunk = 0;  // exclusive
    bool whole_body = false; // no Range: the server ignores ranges
  };
  enum class SpanResult { kDone, kRetry, kRestart, kFatal };

  void Supervise();
  void Work(int index);
  bool ClaimSpan(int worker, Span* span);
  bool ClaimDuplicate(Span* span);  // under lock_
  bool RestDone(const Span& span, uint64_t from) const;
  // Only one connection writes a chunk, and never one already done.
  bool BeginChunkWrite(uint64_t chunk);
  void EndChunkWrite(uint64_t chunk);
  void ReleaseSpan(const Span& span);
  SpanResult FetchSpan(class HttpConnection* conn, const Span& span, char* buffer, uint32_t* span_epoch,
                       int* source, uint32_t* retry_after_ms);
  bool AdoptValidator(const std::string& validator);
  bool WriteChunk(uint64_t chunk, const char* data, uint32_t size);
  void MarkDone(uint64_t chunk, uint32_t epoch, int source);
  void NoteFailure(int source, int failures_in_a_row);
  void NoteProgress();
  void Fail(int32_t code);
  int32_t FailureCode() const;
  void Checkpoint();
  void Verify();
  void HashPrefix();  // the hasher thread
  bool ChunkDone(uint64_t chunk) const;
  bool Sleep(uint32_t ms);  // false when stopped meanwhile
  std::string UrlFor(const Span& span, int* source);
  bool AllDone() const;
  bool Finished() const;  // all pieces verified, or (without pieces) all chunks done

  // Pieces (transfer_job_pieces.cpp). The *Locked ones need lock_ held.
  bool HasPieces() const { return !task_.pieces.empty(); }
  uint64_t PieceOf(uint64_t chunk) const { return chunk / chunks_per_piece_; }
  uint64_t PieceEnd(uint64_t piece) const;  // its first chunk after it
  void InitPiecesLocked();
  void StartVerifier();
  void CheckAtStart();  // resume by hash; returns when every piece was judged
  void OnVerdict(const PieceCheck& check, bool ok);
  void PieceFailedLocked(uint64_t piece);
  void ResetOpenPiecesLocked();
  bool SpanMayGrowLocked(uint64_t first_chunk, uint64_t next_chunk) const;
  int SourceForLocked(uint64_t first_chunk) const;
  void SubmitIfCompleteLocked(uint64_t piece);

  const Task task_;
  const uint64_t chunks_per_piece_;
  const std::wstring folder_;
  const std::wstring part_path_, state_path_, final_path_;
  base::ScopedHandle part_;
  base::ScopedHandle checkpoint_due_;  // auto-reset event: enough unrecorded data

  mutable std::mutex lock_;  // guards everything below up to the atomics
  StateRecord record_;
  std::vector<uint8_t> claimed_;  // connections fetching each chunk (two in the end-game)
  std::vector<uint8_t> writing_;  // a connection is writing the chunk: the other skips it
  std::vector<ULONGLONG> waiting_since_;  // when a claimed chunk's fetch could have begun
  int source_ = 0;
  int source_failures_ = 0;
  bool ranges_ignored_ = false;
  uint64_t unflushed_bytes_ = 0;
  int32_t failure_ = kOk;
  bool check_at_start_ = false;       // the partial file holds an earlier run's bytes
  enum PieceState : uint8_t { kPieceOpen, kPieceChecking, kPieceGood };
  std::vector<uint8_t> piece_state_;
  std::vector<uint8_t> piece_failures_;
  std::vector<uint8_t> piece_bad_source_;  // where it last failed from
  std::vector<uint8_t> chunk_source_;      // which source wrote each chunk
  std::vector<int> source_bad_pieces_;
  int pieces_fetched_again_ = 0;

  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<uint32_t> epoch_{0};  // bumped when the file on the server changed
  std::atomic<JobPhase> phase_{JobPhase::kRunning};
  std::atomic<int64_t> received_{0};
  std::atomic<int64_t> session_bytes_{0};
  std::atomic<int32_t> speed_{0};
  std::atomic<bool> failed_{false};
  std::atomic<bool> workers_exit_{false};

  // Written by the hasher thread, read by the supervisor after joining it.
  std::string prefix_digest_;  // set once the whole file was hashed
  base::ScopedHandle hash_wake_;  // auto-reset event: a chunk finished
  std::atomic<bool> hasher_exit_{false};

  std::unique_ptr<PieceVerifier> verifier_;  // with pieces, while the supervisor runs
  std::thread supervisor_;
  std::thread hasher_;
  std::vector<std::thread> workers_;
};

}  // namespace fetch
