// The world of the window tests: a do-nothing controller for the
// registries and the skin the program ships, loaded from this test
// program's resources into the process-wide skin reader. Test thread only.
#pragma once

#include <gtest/gtest.h>

#include "common/test_controller.h"
#include "common/test_util.h"

namespace uitest {

class SkinnedTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  testutil::TestController controller_;
};

// The colours of the shipped skin.info.
constexpr unsigned kTextWhite = 0xffffff, kTextGray = 0x717171, kTextRed = 0xff0000, kTextGreen = 0x22b21a;

}  // namespace uitest
