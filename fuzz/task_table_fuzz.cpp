// A task file and its piece list, split at the first NUL byte. The task
// text must give fields in their ranges that, written back, parse to the
// same fields; the list is read once for the task's own size and piece
// size and once for a file its line count fits, and every outcome is
// judged against the list's bytes directly.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/engine/piece_list.h"
#include "core/engine/task_text.h"
#include "fuzz_check.h"

namespace {

bool SameTask(const fetch::TaskText& a, const fetch::TaskText& b) {
  return a.name == b.name && a.product == b.product && a.size == b.size && a.sha256 == b.sha256 &&
         a.urls == b.urls && a.connections == b.connections && a.stall_timeout_ms == b.stall_timeout_ms &&
         a.retry_limit == b.retry_limit && a.piece_size == b.piece_size && a.pieces_sha256 == b.pieces_sha256;
}

std::string WriteTask(const fetch::TaskText& t) {
  std::string text = "# written back\nname=" + t.name + "\nproduct=" + t.product + "\nsize=" + std::to_string(t.size) +
                     "\nconnections=" + std::to_string(t.connections) +
                     "\nstall_timeout_ms=" + std::to_string(t.stall_timeout_ms) +
                     "\nretry_limit=" + std::to_string(t.retry_limit) + "\npiece_size=" + std::to_string(t.piece_size) +
                     "\npieces_sha256=" + t.pieces_sha256 + "\n";
  if (!t.sha256.empty()) text += "sha256=" + t.sha256 + "\n";
  for (const std::string& url : t.urls) text += "url=" + url + "\n";
  return text;
}

bool IsLowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

void CheckList(const std::string& list, uint64_t file_bytes, uint64_t piece_bytes) {
  fetch::PieceTable table;
  table.piece_bytes = 12345;  // a failed parse leaves it
  const fetch::PieceListStatus status = fetch::ParsePieceList(list.data(), list.size(), file_bytes, piece_bytes, &table);
  if (status != fetch::PieceListStatus::kOk) {
    KV_FUZZ_CHECK(table.piece_bytes == 12345 && table.digests.empty());
  }
  const bool size_ok = fetch::IsValidPieceSize(piece_bytes) && file_bytes != 0;
  if (!size_ok) {
    KV_FUZZ_CHECK(status == fetch::PieceListStatus::kBadPieceSize);
    return;
  }
  const uint64_t count = fetch::PieceCountFor(file_bytes, piece_bytes);
  KV_FUZZ_CHECK(count >= 1 && (count - 1) * piece_bytes < file_bytes && file_bytes <= count * piece_bytes);
  bool lines_ok = list.size() % fetch::kPieceLineBytes == 0;
  for (size_t i = 0; lines_ok && i < list.size(); ++i) {
    lines_ok = i % fetch::kPieceLineBytes == 64 ? list[i] == '\n' : IsLowerHex(list[i]);
  }
  if (list.size() % fetch::kPieceLineBytes != 0) {
    KV_FUZZ_CHECK(status == fetch::PieceListStatus::kMalformed);
  } else if (list.size() / fetch::kPieceLineBytes != count) {
    KV_FUZZ_CHECK(status == fetch::PieceListStatus::kWrongCount);
  } else {
    KV_FUZZ_CHECK(status == (lines_ok ? fetch::PieceListStatus::kOk : fetch::PieceListStatus::kMalformed));
  }
  if (status != fetch::PieceListStatus::kOk) return;
  KV_FUZZ_CHECK(table.piece_bytes == piece_bytes && table.Count() == count);
  for (size_t i = 0; i < table.digests.size(); ++i) {
    KV_FUZZ_CHECK(fetch::DigestHex(table.digests[i]) == list.substr(i * fetch::kPieceLineBytes, 64));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string text = input.substr(0, nul);
  const std::string list = nul == std::string::npos ? std::string() : input.substr(nul + 1);

  fetch::TaskText task;
  if (fetch::ParseTaskLines(text, &task)) {
    KV_FUZZ_CHECK(task.connections >= 1 && task.connections <= 16);
    KV_FUZZ_CHECK(task.stall_timeout_ms >= 100 && task.stall_timeout_ms <= 600000);
    KV_FUZZ_CHECK(task.retry_limit >= 1 && task.retry_limit <= 100);
    KV_FUZZ_CHECK(task.sha256.empty() || (task.sha256.size() == 64 &&
                                          task.sha256.find_first_not_of("0123456789abcdef") == std::string::npos));
    for (const std::string& url : task.urls) KV_FUZZ_CHECK(!url.empty());
    fetch::TaskText again;
    KV_FUZZ_CHECK(fetch::ParseTaskLines(WriteTask(task), &again));
    KV_FUZZ_CHECK(SameTask(task, again));

    CheckList(list, task.size, task.piece_size);
    // With the pinned digest given as the list's own, the whole check is the parse.
    fetch::PieceTable whole;
    const fetch::PieceListStatus checked = fetch::CheckPieceList(
        list.data(), list.size(), task.pieces_sha256, task.pieces_sha256, task.size, task.piece_size, &whole);
    if (fetch::IsValidPieceSize(task.piece_size) && task.pieces_sha256.size() != 64) {
      KV_FUZZ_CHECK(checked == fetch::PieceListStatus::kWrongDigest);
    }
  }

  // A piece size from the list's first byte and a file its line count fits.
  const uint64_t piece_bytes = fetch::kMinPieceBytes << (list.empty() ? 0 : static_cast<uint8_t>(list[0]) % 13);
  const uint64_t lines = list.size() / fetch::kPieceLineBytes;
  const uint64_t short_by = list.size() > 1 ? static_cast<uint8_t>(list[1]) : 0;
  CheckList(list, lines == 0 ? 1 : lines * piece_bytes - short_by, piece_bytes);

  // Task identifiers from the text's bytes, one character each.
  const std::wstring id(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(text.size(), 80)));
  if (fetch::IsSafeTaskId(id)) {
    KV_FUZZ_CHECK(!id.empty() && id.size() <= 64);
    for (wchar_t c : id) KV_FUZZ_CHECK((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'));
  }
  return 0;
}
