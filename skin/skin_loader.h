// The skin reader: parses skin.info (Boost INFO text in GBK) and
// turns its keys into typed values (colours, integers, booleans, strings,
// points, sizes, rectangles, images, fonts and control styles), cached per
// type and key; it also holds the image store the image values come from.
//
//   skin::SkinLoader& skin = skin::SkinLoader::Instance();
//   const skin::ButtonStyle& s = skin.Get<skin::ButtonStyle>("pause_btn").value;
//
// Caching: Get() creates a key's entry on its first request with the
// default given then, and reads the loaded text until a read succeeds; a
// failed read is tried again on the next request unless the caller marks
// the entry loaded. A successful read is never repeated, so loading another
// text later leaves cached values alone. Entries are never removed:
// references to them stay valid until the process ends.
//
// Input: skin.info and the images come from the program's resources
// but are treated as untrusted. Malformed text, values, references (cycles,
// chains longer than kMaxReferenceChain) and nesting deeper than
// kMaxNestingDepth make a load or a read fail; they never crash or hang.
//
// IMPORTANT: Thread-safety. User-interface thread only; there is no lock.
// Ownership: the loader owns its caches, tree, image store and hooks.
// Instance() is created on first use and lives until the process ends.
#pragma once

#include "core/skin/info_text.h"
#include "core/skin/skin_values.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "skin/styles.h"
#include "upp/color.h"
#include "upp/font.h"
#include "upp/geometry.h"
#include "upp/image.h"

namespace skin {

// Text conversions of skin keys and image names (invalid input gives
// U+FFFD / '?' rather than failing).
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

class SkinLoader {
 public:
  // (archive path, image name) -> image; may return an empty image.
  using ImageLoader = std::function<Upp::Image(const std::wstring&, const std::wstring&)>;
  // (key path actually read, after references; font in and out).
  using FontHook = std::function<void(const std::wstring&, Upp::Font&)>;

  // A reference chain longer than this is treated like a cycle.
  static constexpr int kMaxReferenceChain = ::skin::kMaxReferenceChain;
  // Texts nested deeper than this are refused as a whole.
  static constexpr int kMaxNestingDepth = ::skin::kMaxNestingDepth;

  template <class T>
  struct Entry {
    T value;
    bool loaded;
  };

  class BaseData {
   public:
    virtual ~BaseData() = default;
  };

  template <class T>
  class Data : public BaseData {
   public:
    std::map<std::string, Entry<T>> entries;
  };

  // The process-wide loader.
  static SkinLoader& Instance();

  // A separate loader with its own caches and store (the program uses only
  // Instance(); tests make their own).
  SkinLoader();
  ~SkinLoader();
  SkinLoader(const SkinLoader&) = delete;
  SkinLoader& operator=(const SkinLoader&) = delete;

  // Type identifiers of the caches: 1, 2, 3, ... in the order in which each
  // value type is first used, from one process-wide counter.
  static int NextTypeId();
  template <class T>
  static int TypeId() {
    static const int id = NextTypeId();
    return id;
  }

  // Parses the whole text; on success it replaces the held tree. A
  // parse error, an #include directive (a text from memory has no
  // folder to include from) or nesting deeper than kMaxNestingDepth leave
  // the held tree as it was and return false. Caches stay.
  bool LoadInfoText(const std::string& text);

  // The cached entry of `key`; see Caching above.
  template <class T>
  Entry<T>& Get(const std::string& key, const T& default_value = T());

  // Uncached readers. True when the key's value fits the type; `value` is
  // changed only then.
  bool Read(const std::string& key, Upp::Color& value);
  bool Read(const std::string& key, int& value);
  bool Read(const std::string& key, bool& value);
  bool Read(const std::string& key, std::string& value);
  bool Read(const std::string& key, Upp::Point& value);
  bool Read(const std::string& key, Upp::Size& value);
  bool Read(const std::string& key, Upp::Rect& value);
  bool Read(const std::string& key, Upp::Image& value);
  bool Read(const std::string& key, Upp::Font& value);
  bool Read(const std::string& key, ButtonStyle& value);
  bool Read(const std::string& key, SystemPanelStyle& value);
  bool Read(const std::string& key, EditTextStyle& value);
  bool Read(const std::string& key, OptionCtrlStyle& value);
  bool Read(const std::string& key, ProgressCtrlStyle& value);
  bool Read(const std::string& key, LinkStyle& value);

  // The raw text of a key ("" when absent) and whether it names a node.
  std::string Value(const std::string& key) const;
  bool HasKey(const std::string& key) const;

  // The image store. AddImage keeps the first image under a name and
  // refuses empty names and empty images.
  bool AddImage(const std::wstring& name, const Upp::Image& image);
  Upp::Image FindImage(const std::wstring& name) const;
  size_t ImageCount() const { return images_.size(); }

  // One image from outside the store: through the loader hook when an
  // archive is set, else from the image folder, else empty.
  Upp::Image LoadImage(const std::wstring& name) const;
  void SetImageFolder(const std::wstring& folder);
  void SetImageArchive(const std::wstring& archive);
  const std::wstring& ImageFolder() const { return image_folder_; }
  const std::wstring& ImageArchive() const { return image_archive_; }
  void SetImageLoader(ImageLoader loader) { image_loader_ = std::move(loader); }
  void SetFontHook(FontHook hook) { font_hook_ = std::move(hook); }

 private:
  const InfoTree* Find(const std::string& key) const;
  // Follows '@' values from `key` to the key whose value is read. False on
  // a cycle or an over-long chain.
  bool Resolve(const std::string& key, std::string* resolved) const;
  // The value after references, or false.
  bool ResolvedValue(const std::string& key, std::string* value) const;

  template <class S, class Fill>
  bool ReadStyle(const std::string& key, S& value, Fill fill);
  template <class T>
  void ReadField(const std::string& base, const char* field, T& target, bool& any);

  std::map<int, std::unique_ptr<BaseData>> caches_;
  InfoTree tree_;
  std::map<std::wstring, Upp::Image> images_;
  std::wstring image_folder_;
  std::wstring image_archive_;
  ImageLoader image_loader_;
  FontHook font_hook_;
};

template <class T>
SkinLoader::Entry<T>& SkinLoader::Get(const std::string& key, const T& default_value) {
  std::unique_ptr<BaseData>& slot = caches_[TypeId<T>()];
  if (!slot) slot = std::make_unique<Data<T>>();
  auto& entries = static_cast<Data<T>*>(slot.get())->entries;
  auto it = entries.find(key);
  if (it == entries.end()) it = entries.emplace(key, Entry<T>{default_value, false}).first;
  Entry<T>& entry = it->second;
  if (!entry.loaded && Read(key, entry.value)) entry.loaded = true;
  return entry;
}

}  // namespace skin
