#include "base/controller.h"

#include <atomic>

namespace base {
namespace {

std::atomic<int> g_type_counter{0};
Controller* g_controller = nullptr;

}  // namespace

int NextTypeKey() { return ++g_type_counter; }

Controller* GetController() { return g_controller; }
void SetController(Controller* controller) { g_controller = controller; }

Controller::Controller() = default;

Controller::~Controller() {
  std::unique_ptr<Registries> registries;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    registries = std::move(registries_);
  }
  if (!registries) return;
  // Windows first: they may still call managers while closing.
  registries->ui.reset();
  if (registries->logic) {
    for (auto& entry : *registries->logic) entry.second->CanRelease();
    registries->logic.reset();
  }
}

Controller::Registries& Controller::registries() {
  if (!registries_) registries_ = std::make_unique<Registries>();
  return *registries_;
}

bool Controller::HasUI(int key) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return registries_ && registries_->ui && registries_->ui->count(key) != 0;
}

void Controller::RemoveUI(int key) {
  std::shared_ptr<UIObject> doomed;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (!registries_ || !registries_->ui) return;
    auto it = registries_->ui->find(key);
    if (it == registries_->ui->end()) return;
    doomed = std::move(it->second);
    registries_->ui->erase(it);
  }
  // The window dies here, outside the lock, if nobody else holds it.
}

bool Controller::HasLogic(int key) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return registries_ && registries_->logic && registries_->logic->count(key) != 0;
}

size_t Controller::LogicCount() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return registries_ && registries_->logic ? registries_->logic->size() : 0;
}

}  // namespace base
