// The engine's incremental SHA-256 against published vectors and against a
// one-shot digest, for every length around the block and padding boundaries
// and for updates split at random points (the transfer feeds it chunk by
// chunk), and after Reset.
#include <gtest/gtest.h>

#include <random>

#include "engine/engine_harness.h"
#include "engine/sha256.h"

namespace enginetest {
namespace {

using fetch::Sha256;

std::string Digest(const std::string& bytes) {
  Sha256 sha;
  sha.Update(bytes.data(), bytes.size());
  return sha.FinishHex();
}

TEST(Sha256Test, MatchesPublishedVectors) {
  EXPECT_EQ(Digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Digest(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256Test, IncrementalUpdatesAgreeWithOneShotAtEveryBoundaryAndSplit) {
  const std::string data = RandomBytes(3 * 4096 + 77, 5);
  for (size_t n = 0; n <= 260; ++n) {
    const std::string part = data.substr(0, n);
    ASSERT_EQ(Digest(part), Sha256Hex(part)) << "length " << n;
  }
  std::mt19937 random(9);
  for (int round = 0; round < 40; ++round) {
    const size_t size = random() % data.size();
    Sha256 sha;
    size_t at = 0;
    while (at < size) {
      const size_t piece = std::min<size_t>(size - at, random() % 300);
      sha.Update(data.data() + at, piece);
      at += piece;
    }
    const std::string part = data.substr(0, size);
    ASSERT_EQ(sha.FinishHex(), Sha256Hex(part)) << "size " << size;
    sha.Reset();
    sha.Update(part.data(), part.size());
    ASSERT_EQ(sha.FinishHex(), Sha256Hex(part)) << "after Reset, size " << size;
  }
}

}  // namespace
}  // namespace enginetest
