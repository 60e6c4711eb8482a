// A DownloadControl that records what the progress panel asks for, with a
// state the test sets and deferred calls the test runs by hand.
// Test thread only.
#pragma once

#include <string>
#include <vector>

#include "app/ui/download_control.h"

namespace uitest {

struct FakeWorld {
  int32_t state = 0;
  int starts = 0, pauses = 0, resumes = 0, retries = 0, restarts = 0, installs = 0;
  int explorer_opens = 0;
  std::wstring root = L"D:\\korvan";
  std::vector<std::wstring> set_roots;
  std::vector<std::wstring> chooser_initial;
  bool chooser_answers = true;
  std::wstring chooser_choice = L"E:\\Games\\Korvan";
  struct Deferred {
    int delay_ms;
    Upp::Callback action;
    const void* owner;
  };
  std::vector<Deferred> deferred;
};

// The panel owns the control; the test keeps the world.
class FakeDownloadControl : public korvan::DownloadControl {
 public:
  explicit FakeDownloadControl(FakeWorld* world) : w_(world) {}
  void Connect(korvan::ProgressPanel&) override {}
  int32_t CurrentState() override { return w_->state; }
  void StartDownload() override { ++w_->starts; }
  bool PauseDownload() override { ++w_->pauses; return true; }
  bool ResumeDownload() override { ++w_->resumes; return true; }
  void RetryDownload() override { ++w_->retries; }
  void Restart() override { ++w_->restarts; }
  void InstallExe() override { ++w_->installs; }
  std::wstring GetInstallRoot() override { return w_->root; }
  void SetInstallRoot(const std::wstring& path) override {
    w_->set_roots.push_back(path);
    w_->root = path;
  }
  bool ChooseFolder(const std::wstring& initial, std::wstring* chosen) override {
    w_->chooser_initial.push_back(initial);
    if (w_->chooser_answers) *chosen = w_->chooser_choice;
    return w_->chooser_answers;
  }
  void OpenInstallFolder() override { ++w_->explorer_opens; }
  void Schedule(int delay_ms, Upp::Callback action, const void* owner) override {
    w_->deferred.push_back({delay_ms, action, owner});
  }

 private:
  FakeWorld* w_;
};

}  // namespace uitest
