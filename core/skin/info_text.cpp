#include "core/skin/info_text.h"

#include <boost/property_tree/info_parser.hpp>

#include <memory>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

namespace skin {

namespace {

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Walked with an explicit stack for the same reason as TearDownTree.
int TreeDepth(const InfoTree& root) {
  int deepest = 0;
  std::vector<std::pair<const InfoTree*, int>> pending{{&root, 0}};
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > deepest) deepest = depth;
    for (const auto& child : *node) pending.emplace_back(&child.second, depth + 1);
  }
  return deepest;
}

}  // namespace

bool HasDirective(const std::string& text) {
  bool line_start = true;
  for (char c : text) {
    if (c == '\n') {
      line_start = true;
    } else if (line_start && !IsAsciiSpace(c)) {
      if (c == '#') return true;
      line_start = false;
    }
  }
  return false;
}

bool ParseInfoText(const std::string& text, InfoTree* tree) {
  if (HasDirective(text)) return false;
  InfoTree fresh;
  bool ok = true;
  try {
    std::istringstream stream(text);
    // The parser's own entry point would destroy a half-built tree
    // recursively on an error; this one leaves it to us.
    boost::property_tree::info_parser::read_info_internal(stream, fresh, std::string("nofilename"), 0);
  } catch (...) {
    ok = false;
  }
  if (ok && TreeDepth(fresh) > kMaxNestingDepth) ok = false;
  if (ok) tree->swap(fresh);
  TearDownTree(fresh);
  return ok;
}

void TearDownTree(InfoTree& root) {
  std::vector<std::unique_ptr<InfoTree>> pending;
  pending.push_back(std::make_unique<InfoTree>());
  pending.back()->swap(root);
  while (!pending.empty()) {
    std::unique_ptr<InfoTree> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : *node) {
      if (child.second.empty()) continue;
      pending.push_back(std::make_unique<InfoTree>());
      pending.back()->swap(child.second);
    }
    // `node` now has only leaf children and dies without recursion.
  }
}

const InfoTree* FindKey(const InfoTree& tree, const std::string& key) {
  if (key.empty()) return nullptr;
  auto child = tree.get_child_optional(InfoTree::path_type(key, '.'));
  return child ? &*child : nullptr;
}

bool ResolveReference(const InfoTree& tree, const std::string& key, std::string* resolved) {
  std::set<std::string> seen;
  std::string current = key;
  for (int hops = 0;; ++hops) {
    const InfoTree* node = FindKey(tree, current);
    if (!node || node->data().empty() || node->data()[0] != '@') {
      *resolved = current;
      return true;
    }
    if (hops >= kMaxReferenceChain || !seen.insert(current).second) return false;
    current = node->data().substr(1);
    if (seen.count(current)) return false;
  }
}

}  // namespace skin
