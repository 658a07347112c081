#include "app/frontend.h"

#include <cctype>
#include <memory>
#include <optional>

#include "app/command_line.h"
#include "app/listing.h"
#include "containers/image.h"
#include "containers/image_file.h"
#include "operations/check.h"
#include "operations/convert.h"
#include "operations/delete.h"
#include "operations/directory.h"
#include "operations/extract.h"
#include "operations/format.h"
#include "operations/import.h"
#include "operations/list.h"
#include "operations/run_context.h"
#include "operations/store.h"
#include "operations/store_tree.h"
#include "operations/tape.h"
#include "operations/tree.h"
#include "output/name_text.h"
#include "volume/path.h"
#include "volume/path_text.h"
#include "volume/volume.h"

namespace tarnwick {

namespace {

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
};

// A PATH that leads nowhere gives no document.
bool handle_list(RunContext& ctx, const std::string& path, const std::string&) {
  const Listing listing = list_entries(ctx.vol, directory_path(path), ctx.recursive);
  ctx.con.show(listing.lines);
  if (!ctx.json) {
    Report lines(ctx.con.verbose);
    report_listing(listing, ctx.long_listing, lines);
    ctx.con.show(lines);
  } else if (listing.where.fault != PathFault::kDirectoryMissing) {
    ctx.con.data(listing_document(ctx.image_name, ctx.image->container(), *ctx.check, listing));
  }
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

bool handle_convert(RunContext& ctx, const std::string&, const std::string& new_image) {
  command_convert(ctx, *ctx.image, new_image);
  return false;
}

// Every command letter, once. F's check of the disk it made only reads it.
constexpr Command kCommands[] = {
    {'L', Access::kRead, handle_list, nullptr},
    {'R', Access::kRead, handle_extract, nullptr},
    {'X', Access::kRead, handle_extract_tree, nullptr},
    {'W', Access::kWrite, handle_store, nullptr},
    {'I', Access::kWrite, handle_import, nullptr},
    {'D', Access::kWrite, handle_delete, &msg::kDeleted},
    {'M', Access::kWrite, handle_make_directory, &msg::kDirectoryCreated},
    {'K', Access::kWrite, handle_remove_directory, &msg::kDirectoryDeleted},
    {'A', Access::kWrite, handle_store_tree, nullptr},
    {'F', Access::kRead, nullptr, nullptr},
    {'C', Access::kRead, handle_convert, nullptr},
};

const Command& find_command(char letter) {
  for (const Command& c : kCommands) {
    if (c.letter == letter) return c;
  }
  return kCommands[0];  // the command line let no other letter through
}

// Shows what a step said and gives its result; the report starts afresh.
bool say(Console& con, bool result, Report& said) {
  con.show(said);
  said.drop_from(0);
  return result;
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
void run_command(const CommandLine& a, const Command& c, RunContext& ctx, Image& image) {
  if (!c.handler) return;
  const std::string path = a.path.value_or("");
  const std::string host_file = a.host_file.value_or("");
  if (!c.handler(ctx, path, host_file)) return;
  Report saving;
  const bool saved = image.save(saving);
  ctx.con.show(saving);
  if (!saved) return;
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

// True when the image is a D88 file of several disks, whose PART is a disk
// number rather than 1 or 2. Only the headers are read, unlocked: no save
// ever changes them.
bool has_several_disks(Host& host, const std::string& name) {
  std::unique_ptr<File> file = host.open(HostPath::from_argument(name), OpenMode::kRead);
  if (!file) return false;
  Report quiet;
  Container container;
  const bool several = identify_container(*file, name, quiet, container) && container.several_disks();
  file->close();
  return several;
}

// The command line, PART read as a disk number when the image holds
// several disks.
CommandLine read_command_line(int argc, const char* const argv[], Console& con, Host& host) {
  CommandLine a = parse_command_line(argc, argv, con.utf8_paths());
  if (a.fault == UsageFault::kPart && a.options.answer == Options::Answer::kNone &&
      has_several_disks(host, a.image_name)) {
    a = parse_command_line(argc, argv, con.utf8_paths(), true);
  }
  return a;
}

// The volume the run works on (see Image::load), or nothing when the
// run ends here: L without PART has listed the disks of a file of several,
// or PART names none of them.
std::optional<int> choose_volume(const CommandLine& a, Image& image, Console& con) {
  const Container& container = image.container();
  if (!container.several_disks()) {
    // Read as a disk number for a file that held several disks when the
    // command line was read, and has changed since.
    if (a.part && *a.part != "1" && *a.part != "2") {
      con.err(msg::kPartOneOrTwo);
      return std::nullopt;
    }
    return a.partition_index;
  }
  const unsigned count = static_cast<unsigned>(container.disks.size());
  if (!a.part) {
    if (a.options.json) {
      con.data(disks_document(a.image_name, image.disks()));
      return std::nullopt;
    }
    Report disks;
    report_d88_disks(image.disks(), disks);
    con.show(disks);
    return std::nullopt;
  }
  const std::optional<unsigned> disk = disk_number(*a.part);
  if (!disk || *disk > count) {
    con.err(msg::kNoSuchDisk, *a.part, count);
    return std::nullopt;
  }
  return static_cast<int>(*disk - 1);
}

// The check before the command, the command and its save, the check after
// it, on the loaded volume. The volume's pages are read as the check and
// the command need them. Should the image file be cut short under the run,
// what they printed from bytes that were not the volume's is taken back,
// the image is reported as a short image is at loading, and nothing is
// written.
// What the run printed from the volume's pages is held back until they
// are known good: then it is shown; else it is taken back and the image is
// reported as one that cannot be loaded (false).
bool release_output(Console& con, const Image& image) {
  if (!image.read_failed()) {
    con.release();
    return true;
  }
  con.discard();
  Report failure;
  report_load_failure(failure, image.container());
  con.show(failure);
  return false;
}

void run_loaded(const CommandLine& a, const Command& c, Console& con, Host& host, Image& image) {
  Volume& vol = image.volume();
  con.hold();
  const CheckReport before = sanity_check(vol, con.verbose);
  con.show(before.lines);
  const bool sound = before.sound;
  HostTime host_time;
  RunContext ctx{con, host, vol, host_time, a.image_name, a.options.long_listing, a.options.basic, a.options.text};
  ctx.image = &image;
  ctx.recursive = a.options.recursive;
  ctx.json = a.options.json;
  ctx.check = &before;
  // A raw image's size is shared by other machines' dumps: it is written
  // only when the check found it sound.
  const bool refused = c.access == Access::kWrite && image.container().kind == ContainerKind::kRaw && !sound;
  if (refused) con.err(msg::kRawNotWritten, a.image_name);
  if (!vol.read_failed() && !refused) run_command(a, c, ctx, image);
  if (release_output(con, image) && !refused) con.show(sanity_check(vol, con.verbose).lines);
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
  CommandLine a = read_command_line(argc, argv, con, host);
  if (answer_help_or_version(a, con)) return 0;
  if (a.fault != UsageFault::kNone) {
    report_usage(a, con);
    return kExitWrongUsage;
  }
  con.verbose = a.verbose;
  // Standard output that carries the document carries nothing else.
  if (a.options.json) con.keep_output_for_data();
  if (a.letter == 'T') return run_tape(a, con, host);
  const Command& c = find_command(a.letter);
  // Standard output that carries R's file carries nothing else.
  if (a.letter == 'R' && host.writes_standard_output(HostPath::from_argument(*a.host_file))) con.divert_output();
  // A PATH typed as text becomes the volume's bytes before anything opens.
  if (a.path) {
    const std::optional<std::string> bytes = path_argument(*a.path, con.utf8_paths());
    if (!bytes) {
      con.err(msg::kPathNotShiftJis, *a.path);
      return finish(con);
    }
    a.path = *bytes;
  }
  echo_arguments(con, a);

  // F makes the image; the run then loads and checks it as any other.
  if (a.letter == 'F' && !command_format(con, host, a.image_name)) return finish(con);
  if (a.letter == 'C' && !check_new_image(con, host, *a.host_file)) return finish(con);

  Report opening;
  std::unique_ptr<ImageFile> file = ImageFile::open(host, opening, a.image_name, c.access);
  if (!say(con, file != nullptr, opening)) return finish(con);
  Image image(std::move(file), c.access);
  if (say(con, image.identify(opening), opening)) {
    const bool floppy = image.container().floppy();
    if (a.letter == 'C' && !floppy) con.err(msg::kNotFloppy, a.image_name);
    const std::optional<int> index = a.letter == 'C' && !floppy ? std::nullopt : choose_volume(a, image, con);
    if (index && say(con, image.load(*index, opening), opening)) run_loaded(a, c, con, host, image);
  }
  say(con, image.close(opening), opening);
  return finish(con);
}

}  // namespace tarnwick
