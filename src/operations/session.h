// A session: one image, the volume chosen in it, and the operations on
// that volume, each giving values and the lines it says.
//
// The command line runs one session over the image file it was given (the
// file store); the web page holds one for each image it has in memory (the
// memory store). Both go the same way: identify() tells the container,
// load() chooses a volume of it, and run() runs one command on the volume
// as every command runs: the check before it, the command, the save of
// what the command changed, the check after it. The operations below are
// what a command does inside run(); a command that may change the volume
// gives back, when it did, the lines to say once the change is saved.
//
// Nothing is printed: every line goes into the Report a call is given (its
// traces kept when the report is verbose), and the host is reached only
// through the Host a call is given, so the page can bring a host held in
// memory (host/in_memory_host.h).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/text_file.h"
#include "containers/image.h"
#include "host/file.h"
#include "operations/check.h"
#include "operations/convert.h"
#include "operations/examine.h"
#include "operations/extract.h"
#include "operations/list.h"
#include "operations/tree.h"
#include "output/report.h"

namespace tarnwick {

// What a command that changed the volume says once the change is saved.
struct Change {
  Report after_save;
};

// How one run of a command went.
struct Ran {
  bool saved = false;        // the command changed the volume, and it was saved
  bool read_failed = false;  // the image could not be read: the command's
                             // lines were taken back, the failure said
  // The check before and after the command (E: the examination, after any
  // mends) found nothing at fault.
  bool sound = true;
};

class Session {
 public:
  // A session over an open store, read or written as `access` says, whose
  // listings and BSD text reach the host in `text_files`.
  Session(std::unique_ptr<ImageStore> store, Access access, TextForm text_files = {});

  // The image.
  bool identify(Report& rep) { return image_.identify(rep); }  // the container; false after the refusal
  const Container& container() const { return image_.container(); }
  std::vector<DiskFacts> disks() { return image_.disks(); }  // of a D88 file of several disks
  int volume_count() const;  // the volumes load() takes: 2 partitions, the disks, or 1
  const std::string& name() const { return image_.name(); }
  ImageStore& store() { return image_.store(); }
  bool close(Report& rep) { return image_.close(rep); }

  // Chooses volume `index` (a partition from 0, a disk from 0) and says the
  // container's lines; false after saying why it cannot be loaded.
  bool load(int index, Report& rep) { return image_.load(index, rep); }
  Volume& volume() { return image_.volume(); }

  // One command on the loaded volume: the check before it, then `work`
  // (unless the check refuses a raw image for writing), the save of what it
  // changed and the lines it says once saved, then the check after it, all
  // said into `rep`. Should a page of the image not be read meanwhile (the
  // file cut short), what was said from then on is taken back and the image
  // reported as one that does not load; nothing is saved.
  using Work = std::function<std::optional<Change>(const CheckReport& before, Report& rep)>;
  Ran run(Access access, const Work& work, Report& rep);

  // E: the examination in place of the check around a command. Says what
  // it found; with `fix`, the mends made, saved, and what remains (see
  // report_repair). `result` gets the repair: with no mend when `fix` is
  // false, or when the image, a raw one the check does not pass, is not
  // written (which fails, said why).
  Ran examine(bool fix, Repair& result, Report& rep);

  // The operations; each says its lines into `rep`.
  CheckReport check(bool verbose = false) { return sanity_check(image_.volume(), verbose); }
  Listing list(std::string_view path, bool recursive = false, const NamePattern* pattern = nullptr);  // L
  // R: the file `path` names, as its bytes (with `kinds` as text).
  FileOut read(std::string_view path, TextKinds kinds, bool with_header, Report& rep);
  // R into `host_file` of `host`.
  void extract_to_host(std::string_view path, Host& host, const std::string& host_file, TextKinds kinds, Report& rep);
  // X into `host_folder` of `host`.
  ExtractedTree extract_tree(const std::string& path, Host& host, const std::string& host_folder, TextKinds kinds,
                             Report& rep, const TreePick& pick = {});
  // W of `host_file` of `host`.
  std::optional<Change> store(const std::string& path, Host& host, const std::string& host_file, TextKinds kinds,
                              Report& rep);
  std::optional<Change> delete_file(const std::string& path, Report& rep);                         // D
  // D of every match of a wildcard PATH (`shown` as typed), in one save.
  std::optional<Change> delete_matching(const PathPattern& pattern, std::string_view shown, Report& rep);
  std::optional<Change> make_directory(const std::string& path, const HostTime& now, Report& rep);  // M
  std::optional<Change> remove_directory(const std::string& path, Report& rep);                    // K
  // I of `host_file` of `host`.
  std::optional<Change> import_records(const std::string& record_text, Host& host, const std::string& host_file,
                                       Report& rep);
  // A of `host_folder` of `host`.
  std::optional<Change> store_tree(const std::string& path, Host& host, const std::string& host_folder,
                                   TextKinds kinds, Report& rep);
  // W of several host files (or folders) into directory `path`, as A stores them, in one save.
  std::optional<Change> store_trees(const std::string& path, Host& host, const std::vector<std::string>& host_items,
                                    TextKinds kinds, Report& rep);
  // C: the loaded disk as an image file's bytes in `form`.
  std::optional<std::vector<uint8_t>> disk_image(NewImageForm form, const std::string& new_name, Report& rep) {
    return disk_image_bytes(image_, form, new_name, rep);
  }

 private:
  Image image_;
  TextForm text_files_;
};

}  // namespace tarnwick
