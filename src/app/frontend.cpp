#include "app/frontend.h"

#include <cctype>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "commands/check.h"
#include "commands/delete.h"
#include "commands/directory.h"
#include "commands/extract.h"
#include "commands/format.h"
#include "commands/import.h"
#include "commands/list.h"
#include "commands/run_context.h"
#include "commands/store.h"
#include "commands/store_tree.h"
#include "commands/tape.h"
#include "commands/tree.h"
#include "containers/image_file.h"
#include "host/user_text.h"
#include "output/name_text.h"
#include "volume/path.h"
#include "volume/volume.h"

namespace tarnwick {

namespace {

using Access = ImageFile::Access;

// A command's work on the loaded volume. True when it changed the volume,
// which is then saved.
using Handler = bool (*)(RunContext& ctx, const std::string& path, const std::string& host_file);

// What D, M and K say once the save succeeded.
using Confirmation = Message<Severity::kInfo, arg::Path>;

struct Command {
  char letter;
  Access access;              // the lock goes with it: shared or exclusive
  Handler handler;            // nothing: the run loads and checks the image only
  const Confirmation* saved;  // said with the path once the save succeeded, if any
  bool makes_names = false;   // PATH names what the command creates
};

bool handle_list(RunContext& ctx, const std::string& path, const std::string&) {
  list_directory(ctx.vol, ctx.con, directory_path(path), ctx.long_listing ? Listing::kLong : Listing::kShort);
  return false;
}
bool handle_extract(RunContext& ctx, const std::string& path, const std::string& host_file) {
  command_extract(ctx, path, host_file);
  return false;
}
bool handle_store(RunContext& ctx, const std::string& path, const std::string& host_file) {
  return command_store(ctx, path, host_file);
}
bool handle_delete(RunContext& ctx, const std::string& path, const std::string&) {
  return command_delete(ctx, path);
}
bool handle_import(RunContext& ctx, const std::string& path, const std::string& host_file) {
  return command_import(ctx, path, host_file);
}
bool handle_make_directory(RunContext& ctx, const std::string& path, const std::string&) {
  return make_directory(ctx, path);
}
bool handle_remove_directory(RunContext& ctx, const std::string& path, const std::string&) {
  return remove_directory(ctx, path);
}
bool handle_extract_tree(RunContext& ctx, const std::string& path, const std::string& host_file) {
  command_extract_tree(ctx, path, host_file);
  return false;
}
bool handle_store_tree(RunContext& ctx, const std::string& path, const std::string& host_file) {
  std::optional<std::vector<std::string>> stored = command_store_tree(ctx, path, host_file);
  if (!stored) return false;
  ctx.after_save = [&con = ctx.con, lines = std::move(*stored)] { report_stored_tree(con, lines); };
  return true;
}

// Every command letter, once. F's check of the disk it made only reads it.
constexpr Command kCommands[] = {
    {'L', Access::kRead, handle_list, nullptr},
    {'R', Access::kRead, handle_extract, nullptr},
    {'X', Access::kRead, handle_extract_tree, nullptr},
    {'W', Access::kWrite, handle_store, nullptr, true},
    {'I', Access::kWrite, handle_import, nullptr},
    {'D', Access::kWrite, handle_delete, &msg::kDeleted},
    {'M', Access::kWrite, handle_make_directory, &msg::kDirectoryCreated, true},
    {'K', Access::kWrite, handle_remove_directory, &msg::kDirectoryDeleted},
    {'A', Access::kWrite, handle_store_tree, nullptr, true},
    {'F', Access::kRead, nullptr, nullptr},
};

const Command& find_command(char letter) {
  for (const Command& c : kCommands) {
    if (c.letter == letter) return c;
  }
  return kCommands[0];  // the command line let no other letter through
}

// An argument that was not given prints as "(null)".
std::string_view or_null(const std::optional<std::string>& s) {
  return s ? std::string_view(*s) : std::string_view(msg::kNull.bytes);
}

void echo_arguments(Console& con, const CommandLine& a) {
  con.trace(msg::kEchoCommand, static_cast<unsigned char>(a.letter));
  con.trace(msg::kEchoImage, a.image_name);
  con.trace(msg::kEchoPartition, a.partition_index);
  con.trace(msg::kEchoPath, or_null(a.path));
  con.trace(msg::kEchoHostFile, or_null(a.host_file));
}

// Runs the command on the loaded volume and saves it where the command
// changed it. A failed save is reported and never confirmed.
void run_command(const CommandLine& a, const Command& c, RunContext& ctx, ImageFile& image) {
  if (!c.handler) return;
  const std::string path = a.path.value_or("");
  const std::string host_file = a.host_file.value_or("");
  if (!c.handler(ctx, path, host_file) || !image.save()) return;
  if (c.saved) ctx.con.out(*c.saved, path);
  if (ctx.after_save) ctx.after_save();
}

// The closing sequence of every run that gets past the command line: 0
// when the run did what was asked, 1 when something failed.
int finish(Console& con) {
  con.out(msg::kDone);
  con.flush();
  return con.failure_reported() ? kExitFailure : 0;
}

// T converts host files alone: no image, no check. Its closing line goes
// to the error stream when TARGET is standard output.
int run_tape(const CommandLine& a, Console& con, Host& host) {
  if (host.writes_standard_output(HostPath::from_argument(a.target))) con.divert_output();
  command_tape(con, host, a.source, a.target);
  return finish(con);
}

}  // namespace

int run_tarnwick(int argc, const char* const argv[], Console& con, Host& host) {
  CommandLine a = parse_command_line(argc, argv, con.utf8_paths());
  if (answer_help_or_version(a, con)) return 0;
  if (a.fault != UsageFault::kNone) {
    report_usage(a, con);
    return kExitWrongUsage;
  }
  con.verbose = a.verbose;
  if (a.letter == 'T') return run_tape(a, con, host);
  const Command& c = find_command(a.letter);
  // Standard output that carries R's file carries nothing else.
  if (a.letter == 'R' && host.writes_standard_output(HostPath::from_argument(*a.host_file))) con.divert_output();
  // A PATH typed as text becomes the volume's bytes before anything opens.
  const std::string typed_path = a.path.value_or("");
  if (a.path && !convert_path_argument(*a.path, con)) return finish(con);
  // A name field ends at its first 0x0D: a name holding one could never
  // be reached again.
  if (c.makes_names && a.path && a.path->find(static_cast<char>(kNameEnd)) != std::string::npos) {
    con.err(msg::kPathNotShiftJis, typed_path);
    return finish(con);
  }
  echo_arguments(con, a);

  // F makes the image; the run then loads and checks it as any other.
  if (a.letter == 'F' && !command_format(con, host, a.image_name)) return finish(con);

  std::unique_ptr<ImageFile> image = ImageFile::open(host, con, a.image_name, c.access);
  if (!image) return finish(con);
  if (image->load(a.partition_index)) {
    // The volume's pages are read as the check and the command need them.
    // Should the image file be cut short under the run, what they printed
    // from bytes that were not the volume's is taken back, the image is
    // reported as a short image is at loading, and nothing is written.
    Volume& vol = image->volume();
    image->hold_output();
    sanity_check(vol, con);
    HostTime host_time;
    RunContext ctx{con, host, vol, host_time, a.image_name, a.options.long_listing, a.options.basic, a.options.text};
    if (!vol.read_failed()) run_command(a, c, ctx, *image);
    if (image->release_output()) sanity_check(vol, con);
  }
  image->close();
  return finish(con);
}

}  // namespace tarnwick
