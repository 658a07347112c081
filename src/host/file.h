// The tool's window on the host: files, folders and their last-write times.
//
// Everything above this layer works on buffers and host paths; the real
// implementation sits on the system's descriptors (POSIX) or handles
// (Windows), the standard streams alone going through the C library, and
// tests swap in a host held in memory that can also fail on cue.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/host_path.h"
#include "host/host_tree.h"
#include "host/host_time.h"

namespace tarnwick {

enum class OpenMode {
  kUpdate,  // read and write an existing file ("r+b")
  kRead,    // read an existing file ("rb")
  kCreate,  // create or empty a file for writing ("wb")
};

// How a run shares the image file with other runs while it has it open. The
// lock is advisory on POSIX systems: it keeps runs of this tool apart. On
// Windows it is mandatory and belongs to the handle that holds it, through
// which all reads and writes of the file go.
enum class Lock {
  kNone,
  kShared,     // others may read meanwhile (L, R)
  kExclusive,  // no other run may use the file meanwhile (W, D, I)
};

// How the host's text files end their lines.
#ifdef _WIN32
inline constexpr std::string_view kTextLineEnd = "\r\n";
#else
inline constexpr std::string_view kTextLineEnd = "\n";
#endif

// How long a run waits for another run's conflicting lock on its image.
inline constexpr std::chrono::milliseconds kImageLockWait{30'000};

class File {
 public:
  virtual ~File() = default;
  // Reads up to n bytes at `offset`; returns how many arrived, fewer than n
  // at the end of the file or when the read failed (failed() tells which).
  // A file that is no regular file (a pipe, a device) cannot be positioned:
  // it is read and written in sequence, each access starting where the one
  // before ended and the first at 0.
  virtual size_t read_at(uint64_t offset, void* buf, size_t n) = 0;
  // Writes n bytes at `offset`; returns how many were accepted.
  virtual size_t write_at(uint64_t offset, const void* buf, size_t n) = 0;
  // True once a read or write has failed; a read that stops at the end of
  // the file is no failure.
  virtual bool failed() = 0;
  // The system's text for the first failure; empty while nothing failed.
  virtual std::string failure_text() = 0;
  // The last-write time of the open file as local time, seconds dropped.
  // False (and `t` untouched) when it cannot be read or converted.
  virtual bool last_write_time(HostTime& t) = 0;
  // Pushes the file to the disk; false when that failed or a write to the
  // file failed before. A pipe or a character device has no disk copy to
  // push.
  virtual bool sync() = 0;
  // Closes the file; false when the system could not close it or a write
  // to it failed before.
  virtual bool close() = 0;

  // How many names (hard links) the file has; 1 where that cannot be told.
  virtual uint64_t link_count() = 0;
  // The file's size in bytes; nothing where it cannot be told.
  virtual std::optional<uint64_t> size() = 0;
  // The file's final name, every symbolic link resolved, given the path it
  // was opened by; nothing where it cannot be told, or when that path no
  // longer leads to this file.
  virtual std::optional<HostPath> real_path(const HostPath& opened_as) = 0;
  // Set when a lock was asked for and the file system offers none: the
  // system's text. The file is then used unlocked.
  virtual std::optional<std::string> lock_unavailable() = 0;
};

// A file made in a HostFolder, open for writing from offset 0 in sequence.
class NewFile : public File {
 public:
  // Sets the file's last-write time through the open file, as Host's
  // set_time would; after the last write, or a later write changes it.
  virtual bool set_time(const HostTime& t) = 0;
};

// A folder held open as a handle: what is made, written and stamped in it
// lands in this folder, whatever becomes of its path meanwhile. A name
// that meets a symbolic link (or, on Windows, a reparse point) is never
// followed; a folder made here cannot be swapped for one before it opens.
class HostFolder {
 public:
  virtual ~HostFolder() = default;
  // Makes a new folder `name` (one component) here and opens it; nothing
  // when the name exists or the folder cannot be made or opened, with the
  // system's text in `reason` when it gave one.
  virtual std::unique_ptr<HostFolder> make_folder(std::u32string_view name, std::string* reason = nullptr) = 0;
  // Creates a new file here; nothing when the name exists already (or it
  // cannot be created: `reason` as for make_folder).
  virtual std::unique_ptr<NewFile> create_file(std::u32string_view name, std::string* reason = nullptr) = 0;
  virtual bool remove_file(std::u32string_view name) = 0;
  // Sets the folder's own last-write time (after its contents are made).
  virtual bool set_time(const HostTime& t) = 0;
  // Makes what was made in this folder survive a crash, once its contents
  // and its time are complete: each file was synced as it was closed, and
  // the folder's entries are synced here. Where the platform syncs a whole
  // file system at once (syncfs), the files are not synced one by one and
  // this does nothing but in the top folder (the one open_folder gave),
  // whose call, the last, syncs everything below it.
  virtual bool make_durable() = 0;
};

class Host {
 public:
  virtual ~Host() = default;
  // Opens a host file; on failure gives nothing and, when `reason` is given,
  // the system's description of the error. A directory is no file. With a
  // lock, the file is locked until it is closed; a conflicting lock of
  // another run is waited for, up to the host's lock wait, after which the
  // open fails as the system describes a lock held elsewhere.
  virtual std::unique_ptr<File> open(const HostPath& path, OpenMode mode, std::string* reason = nullptr,
                                     Lock lock = Lock::kNone) = 0;
  // The local time now, to the minute (what a new directory is stamped with).
  virtual HostTime now() = 0;
  // True when both paths lead to the same existing file.
  virtual bool same_file(const HostPath& a, const HostPath& b) = 0;

  // Standard input (kRead) or standard output (kCreate) as a file, read or
  // written in sequence. Closing it leaves the stream open; syncing it only
  // flushes it. Standard input has the last-write time of the file it is
  // redirected from, and the time of now when it is a pipe or a terminal.
  // Nothing, with the system's text in `reason`, for standard output when
  // the process was started without it.
  virtual std::unique_ptr<File> open_standard(OpenMode mode, std::string* reason = nullptr) = 0;
  // True when the path leads to the file standard output is (the same
  // device and file): /dev/stdout, or the file it is redirected to.
  virtual bool is_standard_output(const HostPath& path) = 0;
  // Opens a host file argument of a command, "-" standing for standard
  // input when read and standard output when created.
  std::unique_ptr<File> open_argument(const HostPath& path, OpenMode mode, std::string* reason = nullptr) {
    if (is_standard_stream(path) && mode != OpenMode::kUpdate) return open_standard(mode, reason);
    return open(path, mode, reason);
  }
  // True when what is written to the host file argument goes to standard
  // output.
  bool writes_standard_output(const HostPath& path) { return is_standard_stream(path) || is_standard_output(path); }
  static bool is_standard_stream(const HostPath& path) {
    return path.native().size() == 1 && path.native()[0] == NativeChar('-');
  }

  // Files and folders the tool creates.
  virtual PathKind path_kind(const HostPath& path) = 0;
  // True when the path is a folder that holds nothing.
  virtual bool folder_is_empty(const HostPath& path) = 0;
  // Makes one folder (its parent must exist); false when the path exists.
  // These three give the system's text in `reason` when they fail.
  virtual bool make_folder(const HostPath& path, std::string* reason = nullptr) = 0;
  // Creates a new file and opens it for writing; nothing when the path
  // exists already (whoever made it, whenever) or cannot be created.
  virtual std::unique_ptr<File> create_file(const HostPath& path, std::string* reason = nullptr) = 0;
  // As create_file, the new file then locked exclusively (waited for as
  // open() waits, which only another run that found it at once can make
  // necessary).
  virtual std::unique_ptr<File> create_locked_file(const HostPath& path, std::string* reason = nullptr) = 0;
  // Opens the regular file at `path` for reading, following no link at its
  // end and waiting on nothing (a FIFO is never opened). `found` tells what
  // is there: only a regular file (kFile) is opened; when even that fails,
  // `reason` gets the system's text. A link, a FIFO or a device is kOther.
  virtual std::unique_ptr<File> open_regular(const HostPath& path, PathKind& found, std::string* reason = nullptr) = 0;
  virtual bool remove_file(const HostPath& path) = 0;
  // Renames the file `from` to `to`, replacing in one step the file that
  // stands there; false, with the system's text in `reason`, when that
  // failed.
  virtual bool rename_file(const HostPath& from, const HostPath& to, std::string* reason = nullptr) = 0;
  // Makes the file at `path` hold `bytes`, replacing the file that stands
  // there only once they are all written and synced: they go into a new
  // file beside it, which is then renamed over it. False, with the system's
  // text in `reason` when it gave one, when that failed: `path` is then as
  // it was and the new file gone, unless only the last step, the sync of
  // the folder that makes the new name survive a crash, failed. What is no
  // regular file (a FIFO, a device, a link, as open_regular tells them) is
  // not replaced but written where it stands.
  bool replace_file(const HostPath& path, std::span<const uint8_t> bytes, std::string* reason = nullptr);
  // Makes the creation or removal of the file at `path` survive a crash: on
  // POSIX systems the folder that holds it is synced (a file's own sync does
  // not promise that its name survives a crash); Windows has no such call.
  // False when that could not be made sure.
  virtual bool sync_folder_of(const HostPath& path) = 0;
  // Sets the last-write time of a file or a folder from local time with 0
  // seconds, leaving the other times alone (a folder's time is set after
  // its contents are written, or they would change it again). False (the
  // path untouched) for a time that forms no valid local date, for a path
  // that is neither a regular file nor a folder (a pipe or a device keeps
  // its times), or when it cannot be changed.
  virtual bool set_time(const HostPath& path, const HostTime& t) = 0;
  // Opens an existing folder as a handle (the path itself may lead through
  // links; what is below it is reached through the handle alone).
  virtual std::unique_ptr<HostFolder> open_folder(const HostPath& path) = 0;

  // Folders the tool reads as a tree (host_tree.h). The entries of a folder
  // with their kinds and times, links not followed; false when it cannot be
  // read to its end.
  virtual bool list_folder(const HostPath& path, std::vector<FolderEntry>& entries) = 0;
  // The last-write time of a file or folder (links followed).
  virtual std::optional<HostTime> path_time(const HostPath& path) = 0;

  // Makes the pages of [p, p + n) present for writing in one go, where the
  // system offers that (Linux): a read into fresh memory otherwise takes a
  // page fault for every page, which costs far more than the read itself
  // on some virtual machines. Only a hint: nothing else changes.
  virtual void prepare_for_writing(void* p, size_t n) = 0;
  // Asks for large pages behind [p, p + n), where the system offers them:
  // a buffer filled far and wide then takes far fewer page faults. Only a
  // hint, and none by default.
  virtual void prefer_large_pages(void* p, size_t n) {
    (void)p;
    (void)n;
  }
  // Makes `buffer` hold n bytes (zeros where it grows), the pages of new
  // memory prepared for writing first.
  void resize_buffer(std::vector<uint8_t>& buffer, size_t n) {
    if (buffer.capacity() < n) {
      buffer.reserve(n);
      prepare_for_writing(buffer.data(), n);
    }
    buffer.resize(n);
  }
};

// The host this program runs on, waiting kImageLockWait for a lock.
Host& native_host();
// The same host with another lock wait (tests wait less), for a process
// started with or without standard output. `after_making_folder`, when
// given, runs each time a HostFolder has made a folder and before it opens
// it: tests change the tree in that moment.
std::unique_ptr<Host> make_native_host(std::chrono::milliseconds lock_wait, bool output_closed = false,
                                       std::function<void()> after_making_folder = nullptr);

}  // namespace tarnwick
