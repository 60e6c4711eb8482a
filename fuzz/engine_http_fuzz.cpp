// A response head as the engine's own connection reads it: the head is
// parsed, its fields written back as a canonical head must parse to the
// same fields, a rejected Content-Range changes nothing, and every header
// value (and the first line) goes through URL splitting and redirect
// resolution, whose results must split back to themselves.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/engine/http_head.h"
#include "fuzz_check.h"

namespace {

bool SameResponse(const fetch::HttpResponse& a, const fetch::HttpResponse& b) {
  return a.status == b.status && a.has_length == b.has_length && a.content_length == b.content_length &&
         a.has_range == b.has_range && a.range_first == b.range_first && a.range_last == b.range_last &&
         a.range_total == b.range_total && a.range_total_known == b.range_total_known &&
         a.keep_alive == b.keep_alive && a.chunked == b.chunked && a.etag == b.etag &&
         a.last_modified == b.last_modified && a.location == b.location && a.retry_after_s == b.retry_after_s;
}

std::string CanonicalHead(const fetch::HttpResponse& r) {
  std::string head = "HTTP/1.1 " + (r.status == 0 ? std::string("x") : std::to_string(r.status));
  if (r.has_length) head += "\r\nContent-Length: " + std::to_string(r.content_length);
  if (r.has_range) {
    head += "\r\nContent-Range: bytes " + std::to_string(r.range_first) + "-" + std::to_string(r.range_last) + "/" +
            (r.range_total_known ? std::to_string(r.range_total) : std::string("*"));
  }
  if (!r.keep_alive) head += "\r\nConnection: close";
  if (r.chunked) head += "\r\nTransfer-Encoding: chunked";
  if (!r.etag.empty()) head += "\r\nETag: " + r.etag;
  if (!r.last_modified.empty()) head += "\r\nLast-Modified: " + r.last_modified;
  if (!r.location.empty()) head += "\r\nLocation: " + r.location;
  if (r.retry_after_s != 0) head += "\r\nRetry-After: " + std::to_string(r.retry_after_s);
  return head;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// A split URL is clean and written back it splits to the same parts.
void CheckUrl(const fetch::HttpUrl& u) {
  KV_FUZZ_CHECK(!u.host.empty() && u.port != 0);
  KV_FUZZ_CHECK(!u.target.empty() && u.target[0] == '/' && u.target.find('#') == std::string::npos);
  for (const std::string* part : {&u.host, &u.target}) {
    for (char c : *part) KV_FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7f);
  }
  KV_FUZZ_CHECK(u.host.find_first_of("/?#@") == std::string::npos);
  fetch::HttpUrl again;
  const std::string text =
      std::string(u.https ? "https://" : "http://") + u.host + ":" + std::to_string(u.port) + u.target;
  KV_FUZZ_CHECK(fetch::ParseHttpUrl(text, &again));
  KV_FUZZ_CHECK(again.https == u.https && again.host == u.host && again.port == u.port && again.target == u.target);
}

void CheckLocation(const fetch::HttpUrl& base, const std::string& location) {
  const std::string resolved = fetch::ResolveLocation(base, location);
  const std::string lower = Lower(location.substr(0, 8));
  const bool absolute = lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0;
  if (absolute) KV_FUZZ_CHECK(resolved == location);
  fetch::HttpUrl u;
  if (!fetch::ParseHttpUrl(resolved, &u)) return;
  CheckUrl(u);
  // A relative reference never leaves the origin it came from.
  if (!absolute && location.compare(0, 2, "//") != 0) {
    KV_FUZZ_CHECK(u.https == base.https && u.host == base.host && u.port == base.port);
  }
}

void CheckValue(const std::string& value, const fetch::HttpUrl& base) {
  fetch::HttpUrl u;
  if (fetch::ParseHttpUrl(value, &u)) CheckUrl(u);
  CheckLocation(base, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string head(reinterpret_cast<const char*>(data), size);
  fetch::HttpResponse response;
  const bool parsed = fetch::ParseResponseHead(head, &response);
  KV_FUZZ_CHECK(parsed == (head.compare(0, 5, "HTTP/") == 0));
  if (parsed) {
    KV_FUZZ_CHECK(response.status >= 0 && response.status <= 999);
    KV_FUZZ_CHECK(response.retry_after_s <= 3600);
    const std::string lower = Lower(head);
    if (response.chunked) KV_FUZZ_CHECK(lower.find("chunked") != std::string::npos);
    if (response.has_range) KV_FUZZ_CHECK(lower.find("content-range") != std::string::npos);
    if (response.has_length) KV_FUZZ_CHECK(lower.find("content-length") != std::string::npos);
    fetch::HttpResponse again;
    KV_FUZZ_CHECK(fetch::ParseResponseHead(CanonicalHead(response), &again));
    KV_FUZZ_CHECK(SameResponse(response, again));
    // A Content-Range cut short is ignored whole, whatever came before it.
    fetch::HttpResponse cut;
    KV_FUZZ_CHECK(fetch::ParseResponseHead(head + "\r\nContent-Range: bytes 7-", &cut));
    KV_FUZZ_CHECK(cut.has_range == response.has_range && cut.range_first == response.range_first &&
                  cut.range_last == response.range_last && cut.range_total == response.range_total &&
                  cut.range_total_known == response.range_total_known);
  }

  // The first line as a base URL when it is one, a fixed one otherwise.
  fetch::HttpUrl base;
  const std::string first = head.substr(0, head.find("\r\n"));
  if (fetch::ParseHttpUrl(first, &base)) {
    CheckUrl(base);
  } else {
    KV_FUZZ_CHECK(fetch::ParseHttpUrl("http://cdn.example.test:8080/dir/file.exe?v=1", &base));
  }
  size_t pos = 0;
  while (pos <= head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(pos, end - pos);
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      const size_t start = line.find_first_not_of(" \t", colon + 1);
      CheckValue(start == std::string::npos ? std::string() : line.substr(start), base);
    }
    CheckValue(line, base);
    pos = end + 2;
  }
  return 0;
}
