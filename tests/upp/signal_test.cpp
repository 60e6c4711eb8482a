#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "upp/signal.h"

namespace {

class Observer : public sigslot::has_slots<sigslot::single_threaded> {
 public:
  void OnPing() { ++pings; }
  void OnValue(int v) { values.push_back(v); }
  void OnFour(int a, int b, int c, int d) { values.push_back(a + b + c + d); }
  int pings = 0;
  std::vector<int> values;
};

TEST(SignalTest, EmitCallsEveryConnectedObserverInOrder) {
  sigslot::signal1<int> sig;
  Observer a, b;
  sig.connect(&a, &Observer::OnValue);
  sig.connect(&b, &Observer::OnValue);
  sig.emit(1);
  sig(2);
  EXPECT_EQ(a.values, (std::vector<int>{1, 2}));
  EXPECT_EQ(b.values, (std::vector<int>{1, 2}));
}

TEST(SignalTest, DisconnectStopsOnlyThatObserver) {
  sigslot::signal0<> sig;
  Observer a, b;
  sig.connect(&a, &Observer::OnPing);
  sig.connect(&b, &Observer::OnPing);
  sig.disconnect(&a);
  sig.emit();
  EXPECT_EQ(a.pings, 0);
  EXPECT_EQ(b.pings, 1);
  EXPECT_FALSE(sig.connected(&a));
}

TEST(SignalTest, DestroyedObserverIsDisconnectedAutomatically) {
  sigslot::signal4<int, int, int, int> sig;
  Observer kept;
  sig.connect(&kept, &Observer::OnFour);
  {
    Observer gone;
    sig.connect(&gone, &Observer::OnFour);
    EXPECT_EQ(sig.connection_count(), 2u);
  }
  EXPECT_EQ(sig.connection_count(), 1u);
  sig.emit(1, 2, 3, 4);  // must not touch the dead observer
  EXPECT_EQ(kept.values, (std::vector<int>{10}));
}

TEST(SignalTest, DestroyedSignalLeavesObserversSafe) {
  auto observer = std::make_unique<Observer>();
  {
    sigslot::signal0<> sig;
    sig.connect(observer.get(), &Observer::OnPing);
  }
  observer.reset();  // must not reach back into the dead signal
  SUCCEED();
}

// An observer that disconnects itself and destroys a peer while being called.
class SelfRemover : public sigslot::has_slots<sigslot::single_threaded> {
 public:
  sigslot::signal0<>* sig = nullptr;
  std::unique_ptr<Observer>* peer = nullptr;
  int calls = 0;
  void OnPing() {
    ++calls;
    sig->disconnect(this);
    peer->reset();
  }
};

TEST(SignalTest, SlotMayDisconnectItselfAndKillLaterObserversDuringEmit) {
  sigslot::signal0<> sig;
  SelfRemover remover;
  auto peer = std::make_unique<Observer>();
  remover.sig = &sig;
  remover.peer = &peer;
  sig.connect(&remover, &SelfRemover::OnPing);
  sig.connect(peer.get(), &Observer::OnPing);
  sig.emit();  // the peer dies during the emit and must not be called
  sig.emit();
  EXPECT_EQ(remover.calls, 1);
  EXPECT_EQ(sig.connection_count(), 0u);
}

}  // namespace
