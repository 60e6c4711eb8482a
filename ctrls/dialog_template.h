// An in-memory dialog template with no controls, for top-level windows
// created through CreateDialogIndirectParam (MinGW has no framework that
// builds one). The font is "MS Shell Dlg" at 8 points (DS_SETFONT is added
// to the style).
// Thread-safety: any thread; the buffer belongs to its owner.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ctrls {

class DialogTemplate {
 public:
  void Build(DWORD style, DWORD ex_style, const std::wstring& caption);
  bool IsBuilt() const { return !words_.empty(); }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }
  size_t SizeInBytes() const { return words_.size() * sizeof(WORD); }

 private:
  std::vector<WORD> words_;  // WORD elements keep the required alignment
};

}  // namespace ctrls
