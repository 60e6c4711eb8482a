// The piece side of TransferJob: which chunks make a piece, the check at
// start, the verdicts of the verifier pool and the repair of a failed
// piece. See transfer_job.h for what "complete" means.
#include <algorithm>
#include <map>

#include "engine/transfer_job.h"

namespace fetch {

namespace {

// Each source may deliver a bad piece this often before the piece is given
// up; a source that delivered this many bad pieces is left for the next.
constexpr int kPieceAttemptsPerSource = 2;
constexpr int kBadPiecesBeforeSwitch = 2;

}  // namespace

uint64_t TransferJob::PieceEnd(uint64_t piece) const {
  return std::min<uint64_t>((piece + 1) * chunks_per_piece_, record_.done.size());
}

void TransferJob::InitPiecesLocked() {
  const size_t count = static_cast<size_t>(task_.pieces.Count());
  piece_state_.assign(count, kPieceOpen);
  piece_failures_.assign(count, 0);
  piece_bad_source_.assign(count, 0);
}

void TransferJob::StartVerifier() {
  verifier_ = std::make_unique<PieceVerifier>(part_path_, task_.pieces, task_.size,
                                              [this](const PieceCheck& check, bool ok) { OnVerdict(check, ok); });
  verifier_->Start();
}

void TransferJob::CheckAtStart() {
  {
    std::lock_guard<std::mutex> guard(lock_);
    std::fill(piece_state_.begin(), piece_state_.end(), kPieceChecking);
  }
  const uint32_t epoch = epoch_;
  for (uint64_t piece = 0; piece < task_.pieces.Count(); ++piece) verifier_->Submit({piece, epoch, true});
  // The workers wait: a piece under check must not be written meanwhile.
  while (verifier_->Pending() > 0 && !stop_) WaitForSingleObject(checkpoint_due_.Get(), 20);
}

void TransferJob::SubmitIfCompleteLocked(uint64_t piece) {
  if (piece_state_[static_cast<size_t>(piece)] != kPieceOpen) return;
  for (uint64_t c = piece * chunks_per_piece_; c < PieceEnd(piece); ++c) {
    if (!record_.done[static_cast<size_t>(c)]) return;
  }
  piece_state_[static_cast<size_t>(piece)] = kPieceChecking;
  verifier_->Submit({piece, epoch_, false});
}

void TransferJob::OnVerdict(const PieceCheck& check, bool ok) {
  std::lock_guard<std::mutex> guard(lock_);
  // A reset meanwhile (the file changed on the server) reopened the piece.
  if (check.epoch != epoch_) return;
  const size_t piece = static_cast<size_t>(check.piece);
  const uint64_t first = check.piece * chunks_per_piece_;
  const uint64_t end = PieceEnd(check.piece);
  if (ok) {
    piece_state_[piece] = kPieceGood;
    for (uint64_t c = first; c < end; ++c) {
      uint8_t& done = record_.done[static_cast<size_t>(c)];
      if (!done) unflushed_bytes_ += record_.ChunkSize(c);  // found on disk past the record
      done = 1;
      received_ += static_cast<int64_t>(record_.ChunkSize(c));
    }
    SetEvent(checkpoint_due_.Get());
    return;
  }
  piece_state_[piece] = kPieceOpen;
  if (check.initial) {
    // A piece the record claims whole but the disk does not hold (a torn
    // write, bytes changed between runs) is fetched again; one the record
    // holds in part keeps its recorded chunks, judged when it is complete.
    const bool claimed_whole = std::all_of(record_.done.begin() + static_cast<ptrdiff_t>(first),
                                           record_.done.begin() + static_cast<ptrdiff_t>(end),
                                           [](uint8_t d) { return d != 0; });
    if (claimed_whole) {
      std::fill(record_.done.begin() + static_cast<ptrdiff_t>(first),
                record_.done.begin() + static_cast<ptrdiff_t>(end), 0);
      unflushed_bytes_ += 1;
    }
    return;
  }
  PieceFailedLocked(check.piece);
}

void TransferJob::PieceFailedLocked(uint64_t piece) {
  const size_t p = static_cast<size_t>(piece);
  const uint64_t first = piece * chunks_per_piece_;
  const uint64_t end = PieceEnd(piece);
  std::map<uint8_t, uint64_t> chunks_by_source;
  for (uint64_t c = first; c < end; ++c) {
    ++chunks_by_source[chunk_source_[static_cast<size_t>(c)]];
    record_.done[static_cast<size_t>(c)] = 0;
  }
  unflushed_bytes_ += 1;  // the record must stop claiming these chunks
  ++pieces_fetched_again_;
  // A piece may hold chunks of two sources (a span of the next source
  // began inside it): the blame goes to the one with the worse record,
  // then to the one that delivered more of it.
  uint8_t blamed = chunks_by_source.begin()->first;
  for (const auto& entry : chunks_by_source) {
    const int bad = source_bad_pieces_[entry.first];
    const int worst = source_bad_pieces_[blamed];
    if (bad > worst || (bad == worst && entry.second > chunks_by_source[blamed])) blamed = entry.first;
  }
  piece_bad_source_[p] = blamed;
  if (piece_failures_[p] < 255) ++piece_failures_[p];
  const int sources_count = static_cast<int>(task_.urls.size());
  // A source that keeps delivering bad bytes is left for the next one, as
  // one that keeps failing to answer is.
  if (++source_bad_pieces_[blamed] >= kBadPiecesBeforeSwitch && blamed == source_ &&
      source_ + 1 < sources_count) {
    ++source_;
  }
  if (piece_failures_[p] >= kPieceAttemptsPerSource * sources_count) {
    // Failed from every source, twice each: no source has this piece right.
    if (failure_ == kOk) failure_ = kCheckFailed;
    failed_ = true;
  }
}

void TransferJob::ResetOpenPiecesLocked() {
  for (uint64_t piece = 0; piece < piece_state_.size(); ++piece) {
    if (piece_state_[static_cast<size_t>(piece)] == kPieceGood) continue;
    piece_state_[static_cast<size_t>(piece)] = kPieceOpen;
    for (uint64_t c = piece * chunks_per_piece_; c < PieceEnd(piece); ++c) record_.done[static_cast<size_t>(c)] = 0;
  }
}

bool TransferJob::SpanMayGrowLocked(uint64_t first_chunk, uint64_t next_chunk) const {
  if (!HasPieces() || next_chunk % chunks_per_piece_ != 0) return true;
  // A piece being repaired is fetched on its own, from its own source.
  return piece_failures_[static_cast<size_t>(PieceOf(first_chunk))] == 0 &&
         piece_failures_[static_cast<size_t>(PieceOf(next_chunk))] == 0;
}

int TransferJob::SourceForLocked(uint64_t first_chunk) const {
  const int count = static_cast<int>(task_.urls.size());
  int source = std::min(source_, count - 1);
  if (HasPieces()) {
    const size_t piece = static_cast<size_t>(PieceOf(first_chunk));
    // A piece that failed is fetched from the source after the one it
    // failed from (the same one when there is only one).
    if (piece < piece_failures_.size() && piece_failures_[piece] > 0) {
      source = (piece_bad_source_[piece] + 1) % count;
    }
  }
  return source;
}

}  // namespace fetch
