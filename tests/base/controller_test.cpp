#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/test_controller.h"
#include "base/controller.h"

namespace {

std::vector<std::string>* g_events = nullptr;

using testutil::TestController;

// Installs a fresh controller as the current one for each test.
class ControllerTest : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = base::GetController();
    controller_ = new TestController;
    base::SetController(controller_);
    g_events = &events_;
  }
  void TearDown() override {
    delete controller_;
    base::SetController(previous_);
    g_events = nullptr;
  }
  TestController* controller_ = nullptr;
  base::Controller* previous_ = nullptr;
  std::vector<std::string> events_;
};

struct InnerManager : base::LogicObject {
  InnerManager() { g_events->push_back("inner built"); }
  ~InnerManager() override { g_events->push_back("inner gone"); }
};

struct OuterManager : base::LogicObject {
  OuterManager() {
    g_events->push_back("outer building");
    inner = GetLogicObject<InnerManager>();
  }
  ~OuterManager() override { g_events->push_back("outer gone"); }
  InnerManager* inner;
};

struct CountedManager : base::LogicObject {
  CountedManager() { ++constructions; }
  static int constructions;
};
int CountedManager::constructions = 0;

struct TestWindow : base::UIObject {
  ~TestWindow() override { g_events->push_back("window gone"); }
};

struct ThrowingManager : base::LogicObject {
  ThrowingManager() { throw std::runtime_error("no"); }
};

TEST_F(ControllerTest, SecondRequestReturnsTheSameObjectWithoutCreating) {
  CountedManager::constructions = 0;
  CountedManager* first = GetLogicObject<CountedManager>();
  CountedManager* second = GetLogicObject<CountedManager>();
  EXPECT_EQ(first, second);
  EXPECT_EQ(CountedManager::constructions, 1);
}

TEST_F(ControllerTest, ManagerRequestedInsideAConstructorGetsTheLargerKeyAndIsStoredFirst) {
  OuterManager* outer = GetLogicObject<OuterManager>();
  EXPECT_GT(base::TypeKey<InnerManager>(), base::TypeKey<OuterManager>());
  EXPECT_EQ(outer->inner, GetLogicObject<InnerManager>());
  EXPECT_EQ((std::vector<std::string>{"outer building", "inner built"}), events_);
  EXPECT_TRUE(controller_->HasLogic(base::TypeKey<InnerManager>()));
  EXPECT_EQ(controller_->LogicCount(), 2u);
}

TEST_F(ControllerTest, WindowAndManagerKeysComeFromOneCounter) {
  const int window_key = base::TypeKey<TestWindow>();
  const int manager_key = base::TypeKey<CountedManager>();
  EXPECT_NE(window_key, manager_key);
  EXPECT_GE(window_key, 1);
  EXPECT_GE(manager_key, 1);
  // A fresh key is exactly one above the last one handed out.
  struct FreshType {};
  const int before = base::NextTypeKey();
  EXPECT_EQ(base::TypeKey<FreshType>(), before + 1);
}

TEST_F(ControllerTest, RemovedWindowDiesAndIsCreatedAfreshOnTheNextRequest) {
  TestWindow* first = GetUIObject<TestWindow>();
  const int key = base::TypeKey<TestWindow>();
  EXPECT_TRUE(HasUIObject(key));
  RemoveUIObject(key);
  EXPECT_FALSE(HasUIObject(key));
  EXPECT_EQ(events_, (std::vector<std::string>{"window gone"}));
  TestWindow* second = GetUIObject<TestWindow>();
  EXPECT_NE(second, nullptr);
  EXPECT_TRUE(HasUIObject(key));
  (void)first;
}

TEST_F(ControllerTest, DestructionReleasesWindowsBeforeManagers) {
  GetLogicObject<InnerManager>();
  GetUIObject<TestWindow>();
  events_.clear();
  delete controller_;
  controller_ = nullptr;
  ASSERT_EQ(events_.size(), 2u);
  EXPECT_EQ(events_[0], "window gone");
  EXPECT_EQ(events_[1], "inner gone");
}

TEST_F(ControllerTest, ThrowingConstructorLeavesNoEntry) {
  EXPECT_THROW(GetLogicObject<ThrowingManager>(), std::runtime_error);
  EXPECT_FALSE(controller_->HasLogic(base::TypeKey<ThrowingManager>()));
}

}  // namespace
