#include "core/log/log_settings.h"

#include <boost/format.hpp>

#include <climits>
#include <cwchar>

namespace kvlog {

namespace {

constexpr wchar_t kLogBaseName[] = L"kv_downloader_log";

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f'; }

std::wstring Trim(const std::wstring& text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameName(const std::wstring& a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return i == a.size() && !b[i];
}

// Blanks, an optional sign, an optional base prefix ("0x", "0o", "0b") and
// the leading digits of that base, as the platform's profile reader
// converts; past the int range the value saturates.
int ProfileInt(const std::wstring& value) {
  size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == L'-' || value[i] == L'+')) negative = value[i++] == L'-';
  int base = 10;
  if (i + 1 < value.size() && value[i] == L'0') {
    const wchar_t prefix = value[i + 1];
    base = prefix == L'x' ? 16 : prefix == L'o' ? 8 : prefix == L'b' ? 2 : 10;
    if (base != 10) i += 2;
  }
  long long n = 0;
  for (; i < value.size(); ++i) {
    const wchar_t c = value[i];
    int digit = c >= L'0' && c <= L'9' ? c - L'0'
                : c >= L'a' && c <= L'f' ? c - L'a' + 10
                : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                         : 99;
    if (digit >= base) break;
    n = n * base + digit;
    if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  return static_cast<int>(n);
}

}  // namespace

std::wstring DecodeIniBytes(const uint8_t* bytes, size_t size) {
  std::wstring text;
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    text.reserve((size - 2) / 2);
    for (size_t i = 2; i + 1 < size; i += 2) {
      text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    return text;
  }
  size_t start = size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF ? 3 : 0;
  text.reserve(size - start);
  for (size_t i = start; i < size; ++i) text.push_back(static_cast<wchar_t>(bytes[i]));
  return text;
}

LogSettings ParseLogSettings(const std::wstring& text) {
  LogSettings settings;
  bool have_level = false, have_days = false;
  bool in_log = false;
  size_t pos = 0;
  while (pos < text.size() && !(have_level && have_days)) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] == L'[') {
      const size_t close = line.rfind(L']');
      if (close != std::wstring::npos) in_log = SameName(Trim(line.substr(1, close - 1)), L"log");
      continue;
    }
    if (!in_log || line[0] == L';') continue;
    const size_t equals = line.find(L'=');
    if (equals == std::wstring::npos) continue;
    const std::wstring key = Trim(line.substr(0, equals));
    std::wstring value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0]) {
      value = value.substr(1, value.size() - 2);
    }
    if (!have_level && SameName(key, L"level")) {
      have_level = true;
      if (!value.empty()) settings.level = ProfileInt(value);
    } else if (!have_days && SameName(key, L"retain_days")) {
      have_days = true;
      if (!value.empty()) settings.retain_days = ProfileInt(value);
    }
  }
  return settings;
}

long long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

std::wstring DayLogName(int y, int m, int d) {
  return (boost::wformat(L"%1%_%2%-%3%-%4%.txt") % kLogBaseName % y % m % d).str();
}

long long DayOfLogName(const std::wstring& name) {
  int y = 0, m = 0, d = 0;
  wchar_t tail = 0;
  if (std::swscanf(name.c_str(), L"kv_downloader_log_%d-%d-%d.tx%lc", &y, &m, &d, &tail) != 4 ||
      tail != L't') {
    return -1;
  }
  if (y < 1601 || y > 30827 || m < 1 || m > 12 || d < 1 || d > 31) return -1;
  if (DayLogName(y, m, d) != name) return -1;  // rejects padding and suffixes
  return DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
}

}  // namespace kvlog
