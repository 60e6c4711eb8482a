// The download of the game installer. So far: the set-up that unpacks the
// download engine's files on a download-pool worker when the window is up,
// and its failure message. Loading and driving the engine come with the
// engine itself.
//
// Thread-safety: user-interface thread only; the set-up's worker task
// touches only files and processes and reports back through PostToUI.
#pragma once

#include <memory>

#include "base/logic_object.h"
#include "upp/signal.h"

namespace korvan {

class DownloadManager : public base::LogicObject {
 public:
  DownloadManager();
  ~DownloadManager() override;

  // Starts the set-up on a download-pool worker (once; later calls while
  // it runs or after it succeeded do nothing).
  void Initialize();

  // Stops the engine and releases it; nothing to do while none is loaded.
  void ReleaseEngine();

  // The set-up finished on the user-interface thread; true when the
  // engine's files are in place.
  sigslot::signal1<bool> PackagesPrepared;

 private:
  class Pimpl;
  std::unique_ptr<Pimpl> pimpl_;
};

}  // namespace korvan
