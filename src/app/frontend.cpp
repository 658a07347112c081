#include "app/frontend.h"

#include <cctype>
#include <memory>
#include <optional>

#include "app/options.h"
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
#include "commands/tree.h"
#include "containers/image_file.h"
#include "host/user_text.h"
#include "output/name_text.h"
#include "volume/path.h"
#include "volume/volume.h"

namespace tarnwick {

namespace {

// The list path buffer of the machine's tool holds 255 characters.
constexpr size_t kListPathMax = 255;

struct Arguments {
  char letter = 0;
  std::string image_name;
  int partition_index = 0;
  std::optional<std::string> path;
  std::optional<std::string> host_file;
};

using Access = ImageFile::Access;

// A command's work on the loaded volume. True when it changed the volume,
// which is then saved.
using Handler = bool (*)(RunContext& ctx, const std::string& path, const std::string& host_file);

// The checks one command adds to the argument count, given whether PATH is
// typed as UTF-8. False means: print the usage.
using ArgumentCheck = bool (*)(Arguments& a, bool utf8_paths);

// What D, M and K say once the save succeeded.
using Confirmation = Message<Severity::kInfo, arg::Path>;

struct Command {
  char letter;
  int min_count;  // arguments, counting the command as the first
  int max_count;
  Access access;               // the lock goes with it: shared or exclusive
  Handler handler;             // nothing: the run loads and checks the image only
  const Confirmation* saved;   // said with the path once the save succeeded, if any
  ArgumentCheck check;         // nothing: the count is all
  bool makes_names = false;    // PATH names what the command creates
};

// L's path must fit the list path buffer once the '/' is appended.
bool check_list_path(Arguments& a, bool utf8_paths) {
  if (!a.path) a.path = "/";
  // A PATH typed as UTF-8 text counts in the bytes it becomes.
  const std::optional<std::string> bytes = utf8_paths ? path_from_utf8(*a.path) : std::nullopt;
  const std::string& p = bytes ? *bytes : *a.path;
  const bool has_slash = !p.empty() && p.back() == '/';
  return p.size() + (has_slash ? 0 : 1) <= kListPathMax;
}

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

constexpr int kAnyCount = 1 << 30;

// Every command letter, once. F's check of the disk it made only reads it.
constexpr Command kCommands[] = {
    {'L', 2, kAnyCount, Access::kRead, handle_list, nullptr, check_list_path},
    {'R', 5, 5, Access::kRead, handle_extract, nullptr, nullptr},
    {'X', 5, 5, Access::kRead, handle_extract_tree, nullptr, nullptr},
    {'W', 5, 5, Access::kWrite, handle_store, nullptr, nullptr, true},
    {'I', 5, 5, Access::kWrite, handle_import, nullptr, nullptr},
    {'D', 4, 4, Access::kWrite, handle_delete, &msg::kDeleted, nullptr},
    {'M', 4, 4, Access::kWrite, handle_make_directory, &msg::kDirectoryCreated, nullptr, true},
    {'K', 4, 4, Access::kWrite, handle_remove_directory, &msg::kDirectoryDeleted, nullptr},
    {'A', 5, 5, Access::kWrite, handle_store_tree, nullptr, nullptr, true},
    {'F', 2, 3, Access::kRead, nullptr, nullptr, nullptr},
};

const Command* find_command(char letter) {
  for (const Command& c : kCommands) {
    if (c.letter == letter) return &c;
  }
  return nullptr;
}

char upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

// Validates the command line. Nothing means: print the usage.
std::optional<Arguments> parse_arguments(int argc, const char* const argv[], Console& con) {
  const int count = argc - 1;  // arguments, counting the command as the first
  if (count < 1) return std::nullopt;
  Arguments a;
  if (count >= 3) {
    const std::string_view partition = argv[3];
    if (partition == "1") {
      a.partition_index = 0;
    } else if (partition == "2") {
      a.partition_index = 1;
    } else {
      return std::nullopt;
    }
  }
  if (count >= 4) a.path = argv[4];
  if (count >= 5) a.host_file = argv[5];

  const std::string_view command = argv[1];
  size_t at = 0;
  if (!command.empty() && upper(command[0]) == 'V') {
    con.verbose = true;
    at = 1;
  }
  a.letter = at < command.size() ? upper(command[at]) : '\0';

  const Command* c = find_command(a.letter);
  if (!c || count < c->min_count || count > c->max_count) return std::nullopt;
  if (c->check && !c->check(a, con.utf8_paths())) return std::nullopt;
  a.image_name = argv[2];
  return a;
}

// An argument that was not given prints as "(null)".
std::string_view or_null(const std::optional<std::string>& s) {
  return s ? std::string_view(*s) : std::string_view(msg::kNull.bytes);
}

void echo_arguments(Console& con, const Arguments& a) {
  con.trace(msg::kEchoCommand, static_cast<unsigned char>(a.letter));
  con.trace(msg::kEchoImage, a.image_name);
  con.trace(msg::kEchoPartition, a.partition_index);
  con.trace(msg::kEchoPath, or_null(a.path));
  con.trace(msg::kEchoHostFile, or_null(a.host_file));
}

// Runs the command on the loaded volume and saves it where the command
// changed it. A failed save is reported and never confirmed.
void run_command(const Arguments& a, const Command& c, RunContext& ctx, ImageFile& image) {
  if (!c.handler) return;
  const std::string path = a.path.value_or("");
  const std::string host_file = a.host_file.value_or("");
  if (!c.handler(ctx, path, host_file) || !image.save()) return;
  if (c.saved) ctx.con.out(*c.saved, path);
  if (ctx.after_save) ctx.after_save();
}

// The closing sequence of every run that gets past the command line.
int finish(Console& con, const Options& options) {
  con.out(msg::kDone);
  con.flush();
  return options.run_status(con);
}

}  // namespace

int run_tarnwick(int argc, const char* const argv[], Console& con, Host& host) {
  const Options options = parse_options(argc, argv);
  if (answer_help_or_version(options, con)) return 0;
  // The command line after the options, the last option standing in for
  // the program's name.
  const std::optional<Arguments> parsed =
      options.unknown ? std::nullopt : parse_arguments(argc - options.count, argv + options.count, con);
  if (!parsed) {
    con.out(msg::kUsage);
    con.flush();
    return options.usage_status();
  }
  Arguments a = *parsed;
  const Command& c = *find_command(a.letter);
  // Standard output that carries R's file carries nothing else.
  if (a.letter == 'R' && host.writes_standard_output(HostPath::from_argument(*a.host_file))) con.divert_output();
  // A PATH typed as text becomes the volume's bytes before anything opens.
  const std::string typed_path = a.path.value_or("");
  if (a.path && !convert_path_argument(*a.path, con)) return finish(con, options);
  // A name field ends at its first 0x0D: a name holding one could never
  // be reached again.
  if (c.makes_names && a.path && a.path->find(static_cast<char>(kNameEnd)) != std::string::npos) {
    con.err(msg::kPathNotShiftJis, typed_path);
    return finish(con, options);
  }
  echo_arguments(con, a);

  // F makes the image; the run then loads and checks it as any other.
  if (a.letter == 'F' && !command_format(con, host, a.image_name)) return finish(con, options);

  std::unique_ptr<ImageFile> image = ImageFile::open(host, con, a.image_name, c.access);
  if (!image) return finish(con, options);
  if (image->load(a.partition_index)) {
    // The volume's pages are read as the check and the command need them.
    // Should the image file be cut short under the run, what they printed
    // from bytes that were not the volume's is taken back, the image is
    // reported as a short image is at loading, and nothing is written.
    Volume& vol = image->volume();
    image->hold_output();
    sanity_check(vol, con);
    HostTime host_time;
    RunContext ctx{con, host, vol, host_time, a.image_name, options.long_listing};
    if (!vol.read_failed()) run_command(a, c, ctx, *image);
    if (image->release_output()) sanity_check(vol, con);
  }
  image->close();
  return finish(con, options);
}

}  // namespace tarnwick
