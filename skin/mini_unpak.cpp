#include "skin/mini_unpak.h"

#include <windows.h>

#include <cstring>
#include <memory>
#include <new>

#include "core/zip/stored_zip.h"

namespace {

struct HandleCloser {
  void operator()(void* h) const { CloseHandle(h); }
};
using ScopedFile = std::unique_ptr<void, HandleCloser>;

bool ReadWholeFile(const std::wstring& path, uint32_t max_bytes, std::vector<uint8_t>* out) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ScopedFile file(h);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(h, &size) || size.QuadPart < 0 || size.QuadPart > max_bytes) return false;
  try {
    out->resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::bad_alloc&) {
    return false;
  }
  DWORD read = 0;
  if (out->empty()) return true;
  return ReadFile(h, out->data(), static_cast<DWORD>(out->size()), &read, nullptr) &&
         read == out->size();
}

bool SameTimes(const std::wstring& a, const std::wstring& b) {
  WIN32_FILE_ATTRIBUTE_DATA fa = {}, fb = {};
  if (!GetFileAttributesExW(a.c_str(), GetFileExInfoStandard, &fa) ||
      !GetFileAttributesExW(b.c_str(), GetFileExInfoStandard, &fb))
    return false;
  return CompareFileTime(&fa.ftCreationTime, &fb.ftCreationTime) == 0 &&
         CompareFileTime(&fa.ftLastWriteTime, &fb.ftLastWriteTime) == 0;
}

std::wstring DecodeEntryName(const uint8_t* bytes, uint32_t length, bool utf8) {
  if (length == 0) return std::wstring();
  const UINT code_page = utf8 ? CP_UTF8 : CP_ACP;
  const char* text = reinterpret_cast<const char*>(bytes);
  const int n = MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring name(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text, static_cast<int>(length), &name[0], n);
  return name;
}

}  // namespace

bool CUIMemoryFile::Load(const std::wstring& path, uint32_t max_bytes) {
  Clear();
  if (!ReadWholeFile(path, max_bytes, &bytes_)) {
    Clear();
    return false;
  }
  open_ = true;
  return true;
}

void CUIMemoryFile::Clear() {
  std::vector<uint8_t>().swap(bytes_);
  open_ = false;
}

std::wstring CMiniUnPak::NormalizeName(const std::wstring& name) {
  return zip::NormalizeEntryName(name);
}

bool CMiniUnPak::OpenArchive(const std::wstring& path) { return OpenArchive(path, path + L".idx"); }

bool CMiniUnPak::OpenArchive(const std::wstring& path, const std::wstring& index_path) {
  CloseArchive();
  if (!file_.Load(path, kMaxArchiveBytes)) return false;
  if (!index_path.empty() && GetFileAttributesW(index_path.c_str()) != INVALID_FILE_ATTRIBUTES &&
      SameTimes(path, index_path) && LoadIndexFile(index_path)) {
    index_from_cache_ = true;
    return true;
  }
  items_.clear();
  if (!ScanArchive()) {
    CloseArchive();
    return false;
  }
  return true;
}

void CMiniUnPak::CloseArchive() {
  file_.Clear();
  items_.clear();
  index_from_cache_ = false;
}

bool CMiniUnPak::ScanArchive() {
  return zip::ScanStoredArchive(file_.Data(), file_.Size(), kMaxEntries, DecodeEntryName, &items_);
}

bool CMiniUnPak::LoadIndexFile(const std::wstring& index_path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(index_path, kMaxIndexFileBytes, &bytes)) return false;
  return zip::ParseIndexFile(bytes.data(), static_cast<uint32_t>(bytes.size()), kMaxIndexRecords,
                             file_.Data(), file_.Size(), &items_);
}

bool CMiniUnPak::DataOffset(const CXMLArchiveItem& item, uint32_t* offset) const {
  return file_.IsOpen() && zip::StoredDataOffset(file_.Data(), file_.Size(), item, offset);
}

int CMiniUnPak::ReadEntry(const std::wstring& name, void* buffer, uint32_t size) const {
  if (!IsOpen()) return -1;
  auto it = items_.find(NormalizeName(name));
  if (it == items_.end()) return 0;
  uint32_t offset = 0;
  if (!DataOffset(it->second, &offset)) return 0;
  uint32_t n = it->second.data_size < size ? it->second.data_size : size;
  if (n > 0x7FFFFFFF) n = 0x7FFFFFFF;
  if (n > 0 && buffer) std::memcpy(buffer, file_.Data() + offset, n);
  return buffer ? static_cast<int>(n) : 0;
}

uint32_t CMiniUnPak::EntrySize(const std::wstring& name) const {
  auto it = items_.find(NormalizeName(name));
  return it == items_.end() ? 0 : it->second.data_size;
}
