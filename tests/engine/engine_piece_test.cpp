// Piece lists: the parser judges every list it is given; the engine checks
// each piece read back from disk, fetches a bad one again (from the next
// source when there is one), keeps what an earlier run left on disk when
// its pieces match, and checks a finished file again before it says so.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/engine_harness.h"
#include "core/engine/piece_list.h"
#include "engine/state_record.h"
#include "scripted_server.h"

namespace enginetest {
namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kPiece = kMiB;

std::string ListOf(const std::string& body, uint64_t piece) {
  std::string list;
  for (size_t at = 0; at < body.size(); at += static_cast<size_t>(piece)) {
    list += Sha256Hex(body.substr(at, static_cast<size_t>(piece))) + "\n";
  }
  return list;
}

TEST(PieceListTest, OnlyTheExactPinnedListOfTheRightCountIsAccepted) {
  const std::string body = RandomBytes(3 * kPiece + 5, 71);
  const std::string list = ListOf(body, kPiece);
  const std::string pinned = Sha256Hex(list);
  fetch::PieceTable table;
  ASSERT_EQ(fetch::CheckPieceList(list.data(), list.size(), pinned, pinned, body.size(), kPiece, &table),
            fetch::PieceListStatus::kOk);
  ASSERT_EQ(table.Count(), 4u);
  EXPECT_EQ(fetch::DigestHex(table.digests[3]), Sha256Hex(body.substr(3 * kPiece)));

  std::string upper = list;
  const size_t letter = upper.find_first_of("abcdef");
  upper[letter] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[letter])));
  std::string crlf = list;
  crlf.insert(64, "\r");
  const struct {
    const char* name;
    std::string bytes;
    uint64_t piece;
    fetch::PieceListStatus want;
  } cases[] = {
      {"one line too few", list.substr(0, 3 * fetch::kPieceLineBytes), kPiece, fetch::PieceListStatus::kWrongCount},
      {"one line too many", list + list.substr(0, fetch::kPieceLineBytes), kPiece,
       fetch::PieceListStatus::kWrongCount},
      {"no final line end", list.substr(0, list.size() - 1), kPiece, fetch::PieceListStatus::kMalformed},
      {"carriage return", crlf, kPiece, fetch::PieceListStatus::kMalformed},
      {"upper-case digit", upper, kPiece, fetch::PieceListStatus::kMalformed},
      {"not hex", std::string(4 * fetch::kPieceLineBytes, 'g'), kPiece, fetch::PieceListStatus::kMalformed},
      {"empty", std::string(), kPiece, fetch::PieceListStatus::kWrongCount},
      {"not a power of two", list, 3 * kPiece / 2, fetch::PieceListStatus::kBadPieceSize},
      {"below 256 KiB", list, 64 * 1024, fetch::PieceListStatus::kBadPieceSize},
  };
  for (const auto& c : cases) {
    fetch::PieceTable untouched;
    EXPECT_EQ(fetch::ParsePieceList(c.bytes.data(), c.bytes.size(), body.size(), c.piece, &untouched), c.want)
        << c.name;
    EXPECT_TRUE(untouched.empty()) << c.name;
  }
  // The pinned digest comes first: a list for another file is refused
  // even though it parses.
  const std::string other = ListOf(RandomBytes(body.size(), 72), kPiece);
  EXPECT_EQ(fetch::CheckPieceList(other.data(), other.size(), Sha256Hex(other), pinned, body.size(), kPiece, &table),
            fetch::PieceListStatus::kWrongDigest);
}

class EnginePieceTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(library_.loaded()) << "FetchCore.dll not loaded"; }

  TaskSandbox sandbox_;
  EngineLibrary library_;
};

TEST_F(EnginePieceTest, TaskWhoseListCannotBeTrustedIsIncomplete) {
  const std::string body = RandomBytes(2 * kPiece + 1, 73);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body); });
  ASSERT_TRUE(server.Start());
  const std::string pieces = sandbox_.WritePieces(body, kPiece);
  const std::wstring list_path = sandbox_.task_dir() + L"\\617350001.pieces";
  const std::string list = testutil::ReadFileBytes(list_path);
  auto result = std::make_unique<fetch::Result>();
  const struct {
    const char* name;
    std::string extra;
    std::string list;
  } cases[] = {
      {"list changed after pinning", pieces, ListOf(RandomBytes(body.size(), 74), kPiece)},
      {"line missing", "piece_size=1048576\npieces_sha256=" + Sha256Hex(list.substr(65)) + "\n", list.substr(65)},
      {"garbage", "piece_size=1048576\npieces_sha256=" + Sha256Hex("\x01\x02") + "\n", "\x01\x02"},
      {"digest without a size", "pieces_sha256=" + Sha256Hex(list) + "\n", list},
  };
  for (const auto& c : cases) {
    sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), c.extra);
    ASSERT_TRUE(testutil::WriteFileBytes(list_path, c.list));
    EngineRef engine(library_);
    EXPECT_EQ(engine.Start(sandbox_.save_folder()), fetch::kTaskIncomplete) << c.name;
    EXPECT_EQ(engine.QueryEarlier(result.get()), fetch::kTaskIncomplete) << c.name;
  }
  DeleteFileW(list_path.c_str());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body), pieces);
  EngineRef missing(library_);
  EXPECT_EQ(missing.Start(sandbox_.save_folder()), fetch::kTaskIncomplete) << "list file missing";
  EXPECT_TRUE(server.Requests().empty()) << "an incomplete task reached the network";
}

// One corrupt byte in a middle piece and one in the short last piece, each
// served once: both pieces are fetched again, nothing else.
TEST_F(EnginePieceTest, CorruptRangesServedOnceAreRepairedPieceByPiece) {
  const std::string body = RandomBytes(8 * kPiece + 1234, 75);
  const size_t bad_offsets[] = {3 * kPiece + 777, body.size() - 10};
  std::atomic<bool> served_bad[2] = {{false}, {false}};
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) {
    std::string copy;
    for (int i = 0; i < 2; ++i) {
      const bool covers = r.has_range && r.first <= bad_offsets[i] && bad_offsets[i] <= r.last;
      if (covers && !served_bad[i].exchange(true)) {
        if (copy.empty()) copy = body;
        copy[bad_offsets[i]] ^= 0x20;
      }
    }
    ServeFile(conn, r, copy.empty() ? body : copy);
  });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body),
                     "connections=4\n" + sandbox_.WritePieces(body, kPiece));
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(served_bad[0] && served_bad[1]);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
  const uint64_t again = server.BodyBytesSent() - body.size();
  std::printf("repair: %llu bytes fetched again for two corrupt ranges (pieces of %llu bytes; the last %u)\n",
              static_cast<unsigned long long>(again), static_cast<unsigned long long>(kPiece), 1234u);
  EXPECT_EQ(again, kPiece + 1234) << "exactly the two bad pieces";
}

TEST_F(EnginePieceTest, SourceThatAlwaysCorruptsIsLeftForTheGoodOneAndAloneEndsInCheckFailed) {
  const std::string body = RandomBytes(6 * kPiece, 76);
  std::string bad = body;
  for (size_t at = 100; at < bad.size(); at += static_cast<size_t>(kPiece)) bad[at] ^= 0x01;
  ScriptedServer bad_server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, bad); });
  ScriptedServer good_server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body); });
  ASSERT_TRUE(bad_server.Start());
  ASSERT_TRUE(good_server.Start());
  const std::string pieces = "connections=2\n" + sandbox_.WritePieces(body, kPiece);
  auto result = std::make_unique<fetch::Result>();
  {
    sandbox_.WriteTask({bad_server.Url(L"/f"), good_server.Url(L"/f")}, body.size(), Sha256Hex(body), pieces);
    EngineRef engine(library_);
    ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
    ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
    EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
    EXPECT_FALSE(good_server.Requests().empty());
    // No piece came from the bad source twice: each bad one was fetched
    // again from the good source.
    EXPECT_LE(bad_server.BodyBytesSent(), body.size());
  }
  DeleteFileW(sandbox_.FinalPath().c_str());
  DeleteFileW(sandbox_.StatePath().c_str());
  sandbox_.WriteTask({bad_server.Url(L"/f")}, body.size(), Sha256Hex(body), pieces);
  EngineRef alone(library_);
  ASSERT_EQ(alone.Start(sandbox_.save_folder()), fetch::kOk);
  EXPECT_EQ(alone.WaitForEnd(90000, result.get()), fetch::kCheckFailed);
  EXPECT_EQ(result->completed, 0u);
  EXPECT_LT(result->received, static_cast<int64_t>(body.size())) << "a bad piece counted as received";
  EXPECT_FALSE(testutil::FileExists(sandbox_.FinalPath()));
}

// The partial file as a kill leaves it: pieces 0-2 recorded, piece 3
// recorded but not on disk (a torn write), piece 4 on disk but written
// after the last record, the rest never written.
TEST_F(EnginePieceTest, ResumeKeepsPiecesOnDiskPastTheRecordAndFetchesATornOneAgain) {
  const std::string body = RandomBytes(10 * kPiece + 99, 77);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body); });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body),
                     "connections=3\n" + sandbox_.WritePieces(body, kPiece));
  std::string part(body.size(), '\0');
  part.replace(0, 3 * kPiece, body, 0, 3 * kPiece);
  part.replace(4 * kPiece, kPiece, body, 4 * kPiece, kPiece);
  ASSERT_TRUE(testutil::WriteFileBytes(sandbox_.PartPath(), part));
  fetch::StateRecord record;
  record.total = body.size();
  record.sha256 = Sha256Hex(body);
  record.validator = "E:\"v1\"";
  record.done.assign(static_cast<size_t>(record.ChunkCount()), 0);
  std::fill(record.done.begin(), record.done.begin() + 4 * kPiece / fetch::kChunkBytes, 1);
  ASSERT_TRUE(fetch::WriteStateFile(sandbox_.StatePath(), record));

  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
  EXPECT_EQ(server.BodyBytesSent(), body.size() - 4 * kPiece) << "pieces 0, 1, 2 and 4 were on disk";
  for (const auto& r : server.Requests()) {
    const bool in_kept = r.first < 3 * kPiece || (r.first >= 4 * kPiece && r.first < 5 * kPiece);
    EXPECT_FALSE(in_kept) << "fetched a kept piece again at " << r.first;
  }
}

// A new release of the installer shares its first half with the old one,
// whose download an earlier run left half done: the shared pieces stay.
TEST_F(EnginePieceTest, ResumeAfterTheFileChangedKeepsThePiecesBothVersionsShare) {
  const std::string shared = RandomBytes(4 * kPiece, 78);
  const std::string old_body = shared + RandomBytes(4 * kPiece, 79);
  const std::string new_body = shared + RandomBytes(4 * kPiece, 80);
  ServeOptions v2;
  v2.etag = "\"v2\"";
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, new_body, v2); });
  ASSERT_TRUE(server.Start());
  // The old download, stopped a piece past the shared half.
  std::string part(old_body.size(), '\0');
  part.replace(0, 5 * kPiece, old_body, 0, 5 * kPiece);
  ASSERT_TRUE(testutil::WriteFileBytes(sandbox_.PartPath(), part));
  sandbox_.WriteTask({server.Url(L"/f")}, new_body.size(), Sha256Hex(new_body),
                     "connections=2\n" + sandbox_.WritePieces(new_body, kPiece));
  EngineRef engine(library_);
  ASSERT_EQ(engine.Start(sandbox_.save_folder()), fetch::kOk);
  auto result = std::make_unique<fetch::Result>();
  ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == new_body);
  EXPECT_EQ(server.BodyBytesSent(), new_body.size() - shared.size());
}

// A finished file is checked again before a new run calls it complete: a
// byte changed since is repaired, not handed on. The run before started
// from a relative folder over a stale read-only installer.
TEST_F(EnginePieceTest, FinishedFileIsCheckedAgainAndRepairedBeforeItIsReportedComplete) {
  const std::string body = RandomBytes(6 * kPiece + 3, 81);
  ScriptedServer server([&](ServerConn& conn, const ServedRequest& r) { ServeFile(conn, r, body); });
  ASSERT_TRUE(server.Start());
  sandbox_.WriteTask({server.Url(L"/f")}, body.size(), Sha256Hex(body),
                     "connections=2\n" + sandbox_.WritePieces(body, kPiece));
  ASSERT_TRUE(testutil::WriteFileBytes(sandbox_.FinalPath(), "an older installer"));
  SetFileAttributesW(sandbox_.FinalPath().c_str(), FILE_ATTRIBUTE_READONLY);
  wchar_t original_dir[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, original_dir);
  const std::wstring games = sandbox_.save_folder().substr(0, sandbox_.save_folder().rfind(L'\\'));
  auto result = std::make_unique<fetch::Result>();
  {
    ASSERT_TRUE(SetCurrentDirectoryW(games.c_str()));
    EngineRef engine(library_);
    const int32_t started = engine.Start(L"Korvan\\");
    SetCurrentDirectoryW(original_dir);
    ASSERT_EQ(started, fetch::kOk);
    ASSERT_EQ(engine.WaitForEnd(90000, result.get()), fetch::kOk);
  }
  ASSERT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body) << "the stale installer was kept";

  std::string changed = body;
  changed[2 * kPiece + 5] ^= 0x40;
  ASSERT_TRUE(testutil::WriteFileBytes(sandbox_.FinalPath(), changed));
  const uint64_t sent_before = server.BodyBytesSent();
  EngineRef later(library_);
  ASSERT_EQ(later.QueryEarlier(result.get()), fetch::kOk);
  EXPECT_EQ(std::wstring(result->path), sandbox_.save_folder()) << "the folder was remembered as given";
  EXPECT_EQ(result->completed, 0u) << "complete before any check in this run";
  ASSERT_EQ(later.Start(sandbox_.save_folder()), fetch::kOk);
  ASSERT_EQ(later.WaitForEnd(90000, result.get()), fetch::kOk);
  EXPECT_NE(result->completed, 0u);
  EXPECT_TRUE(testutil::ReadFileBytes(sandbox_.FinalPath()) == body);
  EXPECT_EQ(server.BodyBytesSent() - sent_before, kPiece) << "only the changed piece";
}

}  // namespace
}  // namespace enginetest
