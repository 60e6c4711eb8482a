// The machine identifier: the digest against a reference written from RFC
// 1321, the stored-identifier rules (through the real registry), and the
// pieces the hardware sources are decoded with.
#include "net/machine_id.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "base/scoped_handle.h"
#include "common/test_servers.h"

namespace {

// ---------------------------------------------------------------------------
// Reference digest. Deliberately shaped unlike the program's incremental
// context: the whole padded message is laid out as bytes first, then run
// through the RFC's four rounds, with the sine table computed as the RFC
// defines it.

namespace reference {

uint32_t Rotl(uint32_t x, int s) { return (x << s) | (x >> (32 - s)); }
uint32_t T(int i) { return static_cast<uint32_t>(std::fabs(std::sin(static_cast<double>(i))) * 4294967296.0); }

void Block(uint32_t abcd[4], const uint8_t* p) {
  uint32_t X[16];
  for (int j = 0; j < 16; ++j) {
    X[j] = p[4 * j] | (p[4 * j + 1] << 8) | (p[4 * j + 2] << 16) | (static_cast<uint32_t>(p[4 * j + 3]) << 24);
  }
  uint32_t a = abcd[0], b = abcd[1], c = abcd[2], d = abcd[3];
  auto F = [](uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); };
  auto G = [](uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); };
  auto H = [](uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; };
  auto I = [](uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); };
  int i = 1;
  // [abcd k s i]: a = b + ((a + fn(b,c,d) + X[k] + T[i]) <<< s), rotating roles.
  auto step = [&](auto fn, uint32_t& w, uint32_t x, uint32_t y, uint32_t z, int k, int s) {
    w = x + Rotl(w + fn(x, y, z) + X[k] + T(i++), s);
  };
  for (int r = 0; r < 4; ++r) {  // round 1
    step(F, a, b, c, d, 4 * r + 0, 7);
    step(F, d, a, b, c, 4 * r + 1, 12);
    step(F, c, d, a, b, 4 * r + 2, 17);
    step(F, b, c, d, a, 4 * r + 3, 22);
  }
  for (int r = 0; r < 4; ++r) {  // round 2
    step(G, a, b, c, d, (4 * r * 5 + 1) % 16, 5);
    step(G, d, a, b, c, ((4 * r + 1) * 5 + 1) % 16, 9);
    step(G, c, d, a, b, ((4 * r + 2) * 5 + 1) % 16, 14);
    step(G, b, c, d, a, ((4 * r + 3) * 5 + 1) % 16, 20);
  }
  for (int r = 0; r < 4; ++r) {  // round 3
    step(H, a, b, c, d, (4 * r * 3 + 5) % 16, 4);
    step(H, d, a, b, c, ((4 * r + 1) * 3 + 5) % 16, 11);
    step(H, c, d, a, b, ((4 * r + 2) * 3 + 5) % 16, 16);
    step(H, b, c, d, a, ((4 * r + 3) * 3 + 5) % 16, 23);
  }
  for (int r = 0; r < 4; ++r) {  // round 4
    step(I, a, b, c, d, (4 * r * 7) % 16, 6);
    step(I, d, a, b, c, ((4 * r + 1) * 7) % 16, 10);
    step(I, c, d, a, b, ((4 * r + 2) * 7) % 16, 15);
    step(I, b, c, d, a, ((4 * r + 3) * 7) % 16, 21);
  }
  abcd[0] += a;
  abcd[1] += b;
  abcd[2] += c;
  abcd[3] += d;
}

std::string Le64(uint64_t bits) {
  std::string out;
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(bits >> (8 * i)));
  return out;
}

// 0x80 and zeros up to 56 modulo 64: 1 to 64 bytes.
std::string Padding(size_t length) {
  size_t n = 64 - (length % 64 + 8) % 64;
  if (n == 0) n = 64;
  std::string pad(n, '\0');
  pad[0] = '\x80';
  return pad;
}

std::string Hex(const std::string& whole_blocks) {
  uint32_t abcd[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  for (size_t i = 0; i < whole_blocks.size(); i += 64) {
    Block(abcd, reinterpret_cast<const uint8_t*>(whole_blocks.data() + i));
  }
  char hex[33];
  for (int i = 0; i < 16; ++i) snprintf(hex + 2 * i, 3, "%02x", (abcd[i / 4] >> (8 * (i % 4))) & 0xff);
  return hex;
}

std::string Md5(const std::string& text) {
  return Hex(text + Padding(text.size()) + Le64(8ull * text.size()));
}

// The program's digest: the first finalisation is plain MD5; the second
// pads again from where the first left the context (its length counting
// the first padding, not the first length field) and compresses the 56
// buffered bytes with the new padding's first 8.
std::string DoubleFinal(std::string text) {
  if (text.size() > 259) text.resize(259);
  const std::string padded = text + Padding(text.size());  // length is 56 mod 64
  const std::string first = padded + Le64(8ull * text.size());
  const std::string buffered = padded.substr(padded.size() - 56);
  const std::string second_pad = Padding(padded.size());  // 64 bytes
  const std::string stream = first + buffered + second_pad.substr(0, 8) +
                             second_pad.substr(8) + Le64(8ull * padded.size());
  return Hex(stream);
}

}  // namespace reference

std::string HashToHexOf(const std::string& text) {
  char out[64];
  std::memset(out, 'x', sizeof(out));
  net::HashToHex(text.c_str(), out, sizeof(out));
  return out;
}

std::string Repeat(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('a' + i % 26));
  return s;
}

std::string MachineId() {
  char out[259];
  std::memset(out, 0, sizeof(out));
  net::GetMachineId(out, sizeof(out));
  return out;
}

bool IsLowerHex32(const std::string& s) { return std::regex_match(s, std::regex("[0-9a-f]{32}")); }

}  // namespace

// --- The reference itself --------------------------------------------------

TEST(HashToHexReference, IsPlainMd5ForTheRfcTestSuite) {
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", reference::Md5(""));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", reference::Md5("abc"));
  EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", reference::Md5("message digest"));
  EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
            reference::Md5("1234567890123456789012345678901234567890"
                           "1234567890123456789012345678901234567890"));
}

// --- HashToHex -------------------------------------------------------------

class HashToHexTest : public testing::TestWithParam<std::string> {};

TEST_P(HashToHexTest, MatchesTheTwiceFinalisedReference) {
  const std::string text = GetParam();
  EXPECT_EQ(reference::DoubleFinal(text), HashToHexOf(text)) << "length " << text.size();
}

// Padding boundaries: 55 fits one block with its length, 56 and 63 need a
// second, 64 is a whole block, 300 passes the 259-byte cut.
INSTANTIATE_TEST_SUITE_P(Texts, HashToHexTest,
                         testing::Values(std::string(), std::string("Mid2Failed"), Repeat(55),
                                         Repeat(56), Repeat(63), Repeat(64), Repeat(300),
                                         std::string("GenuineIntel:bfebfbff")),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return "Bytes" + std::to_string(info.param.size());
                         });

TEST(HashToHex, IsNotPlainMd5) {
  EXPECT_NE(reference::Md5(""), HashToHexOf(""));
  EXPECT_NE(reference::Md5("Mid2Failed"), HashToHexOf("Mid2Failed"));
}

TEST(HashToHex, CountsOnlyTheFirst259Bytes) {
  const std::string long_text = Repeat(300);
  EXPECT_EQ(HashToHexOf(long_text.substr(0, 259)), HashToHexOf(long_text));
  EXPECT_NE(HashToHexOf(long_text.substr(0, 258)), HashToHexOf(long_text));
}

TEST(HashToHex, CutsTheTextToTheOutputSize) {
  char out[10];
  std::memset(out, 'x', sizeof(out));
  net::HashToHex("Mid2Failed", out, sizeof(out));
  EXPECT_EQ(reference::DoubleFinal("Mid2Failed").substr(0, 9), std::string(out));
}

// --- Stored identifier: pure rule ----------------------------------------

TEST(MachineIdStoredRule, MatchingHalvesAreAcceptedAsStored) {
  const std::string first = "0123456789ABCDEF0123456789abcdef";
  std::string id;
  ASSERT_TRUE(net::machine_id::AcceptStoredId(first + HashToHexOf(first), &id));
  EXPECT_EQ(first, id);
}

TEST(MachineIdStoredRule, CheckHalfIsComparedIgnoringCase) {
  const std::string first = "fedcba9876543210fedcba9876543210";
  std::string check = HashToHexOf(first);
  for (char& c : check) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  std::string id;
  EXPECT_TRUE(net::machine_id::AcceptStoredId(first + check, &id));
}

TEST(MachineIdStoredRule, WrongLengthsMismatchedHalvesAndNonHexAreRefused) {
  const std::string first = "0123456789abcdef0123456789abcdef";
  const std::string good = first + HashToHexOf(first);
  std::string id;
  EXPECT_FALSE(net::machine_id::AcceptStoredId(good.substr(0, 63), &id));
  EXPECT_FALSE(net::machine_id::AcceptStoredId(good + "0", &id));
  std::string flipped = good;
  flipped[40] = flipped[40] == '0' ? '1' : '0';
  EXPECT_FALSE(net::machine_id::AcceptStoredId(flipped, &id));
  // Would go into the report URL unencoded.
  const std::string unsafe = "0123456789abcdef0123456789abc&ef";
  EXPECT_FALSE(net::machine_id::AcceptStoredId(unsafe + HashToHexOf(unsafe), &id));
  EXPECT_TRUE(id.empty());
}

// --- Stored identifier: through the registry -------------------------------

namespace {

const wchar_t kVendorKey[] = L"Software\\VelSafe";
const wchar_t kStoredKey[] = L"Software\\VelSafe\\Renova";

// Holds the cross-process lock and leaves the registry as it found it.
class StoredMachineIdTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lock_.held());
    base::ScopedRegKey probe;
    ASSERT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, kStoredKey, 0, KEY_READ,
                                           probe.Receive()))
        << "a stored identifier is already present; the tests would not see their own";
  }
  void TearDown() override {
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kStoredKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kVendorKey);
    base::ScopedRegKey probe;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, kVendorKey, 0, KEY_READ, probe.Receive()));
  }
  void Store(const std::string& value) {
    base::ScopedRegKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_LOCAL_MACHINE, kStoredKey, 0, nullptr, 0,
                                             KEY_WRITE, nullptr, key.Receive(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.Get(), "mid", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(value.c_str()),
                                            static_cast<DWORD>(value.size() + 1)));
  }
  testutil::ScopedMachineIdLock lock_;
};

}  // namespace

TEST_F(StoredMachineIdTest, SixtyFourCharactersWithMatchingHalvesAreUsedVerbatimEvenInUpperCase) {
  const std::string first = "ABCDEF0123456789ABCDEF0123456789";
  Store(first + HashToHexOf(first));
  EXPECT_EQ(first, MachineId());
}

TEST_F(StoredMachineIdTest, SixtyThreeAndSixtyFiveCharactersAreIgnored) {
  const std::string computed = MachineId();
  const std::string first = "abcdef0123456789abcdef0123456789";
  const std::string good = first + HashToHexOf(first);
  Store(good.substr(0, 63));
  EXPECT_EQ(computed, MachineId());
  Store(good + "a");
  EXPECT_EQ(computed, MachineId());
  // Proof that the key is read at all: the exact value is taken.
  Store(good);
  EXPECT_EQ(first, MachineId());
}

TEST_F(StoredMachineIdTest, MismatchedHalvesAreIgnored) {
  const std::string computed = MachineId();
  Store("abcdef0123456789abcdef0123456789abcdef0123456789abcdef0123456789");
  EXPECT_EQ(computed, MachineId());
}

// --- The computed identifier -----------------------------------------------

TEST(MachineId, IsThirtyTwoLowercaseHexCharactersAndStable) {
  testutil::ScopedMachineIdLock lock;
  ASSERT_TRUE(lock.held());
  const std::string first = MachineId();
  const std::string second = MachineId();
  EXPECT_TRUE(IsLowerHex32(first)) << first;
  EXPECT_EQ(first, second);
}

TEST(MachineId, IsTheDigestOfTheHardwareText) {
  testutil::ScopedMachineIdLock lock;
  ASSERT_TRUE(lock.held());
  const std::string source = net::machine_id::SourceText();
  EXPECT_FALSE(source.empty());
  EXPECT_LE(source.size(), 4095u);
  EXPECT_EQ(reference::DoubleFinal(source), MachineId()) << "source: " << source;
}

TEST(MachineId, TwoThreadsComputeTheSameIdentifier) {
  testutil::ScopedMachineIdLock lock;
  ASSERT_TRUE(lock.held());
  const std::string expected = MachineId();
  std::string a[20], b[20];
  std::thread t1([&] { for (auto& s : a) s = MachineId(); });
  std::thread t2([&] { for (auto& s : b) s = MachineId(); });
  t1.join();
  t2.join();
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(expected, a[i]);
    EXPECT_EQ(expected, b[i]);
  }
}

TEST(MachineId, BufferTooSmallForTheIdentifierIsLeftAlone) {
  char out[33];
  std::memset(out, '#', sizeof(out));
  net::GetMachineId(out, 32);
  EXPECT_EQ(std::string(33, '#'), std::string(out, 33));
  net::GetMachineId(nullptr, 259);  // must not crash
  net::GetMachineId(out, 33);
  EXPECT_EQ('\0', out[32]);
  EXPECT_TRUE(IsLowerHex32(out));
}

TEST(MachineId, ProcessorPartIsVendorColonFeatureWord) {
  const std::string part = net::machine_id::ProcessorPart();
  EXPECT_TRUE(std::regex_match(part, std::regex("[ -~]{12}:[0-9a-f]{8}"))) << part;
}

// --- Decoding the hardware answers -----------------------------------------

namespace {

// An identify block whose words 10-19 hold `serial` as the drive stores it:
// each word's high byte is the first character of its pair.
std::vector<uint8_t> IdentifyWithSerial(const std::string& serial20) {
  std::vector<uint8_t> block(512, 0);
  for (int i = 0; i < 20; ++i) {
    const int word = 10 + i / 2;
    block[word * 2 + (i % 2 == 0 ? 1 : 0)] = static_cast<uint8_t>(serial20[i]);
  }
  return block;
}

}  // namespace

TEST(DiskSerial, IdentifyWordsGiveHighByteFirstWithoutTrailingSpaces) {
  EXPECT_EQ("WD-WCAV12345678", net::machine_id::SerialFromIdentify(
                                   IdentifyWithSerial("WD-WCAV12345678     ").data()));
  EXPECT_EQ("  S1", net::machine_id::SerialFromIdentify(
                        IdentifyWithSerial("  S1                ").data()));
  EXPECT_EQ("", net::machine_id::SerialFromIdentify(IdentifyWithSerial(std::string(20, ' ')).data()));
}

TEST(DiskSerial, DescriptorTextIsHexDecodedOrTakenAsIsThenPairSwapped) {
  struct Case {
    const char* text;
    const char* serial;
  } cases[] = {
      {"3253443531", "S25D"},   // "2SD51" hex-decoded, pairs swapped, odd last dropped
      {"2 57", "W "},           // a blank counts as 0: "2 " is 0x20
      {" 041", "0 14"},         // " 0" would be 0x00, not printable: kept as text
      {"WD-WCAV1234", "DWW-AC1V32"},
      {"12345678", "21436587"},  // hex, but 0x12 is not printable
      {"ab\x01" "cd", ""},       // a control character empties it
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.serial, net::machine_id::SerialFromDescriptor(c.text)) << '"' << c.text << '"';
  }
}

TEST(AdapterAddress, SmallestOfTwoCardsWhateverTheirOrder) {
  const uint8_t a[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  const uint8_t b[6] = {0x00, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF};
  const std::string sa = net::machine_id::FormatAddress(a);
  const std::string sb = net::machine_id::FormatAddress(b);
  EXPECT_EQ("001A2B3C4D5E", sa);
  EXPECT_EQ("000FFFFFFFFF", sb);
  EXPECT_EQ(sb, net::machine_id::SmallestAddress({sa, sb}));
  EXPECT_EQ(sb, net::machine_id::SmallestAddress({sb, sa}));
  EXPECT_EQ("", net::machine_id::SmallestAddress({}));
}
