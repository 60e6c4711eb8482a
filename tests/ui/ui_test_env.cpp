#include "ui_test_env.h"

#include "app/skin_manager.h"
#include "base/controller.h"
#include "skin/skin_loader.h"

namespace uitest {

void SkinnedTest::SetUp() {
  // One skin set-up per test program: the skin reader caches every value,
  // fonts with their platform handles, for the whole process, so the
  // manager that made those handles must live as long (the registry's
  // managers of later tests then only read the caches).
  static korvan::SkinManager* const keeper = [] {
    static testutil::ScopedTempDir folder;
    auto* manager = new korvan::SkinManager();
    manager->LoadSkin(folder.path());
    return manager;
  }();
  (void)keeper;
  base::SetController(&controller_);
  ASSERT_FALSE(skin::SkinLoader::Instance().Get<Upp::Image>("logo_ad").value.IsEmpty())
      << "the skin did not load";
}

void SkinnedTest::TearDown() { base::SetController(nullptr); }

}  // namespace uitest
