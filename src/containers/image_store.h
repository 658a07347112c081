// Where an image's bytes live, and how a save reaches them.
//
// An ImageStore holds one image file's bytes for a run: the file store
// (containers/image_file.h) an image file on the host, with its lock, its
// journal and its crash-safe save; the memory store
// (containers/memory_store.h) bytes in memory, which a save changes in
// place. Telling the container, loading a volume and planning a save work
// the same over either (containers/image.h).
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "containers/save_plan.h"
#include "host/file.h"
#include "output/report.h"

namespace tarnwick {

// Reading shares an image with other readers and needs no more than a
// read-only file or medium; writing holds it alone.
enum class Access { kRead, kWrite };

class ImageStore {
 public:
  virtual ~ImageStore() = default;

  // The image's bytes as they stand.
  virtual File& file() = 0;
  // The name every message gives the image: as the user gave it.
  virtual const std::string& name() const = 0;
  // Writes the save's stretches over the image's bytes; false, after
  // saying why, when they could not all be written (the file store then
  // leaves the image as it was, or as a later run brings it back to).
  virtual bool write(const SavePlan& plan, Report& rep) = 0;
  // Hints that [p, p + n) is about to be filled, and that it will be
  // filled far and wide (host/file.h).
  virtual void prepare_for_writing(void* p, size_t n) = 0;
  virtual void prefer_large_pages(void*, size_t) {}
  // Lets go of the bytes; false, after saying why, when a write failed
  // there.
  virtual bool close(Report& rep) = 0;
};

}  // namespace tarnwick
