#include "support/image_regions.h"

#include <algorithm>
#include <cstring>

#include "app/frontend.h"
#include "containers/d88.h"
#include "containers/hdd_rom.h"
#include "support/memory_host.h"

namespace tarnwick::testing {

namespace {

constexpr uint64_t kSectorHeader = 16;
constexpr uint64_t kSectorSpan = kSectorHeader + kRecordSize;  // 272
constexpr int kSectorsPerTrack = 16;

}  // namespace

std::vector<ByteRange> writable_ranges(const Bytes& image, const std::string& image_name, int partition_index) {
  MemoryHost host;
  host.files[image_name] = image;
  const std::unique_ptr<File> f = host.open(HostPath::from_argument(image_name), OpenMode::kUpdate, nullptr);
  const std::string ext = image_extension(image_name);
  if (ext == "D88") {
    Report quiet;
    D88Header header;
    if (!check_d88_format(*f, quiet, header) || !load_d88_image(*f, header)) return {};
    std::vector<ByteRange> ranges;
    for (int t = 0; t < D88Header::kTracks; ++t) {
      const uint32_t offset = header.track_offset(t ^ 1);
      if (offset == 0) break;
      for (int j = 0; j < kSectorsPerTrack; ++j) {
        ranges.push_back({offset + kSectorSpan * static_cast<uint64_t>(j) + kSectorHeader, kRecordSize});
      }
    }
    return ranges;
  }
  if (ext == "ROM") {
    const std::unique_ptr<Pager> pager = load_rom_image(*f);
    if (!pager) return {};
    return {{0, pager->size()}};
  }
  Container where;
  const std::unique_ptr<Pager> pager = check_hdd_signature(*f) ? load_hdd_partition(*f, partition_index, where) : nullptr;
  if (!pager) return {};
  return {{partition_index == 0 ? kPartition1Offset : kPartition2Offset, pager->size()}};
}

int64_t first_change_outside(const Bytes& before, const Bytes& after, const std::vector<ByteRange>& ranges) {
  if (before.size() != after.size()) return static_cast<int64_t>(std::min(before.size(), after.size()));
  std::vector<ByteRange> sorted = ranges;
  std::sort(sorted.begin(), sorted.end(), [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; });
  uint64_t at = 0;
  // Compares [at, end) a whole stretch at a time; only a stretch that
  // differs is searched byte by byte.
  auto compare_to = [&](uint64_t end) -> int64_t {
    end = std::min<uint64_t>(end, before.size());
    if (at >= end) return -1;
    const size_t n = static_cast<size_t>(end - at);
    const size_t from = static_cast<size_t>(at);
    at = end;
    if (std::memcmp(before.data() + from, after.data() + from, n) == 0) return -1;
    const auto diff = std::mismatch(before.begin() + static_cast<long>(from), before.end(),
                                    after.begin() + static_cast<long>(from));
    return diff.first - before.begin();
  };
  for (const ByteRange& r : sorted) {
    if (const int64_t diff = compare_to(r.offset); diff >= 0) return diff;
    at = std::max(at, r.offset + r.length);
  }
  return compare_to(before.size());
}

std::vector<JournalStretch> journal_stretches(const Bytes& journal) {
  const auto u64 = [&](size_t at) {
    uint64_t v = 0;
    for (size_t k = 0; k < 8 && at + k < journal.size(); ++k) v |= uint64_t{journal[at + k]} << (8 * k);
    return v;
  };
  std::vector<JournalStretch> stretches;
  for (size_t at = 24; at + 17 + 4 <= journal.size();) {
    const uint64_t length = u64(at + 8);
    const uint8_t form = journal[at + 16];
    stretches.push_back({u64(at), length, (form & 2) != 0, (form & 4) != 0});
    // A fresh or unchanged run keeps a 4-byte digest per 512-byte sector,
    // not its new bytes; an unchanged one keeps no old bytes either.
    at += 17 + ((form & 4) ? 0 : (form & 1) ? 1 : length) + ((form & 6) ? 4 * ((length + 511) / 512) : length);
  }
  return stretches;
}

}  // namespace tarnwick::testing
