// The stored-ZIP reader: scanning, name normalisation, refused archives and
// the ".idx" index cache.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_util.h"
#include "skin/mini_unpak.h"
#include "skin_test_util.h"

namespace {

using skintest::ZipEntry;

std::vector<ZipEntry> TwoEntries() {
  return {{"Images/Foo.PNG", "foo-bytes"}, {"skin.info", "a 1\n"}};
}

class MiniUnPakTest : public testing::Test {
 protected:
  std::wstring Write(const std::string& bytes, const wchar_t* name = L"a.sk") {
    const std::wstring path = dir_.Join(name);
    EXPECT_TRUE(testutil::WriteFileBytes(path, bytes));
    return path;
  }
  std::string Entry(CMiniUnPak& zip, const std::wstring& name) {
    std::string out(zip.EntrySize(name), '\0');
    const int n = zip.ReadEntry(name, out.empty() ? nullptr : &out[0], static_cast<uint32_t>(out.size()));
    return n > 0 ? out.substr(0, n) : std::string();
  }

  testutil::ScopedTempDir dir_;
};

TEST_F(MiniUnPakTest, NormalisesNamesOnInsertAndLookup) {
  EXPECT_EQ(L"IMAGES\\FOO.PNG", CMiniUnPak::NormalizeName(L"Images/Foo.PNG"));
  EXPECT_EQ(L"A\\B", CMiniUnPak::NormalizeName(L"/a/b"));
  EXPECT_EQ(L"\\A", CMiniUnPak::NormalizeName(L"//a"));  // only one separator dropped
  EXPECT_EQ(L"\u00e9.PNG", CMiniUnPak::NormalizeName(L"\u00e9.png"));  // ASCII only

  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(Write(skintest::BuildZip(TwoEntries()))));
  ASSERT_EQ(2u, zip.Entries().size());
  EXPECT_EQ(1u, zip.Entries().count(L"IMAGES\\FOO.PNG"));
  EXPECT_EQ(1u, zip.Entries().count(L"SKIN.INFO"));
  EXPECT_EQ("foo-bytes", Entry(zip, L"images\\foo.png"));
  EXPECT_EQ("foo-bytes", Entry(zip, L"/IMAGES/foo.png"));
  EXPECT_EQ("a 1\n", Entry(zip, L"Skin.Info"));
  EXPECT_FALSE(zip.IndexFromCache());
}

TEST_F(MiniUnPakTest, RecordsOffsetsAndLengthsOfEachEntry) {
  const auto entries = TwoEntries();
  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(Write(skintest::BuildZip(entries))));
  const CXMLArchiveItem& second = zip.Entries().at(L"SKIN.INFO");
  EXPECT_EQ(skintest::LocalHeaderOffset(entries, 1), second.header_offset);
  EXPECT_EQ(30u + 9u + 4u, second.entry_length);
  EXPECT_EQ(4u, second.data_size);
}

TEST_F(MiniUnPakTest, ReadEntryReportsClosedUnknownAndPartialReads) {
  CMiniUnPak zip;
  char buffer[64] = {};
  EXPECT_EQ(-1, zip.ReadEntry(L"SKIN.INFO", buffer, sizeof(buffer)));
  ASSERT_TRUE(zip.OpenArchive(Write(skintest::BuildZip(TwoEntries()))));
  EXPECT_EQ(0, zip.ReadEntry(L"nothing.png", buffer, sizeof(buffer)));
  EXPECT_EQ(0u, zip.EntrySize(L"nothing.png"));
  EXPECT_EQ(3, zip.ReadEntry(L"images/foo.png", buffer, 3));
  EXPECT_EQ("foo", std::string(buffer, 3));
  EXPECT_EQ(9, zip.ReadEntry(L"images/foo.png", buffer, sizeof(buffer)));
  zip.CloseArchive();
  EXPECT_EQ(-1, zip.ReadEntry(L"images/foo.png", buffer, sizeof(buffer)));
}

TEST_F(MiniUnPakTest, ExtraFieldIsSkippedToReachTheData) {
  std::vector<ZipEntry> entries = {{"x.png", "data!", 0, 0, std::string("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9)}};
  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(Write(skintest::BuildZip(entries))));
  EXPECT_EQ("data!", Entry(zip, L"x.png"));
}

TEST_F(MiniUnPakTest, MissingOrEmptyFiles) {
  CMiniUnPak zip;
  EXPECT_FALSE(zip.OpenArchive(dir_.Join(L"absent.sk")));
  EXPECT_FALSE(zip.IsOpen());
  // An empty file and a file that is no archive open with no entries.
  ASSERT_TRUE(zip.OpenArchive(Write("")));
  EXPECT_TRUE(zip.Entries().empty());
  ASSERT_TRUE(zip.OpenArchive(Write("this is not a zip archive at all")));
  EXPECT_TRUE(zip.Entries().empty());
}

TEST_F(MiniUnPakTest, MalformedArchivesAreRefusedWhole) {
  const auto entries = TwoEntries();
  const std::string good = skintest::BuildZip(entries);
  const size_t second = skintest::LocalHeaderOffset(entries, 1);
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::vector<Case> cases;
  {
    std::string b = good;
    skintest::PutU16(&b, 8, 8);  // first entry deflated
    cases.push_back({"compressed first entry", b});
  }
  {
    std::string b = good;
    skintest::PutU16(&b, second + 8, 8);
    cases.push_back({"compressed later entry", b});
  }
  cases.push_back({"truncated local header", good.substr(0, second + 20)});
  cases.push_back({"truncated data", good.substr(0, second + 30 + 9 + 2)});
  {
    std::string b = good.substr(0, second + 30 + 9 + 4);
    skintest::PutU16(&b, second + 26, 0xFFFF);
    cases.push_back({"name length past the end", b});
  }
  {
    std::string b = good.substr(0, second + 30 + 9 + 4);
    skintest::PutU16(&b, second + 28, 0xFFFF);
    cases.push_back({"extra length past the end", b});
  }
  {
    std::string b = good;
    skintest::PutU32(&b, second + 18, 0xFFFFFFF0u);
    skintest::PutU32(&b, second + 22, 0xFFFFFFF0u);
    cases.push_back({"sizes past the end", b});
  }
  {
    std::string b = good;
    skintest::PutU32(&b, 18, 0x7FFFFFFFu);
    skintest::PutU32(&b, 22, 0x7FFFFFFFu);
    cases.push_back({"first entry's size past the end", b});
  }
  {
    std::string b = good;
    skintest::PutU32(&b, 22, 1000);  // sizes disagree
    cases.push_back({"unpacked size differs", b});
  }
  {
    std::string b = good;
    skintest::PutU16(&b, 6, 0x0008);
    cases.push_back({"data descriptor", b});
  }
  {
    std::string b = good;
    skintest::PutU16(&b, 6, 0x0001);
    cases.push_back({"encrypted", b});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CMiniUnPak zip;
    EXPECT_FALSE(zip.OpenArchive(Write(c.bytes)));
    EXPECT_FALSE(zip.IsOpen());
    EXPECT_TRUE(zip.Entries().empty());
    char buffer[8];
    EXPECT_EQ(-1, zip.ReadEntry(L"SKIN.INFO", buffer, sizeof(buffer)));
  }
}

TEST_F(MiniUnPakTest, ReopeningReplacesTheIndex) {
  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(Write(skintest::BuildZip(TwoEntries()), L"one.sk")));
  ASSERT_TRUE(zip.OpenArchive(Write(skintest::BuildZip({{"other.png", "o"}}), L"two.sk")));
  EXPECT_EQ(1u, zip.Entries().size());
  EXPECT_EQ(0u, zip.EntrySize(L"SKIN.INFO"));
  EXPECT_FALSE(zip.OpenArchive(dir_.Join(L"absent.sk")));
  EXPECT_TRUE(zip.Entries().empty());
}

// --- the index cache ----------------------------------------------------------

class IndexCacheTest : public MiniUnPakTest {
 protected:
  void SetUp() override {
    entries_ = TwoEntries();
    archive_ = Write(skintest::BuildZip(entries_), L"s.sk");
  }
  // A record naming the second entry under another name, so a lookup of
  // that name succeeds only when the cache was used.
  skintest::IndexRecord AliasRecord() const {
    return {skintest::LocalHeaderOffset(entries_, 1), 30 + 9 + 4, 4, L"alias/Name.txt"};
  }
  std::wstring WriteIndex(const std::string& bytes) {
    const std::wstring path = archive_ + L".idx";
    EXPECT_TRUE(testutil::WriteFileBytes(path, bytes));
    EXPECT_TRUE(skintest::CopyFileTimes(archive_, path));
    return path;
  }

  std::vector<ZipEntry> entries_;
  std::wstring archive_;
};

TEST_F(IndexCacheTest, FreshIndexIsUsedInsteadOfTheScan) {
  WriteIndex(skintest::BuildIndex({AliasRecord()}));
  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(archive_));
  EXPECT_TRUE(zip.IndexFromCache());
  EXPECT_EQ(1u, zip.Entries().size());
  EXPECT_EQ("a 1\n", Entry(zip, L"ALIAS\\NAME.TXT"));
  EXPECT_EQ(0u, zip.EntrySize(L"skin.info"));
}

TEST_F(IndexCacheTest, ExplicitIndexPathIsHonoured) {
  const std::wstring other = dir_.Join(L"elsewhere.idx");
  ASSERT_TRUE(testutil::WriteFileBytes(other, skintest::BuildIndex({AliasRecord()})));
  ASSERT_TRUE(skintest::CopyFileTimes(archive_, other));
  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(archive_, other));
  EXPECT_TRUE(zip.IndexFromCache());
  EXPECT_EQ(4u, zip.EntrySize(L"alias\\name.txt"));
}

TEST_F(IndexCacheTest, StaleIndexIsIgnored) {
  const std::wstring idx = WriteIndex(skintest::BuildIndex({AliasRecord()}));
  ASSERT_TRUE(skintest::ShiftWriteTime(idx, 60));
  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(archive_));
  EXPECT_FALSE(zip.IndexFromCache());
  EXPECT_EQ(2u, zip.Entries().size());
  EXPECT_EQ(0u, zip.EntrySize(L"alias\\name.txt"));
}

TEST_F(IndexCacheTest, BrokenIndexFilesFallBackToTheScan) {
  const skintest::IndexRecord alias = AliasRecord();
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"wrong magic", skintest::BuildIndex({alias}, "RIDX")});
  {
    std::string b = skintest::BuildIndex({alias});
    skintest::PutU32(&b, 4, 40000);
    cases.push_back({"count of 40000", b});
  }
  {
    std::string b = skintest::BuildIndex({alias});
    skintest::PutU32(&b, 4, 2);
    cases.push_back({"count above the records", b});
  }
  {
    std::string b = skintest::BuildIndex({alias});
    skintest::PutU32(&b, 8 + 12, 0x7FFFFFF0u);
    cases.push_back({"name length past the end", b});
  }
  {
    std::string b = skintest::BuildIndex({alias});
    skintest::PutU32(&b, 8 + 12, 3);
    cases.push_back({"odd name length", b});
  }
  {
    std::string b = skintest::BuildIndex({alias});
    b[b.size() - 1] = 'x';
    cases.push_back({"missing terminator", b});
  }
  cases.push_back({"too short", std::string("ridx", 4)});
  {
    skintest::IndexRecord r = alias;
    r.header_offset = 0xFFFFFF00u;
    cases.push_back({"offset past the archive", skintest::BuildIndex({r})});
  }
  {
    skintest::IndexRecord r = alias;
    r.data_size = 1 << 20;
    r.entry_length = 30 + 9 + (1 << 20);
    cases.push_back({"data size past the archive", skintest::BuildIndex({r})});
  }
  {
    skintest::IndexRecord r = alias;
    r.header_offset += 1;
    cases.push_back({"offset not at a header", skintest::BuildIndex({r})});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteIndex(c.bytes);
    CMiniUnPak zip;
    ASSERT_TRUE(zip.OpenArchive(archive_));
    EXPECT_FALSE(zip.IndexFromCache());
    EXPECT_EQ(2u, zip.Entries().size());
    EXPECT_EQ("a 1\n", Entry(zip, L"skin.info"));
  }
}

TEST_F(IndexCacheTest, IndexWithTheMaximumCountIsAccepted) {
  std::vector<skintest::IndexRecord> records(CMiniUnPak::kMaxIndexRecords, AliasRecord());
  for (size_t i = 0; i < records.size(); ++i) records[i].name = L"n" + std::to_wstring(i);
  WriteIndex(skintest::BuildIndex(records));
  CMiniUnPak zip;
  ASSERT_TRUE(zip.OpenArchive(archive_));
  EXPECT_TRUE(zip.IndexFromCache());
  EXPECT_EQ(static_cast<size_t>(CMiniUnPak::kMaxIndexRecords), zip.Entries().size());
}

TEST_F(IndexCacheTest, CompressedArchiveIsRefusedEvenWithAnIndex) {
  std::string bytes = skintest::BuildZip(entries_);
  skintest::PutU16(&bytes, 8, 8);
  ASSERT_TRUE(testutil::WriteFileBytes(archive_, bytes));
  // The index names only the stored entry, but a compressed header may not
  // be reached through it either.
  skintest::IndexRecord first = {0, 30 + 14 + 9, 9, L"first"};
  WriteIndex(skintest::BuildIndex({first}));
  CMiniUnPak zip;
  EXPECT_FALSE(zip.OpenArchive(archive_));
}

}  // namespace
