#include "operations/session.h"

#include <utility>

#include "operations/delete.h"
#include "operations/directory.h"
#include "operations/import.h"
#include "operations/store.h"
#include "operations/store_tree.h"

namespace tarnwick {

namespace {

using Confirmation = Message<Severity::kInfo, arg::Path>;

// What a command that changed the volume says once saved: the
// confirmation with its path, if it has one.
std::optional<Change> changed(bool change, const Confirmation* confirmation = nullptr, std::string_view path = {}) {
  if (!change) return std::nullopt;
  Change c;
  if (confirmation) c.after_save.out(*confirmation, path);
  return c;
}

}  // namespace

Session::Session(std::unique_ptr<ImageStore> store, Access access, TextForm text_files)
    : image_(std::move(store), access), text_files_(text_files) {}

int Session::volume_count() const {
  const Container& c = container();
  if (c.kind == ContainerKind::kHdd) return 2;
  return c.several_disks() ? static_cast<int>(c.disks.size()) : 1;
}

Ran Session::run(Access access, const Work& work, Report& rep) {
  const size_t mark = rep.size();
  const CheckReport before = check(rep.verbose());
  Report said = before.lines;
  rep.append(std::move(said));
  // A raw image's size is shared by other machines' dumps: it is written
  // only when the check found it sound.
  const bool refused = access == Access::kWrite && container().kind == ContainerKind::kRaw && !before.sound;
  if (refused) rep.err(msg::kRawNotWritten, name());
  Ran ran;
  ran.sound = before.sound;
  if (!image_.read_failed() && !refused) {
    std::optional<Change> change = work(before, rep);
    if (change && image_.save(rep)) {
      ran.saved = true;
      rep.append(std::move(change->after_save));
    }
  }
  if (image_.read_failed()) {
    // What was said from bytes that were not the volume's is taken back.
    rep.drop_from(mark);
    report_load_failure(rep, container());
    ran.read_failed = true;
  } else if (!refused) {
    CheckReport after = check(rep.verbose());
    ran.sound = ran.sound && after.sound;
    rep.append(std::move(after.lines));
  }
  return ran;
}

// The bitmap of a raw image is mended only when the check passes it, as
// any other write of one.
Ran Session::examine(bool fix, Repair& result, Report& rep) {
  const size_t mark = rep.size();
  Ran ran;
  const bool refused = fix && container().kind == ContainerKind::kRaw && !check().sound;
  if (refused) rep.err(msg::kRawNotWritten, name());
  if (fix && !refused) {
    result = repair_volume(volume());
    ran.saved = result.changed() && image_.save(rep);
    if (ran.saved || !result.changed()) report_repair(result, rep);
  } else {
    result = Repair{{}, examine_volume(volume())};
    report_examination(result.after, false, rep);
  }
  if (image_.read_failed()) {
    rep.drop_from(mark);
    report_load_failure(rep, container());
    ran.read_failed = true;
  }
  ran.sound = result.after.sound();
  return ran;
}

Listing Session::list(std::string_view path, bool recursive, const NamePattern* pattern) {
  return list_entries(volume(), path, recursive, pattern);
}

FileOut Session::read(std::string_view path, TextKinds kinds, bool with_header, Report& rep) {
  const std::optional<PathResult> found = find_file(volume(), rep, path);
  if (!found) return {};
  const MemoryHint hint = [&store = store()](void* p, size_t n) { store.prepare_for_writing(p, n); };
  return read_found_file(volume(), rep, hint, *found, kinds, text_files_, with_header);
}

void Session::extract_to_host(std::string_view path, Host& host, const std::string& host_file, TextKinds kinds,
                              Report& rep) {
  tarnwick::extract_to_host(volume(), rep, host, name(), path, host_file, kinds, text_files_);
}

ExtractedTree Session::extract_tree(const std::string& path, Host& host, const std::string& host_folder,
                                    TextKinds kinds, Report& rep, const TreePick& pick) {
  return tarnwick::extract_tree(volume(), rep, host, path, host_folder, kinds, text_files_, pick);
}

std::optional<Change> Session::store(const std::string& path, Host& host, const std::string& host_file,
                                     TextKinds kinds, Report& rep) {
  return changed(store_host_file(volume(), rep, host, path, host_file, kinds, text_files_));
}

std::optional<Change> Session::delete_file(const std::string& path, Report& rep) {
  return changed(delete_path(volume(), rep, path), &msg::kDeleted, path);
}

std::optional<Change> Session::delete_matching(const PathPattern& pattern, std::string_view shown, Report& rep) {
  const std::optional<std::vector<std::string>> deleted = tarnwick::delete_matching(volume(), rep, pattern, shown);
  if (!deleted) return std::nullopt;
  Change c;
  for (const std::string& path : *deleted) c.after_save.out(msg::kDeleted, path);
  return c;
}

std::optional<Change> Session::make_directory(const std::string& path, const HostTime& now, Report& rep) {
  return changed(tarnwick::make_directory(volume(), rep, path, now), &msg::kDirectoryCreated, path);
}

std::optional<Change> Session::remove_directory(const std::string& path, Report& rep) {
  return changed(tarnwick::remove_directory(volume(), rep, path), &msg::kDirectoryDeleted, path);
}

std::optional<Change> Session::import_records(const std::string& record_text, Host& host,
                                              const std::string& host_file, Report& rep) {
  return changed(tarnwick::import_records(volume(), rep, host, record_text, host_file));
}

std::optional<Change> Session::store_tree(const std::string& path, Host& host, const std::string& host_folder,
                                          TextKinds kinds, Report& rep) {
  return store_trees(path, host, {host_folder}, kinds, rep);
}

std::optional<Change> Session::store_trees(const std::string& path, Host& host,
                                           const std::vector<std::string>& host_items, TextKinds kinds, Report& rep) {
  image_.expect_filling();
  const std::optional<std::vector<std::string>> stored =
      tarnwick::store_trees(volume(), rep, host, path, host_items, kinds, text_files_);
  if (!stored) return std::nullopt;
  Change c;
  report_stored_tree(c.after_save, *stored);
  return c;
}

}  // namespace tarnwick
