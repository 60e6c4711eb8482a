// The download manager driven as the program does (ManagerTest) against the
// scripted engine double, fake_fetch_core.dll, which the test loads itself
// too so that its script outlives the manager's unload.
//
// Test thread only.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/download_manager.h"
#include "base/scoped_handle.h"
#include "download/fake_engine/fake_engine_control.h"
#include "download/manager_fixture.h"

namespace dmtest {

using korvan::DownloadManager;

inline std::wstring FakePath() { return testutil::TestBinDir() + L"\\fake_fetch_core.dll"; }

class FakeEngineTest : public dmtest::ManagerTest {
 protected:
  void SetUp() override {
    ManagerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    // Our own reference keeps the script alive across the manager's unload.
    library_.Reset(LoadLibraryW(FakePath().c_str()));
    ASSERT_TRUE(library_.IsValid()) << "fake_fetch_core.dll not found";
    set_script_ = Export<fakeengine::SetScriptFn>("FakeSetScript");
    get_record_ = Export<fakeengine::GetRecordFn>("FakeGetRecord");
    open_start_ = Export<fakeengine::OpenStartFn>("FakeOpenStart");
    ASSERT_TRUE(set_script_ && get_record_ && open_start_);
    dm_->SetEnginePathForTesting(FakePath());
    // A new download of 4096 bytes that runs until a test says otherwise.
    script_.status.total = 4096;
    script_.progress = {0, 4096, 999, 2048, L""};
  }

  template <class Fn>
  Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library_.Get(), name)));
  }
  void Apply() { set_script_(&script_); }
  fakeengine::Record Calls() {
    fakeengine::Record record;
    get_record_(&record);
    return record;
  }
  // Also waits for the status check's progress to arrive.
  bool InitializeTo(int32_t state) {
    Apply();
    dm_->Initialize();
    return WaitState(state) && WaitIdle();
  }
  bool StartTo(int32_t state) {
    dm_->StartDownload();
    return WaitState(state);
  }
  const dmtest::ProgressEvent& LastProgress() { return observer_.progress.back(); }

  base::ScopedLibrary library_;
  fakeengine::SetScriptFn set_script_ = nullptr;
  fakeengine::GetRecordFn get_record_ = nullptr;
  fakeengine::OpenStartFn open_start_ = nullptr;
  fakeengine::Script script_ = {};
};

}  // namespace dmtest
