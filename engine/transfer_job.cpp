#include "engine/transfer_job.h"

#include <algorithm>
#include <deque>
#include <random>
#include <utility>

#include "engine/file_check.h"
#include "engine/http_conn.h"
#include "engine/sha256.h"

namespace fetch {

namespace {

constexpr uint64_t kCheckpointBytes = 8ull * 1024 * 1024;
constexpr ULONGLONG kCheckpointMs = 40;
// Without pieces each record waits for a flush of the data: less often.
constexpr ULONGLONG kFlushedCheckpointMs = 200;
constexpr ULONGLONG kSpeedWindowMs = 3000;
constexpr int kMaxRedirects = 5;
constexpr uint32_t kMaxRetryAfterMs = 30000;
// The end-game shares a run only when its next chunk has waited this long:
// a slow or dripping connection, not a fast one about to finish.
constexpr ULONGLONG kEndGameAfterMs = 500;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// ETag wins; a weak one cannot be sent in If-Range, so Last-Modified
// stands in for it when present.
std::string ValidatorOf(const HttpResponse& r) {
  if (!r.etag.empty() && r.etag.compare(0, 2, "W/") != 0) return "E:" + r.etag;
  if (!r.last_modified.empty()) return "L:" + r.last_modified;
  if (!r.etag.empty()) return "E:" + r.etag;
  return std::string();
}

std::string IfRangeOf(const std::string& validator) {
  if (validator.size() < 2 || validator.compare(0, 4, "E:W/") == 0) return std::string();
  return validator.substr(2);
}

uint32_t Backoff(int failures, uint32_t retry_after_ms) {
  thread_local std::minstd_rand random(GetCurrentThreadId() ^ static_cast<unsigned>(GetTickCount()));
  const uint32_t base = std::min<uint32_t>(8000, 250u << std::min(failures, 5));
  // Jitter spreads the connections' retries so they do not hit a
  // recovering server all in the same instant.
  const uint32_t jittered = base / 2 + random() % (base / 2 + 1);
  return std::max(jittered, std::min(retry_after_ms, kMaxRetryAfterMs));
}

}  // namespace

std::wstring PartPath(const std::wstring& folder, const Task& task) {
  return folder + L"\\" + task.name + L".kvpart";
}
std::wstring StatePath(const std::wstring& folder, const Task& task) {
  return folder + L"\\" + task.name + L".kvstate";
}
std::wstring FinalPath(const std::wstring& folder, const Task& task) {
  return folder + L"\\" + task.name;
}

TransferJob::TransferJob(Task task, std::wstring folder)
    : task_(std::move(task)),
      chunks_per_piece_(task_.pieces.empty() ? 1 : task_.pieces.piece_bytes / kChunkBytes),
      folder_(std::move(folder)),
      part_path_(PartPath(folder_, task_)),
      state_path_(StatePath(folder_, task_)),
      final_path_(FinalPath(folder_, task_)),
      checkpoint_due_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      hash_wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

TransferJob::~TransferJob() {
  RequestStop();
  Join();
}

int32_t TransferJob::Open() {
  DWORD attributes = GetFileAttributesW(folder_.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return kDiskError;

  StateRecord saved;
  const bool have_state = ReadStateFile(state_path_, &saved) && saved.total == task_.size &&
                          saved.sha256 == task_.sha256;
  WIN32_FILE_ATTRIBUTE_DATA info;
  if (have_state && saved.verified && GetFileAttributesExW(final_path_.c_str(), GetFileExInfoStandard, &info) &&
      ((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) == task_.size) {
    // Finished in an earlier run, but the file may have changed since: it
    // goes back under the partial name and through the whole check before
    // anyone hears it is complete; a piece that fails is repaired.
    if (!MoveFileExW(final_path_.c_str(), part_path_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      const DWORD error = GetLastError();
      return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ? kBusy : kDiskError;
    }
    saved.verified = false;
    std::fill(saved.done.begin(), saved.done.end(), 1);
    // Recorded at once: a kill now leaves a partial download, not a
    // record of a finished file that is missing.
    WriteStateFile(state_path_, saved);
  }

  // Write access shared with nobody: a second engine on the same task, in
  // this process or another, is refused here instead of corrupting the file.
  part_.Reset(CreateFileW(part_path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!part_) return GetLastError() == ERROR_SHARING_VIOLATION ? kBusy : kDiskError;

  LARGE_INTEGER size = {};
  GetFileSizeEx(part_.Get(), &size);
  // The rest of the file must fit: refuse at once rather than fail at 90 %.
  // What the partial file already occupies counts as room.
  FILE_STANDARD_INFO standard = {};
  ULARGE_INTEGER free_bytes = {};
  if (GetFileInformationByHandleEx(part_.Get(), FileStandardInfo, &standard, sizeof(standard)) &&
      GetDiskFreeSpaceExW(folder_.c_str(), &free_bytes, nullptr, nullptr)) {
    const uint64_t allocated = static_cast<uint64_t>(std::max<LONGLONG>(0, standard.AllocationSize.QuadPart));
    const uint64_t needed = task_.size > allocated ? task_.size - allocated : 0;
    if (free_bytes.QuadPart < needed) {
      part_.Reset();
      if (size.QuadPart == 0) DeleteFileW(part_path_.c_str());  // made by this call: leave no trace
      return kDiskError;
    }
  }
  // With pieces, earlier bytes are judged by their digests, record or not.
  check_at_start_ = HasPieces() && static_cast<uint64_t>(size.QuadPart) == task_.size;
  if (have_state && !saved.verified && static_cast<uint64_t>(size.QuadPart) == task_.size) {
    record_ = saved;
  } else {
    // No record, a damaged one, or one for another file: every byte of the
    // partial file is suspect, so start over.
    record_ = StateRecord();
    record_.total = task_.size;
    record_.sha256 = task_.sha256;
    record_.done.assign(static_cast<size_t>(record_.ChunkCount()), 0);
  }
  claimed_.assign(record_.done.size(), 0);
  writing_.assign(record_.done.size(), 0);
  waiting_since_.assign(record_.done.size(), 0);
  chunk_source_.assign(record_.done.size(), 0);
  source_bad_pieces_.assign(task_.urls.size(), 0);
  // With pieces only checked bytes count: the check at start adds them.
  received_ = HasPieces() ? 0 : static_cast<int64_t>(record_.DoneBytes());
  InitPiecesLocked();
  supervisor_ = std::thread(&TransferJob::Supervise, this);
  return kOk;
}

void TransferJob::Pause() { paused_ = true; }
void TransferJob::Resume() { paused_ = false; }
void TransferJob::RequestStop() { stop_ = true; }

void TransferJob::Join() {
  if (supervisor_.joinable()) supervisor_.join();
  verifier_.reset();
  // The files are free for the next job (a retry or a resume) at once.
  part_.Reset();
}

JobSnapshot TransferJob::Snapshot() const {
  JobSnapshot s;
  s.phase = phase_;
  s.total = static_cast<int64_t>(task_.size);
  s.received = received_;
  s.speed = paused_ ? 0 : speed_.load();
  s.paused = paused_;
  s.stopped = stop_;
  std::lock_guard<std::mutex> guard(lock_);
  s.failure = failure_;
  s.pieces_fetched_again = pieces_fetched_again_;
  return s;
}

bool TransferJob::Sleep(uint32_t ms) {
  const ULONGLONG end = GetTickCount64() + ms;
  while (GetTickCount64() < end) {
    if (stop_ || failed_ || workers_exit_) return false;
    ::Sleep(std::min<ULONGLONG>(50, end - GetTickCount64()));
  }
  return true;
}

bool TransferJob::ChunkDone(uint64_t chunk) const {
  std::lock_guard<std::mutex> guard(lock_);
  return chunk < record_.done.size() && record_.done[static_cast<size_t>(chunk)] != 0;
}

bool TransferJob::AllDone() const {
  std::lock_guard<std::mutex> guard(lock_);
  return std::all_of(record_.done.begin(), record_.done.end(), [](uint8_t d) { return d != 0; });
}

int32_t TransferJob::FailureCode() const {
  std::lock_guard<std::mutex> guard(lock_);
  return failure_;
}

void TransferJob::Fail(int32_t code) {
  std::lock_guard<std::mutex> guard(lock_);
  if (failure_ == kOk) failure_ = code;
  failed_ = true;
}

bool TransferJob::Finished() const {
  if (!HasPieces()) return AllDone();
  std::lock_guard<std::mutex> guard(lock_);
  return std::all_of(piece_state_.begin(), piece_state_.end(), [](uint8_t s) { return s == kPieceGood; });
}

std::string TransferJob::UrlFor(const Span& span, int* source) {
  std::lock_guard<std::mutex> guard(lock_);
  *source = SourceForLocked(span.first_chunk);
  return WideToUtf8(task_.urls[static_cast<size_t>(*source)]);
}

void TransferJob::NoteFailure(int source, int failures_in_a_row) {
  std::lock_guard<std::mutex> guard(lock_);
  if (source != source_ || failures_in_a_row <= task_.retry_limit) return;
  // This source kept failing through every backoff: the next one, or give up.
  ++source_;
  if (source_ >= static_cast<int>(task_.urls.size())) {
    if (failure_ == kOk) failure_ = kTransferFailed;
    failed_ = true;
  }
}

bool TransferJob::ClaimSpan(int worker, Span* span) {
  std::lock_guard<std::mutex> guard(lock_);
  const size_t count = record_.done.size();
  if (ranges_ignored_) {
    // The server ignores ranges: one connection streams the whole body.
    if (worker != 0 || std::any_of(claimed_.begin(), claimed_.end(), [](uint8_t c) { return c != 0; })) {
      return false;
    }
    if (std::all_of(record_.done.begin(), record_.done.end(), [](uint8_t d) { return d != 0; })) return false;
    std::fill(claimed_.begin(), claimed_.end(), 1);
    span->first_chunk = 0;
    span->end_chunk = count;
    span->whole_body = true;
    return true;
  }
  size_t first = 0, free_chunks = 0;
  bool found = false;
  for (size_t i = 0; i < count; ++i) {
    if (!record_.done[i] && !claimed_[i]) {
      if (!found) first = i;
      found = true;
      ++free_chunks;
    }
  }
  if (!found) return ClaimDuplicate(span);
  // Long spans keep connections streaming; shorter ones near the end let
  // every connection help finish.
  const size_t want = std::max<size_t>(
      1, std::min<size_t>(256, free_chunks / (2 * static_cast<size_t>(task_.connections))));
  size_t end = first;
  const ULONGLONG now = GetTickCount64();
  while (end < count && end - first < want && !record_.done[end] && !claimed_[end] &&
         (end == first || SpanMayGrowLocked(first, end))) {
    claimed_[end] = 1;
    waiting_since_[end] = now;
    ++end;
  }
  span->first_chunk = first;
  span->end_chunk = end;
  span->whole_body = false;
  return true;
}

bool TransferJob::ClaimDuplicate(Span* span) {
  // End-game: nothing is free, so an idle connection takes the back half of
  // the longest run still in one other connection's hands. Whichever of the
  // two gets a chunk first writes it; the other skips it and, once its
  // span is all done, leaves. Each chunk has at most two fetchers.
  // Only a run whose connection is slow is shared: one whose next chunk
  // has been waiting for a while. On a fast link the last spans end before
  // that, and nothing is fetched twice.
  const size_t count = record_.done.size();
  const ULONGLONG now = GetTickCount64();
  size_t best_first = 0, best_length = 0;
  for (size_t i = 0; i < count;) {
    if (record_.done[i] || claimed_[i] != 1) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < count && !record_.done[end] && claimed_[end] == 1) ++end;
    if (now - waiting_since_[i] >= kEndGameAfterMs && end - i > best_length) {
      best_first = i;
      best_length = end - i;
    }
    i = end;
  }
  if (best_length == 0) return false;
  span->first_chunk = best_first + best_length / 2;
  span->end_chunk = best_first + best_length;
  span->whole_body = false;
  for (uint64_t i = span->first_chunk; i < span->end_chunk; ++i) ++claimed_[static_cast<size_t>(i)];
  return true;
}

bool TransferJob::RestDone(const Span& span, uint64_t from) const {
  std::lock_guard<std::mutex> guard(lock_);
  for (uint64_t i = from; i < span.end_chunk; ++i) {
    if (!record_.done[static_cast<size_t>(i)]) return false;
  }
  return true;
}

void TransferJob::ReleaseSpan(const Span& span) {
  std::lock_guard<std::mutex> guard(lock_);
  for (uint64_t i = span.first_chunk; i < span.end_chunk && i < claimed_.size(); ++i) {
    uint8_t& claims = claimed_[static_cast<size_t>(i)];
    if (claims != 0) --claims;
  }
}

bool TransferJob::AdoptValidator(const std::string& validator) {
  std::lock_guard<std::mutex> guard(lock_);
  if (validator.empty() || validator == record_.validator) return true;
  if (record_.validator.empty()) {
    record_.validator = validator;
    return true;
  }
  // The file on the server changed: what we hold belongs to the old one,
  // except pieces that matched the list (they are the task's bytes).
  record_.validator = validator;
  if (HasPieces()) {
    ResetOpenPiecesLocked();
  } else {
    std::fill(record_.done.begin(), record_.done.end(), 0);
    received_ = 0;
  }
  unflushed_bytes_ = 1;  // the reset must reach the disk too
  ++epoch_;
  return false;
}

bool TransferJob::BeginChunkWrite(uint64_t chunk) {
  std::lock_guard<std::mutex> guard(lock_);
  const size_t i = static_cast<size_t>(chunk);
  if (record_.done[i] || writing_[i]) return false;
  writing_[i] = 1;
  return true;
}

void TransferJob::EndChunkWrite(uint64_t chunk) {
  std::lock_guard<std::mutex> guard(lock_);
  writing_[static_cast<size_t>(chunk)] = 0;
}

bool TransferJob::WriteChunk(uint64_t chunk, const char* data, uint32_t size) {
  const uint64_t offset = chunk * kChunkBytes;
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  return WriteFile(part_.Get(), data, size, &written, &at) && written == size;
}

void TransferJob::MarkDone(uint64_t chunk, uint32_t epoch, int source) {
  const uint64_t size = record_.ChunkSize(chunk);
  session_bytes_ += static_cast<int64_t>(size);
  std::lock_guard<std::mutex> guard(lock_);
  if (epoch != epoch_) return;
  uint8_t& done = record_.done[static_cast<size_t>(chunk)];
  if (!done) {
    done = 1;
    if (chunk + 1 < waiting_since_.size()) waiting_since_[static_cast<size_t>(chunk + 1)] = GetTickCount64();
    chunk_source_[static_cast<size_t>(chunk)] = static_cast<uint8_t>(source);
    // With pieces the bytes count once their piece passed its check.
    if (!HasPieces()) received_ += static_cast<int64_t>(size);
    unflushed_bytes_ += size;
    // A fast link must not pile up more unrecorded data than a resume may
    // fetch again: wake the supervisor at once.
    if (unflushed_bytes_ >= kCheckpointBytes) SetEvent(checkpoint_due_.Get());
    if (HasPieces()) {
      SubmitIfCompleteLocked(PieceOf(chunk));
    } else {
      SetEvent(hash_wake_.Get());
    }
  }
}

TransferJob::SpanResult TransferJob::FetchSpan(HttpConnection* conn, const Span& span, char* buffer,
                                               uint32_t* span_epoch, int* source, uint32_t* retry_after_ms) {
  HttpUrl url;
  if (!ParseHttpUrl(UrlFor(span, source), &url)) return SpanResult::kRetry;
  const uint64_t first = span.first_chunk * kChunkBytes;
  const uint64_t end = std::min<uint64_t>(span.end_chunk * kChunkBytes, task_.size);
  std::string if_range;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if_range = IfRangeOf(record_.validator);
  }
  HttpResponse response;
  for (int redirects = 0;; ++redirects) {
    IoResult r = span.whole_body ? conn->Get(url, 0, UINT64_MAX, std::string(), &response)
                                 : conn->Get(url, first, end - 1, if_range, &response);
    if (r == IoResult::kAborted) return SpanResult::kRestart;
    if (r != IoResult::kOk) return SpanResult::kRetry;
    if (!IsRedirect(response.status) || response.location.empty()) break;
    conn->Close();  // its body is of no use
    if (redirects >= kMaxRedirects) return SpanResult::kRetry;
    if (!ParseHttpUrl(ResolveLocation(url, response.location), &url)) return SpanResult::kRetry;
  }
  if (response.status == 429 || response.status >= 500) {
    *retry_after_ms = response.retry_after_s * 1000;
    return SpanResult::kRetry;
  }
  if (response.chunked) return SpanResult::kRetry;
  const std::string validator = ValidatorOf(response);
  if (response.status == 206 && !span.whole_body) {
    // Exactly the bytes asked for, of a file of the task's size.
    if (!response.has_range || response.range_first != first || response.range_last != end - 1 ||
        (response.range_total_known && response.range_total != task_.size) || !response.has_length ||
        response.content_length != end - first) {
      return SpanResult::kRetry;
    }
    if (!AdoptValidator(validator)) return SpanResult::kRestart;
  } else if (response.status == 200) {
    if (!response.has_length || response.content_length != task_.size) return SpanResult::kRetry;
    const bool same = AdoptValidator(validator);
    if (!span.whole_body) {
      // A 200 to a Range request: either the file changed (If-Range did
      // its job) or the server ignores ranges. Both restart the span; in
      // the second case one connection then takes the whole body.
      if (same) {
        std::lock_guard<std::mutex> guard(lock_);
        ranges_ignored_ = true;
      }
      return SpanResult::kRestart;
    }
    *span_epoch = epoch_;
  } else {
    return SpanResult::kRetry;
  }

  for (uint64_t chunk = span.first_chunk; chunk < span.end_chunk; ++chunk) {
    // In the end-game another connection may have finished the rest.
    if (!span.whole_body && RestDone(span, chunk)) return SpanResult::kDone;
    const uint32_t size = static_cast<uint32_t>(record_.ChunkSize(chunk));
    size_t have = 0;
    while (have < size) {
      size_t got = 0;
      IoResult r = conn->ReadBody(buffer + have, size - have, &got);
      if (r == IoResult::kAborted) return SpanResult::kRestart;
      if (r != IoResult::kOk) return SpanResult::kRetry;
      have += got;
    }
    // A whole body streams past chunks an earlier attempt finished, and an
    // end-game duplicate past those the other connection got first or is
    // writing; a done chunk is never written again, so what a check read
    // stays what is on disk.
    if (!BeginChunkWrite(chunk)) continue;
    if (!WriteChunk(chunk, buffer, size)) {
      EndChunkWrite(chunk);
      Fail(kDiskError);
      return SpanResult::kFatal;
    }
    MarkDone(chunk, *span_epoch, *source);
    EndChunkWrite(chunk);
  }
  return SpanResult::kDone;
}

void TransferJob::Work(int index) {
  try {
    std::vector<char> buffer(kChunkBytes);
    uint32_t span_epoch = 0;
    HttpConnection conn(
        [this, &span_epoch] { return stop_ || paused_ || failed_ || workers_exit_ || epoch_ != span_epoch; },
        task_.stall_timeout_ms);
    int failures = 0;
    int failing_source = -1;
    while (!stop_ && !failed_ && !workers_exit_) {
      Span span;
      if (paused_ || !ClaimSpan(index, &span)) {
        if (paused_) conn.Close();  // a paused engine holds no server slots
        ::Sleep(50);
        continue;
      }
      span_epoch = epoch_;
      int source = 0;
      uint32_t retry_after_ms = 0;
      SpanResult result = FetchSpan(&conn, span, buffer.data(), &span_epoch, &source, &retry_after_ms);
      ReleaseSpan(span);
      if (result == SpanResult::kDone) {
        failures = 0;
        if (!conn.Reusable()) conn.Close();
        continue;
      }
      conn.Close();
      if (result == SpanResult::kFatal) break;
      if (result == SpanResult::kRestart) continue;
      if (source != failing_source) failures = 0;
      failing_source = source;
      ++failures;
      NoteFailure(source, failures);
      Sleep(Backoff(failures, retry_after_ms));
    }
  } catch (...) {
    Fail(kInternal);
  }
}

void TransferJob::Checkpoint() {
  StateRecord snapshot;
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (unflushed_bytes_ == 0) return;
    snapshot = record_;
    unflushed_bytes_ = 0;
  }
  // Data first, then the record that claims it. With pieces the record
  // need not wait for the data: a chunk it claims but the disk lost (a
  // power cut) fails its piece's check, at the next start or when the
  // piece is complete, and is fetched again; sparing the flush keeps a fast
  // link from waiting on the disk every few megabytes.
  if ((!HasPieces() && !FlushFileBuffers(part_.Get())) || !WriteStateFile(state_path_, snapshot)) {
    Fail(kDiskError);
  }
}

void TransferJob::HashPrefix() {
  try {
    // Its own handle: on Windows a synchronous handle serialises its
    // requests, which would make the writers wait for the reads.
    base::ScopedHandle file(CreateFileW(part_path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return;  // Verify() then hashes the whole file itself
    std::vector<char> buffer(kChunkBytes);
    Sha256 sha;
    uint64_t next = 0;  // chunks hashed
    uint32_t epoch = epoch_;
    const uint64_t count = record_.ChunkCount();
    while (!stop_ && !failed_ && !hasher_exit_) {
      if (next == count) {
        prefix_digest_ = sha.FinishHex();
        return;
      }
      if (!ChunkDone(next) || epoch != epoch_) {
        if (epoch != epoch_) {
          // The file on the server changed: every chunk is fetched again.
          sha.Reset();
          next = 0;
          epoch = epoch_;
        }
        WaitForSingleObject(hash_wake_.Get(), 50);
        continue;
      }
      const uint32_t size = static_cast<uint32_t>(record_.ChunkSize(next));
      const uint64_t offset = next * kChunkBytes;
      OVERLAPPED at = {};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD read = 0;
      if (!ReadFile(file.Get(), buffer.data(), size, &read, &at) || read != size) return;
      {
        // Done chunks are rewritten only after a reset, which bumps the
        // epoch under this lock: an unchanged epoch means a stable read.
        std::lock_guard<std::mutex> guard(lock_);
        if (epoch != epoch_) continue;
      }
      sha.Update(buffer.data(), size);
      ++next;
    }
  } catch (...) {
    // Out of memory at worst: Verify() hashes the whole file instead.
  }
}

void TransferJob::Verify() {
  phase_ = JobPhase::kVerifying;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(part_.Get(), &size)) {
    Fail(kDiskError);
    phase_ = JobPhase::kFailed;
    return;
  }
  std::string digest;
  bool hashed = true;
  bool good = false;
  if (HasPieces()) {
    // Every piece matched the pinned list: the same guarantee as the
    // whole-file digest, without reading the file once more.
    good = Finished();
  } else {
    digest = prefix_digest_;
    hashed = !digest.empty() || Sha256OfFile(part_path_, &stop_, &digest);
    good = hashed && digest == task_.sha256;
  }
  if (stop_) return;  // checked again at the next start
  part_.Reset();
  if (good && static_cast<uint64_t>(size.QuadPart) == task_.size) {
    // Whatever lies under the final name (an older installer, maybe made
    // read-only) gives way to the checked file.
    SetFileAttributesW(final_path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(part_path_.c_str(), final_path_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      Fail(kDiskError);
      phase_ = JobPhase::kFailed;
      return;
    }
    StateRecord finished;
    {
      std::lock_guard<std::mutex> guard(lock_);
      record_.verified = true;
      finished = record_;
    }
    WriteStateFile(state_path_, finished);
    phase_ = JobPhase::kDone;
    return;
  }
  if (!hashed) {
    Fail(kDiskError);
    phase_ = JobPhase::kFailed;
    return;
  }
  // Never leave a file that failed its check where anyone could run it.
  DeleteFileW(part_path_.c_str());
  DeleteFileW(state_path_.c_str());
  Fail(kCheckFailed);
  phase_ = JobPhase::kCheckFailed;
}

void TransferJob::Supervise() {
  try {
    LARGE_INTEGER size = {};
    GetFileSizeEx(part_.Get(), &size);
    if (static_cast<uint64_t>(size.QuadPart) != task_.size) {
      // Reserve the whole file now: a full disk shows at once, not at 90 %.
      LARGE_INTEGER end;
      end.QuadPart = static_cast<LONGLONG>(task_.size);
      if (!SetFilePointerEx(part_.Get(), end, nullptr, FILE_BEGIN) || !SetEndOfFile(part_.Get())) {
        Fail(kDiskError);
      }
    }
    if (!failed_ && HasPieces()) {
      StartVerifier();
      if (check_at_start_) CheckAtStart();
    } else if (!failed_) {
      hasher_ = std::thread(&TransferJob::HashPrefix, this);
    }
    if (!failed_ && !stop_ && !Finished()) {
      const int count = static_cast<int>(std::min<uint64_t>(
          static_cast<uint64_t>(task_.connections), record_.ChunkCount()));
      for (int i = 0; i < count; ++i) workers_.emplace_back(&TransferJob::Work, this, i);
    }
    std::deque<std::pair<ULONGLONG, int64_t>> samples;
    ULONGLONG last_checkpoint = GetTickCount64();
    const ULONGLONG checkpoint_ms = HasPieces() ? kCheckpointMs : kFlushedCheckpointMs;
    while (!stop_ && !failed_ && !Finished()) {
      // Wake when the next record is due, not a whole period later: what
      // is written but not recorded is what a kill may cost.
      DWORD wait = 50;
      {
        std::lock_guard<std::mutex> guard(lock_);
        if (unflushed_bytes_ > 0) {
          const ULONGLONG due = last_checkpoint + checkpoint_ms;
          const ULONGLONG at = GetTickCount64();
          wait = due > at ? static_cast<DWORD>(std::min<ULONGLONG>(50, due - at)) : 0;
        }
      }
      WaitForSingleObject(checkpoint_due_.Get(), wait);
      const ULONGLONG now = GetTickCount64();
      samples.emplace_back(now, session_bytes_.load());
      while (samples.size() > 2 && now - samples.front().first > kSpeedWindowMs) samples.pop_front();
      const ULONGLONG span = now - samples.front().first;
      speed_ = span > 0 ? static_cast<int32_t>(std::min<int64_t>(
                              INT32_MAX, (samples.back().second - samples.front().second) * 1000 /
                                             static_cast<int64_t>(span)))
                        : 0;
      uint64_t unflushed;
      {
        std::lock_guard<std::mutex> guard(lock_);
        unflushed = unflushed_bytes_;
      }
      if (unflushed >= kCheckpointBytes || (unflushed > 0 && now - last_checkpoint >= checkpoint_ms)) {
        Checkpoint();
        last_checkpoint = now;
      }
    }
    workers_exit_ = true;
    for (std::thread& t : workers_) t.join();
    workers_.clear();
    speed_ = 0;
    // No verdict may change the record after its last write below.
    if (verifier_) verifier_->Stop();
    Checkpoint();
    // Finished: the hasher reads the last chunks and ends by itself.
    if (failed_ || stop_ || !AllDone()) hasher_exit_ = true;
    if (hasher_.joinable()) hasher_.join();
    if (failed_) {
      phase_ = FailureCode() == kCheckFailed ? JobPhase::kCheckFailed : JobPhase::kFailed;
    } else if (!stop_ && Finished()) {
      Verify();
    }
  } catch (...) {
    Fail(kInternal);
    workers_exit_ = true;
    hasher_exit_ = true;
    for (std::thread& t : workers_) {
      if (t.joinable()) t.join();
    }
    if (verifier_) verifier_->Stop();
    if (hasher_.joinable()) hasher_.join();
    phase_ = JobPhase::kFailed;
  }
}

}  // namespace fetch
