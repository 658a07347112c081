#include "containers/d88.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "volume/volume.h"

namespace tarnwick {

using namespace d88;

namespace {

using TrackBuffer = std::array<uint8_t, kTrackSpan>;
using TrackFlags = std::array<bool, D88Header::kTracks>;

// The number of volume tracks formatted one after another from volume
// track 0 on. A passed check guarantees that no formatted track follows an
// unformatted one, so these are all the formatted tracks and the volume is
// exactly this many tracks long.
int formatted_tracks(const D88Header& header) {
  int t = 0;
  while (t < D88Header::kTracks && header.track_offset(d88_track_of(t)) != 0) ++t;
  return t;
}

int nonzero_track_offsets(const D88Header& header) {
  int count = 0;
  for (int d = 0; d < D88Header::kTracks; ++d) count += header.track_offset(d) != 0 ? 1 : 0;
  return count;
}

// Marks the volume tracks among the first `tracks` whose first 16 sectors
// overlap the D88 header or another of these tracks' first 16 sectors. Such
// a layout would make the save write volume data over headers or over data
// it has just written. Sorting by offset makes every overlap one between
// neighbours: if a track reaches into a later one, it reaches into the next.
TrackFlags misplaced_tracks(const D88Header& header, int tracks) {
  TrackFlags bad{};
  std::array<std::pair<uint32_t, int>, D88Header::kTracks> by_offset{};
  const size_t n = static_cast<size_t>(tracks);
  for (size_t t = 0; t < n; ++t) {
    const uint32_t offset = header.track_offset(d88_track_of(static_cast<int>(t)));
    by_offset[t] = {offset, static_cast<int>(t)};
    if (offset < D88Header::kSize) bad[t] = true;
  }
  std::sort(by_offset.begin(), by_offset.begin() + static_cast<long>(n));
  for (size_t i = 0; i + 1 < n; ++i) {
    if (uint64_t{by_offset[i + 1].first} - by_offset[i].first < kTrackSpan) {
      bad[static_cast<size_t>(by_offset[i].second)] = true;
      bad[static_cast<size_t>(by_offset[i + 1].second)] = true;
    }
  }
  return bad;
}

// Checks one formatted track (D88 track `d`). The checks run in this order,
// and the first fault ends the check:
//   1. sector count, from the first sector header (a track too short on
//      the disk is named as such even when it is also cut off by the end of
//      the file);
//   2. size code, density and data size of each of the 16 sectors in
//      stored order, each sector's header and data wholly inside the file.
// All 16 sectors arrive with one read; nothing past the end of the file is
// used.
bool check_track(File& image, Report& rep, int d, uint32_t offset, TrackBuffer& track) {
  const size_t got = image.read_at(offset, track.data(), track.size());
  if (got < kSectorHeaderSize) {
    rep.err(msg::kTrackOutsideFile, d);
    return false;
  }
  const int count = load16(track.data() + kSectorCount);
  if (count != kSectorsUsed) {
    rep.err(msg::kSectorCount, d, count);
    if (count < kSectorsUsed) return false;
    rep.err(msg::kIgnoringSectors);
  }
  for (uint32_t j = 0; j < static_cast<uint32_t>(kSectorsUsed); ++j) {
    if (got < j * kSectorSpan + kSectorHeaderSize) {
      rep.err(msg::kTrackOutsideFile, d);
      return false;
    }
    const uint8_t* h = track.data() + j * kSectorSpan;
    const int r = h[kR];
    if (h[kN] != kSizeCode256) {
      rep.err(msg::kSectorSize, d, r);
      return false;
    }
    if (h[kDensity] != kDoubleDensity) {
      rep.err(msg::kSingleDensity, d, r);
      return false;
    }
    if (load16(h + kDataSize) != kSectorDataSize) {
      rep.err(msg::kSectorSize, d, r);
      return false;
    }
    if (got < (j + 1) * kSectorSpan) {
      rep.err(msg::kTrackOutsideFile, d);
      return false;
    }
  }
  return true;
}

}  // namespace

void d88::copy_inverted(const uint8_t* from, uint8_t* to, size_t n) {
  size_t b = 0;
  for (; b + sizeof(uint64_t) <= n; b += sizeof(uint64_t)) {
    uint64_t word;
    std::memcpy(&word, from + b, sizeof word);
    word = ~word;
    std::memcpy(to + b, &word, sizeof word);
  }
  for (; b < n; ++b) to[b] = static_cast<uint8_t>(~from[b]);
}

const Message<Severity::kInfo>& d88_disk_type_name(uint8_t type) {
  switch (type) {
    case 0x00: return msg::kDiskType2D;
    case kDiskType2DD: return msg::kDiskType2DD;
    case 0x20: return msg::kDiskType2HD;
    default: return msg::kDiskTypeUnknown;
  }
}

std::string_view d88_disk_type_text(uint8_t type) {
  std::string_view text = d88_disk_type_name(type).bytes;
  text.remove_suffix(1);
  return text;
}

bool check_d88_format(File& image, Report& rep, D88Header& header) {
  if (image.read_at(0, header.bytes.data(), header.bytes.size()) != header.bytes.size()) {
    rep.err(msg::kNotD88);
    return false;
  }
  rep.out(msg::kDiskType);
  rep.out(d88_disk_type_name(header.bytes[D88Header::kDiskType]));

  TrackBuffer track;
  int unformatted = -1;  // the latest unformatted volume track met
  for (int t = 0; t < D88Header::kTracks; ++t) {
    const int d = d88_track_of(t);
    const uint32_t offset = header.track_offset(d);
    if (offset == 0) {
      unformatted = t;
      continue;
    }
    // Records follow the tracks without gaps, so a formatted track after an
    // unformatted one has no place in the volume.
    if (unformatted >= 0) {
      rep.err(msg::kTrackUnformatted, unformatted);
      return false;
    }
    if (!check_track(image, rep, d, offset, track)) return false;
  }
  // Tracks that each look right may still overlap the header or each other
  // (a disk of 128-byte sectors fails above, by its sector size). Loading
  // such a layout would make the save write volume data over sector
  // headers or over data it has just written.
  const TrackFlags misplaced = misplaced_tracks(header, formatted_tracks(header));
  for (int t = 0; t < formatted_tracks(header); ++t) {
    if (misplaced[static_cast<size_t>(t)]) {
      rep.err(msg::kTrackBadOffset, d88_track_of(t));
      return false;
    }
  }
  return true;
}

namespace {

// A D88 volume's pages: page t is volume track t, its 16 sectors inverted
// back, read from the disk's stretch of the file.
class TrackPages final : public PageSource {
 public:
  TrackPages(File& file, const D88Header& header, DiskSpan disk) : file_(file, disk), header_(header) {}
  bool fill(uint64_t offset, std::span<uint8_t> out) override {
    if (offset % kTrackBytes != 0 || out.size() % kTrackBytes != 0) {
      std::fill(out.begin(), out.end(), 0);
      return false;
    }
    bool all = true;
    for (size_t done = 0; done < out.size(); done += kTrackBytes) {
      all = fill_track(static_cast<int>((offset + done) / kTrackBytes), out.subspan(done, kTrackBytes)) && all;
    }
    return all;
  }

 private:
  bool fill_track(int t, std::span<uint8_t> out) {
    TrackBuffer track;
    if (file_.read_at(header_.track_offset(d88_track_of(t)), track.data(), track.size()) != track.size()) {
      std::fill(out.begin(), out.end(), 0);
      return false;
    }
    for (uint32_t j = 0; j < static_cast<uint32_t>(kSectorsUsed); ++j) {
      copy_inverted(track.data() + j * kSectorSpan + kSectorHeaderSize, out.data() + j * kSectorDataSize);
    }
    return true;
  }

  FileWindow file_;
  const D88Header header_;
};

}  // namespace

std::unique_ptr<Pager> load_d88_image(File& image, const D88Header& header, MemoryHint hint, DiskSpan disk) {
  static_assert(kTrackBytes == Pager::kPageSize, "a page of the volume is one track");
  const int tracks = formatted_tracks(header);
  if (tracks == 0) return nullptr;
  // Only a header that passed the check may be loaded: a formatted track
  // beyond the first gap would leave the volume short.
  if (tracks != nonzero_track_offsets(header)) return nullptr;
  std::unique_ptr<Pager> pager;
  try {
    pager = std::make_unique<Pager>(static_cast<size_t>(tracks) * kTrackBytes,
                                    std::make_unique<TrackPages>(image, header, disk), std::move(hint));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  // The volume's size comes from the tracks, not the system record, so a
  // system record claiming more blocks than the tracks hold is refused here
  // along with every other geometry the tool cannot work on safely.
  const Volume vol(*pager);
  if (!geometry_is_sound(vol.geometry(), vol.record_count()) || pager->read_failed()) return nullptr;
  return pager;
}

bool plan_d88_save(File& image, Pager& pager, const D88Header& header, SavePlan& plan,
                   const std::vector<bool>* unused) {
  const int tracks = formatted_tracks(header);
  // The header must describe the volume it loaded, or records would land
  // on the wrong sectors.
  if (pager.size() != static_cast<size_t>(tracks) * kTrackBytes) return false;
  // Each changed track goes back with one write: its 16 sectors with their
  // headers as the file holds them now, so only the data areas change.
  // Writing the sectors one by one cost some 11,000 system calls for a 2DD
  // disk, twice the time of the whole run.
  std::vector<int> changed;
  for (const Pager::Run& run : pager.changed_runs()) {
    for (uint64_t from = run.offset; from < run.offset + run.length; from += kTrackBytes) {
      changed.push_back(static_cast<int>(from / kTrackBytes));
    }
  }
  plan.storage.resize(changed.size() * kTrackSpan);
  for (size_t i = 0; i < changed.size(); ++i) {
    const int t = changed[i];
    uint8_t* track = plan.storage.data() + i * kTrackSpan;
    const uint64_t offset = header.track_offset(d88_track_of(t));
    if (image.read_at(offset, track, kTrackSpan) != kTrackSpan) return false;
    const uint8_t* data = pager.readable(uint64_t(t) * kTrackBytes, kTrackBytes);
    for (uint32_t j = 0; j < static_cast<uint32_t>(kSectorsUsed); ++j) {
      copy_inverted(data + j * kSectorDataSize, track + j * kSectorSpan + kSectorHeaderSize);
    }
    plan.stretches.push_back({offset, std::span<const uint8_t>(track, kTrackSpan),
                              all_unused(unused, uint64_t(t) * kTrackBytes, kTrackBytes)});
  }
  return true;
}

bool write_new_d88_image(File& image, std::span<const uint8_t> volume, uint8_t disk_type) {
  if (volume.size() % kTrackBytes != 0) return false;
  const size_t tracks = volume.size() / kTrackBytes;
  // Tracks pair up (t and t XOR 1), so a volume fills an even number.
  if (tracks == 0 || tracks % 2 != 0 || tracks > static_cast<size_t>(D88Header::kTracks)) return false;
  D88Header header;
  header.bytes[D88Header::kWriteProtect] = 0;
  header.bytes[D88Header::kDiskType] = disk_type;
  store32(&header.bytes[D88Header::kDiskSize], static_cast<uint32_t>(D88Header::kSize + tracks * kTrackSpan));
  for (size_t d = 0; d < tracks; ++d) {
    store32(&header.bytes[D88Header::kTrackTable + 4 * d], static_cast<uint32_t>(D88Header::kSize + d * kTrackSpan));
  }
  if (image.write_at(0, header.bytes.data(), header.bytes.size()) != header.bytes.size()) return false;

  TrackBuffer track{};
  for (size_t d = 0; d < tracks; ++d) {
    const uint64_t from = uint64_t(d88_track_of(static_cast<int>(d))) * kTrackBytes;
    for (uint32_t j = 0; j < static_cast<uint32_t>(kSectorsUsed); ++j) {
      uint8_t* h = track.data() + j * kSectorSpan;
      h[kC] = static_cast<uint8_t>(d / 2);
      h[kH] = static_cast<uint8_t>(d % 2);
      h[kR] = static_cast<uint8_t>(j + 1);
      h[kN] = kSizeCode256;
      store16(h + kSectorCount, static_cast<uint16_t>(kSectorsUsed));
      h[kDensity] = kDoubleDensity;
      store16(h + kDataSize, static_cast<uint16_t>(kSectorDataSize));
      copy_inverted(volume.data() + from + uint64_t{j} * kSectorDataSize, h + kSectorHeaderSize);
    }
    const uint64_t offset = D88Header::kSize + d * kTrackSpan;
    if (image.write_at(offset, track.data(), track.size()) != track.size()) return false;
  }
  return true;
}

}  // namespace tarnwick
