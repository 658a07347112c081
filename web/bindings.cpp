// The core as the web page's module sees it (embind): images held in
// memory, and the commands on them run as the command line runs them, each
// giving values and the lines the command line would print. core.js
// documents every call; this file keeps to what it says.
//
// An image's bytes stay as they were until a command saves: each command
// works on a session of its own over a copy of them (the memory store),
// and a save's bytes take their place only once the command has ended in
// order. So a command that fails in any way, a failed allocation included,
// leaves the image as it was.
#include <emscripten/bind.h>
#include <emscripten/val.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "containers/memory_store.h"
#include "host/host_name.h"
#include "host/in_memory_host.h"
#include "host/unicode.h"
#include "operations/format.h"
#include "operations/session.h"
#include "output/name_text.h"
#include "output/render.h"
#include "volume/format.h"
#include "volume/path.h"
#include "volume/path_text.h"
#include "volume/timestamp.h"

namespace {

// Allocations left before one fails on purpose, or -1 for none: how the
// tests try a failed allocation anywhere in a call. failAllocation(n) arms
// it for the next call, which counts from its start.
long allocations_before_failure = -1;
long armed_failure = -1;

}  // namespace

// Every C++ allocation of the module comes here, so that one can be made to
// fail as it does when memory runs out.
void* operator new(std::size_t n) {
  if (allocations_before_failure >= 0 && allocations_before_failure-- == 0) throw std::bad_alloc();
  void* p = std::malloc(n == 0 ? 1 : n);
  if (!p) throw std::bad_alloc();
  return p;
}

void operator delete(void* p) noexcept { std::free(p); }

namespace tarnwick {
namespace {

using emscripten::val;

// Listings and BSD text as the UTF-8 mode writes them.
constexpr TextForm kTextFiles{TextEncoding::kUtf8, kTextLineEnd};
constexpr TextKinds kAllText{true, true};

// ---------------------------------------------------------------- values

val bytes_value(const std::vector<uint8_t>& bytes) {
  return val(emscripten::typed_memory_view(bytes.size(), bytes.data())).call<val>("slice");
}

std::vector<uint8_t> bytes_of(const val& array) {
  std::vector<uint8_t> bytes(array["length"].as<size_t>());
  val(emscripten::typed_memory_view(bytes.size(), bytes.data())).call<void>("set", array);
  return bytes;
}

HostTime time_of(const val& t) {
  return HostTime{t["year"].as<int32_t>(), t["month"].as<int32_t>(), t["day"].as<int32_t>(), t["hour"].as<int32_t>(),
                  t["minute"].as<int32_t>()};
}

val time_value(const std::optional<HostTime>& t) {
  if (!t) return val::null();
  val v = val::object();
  v.set("year", t->year);
  v.set("month", t->month);
  v.set("day", t->day);
  v.set("hour", t->hour);
  v.set("minute", t->minute);
  return v;
}

const char* severity_text(Severity s) {
  switch (s) {
    case Severity::kInfo: return "info";
    case Severity::kNotice: return "notice";
    case Severity::kFailure: return "failure";
  }
  return "";
}

val line_value(const std::string& text, Stream stream, Severity severity) {
  val line = val::object();
  line.set("text", text);
  line.set("stream", stream == Stream::kErr ? "err" : "out");
  line.set("severity", severity_text(severity));
  return line;
}

// The report's lines as the console shows them in the UTF-8 mode: pieces
// of one line (a message without a line end, then the rest) joined, the
// line's severity the gravest of its pieces'. Traces go with the results.
val lines_value(const Report& rep) {
  val lines = val::array();
  std::string text;
  Stream stream = Stream::kOut;
  Severity severity = Severity::kInfo;
  const auto flush = [&](bool ended) {
    if (ended || !text.empty()) lines.call<void>("push", line_value(text, stream, severity));
    text.clear();
    severity = Severity::kInfo;
  };
  for (const Line& l : rep.lines()) {
    const Stream s = l.stream == Stream::kErr ? Stream::kErr : Stream::kOut;
    if (s != stream) flush(false);
    stream = s;
    render_to(text, l, StreamText{TextMode::kUtf8});
    severity = std::max(severity, l.message->severity);
    if (text.ends_with('\n')) {
      text.pop_back();
      flush(true);
    }
  }
  flush(false);
  return lines;
}

// Text as the UTF-8 mode shows a volume name, without quotes.
std::string name_text(std::string_view name) { return shown_volume_text(name, ArgKind::kVolumeName); }

// "YYYY-MM-DDTHH:MM" by the stamp's century rule, or null.
val date_value(const TimeStamp& stamp) {
  const std::optional<HostTime> t = stamp_date(stamp);
  if (!t) return val::null();
  char text[24];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d", static_cast<int>(t->year), static_cast<int>(t->month),
                static_cast<int>(t->day), static_cast<int>(t->hour), static_cast<int>(t->minute));
  return val(std::string(text));
}

val entry_value(const ListedEntry& e) {
  std::string type = mode_label(e.mode);
  while (!type.empty() && type.back() == ' ') type.pop_back();
  val v = val::object();
  v.set("name", name_text(e.name));
  v.set("type", type);
  v.set("mode", e.mode);
  v.set("attribute", e.attribute);
  v.set("size", e.size);
  v.set("load", e.load);
  v.set("exec", e.exec);
  v.set("date", date_value(e.stamp));
  return v;
}

val entries_value(const Listing& listing) {
  val entries = val::array();
  if (listing.directories.empty()) return entries;
  for (const ListedEntry& e : listing.directories.front().entries) entries.call<void>("push", entry_value(e));
  return entries;
}

// The folders below the root from a recursive listing of it, each
// directory's array made first and filled after, with no recursion however
// deep a damaged volume nests.
val folders_value(const Listing& tree) {
  std::vector<val> below;
  for (size_t i = 0; i < tree.directories.size(); ++i) below.push_back(val::array());
  for (size_t d = 0; d < tree.directories.size(); ++d) {
    for (const ListedEntry& e : tree.directories[d].entries) {
      if (e.listing == ListedEntry::kNone) continue;
      val folder = val::object();
      folder.set("name", name_text(e.name));
      folder.set("folders", below[static_cast<size_t>(e.listing)]);
      below[d].call<void>("push", folder);
    }
  }
  return below.empty() ? val::array() : below.front();
}

// The check's result and its lines as text, joined as the console joins
// them.
val check_value(const CheckReport& check) {
  const val shown = lines_value(check.lines);
  val lines = val::array();
  for (size_t i = 0, n = shown["length"].as<size_t>(); i < n; ++i) lines.call<void>("push", shown[i]["text"]);
  val v = val::object();
  v.set("ok", check.sound);
  v.set("lines", lines);
  return v;
}

// ---------------------------------------------------------------- calls

// Runs `call`, which says its lines into a report and sets the result's
// other members; the result then carries the lines. Whatever the core
// throws ends the call with a line of its own: a failed allocation with
// the core's "Out of memory", before "完了しました".
val guarded(const std::function<void(val&, Report&)>& call) {
  Report said;
  val result = val::object();
  try {
    allocations_before_failure = std::exchange(armed_failure, -1);
    call(result, said);
    allocations_before_failure = -1;
  } catch (const std::bad_alloc&) {
    allocations_before_failure = -1;
    const bool done = !said.empty() && said.lines().back().message == &msg::kDone;
    if (done) said.drop_from(said.size() - 1);
    said.err(msg::kOutOfMemory);
    said.out(msg::kDone);
  } catch (const std::exception& e) {
    allocations_before_failure = -1;
    const val line = line_value(e.what(), Stream::kErr, Severity::kFailure);
    result.set("lines", val::array().call<val>("concat", lines_value(said), line));
    return result;
  }
  result.set("lines", lines_value(said));
  return result;
}

// PATH as the volume's bytes, as the command line reads it in the UTF-8
// mode; nothing after saying why it cannot be.
std::optional<std::string> volume_path(const std::string& typed, Report& said) {
  std::optional<std::string> bytes = path_argument(typed, true);
  if (!bytes) {
    said.err(msg::kPathNotShiftJis, typed);
    said.out(msg::kDone);
  }
  return bytes;
}

struct Volume {
  int part;
  const char* kind;  // "partition", "disk", "volume"
  std::optional<std::string> name;
};

// The volumes of an image identified in `session`.
std::vector<Volume> volumes_of(Session& session) {
  const Container& c = session.container();
  std::vector<Volume> volumes;
  if (c.kind == ContainerKind::kHdd) return {{1, "partition", {}}, {2, "partition", {}}};
  if (!c.several_disks()) return {{1, "volume", {}}};
  for (size_t k = 1; k <= c.disks.size(); ++k) volumes.push_back({static_cast<int>(k), "disk", std::string()});
  for (const DiskFacts& d : session.disks()) {
    if (d.number >= 1 && d.number <= volumes.size()) volumes[d.number - 1].name = name_text(d.name);
  }
  return volumes;
}

// One image held in memory, named as its file was.
class HeldImage {
 public:
  HeldImage(std::string name, std::vector<uint8_t> bytes, const char* container, std::vector<Volume> volumes)
      : name_(std::move(name)), bytes_(std::move(bytes)), container_(container), volumes_(std::move(volumes)) {}

  std::string name() const { return name_; }
  std::string container() const { return container_; }
  val volumes() const;
  val bytes() const { return bytes_value(bytes_); }

  val list(int part, const std::string& path);
  val read(int part, const std::string& path, const std::string& form);
  val export_tree(int part, const std::string& path, const val& options);
  val take_disk_out(int part, const std::string& new_name);
  val store(int part, const std::string& path, const val& items, const val& now);
  val make_directory(int part, const std::string& path, const val& now);
  val delete_file(int part, const std::string& path);
  val remove_directory(int part, const std::string& path);
  val examine(int part, bool fix);
  // The run of a command that only checks the volume.
  void check(Report& said) {
    command(1, Access::kRead, [](Session&, const CheckReport&, Report&) { return std::optional<Change>(); }, said);
  }

 private:
  using Step = std::function<std::optional<Change>(Session&, const CheckReport&, Report&)>;
  // A command's run on the loaded volume, check and save included.
  using Runner = std::function<Ran(Session&, Report&)>;
  // How a command went: it reached the volume and read it whole, and it
  // saved.
  struct Went {
    bool loaded = false;
    bool saved = false;
  };
  Went command(int part, Access access, const Step& step, Report& said);
  Went run_on(int part, Access access, const Runner& run, Report& said);
  // A command that may change the volume, on PATH; the result's `changed`.
  val change(int part, const std::string& path,
             const std::function<std::optional<Change>(Session&, const std::string&, Report&)>& step);

  std::string name_;
  std::vector<uint8_t> bytes_;
  const char* container_;
  std::vector<Volume> volumes_;
};

val HeldImage::volumes() const {
  val volumes = val::array();
  for (const Volume& v : volumes_) {
    val volume = val::object();
    volume.set("part", v.part);
    volume.set("kind", std::string(v.kind));
    volume.set("name", v.name ? val(*v.name) : val::null());
    volumes.call<void>("push", volume);
  }
  return volumes;
}

// One command on volume `part` (1 to the count of volumes) as the command
// line runs it: the container told, the volume loaded, the check before,
// the step, the save, the check after, "完了しました". The image's bytes
// become the saved ones only once all that is done.
HeldImage::Went HeldImage::command(int part, Access access, const Step& step, Report& said) {
  return run_on(part, access, [&](Session& session, Report& rep) {
    const Session::Work work = [&](const CheckReport& before, Report& r) { return step(session, before, r); };
    return session.run(access, work, rep);
  }, said);
}

// A command as above, `run` doing all it does once the volume is loaded:
// for one that checks the volume itself.
HeldImage::Went HeldImage::run_on(int part, Access access, const Runner& run, Report& said) {
  auto store = std::make_unique<MemoryStore>(name_, bytes_);
  const MemoryStore& kept = *store;
  Session session(std::move(store), access, kTextFiles);
  Went went;
  if (session.identify(said)) {
    if (part < 1 || part > session.volume_count()) {
      said.err(msg::kNoSuchDisk, std::to_string(part), static_cast<unsigned>(session.volume_count()));
    } else if (session.load(part - 1, said)) {
      const Ran ran = run(session, said);
      went = {!ran.read_failed, ran.saved};
    }
  }
  session.close(said);
  said.out(msg::kDone);
  if (went.saved) {
    std::vector<uint8_t> saved = kept.bytes();
    bytes_.swap(saved);
  }
  return went;
}

// L of PATH, with the check before it and the volume's folders.
val HeldImage::list(int part, const std::string& path) {
  return guarded([&](val& result, Report& said) {
    const std::optional<std::string> at = volume_path(path, said);
    if (!at) return;
    std::optional<Listing> listing;
    const Step step = [&](Session& s, const CheckReport& before, Report& rep) -> std::optional<Change> {
      listing = s.list(directory_path(*at));
      Report resolving = listing->lines;
      rep.append(std::move(resolving));
      result.set("check", check_value(before));
      result.set("folders", folders_value(s.list("/", true)));
      return std::nullopt;
    };
    const bool loaded = command(part, Access::kRead, step, said).loaded && listing;
    result.set("loaded", loaded);
    if (loaded) result.set("entries", entries_value(*listing));
  });
}

// R of PATH in `form`: "file", "listing" (-b), "text" (-t) or "data".
val HeldImage::read(int part, const std::string& path, const std::string& form) {
  return guarded([&](val& result, Report& said) {
    const std::optional<std::string> at = volume_path(path, said);
    if (!at) return;
    const TextKinds kinds{form == "listing", form == "text"};
    FileOut out;
    command(part, Access::kRead, [&](Session& s, const CheckReport&, Report& rep) -> std::optional<Change> {
      out = s.read(*at, kinds, form != "data", rep);
      return std::nullopt;
    }, said);
    const bool read = out.result == Extraction::kWritten;
    result.set("bytes", read ? bytes_value(out.bytes) : val::null());
    result.set("name", read ? val(encode_utf8(host_file_name(out.name, out.mode, out.as))) : val::null());
  });
}

// X of PATH into a folder of a host in memory; that folder's contents.
val HeldImage::export_tree(int part, const std::string& path, const val& options) {
  return guarded([&](val& result, Report& said) {
    const std::optional<std::string> at = volume_path(path, said);
    if (!at) return;
    const TextKinds kinds{options["listings"].as<bool>(), options["text"].as<bool>()};
    const std::string folder = "x";
    InMemoryHost host;
    const Went went = command(part, Access::kRead, [&](Session& s, const CheckReport&, Report& rep) {
      s.extract_tree(*at, host, folder, kinds, rep);
      return std::optional<Change>();
    }, said);
    if (!went.loaded) return;
    val files = val::array();
    for (const auto& [name, entry] : host.entries) {
      if (!name.starts_with(folder + "/")) continue;
      val file = val::object();
      file.set("path", name.substr(folder.size() + 1));
      file.set("bytes", entry.folder ? val::null() : bytes_value(entry.bytes));
      file.set("time", time_value(entry.time));
      files.call<void>("push", file);
    }
    result.set("files", files);
  });
}

// C of the disk `part` into a new .d88 file named `new_name`.
val HeldImage::take_disk_out(int part, const std::string& new_name) {
  return guarded([&](val& result, Report& said) {
    std::optional<std::vector<uint8_t>> bytes;
    command(part, Access::kRead, [&](Session& s, const CheckReport&, Report& rep) {
      bytes = s.disk_image(NewImageForm::kD88, new_name, rep);
      if (bytes) rep.out(msg::kImageCreated, new_name);
      return std::optional<Change>();
    }, said);
    result.set("bytes", bytes ? bytes_value(*bytes) : val::null());
  });
}

val HeldImage::change(int part, const std::string& path,
                      const std::function<std::optional<Change>(Session&, const std::string&, Report&)>& step) {
  return guarded([&](val& result, Report& said) {
    result.set("changed", false);
    const std::optional<std::string> at = volume_path(path, said);
    if (!at) return;
    const Went went = command(part, Access::kWrite, [&](Session& s, const CheckReport&, Report& rep) {
      return step(s, *at, rep);
    }, said);
    result.set("changed", went.saved);
  });
}

// A of a folder holding the items into PATH, with -b and -t. The folder is
// ".", as typed by whoever stands in it; folders the items lie in but do
// not name are made, stamped `now`.
val HeldImage::store(int part, const std::string& path, const val& items, const val& now) {
  return change(part, path, [&](Session& s, const std::string& at, Report& rep) {
    InMemoryHost host;
    host.clock = time_of(now);
    host.entries["."] = {true, {}, host.clock};
    const size_t count = items["length"].as<size_t>();
    for (size_t i = 0; i < count; ++i) {
      const val item = items[i];
      const std::string file = "./" + item["path"].as<std::string>();
      for (size_t slash = file.find('/', 2); slash != std::string::npos; slash = file.find('/', slash + 1)) {
        host.entries.try_emplace(file.substr(0, slash), InMemoryHost::Entry{true, {}, host.clock});
      }
      const bool folder = item["bytes"].isNull();
      host.entries[file] = {folder, folder ? std::vector<uint8_t>() : bytes_of(item["bytes"]), time_of(item["time"])};
    }
    return s.store_tree(at, host, ".", kAllText, rep);
  });
}

val HeldImage::make_directory(int part, const std::string& path, const val& now) {
  const HostTime time = time_of(now);
  return change(part, path, [time](Session& s, const std::string& at, Report& rep) {
    return s.make_directory(at, time, rep);
  });
}

val HeldImage::delete_file(int part, const std::string& path) {
  return change(part, path, [](Session& s, const std::string& at, Report& rep) { return s.delete_file(at, rep); });
}

val HeldImage::remove_directory(int part, const std::string& path) {
  return change(part, path, [](Session& s, const std::string& at, Report& rep) {
    return s.remove_directory(at, rep);
  });
}

// E of the volume, or with `fix` --fix E, its mends saved.
val HeldImage::examine(int part, bool fix) {
  return guarded([&](val& result, Report& said) {
    result.set("changed", false);
    const Runner run = [fix](Session& s, Report& rep) {
      Repair repair;
      return s.examine(fix, repair, rep);
    };
    result.set("changed", run_on(part, fix ? Access::kWrite : Access::kRead, run, said).saved);
  });
}

// The image told as the command line tells it, or nothing after saying
// why it is none.
std::optional<HeldImage> told(std::string name, std::vector<uint8_t> bytes, Report& said) {
  Session session(std::make_unique<MemoryStore>(name, bytes), Access::kRead, kTextFiles);
  if (!session.identify(said)) return std::nullopt;
  const char* container = container_kind_name(session.container().kind);
  std::vector<Volume> volumes = volumes_of(session);
  session.close(said);
  return HeldImage(std::move(name), std::move(bytes), container, std::move(volumes));
}

void hold(val& result, std::optional<HeldImage>& image) {
  result.set("image", image ? val(std::move(*image)) : val::null());
}

val open_image(const std::string& name, const val& bytes) {
  return guarded([&](val& result, Report& said) {
    std::optional<HeldImage> image = told(name, bytes_of(bytes), said);
    if (!image) said.out(msg::kDone);
    hold(result, image);
  });
}

// F of a new image named `name` (a .d88 file, or a raw .2d or .2dd image),
// made in a host in memory as the command line makes it on disk, then
// loaded and checked as F's run does.
val blank_disk(const std::string& name, const val& now) {
  return guarded([&](val& result, Report& said) {
    InMemoryHost host;
    host.clock = time_of(now);
    std::optional<HeldImage> image;
    if (format_image_file(host, said, name)) image = told(name, host.entries[name].bytes, said);
    if (image) {
      image->check(said);
    } else {
      said.out(msg::kDone);
    }
    hold(result, image);
  });
}

void fail_allocation(long after) { armed_failure = after; }

}  // namespace
}  // namespace tarnwick

EMSCRIPTEN_BINDINGS(tarnwick) {
  using tarnwick::HeldImage;
  emscripten::class_<HeldImage>("Image")
      .property("name", &HeldImage::name)
      .property("container", &HeldImage::container)
      .property("volumes", &HeldImage::volumes)
      .function("bytes", &HeldImage::bytes)
      .function("list", &HeldImage::list)
      .function("read", &HeldImage::read)
      .function("exportTree", &HeldImage::export_tree)
      .function("takeDiskOut", &HeldImage::take_disk_out)
      .function("store", &HeldImage::store)
      .function("makeDirectory", &HeldImage::make_directory)
      .function("deleteFile", &HeldImage::delete_file)
      .function("removeDirectory", &HeldImage::remove_directory)
      .function("examine", &HeldImage::examine);
  emscripten::function("open", &tarnwick::open_image);
  emscripten::function("blankDisk", &tarnwick::blank_disk);
  emscripten::function("failAllocation", &tarnwick::fail_allocation);
}
