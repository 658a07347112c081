// Loads a volume from an image file made of the fuzz input (layout in
// fuzz_input.h), the container told as a run tells it, runs the
// consistency check and an examination on it, repairs a copy of it and saves
// it back unchanged. Besides the sanitizers' findings, a run aborts when the
// loaded volume is larger than its container can hold, when a repair adds a
// finding or changes more than the system record, or when saving the
// unchanged volume does not give back the image file byte for byte.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "broken_promise.h"
#include "operations/check.h"
#include "operations/examine.h"
#include "containers/container.h"
#include "containers/d88.h"
#include "containers/hdd_rom.h"
#include "output/render.h"
#include "support/memory_volume.h"

using namespace tarnwick;

namespace {

using Bytes = std::vector<uint8_t>;

// An image file held as two pieces: `head` from byte 0 and `body` from
// `body_offset` on, zeros between. An HDD image's second partition lies
// almost 10 MB into the file; this keeps a run from copying those megabytes.
class TwoPieceFile final : public File {
 public:
  TwoPieceFile(Bytes head, uint64_t body_offset, Bytes body)
      : head_(std::move(head)), body_offset_(body_offset), body_(std::move(body)) {}

  uint64_t length() const { return body_.empty() ? head_.size() : body_offset_ + body_.size(); }

  size_t read_at(uint64_t offset, void* buf, size_t n) override {
    const uint64_t end = std::min<uint64_t>(offset + n, length());
    if (offset >= end) return 0;
    auto* to = static_cast<uint8_t*>(buf);
    std::memset(to, 0, static_cast<size_t>(end - offset));
    copy_overlap(head_, 0, offset, end, [&](size_t from, size_t into, size_t k) {
      std::memcpy(to + into, head_.data() + from, k);
    });
    copy_overlap(body_, body_offset_, offset, end, [&](size_t from, size_t into, size_t k) {
      std::memcpy(to + into, body_.data() + from, k);
    });
    return static_cast<size_t>(end - offset);
  }
  size_t write_at(uint64_t offset, const void* buf, size_t n) override {
    const auto* from = static_cast<const uint8_t*>(buf);
    size_t placed = 0;
    placed += copy_overlap(head_, 0, offset, offset + n, [&](size_t at, size_t into, size_t k) {
      std::memcpy(head_.data() + at, from + into, k);
    });
    placed += copy_overlap(body_, body_offset_, offset, offset + n, [&](size_t at, size_t into, size_t k) {
      std::memcpy(body_.data() + at, from + into, k);
    });
    if (placed != n) broken("a save writes only where the volume was loaded from");
    return n;
  }
  bool failed() override { return false; }
  std::string failure_text() override { return ""; }
  bool last_write_time(HostTime&) override { return false; }
  bool sync() override { return true; }
  bool close() override { return true; }
  uint64_t link_count() override { return 1; }
  std::optional<uint64_t> size() override { return length(); }
  std::optional<HostPath> real_path(const HostPath&) override { return std::nullopt; }
  std::optional<std::string> lock_unavailable() override { return std::nullopt; }

  const Bytes& head() const { return head_; }
  const Bytes& body() const { return body_; }

 private:
  // Calls `copy(piece index, request index, count)` for the part of the
  // request [begin, end) that the piece at `piece_offset` covers; the count.
  template <typename Copy>
  static size_t copy_overlap(const Bytes& piece, uint64_t piece_offset, uint64_t begin, uint64_t end, Copy copy) {
    const uint64_t from = std::max(begin, piece_offset);
    const uint64_t to = std::min(end, piece_offset + piece.size());
    if (from >= to) return 0;
    copy(static_cast<size_t>(from - piece_offset), static_cast<size_t>(from - begin), static_cast<size_t>(to - from));
    return static_cast<size_t>(to - from);
  }

  Bytes head_;
  uint64_t body_offset_;
  Bytes body_;
};

// Tells the container as a run does, from `name` and the bytes, and loads
// volume `index` of it (a disk of a D88 file of several, taken modulo
// their count).
std::unique_ptr<Pager> load_told(File& file, const char* name, int index, Report& con, Container& where) {
  if (!identify_container(file, name, con, where)) return nullptr;
  if (where.several_disks()) index %= static_cast<int>(where.disks.size());
  std::unique_ptr<Pager> pager = load_container(file, name, index, con, where);
  if (pager && where.kind == ContainerKind::kD88 && where.disk.size != UINT64_MAX &&
      where.disk.offset + where.disk.size > file.size().value_or(0)) {
    broken("a disk lies inside the file");
  }
  return pager;
}

std::vector<std::string> shown(const Examination& exam) {
  std::vector<std::string> out;
  for (const Finding& f : exam.findings) out.push_back(render(f.message, {}) + render(f.reason, {}));
  std::sort(out.begin(), out.end());
  return out;
}

// A repair, on a copy, only takes findings away and changes nothing but the
// system record.
void examine_and_repair(Volume& vol) {
  const Examination before = examine_volume(vol);
  Bytes bytes(vol.size());
  if (!vol.read(0, bytes)) return;
  testing::MemoryVolume copy(bytes);
  const Repair repair = repair_volume(copy);
  const std::vector<std::string> was = shown(before), is = shown(repair.after);
  if (!std::includes(was.begin(), was.end(), is.begin(), is.end())) broken("a repair only takes findings away");
  Bytes after = copy.bytes();
  std::copy_n(bytes.begin() + Volume::kSystemOffset, kRecordSize, after.begin() + Volume::kSystemOffset);
  if (after != bytes) broken("a repair changes the system record alone");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int kind = data[0] & 3;
  const bool by_content = (data[0] & 4) != 0;  // a ROM file's bytes under a name that tells nothing
  const int index = (data[0] >> 3) & 3;
  const Bytes rest(data + 1, data + size);
  Bytes head = rest;
  uint64_t body_offset = 0;
  Bytes body;
  if (kind == 1 || kind == 2) {
    head.assign(kHddSignature, kHddSignature + kHddSignatureLength);
    head.resize(kRecordSize, 0);
    body_offset = kind == 1 ? kPartition1Offset : kPartition2Offset;
    body = rest;
  }
  TwoPieceFile file(head, body_offset, body);

  Report con;
  Container where;
  std::unique_ptr<Pager> pager;
  switch (kind) {
    case 0:
      where.kind = ContainerKind::kRom;
      pager = by_content ? load_told(file, "disk", index, con, where) : load_rom_image(file);
      if (pager && pager->size() > rest.size()) broken("a volume lies inside the file");
      break;
    case 1:
    case 2:
      if (check_hdd_signature(file)) pager = load_hdd_partition(file, kind - 1, where);
      if (pager && pager->size() > rest.size()) broken("a partition lies inside the file");
      if (pager && kind == 1 && pager->size() > kPartition2Offset - kPartition1Offset) {
        broken("partition 1 ends before partition 2");
      }
      break;
    case 3:
      pager = load_told(file, "disk.d88", index, con, where);
      if (pager && (pager->size() % 4096 != 0 || pager->size() > 164 * 4096)) broken("a D88 volume is whole tracks");
      break;
  }
  if (!pager) return 0;
  Volume vol(*pager);
  if (!vol.holds_records(0, kMinimumRecords)) broken("a volume holds its system record and root directory");

  sanity_check(vol);
  examine_and_repair(vol);
  const Bytes head_before = file.head();
  const Bytes body_before = file.body();
  if (!testing::save_unjournaled(file, *pager, where)) broken("an unchanged volume saves");
  if (file.head() != head_before || file.body() != body_before) broken("saving an unchanged volume changes nothing");
  return 0;
}
