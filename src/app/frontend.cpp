#include "app/frontend.h"

#include <cctype>
#include <memory>
#include <optional>

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
#include "containers/container.h"
#include "containers/journal.h"
#include "volume/check.h"
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

  switch (a.letter) {
    case 'D':
    case 'M':
    case 'K':
      if (count != 4) return std::nullopt;
      break;
    case 'F':
      if (count != 2 && count != 3) return std::nullopt;
      break;
    case 'R':
    case 'W':
    case 'I':
    case 'X':
    case 'A':
      if (count != 5) return std::nullopt;
      break;
    case 'L': {
      // L needs the image file name; its path must fit the list path buffer
      // once the '/' is appended.
      if (count < 2) return std::nullopt;
      if (!a.path) a.path = "/";
      const std::string& p = *a.path;
      const bool has_slash = !p.empty() && p.back() == '/';
      if (p.size() + (has_slash ? 0 : 1) > kListPathMax) return std::nullopt;
      break;
    }
    default:
      return std::nullopt;
  }
  a.image_name = argv[2];
  return a;
}

const char* text_or_null(const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; }

void echo_arguments(Console& con, const Arguments& a) {
  con.trace(msg::kEchoCommand, static_cast<int>(static_cast<unsigned char>(a.letter)));
  con.trace(msg::kEchoImage, a.image_name.c_str());
  con.trace(msg::kEchoPartition, a.partition_index);
  con.trace(msg::kEchoPath, or_null(text_or_null(a.path)));
  con.trace(msg::kEchoHostFile, or_null(text_or_null(a.host_file)));
}

// Runs the command on the loaded volume and saves it where the command
// changed it. A failed save is reported and never confirmed.
void run_command(const Arguments& a, RunContext& ctx, File& image, const Container& container) {
  auto save = [&]() {
    // Bytes that could not be read are not the volume's: nothing is written.
    if (ctx.vol.read_failed()) return false;
    const bool ok = save_volume(ctx.host, a.image_name, image, ctx.vol, container);
    if (!ok) ctx.con.err(msg::kImageWriteFailed, a.image_name.c_str());
    return ok;
  };
  const std::string path = a.path.value_or("");
  const std::string host_file = a.host_file.value_or("");
  switch (a.letter) {
    case 'L':
      list_directory(ctx.vol, ctx.con, directory_path(path));
      break;
    case 'R':
      command_extract(ctx, path, host_file);
      break;
    case 'W':
      if (command_store(ctx, path, host_file)) save();
      break;
    case 'D':
      if (command_delete(ctx, path) && save()) ctx.con.out(msg::kDeleted, path.c_str());
      break;
    case 'I':
      if (command_import(ctx, path, host_file)) save();
      break;
    case 'M':
      if (make_directory(ctx.vol, ctx.con, path, ctx.host.now()) && save()) {
        ctx.con.out(msg::kDirectoryCreated, path.c_str());
      }
      break;
    case 'K':
      if (remove_directory(ctx.vol, ctx.con, path) && save()) ctx.con.out(msg::kDirectoryDeleted, path.c_str());
      break;
    case 'X':
      command_extract_tree(ctx, path, host_file);
      break;
    case 'A':
      if (const auto stored = command_store_tree(ctx, path, host_file); stored && save()) {
        report_stored_tree(ctx.con, *stored);
      }
      break;
  }
}

// Opens the image as the command needs it and, once it holds the image's
// lock, brings the image back from a save that was interrupted. Nothing,
// after the failure has been reported, when the run cannot go on.
std::unique_ptr<File> open_image(const Arguments& a, Console& con, Host& host) {
  // L, R, X and F's check never write, so they need no more than to read the
  // image: a read-only file or medium serves them, and other readers may
  // share it. The lock keeps the image from changing under a reader and any
  // two writers apart, from opening to closing.
  const bool reads_only = a.letter == 'L' || a.letter == 'R' || a.letter == 'X' || a.letter == 'F';
  const char* name = a.image_name.c_str();
  std::string reason;
  std::unique_ptr<File> image = host.open(a.image_name, reads_only ? OpenMode::kRead : OpenMode::kUpdate, &reason,
                                          reads_only ? Lock::kShared : Lock::kExclusive);
  bool writable = !reads_only;
  if (image && reads_only && journal_exists(host, a.image_name)) {
    // Playing a journal back takes the image for writing, and for this run
    // alone, which then keeps it so. An image that cannot be written is
    // read through the journal instead.
    image->close();
    image = host.open(a.image_name, OpenMode::kUpdate, &reason, Lock::kExclusive);
    writable = image != nullptr;
    if (!image) image = host.open(a.image_name, OpenMode::kRead, &reason, Lock::kShared);
  }
  if (!image) {
    con.err(msg::kImageOpenFailed, name, reason.c_str());
    return nullptr;
  }
  switch (recover_from_journal(host, a.image_name, image, writable, &reason)) {
    case Recovery::kNone:
    case Recovery::kDiscarded:
      break;
    case Recovery::kRestored:
    case Recovery::kRestoredInMemory:
      con.err(msg::kRestoredFromJournal, name);
      break;
    case Recovery::kWriteFailed:
      con.err(msg::kImageWriteFailed, name);
      image->close();
      return nullptr;
    case Recovery::kUnreadable:
      con.err(msg::kImageOpenFailed, journal_name(a.image_name).c_str(), reason.c_str());
      image->close();
      return nullptr;
  }
  return image;
}

// The closing sequence of every run that gets past the command line.
int finish(Console& con) {
  con.out(msg::kDone);
  con.flush();
  return 0;
}

}  // namespace

int run_tarnwick(int argc, const char* const argv[], Console& con, Host& host) {
  const std::optional<Arguments> parsed = parse_arguments(argc, argv, con);
  if (!parsed) {
    con.out(msg::kUsage);
    con.flush();
    return 0;
  }
  const Arguments& a = *parsed;
  echo_arguments(con, a);

  // F makes the image; the run then loads and checks it as any other.
  if (a.letter == 'F' && !command_format(con, host, a.image_name)) return finish(con);

  std::unique_ptr<File> image = open_image(a, con, host);
  if (!image) return finish(con);
  Volume vol;
  Container container;
  if (load_container(*image, a.image_name, a.partition_index, con, vol, container)) {
    // The volume's pages are read as the check and the command need them.
    // Should the image file be cut short under the run, what they printed
    // from bytes that were not the volume's is taken back, the image is
    // reported as a short image is at loading, and nothing is written.
    con.hold();
    sanity_check(vol, con);
    HostTime host_time;
    RunContext ctx{con, host, vol, host_time, a.image_name};
    if (!vol.read_failed()) run_command(a, ctx, *image, container);
    if (vol.read_failed()) {
      con.discard();
      report_load_failure(con, container);
    } else {
      con.release();
      sanity_check(vol, con);
    }
  }
  image->close();
  return finish(con);
}

}  // namespace tarnwick
