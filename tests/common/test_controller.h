// A controller that starts nothing, for tests that need the registries.
// Test thread only.
#pragma once

#include <string>

#include "base/controller.h"

namespace testutil {

class TestController : public base::Controller {
 public:
  bool Start(const std::wstring&) override { return true; }
};

}  // namespace testutil
