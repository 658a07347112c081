// Runs the built tarnwick binary as a user would, in a scratch folder.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick::testing {

struct ToolRun {
  int status = -1;
  std::string out;  // standard output, bytes as written
  std::string err;  // standard error
};

// A fresh folder under the system's temporary folder, removed at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Runs the tool with `args` in `dir`, under LC_ALL=C unless the options set
// LC_ALL. `tz`, when not empty, is the TZ of the run. Line ends of a Windows build ("\r\n") are turned into "\n".
ToolRun run_tool(const std::vector<std::string>& args, const ScratchDir& dir, const std::string& tz = "");

struct RunOptions {
  std::string tz;  // TZ of the run, when not empty
  // Further environment variables of the run, name and value.
  std::vector<std::pair<std::string, std::string>> env;
  bool raw = false;  // keep a Windows build's "\r\n" line ends
  // Standard input: this file (in the scratch folder) when not empty, as a
  // redirection or, with stdin_pipe, through a pipe; /dev/null otherwise.
  std::string stdin_file;
  bool stdin_pipe = false;
};
ToolRun run_tool_with(const std::vector<std::string>& args, const ScratchDir& dir, const RunOptions& opt);

// A lock on the whole of a file, taken as a run of the tool takes it (an
// open file description lock, which a Windows program under Wine sees too),
// held until release() or the end of the holder.
class FileLockHolder {
 public:
  FileLockHolder(const std::string& path, bool exclusive);
  ~FileLockHolder() { release(); }
  FileLockHolder(const FileLockHolder&) = delete;
  FileLockHolder& operator=(const FileLockHolder&) = delete;
  bool held() const { return fd_ >= 0; }
  void release();

 private:
  int fd_ = -1;
};

// The exit status of a run that printed what `r` holds, no notice among
// it but the check's: 0 when it said nothing on standard error and the
// check passed, else 1, or 3 (the command did its work, the check found a
// fault), which lines alone do not tell apart.
int status_for(const ToolRun& r);

// True when the tool under test is a Windows build run under Wine.
bool runs_under_wine();

// Where the tool's standard output of a run ends: "完了しました\n" in CP932.
std::string done_line();

}  // namespace tarnwick::testing
