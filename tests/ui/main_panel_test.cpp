// The main panel's logos and the top panel's links, clicked through the
// control tree as the window would deliver the mouse.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/ui/main_panel.h"
#include "app/ui/top_panel.h"
#include "deployment_settings.h"
#include "fake_download_control.h"
#include "skin/skin_loader.h"
#include "ui_test_env.h"
#include "upp/offscreen_host.h"

namespace {

using korvan::MainPanel;
using korvan::TopPanel;

Upp::Point Centre(const Upp::Rect& r) { return Upp::Point((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

class MainPanelTest : public uitest::SkinnedTest {
 protected:
  void SetUp() override {
    uitest::SkinnedTest::SetUp();
    panel_ = std::make_unique<MainPanel>(
        std::make_unique<korvan::ProgressPanel>(std::make_unique<uitest::FakeDownloadControl>(&world_)));
    panel_->WhenOpenUrl = [this](std::wstring url) { opened_.push_back(url); };
    root_.Add(*panel_);
    host_ = std::make_unique<Upp::OffscreenHost>(root_, Upp::Size(685, 494));
  }
  void TearDown() override {
    host_.reset();
    panel_.reset();
    uitest::SkinnedTest::TearDown();
  }

  uitest::FakeWorld world_;
  Upp::Ctrl root_;
  std::unique_ptr<MainPanel> panel_;
  std::unique_ptr<Upp::OffscreenHost> host_;
  std::vector<std::wstring> opened_;
};

TEST_F(MainPanelTest, ProgressPanelAndLogosSitAtTheirPlaces) {
  EXPECT_EQ(panel_->GetRect(), Upp::Rect(0, 0, 685, 494));
  EXPECT_EQ(panel_->progress().GetRect(), Upp::Rect(37, 328, 655, 428));
  skin::SkinLoader& skin = skin::SkinLoader::Instance();
  const Upp::Size lm = skin.Get<Upp::Image>("logo_lm").value.GetSize();
  const Upp::Size brisca = skin.Get<Upp::Image>("logo_brisca").value.GetSize();
  const Upp::Size sina = skin.Get<Upp::Image>("logo_sina").value.GetSize();
  ASSERT_GT(lm.cx * brisca.cx * sina.cx, 0);
  EXPECT_EQ(panel_->portal_logo().GetRect(), Upp::Rect(57, 471 - lm.cy, 57 + lm.cx, 471));
  EXPECT_EQ(panel_->partner_logo().GetRect(), Upp::Rect(173, 471 - brisca.cy, 173 + brisca.cx, 471));
  EXPECT_EQ(panel_->social_logo().GetRect(), Upp::Rect(685 - 49 - sina.cx, 471 - sina.cy, 685 - 49, 471));
  // The logos show their images.
  Upp::Draw& w = host_->Paint();
  const Upp::Image& img = skin.Get<Upp::Image>("logo_lm").value;
  for (int y = 0; y < lm.cy; ++y)
    for (int x = 0; x < lm.cx; ++x)
      if (img.At(x, y).a == 255) {
        EXPECT_EQ(w.At(57 + x, 471 - lm.cy + y), img.At(x, y));
        return;
      }
  ADD_FAILURE() << "logo_lm has no opaque pixel";
}

TEST_F(MainPanelTest, EachLogoOpensItsPageOncePerClick) {
  host_->Click(Centre(panel_->portal_logo().GetRect()));
  host_->Click(Centre(panel_->partner_logo().GetRect()));
  host_->Click(Centre(panel_->social_logo().GetRect()));
  host_->Click(Centre(panel_->portal_logo().GetRect()));
  const std::wstring portal = std::wstring(L"http://") + korvan::settings::kPortalHost + L"/";
  const std::wstring site = std::wstring(L"http://") + korvan::settings::kGameSiteHost + L"/";
  EXPECT_EQ(opened_, (std::vector<std::wstring>{portal, site, korvan::settings::kSocialUrl, portal}));
  // A click on the bare panel opens nothing and is not taken by the panel.
  host_->Click(Upp::Point(20, 20));
  EXPECT_EQ(opened_.size(), 4u);
  EXPECT_EQ(root_.ChildFromPoint(Upp::Point(20, 20)), &root_);
  EXPECT_EQ(host_->CursorAt(Centre(panel_->social_logo().GetRect())), LoadCursorW(nullptr, IDC_HAND));
}

TEST_F(MainPanelTest, TopLinksOpenLinksOneEightAndNine) {
  Upp::Ctrl root;
  TopPanel top;
  std::vector<int> links;
  top.WhenOpenLink = [&](int n) { links.push_back(n); };
  root.Add(top);
  Upp::OffscreenHost host(root, Upp::Size(410, 118));
  EXPECT_EQ(top.GetRect(), Upp::Rect(0, 0, 410, 118));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(top.button(i).GetRect(), Upp::Rect(121 * i, 0, 121 * i + 140, 38)) << i;
  // Where two buttons overlap, the later one is on top.
  host.Click(Upp::Point(10, 19));
  host.Click(Upp::Point(130, 19));  // inside the first's overlap: the second
  host.Click(Upp::Point(300, 19));
  EXPECT_EQ(links, (std::vector<int>{1, 8, 9}));
  // Below the buttons the panel lets the press through to the window.
  EXPECT_EQ(root.ChildFromPoint(Upp::Point(200, 80)), &root);
}

}  // namespace
