// What a player's machine gets: the program, the engine and the demo
// installer as built for shipping. Each may import only DLLs that every
// Windows from 7 on has (Wine supplies more, zlib1.dll among them, so a
// missing one would only show on a real machine), and none carries its
// debug information along.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/test_util.h"

namespace {

struct PeFacts {
  bool valid = false;
  std::vector<std::string> imports;  // lower case
  uint64_t discardable_bytes = 0;    // debug sections, relocations
};

template <class T>
bool ReadAt(const std::string& bytes, size_t offset, T* out) {
  if (offset > bytes.size() || bytes.size() - offset < sizeof(T)) return false;
  std::memcpy(out, bytes.data() + offset, sizeof(T));
  return true;
}

PeFacts ReadPe(const std::string& bytes) {
  PeFacts facts;
  IMAGE_DOS_HEADER dos;
  if (!ReadAt(bytes, 0, &dos) || dos.e_magic != IMAGE_DOS_SIGNATURE) return facts;
  const size_t nt = static_cast<size_t>(dos.e_lfanew);
  DWORD signature = 0;
  IMAGE_FILE_HEADER file;
  if (!ReadAt(bytes, nt, &signature) || signature != IMAGE_NT_SIGNATURE || !ReadAt(bytes, nt + 4, &file)) {
    return facts;
  }
  const size_t optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
  WORD magic = 0;
  if (!ReadAt(bytes, optional, &magic)) return facts;
  IMAGE_DATA_DIRECTORY import_dir = {};
  if (magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
    IMAGE_OPTIONAL_HEADER32 h;
    if (!ReadAt(bytes, optional, &h)) return facts;
    import_dir = h.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  } else if (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    IMAGE_OPTIONAL_HEADER64 h;
    if (!ReadAt(bytes, optional, &h)) return facts;
    import_dir = h.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  } else {
    return facts;
  }
  std::vector<IMAGE_SECTION_HEADER> sections(file.NumberOfSections);
  const size_t first_section = optional + file.SizeOfOptionalHeader;
  for (size_t i = 0; i < sections.size(); ++i) {
    if (!ReadAt(bytes, first_section + i * sizeof(IMAGE_SECTION_HEADER), &sections[i])) return facts;
    if (sections[i].Characteristics & IMAGE_SCN_MEM_DISCARDABLE) facts.discardable_bytes += sections[i].SizeOfRawData;
  }
  auto file_offset = [&](DWORD rva, size_t* out) {
    for (const auto& s : sections) {
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + std::max(s.Misc.VirtualSize, s.SizeOfRawData)) {
        *out = rva - s.VirtualAddress + s.PointerToRawData;
        return true;
      }
    }
    return false;
  };
  size_t at = 0;
  if (import_dir.VirtualAddress == 0 || !file_offset(import_dir.VirtualAddress, &at)) {
    facts.valid = true;  // imports nothing
    return facts;
  }
  for (;; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    IMAGE_IMPORT_DESCRIPTOR d;
    if (!ReadAt(bytes, at, &d)) return facts;
    if (d.Name == 0) break;
    size_t name_at = 0;
    if (!file_offset(d.Name, &name_at)) return facts;
    std::string name;
    for (size_t i = name_at; i < bytes.size() && bytes[i] != '\0'; ++i) {
      name += static_cast<char>(tolower(static_cast<unsigned char>(bytes[i])));
    }
    facts.imports.push_back(name);
  }
  facts.valid = true;
  return facts;
}

const std::set<std::string>& WindowsSystemDlls() {
  static const std::set<std::string> dlls = {
      "advapi32.dll", "bcrypt.dll",   "comctl32.dll", "comdlg32.dll", "crypt32.dll",  "dnsapi.dll",
      "gdi32.dll",    "gdiplus.dll",  "imm32.dll",    "iphlpapi.dll", "kernel32.dll", "msvcrt.dll",
      "netapi32.dll", "ole32.dll",    "oleaut32.dll", "psapi.dll",    "rpcrt4.dll",   "secur32.dll",
      "shell32.dll",  "shlwapi.dll",  "urlmon.dll",   "user32.dll",   "uxtheme.dll",  "version.dll",
      "winhttp.dll",  "wininet.dll",  "winmm.dll",    "ws2_32.dll"};
  return dlls;
}

// The system's known DLLs (the KnownDLLs list of Windows 7 to 11): the
// loader takes them from the system folder whatever lies beside the program.
const std::set<std::string>& KnownDlls() {
  static const std::set<std::string> dlls = {
      "advapi32.dll", "comdlg32.dll", "gdi32.dll",  "imm32.dll",  "kernel32.dll", "msvcrt.dll",
      "ole32.dll",    "oleaut32.dll", "psapi.dll",  "rpcrt4.dll", "shell32.dll",  "shlwapi.dll",
      "user32.dll",   "ws2_32.dll"};
  return dlls;
}

// `known_only`: a file that runs from a Downloads or temporary folder, where
// any other DLL imported at load time could be planted beside it.
void ExpectShippable(const std::wstring& path, bool known_only) {
  const std::string bytes = testutil::ReadFileBytes(path);
  ASSERT_FALSE(bytes.empty()) << "not built: " << std::string(path.begin(), path.end());
  const PeFacts facts = ReadPe(bytes);
  ASSERT_TRUE(facts.valid) << "not a readable PE file";
  EXPECT_FALSE(facts.imports.empty());
  for (const std::string& dll : facts.imports) {
    EXPECT_TRUE(WindowsSystemDlls().count(dll)) << dll << " is not on every Windows";
    if (known_only) EXPECT_TRUE(KnownDlls().count(dll)) << dll << " is imported at load time, not delay-imported";
  }
  EXPECT_LT(facts.discardable_bytes, 256u * 1024) << "debug information shipped along";
}

TEST(ShippedBinariesTest, ImportOnlyWhatWindowsHasAndCarryNoDebugInformation) {
  ExpectShippable(testutil::TestBinDir() + L"\\..\\..\\KVDownloader.exe", true);
  ExpectShippable(KV_FETCHCORE_DLL, true);
  ExpectShippable(KV_DEMO_INSTALLER_PLAIN, false);
}

TEST(ShippedBinariesTest, TheReaderFindsTheImportsAndDebugSectionsOfThisTestProgram) {
  // The test program keeps its debug information; a reader that saw none
  // anywhere would pass every shipped binary.
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const PeFacts facts = ReadPe(testutil::ReadFileBytes(self));
  ASSERT_TRUE(facts.valid);
  EXPECT_NE(std::find(facts.imports.begin(), facts.imports.end(), "kernel32.dll"), facts.imports.end());
  EXPECT_GT(facts.discardable_bytes, 256u * 1024);
  EXPECT_FALSE(ReadPe("MZ not really").valid);
}

}  // namespace
