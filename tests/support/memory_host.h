// A host held in memory, for unit tests: files are byte vectors, times are
// kept per name, and writes, syncs and closes can be made to fail on cue.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/file.h"

namespace tarnwick::testing {

class MemoryHost : public Host {
 public:
  std::map<std::string, std::vector<uint8_t>> files;
  // Times of files and folders.
  std::map<std::string, HostTime> times;
  // Bytes each file has accepted through writes.
  std::map<std::string, uint64_t> written;
  // Folders, by path; a path's parent is what comes before its last '/'.
  std::set<std::string> folders;
  // Names that behave like pipes: read and written in sequence only (an
  // access anywhere else fails), and they take no time.
  std::vector<std::string> pipes;
  // Names the user may only read: opening them to write fails.
  std::vector<std::string> read_only;
  // The lock each name was last opened with.
  std::map<std::string, Lock> locks;
  // The file system offers no locks: files open unlocked, saying so.
  bool no_locks = false;
  // Names of things that are no regular file (a FIFO, a device, a link):
  // open_regular() does not open them.
  std::set<std::string> others;
  // Files with more than one name: how many.
  std::map<std::string, uint64_t> link_counts;

  // Fault injection, applied to files whose name is `fault_name` (all files
  // when it is empty): writes accept this many bytes in all, then fail (a
  // file open for update, as an image is, keeps whole sectors: a write
  // cut short stops at the end of a 512-byte sector of the file);
  // reads deliver this many bytes in all, then come up short.
  std::string fault_name;
  std::optional<uint64_t> write_budget;
  std::optional<uint64_t> read_budget;
  bool fail_sync = false;
  bool fail_close = false;
  bool fail_create = false;  // create_file and make_folder fail
  bool fail_set_time = false;  // every time-setting call fails
  // Called with a file's name whenever it is synced, before the sync.
  std::function<void(const std::string&)> on_sync;
  // Calls of make_durable on folders, and whether they fail.
  int durable_calls = 0;
  bool fail_durable = false;

  // Crashes, as a fault-injection file system models them: each file's
  // bytes as of its last sync, and the names whose creation or removal a
  // folder sync has made durable. keep_as_synced() starts both from the
  // files as they are. After `crash_after` steps (a write, a sync, a folder
  // sync, a creation or a removal, on any file) the process is dead: every
  // further step fails and changes nothing. crash() then ends it.
  std::map<std::string, std::vector<uint8_t>> synced;
  std::set<std::string> durable_names;
  std::optional<uint64_t> crash_after;
  uint64_t steps = 0;
  enum class Crash {
    kProcessKilled,  // what was written stays (the system had it)
    kPowerLost,      // what was not synced is lost
    kNamesLost,      // the system had written every file's bytes, but no
                     // creation or removal without a folder sync
  };
  void keep_as_synced();
  void crash(Crash how);
  // Counts a step; false once the process is dead.
  bool step();

  // Host paths are the names as they are (POSIX).
  std::unique_ptr<File> open(const HostPath& path, OpenMode mode, std::string* reason = nullptr,
                             Lock lock = Lock::kNone) override;
  bool same_file(const HostPath& a, const HostPath& b) override { return a == b && files.count(a.native()); }
  // Standard input and output are the files of these names, pipes both;
  // what comes through standard input is made now (the clock).
  static constexpr const char* kStandardInput = "<stdin>";
  static constexpr const char* kStandardOutput = "<stdout>";
  std::unique_ptr<File> open_standard(OpenMode mode, std::string* reason = nullptr) override;
  bool is_standard_output(const HostPath& path) override { return path.native() == kStandardOutput; }

  PathKind path_kind(const HostPath& path) override;
  bool folder_is_empty(const HostPath& path) override;
  bool make_folder(const HostPath& path, std::string* reason = nullptr) override;
  std::unique_ptr<File> create_file(const HostPath& path, std::string* reason = nullptr) override;
  std::unique_ptr<File> create_locked_file(const HostPath& path, std::string* reason = nullptr) override;
  std::unique_ptr<File> open_regular(const HostPath& path, PathKind& found, std::string* reason = nullptr) override;
  bool remove_file(const HostPath& path) override;
  // Renames a file (its time goes with it); fails for a folder or a
  // missing file, and when `fail_rename` is set.
  bool fail_rename = false;
  bool rename_file(const HostPath& from, const HostPath& to, std::string* reason = nullptr) override;
  bool sync_folder_of(const HostPath& path) override;
  // Sets the time of a file or folder; a pipe keeps none.
  bool set_time(const HostPath& path, const HostTime& t) override;
  // A folder held by its path (the memory host's paths never change).
  std::unique_ptr<HostFolder> open_folder(const HostPath& path) override;
  // Folders as a tree: the entries below a folder (files, folders and
  // `others`) with the times kept for them.
  bool list_folder(const HostPath& path, std::vector<FolderEntry>& entries) override;
  std::optional<HostTime> path_time(const HostPath& path) override;
  // The clock: what now() gives.
  HostTime clock{2026, 12, 7, 9, 30};
  HostTime now() override { return clock; }
  // Calls of prepare_for_writing, and the bytes they covered.
  int prepare_calls = 0;
  uint64_t prepared_bytes = 0;
  void prepare_for_writing(void*, size_t n) override {
    ++prepare_calls;
    prepared_bytes += n;
  }

  bool faulty(const std::string& name) const { return fault_name.empty() || fault_name == name; }
  bool is_pipe(const std::string& name) const;
};

// `start` as a run of the tool with `args` leaves it when the run stops
// just before its save deletes the journal (the removal and the folder's
// sync not made): the new image beside a complete journal.
MemoryHost stopped_before_journal_removal(const MemoryHost& start, const std::vector<std::string>& args);

}  // namespace tarnwick::testing
