// Folders held open as handles. Windows has no calls relative to a folder
// handle, so the folders are pinned instead: each is held open, from the
// moment it is made until its contents and its time are done, without
// letting anyone delete or rename it, and reached by the full path the
// system gives for the top folder's handle. A folder made here is opened
// as what stands at its name (FILE_FLAG_OPEN_REPARSE_POINT) and refused
// when that is a reparse point (a junction or a symbolic link); a file is
// created only where nothing stands, and never through a reparse point.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <string>

#include "host/host_folder.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

bool stamp(HANDLE h, const HostTime& t) {
  uint64_t ticks = 0;
  if (!platform::local_to_file_ticks(t, ticks)) return false;
  FILETIME written;
  written.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  written.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return SetFileTime(h, nullptr, nullptr, &written) != 0;
}

class HandleFile final : public NewFile {
 public:
  explicit HandleFile(HANDLE h) : h_(h) {}
  ~HandleFile() override { close(); }

  size_t read_at(uint64_t, void*, size_t) override {
    failed_ = true;
    return 0;
  }

  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    size_t done = 0;
    while (h_ != INVALID_HANDLE_VALUE && done < n) {
      const uint64_t at = offset + done;
      OVERLAPPED where{};
      where.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
      where.OffsetHigh = static_cast<DWORD>(at >> 32);
      const DWORD want = static_cast<DWORD>(std::min<size_t>(n - done, 1u << 30));
      DWORD wrote = 0;
      if (!WriteFile(h_, static_cast<const char*>(buf) + done, want, &wrote, &where) || wrote == 0) break;
      done += wrote;
    }
    if (done < n) failed_ = true;
    return done;
  }

  bool failed() override { return failed_; }
  bool last_write_time(HostTime&) override { return false; }
  bool sync() override { return h_ != INVALID_HANDLE_VALUE && FlushFileBuffers(h_) != 0; }
  bool set_time(const HostTime& t) override { return h_ != INVALID_HANDLE_VALUE && stamp(h_, t); }

  // Windows has no sync of a whole file system: each file is flushed as it
  // is closed, after its last write.
  bool close() override {
    if (h_ == INVALID_HANDLE_VALUE) return false;
    const bool flushed = FlushFileBuffers(h_) != 0;
    const bool closed = CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return !failed_ && flushed && closed;
  }

 private:
  HANDLE h_;
  bool failed_ = false;
};

// Opens a folder and holds it: others may read and write in it, but not
// delete or rename it while the handle is open. With `refuse_reparse`, a
// reparse point at the path is opened as itself and refused.
HANDLE hold_folder(const std::wstring& path, bool refuse_reparse) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (refuse_reparse ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  HANDLE h = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  BY_HANDLE_FILE_INFORMATION info;
  const bool folder = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                      !(refuse_reparse && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT));
  if (!folder) {
    CloseHandle(h);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

class HandleFolder final : public HostFolder {
 public:
  HandleFolder(HANDLE h, std::wstring path) : h_(h), path_(std::move(path)) {}
  ~HandleFolder() override { CloseHandle(h_); }
  HandleFolder(const HandleFolder&) = delete;
  HandleFolder& operator=(const HandleFolder&) = delete;

  std::unique_ptr<HostFolder> make_folder(std::u32string_view name) override {
    const std::wstring path = inside(name);
    if (!CreateDirectoryW(path.c_str(), nullptr)) return nullptr;
    pause_after_making_folder();
    HANDLE h = hold_folder(path, true);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<HandleFolder>(h, path);
  }

  std::unique_ptr<NewFile> create_file(std::u32string_view name) override {
    HANDLE h = CreateFileW(inside(name).c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<HandleFile>(h);
  }

  bool remove_file(std::u32string_view name) override { return DeleteFileW(inside(name).c_str()) != 0; }
  bool set_time(const HostTime& t) override { return stamp(h_, t); }
  // NTFS logs a folder's entries in its own journal; there is no call that
  // syncs them.
  bool make_durable() override { return true; }

 private:
  std::wstring inside(std::u32string_view name) const { return path_ + L"\\" + native_text(name); }

  HANDLE h_;
  std::wstring path_;
};

}  // namespace

std::unique_ptr<HostFolder> open_native_folder(const HostPath& path) {
  HANDLE h = hold_folder(platform::full_native_path(path.native()), false);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  // The folder's own full name ("\\?\C:\..."), which no link on the way
  // can change while it is held.
  std::wstring final_path(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  if (n >= final_path.size()) {
    final_path.resize(n);
    n = GetFinalPathNameByHandleW(h, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  }
  if (n == 0 || n >= final_path.size()) {
    CloseHandle(h);
    return nullptr;
  }
  final_path.resize(n);
  while (!final_path.empty() && final_path.back() == L'\\') final_path.pop_back();
  return std::make_unique<HandleFolder>(h, std::move(final_path));
}

}  // namespace tarnwick

#endif  // _WIN32
