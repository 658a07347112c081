#include "support/e2e.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string_view>

#include "output/messages.h"

#ifndef TARNWICK_BINARY
#define TARNWICK_BINARY "tarnwick"
#endif
#ifndef TARNWICK_RUNNER
#define TARNWICK_RUNNER ""
#endif

namespace tarnwick::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::random_device rd;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path p = base / ("tarnwick-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot make a scratch folder");
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::string without_cr(std::string s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
    out += s[i];
  }
  return out;
}

}  // namespace

ToolRun run_tool(const std::vector<std::string>& args, const ScratchDir& dir, const std::string& tz) {
  RunOptions opt;
  opt.tz = tz;
  return run_tool_with(args, dir, opt);
}

ToolRun run_tool_with(const std::vector<std::string>& args, const ScratchDir& dir, const RunOptions& opt) {
  const std::string runner = TARNWICK_RUNNER;
  std::string cmd = "cd " + quote(dir.path().string()) + " && ";
  if (opt.stdin_pipe) cmd += "cat " + quote(opt.stdin_file) + " | ";
  if (!opt.tz.empty()) cmd += "TZ=" + quote(opt.tz) + " ";
  // The C locale unless the test asks for another: the tool's texts and
  // names are then the code page 932 bytes, whatever the caller's locale.
  bool locale_given = false;
  for (const auto& [name, value] : opt.env) locale_given = locale_given || name == "LC_ALL";
  if (!locale_given) cmd += "LC_ALL=C ";
  for (const auto& [name, value] : opt.env) cmd += name + "=" + quote(value) + " ";
  if (!runner.empty()) cmd += runner + " ";
  cmd += quote(TARNWICK_BINARY);
  for (const std::string& a : args) cmd.append(" ").append(quote(a));
  const fs::path out = dir.path() / ".stdout";
  const fs::path err = dir.path() / ".stderr";
  if (!opt.stdin_pipe) cmd += " <" + quote(opt.stdin_file.empty() ? "/dev/null" : opt.stdin_file);
  cmd += " >" + quote(out.string()) + " 2>" + quote(err.string());
  const int raw = std::system(cmd.c_str());
  ToolRun r;
  r.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  r.out = slurp(out);
  r.err = slurp(err);
  if (!runner.empty() && !opt.raw) {
    r.out = without_cr(r.out);
    r.err = without_cr(r.err);
  }
  fs::remove(out);
  fs::remove(err);
  return r;
}

FileLockHolder::FileLockHolder(const std::string& path, bool exclusive) {
  // Not inherited: a child process would keep the lock after release().
  fd_ = open(path.c_str(), (exclusive ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd_ < 0) return;
  struct flock fl {};
  fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  if (fcntl(fd_, F_OFD_SETLK, &fl) != 0) release();
}

void FileLockHolder::release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

int status_for(const ToolRun& r) {
  if (r.err.empty() && r.out.find(msg::kCheckFailed.bytes) == std::string::npos) return 0;
  return r.status == 3 ? 3 : 1;
}

bool runs_under_wine() { return std::string_view(TARNWICK_RUNNER).find("wine") != std::string_view::npos; }

std::string done_line() { return msg::kDone.bytes; }

}  // namespace tarnwick::testing
