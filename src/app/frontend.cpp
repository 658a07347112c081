#include "app/frontend.h"

#include <cctype>
#include <memory>
#include <optional>

#include "commands/delete.h"
#include "commands/extract.h"
#include "commands/import.h"
#include "commands/list.h"
#include "commands/run_context.h"
#include "commands/store.h"
#include "containers/container.h"
#include "containers/d88.h"
#include "containers/hdd_rom.h"
#include "volume/check.h"
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
      if (count != 4) return std::nullopt;
      break;
    case 'R':
    case 'W':
    case 'I':
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

// L lists the directory a path ends in, so the path gets a trailing '/'.
std::string list_path(const std::string& path) {
  if (path.empty() || path.back() == '/') return path;
  return path + '/';
}

const char* text_or_null(const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; }

}  // namespace

std::string image_extension(std::string_view file_name) {
  if (file_name.size() < 4 || file_name[file_name.size() - 4] != '.') return {};
  std::string ext(file_name.substr(file_name.size() - 3));
  for (char& c : ext) c = upper(c);
  return ext;
}

int run_tarnwick(int argc, const char* const argv[], Console& con, Host& host) {
  const std::optional<Arguments> parsed = parse_arguments(argc, argv, con);
  if (!parsed) {
    con.out(msg::kUsage);
    con.flush();
    return 0;
  }
  const Arguments& a = *parsed;

  con.trace(msg::kEchoCommand, static_cast<int>(static_cast<unsigned char>(a.letter)));
  con.trace(msg::kEchoImage, a.image_name.c_str());
  con.trace(msg::kEchoPartition, a.partition_index);
  con.trace(msg::kEchoPath, or_null(text_or_null(a.path)));
  con.trace(msg::kEchoHostFile, or_null(text_or_null(a.host_file)));

  // L and R never write, so they need no more than to read the image: a
  // read-only file or medium serves them, and other readers may share it.
  // The lock keeps the image from changing under a reader and any two
  // writers apart, from opening to closing.
  const bool reads_only = a.letter == 'L' || a.letter == 'R';
  std::string reason;
  std::unique_ptr<File> image = host.open(a.image_name, reads_only ? OpenMode::kRead : OpenMode::kUpdate, &reason,
                                          reads_only ? Lock::kShared : Lock::kExclusive);
  if (!image) {
    con.err(msg::kImageOpenFailed, a.image_name.c_str(), reason.c_str());
    con.out(msg::kDone);
    con.flush();
    return 0;
  }

  Volume vol;
  Container where;
  bool loaded = false;
  const std::string ext = image_extension(a.image_name);
  if (ext == "D88") {
    where.kind = ContainerKind::kD88;
    if (check_d88_format(*image, con, where.d88)) {
      con.out(msg::kIsD88Image, a.image_name.c_str());
      loaded = load_d88_image(*image, where.d88, vol);
    }
    if (!loaded) con.err(msg::kD88FormatBad);
  } else if (ext == "ROM") {
    where.kind = ContainerKind::kRom;
    con.out(msg::kIsRomImage, a.image_name.c_str());
    loaded = load_rom_image(*image, vol);
    if (!loaded) con.err(msg::kRomFormatBad);
  } else if (!check_hdd_signature(*image)) {
    con.err(msg::kUnsupportedImage, a.image_name.c_str());
  } else {
    con.out(msg::kIsHddImage, a.image_name.c_str());
    loaded = load_hdd_partition(*image, a.partition_index, vol, where);
    if (!loaded) con.err(msg::kHddFormatBad);
  }

  if (loaded) {
    sanity_check(vol, con);

    // The save routine; a failure is reported and never confirmed.
    auto save = [&]() {
      const bool ok = save_volume(*image, vol, where);
      if (!ok) con.err(msg::kImageWriteFailed, a.image_name.c_str());
      return ok;
    };
    HostTime host_time;
    RunContext ctx{con, host, vol, host_time, a.image_name};
    const std::string path = a.path.value_or("");
    const std::string host_file = a.host_file.value_or("");
    switch (a.letter) {
      case 'L':
        list_directory(vol, con, list_path(path));
        break;
      case 'R':
        command_extract(ctx, path, host_file);
        break;
      case 'W':
        if (command_store(ctx, path, host_file)) save();
        break;
      case 'D':
        if (command_delete(ctx, path) && save()) con.out(msg::kDeleted, path.c_str());
        break;
      case 'I':
        if (command_import(ctx, path, host_file)) save();
        break;
    }
    sanity_check(vol, con);
  }

  image->close();
  con.out(msg::kDone);
  con.flush();
  return 0;
}

}  // namespace tarnwick
