#include "app/run_application.h"

#include <windows.h>

#include <exception>
#include <new>

#include "app/kv_controller.h"
#include "base/message_loop.h"
#include "log/log.h"

namespace korvan {

namespace {

int RunLoop(const std::wstring& command_line) {
  base::MessageLoop loop;
  base::AppModule::Get().AddMessageLoop(&loop);

  // Never destroyed: managers and pools end with the process, and the
  // orderly shutdown already ran on the stop path before the loop ended.
  auto* controller = new KVController;
  base::SetController(controller);
  controller->Start(command_line);  // a second instance has posted its quit

  int result = loop.Run();
  base::AppModule::Get().RemoveMessageLoop();
  return result;
}

}  // namespace

// Window procedures, thread procedures and COM methods stop their own
// exceptions; this catches what escapes the start-up itself (memory above
// all), so the user gets a message instead of a vanished process.
int RunApplication(const std::wstring& command_line) {
  const wchar_t* text = L"\u7a0b\u5e8f\u51fa\u9519\uff0c\u65e0\u6cd5\u7ee7\u7eed\u8fd0\u884c\u3002";  // 程序出错，无法继续运行。
  try {
    return RunLoop(command_line);
  } catch (const std::bad_alloc&) {
    KV_LOG_ERROR << "RunApplication out of memory";
    text = L"\u5185\u5b58\u4e0d\u8db3\uff0c\u7a0b\u5e8f\u65e0\u6cd5\u7ee7\u7eed\u8fd0\u884c\u3002";  // 内存不足，程序无法继续运行。
  } catch (const std::exception& e) {
    KV_LOG_ERROR << "RunApplication stopped: " << e.what();
  }
  base::AppModule::Get().RemoveMessageLoop();
  MessageBoxW(nullptr, text, nullptr, MB_OK | MB_ICONERROR);
  return 1;
}

}  // namespace korvan
