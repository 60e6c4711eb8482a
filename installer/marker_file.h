// The demo installer's proof that it ran: one line per start, appended to
// "KorvanInstall.log" beside the program, so a test can count the starts.
//
// Thread-safety: any thread; appends are whole lines (one WriteFile with
// FILE_APPEND_DATA), so two starts at once never interleave inside a line.
#pragma once

#include <string>

namespace installer {

// The marker's path: the program's own folder + "\KorvanInstall.log".
std::wstring MarkerPath();

// Appends "started <local time> pid=<pid> args=<command line tail>" and a
// line break, UTF-8. Returns false when the folder is not writable.
bool AppendStartLine(const std::wstring& marker_path, const std::wstring& arguments);

}  // namespace installer
