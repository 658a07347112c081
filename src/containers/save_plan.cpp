#include "containers/save_plan.h"

#include <algorithm>


namespace tarnwick {

namespace {

// The stretches that hold bytes, in file order.
std::vector<const Stretch*> in_file_order(std::span<const Stretch> stretches) {
  std::vector<const Stretch*> sorted;
  for (const Stretch& s : stretches) {
    if (!s.bytes.empty()) sorted.push_back(&s);
  }
  std::sort(sorted.begin(), sorted.end(), [](const Stretch* a, const Stretch* b) { return a->offset < b->offset; });
  return sorted;
}

// Adds sector `sector` to the units, fresh or not; a sector met again (two
// stretches meet inside it) is fresh only if both say so.
void add_sector(std::vector<WriteUnit>& units, uint64_t sector, bool fresh, uint64_t file_size) {
  const uint64_t at = sector * kSectorSize;
  const uint64_t length = std::min(kSectorSize, file_size - at);
  if (!units.empty() && !units.back().runs.empty()) {
    WriteUnit& unit = units.back();
    SectorRun& run = unit.runs.back();
    if (unit.end() > at) {  // the last sector again
      if (run.fresh && !fresh) {
        run.length -= length;
        if (run.length == 0) unit.runs.pop_back();
        unit.runs.push_back({at, length, false});
      }
      return;
    }
    if (unit.end() == at) {
      if (run.fresh == fresh) {
        run.length += length;
      } else {
        unit.runs.push_back({at, length, fresh});
      }
      return;
    }
  }
  units.push_back(WriteUnit{at, {{at, length, fresh}}, {}});
}

}  // namespace

std::optional<std::vector<WriteUnit>> sector_units(std::span<const Stretch> stretches, uint64_t file_size) {
  std::vector<WriteUnit> units;
  uint64_t covered = 0;  // every byte before it belongs to a stretch already placed
  for (const Stretch* s : in_file_order(stretches)) {
    if (s->offset > file_size || s->bytes.size() > file_size - s->offset || s->offset < covered) return std::nullopt;
    covered = s->offset + s->bytes.size();
    for (uint64_t sector = s->offset / kSectorSize; sector * kSectorSize < covered; ++sector) {
      add_sector(units, sector, s->fresh, file_size);
    }
  }
  return units;
}

std::optional<std::vector<SectorRun>> unchanged_runs(std::span<const FileSpan> spans,
                                                     const std::vector<WriteUnit>& units, uint64_t file_size) {
  std::vector<FileSpan> sorted(spans.begin(), spans.end());
  std::sort(sorted.begin(), sorted.end(), [](const FileSpan& a, const FileSpan& b) { return a.offset < b.offset; });
  std::vector<SectorRun> runs;
  size_t u = 0;       // the first unit that may still hold the sector at hand
  uint64_t next = 0;  // every sector before it has been placed
  for (const FileSpan& span : sorted) {
    if (span.offset > file_size || span.length > file_size - span.offset) return std::nullopt;
    for (uint64_t at = std::max(span.offset / kSectorSize * kSectorSize, next); at < span.offset + span.length;
         at += kSectorSize) {
      next = at + kSectorSize;
      while (u < units.size() && units[u].end() <= at) ++u;
      if (u < units.size() && units[u].offset <= at) continue;  // written
      const uint64_t length = std::min(kSectorSize, file_size - at);
      if (!runs.empty() && runs.back().offset + runs.back().length == at) {
        runs.back().length += length;
      } else {
        runs.push_back({at, length, false, true});
      }
    }
  }
  return runs;
}

namespace {

// The stretches met in file order by a walk of the file's sectors that
// never goes back.
class StretchCursor {
 public:
  explicit StretchCursor(std::span<const Stretch> stretches) : sorted_(in_file_order(stretches)) {}

  // Lays the stretches' bytes over `bytes`, the file's bytes from `at` on.
  void lay_over(uint64_t at, std::span<uint8_t> bytes) {
    skip_to(at);
    const uint64_t end = at + bytes.size();
    for (size_t k = next_; k < sorted_.size() && sorted_[k]->offset < end; ++k) {
      const Stretch& s = *sorted_[k];
      const uint64_t from = std::max(s.offset, at);
      const uint64_t to = std::min(s.end(), end);
      std::copy_n(s.bytes.begin() + static_cast<std::ptrdiff_t>(from - s.offset), to - from,
                  bytes.begin() + static_cast<std::ptrdiff_t>(from - at));
    }
  }
  // The stretch that holds all of the file's [at, at + n), if one does.
  const Stretch* holding(uint64_t at, uint64_t n) {
    skip_to(at);
    if (next_ < sorted_.size() && sorted_[next_]->offset <= at && at + n <= sorted_[next_]->end()) {
      return sorted_[next_];
    }
    return nullptr;
  }

 private:
  void skip_to(uint64_t at) {
    while (next_ < sorted_.size() && sorted_[next_]->end() <= at) ++next_;
  }
  std::vector<const Stretch*> sorted_;
  size_t next_ = 0;  // the first stretch that may still reach the sectors to come
};

// Adds n bytes at `p` to the sources, as part of the last one when they
// follow it in memory.
void add_source(std::vector<std::span<const uint8_t>>& sources, const uint8_t* p, size_t n) {
  if (!sources.empty() && sources.back().data() + sources.back().size() == p) {
    sources.back() = {sources.back().data(), sources.back().size() + n};
  } else {
    sources.push_back({p, n});
  }
}

// Reads runs a piece at a time and hands each piece on with its new bytes.
class Gatherer {
 public:
  Gatherer(File& image, std::span<const Stretch> stretches, RunObserver* observer)
      : image_(image), cursor_(stretches), observer_(observer), old_(kPieceSize) {
    piece_edges_.reserve(kPieceSize);
  }

  // The sectors of a written run that no one stretch holds are made in
  // `edges`; every other one's new bytes are its stretch's.
  bool gather(const SectorRun& run, std::vector<uint8_t>* edges) {
    for (uint64_t at = run.offset; at < run.offset + run.length; at += kPieceSize) {
      SectorRun piece = run;
      piece.offset = at;
      piece.length = std::min(kPieceSize, run.offset + run.length - at);
      const size_t n = static_cast<size_t>(piece.length);
      if (image_.read_at(at, old_.data(), n) != n) return false;
      sources_.clear();
      if (run.unchanged) {
        sources_.push_back({old_.data(), n});
      } else {
        new_sources(at, n, *edges);
      }
      if (observer_ && !observer_->piece(piece, {old_.data(), n}, sources_)) return false;
    }
    return true;
  }

 private:
  void new_sources(uint64_t at, size_t n, std::vector<uint8_t>& edges) {
    piece_edges_.clear();  // room for the whole piece: no source moves
    for (uint64_t s = at; s < at + n; s += kSectorSize) {
      const size_t length = static_cast<size_t>(std::min<uint64_t>(kSectorSize, at + n - s));
      if (const Stretch* held = cursor_.holding(s, length)) {
        add_source(sources_, held->bytes.data() + (s - held->offset), length);
        continue;
      }
      const size_t e = piece_edges_.size();
      piece_edges_.insert(piece_edges_.end(), old_.begin() + static_cast<std::ptrdiff_t>(s - at),
                          old_.begin() + static_cast<std::ptrdiff_t>(s - at + length));
      cursor_.lay_over(s, {piece_edges_.data() + e, length});
      add_source(sources_, piece_edges_.data() + e, length);
    }
    edges.insert(edges.end(), piece_edges_.begin(), piece_edges_.end());
  }

  File& image_;
  StretchCursor cursor_;
  RunObserver* observer_;
  std::vector<uint8_t> old_;
  std::vector<uint8_t> piece_edges_;  // the current piece's edges
  std::vector<std::span<const uint8_t>> sources_;
};

}  // namespace

bool gather_units(File& image, std::span<const Stretch> stretches, std::vector<WriteUnit>& units,
                  std::span<const SectorRun> unchanged, RunObserver* observer) {
  Gatherer g(image, stretches, observer);
  for (WriteUnit& unit : units) {
    unit.edges.clear();
    for (const SectorRun& run : unit.runs) {
      if (!g.gather(run, &unit.edges)) return false;
    }
  }
  for (const SectorRun& run : unchanged) {
    if (!g.gather(run, nullptr)) return false;
  }
  return true;
}

namespace {

// Where a unit's sectors come from, runs of them that lie one after another
// in memory: in their stretches or in the unit's edges. Nothing when the
// unit was not gathered.
std::optional<std::vector<std::span<const uint8_t>>> unit_sources(const WriteUnit& unit, StretchCursor& cursor) {
  std::vector<std::span<const uint8_t>> sources;
  size_t edge = 0;  // the next edge sector's first byte
  for (uint64_t at = unit.offset; at < unit.end(); at += kSectorSize) {
    const size_t length = static_cast<size_t>(std::min(kSectorSize, unit.end() - at));
    const uint8_t* source = nullptr;
    if (const Stretch* s = cursor.holding(at, length)) {
      source = s->bytes.data() + (at - s->offset);
    } else {
      if (unit.edges.size() - edge < length) return std::nullopt;
      source = unit.edges.data() + edge;
      edge += length;
    }
    add_source(sources, source, length);
  }
  return sources;
}

// Writes the sources from `at` on through `buffer`, a write for each
// buffer's worth: sources and buffer are whole sectors (but for the file's
// last), so every sector goes out inside one write.
bool write_through(File& image, uint64_t at, const std::vector<std::span<const uint8_t>>& sources,
                   std::vector<uint8_t>& buffer) {
  size_t filled = 0;
  for (std::span<const uint8_t> source : sources) {
    while (!source.empty()) {
      const size_t n = std::min(source.size(), buffer.size() - filled);
      std::copy_n(source.begin(), n, buffer.begin() + static_cast<std::ptrdiff_t>(filled));
      filled += n;
      source = source.subspan(n);
      if (filled == buffer.size()) {
        if (image.write_at(at, buffer.data(), filled) != filled) return false;
        at += filled;
        filled = 0;
      }
    }
  }
  return filled == 0 || image.write_at(at, buffer.data(), filled) == filled;
}

}  // namespace

bool write_units(File& image, std::span<const Stretch> stretches, const std::vector<WriteUnit>& units) {
  // A unit whose bytes lie in more than one place (its edges and its
  // stretches) is copied into `buffer` to go out in one write still: a
  // write for each place would cost two more system calls a stretch.
  std::vector<uint8_t> buffer;
  StretchCursor cursor(stretches);
  for (const WriteUnit& unit : units) {
    const std::optional<std::vector<std::span<const uint8_t>>> sources = unit_sources(unit, cursor);
    if (!sources) return false;
    if (sources->size() == 1) {
      const std::span<const uint8_t> bytes = sources->front();
      if (image.write_at(unit.offset, bytes.data(), bytes.size()) != bytes.size()) return false;
      continue;
    }
    if (buffer.empty()) buffer.resize(4 * kPieceSize);
    if (!write_through(image, unit.offset, *sources, buffer)) return false;
  }
  return true;
}

}  // namespace tarnwick
