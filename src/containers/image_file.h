// The file store: an image file on the host, owned from opening to
// closing. It holds the name the user gave (every message names the image
// by it), the file's real name, the open file and its lock, and the
// journal beside the real file, under which a save writes what changed.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "containers/image_store.h"
#include "containers/journal.h"
#include "host/file.h"
#include "host/host_path.h"
#include "output/report.h"

namespace tarnwick {

class ImageFile final : public ImageStore {
 public:
  // Opens the image for `access` with the lock that goes with it, and
  // brings it back from a save that was interrupted, as the journal beside
  // it allows. Nothing, after the failure has been said, when the run
  // cannot go on.
  static std::unique_ptr<ImageFile> open(Host& host, Report& rep, const std::string& name, Access access);

  // open() in two halves, for a run that judges the file before it is
  // restored: the file opened with its lock, nothing read yet; then the
  // refusal of a file of several names for writing and the recovery, false
  // (the file closed) after saying why the run cannot go on.
  static std::unique_ptr<ImageFile> open_locked(Host& host, Report& rep, const std::string& name, Access access);
  bool settle(Report& rep);

  // Creates a new image file, which must not exist yet, locked for
  // writing. A journal of ours left at its journal's name (by an image of
  // that name that is gone) is deleted; anything else there refuses the
  // creation, the new file removed again. Nothing, after the failure has
  // been said, when the file cannot be made.
  static std::unique_ptr<ImageFile> create(Host& host, Report& rep, const std::string& name);

  // Creates the image file `name` as create() does and has `fill` write it
  // from offset 0. The file is synced; when anything fails the failure is
  // said and the file removed again, so no partial image stays behind.
  // True when the image is written.
  static bool write_new(Host& host, Report& rep, const std::string& name, const std::function<bool(File&)>& fill);

  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  // Closes the file if that has not been done (saying nothing).
  ~ImageFile() override;

  File& file() override { return *file_; }
  const std::string& name() const override { return name_; }
  // Writes the plan's stretches under the journal, safe from crashes, the
  // journal binding its unchanged runs too.
  bool write(const SavePlan& plan, Report& rep) override;
  void prepare_for_writing(void* p, size_t n) override { host_.prepare_for_writing(p, n); }
  void prefer_large_pages(void* p, size_t n) override { host_.prefer_large_pages(p, n); }
  // Closes the file, letting go of its lock.
  bool close(Report& rep) override;

  // Removes a file that create() made and that never became an image.
  void discard();
  // The system's text for the first failure of the file, closed or not.
  std::string failure_text() const { return file_ ? file_->failure_text() : closed_failure_; }

 private:
  ImageFile(Host& host, std::string name, std::unique_ptr<File> file);

  // Finds the real name and the journal's name beside it.
  void locate();
  bool recover(Report& rep);
  // Reopens an image opened for reading to play its journal back; false
  // after saying why the run cannot go on.
  bool reopen_to_restore(bool& writable, Report& rep);
  // Says what recovery found; false when the run cannot go on.
  bool report_recovery(Recovery recovery, bool writes, const std::string& reason, Report& rep);
  std::string journal_text() const { return journal_.text(); }

  Host& host_;
  std::string name_;
  HostPath real_;
  HostPath journal_;
  std::unique_ptr<File> file_;
  bool writes_ = false;
  std::string closed_failure_;
};

}  // namespace tarnwick
