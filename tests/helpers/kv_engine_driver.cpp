// Drives FetchCore.dll through its contract, as the download manager does,
// for the tests that kill a download in mid-transfer. The task table and
// record folder come from the environment the test set up.
//
//   kv_engine_driver.exe <FetchCore.dll> <save folder>
//
// Exit codes: 0 finished and checked, 3 or 5 the engine's failure code,
// 1 the library or its exports are missing, 2 bad usage, 4 start refused,
// 6 not done within ten minutes. Single-threaded.
#include <windows.h>

#include <shellapi.h>

#include <memory>

#include "engine/fetch_contract.h"

// A narrow main so the helper needs no -municode; the arguments are read
// back as UTF-16 from the command line.
int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc != 3) return 2;
  HMODULE dll = LoadLibraryW(argv[1]);
  if (!dll) return 1;
  auto get_instance = reinterpret_cast<fetch::GetInstanceFn>(
      reinterpret_cast<void*>(GetProcAddress(dll, fetch::kGetInstanceExport)));
  auto release = reinterpret_cast<fetch::ReleaseFn>(reinterpret_cast<void*>(GetProcAddress(dll, fetch::kReleaseExport)));
  if (!get_instance || !release) return 1;
  fetch::Engine* engine = get_instance();
  if (!engine) return 1;
  fetch::Request request = {fetch::kProductKey, argv[2], fetch::kInstallerTaskId};
  int exit_code = 6;
  if (engine->table->start(engine, &request) != fetch::kOk) {
    exit_code = 4;
  } else {
    auto result = std::make_unique<fetch::Result>();
    const ULONGLONG end = GetTickCount64() + 600000;
    while (GetTickCount64() < end) {
      *result = fetch::Result();
      const int32_t code = engine->table->query_progress(engine, result.get());
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
  engine->table->shut_down(engine);
  release(engine);
  FreeLibrary(dll);
  return exit_code;
}
