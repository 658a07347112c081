#include "containers/image.h"

#include <cstdint>
#include <new>
#include <utility>

#include "containers/save_plan.h"
#include "volume/edit.h"

namespace tarnwick {

Image::Image(std::unique_ptr<ImageStore> store, Access access)
    : store_(std::move(store)), writes_(access == Access::kWrite) {}

bool Image::read_bytes(const DiskSpan& span, std::vector<uint8_t>& out) {
  if (span.size > SIZE_MAX) return false;
  try {
    if (out.capacity() < span.size) {
      out.reserve(static_cast<size_t>(span.size));
      store_->prepare_for_writing(out.data(), static_cast<size_t>(span.size));
    }
    out.resize(static_cast<size_t>(span.size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return store_->file().read_at(span.offset, out.data(), out.size()) == out.size();
}

bool Image::load(int index, Report& rep) {
  pager_ = load_container(store_->file(), store_->name(), index, rep, container_,
                          [&store = *store_](void* p, size_t n) { store.prepare_for_writing(p, n); });
  if (!pager_) return false;
  volume_.emplace(*pager_);
  // Taken before any command changes the volume: what the file holds now.
  if (writes_) use_ = volume_use(*volume_);
  return true;
}

void Image::expect_filling() {
  pager_->advise([&store = *store_](void* p, size_t n) { store.prefer_large_pages(p, n); });
}

bool Image::save(Report& rep) {
  // Bytes that could not be read are not the volume's: nothing is written.
  if (pager_->read_failed()) return false;
  SavePlan plan;
  const bool planned = plan_save(store_->file(), *pager_, container_, plan, writes_ ? &use_.unused : nullptr);
  // Planning may read pages too (a D88 save rebuilds whole tracks).
  if (pager_->read_failed()) return false;
  if (!planned) {
    report_write_failed(rep, store_->name(), "");
    return false;
  }
  if (writes_) plan_bound_records(container_, bound_records(*volume_, use_), plan);
  return store_->write(plan, rep);
}

}  // namespace tarnwick
