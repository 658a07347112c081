#include "app/frontend.h"

#include <memory>
#include <optional>
#include <utility>

#include "app/command_line.h"
#include "app/commands.h"
#include "app/listing.h"
#include "containers/container.h"
#include "containers/image_file.h"
#include "operations/session.h"
#include "volume/path_text.h"
#include "volume/pattern.h"

namespace tarnwick {

namespace {

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

// The closing sequence of every run that gets past the command line: 1
// when something failed, else 3 when the volume is not `sound`, else 0.
int finish(Console& con, bool sound = true) {
  con.out(msg::kDone);
  con.flush();
  if (con.failure_reported()) return kExitFailure;
  return sound ? 0 : kExitVolumeAtFault;
}

int wrong_usage(const CommandLine& a, Console& con) {
  report_usage(a, con);
  return kExitWrongUsage;
}

// A PART other than 1 or 2 is a disk number when the image is a D88 file of
// several disks: judged on the file as it was opened, before anything is
// restored (no save changes the disk headers), the command line then read
// again. False when the PART does not fit after all.
bool part_fits(CommandLine& a, int argc, const char* const argv[], bool utf8_paths, ImageFile* file) {
  Report unsaid;
  Container container;
  if (!file || !identify_container(file->file(), a.image_name, unsaid, container) || !container.several_disks()) {
    return false;
  }
  a = parse_command_line(argc, argv, utf8_paths, true);
  return a.fault == UsageFault::kNone;
}

// The volume the run works on (see Image::load), or nothing when the run
// ends here: C's image is no floppy disk's, L without PART has listed the
// disks of a file of several, or PART names none of them.
std::optional<int> choose_volume(Run& run, const Command& c, Report& said) {
  const CommandLine& a = run.line;
  Session& session = *run.session;
  const Container& container = session.container();
  if (c.floppy_only && !container.floppy()) {
    said.err(msg::kNotFloppy, a.image_name);
    return std::nullopt;
  }
  if (!container.several_disks()) return a.partition_index;
  const unsigned count = static_cast<unsigned>(container.disks.size());
  if (!a.part) {
    if (a.options.json) {
      run.con.data(disks_document(a.image_name, session.disks()));
    } else {
      report_d88_disks(session.disks(), said);
    }
    return std::nullopt;
  }
  const std::optional<unsigned> disk = disk_number(*a.part);
  if (!disk || *disk > count) {
    said.err(msg::kNoSuchDisk, *a.part, count);
    return std::nullopt;
  }
  return static_cast<int>(*disk - 1);
}

// The command on the loaded volume as every command runs (Session::run),
// or as one that checks the volume itself, then what it said, a document
// in its place among the lines. Whether the volume was found sound.
bool run_loaded(Run& run, const Command& c) {
  const Session::Work work = [&run, &c](const CheckReport& before, Report& rep) -> std::optional<Change> {
    return c.handler ? c.handler(run, before, rep) : std::nullopt;
  };
  Report said(run.line.verbose);
  const Ran ran = c.checks_itself ? c.checks_itself(run, said) : run.session->run(c.access, work, said);
  const bool with_document = run.document && !ran.read_failed;
  const std::vector<Line>& lines = said.lines();
  for (size_t i = 0; i <= lines.size(); ++i) {
    if (with_document && i == run.document_at) run.con.data(*run.document);
    if (i < lines.size()) run.con.show(lines[i]);
  }
  return ran.sound;
}

// The image from its identification to its closing; whether the volume
// was found sound (true when none was loaded).
bool run_image(Run& run, const Command& c, std::unique_ptr<ImageFile> file) {
  Console& con = run.con;
  Session session(std::move(file), access_of(c, run.line), run.text_files());
  run.session = &session;
  Report said(run.line.verbose);
  bool sound = true;
  if (say(con, session.identify(said), said)) {
    const std::optional<int> index = choose_volume(run, c, said);
    con.show(said);
    said.drop_from(0);
    if (index && say(con, session.load(*index, said), said)) sound = run_loaded(run, c);
  }
  say(con, session.close(said), said);
  return sound;
}

// Everything before the image opens that can end the run: PATH turned
// into the volume's bytes, the arguments traced, the command's own step.
bool before_opening(Run& run, const Command& c, CommandLine& a) {
  Console& con = run.con;
  if (a.path && c.wildcards) {
    const PatternText text = con.utf8_paths() ? PatternText::kUtf8 : PatternText::kBytes;
    if (has_wildcard(*a.path, text)) run.pattern = split_path_pattern(*a.path, text);
  }
  if (a.path) {
    const std::optional<std::string> bytes = path_argument(*a.path, con.utf8_paths());
    if (!bytes) {
      con.err(msg::kPathNotShiftJis, *a.path);
      return false;
    }
    a.path = *bytes;
  }
  echo_arguments(con, a);
  Report said(a.verbose);
  return !c.before_open || say(con, c.before_open(run, said), said);
}

}  // namespace

int run_tarnwick(int argc, const char* const argv[], Console& con, Host& host) {
  CommandLine a = parse_command_line(argc, argv, con.utf8_paths());
  if (answer_help_or_version(a, con)) return 0;
  // A PART that names no partition may name a disk: the image is opened to
  // tell, and what its opening said is dropped when it does not.
  const bool part_to_judge = a.fault == UsageFault::kPart;
  if (a.fault != UsageFault::kNone && !part_to_judge) return wrong_usage(a, con);
  const Command& c = *find_command(a.letter);
  Report opening(a.verbose);
  std::unique_ptr<ImageFile> file;
  if (part_to_judge) {
    file = ImageFile::open_locked(host, opening, a.image_name, access_of(c, a));
    if (!part_fits(a, argc, argv, con.utf8_paths(), file.get())) return wrong_usage(a, con);
  }
  con.verbose = a.verbose;
  con.set_quiet(a.options.quiet);
  // Standard output that carries a document or a file carries nothing else.
  if (a.options.json) con.keep_output_for_data();
  const std::string data = c.data == DataOut::kTarget ? a.target : a.host_file.value_or("");
  if (c.data != DataOut::kNone && host.writes_standard_output(HostPath::from_argument(data))) con.divert_output();
  Run run{a, con, host, nullptr, std::nullopt, 0, std::nullopt};
  if (!c.needs_image) {
    say(con, c.before_open(run, opening), opening);
    return finish(con);
  }
  if (!before_opening(run, c, a)) return finish(con);
  if (!file) file = ImageFile::open_locked(host, opening, a.image_name, access_of(c, a));
  bool sound = true;  // a volume that never loaded is none at fault
  if (say(con, file && file->settle(opening), opening)) sound = run_image(run, c, std::move(file));
  return finish(con, sound);
}

}  // namespace tarnwick
