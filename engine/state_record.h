// The durable record of a partial download, kept beside the partial file
// in the save folder (<name>.kvstate). It says which fixed-size chunks of
// the partial file are complete, for which file (size, digest, validator).
//
// Crash safety: without a piece list the engine flushes the partial file
// before it writes a record that claims its chunks (with one, every piece
// is judged by its digest instead), and a record is replaced whole (written to
// a temporary file, flushed, then moved over the old one), so a process
// killed at any instant leaves either the old or the new record, never a
// torn one. A record that fails its checksum or does not match the task is
// ignored: the download starts over rather than trusting it.
//
// Thread-safety: free functions on values; any thread.
#pragma once

#include <string>

#include "core/engine/state_record.h"

namespace fetch {

// Atomic replace: <path>.tmp, flush, MoveFileEx over <path>.
bool WriteStateFile(const std::wstring& path, const StateRecord& record);
bool ReadStateFile(const std::wstring& path, StateRecord* record);

// Writes small text atomically the same way (the per-user pointer record).
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes);
bool ReadWholeFile(const std::wstring& path, std::string* bytes, size_t limit);

}  // namespace fetch
