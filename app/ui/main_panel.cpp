#include "app/ui/main_panel.h"

#include <windows.h>

#include "base/file_util.h"
#include "deployment_settings.h"
#include "skin/skin_loader.h"

namespace korvan {
namespace {

constexpr int kProgressLeft = 37, kProgressBottom = 66;
constexpr int kPortalLeft = 57, kPartnerLeft = 173, kSocialRight = 49, kLogoBottom = 23;

Upp::Size LogoSize(const char* key) {
  return skin::SkinLoader::Instance().Get<Upp::Image>(key).value.GetSize();
}

}  // namespace

std::wstring MainPanel::PortalUrl() { return std::wstring(L"http://") + settings::kPortalHost + L"/"; }
std::wstring MainPanel::GameSiteUrl() { return std::wstring(L"http://") + settings::kGameSiteHost + L"/"; }
std::wstring MainPanel::SocialUrl() { return settings::kSocialUrl; }

MainPanel::MainPanel() : MainPanel(std::make_unique<ProgressPanel>()) {}

MainPanel::MainPanel(std::unique_ptr<ProgressPanel> progress) : progress_(std::move(progress)) {
  WhenOpenUrl = [](std::wstring url) { base::OpenUrlInBrowser(url); };
  skin::SkinLoader& skin = skin::SkinLoader::Instance();
  portal_.Add(skin.Get<Upp::Image>("logo_lm").value, false);
  partner_.Add(skin.Get<Upp::Image>("logo_brisca").value, false);
  social_.Add(skin.Get<Upp::Image>("logo_sina").value, false);
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  for (auto* logo : {&portal_, &partner_, &social_}) logo->SetCursor(hand);
  portal_.WhenAction = Upp::Bind(this, &MainPanel::Open, PortalUrl());
  partner_.WhenAction = Upp::Bind(this, &MainPanel::Open, GameSiteUrl());
  social_.WhenAction = Upp::Bind(this, &MainPanel::Open, SocialUrl());
  Add(*progress_);
  Add(portal_);
  Add(partner_);
  Add(social_);
  SetRect(0, 0, kWidth, kHeight);
  Layout();
}

MainPanel::~MainPanel() = default;

void MainPanel::Layout() {
  const Upp::Size size = GetSize();
  progress_->SetRect(kProgressLeft, size.cy - kProgressBottom - ProgressPanel::kHeight, ProgressPanel::kWidth,
                     ProgressPanel::kHeight);
  // A logo missing from the skin has no size and takes no room.
  const Upp::Size portal = LogoSize("logo_lm");
  const Upp::Size partner = LogoSize("logo_brisca");
  const Upp::Size social = LogoSize("logo_sina");
  portal_.SetRect(kPortalLeft, size.cy - kLogoBottom - portal.cy, portal.cx, portal.cy);
  partner_.SetRect(kPartnerLeft, size.cy - kLogoBottom - partner.cy, partner.cx, partner.cy);
  social_.SetRect(size.cx - kSocialRight - social.cx, size.cy - kLogoBottom - social.cy, social.cx, social.cy);
}

}  // namespace korvan
