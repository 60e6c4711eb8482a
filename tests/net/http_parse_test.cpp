// URL fix-up and splitting, and the header numbers the client trusts for
// its size limits.
#include "net/http_parse.h"

#include <gtest/gtest.h>

#include <string>

TEST(HttpUrl, AddsTheSchemeOnlyWhenMissing) {
  std::wstring fixed;
  ASSERT_TRUE(net::FixUpHttpUrl(L"127.0.0.1:8080/a", &fixed));
  EXPECT_EQ(L"http://127.0.0.1:8080/a", fixed);
  ASSERT_TRUE(net::FixUpHttpUrl(L"http://example.com/", &fixed));
  EXPECT_EQ(L"http://example.com/", fixed);
}

TEST(HttpUrl, OtherSchemesAreRefusedNotTurnedIntoHosts) {
  std::wstring fixed;
  EXPECT_FALSE(net::FixUpHttpUrl(L"https://example.com/", &fixed));
  EXPECT_FALSE(net::FixUpHttpUrl(L"ftp://example.com/", &fixed));
  EXPECT_TRUE(fixed.empty());
}

TEST(HttpUrl, SplitHonoursThePortAndDefaultsTo80) {
  net::HttpUrlParts parts;
  ASSERT_TRUE(net::SplitHttpUrl(L"http://127.0.0.1:18999/x", &parts));
  EXPECT_EQ(L"127.0.0.1", parts.host);
  EXPECT_EQ(18999, parts.port);
  ASSERT_TRUE(net::SplitHttpUrl(L"http://stats.example.com/b/duan/s/ginstall/", &parts));
  EXPECT_EQ(L"stats.example.com", parts.host);
  EXPECT_EQ(80, parts.port);
  EXPECT_EQ(L"/b/duan/s/ginstall/", parts.object);
}

TEST(HttpUrl, SplitUnescapesThePathButKeepsTheQueryAndDropsTheFragment) {
  net::HttpUrlParts parts;
  ASSERT_TRUE(net::SplitHttpUrl(L"http://h/a%41b/c?x=%41&y=1#frag", &parts));
  EXPECT_EQ(L"/aAb/c?x=%41&y=1", parts.object);
  ASSERT_TRUE(net::SplitHttpUrl(L"http://h", &parts));
  EXPECT_EQ(L"/", parts.object);
}

TEST(HttpHeaderNumbers, ContentLengthIsReadAsSixtyFourBits) {
  struct Case {
    const wchar_t* text;
    bool ok;
    uint64_t value;
  } cases[] = {
      {L"0", true, 0},
      {L"20000", true, 20000},
      {L" 12\t", true, 12},
      {L"4294967296", true, 4294967296ull},  // would wrap to 0 in 32 bits
      {L"99999999999999999999999", true, UINT64_MAX},
      {L"", false, 0},
      {L"12a", false, 0},
      {L"-1", false, 0},
      {L"1 2", false, 0},
  };
  for (const Case& c : cases) {
    uint64_t value = 7;
    EXPECT_EQ(c.ok, net::ParseContentLength(c.text, &value)) << c.text;
    if (c.ok) {
      EXPECT_EQ(c.value, value) << c.text;
    }
  }
}

TEST(HttpHeaderNumbers, ContentRangeNeedsAllThreeNumbers) {
  uint64_t first = 0, last = 0, total = 0;
  ASSERT_TRUE(net::ParseContentRange(L"bytes 70000-149999/150000", &first, &last, &total));
  EXPECT_EQ(70000u, first);
  EXPECT_EQ(149999u, last);
  EXPECT_EQ(150000u, total);
  EXPECT_FALSE(net::ParseContentRange(L"bytes */150000", &first, &last, &total));
  EXPECT_FALSE(net::ParseContentRange(L"bytes 1-2/*", &first, &last, &total));
  EXPECT_FALSE(net::ParseContentRange(L"items 1-2/3", &first, &last, &total));
  EXPECT_FALSE(net::ParseContentRange(L"bytes 1-2/3 ", &first, &last, &total));
}
