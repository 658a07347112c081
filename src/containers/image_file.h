// The image file a run works on, owned from opening to closing: the name
// the user gave (every message names the image by it), the file's real
// name, the open file and its lock, the journal beside the real file, the
// container the volume was loaded from and the pager that holds the
// volume's bytes. Everything that reads or writes the image goes through
// it: the volume's pages come in as they are needed, and a save writes back
// what changed, under the journal.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "containers/container.h"
#include "containers/journal.h"
#include "host/file.h"
#include "host/host_path.h"
#include "output/console.h"
#include "volume/edit.h"
#include "volume/pager.h"
#include "volume/volume.h"

namespace tarnwick {

class ImageFile {
 public:
  // Reading shares the image with other readers and needs no more than a
  // read-only file or medium; writing holds it alone.
  enum class Access { kRead, kWrite };

  // Opens the image for `access` with the lock that goes with it, and
  // brings it back from a save that was interrupted, as the journal beside
  // it allows. Nothing, after the failure has been reported, when the run
  // cannot go on.
  static std::unique_ptr<ImageFile> open(Host& host, Console& con, const std::string& name, Access access);

  // Creates a new image file, which must not exist yet, locked for
  // writing. A journal of ours left at its journal's name (by an image of
  // that name that is gone) is deleted; anything else there refuses the
  // creation, the new file removed again. Nothing, after the failure has
  // been reported, when the file cannot be made.
  static std::unique_ptr<ImageFile> create(Host& host, Console& con, const std::string& name);

  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;
  ~ImageFile();

  // Tells which container the image is and, for a D88 file, which disks
  // it holds. False, after the refusal has been reported, when it is none
  // the tool reads.
  bool identify() { return identify_container(*file_, name_, con_, container_); }
  const Container& container() const { return container_; }
  // Lists the disks of a D88 file of several disks.
  void list_disks();

  // Loads volume `index` of the container identify() told: the partition
  // (0 or 1) of an HDD image, the disk (from 0) of a D88 file of several
  // disks; and reports the container. False, after the failure has been
  // reported, when the volume could not be loaded. An image opened for
  // writing also notes which records the volume does not use yet, for the
  // save.
  bool load(int index);
  // The loaded volume.
  Volume& volume() { return *volume_; }
  // Said by a command about to fill much of the volume's memory (A): the
  // host is asked to hold it in large pages, which take far fewer page
  // faults (and hold the whole of each 2 MiB touched).
  void expect_filling();

  // The volume's pages are read as they are needed: what the run prints
  // from them is held back (hold_output) until the reads are known good.
  // release_output prints it, or, when a page could not be read (the file
  // was cut short under the run), takes it back and reports the image as
  // one that cannot be loaded; false then.
  void hold_output() { con_.hold(); }
  bool release_output();

  // Writes what changed in the volume back where it was loaded from, safe
  // from crashes. A volume whose pages could not all be read is not the
  // image's and is never written (release_output reports it). False when
  // nothing was saved; a failed write has been reported.
  bool save();
  // Removes a file that create() made and that never became an image.
  void discard();

  File& file() { return *file_; }
  // The image file's bytes in `span`, read into `out`; false when they are
  // not all there.
  bool read_bytes(const DiskSpan& span, std::vector<uint8_t>& out);
  const std::string& name() const { return name_; }
  // Closes the file, letting go of its lock; false, after reporting it,
  // when a write to it failed there.
  bool close();
  // The system's text for the first failure of the file, closed or not.
  std::string failure_text() const { return file_ ? file_->failure_text() : closed_failure_; }

 private:
  ImageFile(Host& host, Console& con, std::string name, std::unique_ptr<File> file);

  // Finds the real name and the journal's name beside it.
  void locate();
  bool recover(Access access);
  // Reopens an image opened for reading to play its journal back; false
  // after reporting why the run cannot go on.
  bool reopen_to_restore(bool& writable);
  // Says what recovery found; false when the run cannot go on.
  bool report_recovery(Recovery recovery, bool writes, const std::string& reason);
  std::string journal_text() const { return journal_.text(); }

  Host& host_;
  Console& con_;
  std::string name_;
  HostPath real_;
  HostPath journal_;
  std::unique_ptr<File> file_;
  Container container_;
  std::unique_ptr<Pager> pager_;
  std::optional<Volume> volume_;
  bool writes_ = false;
  std::string closed_failure_;
  // What the volume as loaded uses (for writing only).
  VolumeUse use_;
};

}  // namespace tarnwick
