// Runs one command (the letter TARNWICK_FUZZ_COMMAND) through the whole
// front end on an image, a path and a host file taken from the fuzz input
// (layout in fuzz_input.h), in memory. Besides the sanitizers' findings, a
// run that breaks one of the tool's promises aborts:
// - every run ends in order: "完了しました" last on standard output (for L
//   with -j -r and E with -j, standard output one JSON document or
//   nothing), and an exit status of 2 for the usage, 1 after a failure,
//   else 3 when the check (E: the examination) found a fault, else 0;
// - bytes of the image outside the loaded volume never change, and L, R, X
//   and E change nothing at all;
// - after --fix E (the letter "E+") an examination finds nothing it did not
//   find before;
// - a save that failed is reported once and never followed by "'%s' を削除しました";
// - a host file that R could not close is reported once and replaces nothing;
// - on a sound volume (the check passes and the bitmap marks every block a
//   file holds), a delete that was confirmed and a store that was saved
//   leave the volume sound, with the bitmap changed exactly where the blocks
//   files hold changed: no block leaks, none is freed under a file.
// Faults can also make reads of the host file or of the image come up short.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/command_line.h"
#include "app/frontend.h"
#include "broken_promise.h"
#include "fuzz_input.h"
#include "support/image_builder.h"
#include "support/image_regions.h"
#include "support/json_check.h"
#include "support/memory_host.h"
#include "support/message_text.h"
#include "support/volume_audit.h"
#include "operations/examine.h"
#include "output/render.h"

#ifndef TARNWICK_FUZZ_COMMAND
#error "TARNWICK_FUZZ_COMMAND names the command this target runs (\"L\", \"R\", ...)"
#endif

using namespace tarnwick;
using namespace tarnwick::fuzz;
using tarnwick::testing::ByteRange;
using tarnwick::testing::MemoryHost;

namespace {

constexpr char kLetter = TARNWICK_FUZZ_COMMAND[0];
constexpr bool kFix = TARNWICK_FUZZ_COMMAND[1] == '+';  // "E+": --fix E
constexpr size_t kTrackBytes = 4096;
constexpr size_t kMaxTracks = 164;

std::string image_name_of(Carrier c) {
  switch (c) {
    case Carrier::kRom: return "disk.rom";
    case Carrier::kHdd: return "disk.hdd";
    default: return "disk.d88";
  }
}

Bytes image_of(const CommandInput& in) {
  switch (in.carrier) {
    case Carrier::kRom:
    case Carrier::kD88Raw:
      return in.image_bytes;
    case Carrier::kHdd:
      return testing::make_hdd_image(in.image_bytes);
    case Carrier::kD88Built: {
      // Whole tracks only, and no more than a track table holds.
      Bytes volume = in.image_bytes;
      volume.resize(std::min((volume.size() + kTrackBytes - 1) / kTrackBytes, kMaxTracks) * kTrackBytes, 0);
      return testing::make_d88_image(volume);
    }
  }
  return {};
}

size_t count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// What an examination finds, each finding as its lines' text.
std::set<std::string> findings_of(const std::optional<testing::MemoryVolume>& vol) {
  std::set<std::string> out;
  if (!vol) return out;
  for (const Finding& f : examine_volume(*vol).findings) out.insert(render(f.message, {}) + render(f.reason, {}));
  return out;
}

// The status a run's lines tell: E's from its summary (or, with -j, its
// document), the others' from the check's lines.
int status_told(const Console& con, bool json) {
  if (con.failure_reported() || kLetter != 'E') return testing::exit_status_told(con);
  const bool clean = json ? con.out_text().find(R"("findings":[],)") != std::string::npos
                          : con.out_text().find(msg::kExamineClean.bytes) != std::string::npos;
  return clean ? 0 : kExitVolumeAtFault;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const CommandInput in = split_command_input(data, size);
  const std::string image_name = image_name_of(in.carrier);
  const Bytes image = image_of(in);

  MemoryHost host;
  host.files[image_name] = image;
  const bool reads_host_file = kLetter == 'W' || kLetter == 'I';
  const std::string host_name = kLetter == 'R' ? (in.output_is_image ? image_name : "out.bin")
                                : kLetter == 'X' ? "tree"
                                                 : "host.bin";
  if (reads_host_file && !in.host_absent) host.files[host_name] = in.host_file;
  if (in.host_pipe) host.pipes.push_back(host_name);
  if (const auto t = host_time_of_kind(in.time_kind)) host.times[host_name] = *t;

  // Write faults hit the file the command writes: R's new bytes go into a
  // file beside HOSTFILE.
  host.fault_name = kLetter == 'R' ? host_name + ".tarnwick-new" : image_name;
  switch (in.fault) {
    case Fault::kNone: host.fault_name = "no such file"; break;
    case Fault::kWriteBudget: host.write_budget = in.budget(); break;
    case Fault::kSync: host.fail_sync = true; break;
    case Fault::kClose: host.fail_close = true; break;
    case Fault::kHostRead:
      host.fault_name = host_name;
      host.read_budget = in.budget();
      break;
    case Fault::kImageRead:
      host.fault_name = image_name;
      host.read_budget = in.budget();
      break;
  }

  // With the image's reads cut short the run may load nothing, or load
  // less; what the full image would allow is the most it may write.
  const bool reads_only = kLetter == 'L' || kLetter == 'R' || kLetter == 'X' || (kLetter == 'E' && !kFix);
  const std::vector<ByteRange> writable =
      reads_only ? std::vector<ByteRange>{} : testing::writable_ranges(image, image_name, 0);
  std::optional<testing::MemoryVolume> examined;
  if (kFix) examined = testing::load_image_volume(image, image_name, 0);

  std::optional<testing::MemoryVolume> sound_before;
  if (kLetter == 'W' || kLetter == 'D') {
    sound_before = testing::load_image_volume(image, image_name, 0);
    if (sound_before && !testing::volume_is_sound(*sound_before)) sound_before.reset();
  }

  const std::string command = std::string(in.verbose ? "V" : "") + kLetter;
  // R, W and X move BASIC programs and BSD files as text; L lists the
  // tree as a JSON document, E writes its own.
  const bool json = (kLetter == 'L' || kLetter == 'E') && (in.time_kind & 1) != 0;
  const bool as_text = (kLetter == 'R' || kLetter == 'W' || kLetter == 'X') && (in.time_kind & 1) != 0;
  std::vector<const char*> argv{"tarnwick"};
  if (json) argv.push_back(kLetter == 'L' ? "-jr" : "-j");
  if (as_text) argv.push_back("-bt");
  if (kFix) argv.push_back("--fix");
  // Options end before the command, so a PATH that begins with '-' is a
  // path here, as a user writes one.
  argv.insert(argv.end(), {"--", command.c_str(), image_name.c_str(), "1"});
  if (kLetter != 'E') argv.push_back(in.path.c_str());
  if (kLetter != 'E' && kLetter != 'D' && kLetter != 'M' && kLetter != 'K') argv.push_back(host_name.c_str());
  Console con;
  const int status = run_tarnwick(static_cast<int>(argv.size()), argv.data(), con, host);

  const std::string& out = con.out_text();
  const std::string& err = con.err_text();
  const bool usage = out == msg::kUsage.bytes;
  // 2 for a command line that does not fit, 1 when a failure was reported,
  // else 3 or 0: never a success after a failure.
  if (status != (usage ? kExitWrongUsage : status_told(con, json))) {
    broken("the exit status tells the result");
  }
  if (usage && kLetter != 'L') broken("the usage only for an L path too long for its buffer");
  if (json && !usage && !out.empty() && !testing::is_json_document(out)) {
    broken("standard output carries one JSON document or nothing");
  }
  if (!json && !usage &&
      (out.size() < std::strlen(msg::kDone.bytes) ||
       out.compare(out.size() - std::strlen(msg::kDone.bytes), std::string::npos, msg::kDone.bytes) != 0)) {
    broken("every run ends with the closing message");
  }
  if (testing::first_change_outside(image, host.files[image_name], writable) >= 0) {
    broken("bytes outside the loaded volume never change");
  }

  const std::string write_failed = testing::message_text(msg::kImageWriteFailed, image_name.c_str());
  // The confirmation a saving command prints only after a save that worked.
  const std::string deleted = testing::message_text(kLetter == 'M'   ? msg::kDirectoryCreated
                                      : kLetter == 'K' ? msg::kDirectoryDeleted
                                                       : msg::kDeleted,
                                      in.path.c_str());
  // A PATH may hold the text itself, said again in other lines.
  const bool path_says_it = in.path.find(write_failed.substr(0, write_failed.size() - 1)) != std::string::npos;
  if (count(err, write_failed) > 1 && !path_says_it) broken("a failed save is reported once");
  if (count(err, write_failed) == 1 && count(out, deleted) > 0) broken("no confirmation after a failed save");
  const bool save_cannot_succeed =
      kLetter != 'R' && (in.fault == Fault::kSync || (in.fault == Fault::kWriteBudget && in.budget() == 0));
  if (save_cannot_succeed && count(out, deleted) > 0) broken("no confirmation after a failed save");
  // The line may carry the system's reason before its end.
  std::string cannot_write = testing::message_text(msg::kCannotWrite, "out.bin");
  cannot_write.pop_back();
  const auto out_file = host.files.find("out.bin");
  if (kLetter == 'R' && in.fault == Fault::kClose &&
      (count(err, cannot_write) > 1 || (out_file != host.files.end() && !out_file->second.empty()))) {
    broken("new bytes that cannot be closed are reported once and replace nothing");
  }

  // A store of an empty body makes an OBJ file of size 0, which the check
  // reports; that is how the format has it.
  const bool writes_fail = in.fault == Fault::kWriteBudget || in.fault == Fault::kSync || in.fault == Fault::kClose;
  const bool empty_body = in.host_file.size() >= 20 && in.host_file[18] == 0 && in.host_file[19] == 0;
  const bool changed = host.files[image_name] != image;
  const bool kept_sound = (kLetter == 'D' && count(out, deleted) > 0) || (kLetter == 'W' && changed && !empty_body);
  if (sound_before && kept_sound && !writes_fail) {
    std::optional<testing::MemoryVolume> after = testing::load_image_volume(host.files[image_name], image_name, 0);
    if (!after) broken("a saved volume loads again");
    if (!testing::sound_volume_moved_in_step(*sound_before, *after)) {
      broken("storing and deleting keep a sound volume sound, its bitmap in step with its files");
    }
  }
  // A save cut short may leave the system record half written.
  if (examined && !writes_fail) {
    const std::set<std::string> before = findings_of(examined);
    for (const std::string& f : findings_of(testing::load_image_volume(host.files[image_name], image_name, 0))) {
      if (!before.count(f)) broken("a repair finds nothing it did not find before");
    }
  }
  return 0;
}
