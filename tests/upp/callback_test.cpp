#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "upp/callback.h"

namespace {

class Target : public Upp::Pte<Target> {
 public:
  void Hit() { ++hits; }
  void Add(int a, int b) { sum += a + b; }
  void Four(int a, const std::string& b, double c, char d) {
    text = std::to_string(a) + b + std::to_string(static_cast<int>(c)) + d;
  }
  int hits = 0;
  int sum = 0;
  std::string text;
};

TEST(CallbackTest, EmptyCallbackDoesNothingAndTestsFalse) {
  Upp::Callback empty;
  EXPECT_FALSE(empty);
  empty();  // must not crash
  Upp::Callback1<int> also_empty = nullptr;
  EXPECT_FALSE(also_empty);
  also_empty(3);
}

TEST(CallbackTest, CopiesShareOneAction) {
  int calls = 0;
  Upp::Callback a = [&calls] { ++calls; };
  Upp::Callback b = a;
  EXPECT_EQ(a.ShareCount(), 2);
  a();
  b();
  EXPECT_EQ(calls, 2);
  b.Clear();
  EXPECT_FALSE(b);
  EXPECT_EQ(a.ShareCount(), 1);
}

TEST(CallbackTest, BindPassesStoredAndCallTimeArgumentsInOrder) {
  Target t;
  Upp::Bind(&t, &Target::Add, 2, 3)();
  EXPECT_EQ(t.sum, 5);
  Upp::Callback1<int> add_ten = Upp::Bind<int>(&t, &Target::Add, 10);
  add_ten(1);
  EXPECT_EQ(t.sum, 16);
  Upp::Callback4<int, std::string, double, char> four = Upp::Bind<int, std::string, double, char>(&t, &Target::Four);
  four(1, "x", 2.0, 'z');
  EXPECT_EQ(t.text, "1x2z");
}

TEST(CallbackTest, MethodCallbackOfDeadObjectDoesNothing) {
  auto t = std::make_unique<Target>();
  Upp::Callback hit = Upp::Bind(t.get(), &Target::Hit);
  hit();
  EXPECT_EQ(t->hits, 1);
  t.reset();
  hit();  // the object is gone: no call, no crash
  SUCCEED();
}

TEST(CallbackTest, MethodCallbackOfDeadObjectDoesNothingOnAnotherThread) {
  std::atomic<int> runs{0};
  struct Counter : Upp::Pte<Counter> {
    explicit Counter(std::atomic<int>* r) : runs(r) {}
    void Run() { ++*runs; }
    std::atomic<int>* runs;
  };
  auto live = std::make_unique<Counter>(&runs);
  auto dead = std::make_unique<Counter>(&runs);
  Upp::Callback live_cb = Upp::Bind(live.get(), &Counter::Run);
  Upp::Callback dead_cb = Upp::Bind(dead.get(), &Counter::Run);
  dead.reset();
  std::thread worker([&] {
    for (int i = 0; i < 100; ++i) {
      live_cb();
      dead_cb();
    }
  });
  worker.join();
  EXPECT_EQ(runs.load(), 100);
}

TEST(CallbackTest, InvalidatedTargetStopsCallbacksBeforeItDies) {
  Target t;
  Upp::Callback hit = Upp::Bind(&t, &Target::Hit);
  t.InvalidateWeakPtrs();
  hit();
  EXPECT_EQ(t.hits, 0);
}

TEST(PtrTest, CopyOfTargetHasItsOwnIdentity) {
  auto original = std::make_unique<Target>();
  Upp::Ptr<Target> weak(original.get());
  Target copy(*original);
  original.reset();
  EXPECT_FALSE(weak);
  Upp::Ptr<Target> to_copy(&copy);
  EXPECT_EQ(to_copy.Get(), &copy);
}

TEST(CallbackTest, BindFnStoresLeadingArguments) {
  std::wstring seen;
  auto cb = Upp::BindFn<int>([&seen](const std::wstring& s, int n) { seen = s + std::to_wstring(n); },
                             std::wstring(L"n="));
  cb(7);
  EXPECT_EQ(seen, L"n=7");
}

// A menu deleted from its own WhenSelect destroys the callback that runs:
// what the action captured must live until it returns.
TEST(CallbackTest, ActionOutlivesItsHolderWhileItRuns) {
  struct Witness {
    bool* gone = nullptr;
    ~Witness() { *gone = true; }
  };
  bool gone = false;
  bool gone_inside = true;
  auto holder = std::make_unique<Upp::Callback>();
  auto witness = std::make_shared<Witness>();
  witness->gone = &gone;
  *holder = [&holder, &gone, &gone_inside, witness] {
    holder.reset();
    gone_inside = gone;
  };
  witness.reset();
  (*holder)();
  EXPECT_FALSE(gone_inside);
  EXPECT_TRUE(gone);
}

}  // namespace
