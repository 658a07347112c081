// An image a run works on, over the store that holds its bytes: which
// container it is and, for a D88 file, which disks it holds; the volume
// loaded from it, whose pages the pager reads from the store as they are
// needed; and the save, which plans the stretches that changed and has the
// store write them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "containers/container.h"
#include "containers/d88_disks.h"
#include "containers/image_store.h"
#include "output/report.h"
#include "volume/edit.h"
#include "volume/pager.h"
#include "volume/volume.h"

namespace tarnwick {

class Image {
 public:
  Image(std::unique_ptr<ImageStore> store, Access access);
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;

  // Tells which container the image is and, for a D88 file, which disks
  // it holds. False, after the refusal has been said, when it is none the
  // tool reads.
  bool identify(Report& rep) { return identify_container(store_->file(), store_->name(), rep, container_); }
  const Container& container() const { return container_; }
  // The disks of a D88 file of several disks.
  std::vector<DiskFacts> disks() { return d88_disk_facts(store_->file(), container_.disks); }

  // Loads volume `index` of the container identify() told: the partition
  // (0 or 1) of an HDD image, the disk (from 0) of a D88 file of several
  // disks; and says the container's lines. False, after the failure has
  // been said, when the volume could not be loaded. An image opened for
  // writing also notes which records the volume does not use yet, for the
  // save.
  bool load(int index, Report& rep);
  // The loaded volume.
  Volume& volume() { return *volume_; }
  // Said by a command about to fill much of the volume's memory (A): the
  // store is asked to hold it in large pages, which take far fewer page
  // faults (and hold the whole of each 2 MiB touched).
  void expect_filling();
  // True when a page of the volume could not be read (the file was cut
  // short under the run): what was said from the volume's bytes was not
  // the image's, and the volume is never saved.
  bool read_failed() const { return pager_ && pager_->read_failed(); }

  // Writes what changed in the volume back where it was loaded from,
  // through the store. False when nothing was saved; a failed write has
  // been said.
  bool save(Report& rep);

  // The image's bytes in `span`, read into `out`; false when they are not
  // all there.
  bool read_bytes(const DiskSpan& span, std::vector<uint8_t>& out);
  ImageStore& store() { return *store_; }
  const std::string& name() const { return store_->name(); }
  // Lets go of the store; false, after saying why, when a write failed
  // there.
  bool close(Report& rep) { return store_->close(rep); }

 private:
  std::unique_ptr<ImageStore> store_;
  bool writes_;
  Container container_;
  std::unique_ptr<Pager> pager_;
  std::optional<Volume> volume_;
  // What the volume as loaded uses (for writing only).
  VolumeUse use_;
};

}  // namespace tarnwick
