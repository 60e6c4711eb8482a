// Process operations: start a program (directly or through the shell), find
// and terminate processes by image name or by executable path, and start a
// program with the desktop shell's rights when this program runs elevated.
// Every failure is written to the log with the platform's error code.
//
// Thread-safety: none of these functions keeps state, so any thread may call
// any of them. In practice RunCommand and TerminateProcessesByPath run on
// download workers and the others on the user-interface thread.
//
// Ownership: no handle leaves these functions except through
// CreateProcessNonElevated's PROCESS_INFORMATION, whose two handles the caller
// owns and closes, exactly as with CreateProcessW.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace base {

// Starts `cmdline` (program and arguments in one text, handles inherited)
// with window state `show`. wait_ms 0 returns once the process exists;
// INFINITE waits for it to end. When waiting, `exit_code` (if given) receives
// the child's exit code, or 1 when it cannot be read. Returns false when the
// process could not be created (GetLastError() then tells why) or the wait
// timed out.
bool RunCommand(const std::wstring& cmdline, WORD show, DWORD wait_ms,
                DWORD* exit_code = nullptr);

// Starts "\"path\" params" in `work_dir` (empty: the current folder), waiting
// for it to end when `wait`. When the direct start fails (a document, say),
// asks the shell instead. True if either started it.
bool SyncCreateProcess(const std::wstring& path, const std::wstring& params,
                       bool wait, const std::wstring& work_dir);

// Asks the shell to open `path` with its default verb and `params`, shown
// normally; waits for the started process to end when `wait` and the shell
// handed one back. True if the shell call succeeded.
bool SyncShellExcute(const std::wstring& params, const std::wstring& path,
                     bool wait);

// Ids of the running processes whose image file name (no folder) equals
// `image_name`, ignoring case. Empty when none match or on failure.
std::vector<DWORD> FindProcessesByName(const std::wstring& image_name);

// Terminates process `pid` with exit code 16, using the debugging privilege
// where the account holds it. True if it was terminated.
bool TerminateProcessById(DWORD pid);

// Terminates, with exit code 10001, every process whose main module is the
// file name of `path` inside the folder of `path`; a copy of the same file in
// another folder is left alone. Waits up to wait_ms for all of them to end
// and returns that wait's result (WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_FAILED),
// or (DWORD)-1 when no process matched.
DWORD TerminateProcessesByPath(const std::wstring& path, DWORD wait_ms);

// CreateProcessW's ten arguments. When this program runs elevated under
// consent prompts, the process is created with the desktop shell's token so
// it does not inherit our elevation; otherwise it is a plain CreateProcessW.
// Returns false without starting anything when either security-attribute
// argument is given or handle inheritance is asked for (neither can be
// honoured across tokens), or when the shell's token cannot be used; the
// caller then falls back to its own plain start.
bool CreateProcessNonElevated(LPCWSTR application, LPWSTR command_line,
                              LPSECURITY_ATTRIBUTES process_attributes,
                              LPSECURITY_ATTRIBUTES thread_attributes,
                              BOOL inherit_handles, DWORD creation_flags,
                              LPVOID environment, LPCWSTR current_directory,
                              LPSTARTUPINFOW startup_info,
                              LPPROCESS_INFORMATION process_information);

}  // namespace base
