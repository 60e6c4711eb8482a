// Drives FetchCore.dll through its contract, as the download manager does,
// for the tests that kill a download in mid-transfer. The task table and
// record folder come from the environment the test set up.
//
//   kv_engine_driver.exe <FetchCore.dll> <save folder>
//   kv_engine_driver.exe --hash <file>
//
// The second form hashes a file with the platform's SHA-256 (BCrypt) in the
// engine's read size and prints the digest: the benchmark's measure of
// what the engine's check alone costs under this platform.
//
// Exit codes: 0 finished and checked, 3 or 5 the engine's failure code,
// 1 the library or its exports are missing, 2 bad usage, 4 start refused,
// 6 not done within ten minutes. Single-threaded.
//
// With KV_ENGINE_DRIVER_REPORT set in the environment it prints, flushed at
// once so that a kill loses nothing printed: "start <bytes>" (what the
// engine had on disk when it started), "at <bytes>" whenever the received
// count changes, and "end <code> <bytes>".
#include <windows.h>

#include <shellapi.h>

#include <bcrypt.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "base/scoped_handle.h"
#include "engine/fetch_contract.h"

namespace {

int HashFile(const wchar_t* path) {
  base::ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) return 1;
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return 1;
  if (BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0) != 0) return 1;
  std::vector<unsigned char> buffer(256 * 1024);
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0) {
    BCryptHashData(hash, buffer.data(), got, 0);
  }
  unsigned char digest[32];
  BCryptFinishHash(hash, digest, sizeof(digest), 0);
  BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(alg, 0);
  for (unsigned char b : digest) std::printf("%02x", b);
  std::printf("\n");
  return 0;
}

}  // namespace

// A narrow main so the helper needs no -municode; the arguments are read
// back as UTF-16 from the command line.
int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 2;
  if (std::wstring(argv[1]) == L"--hash") return HashFile(argv[2]);
  HMODULE dll = LoadLibraryW(argv[1]);
  if (!dll) return 1;
  auto get_instance = reinterpret_cast<fetch::GetInstanceFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, fetch::kGetInstanceExport)));
  auto release = reinterpret_cast<fetch::ReleaseFn>(reinterpret_cast<void*>(GetProcAddress(dll, fetch::kReleaseExport)));
  if (!get_instance || !release) return 1;
  fetch::Engine* engine = get_instance();
  if (!engine) return 1;
  fetch::Request request = {fetch::kProductKey, argv[2], fetch::kInstallerTaskId};
  const bool report = GetEnvironmentVariableW(L"KV_ENGINE_DRIVER_REPORT", nullptr, 0) > 0;
  int exit_code = 6;
  int64_t last_received = -1;
  if (engine->table->start(engine, &request) != fetch::kOk) {
    exit_code = 4;
  } else {
    auto result = std::make_unique<fetch::Result>();
    const ULONGLONG end = GetTickCount64() + 600000;
    while (GetTickCount64() < end) {
      *result = fetch::Result();
      const int32_t code = engine->table->query_progress(engine, result.get());
      if (report && result->received != last_received) {
        std::printf("%s %lld\n", last_received < 0 ? "start" : "at", static_cast<long long>(result->received));
        std::fflush(stdout);
        last_received = result->received;
      }
      if (code == fetch::kTransferFailed || code == fetch::kCheckFailed) {
        exit_code = code;
        break;
      }
      if (code == fetch::kOk && result->completed) {
        exit_code = 0;
        break;
      }
      Sleep(50);
    }
  }
  if (report) {
    std::printf("end %d %lld\n", exit_code, static_cast<long long>(last_received));
    std::fflush(stdout);
  }
  engine->table->shut_down(engine);
  release(engine);
  FreeLibrary(dll);
  return exit_code;
}
