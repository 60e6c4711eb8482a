#include "ctrls/dialog_template.h"

namespace ctrls {

void DialogTemplate::Build(DWORD style, DWORD ex_style, const std::wstring& caption) {
  words_.clear();
  auto put32 = [this](DWORD v) {
    words_.push_back(LOWORD(v));
    words_.push_back(HIWORD(v));
  };
  auto put_text = [this](const std::wstring& s) {
    for (wchar_t c : s) words_.push_back(static_cast<WORD>(c));
    words_.push_back(0);
  };
  put32(style | DS_SETFONT);
  put32(ex_style);
  words_.push_back(0);  // no controls
  for (int i = 0; i < 4; ++i) words_.push_back(0);  // x, y, cx, cy: set at WM_INITDIALOG
  words_.push_back(0);  // no menu
  words_.push_back(0);  // the standard dialog class
  put_text(caption);
  words_.push_back(8);  // points
  put_text(L"MS Shell Dlg");
  // The vector's storage comes from operator new, aligned for DWORD.
}

}  // namespace ctrls
