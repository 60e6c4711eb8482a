#include "skin/skin_loader.h"

#include <windows.h>

#include <boost/lexical_cast/try_lexical_convert.hpp>
#include <boost/property_tree/info_parser.hpp>

#include <climits>
#include <memory>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "upp/image_decode.h"

namespace skin {

namespace {

using Tree = boost::property_tree::ptree;

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The INFO parser treats a line whose first non-blank character is '#' as a
// directive, and its only directive opens a file by name.
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

// Both the depth check and the tear-down walk the tree with an explicit
// stack: a hostile skin.info nested a hundred thousand levels deep would
// overflow the thread's stack in the tree's own recursive destructor.
int TreeDepth(const Tree& root) {
  int deepest = 0;
  std::vector<std::pair<const Tree*, int>> pending{{&root, 0}};
  while (!pending.empty()) {
    auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > deepest) deepest = depth;
    for (const auto& child : *node) pending.emplace_back(&child.second, depth + 1);
  }
  return deepest;
}

void TearDown(Tree& root) {
  std::vector<std::unique_ptr<Tree>> pending;
  pending.push_back(std::make_unique<Tree>());
  pending.back()->swap(root);
  while (!pending.empty()) {
    std::unique_ptr<Tree> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : *node) {
      if (child.second.empty()) continue;
      pending.push_back(std::make_unique<Tree>());
      pending.back()->swap(child.second);
    }
    // `node` now has only leaf children and dies without recursion.
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseColor(const std::string& v, Upp::Color* color) {
  if (v == "#") {
    *color = Upp::Color::Null();
    return true;
  }
  if (v.size() != 7 || v[0] != '#') return false;
  int d[6];
  for (int i = 0; i < 6; ++i) {
    d[i] = HexDigit(v[i + 1]);
    if (d[i] < 0) return false;
  }
  *color = Upp::Color(d[0] * 16 + d[1], d[2] * 16 + d[3], d[4] * 16 + d[5]);
  return true;
}

bool ParseBool(const std::string& v, bool* value) {
  if (v == "true") {
    *value = true;
    return true;
  }
  if (v == "false") {
    *value = false;
    return true;
  }
  return false;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

std::string WideToUtf8(const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX / 4) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

int ScanNumbers(const std::string& text, int* numbers, int max) {
  int count = 0;
  size_t i = 0;
  const size_t n = text.size();
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  while (count < max && i < n) {
    if (!is_digit(text[i]) && text[i] != '-') {
      ++i;
      continue;
    }
    bool negative = false;
    if (text[i] == '-') {
      if (i + 1 >= n || !is_digit(text[i + 1])) {
        ++i;  // a dash that starts no number is a separator like any other
        continue;
      }
      negative = true;
      ++i;
    }
    long long magnitude = 0;
    while (i < n && is_digit(text[i])) {
      magnitude = magnitude * 10 + (text[i] - '0');
      if (magnitude > static_cast<long long>(INT_MAX) + 1) return count;
      ++i;
    }
    const long long v = negative ? -magnitude : magnitude;
    if (v > INT_MAX || v < INT_MIN) return count;
    numbers[count++] = static_cast<int>(v);
  }
  return count;
}

SkinLoader& SkinLoader::Instance() {
  // Never destroyed: controls keep references into the caches until exit.
  static SkinLoader* instance = new SkinLoader;
  return *instance;
}

SkinLoader::SkinLoader() = default;

SkinLoader::~SkinLoader() { TearDown(tree_); }

int SkinLoader::NextTypeId() {
  static int counter = 0;
  return ++counter;
}

bool SkinLoader::LoadInfoText(const std::string& text) {
  if (HasDirective(text)) return false;
  Tree fresh;
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
  if (ok) tree_.swap(fresh);
  TearDown(fresh);
  return ok;
}

const Tree* SkinLoader::Find(const std::string& key) const {
  if (key.empty()) return nullptr;
  auto child = tree_.get_child_optional(Tree::path_type(key, '.'));
  return child ? &*child : nullptr;
}

std::string SkinLoader::Value(const std::string& key) const {
  const Tree* node = Find(key);
  return node ? node->data() : std::string();
}

bool SkinLoader::HasKey(const std::string& key) const { return Find(key) != nullptr; }

bool SkinLoader::Resolve(const std::string& key, std::string* resolved) const {
  std::set<std::string> seen;
  std::string current = key;
  for (int hops = 0;; ++hops) {
    const Tree* node = Find(current);
    if (!node || node->data().empty() || node->data()[0] != '@') {
      *resolved = current;
      return true;
    }
    if (hops >= kMaxReferenceChain || !seen.insert(current).second) return false;
    current = node->data().substr(1);
    if (seen.count(current)) return false;
  }
}

bool SkinLoader::ResolvedValue(const std::string& key, std::string* value) const {
  std::string resolved;
  if (!Resolve(key, &resolved)) return false;
  *value = Value(resolved);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Color& value) {
  std::string v;
  return ResolvedValue(key, &v) && ParseColor(v, &value);
}

bool SkinLoader::Read(const std::string& key, int& value) {
  int parsed = 0;
  if (!boost::conversion::try_lexical_convert(Value(key), parsed)) return false;
  value = parsed;
  return true;
}

bool SkinLoader::Read(const std::string& key, bool& value) {
  std::string v;
  return ResolvedValue(key, &v) && ParseBool(v, &value);
}

bool SkinLoader::Read(const std::string& key, std::string& value) {
  std::string v = Value(key);
  if (v.empty()) return false;
  value = std::move(v);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Point& value) {
  std::string v;
  int n[2];
  if (!ResolvedValue(key, &v) || ScanNumbers(v, n, 2) < 2) return false;
  value = Upp::Point(n[0], n[1]);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Size& value) {
  std::string v;
  int n[2];
  if (!ResolvedValue(key, &v) || ScanNumbers(v, n, 2) < 2) return false;
  value = Upp::Size(n[0], n[1]);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Rect& value) {
  std::string v;
  int n[4];
  if (!ResolvedValue(key, &v) || ScanNumbers(v, n, 4) < 4) return false;
  value = Upp::Rect(n[0], n[1], n[2], n[3]);
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Image& value) {
  const std::string v = Value(key);
  const size_t bracket = v.find('[');
  const bool has_pairs = bracket != std::string::npos && bracket > 0;
  Upp::Image image = FindImage(Utf8ToWide(has_pairs ? v.substr(0, bracket) : v));
  if (image.IsEmpty()) return false;
  image.ClearSpots();
  if (has_pairs) {
    int n[4];
    const int count = ScanNumbers(v.substr(bracket), n, 4);
    if (count >= 2 && n[0] >= 0 && n[1] >= 0) {
      image.SetHotSpot(Upp::Point(n[0], n[1]));
      if (count >= 4 && n[2] >= 0 && n[3] >= 0) image.Set2ndSpot(Upp::Point(n[2], n[3]));
    }
  }
  value = image;
  return true;
}

bool SkinLoader::Read(const std::string& key, Upp::Font& value) {
  std::string resolved;
  if (!Resolve(key, &resolved) || !Find(resolved)) return false;
  Upp::Font font = value;
  bool any = false;
  int height = 0;
  bool flag = false;
  if (Read(resolved + ".Height", height)) {
    font.Height(height);
    any = true;
  }
  if (Read(resolved + ".Bold", flag)) {
    font.Bold(flag);
    any = true;
  }
  if (Read(resolved + ".Underline", flag)) {
    font.Underline(flag);
    any = true;
  }
  if (font_hook_) font_hook_(Utf8ToWide(resolved), font);
  if (!any) return false;
  value = font;
  return true;
}

template <class T>
void SkinLoader::ReadField(const std::string& base, const char* field, T& target, bool& any) {
  const Entry<T>& entry = Get<T>(base + "." + field, T());
  if (!entry.loaded) return;
  target = entry.value;
  any = true;
}

template <class S, class Fill>
bool SkinLoader::ReadStyle(const std::string& key, S& value, Fill fill) {
  std::string resolved;
  if (!Resolve(key, &resolved) || !Find(resolved)) return false;
  S style = value;
  bool any = false;
  fill(resolved, style, any);
  if (any) value = style;
  return any;
}

bool SkinLoader::Read(const std::string& key, ButtonStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, ButtonStyle& s, bool& any) {
    static const char* const kLooks[4] = {"look0", "look1", "look2", "look3"};
    static const char* const kInks[4] = {"textcolor0", "textcolor1", "textcolor2", "textcolor3"};
    for (int i = 0; i < 4; ++i) ReadField(k, kLooks[i], s.look[i], any);
    for (int i = 0; i < 4; ++i) ReadField(k, kInks[i], s.textcolor[i], any);
    ReadField(k, "pressoffset", s.pressoffset, any);
    ReadField(k, "posx", s.posx, any);
    ReadField(k, "posy", s.posy, any);
    ReadField(k, "align", s.align, any);
    ReadField(k, "valign", s.valign, any);
  });
}

bool SkinLoader::Read(const std::string& key, SystemPanelStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, SystemPanelStyle& s, bool& any) {
    ReadField(k, "closebox", s.closebox, any);
    ReadField(k, "restorebox", s.restorebox, any);
    ReadField(k, "maxbox", s.maxbox, any);
    ReadField(k, "minbox", s.minbox, any);
    ReadField(k, "shadow", s.shadow, any);
    ReadField(k, "changeui", s.changeui, any);
    ReadField(k, "dragtop", s.dragtop, any);
    ReadField(k, "posx", s.posx, any);
    ReadField(k, "posy", s.posy, any);
    ReadField(k, "icon", s.icon, any);
    ReadField(k, "wndbg", s.wndbg, any);
    ReadField(k, "wndcolorbg", s.wndcolorbg, any);
    ReadField(k, "iconpos", s.iconpos, any);
    ReadField(k, "titlepos", s.titlepos, any);
    ReadField(k, "titlefont", s.titlefont, any);
    ReadField(k, "titleink", s.titleink, any);
    ReadField(k, "titletext", s.titletext, any);
    ReadField(k, "wndsize", s.wndsize, any);
  });
}

bool SkinLoader::Read(const std::string& key, EditTextStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, EditTextStyle& s, bool& any) {
    static const char* const kEdges[4] = {"edge0", "edge1", "edge2", "edge3"};
    ReadField(k, "paper", s.paper, any);
    ReadField(k, "disabled", s.disabled, any);
    ReadField(k, "text", s.text, any);
    ReadField(k, "textdisabled", s.textdisabled, any);
    ReadField(k, "selected", s.selected, any);
    ReadField(k, "selectedtext", s.selectedtext, any);
    ReadField(k, "margin", s.margin, any);
    for (int i = 0; i < 4; ++i) ReadField(k, kEdges[i], s.edge[i], any);
  });
}

bool SkinLoader::Read(const std::string& key, OptionCtrlStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, OptionCtrlStyle& s, bool& any) {
    static const char* const kPressed[4] = {"pressed0", "pressed1", "pressed2", "pressed3"};
    static const char* const kUnpressed[4] = {"unpressed0", "unpressed1", "unpressed2", "unpressed3"};
    for (int i = 0; i < 4; ++i) ReadField(k, kPressed[i], s.pressed[i], any);
    for (int i = 0; i < 4; ++i) ReadField(k, kUnpressed[i], s.unpressed[i], any);
    ReadField(k, "optionview_width", s.optionview_width, any);
  });
}

bool SkinLoader::Read(const std::string& key, ProgressCtrlStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, ProgressCtrlStyle& s, bool& any) {
    ReadField(k, "bg", s.bg, any);
    ReadField(k, "block", s.block, any);
    ReadField(k, "tile", s.tile, any);
    ReadField(k, "animate", s.animate, any);
  });
}

bool SkinLoader::Read(const std::string& key, LinkStyle& value) {
  return ReadStyle(key, value, [this](const std::string& k, LinkStyle& s, bool& any) {
    ReadField(k, "textfont0", s.textfont0, any);
    ReadField(k, "textfont1", s.textfont1, any);
    ReadField(k, "textcolor", s.textcolor, any);
  });
}

bool SkinLoader::AddImage(const std::wstring& name, const Upp::Image& image) {
  if (name.empty() || image.IsEmpty()) return false;
  return images_.emplace(name, image).second;
}

Upp::Image SkinLoader::FindImage(const std::wstring& name) const {
  auto it = images_.find(name);
  return it == images_.end() ? Upp::Image() : it->second;
}

Upp::Image SkinLoader::LoadImage(const std::wstring& name) const {
  if (!image_archive_.empty()) return image_loader_ ? image_loader_(image_archive_, name) : Upp::Image();
  if (!image_folder_.empty()) {
    const wchar_t last = image_folder_.back();
    const bool has_separator = last == L'\\' || last == L'/';
    return Upp::LoadImageFile(image_folder_ + (has_separator ? L"" : L"\\") + name);
  }
  return Upp::Image();
}

void SkinLoader::SetImageFolder(const std::wstring& folder) {
  image_folder_ = folder;
  image_archive_.clear();
}

void SkinLoader::SetImageArchive(const std::wstring& archive) {
  image_archive_ = archive;
  image_folder_.clear();
}

}  // namespace skin
