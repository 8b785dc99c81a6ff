// The Windows half of patch_file.h. A temporary file is marked for deletion
// on close until it has its name, so that however the run ends (Ctrl+C, a
// killed process), Windows removes it; it is named by its handle.

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "os/win32_text.h"
#include "os/patch_file.h"
#include "os/temp_file.h"

namespace {

// One patch's bytes, staged in a temporary file.
struct StagedFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  WriteResult result = WriteResult::kWritten;  // so far
};

}  // namespace

struct PatchFolder {
  std::string dir;                  // as given, ending in a separator
  std::vector<StagedFile> staged;   // in the order staged
  std::vector<HANDLE> files;        // staged in this run, still open
  std::set<FileId> written;         // the identities of those named
  int next_temp = 1;                // this run's temporary names, counted on
  HANDLE last_named = nullptr;      // flushed at the end
};

namespace {

// Paths, UTF-8 here (names made so by host_text), go to the wide-character
// calls, which keep every character and are not cut at MAX_PATH.
std::wstring native(const std::string& path) { return utf16(path); }

// The full path in the form the NT calls take ("\??\C:\..."), as a rename
// by handle needs it.
std::wstring nt_path(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring full(n, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), n, full.data(), nullptr));
  if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) {
    return L"\\??\\" + full.substr(4);
  }
  if (full.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full.substr(2);
  return L"\\??\\" + full;
}

bool set_delete_on_close(HANDLE h, bool on) {
  FILE_DISPOSITION_INFO info{};
  info.DeleteFile = on ? TRUE : FALSE;
  return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof info) != 0;
}

// Removes the temporary files that killed runs left in the folder. A live
// run holds its file open, which the exclusive open here cannot get past.
void remove_stale_temporaries(const std::string& dir) {
  const std::wstring wdir = native(dir);
  WIN32_FIND_DATAW found;
  const HANDLE search =
      FindFirstFileW((wdir + native(temp_file_pattern())).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = found.cFileName;
    // The pattern also matches by 8.3 alias; only the real names count.
    if (!is_temp_file_name(utf8(name))) continue;
    const HANDLE h = CreateFileW((wdir + name).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) continue;
    set_delete_on_close(h, true);
    CloseHandle(h);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// Whether an existing file at `path` may be replaced: only one that could be
// opened for writing.
bool may_replace(const std::wstring& path) {
  const int fd = _wopen(path.c_str(), _O_WRONLY | _O_BINARY);
  if (fd >= 0) return _close(fd) == 0;
  return errno == ENOENT;
}

bool write_all(HANDLE h, const unsigned char* bytes, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(h, bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    size -= written;
  }
  return true;
}

// Sends the file's data to the disk without a cache flush where Windows can
// (10 and later); elsewhere, Wine included, with one.
bool write_out(HANDLE h) {
  using FlushEx = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PVOID);
  constexpr ULONG kFlushNoSync = 0x00000004;  // FLUSH_FLAGS_NO_SYNC
  static const auto flush_ex = reinterpret_cast<FlushEx>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtFlushBuffersFileEx")));
  if (flush_ex == nullptr) return FlushFileBuffers(h) != 0;
  struct {
    LONG status;
    ULONG_PTR information;
  } io{};
  return flush_ex(h, kFlushNoSync, nullptr, 0, &io) >= 0;
}

// Gives the file open as `h` the full path `target`, replacing what is there.
bool rename_by_handle(HANDLE h, const std::wstring& target) {
  const std::wstring name = nt_path(target);
  if (name.empty()) return false;
  // FILE_RENAME_INFO ends in the name, of any length.
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, name.data(), info->FileNameLength);
  return SetFileInformationByHandle(h, FileRenameInfo, info,
                                    static_cast<DWORD>(buffer.size())) != 0;
}

// A file that replaces an older one keeps the older one's attributes
// (hidden, system, archive, not indexed); its permissions come from the
// folder, as any new file's do. True where nothing was there.
bool keep_attributes(HANDLE h, const std::wstring& older) {
  const DWORD attributes = GetFileAttributesW(older.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  FILE_BASIC_INFO info{};  // times of 0: left as they are
  info.FileAttributes = (attributes & kKept) != 0 ? attributes & kKept : FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(h, FileBasicInfo, &info, sizeof info) != 0;
}

// The identity of the file open as `h`; none if Windows cannot tell.
std::optional<FileId> handle_id(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) |
                    info.nFileIndexLow};
}

// The identity of the file that `path` leads to, links followed; none if it
// leads to no file.
std::optional<FileId> file_id(const std::string& path) {
  // No access needed, and FILE_FLAG_BACKUP_SEMANTICS opens directories too.
  const HANDLE h = CreateFileW(native(path).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  const std::optional<FileId> id = handle_id(h);
  CloseHandle(h);
  return id;
}

}  // namespace

bool leads_to_written(PatchFolder& folder, const std::string& name) {
  if (folder.written.empty()) return false;
  const std::optional<FileId> id = file_id(folder.dir + name);
  return id && folder.written.count(*id) > 0;
}

PatchFolder* open_patch_folder(const std::string& dir) {
  auto* folder = new PatchFolder;
  folder->dir = dir;
  remove_stale_temporaries(dir);
  return folder;
}

void stage_patch_file(PatchFolder& folder, const unsigned char* bytes, std::size_t size) {
  StagedFile& file = folder.staged.emplace_back();
  // A name of this process's own; one that a live run holds is stepped over.
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  const bool made = make_temp_file(_getpid(), folder.next_temp, [&](const std::string& name) {
    temp = native(folder.dir + name);
    h = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return TempAttempt::kMade;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? TempAttempt::kTaken
                                                                         : TempAttempt::kFailed;
  });
  if (!made) {
    file.result = WriteResult::kCannotOpen;
    return;
  }
  // Gone with its handle, however the run ends, until it is named. Where
  // the file system cannot do that, a killed run leaves it for the next.
  const bool doomed = set_delete_on_close(h, true);
  if (!write_all(h, bytes, size) || !write_out(h)) {
    CloseHandle(h);
    if (!doomed) DeleteFileW(temp.c_str());
    file.result = WriteResult::kCannotWrite;
    return;
  }
  file.handle = h;
  folder.files.push_back(h);
}

WriteResult name_patch_file(PatchFolder& folder, std::size_t staged, const std::string& name) {
  const StagedFile& file = folder.staged.at(staged);
  if (file.result != WriteResult::kWritten) return file.result;
  const std::wstring target = native(folder.dir + name);
  if (!may_replace(target)) return WriteResult::kCannotOpen;
  const HANDLE h = file.handle;
  if (!keep_attributes(h, target) || !set_delete_on_close(h, false)) {
    return WriteResult::kCannotOpen;
  }
  if (!rename_by_handle(h, target)) {
    set_delete_on_close(h, true);  // closed at the end, and gone
    return WriteResult::kCannotOpen;
  }
  if (const std::optional<FileId> id = handle_id(h)) folder.written.insert(*id);
  folder.last_named = h;
  return WriteResult::kWritten;
}

bool close_patch_folder(PatchFolder* folder) {
  // One full flush: each file's data is already on the disk, and flushing
  // one file also writes out the volume's log and the disk's cache.
  bool on_disk = folder->written.empty() || FlushFileBuffers(folder->last_named) != 0;
  for (const HANDLE h : folder->files) on_disk = CloseHandle(h) != 0 && on_disk;
  delete folder;
  return on_disk;
}
