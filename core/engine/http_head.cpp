#include "core/engine/http_head.h"

#include <algorithm>
#include <cctype>

namespace fetch {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

bool ParseU64(const std::string& s, size_t* pos, uint64_t* v) {
  size_t i = *pos;
  uint64_t n = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    if (n > (UINT64_MAX - 9) / 10) return false;
    n = n * 10 + static_cast<uint64_t>(s[i] - '0');
    ++i;
  }
  if (i == *pos) return false;
  *pos = i;
  *v = n;
  return true;
}

void ParseHeader(const std::string& name, const std::string& value, HttpResponse* r) {
  const std::string key = Lower(name);
  size_t pos = 0;
  if (key == "content-length") {
    uint64_t length = 0;
    r->has_length = ParseU64(value, &pos, &length) && pos == value.size();
    r->content_length = r->has_length ? length : 0;
  } else if (key == "content-range") {
    // bytes <first>-<last>/<total or *>
    // A value cut short changes nothing, not even the first number.
    if (value.compare(0, 6, "bytes ") != 0) return;
    pos = 6;
    uint64_t first = 0, last = 0, total = 0;
    if (!ParseU64(value, &pos, &first) || pos >= value.size() || value[pos++] != '-' ||
        !ParseU64(value, &pos, &last) || pos >= value.size() || value[pos++] != '/') {
      return;
    }
    r->has_range = true;
    r->range_first = first;
    r->range_last = last;
    r->range_total_known = ParseU64(value, &pos, &total);
    r->range_total = r->range_total_known ? total : 0;
  } else if (key == "connection") {
    if (Lower(value).find("close") != std::string::npos) r->keep_alive = false;
  } else if (key == "transfer-encoding") {
    if (Lower(value).find("chunked") != std::string::npos) r->chunked = true;
  } else if (key == "etag") {
    r->etag = value;
  } else if (key == "last-modified") {
    r->last_modified = value;
  } else if (key == "location") {
    r->location = value;
  } else if (key == "retry-after") {
    uint64_t s = 0;
    // Only the seconds form; a date is taken as "soon".
    if (ParseU64(value, &pos, &s)) r->retry_after_s = static_cast<uint32_t>(std::min<uint64_t>(s, 3600));
  }
}

}  // namespace

bool ParseResponseHead(const std::string& head, HttpResponse* response) {
  *response = HttpResponse();
  size_t line_end = head.find("\r\n");
  std::string status_line = head.substr(0, line_end);
  if (status_line.compare(0, 5, "HTTP/") != 0) return false;
  size_t sp = status_line.find(' ');
  // Three digits at most: atoi() would take "2063" and overflow on longer runs.
  if (sp != std::string::npos) {
    size_t pos = status_line.find_first_not_of(" \t", sp);
    uint64_t code = 0;
    if (pos != std::string::npos && ParseU64(status_line, &pos, &code) && code <= 999) {
      response->status = static_cast<int>(code);
    }
  }
  if (status_line.compare(0, 8, "HTTP/1.0") == 0) response->keep_alive = false;
  size_t pos = line_end == std::string::npos ? head.size() : line_end + 2;
  while (pos < head.size()) {
    size_t next = head.find("\r\n", pos);
    if (next == std::string::npos) next = head.size();
    std::string line = head.substr(pos, next - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) ParseHeader(Trim(line.substr(0, colon)), Trim(line.substr(colon + 1)), response);
    pos = next + 2;
  }
  return true;
}

bool ParseHttpUrl(const std::string& url, HttpUrl* out) {
  HttpUrl u;
  size_t rest;
  if (Lower(url.substr(0, 7)) == "http://") {
    rest = 7;
  } else if (Lower(url.substr(0, 8)) == "https://") {
    u.https = true;
    u.port = 443;
    rest = 8;
  } else {
    return false;
  }
  size_t end = url.find_first_of("/?#", rest);
  std::string authority = url.substr(rest, end == std::string::npos ? std::string::npos : end - rest);
  if (authority.find('@') != std::string::npos || authority.empty()) return false;
  size_t colon = authority.rfind(':');
  if (colon != std::string::npos) {
    size_t pos = colon + 1;
    uint64_t port = 0;
    if (!ParseU64(authority, &pos, &port) || pos != authority.size() || port == 0 || port > 65535) return false;
    u.port = static_cast<uint16_t>(port);
    authority.erase(colon);
  }
  if (authority.empty()) return false;
  u.host = authority;
  std::string target = end == std::string::npos ? std::string("/") : url.substr(end);
  size_t hash = target.find('#');
  if (hash != std::string::npos) target.erase(hash);  // never sent
  if (target.empty() || target[0] != '/') target = "/" + target;
  // Host and target go into the request's lines: a space or control byte
  // (a bare "\n" from a Location header, say) could add a header of its own.
  for (const std::string* part : {&u.host, &target}) {
    for (char c : *part) {
      if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    }
  }
  u.target = target;
  *out = u;
  return true;
}

std::string ResolveLocation(const HttpUrl& base, const std::string& location) {
  const std::string lower = Lower(location.substr(0, 8));
  if (lower.compare(0, 7, "http://") == 0 || lower.compare(0, 8, "https://") == 0) return location;
  std::string origin = std::string(base.https ? "https://" : "http://") + base.host + ":" +
                       std::to_string(base.port);
  if (location.compare(0, 2, "//") == 0) return std::string(base.https ? "https:" : "http:") + location;
  if (!location.empty() && location[0] == '/') return origin + location;
  std::string dir = base.target.substr(0, base.target.find('?'));
  dir.erase(dir.rfind('/') + 1);
  return origin + dir + location;
}

}  // namespace fetch
