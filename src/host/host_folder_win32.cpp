// Folders held open as handles. Windows has no calls relative to a folder
// handle, so the folders are pinned instead: each is held open, from the
// moment it is made until its contents and its time are done, without
// letting anyone delete or rename it, and reached by the full path the
// system gives for the top folder's handle. A folder made here is opened
// as what stands at its name (FILE_FLAG_OPEN_REPARSE_POINT) and refused
// when that is a reparse point (a junction or a symbolic link); a file is
// created only where nothing stands, and never through a reparse point.
#ifdef _WIN32

#include "host/win32.h"

#include <string>
#include <utility>

#include "host/host_folder.h"
#include "host/native_file.h"
#include "host/platform.h"

namespace tarnwick {

namespace {

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

// Nothing, with the error of the call that just failed in `reason`.
std::nullptr_t failed(std::string* reason) {
  if (reason) *reason = platform::last_error_text();
  return nullptr;
}

class HandleFolder final : public HostFolder {
 public:
  HandleFolder(HANDLE h, std::wstring path, const std::function<void()>& after_making_folder)
      : h_(h), path_(std::move(path)), after_making_folder_(after_making_folder) {}
  ~HandleFolder() override { CloseHandle(h_); }
  HandleFolder(const HandleFolder&) = delete;
  HandleFolder& operator=(const HandleFolder&) = delete;

  std::unique_ptr<HostFolder> make_folder(std::u32string_view name, std::string* reason) override {
    const std::wstring path = inside(name);
    if (!CreateDirectoryW(path.c_str(), nullptr)) return failed(reason);
    if (after_making_folder_) after_making_folder_();
    HANDLE h = hold_folder(path, true);
    if (h == INVALID_HANDLE_VALUE) return failed(reason);
    return std::make_unique<HandleFolder>(h, path, after_making_folder_);
  }

  std::unique_ptr<NewFile> create_file(std::u32string_view name, std::string* reason) override {
    HANDLE h = CreateFileW(inside(name).c_str(), GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return failed(reason);
    // Windows has no sync of a whole file system: each file is flushed as
    // it is closed, after its last write.
    NativeFile::Options options;
    options.sync_on_close = true;
    return std::make_unique<NativeFile>(h, true, std::move(options));
  }

  bool remove_file(std::u32string_view name) override { return DeleteFileW(inside(name).c_str()) != 0; }
  bool set_time(const HostTime& t) override { return platform::set_file_time(h_, t); }
  // NTFS logs a folder's entries in its own journal; there is no call that
  // syncs them.
  bool make_durable() override { return true; }

 private:
  std::wstring inside(std::u32string_view name) const { return path_ + L"\\" + native_text(name); }

  HANDLE h_;
  std::wstring path_;
  const std::function<void()>& after_making_folder_;
};

}  // namespace

std::unique_ptr<HostFolder> open_native_folder(const HostPath& path, const std::function<void()>& after_making_folder) {
  HANDLE h = hold_folder(platform::system_path(path.native()), false);
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
  return std::make_unique<HandleFolder>(h, std::move(final_path), after_making_folder);
}

}  // namespace tarnwick

#endif  // _WIN32
