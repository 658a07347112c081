// A host held in memory, for unit tests: files are byte vectors, times are
// kept per name, and writes, syncs and closes can be made to fail on cue.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/file.h"

namespace tarnwick::testing {

class MemoryHost : public Host {
 public:
  std::map<std::string, std::vector<uint8_t>> files;
  std::map<std::string, HostTime> times;
  // Names that behave like pipes: read and written in sequence only (an
  // access anywhere else fails), and they take no time.
  std::vector<std::string> pipes;
  // Names the user may only read: opening them to write fails.
  std::vector<std::string> read_only;
  // The lock each name was last opened with.
  std::map<std::string, Lock> locks;

  // Fault injection, applied to files whose name is `fault_name` (all files
  // when it is empty): writes accept this many bytes in all, then fail;
  // reads deliver this many bytes in all, then come up short.
  std::string fault_name;
  std::optional<uint64_t> write_budget;
  std::optional<uint64_t> read_budget;
  bool fail_sync = false;
  bool fail_close = false;

  std::unique_ptr<File> open(const std::string& name, OpenMode mode, std::string* reason = nullptr,
                             Lock lock = Lock::kNone) override;
  bool set_file_time(const std::string& name, const HostTime& t) override;
  bool same_file(const std::string& a, const std::string& b) override { return a == b && files.count(a); }

  bool faulty(const std::string& name) const { return fault_name.empty() || fault_name == name; }
  bool is_pipe(const std::string& name) const;
};

}  // namespace tarnwick::testing
