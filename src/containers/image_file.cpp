#include "containers/image_file.h"

#include <cstdint>
#include <new>
#include <optional>
#include <utility>

#include "containers/d88_disks.h"
#include "containers/journal.h"
#include "containers/save_plan.h"
#include "volume/edit.h"

namespace tarnwick {

ImageFile::ImageFile(Host& host, Console& con, std::string name, std::unique_ptr<File> file)
    : host_(host), con_(con), name_(std::move(name)), file_(std::move(file)) {}

ImageFile::~ImageFile() { close(); }

void ImageFile::locate() {
  // Where the real name cannot be told, the name given stands for it.
  std::optional<HostPath> real = file_->real_path(HostPath::from_argument(name_));
  real_ = real ? std::move(*real) : HostPath::from_argument(name_);
  journal_ = journal_path(real_);
}

std::unique_ptr<ImageFile> ImageFile::open(Host& host, Console& con, const std::string& name, Access access) {
  const bool writes = access == Access::kWrite;
  std::string reason;
  std::unique_ptr<File> file = host.open(HostPath::from_argument(name), writes ? OpenMode::kUpdate : OpenMode::kRead, &reason,
                                         writes ? Lock::kExclusive : Lock::kShared);
  if (!file) {
    con.err(msg::kImageOpenFailed, name.c_str(), reason.c_str());
    return nullptr;
  }
  if (const std::optional<std::string> why = file->lock_unavailable()) {
    con.err(msg::kCannotLock, name.c_str(), why->c_str());
  }
  // No journal can keep the file's other names whole: each would need its
  // own, and a save through one name cannot know of the others.
  if (writes && file->link_count() > 1) {
    con.err(msg::kImageHasManyNames, name.c_str());
    file->close();
    return nullptr;
  }
  std::unique_ptr<ImageFile> image(new ImageFile(host, con, name, std::move(file)));
  image->writes_ = writes;
  image->locate();
  if (!image->recover(access)) {
    image->close();
    return nullptr;
  }
  return image;
}

// Deals with what lies at the journal's name before the volume is loaded.
bool ImageFile::recover(Access access) {
  const bool writes = access == Access::kWrite;
  std::string reason;
  const JournalFile found = find_journal(host_, journal_, &reason);
  if (found != JournalFile::kOurs) {
    return report_recovery(found == JournalFile::kNone      ? Recovery::kNone
                           : found == JournalFile::kForeign ? Recovery::kForeign
                                                            : Recovery::kUnreadable,
                           writes, reason);
  }
  // Without a lock, the journal may be that of a save another run is
  // making right now.
  if (file_->lock_unavailable()) {
    con_.err(msg::kCannotRestore, name_);
    return false;
  }
  bool writable = writes;
  if (!writes && !reopen_to_restore(writable)) return false;
  return report_recovery(recover_from_journal(host_, journal_, file_, writable, &reason), writes, reason);
}

bool ImageFile::reopen_to_restore(bool& writable) {
  // Playing a journal back takes the image for writing, and for this run
  // alone, which then keeps it so. An image that cannot be written is read
  // through the journal instead.
  std::string reason;
  file_->close();
  file_ = host_.open(HostPath::from_argument(name_), OpenMode::kUpdate, &reason, Lock::kExclusive);
  writable = file_ != nullptr;
  if (!file_) file_ = host_.open(HostPath::from_argument(name_), OpenMode::kRead, &reason, Lock::kShared);
  if (!file_) {
    con_.err(msg::kImageOpenFailed, name_, reason);
    return false;
  }
  if (file_->lock_unavailable()) {
    con_.err(msg::kCannotRestore, name_);
    return false;
  }
  return true;
}

bool ImageFile::report_recovery(Recovery recovery, bool writes, const std::string& reason) {
  switch (recovery) {
    case Recovery::kNone:
    case Recovery::kDiscarded:
      return true;
    case Recovery::kForeign:
      // Not ours to read, play back or delete: a reader goes on without
      // it; a save would leave no journal of its own there.
      if (writes) con_.err(msg::kImageWriteFailed, name_);
      return !writes;
    case Recovery::kRestored:
      con_.err(msg::kRestoredFromJournal, name_);
      return true;
    case Recovery::kReadThrough:
      con_.err(msg::kReadOnlyNotRestored, name_);
      return true;
    case Recovery::kWriteFailed:
      con_.err(msg::kImageWriteFailed, name_);
      return false;
    case Recovery::kUnreadable:
      con_.err(msg::kImageOpenFailed, journal_text(), reason);
      return false;
    case Recovery::kNotThisFile:
      con_.err(msg::kJournalNotThisFile, journal_text());
      return false;
  }
  return false;
}

std::unique_ptr<ImageFile> ImageFile::create(Host& host, Console& con, const std::string& name) {
  // Created exclusively: a file that exists, even one that another run has
  // just created, is never touched.
  const HostPath path = HostPath::from_argument(name);
  std::string reason;
  std::unique_ptr<File> file = host.create_locked_file(path, &reason);
  if (!file) {
    const bool exists = host.path_kind(path) != PathKind::kMissing;
    if (exists) {
      con.err(msg::kAlreadyExists, as_host_text(name));
    } else {
      report_write_failed(con, name, reason);
    }
    return nullptr;
  }
  std::unique_ptr<ImageFile> image(new ImageFile(host, con, name, std::move(file)));
  image->locate();
  // Without a lock this is said once, by the opening that follows, unless
  // F ends here.
  const std::optional<std::string> unlocked = image->file_->lock_unavailable();
  // A journal of ours at that name belongs to an image that is gone:
  // played back, it would write that image's old bytes over the new one.
  bool usable = true;
  switch (find_journal(host, image->journal_)) {
    case JournalFile::kNone:
      break;
    case JournalFile::kOurs:
      if (unlocked) {
        con.err(msg::kCannotLock, name.c_str(), unlocked->c_str());
        con.err(msg::kCannotRestore, name.c_str());
        usable = false;
      } else if (!remove_journal(host, image->journal_)) {
        con.err(msg::kImageWriteFailed, name.c_str());
        usable = false;
      }
      break;
    case JournalFile::kForeign:
    case JournalFile::kUnreadable:
      con.err(msg::kImageWriteFailed, name.c_str());
      usable = false;
      break;
  }
  if (!usable) {
    image->discard();
    return nullptr;
  }
  return image;
}

void ImageFile::discard() {
  close();
  host_.remove_file(HostPath::from_argument(name_));
}

void ImageFile::list_disks() { list_d88_disks(*file_, container_.disks, con_); }

bool ImageFile::read_bytes(const DiskSpan& span, std::vector<uint8_t>& out) {
  if (span.size > SIZE_MAX) return false;
  try {
    host_.resize_buffer(out, static_cast<size_t>(span.size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return file_->read_at(span.offset, out.data(), out.size()) == out.size();
}

bool ImageFile::load(int index) {
  pager_ = load_container(*file_, name_, index, con_, container_,
                          [&host = host_](void* p, size_t n) { host.prepare_for_writing(p, n); });
  if (!pager_) return false;
  volume_.emplace(*pager_);
  // Taken before any command changes the volume: what the file holds now.
  if (writes_) use_ = volume_use(*volume_);
  return true;
}

void ImageFile::expect_filling() {
  pager_->advise([&host = host_](void* p, size_t n) { host.prefer_large_pages(p, n); });
}

bool ImageFile::release_output() {
  if (!pager_->read_failed()) {
    con_.release();
    return true;
  }
  // What was printed came from bytes that were not the volume's.
  con_.discard();
  report_load_failure(con_, container_);
  return false;
}

bool ImageFile::save() {
  // Bytes that could not be read are not the volume's: nothing is written.
  if (pager_->read_failed()) return false;
  SavePlan plan;
  const bool planned = plan_save(*file_, *pager_, container_, plan, writes_ ? &use_.unused : nullptr);
  // Planning may read pages too (a D88 save rebuilds whole tracks).
  if (pager_->read_failed()) return false;
  if (writes_) plan_bound_records(container_, bound_records(*volume_, use_), plan);
  std::string reason;
  if (!planned || !write_journaled(host_, journal_, *file_, plan.stretches, plan.unchanged, &reason)) {
    report_write_failed(con_, name_, reason);
    return false;
  }
  return true;
}

bool ImageFile::close() {
  if (!file_) return true;
  // A failure the file met before has been reported where it was met.
  const bool failed_before = file_->failed();
  const bool closed = file_->close();
  closed_failure_ = file_->failure_text();
  if (!closed && writes_ && !failed_before) report_write_failed(con_, name_, closed_failure_);
  file_.reset();
  return closed;
}

}  // namespace tarnwick
