#include "containers/journal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "host/host_path.h"
#include "volume/coding.h"

namespace tarnwick {

namespace {

constexpr std::array<uint8_t, 8> kMagic = {'T', 'W', 'J', 'O', 'U', 'R', 'N', 'L'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderSize = 16;     // magic, version, count
constexpr size_t kEntryHeaderSize = 16;  // offset, length
constexpr size_t kTrailerSize = 4;     // CRC-32
// Bytes moved at a time: the journal never needs the whole of what it holds
// in memory.
constexpr size_t kChunk = 64 * 1024;

uint64_t load64(const uint8_t* p) { return uint64_t{load32(p)} | (uint64_t{load32(p + 4)} << 32); }

void store64(uint8_t* p, uint64_t v) {
  store32(p, static_cast<uint32_t>(v));
  store32(p + 4, static_cast<uint32_t>(v >> 32));
}

// CRC-32 as zlib and PNG have it (reflected polynomial 0xEDB88320).
constexpr std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

class Crc32 {
 public:
  void update(std::span<const uint8_t> bytes) {
    for (const uint8_t b : bytes) crc_ = kTable[(crc_ ^ b) & 0xFF] ^ (crc_ >> 8);
  }
  uint32_t value() const { return ~crc_; }

 private:
  static constexpr std::array<uint32_t, 256> kTable = make_crc_table();
  uint32_t crc_ = 0xFFFFFFFFu;
};

// A stretch as the journal holds it: where its old bytes go in the image,
// how many, and where they are in the journal.
struct Entry {
  uint64_t offset;
  uint64_t length;
  uint64_t at;
};

// Writes the journal through a buffer, adding up its checksum.
class JournalWriter {
 public:
  explicit JournalWriter(File& file) : file_(file) { buffer_.reserve(kChunk); }

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

// Writes the journal of the stretches: their old bytes, read from the image.
bool fill_journal(File& journal, File& image, std::span<const Stretch> stretches) {
  JournalWriter w(journal);
  std::array<uint8_t, kHeaderSize> header{};
  std::copy(kMagic.begin(), kMagic.end(), header.begin());
  store32(header.data() + 8, kVersion);
  store32(header.data() + 12, static_cast<uint32_t>(stretches.size()));
  w.put(header.data(), header.size());
  for (const Stretch& s : stretches) {
    std::array<uint8_t, kEntryHeaderSize> entry;
    store64(entry.data(), s.offset);
    store64(entry.data() + 8, s.bytes.size());
    w.put(entry.data(), entry.size());
    for (size_t done = 0; done < s.bytes.size();) {
      const size_t n = std::min(kChunk, s.bytes.size() - done);
      if (image.read_at(s.offset + done, w.extend(n), n) != n) return false;
      done += n;
    }
  }
  return w.finish();
}

// Makes the journal of a save, synced and with its name durable. Nothing is
// left behind when that fails.
bool make_journal(Host& host, const HostPath& path, File& image, std::span<const Stretch> stretches) {
  if (stretches.size() > UINT32_MAX) return false;
  std::unique_ptr<File> journal = host.create_file(path);
  if (!journal) return false;
  bool made = fill_journal(*journal, image, stretches) && journal->sync();
  made = journal->close() && made;
  journal.reset();
  made = made && host.sync_folder_of(path);
  if (!made && host.remove_file(path)) host.sync_folder_of(path);
  return made;
}

// Reads the journal's layout and checks it whole: the header, every
// stretch's length leading to the next, the checksum right after the last
// one and nothing after it, and every stretch inside the image file.
bool read_entries(File& journal, File& image, std::vector<Entry>& entries) {
  std::array<uint8_t, kHeaderSize> header;
  if (journal.read_at(0, header.data(), header.size()) != header.size()) return false;
  if (!std::equal(kMagic.begin(), kMagic.end(), header.begin()) || load32(header.data() + 8) != kVersion) {
    return false;
  }
  const uint32_t count = load32(header.data() + 12);
  uint64_t pos = kHeaderSize;
  // Each stretch is read before the next is looked for, so a count larger
  // than the file can hold ends at its end.
  for (uint32_t i = 0; i < count; ++i) {
    std::array<uint8_t, kEntryHeaderSize> e;
    if (journal.read_at(pos, e.data(), e.size()) != e.size()) return false;
    const Entry entry{load64(e.data()), load64(e.data() + 8), pos + kEntryHeaderSize};
    if (entry.length > UINT64_MAX - entry.at - kTrailerSize) return false;
    entries.push_back(entry);
    pos = entry.at + entry.length;
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
  if (crc.value() != load32(trailer.data())) return false;

  for (const Entry& entry : entries) {
    if (entry.length == 0) continue;
    if (entry.offset > UINT64_MAX - entry.length) return false;
    uint8_t last;
    if (image.read_at(entry.offset + entry.length - 1, &last, 1) != 1) return false;
  }
  return true;
}

// Writes the journal's old bytes back into the image and syncs it.
bool play_back(File& journal, File& image, const std::vector<Entry>& entries) {
  std::vector<uint8_t> chunk(kChunk);
  for (const Entry& entry : entries) {
    for (uint64_t done = 0; done < entry.length;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), entry.length - done));
      if (journal.read_at(entry.at + done, chunk.data(), n) != n) return false;
      if (image.write_at(entry.offset + done, chunk.data(), n) != n) return false;
      done += n;
    }
  }
  return image.sync();
}

void remove_journal(Host& host, const HostPath& path) {
  if (host.remove_file(path)) host.sync_folder_of(path);
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
      const uint64_t from = std::max(offset, e.offset);
      const uint64_t to = std::min(offset + got, e.offset + e.length);
      if (from >= to) continue;
      const size_t n_over = static_cast<size_t>(to - from);
      if (journal_->read_at(e.at + (from - e.offset), static_cast<uint8_t*>(buf) + (from - offset), n_over) !=
          n_over) {
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
  bool last_write_time(HostTime& t) override { return image_->last_write_time(t); }
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

std::string journal_name(const std::string& image_name) { return image_name + "-journal"; }

bool journal_exists(Host& host, const std::string& image_name) {
  return host.path_kind(HostPath::from_argument(journal_name(image_name))) != PathKind::kMissing;
}

bool write_journaled(Host& host, const std::string& image_name, File& image, std::span<const Stretch> stretches) {
  if (stretches.empty()) return image.sync();
  const HostPath path = HostPath::from_argument(journal_name(image_name));
  if (!make_journal(host, path, image, stretches)) return false;
  bool written = true;
  for (const Stretch& s : stretches) {
    if (image.write_at(s.offset, s.bytes.data(), s.bytes.size()) != s.bytes.size()) {
      written = false;
      break;
    }
  }
  written = written && image.sync();
  if (written && host.remove_file(path)) {
    // Should this last sync fail, a crash may bring the journal back, and
    // the next run the old image: still a whole one.
    host.sync_folder_of(path);
    return true;
  }
  // The save did not take (and a journal that stays would undo it at the
  // next run anyway): the old bytes go back now.
  std::unique_ptr<File> journal = host.open(journal_name(image_name), OpenMode::kRead);
  std::vector<Entry> entries;
  if (journal && read_entries(*journal, image, entries) && play_back(*journal, image, entries)) {
    journal->close();
    remove_journal(host, path);
  }
  return false;
}

Recovery recover_from_journal(Host& host, const std::string& image_name, std::unique_ptr<File>& image, bool writable,
                              std::string* reason) {
  const std::string name = journal_name(image_name);
  const HostPath path = HostPath::from_argument(name);
  if (host.path_kind(path) == PathKind::kMissing) return Recovery::kNone;
  std::unique_ptr<File> journal = host.open(name, OpenMode::kRead, reason);
  if (!journal) return Recovery::kUnreadable;
  std::vector<Entry> entries;
  if (!read_entries(*journal, *image, entries)) {
    // Cut short while it was written: the image was not touched yet.
    journal->close();
    if (writable) remove_journal(host, path);
    return Recovery::kDiscarded;
  }
  if (!writable) {
    image = std::make_unique<JournalOverlay>(std::move(image), std::move(journal), std::move(entries));
    return Recovery::kRestoredInMemory;
  }
  const bool played = play_back(*journal, *image, entries);
  journal->close();
  if (!played) return Recovery::kWriteFailed;
  remove_journal(host, path);
  return Recovery::kRestored;
}

}  // namespace tarnwick
