#include "support/memory_volume.h"

#include <algorithm>

#include "containers/save_plan.h"
#include "volume/path.h"

namespace tarnwick::testing {

namespace {

class BytePages final : public PageSource {
 public:
  explicit BytePages(Bytes bytes) : bytes_(std::move(bytes)) {}
  bool fill(uint64_t offset, std::span<uint8_t> out) override {
    const size_t n = offset < bytes_.size() ? std::min<size_t>(out.size(), bytes_.size() - offset) : 0;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(n), out.end(), uint8_t{0});
    return n == out.size();
  }

 private:
  Bytes bytes_;
};

}  // namespace

detail::HeldPager::HeldPager(Bytes bytes) {
  const size_t size = bytes.size();
  pager = std::make_unique<Pager>(size, std::make_unique<BytePages>(std::move(bytes)));
}

MemoryVolume& MemoryVolume::operator=(const MemoryVolume& other) {
  if (this != &other) {
    HeldPager fresh(other.bytes());
    pager = std::move(fresh.pager);
    static_cast<Volume&>(*this) = Volume(*pager);
  }
  return *this;
}

Bytes MemoryVolume::bytes() const {
  Bytes b(size());
  read(0, b);
  return b;
}

std::optional<EntryRef> find_entry(const Volume& vol, std::string_view path) {
  return resolve_path(vol, path).entry;
}

bool save_unjournaled(File& image, Pager& pager, const Container& container) {
  SavePlan plan;
  const std::optional<uint64_t> size = image.size();
  if (!size || !plan_save(image, pager, container, plan)) return false;
  std::optional<std::vector<WriteUnit>> units = sector_units(plan.stretches, *size);
  return units && gather_units(image, plan.stretches, *units) && write_units(image, plan.stretches, *units) &&
         image.sync();
}

}  // namespace tarnwick::testing
