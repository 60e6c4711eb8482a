#include "core/engine/task_text.h"

#include <cctype>

namespace fetch {

namespace {

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r\n");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

bool ParseU64(const std::string& s, uint64_t* v) {
  if (s.empty() || s.size() > 19) return false;
  uint64_t n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  *v = n;
  return true;
}

}  // namespace

bool ParseTaskLines(const std::string& text, TaskText* task) {
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == '#') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    uint64_t n = 0;
    if (key == "name") {
      task->name = value;
    } else if (key == "product") {
      task->product = value;
    } else if (key == "size") {
      if (!ParseU64(value, &task->size)) return false;
    } else if (key == "sha256") {
      for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (value.size() != 64 || value.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
      task->sha256 = value;
    } else if (key == "url") {
      if (!value.empty()) task->urls.push_back(value);
    } else if (key == "connections") {
      if (!ParseU64(value, &n) || n < 1 || n > 16) return false;
      task->connections = static_cast<int>(n);
    } else if (key == "stall_timeout_ms") {
      if (!ParseU64(value, &n) || n < 100 || n > 600000) return false;
      task->stall_timeout_ms = static_cast<uint32_t>(n);
    } else if (key == "piece_size") {
      if (!ParseU64(value, &task->piece_size)) return false;
    } else if (key == "pieces_sha256") {
      for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      task->pieces_sha256 = value;
    } else if (key == "retry_limit") {
      if (!ParseU64(value, &n) || n < 1 || n > 100) return false;
      task->retry_limit = static_cast<int>(n);
    }
    // Unknown keys are ignored, so an older engine reads a newer table.
  }
  return true;
}

bool IsSafeTaskId(const std::wstring& id) {
  if (id.empty() || id.size() > 64) return false;
  for (wchar_t c : id) {
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'))) return false;
  }
  return true;
}

}  // namespace fetch
