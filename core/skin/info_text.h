// skin.info as text: the INFO-syntax parse into a tree, key lookup and the
// '@' references between keys.
//
// Part of the pure core: standard C++ and header-only Boost, no platform
// call, so the native fuzzers build exactly this code.
//
// Input is untrusted. A parse error, an #include directive (a text from
// memory has no folder to include from), nesting deeper than
// kMaxNestingDepth, a reference cycle or a chain longer than
// kMaxReferenceChain make a call fail; nothing crashes, hangs or recurses
// with the input's depth.
//
// Thread-safety: free functions without state; any thread.
#pragma once

#include <boost/property_tree/ptree.hpp>

#include <string>

namespace skin {

using InfoTree = boost::property_tree::ptree;

// A reference chain longer than this is treated like a cycle.
constexpr int kMaxReferenceChain = 256;
// Texts nested deeper than this are refused as a whole.
constexpr int kMaxNestingDepth = 64;

// True when a line's first non-blank character is '#': the INFO parser's
// directive, whose only kind opens a file by name.
bool HasDirective(const std::string& text);

// Parses the whole text into `*tree` (replacing it) and returns true; on
// any refusal `*tree` is left as it was.
bool ParseInfoText(const std::string& text, InfoTree* tree);

// Empties `tree` without recursion: a tree nested a hundred thousand levels
// deep would overflow the stack in the tree's own recursive destructor.
void TearDownTree(InfoTree& tree);

// The node at the dotted `key`; null when absent or `key` is empty.
const InfoTree* FindKey(const InfoTree& tree, const std::string& key);

// Follows '@' values from `key` to the key whose value is read. False on a
// cycle or a chain longer than kMaxReferenceChain.
bool ResolveReference(const InfoTree& tree, const std::string& key, std::string* resolved);

}  // namespace skin
