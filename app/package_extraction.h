// Unpacking of the two archives the program carries in its resources: the
// zip with the 7-Zip console extractor (7za.exe, read with minizip) and the
// 7z archive with the download engine (unpacked by running that 7za.exe).
// Both land in the temporary folder, where the download manager later loads
// the engine library. ClientManager runs PreparePackages once per start.
//
// IMPORTANT: Thread-safety. A worker thread of the download pool calls these
// functions; they touch only files and processes (no window, no manager
// state besides reading ConfigManager's temporary folder in the forms
// without a folder argument). Two calls on the same folder must not overlap.
//
// Ownership: nothing is kept between calls. The archives written into the
// temporary folder are deleted again; 7za.exe and the engine files stay
// there for the rest of the run and the next start.
//
// Failures come back as false with one log line at the point of failure.
#pragma once

#include <string>

namespace korvan {

// The names of the carried archives (resource type "ZIP"). Tests point them
// at other resources to try broken archives through the real code path.
struct PackageResources {
  std::wstring tool_zip = L"IDR_ZIP_7ZA";
  std::wstring engine_7z = L"IDR_ZIP_DOWNLOADER";
};

// Writes the resource `name` of type `type` of this executable to `path`,
// creating or truncating it. False when the resource is missing or cannot
// be loaded, or when the file cannot be written completely (a partly
// written file is deleted).
bool ExtractResourceToFile(const std::wstring& name, const std::wstring& type,
                           const std::wstring& path);

// Extracts every entry of the zip archive `zip_path` below `target_folder`
// (created with its parents), keeping the stored folder structure and
// overwriting existing files. Entry names are read as UTF-8 when the entry
// says so, else as code page 437. An entry whose path would leave the target
// folder (absolute, with a drive, a ".." step or a device name) is refused
// and ends the extraction. True when the archive opened and every entry was
// written; the first failing entry ends the extraction with false.
bool UnzipToFolder(const std::wstring& zip_path, const std::wstring& target_folder);

// `temp_dir` is the temporary folder with its trailing backslash, as
// ConfigManager::GetTempDir returns it; the tool is expected at
// temp_dir + "\7za.exe".
//
// Writes the tool zip to temp_dir + "\7za.zip", ends a copy of the tool
// from this folder that is still running (it would keep the new one from
// being written), unpacks the zip into the folder and deletes it. False
// when the zip cannot be written; a failed unpacking is only logged, the
// missing tool is noticed by UnzipDownloader.
bool Unzip7z(const std::wstring& temp_dir,
             const PackageResources& resources = PackageResources());
// Writes the engine archive to temp_dir + "\downloader.7z", ends a copy of
// the tool from this folder that is still running (waiting up to 500 ms),
// runs the tool hidden on the archive and waits for it without limit, then
// deletes the archive. True only when the tool ran and exited with 0.
bool UnzipDownloader(const std::wstring& temp_dir,
                     const PackageResources& resources = PackageResources());
// Unzip7z, then UnzipDownloader only when the first succeeded. True when
// both did.
bool PreparePackages(const std::wstring& temp_dir,
                     const PackageResources& resources = PackageResources());

// The same on ConfigManager's temporary folder; the controller must exist.
bool Unzip7z();
bool UnzipDownloader();
bool PreparePackages();

}  // namespace korvan
