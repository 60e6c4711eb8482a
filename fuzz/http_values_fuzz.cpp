// A response head as the client sees it through WinInet: each header's
// value goes through the Content-Length and Content-Range readers and the
// URL fix-up (the Location of a redirect), whatever its name, so every
// reader meets every kind of text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/net/http_values.h"
#include "fuzz_check.h"

namespace {

void ReadValue(const std::wstring& value) {
  uint64_t length = 0;
  if (net::ParseContentLength(value, &length)) {
    KV_FUZZ_CHECK(value.find_first_of(L"0123456789") != std::wstring::npos);
  }
  uint64_t first = 0, last = 0, total = 0;
  if (net::ParseContentRange(value, &first, &last, &total)) {
    KV_FUZZ_CHECK(value.compare(0, 6, L"bytes ") == 0);
  }
  std::wstring fixed = L"stale";
  if (net::FixUpHttpUrl(value, &fixed)) {
    KV_FUZZ_CHECK(fixed.compare(0, 7, L"http://") == 0);
    KV_FUZZ_CHECK(fixed.size() >= value.size() &&
                  fixed.compare(fixed.size() - value.size(), value.size(), value) == 0);
  } else {
    KV_FUZZ_CHECK(fixed.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::wstring head(data, data + size);
  size_t pos = 0;
  while (pos <= head.size()) {
    size_t end = head.find(L'\n', pos);
    if (end == std::wstring::npos) end = head.size();
    std::wstring line = head.substr(pos, end - pos);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    const size_t colon = line.find(L':');
    if (colon != std::wstring::npos) {
      const size_t start = line.find_first_not_of(L' ', colon + 1);
      ReadValue(start == std::wstring::npos ? std::wstring() : line.substr(start));
    } else {
      ReadValue(line);
    }
    pos = end + 1;
  }
  return 0;
}
