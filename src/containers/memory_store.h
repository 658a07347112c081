// An image held in memory: the store of a page that brings its own bytes,
// and of tests. A save lays its stretches over the bytes; there is no lock
// and no journal, as no other run can see the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "containers/image_store.h"

namespace tarnwick {

class MemoryStore final : public ImageStore {
 public:
  MemoryStore(std::string name, std::vector<uint8_t> bytes);
  ~MemoryStore() override;

  // The image's bytes, as the last save left them.
  const std::vector<uint8_t>& bytes() const { return bytes_; }

  File& file() override { return *file_; }
  const std::string& name() const override { return name_; }
  bool write(const SavePlan& plan, Report& rep) override;
  void prepare_for_writing(void*, size_t) override {}
  bool close(Report&) override { return true; }

 private:
  std::string name_;
  std::vector<uint8_t> bytes_;
  std::unique_ptr<File> file_;
};

}  // namespace tarnwick
