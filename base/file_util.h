// Free functions on paths, folders, drives, the program's own resources, file
// versions and the user's web browser. None keeps state of its own.
//
// Failures come back as false or an empty string; nothing is shown to the
// user. Only the browser functions write to the log.
//
// Thread-safety: any thread may call the path, folder, drive, resource and
// version functions. OpenUrlInBrowser, OpenLauncherLink and OpenInstallFolder
// run on the user-interface thread (OpenInstallFolder asks the configuration
// manager for the install root).
//
// Ownership: every result is a new value; no handle leaves these functions.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace base {

// Folder of the running executable, without a trailing backslash.
std::wstring GetExeFolder();

// Everything up to and including the first backslash ("D:\Games" -> "D:\");
// empty when there is no backslash.
std::wstring GetPathRoot(const std::wstring& path);

// The path without its last component; one trailing backslash or slash is
// dropped first ("D:\Games\Korvan\" -> "D:\Games"). Empty when nothing is
// left, or for an empty path.
std::wstring GetParentFolder(const std::wstring& path);

// Absolute form of `path`, taken from the current folder when relative; the
// path as given when the platform cannot resolve it.
std::wstring GetFullPath(const std::wstring& path);

// Creates every missing folder of `path`. True if `path` is a folder now.
bool CreateFolderTree(const std::wstring& path);

// Deletes `folder` with its files and subfolders. Attributes are left alone,
// so a read-only file stays and keeps its folder. A junction or symbolic link
// inside is removed as a link, never followed. True if `folder` itself is
// gone.
bool RemoveFolderTree(const std::wstring& folder);

// Creates the folder tree, then proves that a file can be created in it (a
// hidden "SM_testdir.dat", deleted again). A relative path is taken from the
// current folder.
bool IsFolderWritable(const std::wstring& folder);

// The default install root's folder on the chosen drive ("D:\korvan").
constexpr wchar_t kInstallRootFolder[] = L"korvan";

// Whether the program could install in `folder`: it exists or can be
// created, and a file can be made in it (the hidden "SM_testdir.dat",
// deleted again). A folder this call created is removed again, so a drive
// that is only tried keeps no trace.
bool CanInstallIn(const std::wstring& folder);

// True for a path "X:\..." or "X:/..." on a USB or IEEE 1394 disk. Any
// failure to ask counts as "not external".
bool IsExternalDrive(const std::wstring& path);

// The facts the install-drive choice rests on, so that the choice can be
// tried against any set of drives.
class DriveInfo {
 public:
  virtual ~DriveInfo() = default;
  // Logical drive roots in the platform's order, each like "D:\".
  virtual std::vector<std::wstring> ListRoots() const = 0;
  // A DRIVE_* value.
  virtual UINT DriveType(const std::wstring& root) const = 0;
  virtual bool IsExternal(const std::wstring& root) const = 0;
  // Bytes the current user may still write; false when they cannot be read.
  virtual bool FreeBytesForCaller(const std::wstring& root, uint64_t* bytes) const = 0;
  // Whether "<root>korvan" exists or can be made and written (CanInstallIn).
  // A drive root itself may refuse files, as C:\ does for standard users and
  // for administrators under UAC, while folders may still be made there.
  virtual bool IsWritable(const std::wstring& root) const = 0;
};

// The machine's drives. A process-wide object without state.
const DriveInfo& RealDrives();

// Root of the fixed, internal drive with the most free bytes for the user
// where "<root>korvan" can be written ("D:\"); on a tie the later drive
// wins. Empty if none qualifies.
std::wstring PickInstallDrive(const DriveInfo& drives = RealDrives());

// Writes the resource `name` of type `type` of this executable to `target`.
// True only when the resource was found and all of it was written; a
// partly written target is deleted.
bool ExtractResource(const std::wstring& name, const std::wstring& type,
                     const std::wstring& target);
// The same from `module` (for example a file loaded as data).
bool ExtractResourceFrom(HMODULE module, const std::wstring& name,
                         const std::wstring& type, const std::wstring& target);

// The user's web browser: the program of the http (then ftp) association's
// user choice, else the App Paths entry of IEXPLORE.EXE. Empty if neither is
// registered.
std::wstring FindBrowserPath();

// The URL as it goes on a command line: only http and https URLs are
// accepted (empty otherwise), and blanks, quotes and control characters are
// percent-encoded so the URL stays one argument.
std::wstring SanitizeUrlForCommandLine(const std::wstring& url);

// "\"<browser>\" <url>" for FindBrowserPath(); empty when the URL is refused.
std::wstring BrowserCommandLine(const std::wstring& url);

// Starts `command_line` without our elevation, falling back to a plain
// start. False when nothing was started.
bool StartBrowser(const std::wstring& command_line);

// Opens `url` in the user's browser. False when the URL is refused, no
// browser is registered, or the browser did not start.
bool OpenUrlInBrowser(const std::wstring& url);

// "http://<portal>/list/laucher_url.html?url=link<n>".
std::wstring LauncherLinkUrl(int link);
bool OpenLauncherLink(int link);

// Shows the install root in the file explorer.
bool OpenInstallFolder();

// The fixed file version of `path` as "a.b.c.d"; "0.0.0.0" when it has none.
std::wstring GetFileVersionText(const std::wstring& path);

}  // namespace base
