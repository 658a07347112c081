#include "containers/journal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "host/host_path.h"
#include "volume/coding.h"

namespace tarnwick {

namespace {

constexpr std::array<uint8_t, 8> kMagic = {'T', 'W', 'J', 'O', 'U', 'R', 'N', 'L'};
constexpr uint32_t kVersion = 5;
// Older builds' journals, still played back (see journal.h).
constexpr uint32_t kVersion2 = 2;
constexpr uint32_t kVersion4 = 4;
constexpr size_t kHeaderSize = 24;     // magic, version, count, image size
constexpr size_t kEntryHeaderSize = 17;  // offset, length, form
constexpr size_t kEntryHeaderSize2 = 16;
constexpr size_t kTrailerSize = 4;     // CRC-32
constexpr size_t kDigestSize = 4;      // a sector's digest
// A run's form byte.
constexpr uint8_t kOldFill = 1;  // its old bytes are one byte repeated, kept once
constexpr uint8_t kFresh = 2;    // digests of its new sectors instead of the bytes
constexpr uint8_t kUnchanged = 4;  // not written: digests of its sectors alone
// Bytes moved at a time, a whole number of sectors: the journal never needs
// the whole of what it holds in memory.
constexpr size_t kChunk = kPieceSize;

// CRC-32 as zlib and PNG have it (reflected polynomial 0xEDB88320), eight
// bytes a step: table k gives a byte's effect k bytes further on.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables make_crc_tables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (size_t k = 1; k < t.size(); ++k) {
    for (uint32_t i = 0; i < 256; ++i) t[k][i] = t[0][t[k - 1][i] & 0xFF] ^ (t[k - 1][i] >> 8);
  }
  return t;
}

class Crc32 {
 public:
  static uint32_t of(std::span<const uint8_t> bytes) {
    Crc32 c;
    c.update(bytes);
    return c.value();
  }
  void update(std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    size_t n = bytes.size();
    uint32_t c = crc_;
    for (; n >= 8; p += 8, n -= 8) {
      const uint32_t lo = c ^ load32(p);
      c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^ kTables[4][lo >> 24] ^
          kTables[3][p[4]] ^ kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
    }
    for (; n > 0; ++p, --n) c = kTables[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    crc_ = c;
  }
  uint32_t value() const { return ~crc_; }

 private:
  static constexpr CrcTables kTables = make_crc_tables();
  uint32_t crc_ = 0xFFFFFFFFu;
};

// XXH64 with seed 0: a sector's digest from version 5 on, a few times as
// fast as CRC-32 here, and no weaker at telling a sector from another.
class Xxh64 {
 public:
  static uint64_t of(std::span<const uint8_t> bytes) {
    const uint8_t* p = bytes.data();
    const uint8_t* const end = p + bytes.size();
    uint64_t h = kP5;
    if (bytes.size() >= 32) {
      uint64_t v[4] = {kP1 + kP2, kP2, 0, 0 - kP1};
      for (; end - p >= 32; p += 32) {
        for (int k = 0; k < 4; ++k) v[k] = round(v[k], load64(p + 8 * k));
      }
      h = rotl(v[0], 1) + rotl(v[1], 7) + rotl(v[2], 12) + rotl(v[3], 18);
      for (const uint64_t lane : v) h = (h ^ round(0, lane)) * kP1 + kP4;
    }
    h += bytes.size();
    for (; end - p >= 8; p += 8) h = rotl(h ^ round(0, load64(p)), 27) * kP1 + kP4;
    if (end - p >= 4) {
      h = rotl(h ^ (uint64_t{load32(p)} * kP1), 23) * kP2 + kP3;
      p += 4;
    }
    for (; p < end; ++p) h = rotl(h ^ (uint64_t{*p} * kP5), 11) * kP1;
    h = (h ^ (h >> 33)) * kP2;
    h = (h ^ (h >> 29)) * kP3;
    return h ^ (h >> 32);
  }

 private:
  static constexpr uint64_t kP1 = 0x9E3779B185EBCA87u, kP2 = 0xC2B2AE3D27D4EB4Fu, kP3 = 0x165667B19E3779F9u,
                            kP4 = 0x85EBCA77C2B2AE63u, kP5 = 0x27D4EB2F165667C5u;
  static uint64_t rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
  static uint64_t round(uint64_t acc, uint64_t input) { return rotl(acc + input * kP2, 31) * kP1; }
};

// A sector's digest in a journal of `version`: CRC-32 in version 4, the
// low 32 bits of XXH64 since.
uint32_t sector_digest(uint32_t version, std::span<const uint8_t> sector) {
  return version == kVersion4 ? Crc32::of(sector) : static_cast<uint32_t>(Xxh64::of(sector));
}

// A run (or a former version's stretch) as the journal holds it: where its
// bytes lie in the image, how many, and where its old bytes are in the
// journal (its new bytes or digests follow), or the one byte they all are.
struct Entry {
  uint64_t offset;
  uint64_t length;
  uint64_t at;
  uint32_t version = kVersion;
  uint8_t form = 0;
  uint8_t fill = 0;  // with kOldFill
  uint64_t sectors() const { return (length + kSectorSize - 1) / kSectorSize; }
  bool unchanged() const { return form & kUnchanged; }
  uint64_t old_size() const {
    if (unchanged()) return 0;
    return (form & kOldFill) ? 1 : length;
  }
  // A fresh stretch of version 3 keeps nothing of its new bytes.
  bool has_new_bytes() const { return !(form & (kFresh | kUnchanged)); }
  bool has_digests() const { return ((form & kFresh) && version >= kVersion4) || unchanged(); }
  uint64_t new_at() const { return at + old_size(); }
  uint64_t new_size() const {
    if (has_new_bytes()) return length;
    return has_digests() ? kDigestSize * sectors() : 0;
  }
  uint64_t end() const { return new_at() + new_size(); }
  // Fills `out` with the old bytes from `done` on.
  bool read_old(File& journal, uint64_t done, uint8_t* out, size_t n) const {
    if (form & kOldFill) {
      std::fill_n(out, n, fill);
      return true;
    }
    return journal.read_at(at + done, out, n) == n;
  }
};

// A journal's whole layout, checked.
struct Layout {
  uint64_t image_size = 0;
  std::vector<Entry> entries;
};

// Writes the journal through a buffer, adding up its checksum.
class JournalWriter {
 public:
  JournalWriter(File& file, Host& host) : file_(file) {
    buffer_.reserve(kChunk);
    host.prepare_for_writing(buffer_.data(), kChunk);
  }

  void put(const uint8_t* bytes, size_t n) {
    if (buffer_.size() + n > kChunk) flush();
    buffer_.insert(buffer_.end(), bytes, bytes + n);
  }
  // Room for n more bytes (at most kChunk), to be filled in place.
  uint8_t* extend(size_t n) {
    if (buffer_.size() + n > kChunk) flush();
    buffer_.resize(buffer_.size() + n);
    return buffer_.data() + buffer_.size() - n;
  }
  // Writes what is buffered, then the checksum of all of it.
  bool finish() {
    flush();
    std::array<uint8_t, kTrailerSize> trailer;
    store32(trailer.data(), crc_.value());
    ok_ = ok_ && file_.write_at(pos_, trailer.data(), trailer.size()) == trailer.size();
    return ok_;
  }

 private:
  void flush() {
    if (buffer_.empty()) return;
    crc_.update(buffer_);
    ok_ = ok_ && file_.write_at(pos_, buffer_.data(), buffer_.size()) == buffer_.size();
    pos_ += buffer_.size();
    buffer_.clear();
  }

  File& file_;
  std::vector<uint8_t> buffer_;
  uint64_t pos_ = 0;
  Crc32 crc_;
  bool ok_ = true;
};

// True when every byte is the first one.
bool uniform(std::span<const uint8_t> bytes) {
  return !bytes.empty() && std::memcmp(bytes.data(), bytes.data() + 1, bytes.size() - 1) == 0;
}

// Writes each piece of the save's runs into the journal as they are
// gathered: its old bytes (once when they are all one byte, as the free
// blocks of a new disk are; none for an unchanged run), then its new bytes,
// or the digests of its new sectors for a fresh or an unchanged run.
class JournalFiller final : public RunObserver {
 public:
  explicit JournalFiller(JournalWriter& w) : w_(w) {}

  bool piece(const SectorRun& piece, std::span<const uint8_t> old_bytes,
             std::span<const std::span<const uint8_t>> new_bytes) override {
    const bool fill = !piece.unchanged && uniform(old_bytes);
    std::array<uint8_t, kEntryHeaderSize + 1> entry;
    store64(entry.data(), piece.offset);
    store64(entry.data() + 8, piece.length);
    entry[16] = piece.unchanged ? kUnchanged : static_cast<uint8_t>((fill ? kOldFill : 0) | (piece.fresh ? kFresh : 0));
    entry[17] = fill ? old_bytes[0] : 0;
    w_.put(entry.data(), fill ? entry.size() : kEntryHeaderSize);
    if (!fill && !piece.unchanged) w_.put(old_bytes.data(), old_bytes.size());
    for (const std::span<const uint8_t> bytes : new_bytes) {
      if (!piece.fresh && !piece.unchanged) {
        w_.put(bytes.data(), bytes.size());
        continue;
      }
      for (size_t at = 0; at < bytes.size(); at += kSectorSize) {
        const std::span<const uint8_t> sector = bytes.subspan(at, std::min<size_t>(kSectorSize, bytes.size() - at));
        store32(w_.extend(kDigestSize), sector_digest(kVersion, sector));
      }
    }
    return true;
  }

 private:
  JournalWriter& w_;
};

// Makes the journal of a save while its units are gathered, synced and with
// its name durable. Nothing is left behind when that fails.
bool make_journal(Host& host, const HostPath& path, File& image, uint64_t image_size,
                  std::span<const Stretch> stretches, std::vector<WriteUnit>& units,
                  std::span<const SectorRun> unchanged, std::string* reason) {
  uint64_t pieces = 0;
  for (const WriteUnit& unit : units) {
    for (const SectorRun& run : unit.runs) pieces += pieces_of(run);
  }
  for (const SectorRun& run : unchanged) pieces += pieces_of(run);
  if (pieces > UINT32_MAX) return false;
  std::unique_ptr<File> journal = host.create_file(path, reason);
  if (!journal) return false;
  bool made = false;
  {
    JournalWriter w(*journal, host);
    std::array<uint8_t, kHeaderSize> header{};
    std::copy(kMagic.begin(), kMagic.end(), header.begin());
    store32(header.data() + 8, kVersion);
    store32(header.data() + 12, static_cast<uint32_t>(pieces));
    store64(header.data() + 16, image_size);
    w.put(header.data(), header.size());
    JournalFiller filler(w);
    made = gather_units(image, stretches, units, unchanged, &filler) && w.finish() && journal->sync();
  }
  made = journal->close() && made;
  if (!made && reason) *reason = journal->failure_text();
  if (!made && reason && reason->empty()) *reason = image.failure_text();
  journal.reset();
  made = made && host.sync_folder_of(path);
  if (!made) remove_journal(host, path);
  return made;
}

// Reads the journal's layout and checks it whole: the header, every
// entry's length leading to the next, the checksum right after the last
// one and nothing after it. False for a journal cut short or damaged.
bool read_layout(File& journal, Layout& layout) {
  std::array<uint8_t, kHeaderSize> header;
  if (journal.read_at(0, header.data(), header.size()) != header.size()) return false;
  const uint32_t version = load32(header.data() + 8);
  if (!std::equal(kMagic.begin(), kMagic.end(), header.begin()) || version < kVersion2 || version > kVersion) {
    return false;
  }
  const uint32_t count = load32(header.data() + 12);
  layout.image_size = load64(header.data() + 16);
  const size_t entry_header = version == kVersion2 ? kEntryHeaderSize2 : kEntryHeaderSize;
  uint64_t pos = kHeaderSize;
  // Each entry is read before the next is looked for, so a count larger
  // than the file can hold ends at its end.
  for (uint32_t i = 0; i < count; ++i) {
    std::array<uint8_t, kEntryHeaderSize + 1> e{};
    if (journal.read_at(pos, e.data(), entry_header) != entry_header) return false;
    Entry entry{load64(e.data()), load64(e.data() + 8), pos + entry_header, version};
    if (version != kVersion2) {
      entry.form = e[16];
      const uint8_t forms = version == kVersion ? (kOldFill | kFresh | kUnchanged) : (kOldFill | kFresh);
      if ((entry.form & ~forms) || ((entry.form & kUnchanged) && entry.form != kUnchanged)) return false;
      if (entry.form & kOldFill) {
        if (journal.read_at(entry.at, &entry.fill, 1) != 1) return false;
      }
    }
    if (entry.length > (UINT64_MAX - entry.at - kTrailerSize) / 2) return false;
    // A run of these versions is whole sectors from a sector's start.
    if (version >= kVersion4 && entry.offset % kSectorSize != 0) return false;
    layout.entries.push_back(entry);
    pos = entry.end();
  }
  std::array<uint8_t, kTrailerSize + 1> trailer;
  if (journal.read_at(pos, trailer.data(), trailer.size()) != kTrailerSize) return false;

  Crc32 crc;
  std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(kChunk, pos)));
  for (uint64_t done = 0; done < pos;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), pos - done));
    if (journal.read_at(done, chunk.data(), n) != n) return false;
    crc.update({chunk.data(), n});
    done += n;
  }
  return crc.value() == load32(trailer.data());
}

// What a complete journal says of the image beside it.
enum class Fit { kFits, kOther, kUnreadable };

// Whether each part of an entry within one sector of the image reads wholly
// old or wholly new, a chunk of sectors at a time.
class EntryCheck {
 public:
  EntryCheck(File& journal, File& image) : journal_(journal), image_(image), now_(kChunk), old_(kChunk), new_(kChunk) {}

  Fit check(const Entry& entry) {
    digests_.clear();
    if (entry.has_digests()) {
      digests_.resize(static_cast<size_t>(entry.new_size()));
      if (journal_.read_at(entry.new_at(), digests_.data(), digests_.size()) != digests_.size()) {
        return Fit::kUnreadable;
      }
    }
    const uint64_t end = entry.offset + entry.length;
    for (uint64_t pos = entry.offset; pos < end;) {
      // Chunks end on sector boundaries, so no sector is split between two.
      const uint64_t chunk_end = std::min(end, (pos + kChunk) / kSectorSize * kSectorSize);
      const size_t n = static_cast<size_t>(chunk_end - pos);
      const uint64_t done = pos - entry.offset;
      if (image_.read_at(pos, now_.data(), n) != n ||
          (!entry.unchanged() && !entry.read_old(journal_, done, old_.data(), n)) ||
          (entry.has_new_bytes() && journal_.read_at(entry.new_at() + done, new_.data(), n) != n)) {
        return Fit::kUnreadable;
      }
      for (uint64_t at = pos; at < chunk_end;) {
        const uint64_t to = std::min(chunk_end, (at / kSectorSize + 1) * kSectorSize);
        if (!piece_fits(entry, at - pos, static_cast<size_t>(to - at), (at - entry.offset) / kSectorSize)) {
          return Fit::kOther;
        }
        at = to;
      }
      pos = chunk_end;
    }
    return Fit::kFits;
  }

 private:
  // The bytes [from, from + n) of the chunk, sector `sector` of the entry.
  bool piece_fits(const Entry& entry, uint64_t from, size_t n, uint64_t sector) const {
    const auto at = static_cast<std::ptrdiff_t>(from);
    if (!entry.unchanged() &&
        std::equal(now_.begin() + at, now_.begin() + at + static_cast<std::ptrdiff_t>(n), old_.begin() + at)) {
      return true;
    }
    if (entry.has_new_bytes()) {
      return std::equal(now_.begin() + at, now_.begin() + at + static_cast<std::ptrdiff_t>(n), new_.begin() + at);
    }
    if (!entry.has_digests()) return false;
    const uint32_t digest = load32(digests_.data() + kDigestSize * sector);
    return sector_digest(entry.version, {now_.data() + at, n}) == digest;
  }

  File& journal_;
  File& image_;
  std::vector<uint8_t> now_, old_, new_, digests_;
};

// True when the image is one the journal's save can have left: its size,
// and every sector it lists wholly old or wholly new.
Fit fits(File& journal, File& image, const Layout& layout) {
  const std::optional<uint64_t> size = image.size();
  if (!size) return Fit::kUnreadable;
  if (*size != layout.image_size) return Fit::kOther;
  for (const Entry& entry : layout.entries) {
    if (entry.offset > *size || entry.length > *size - entry.offset) return Fit::kOther;
  }
  EntryCheck check(journal, image);
  for (const Entry& entry : layout.entries) {
    const Fit fit = check.check(entry);
    if (fit != Fit::kFits) return fit;
  }
  return Fit::kFits;
}

// Writes the journal's old bytes back into the image and syncs it.
bool play_back(File& journal, File& image, const std::vector<Entry>& entries) {
  std::vector<uint8_t> chunk(kChunk);
  for (const Entry& entry : entries) {
    // An unchanged run was never written: nothing to put back.
    for (uint64_t done = 0; !entry.unchanged() && done < entry.length;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), entry.length - done));
      if (!entry.read_old(journal, done, chunk.data(), n)) return false;
      if (image.write_at(entry.offset + done, chunk.data(), n) != n) return false;
      done += n;
    }
  }
  return image.sync();
}

// An image file read through a journal: the journal's old bytes where it
// has them, the image's own elsewhere. It is never written.
class JournalOverlay final : public File {
 public:
  JournalOverlay(std::unique_ptr<File> image, std::unique_ptr<File> journal, std::vector<Entry> entries)
      : image_(std::move(image)), journal_(std::move(journal)), entries_(std::move(entries)) {}
  ~JournalOverlay() override { close(); }

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    const size_t got = image_->read_at(offset, buf, n);
    // Later stretches win, as they do when the journal is played back.
    for (const Entry& e : entries_) {
      if (e.unchanged()) continue;
      const uint64_t from = std::max(offset, e.offset);
      const uint64_t to = std::min(offset + got, e.offset + e.length);
      if (from >= to) continue;
      const size_t n_over = static_cast<size_t>(to - from);
      if (!e.read_old(*journal_, from - e.offset, static_cast<uint8_t*>(buf) + (from - offset), n_over)) {
        failed_ = true;
        return static_cast<size_t>(from - offset);
      }
    }
    return got;
  }
  size_t write_at(uint64_t, const void*, size_t) override {
    failed_ = true;
    return 0;
  }
  bool failed() override { return failed_ || image_->failed() || journal_->failed(); }
  std::string failure_text() override {
    if (image_->failed()) return image_->failure_text();
    if (journal_->failed()) return journal_->failure_text();
    return failed_ ? std::strerror(EIO) : "";
  }
  bool last_write_time(HostTime& t) override { return image_->last_write_time(t); }
  std::optional<uint64_t> size() override { return image_->size(); }
  uint64_t link_count() override { return image_->link_count(); }
  std::optional<HostPath> real_path(const HostPath& opened_as) override { return image_->real_path(opened_as); }
  std::optional<std::string> lock_unavailable() override { return image_->lock_unavailable(); }
  bool sync() override { return image_->sync(); }
  bool close() override {
    const bool journal_closed = journal_->close();
    return image_->close() && journal_closed;
  }

 private:
  std::unique_ptr<File> image_;
  std::unique_ptr<File> journal_;
  std::vector<Entry> entries_;
  bool failed_ = false;
};

}  // namespace

HostPath journal_path(const HostPath& image) { return image.with_suffix("-journal"); }

JournalFile find_journal(Host& host, const HostPath& journal, std::string* reason) {
  PathKind found = PathKind::kMissing;
  std::unique_ptr<File> file = host.open_regular(journal, found, reason);
  if (found == PathKind::kMissing) return JournalFile::kNone;
  if (found != PathKind::kFile) return JournalFile::kForeign;
  if (!file) return JournalFile::kUnreadable;
  std::array<uint8_t, kMagic.size()> start{};
  const size_t got = file->read_at(0, start.data(), start.size());
  const bool failed = file->failed();
  file->close();
  if (failed) {
    if (reason) *reason = std::strerror(EIO);
    return JournalFile::kUnreadable;
  }
  return std::equal(start.begin(), start.begin() + static_cast<long>(got), kMagic.begin()) ? JournalFile::kOurs
                                                                                          : JournalFile::kForeign;
}

bool remove_journal(Host& host, const HostPath& journal) {
  if (!host.remove_file(journal)) return false;
  host.sync_folder_of(journal);
  return true;
}

bool write_journaled(Host& host, const HostPath& journal, File& image, std::span<const Stretch> stretches,
                     std::span<const FileSpan> unchanged, std::string* reason) {
  if (stretches.empty()) return image.sync();
  const std::optional<uint64_t> size = image.size();
  if (!size) return false;
  std::optional<std::vector<WriteUnit>> units = sector_units(stretches, *size);
  std::optional<std::vector<SectorRun>> bound = units ? unchanged_runs(unchanged, *units, *size) : std::nullopt;
  if (!bound || !make_journal(host, journal, image, *size, stretches, *units, *bound, reason)) return false;
  const bool written = write_units(image, stretches, *units) && image.sync();
  if (!written && reason) *reason = image.failure_text();
  if (written && host.remove_file(journal)) {
    // Should this last sync fail, a crash may bring the journal back, and
    // the next run the old image: still a whole one.
    host.sync_folder_of(journal);
    return true;
  }
  // The save did not take (and a journal that stays would undo it at the
  // next run anyway): the old bytes go back now.
  PathKind found = PathKind::kMissing;
  std::unique_ptr<File> file = host.open_regular(journal, found);
  Layout layout;
  if (file && read_layout(*file, layout) && play_back(*file, image, layout.entries)) {
    file->close();
    remove_journal(host, journal);
  }
  return false;
}

Recovery recover_from_journal(Host& host, const HostPath& journal, std::unique_ptr<File>& image, bool writable,
                              std::string* reason) {
  switch (find_journal(host, journal, reason)) {
    case JournalFile::kNone: return Recovery::kNone;
    case JournalFile::kForeign: return Recovery::kForeign;
    case JournalFile::kUnreadable: return Recovery::kUnreadable;
    case JournalFile::kOurs: break;
  }
  PathKind found = PathKind::kMissing;
  std::unique_ptr<File> file = host.open_regular(journal, found, reason);
  if (!file) return found == PathKind::kFile ? Recovery::kUnreadable : Recovery::kNone;
  Layout layout;
  if (!read_layout(*file, layout)) {
    // Cut short while it was written: the image was not touched yet.
    file->close();
    if (writable) remove_journal(host, journal);
    return Recovery::kDiscarded;
  }
  switch (fits(*file, *image, layout)) {
    case Fit::kFits: break;
    case Fit::kOther: file->close(); return Recovery::kNotThisFile;
    case Fit::kUnreadable:
      file->close();
      if (reason) *reason = std::strerror(EIO);
      return Recovery::kUnreadable;
  }
  if (!writable) {
    image = std::make_unique<JournalOverlay>(std::move(image), std::move(file), std::move(layout.entries));
    return Recovery::kReadThrough;
  }
  const bool played = play_back(*file, *image, layout.entries);
  file->close();
  if (!played) return Recovery::kWriteFailed;
  remove_journal(host, journal);
  return Recovery::kRestored;
}

}  // namespace tarnwick
