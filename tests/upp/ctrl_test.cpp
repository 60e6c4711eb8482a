#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/test_util.h"
#include "upp/ctrl.h"
#include "upp/offscreen_host.h"

namespace {

using Upp::Ctrl;
using Upp::OffscreenHost;
using Upp::Point;
using Upp::Rect;
using Upp::RGBA;
using Upp::Size;

// Records every event it receives as "name:event x,y".
class Probe : public Ctrl {
 public:
  Probe(std::string name, std::vector<std::string>* log) : name_(std::move(name)), log_(log) {}

  void MouseEnter(Point p, uint32_t) override { Note("enter", p); }
  void MouseMove(Point p, uint32_t) override { Note("move", p); }
  void LeftDown(Point p, uint32_t) override {
    Note("down", p);
    if (capture_on_press) SetCapture();
  }
  void LeftUp(Point p, uint32_t) override {
    Note("up", p);
    ReleaseCapture();
  }
  void LeftRepeat(Point p, uint32_t) override { ++repeats; }
  void MouseWheel(Point p, int zdelta, uint32_t) override { Note("wheel" + std::to_string(zdelta), p); }
  void MouseLeave() override { log_->push_back(name_ + ":leave"); }
  HCURSOR CursorImage(Point, uint32_t) override { return cursor; }
  bool Key(uint32_t key, int) override {
    log_->push_back(name_ + ":key" + std::to_string(key));
    return takes_keys;
  }
  void GotFocus() override { log_->push_back(name_ + ":gotfocus"); }
  void LostFocus() override { log_->push_back(name_ + ":lostfocus"); }
  void Paint(Upp::Draw& w) override {
    // Deliberately larger than the control: the tree must clip it.
    w.DrawRect(Rect(-50, -50, 500, 500), color);
  }

  bool capture_on_press = false;
  bool takes_keys = false;
  int repeats = 0;
  HCURSOR cursor = nullptr;
  Upp::Color color;

 private:
  void Note(const std::string& what, Point p) {
    log_->push_back(name_ + ":" + what + " " + std::to_string(p.x) + "," + std::to_string(p.y));
  }
  std::string name_;
  std::vector<std::string>* log_;
};

class CtrlTest : public testing::Test {
 protected:
  CtrlTest() : root("root", &log), a("a", &log), b("b", &log), host(root, Size(100, 100)) {
    a.SetRect(10, 10, 30, 20);   // (10,10)-(40,30)
    b.SetRect(50, 10, 30, 20);   // (50,10)-(80,30)
    root.Add(a).Add(b);
    log.clear();
  }
  std::vector<std::string> log;
  Probe root, a, b;
  OffscreenHost host;
};

using Log = std::vector<std::string>;

TEST_F(CtrlTest, MovingAcrossControlsEntersAndLeavesEachOnce) {
  host.Move(Point(15, 17));
  host.Move(Point(16, 17));
  host.Move(Point(55, 12));
  host.LeaveWindow();
  EXPECT_EQ(log, (Log{"a:enter 5,7", "a:move 5,7", "a:move 6,7",
                      "a:leave", "b:enter 5,2", "b:move 5,2", "b:leave"}));
}

TEST_F(CtrlTest, RootGetsEventsWhereNoChildLies) {
  host.Move(Point(5, 5));
  host.Press(Point(5, 5));
  EXPECT_EQ(log, (Log{"root:enter 5,5", "root:move 5,5", "root:down 5,5"}));
}

TEST_F(CtrlTest, LaterChildLiesAboveEarlierOne) {
  Probe top("top", &log);
  top.SetRect(0, 0, 20, 20);
  a.Add(top);  // covers a's top-left
  Probe over("over", &log);
  over.SetRect(30, 0, 40, 40);  // overlaps a (10..40) and b
  root.Add(over);
  log.clear();
  host.Press(Point(12, 12));
  host.Press(Point(35, 12));
  EXPECT_EQ(log, (Log{"top:enter 2,2", "top:down 2,2", "top:leave", "over:enter 5,12",
                      "over:down 5,12"}));
}

TEST_F(CtrlTest, CaptureSendsEverythingToTheCapturingControlUntilRelease) {
  a.capture_on_press = true;
  host.Move(Point(15, 15));
  host.Press(Point(15, 15));
  EXPECT_TRUE(a.HasCapture());
  EXPECT_TRUE(host.HasMouseCapture());
  log.clear();
  host.Move(Point(60, 15));   // over b, but a holds the capture
  host.Release(Point(60, 15));
  EXPECT_FALSE(a.HasCapture());
  EXPECT_FALSE(host.HasMouseCapture());
  EXPECT_EQ(log, (Log{"a:leave", "a:move 50,5", "a:up 50,5"}));
  log.clear();
  host.Move(Point(61, 15));
  EXPECT_EQ(log, (Log{"b:enter 11,5", "b:move 11,5"}));
}

TEST_F(CtrlTest, WheelAndDoubleClickReachTheControlUnderThePoint) {
  host.Wheel(Point(55, 15), -120);
  host.DoubleClick(Point(56, 15));  // the default double click is a press
  EXPECT_EQ(log, (Log{"b:enter 5,5", "b:wheel-120 5,5", "b:down 6,5"}));
}

TEST_F(CtrlTest, DisabledAndHiddenControlsTakeNoInput) {
  a.Disable();
  b.Hide();
  host.Press(Point(15, 15));
  host.Press(Point(55, 15));  // b hidden: the root is under the point
  EXPECT_EQ(log, (Log{"root:enter 55,15", "root:down 55,15"}));
}

TEST_F(CtrlTest, HeldLeftButtonAutoRepeatsUntilReleased) {
  host.Press(Point(15, 15));
  ASSERT_TRUE(testutil::PumpUntil([&] { return a.repeats >= 2; }, 5000));
  host.Release(Point(15, 15));
  const int after_release = a.repeats;
  testutil::PumpFor(Ctrl::kRepeatPeriodMs * 3);
  EXPECT_EQ(a.repeats, after_release);
  EXPECT_EQ(b.repeats, 0);
}

TEST_F(CtrlTest, ChildRefreshReachesTheHostInRootCoordinates) {
  host.ResetInvalidations();
  b.Refresh(Rect(1, 2, 3, 4));
  EXPECT_EQ(host.InvalidateCount(), 1);
  EXPECT_EQ(host.InvalidatedUnion(), Rect(51, 12, 53, 14));
  b.Hide();
  host.ResetInvalidations();
  b.Refresh();
  EXPECT_EQ(host.InvalidateCount(), 0);
}

TEST_F(CtrlTest, PaintTreeDrawsChildrenAtTheirPlaceClippedToTheirRectangles) {
  root.color = Upp::Color(0, 0, 255);
  a.color = Upp::Color(255, 0, 0);
  Upp::Draw& w = host.Paint();
  EXPECT_EQ(w.At(10, 10), (RGBA{0, 0, 255, 255}));
  EXPECT_EQ(w.At(39, 29), (RGBA{0, 0, 255, 255}));
  EXPECT_EQ(w.At(40, 30), (RGBA{255, 0, 0, 255}));
  EXPECT_EQ(w.At(9, 9), (RGBA{255, 0, 0, 255}));
  EXPECT_EQ(w.At(55, 15), (RGBA{255, 0, 0, 255}));  // b paints the null colour
}

TEST_F(CtrlTest, CursorComesFromTheControlUnderTheMouse) {
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  b.cursor = hand;
  EXPECT_EQ(host.CursorAt(Point(55, 15)), hand);
  EXPECT_EQ(host.CursorAt(Point(15, 15)), nullptr);
  host.Move(Point(56, 16));
  EXPECT_EQ(host.LastCursor(), hand);
}

TEST_F(CtrlTest, FocusMovesWithLostAndGotAndKeysBubbleToAncestors) {
  a.SetFocus();
  b.SetFocus();
  EXPECT_TRUE(b.HasFocus());
  EXPECT_FALSE(a.HasFocus());
  root.takes_keys = true;
  EXPECT_TRUE(root.DispatchKey(VK_ESCAPE, 1));
  EXPECT_EQ(log, (Log{"a:gotfocus", "a:lostfocus", "b:gotfocus", "b:key27", "root:key27"}));
}

TEST_F(CtrlTest, DestroyingTheCapturingControlReleasesTheHostCapture) {
  auto doomed = std::make_unique<Probe>("doomed", &log);
  doomed->capture_on_press = true;
  doomed->SetRect(0, 50, 20, 20);
  root.Add(*doomed);
  host.Press(Point(5, 55));
  ASSERT_TRUE(host.HasMouseCapture());
  doomed.reset();
  EXPECT_FALSE(host.HasMouseCapture());
  EXPECT_EQ(root.GetChildCount(), 2);
  log.clear();
  host.Move(Point(5, 56));  // the dead control was under the mouse
  EXPECT_EQ(log, (Log{"root:enter 5,56", "root:move 5,56"}));
}

TEST_F(CtrlTest, RemovedControlLosesCaptureAndHoverOfItsTree) {
  Probe inner("inner", &log);
  inner.capture_on_press = true;
  inner.SetRect(0, 0, 10, 10);
  a.Add(inner);
  host.Press(Point(12, 12));
  ASSERT_TRUE(inner.HasCapture());
  a.Remove();
  EXPECT_FALSE(inner.HasCapture());
  EXPECT_FALSE(host.HasMouseCapture());
  log.clear();
  host.Move(Point(13, 13));  // a is gone: the root is under the point
  EXPECT_EQ(log, (Log{"root:enter 13,13", "root:move 13,13"}));
}

TEST_F(CtrlTest, DyingParentOrphansItsChildren) {
  auto parent = std::make_unique<Probe>("parent", &log);
  Probe child("child", &log);
  parent->Add(child);
  parent.reset();
  EXPECT_EQ(child.GetParent(), nullptr);
}

class Transparent : public Probe {
 public:
  using Probe::Probe;
  bool IsMouseTransparent() const override { return true; }
};

TEST_F(CtrlTest, MouseTransparentControlLeavesThePointToItsParent) {
  Transparent deco("deco", &log);
  deco.SetRect(5, 5, 10, 10);
  a.Add(deco);
  log.clear();
  host.Press(Point(17, 17));
  EXPECT_EQ(log, (Log{"a:enter 7,7", "a:down 7,7"}));
}

TEST_F(CtrlTest, SetRectCallsLayoutOnlyWhenTheSizeChanges) {
  struct Counting : Ctrl {
    int layouts = 0;
    void Layout() override { ++layouts; }
  } c;
  c.SetRect(0, 0, 10, 10);
  c.SetRect(5, 5, 10, 10);
  c.SetRect(5, 5, 12, 10);
  EXPECT_EQ(c.layouts, 2);
  EXPECT_EQ(c.GetRect(), Rect(5, 5, 17, 15));
}

}  // namespace
