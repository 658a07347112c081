#include "containers/image_file.h"

#include <optional>
#include <utility>

#include "containers/journal.h"

namespace tarnwick {

ImageFile::ImageFile(Host& host, std::string name, std::unique_ptr<File> file)
    : host_(host), name_(std::move(name)), file_(std::move(file)) {}

ImageFile::~ImageFile() {
  Report unsaid;
  close(unsaid);
}

void ImageFile::locate() {
  // Where the real name cannot be told, the name given stands for it.
  std::optional<HostPath> real = file_->real_path(HostPath::from_argument(name_));
  real_ = real ? std::move(*real) : HostPath::from_argument(name_);
  journal_ = journal_path(real_);
}

std::unique_ptr<ImageFile> ImageFile::open(Host& host, Report& rep, const std::string& name, Access access) {
  std::unique_ptr<ImageFile> image = open_locked(host, rep, name, access);
  if (image && !image->settle(rep)) return nullptr;
  return image;
}

std::unique_ptr<ImageFile> ImageFile::open_locked(Host& host, Report& rep, const std::string& name, Access access) {
  const bool writes = access == Access::kWrite;
  std::string reason;
  std::unique_ptr<File> file = host.open(HostPath::from_argument(name), writes ? OpenMode::kUpdate : OpenMode::kRead, &reason,
                                         writes ? Lock::kExclusive : Lock::kShared);
  if (!file) {
    rep.err(msg::kImageOpenFailed, name.c_str(), reason.c_str());
    return nullptr;
  }
  if (const std::optional<std::string> why = file->lock_unavailable()) {
    rep.err(msg::kCannotLock, name.c_str(), why->c_str());
  }
  std::unique_ptr<ImageFile> image(new ImageFile(host, name, std::move(file)));
  image->writes_ = writes;
  return image;
}

bool ImageFile::settle(Report& rep) {
  // No journal can keep the file's other names whole: each would need its
  // own, and a save through one name cannot know of the others.
  if (writes_ && file_->link_count() > 1) {
    rep.err(msg::kImageHasManyNames, name_.c_str());
    file_->close();
    file_.reset();
    return false;
  }
  locate();
  if (!recover(rep)) {
    close(rep);
    return false;
  }
  return true;
}

// Deals with what lies at the journal's name before the volume is loaded.
bool ImageFile::recover(Report& rep) {
  const bool writes = writes_;
  std::string reason;
  const JournalFile found = find_journal(host_, journal_, &reason);
  if (found != JournalFile::kOurs) {
    return report_recovery(found == JournalFile::kNone      ? Recovery::kNone
                           : found == JournalFile::kForeign ? Recovery::kForeign
                                                            : Recovery::kUnreadable,
                           writes, reason, rep);
  }
  // Without a lock, the journal may be that of a save another run is
  // making right now.
  if (file_->lock_unavailable()) {
    rep.err(msg::kCannotRestore, name_);
    return false;
  }
  bool writable = writes;
  if (!writes && !reopen_to_restore(writable, rep)) return false;
  return report_recovery(recover_from_journal(host_, journal_, file_, writable, &reason), writes, reason, rep);
}

bool ImageFile::reopen_to_restore(bool& writable, Report& rep) {
  // Playing a journal back takes the image for writing, and for this run
  // alone, which then keeps it so. An image that cannot be written is read
  // through the journal instead.
  std::string reason;
  file_->close();
  file_ = host_.open(HostPath::from_argument(name_), OpenMode::kUpdate, &reason, Lock::kExclusive);
  writable = file_ != nullptr;
  if (!file_) file_ = host_.open(HostPath::from_argument(name_), OpenMode::kRead, &reason, Lock::kShared);
  if (!file_) {
    rep.err(msg::kImageOpenFailed, name_, reason);
    return false;
  }
  if (file_->lock_unavailable()) {
    rep.err(msg::kCannotRestore, name_);
    return false;
  }
  return true;
}

bool ImageFile::report_recovery(Recovery recovery, bool writes, const std::string& reason, Report& rep) {
  switch (recovery) {
    case Recovery::kNone:
    case Recovery::kDiscarded:
      return true;
    case Recovery::kForeign:
      // Not ours to read, play back or delete: a reader goes on without
      // it; a save would leave no journal of its own there.
      if (writes) rep.err(msg::kImageWriteFailed, name_);
      return !writes;
    case Recovery::kRestored:
      rep.err(msg::kRestoredFromJournal, name_);
      return true;
    case Recovery::kReadThrough:
      rep.err(msg::kReadOnlyNotRestored, name_);
      return true;
    case Recovery::kWriteFailed:
      rep.err(msg::kImageWriteFailed, name_);
      return false;
    case Recovery::kUnreadable:
      rep.err(msg::kImageOpenFailed, journal_text(), reason);
      return false;
    case Recovery::kNotThisFile:
      rep.err(msg::kJournalNotThisFile, journal_text());
      return false;
  }
  return false;
}

std::unique_ptr<ImageFile> ImageFile::create(Host& host, Report& rep, const std::string& name) {
  // Created exclusively: a file that exists, even one that another run has
  // just created, is never touched.
  const HostPath path = HostPath::from_argument(name);
  std::string reason;
  std::unique_ptr<File> file = host.create_locked_file(path, &reason);
  if (!file) {
    const bool exists = host.path_kind(path) != PathKind::kMissing;
    if (exists) {
      rep.err(msg::kAlreadyExists, as_host_text(name));
    } else {
      report_write_failed(rep, name, reason);
    }
    return nullptr;
  }
  std::unique_ptr<ImageFile> image(new ImageFile(host, name, std::move(file)));
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
        rep.err(msg::kCannotLock, name.c_str(), unlocked->c_str());
        rep.err(msg::kCannotRestore, name.c_str());
        usable = false;
      } else if (!remove_journal(host, image->journal_)) {
        rep.err(msg::kImageWriteFailed, name.c_str());
        usable = false;
      }
      break;
    case JournalFile::kForeign:
    case JournalFile::kUnreadable:
      rep.err(msg::kImageWriteFailed, name.c_str());
      usable = false;
      break;
  }
  if (!usable) {
    image->discard();
    return nullptr;
  }
  return image;
}

bool ImageFile::write_new(Host& host, Report& rep, const std::string& name, const std::function<bool(File&)>& fill) {
  std::unique_ptr<ImageFile> image = create(host, rep, name);
  if (!image) return false;
  bool written = fill(image->file()) && image->file().sync();
  written = image->close(rep) && written;
  if (!written) {
    const std::string reason = image->failure_text();
    image->discard();  // no partial image stays behind
    report_write_failed(rep, name, reason);
  }
  return written;
}

void ImageFile::discard() {
  Report unsaid;
  close(unsaid);
  host_.remove_file(HostPath::from_argument(name_));
}

bool ImageFile::write(const SavePlan& plan, Report& rep) {
  std::string reason;
  if (!write_journaled(host_, journal_, *file_, plan.stretches, plan.unchanged, &reason)) {
    report_write_failed(rep, name_, reason);
    return false;
  }
  return true;
}

bool ImageFile::close(Report& rep) {
  if (!file_) return true;
  // A failure the file met before has been reported where it was met.
  const bool failed_before = file_->failed();
  const bool closed = file_->close();
  closed_failure_ = file_->failure_text();
  if (!closed && writes_ && !failed_before) report_write_failed(rep, name_, closed_failure_);
  file_.reset();
  return closed;
}

}  // namespace tarnwick
