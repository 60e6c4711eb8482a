#include "app/kv_controller.h"

#include "app/client_manager.h"
#include "app/config_manager.h"
#include "base/file_util.h"
#include "log/log.h"
#include "log/log_file.h"

namespace korvan {

KVController::~KVController() {
  GetLogicObject<ClientManager>()->Stop();
  if (log_file_) {
    // Nothing may write to the file once it is closed.
    if (COutput2FILE::Target() == log_file_) COutput2FILE::Target() = nullptr;
    fclose(log_file_);
    log_file_ = nullptr;
  }
}

bool KVController::Start(const std::wstring& command_line) {
  ConfigManager* config = GetLogicObject<ConfigManager>();
  if (config->IsLogEnabled()) {
    const std::wstring path = kvlog::DailyLogFileName(base::GetExeFolder(), kvlog::LocalToday());
    log_file_ = kvlog::OpenDailyLogFile(path);
    kvlog::StartFileLogging(log_file_);
  }
  return GetLogicObject<ClientManager>()->Start(command_line);
}

}  // namespace korvan
