// skin.info as the loader reads it: the INFO parse, then every key of the
// tree looked up by its dotted path and its '@' references followed, and
// the value syntaxes applied to what the references lead to.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/skin/info_text.h"
#include "core/skin/skin_values.h"
#include "fuzz_check.h"

namespace {

// Enough for the shipped skin's every key; keeps one input's work bounded.
constexpr size_t kMaxKeysVisited = 512;

void ReadAsEveryType(const std::string& value) {
  skin::ColorValue color;
  skin::ParseColorValue(value, &color);
  bool flag = false;
  skin::ParseBoolValue(value, &flag);
  int n[4];
  skin::ParseNumberList(value, n, 4);
  skin::ParseImageValue(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  skin::InfoTree tree;
  tree.put("kept", "1");
  if (!skin::ParseInfoText(text, &tree)) {
    // A refused text leaves the held tree alone.
    KV_FUZZ_CHECK(tree.size() == 1 && tree.get<std::string>("kept") == "1");
    return 0;
  }
  std::vector<std::pair<const skin::InfoTree*, std::string>> pending{{&tree, std::string()}};
  size_t visited = 0;
  while (!pending.empty() && visited < kMaxKeysVisited) {
    auto [node, path] = pending.back();
    pending.pop_back();
    for (const auto& child : *node) {
      const std::string key = path.empty() ? child.first : path + "." + child.first;
      pending.emplace_back(&child.second, key);
      ++visited;
      std::string resolved;
      if (!skin::ResolveReference(tree, key, &resolved)) continue;
      // A resolved key names no further reference.
      const skin::InfoTree* target = skin::FindKey(tree, resolved);
      KV_FUZZ_CHECK(!target || target->data().empty() || target->data()[0] != '@');
      if (target) ReadAsEveryType(target->data());
    }
  }
  skin::TearDownTree(tree);
  KV_FUZZ_CHECK(tree.empty());
  return 0;
}
