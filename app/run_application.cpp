#include "app/run_application.h"

#include "app/kv_controller.h"
#include "base/message_loop.h"

namespace korvan {

int RunApplication(const std::wstring& command_line) {
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

}  // namespace korvan
