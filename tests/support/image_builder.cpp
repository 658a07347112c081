#include "support/image_builder.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "containers/hdd_rom.h"

namespace tarnwick::testing {

Bytes pattern(size_t length, uint8_t seed) {
  Bytes b(length);
  for (size_t i = 0; i < length; ++i) b[i] = static_cast<uint8_t>((i + seed) % 251);
  return b;
}

VolumeBuilder::VolumeBuilder(uint16_t total_blocks, int records_per_block, int reserved_blocks)
    : vol_(Bytes(size_t{total_blocks} * static_cast<size_t>(records_per_block) * kRecordSize, 0)),
      rpb_(records_per_block),
      total_(total_blocks) {
  if (reserved_blocks < 0) {
    reserved_ = (kMinimumRecords + static_cast<uint32_t>(rpb_) - 1) / static_cast<uint32_t>(rpb_);
  } else {
    reserved_ = static_cast<uint32_t>(reserved_blocks);
  }
  vol_.set_sys8(sys::kReservedBlocks, static_cast<uint8_t>(reserved_));
  vol_.set_sys16(sys::kUsedBlocks, static_cast<uint16_t>(reserved_));
  vol_.set_sys16(sys::kTotalBlocks, total_blocks);
  vol_.set_sys8(sys::kRecordsPerBlockMinusOne, static_cast<uint8_t>(rpb_ - 1));
  vol_.put8(kRootDirectoryRecord * kRecordSize, kDirectoryNormal);
}

void VolumeBuilder::mark_block(uint32_t block) {
  const uint32_t bit = block - reserved_;
  const uint32_t at = Volume::kSystemOffset + sys::kBitmap + bit / 8;
  const uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
  if (vol_.u8(at) & mask) return;
  vol_.put8(at, vol_.u8(at) | mask);
  vol_.set_sys16(sys::kUsedBlocks, static_cast<uint16_t>(vol_.sys16(sys::kUsedBlocks) + 1));
}

uint32_t VolumeBuilder::claim_blocks(uint32_t blocks) {
  const uint32_t data_blocks = total_ - reserved_;
  uint32_t run = 0;
  for (uint32_t i = 0; i < data_blocks; ++i) {
    const uint32_t at = Volume::kSystemOffset + sys::kBitmap + i / 8;
    const bool used = vol_.u8(at) & (1u << (i % 8));
    run = used ? 0 : run + 1;
    if (run == std::max<uint32_t>(blocks, 1)) {
      const uint32_t first = i + 1 - run;
      for (uint32_t j = first; j <= i; ++j) mark_block(j + reserved_);
      return (first + reserved_) * static_cast<uint32_t>(rpb_);
    }
  }
  throw std::runtime_error("test volume full");
}

EntryRef VolumeBuilder::add_entry(uint32_t dir_record, uint8_t mode, const std::string& name, uint16_t size,
                                  uint16_t start_record, const FileOptions& opt) {
  for (int i = 1; i < kEntriesPerDirectory; ++i) {
    const EntryRef e = Volume::entry_at(dir_record, i);
    if (vol_.mode(e) != 0) continue;
    vol_.set_field8(e, entry::kMode, mode);
    for (int k = 0; k < kNameFieldLength; ++k) {
      const size_t n = static_cast<size_t>(k);
      vol_.set_field8(e, entry::kName + static_cast<uint32_t>(k),
                      n < name.size() ? static_cast<uint8_t>(name[n]) : kNameEnd);
    }
    vol_.set_field8(e, entry::kAttribute, opt.attribute);
    vol_.set_field8(e, entry::kUnnamed, 0);
    vol_.set_field16(e, entry::kSize, size);
    vol_.set_field16(e, entry::kLoadAddress, opt.load_address);
    vol_.set_field16(e, entry::kExecAddress, opt.exec_address);
    for (uint32_t k = 0; k < 4; ++k) vol_.set_field8(e, entry::kTimeStamp + k, opt.stamp[k]);
    vol_.set_field16(e, entry::kStartRecord, start_record);
    return e;
  }
  throw std::runtime_error("test directory full");
}

namespace {
uint32_t blocks_for(size_t bytes, int rpb) {
  const size_t per_block = static_cast<size_t>(rpb) * kRecordSize;
  return static_cast<uint32_t>(std::max<size_t>(1, (bytes + per_block - 1) / per_block));
}
}  // namespace

EntryRef VolumeBuilder::add_contiguous(uint32_t dir, const std::string& name, const Bytes& data, uint8_t mode,
                                       const FileOptions& opt) {
  const uint32_t start = claim_blocks(blocks_for(data.size(), rpb_));
  std::copy(data.begin(), data.end(), writable().begin() + start * kRecordSize);
  return add_entry(dir, mode, name, static_cast<uint16_t>(data.size()), static_cast<uint16_t>(start), opt);
}

EntryRef VolumeBuilder::add_bsd(uint32_t dir, const std::string& name, const Bytes& data, const FileOptions& opt) {
  // One block per chain record, so records of one file spread over blocks.
  const size_t records = std::max<size_t>(1, (data.size() + kChainData - 1) / kChainData);
  std::vector<uint32_t> chain;
  for (size_t i = 0; i < records; ++i) chain.push_back(claim_blocks(1));
  for (size_t i = 0; i < records; ++i) {
    const size_t from = i * kChainData;
    const size_t n = from < data.size() ? std::min<size_t>(kChainData, data.size() - from) : 0;
    std::copy_n(data.begin() + static_cast<long>(from), n, writable().begin() + chain[i] * kRecordSize);
    vol_.put16(chain[i] * kRecordSize + kChainLink, i + 1 < records ? static_cast<uint16_t>(chain[i + 1]) : 0);
  }
  return add_entry(dir, mode::kBsd, name, static_cast<uint16_t>(data.size()), static_cast<uint16_t>(chain[0]),
                   opt);
}

EntryRef VolumeBuilder::add_brd(uint32_t dir, const std::string& name, const Bytes& data, const FileOptions& opt) {
  const uint32_t index = claim_blocks(1);
  const size_t runs = (data.size() + kRunSize - 1) / kRunSize;
  for (size_t k = 0; k < runs; ++k) {
    const uint32_t run = claim_blocks(blocks_for(kRunSize, rpb_));
    const size_t from = k * kRunSize;
    const size_t n = std::min<size_t>(kRunSize, data.size() - from);
    std::copy_n(data.begin() + static_cast<long>(from), n, writable().begin() + run * kRecordSize);
    vol_.put16(index * kRecordSize + 2 * k, static_cast<uint16_t>(run));
  }
  const size_t units = (data.size() + kBrdUnit - 1) / kBrdUnit;
  return add_entry(dir, mode::kBrd, name, static_cast<uint16_t>(units), static_cast<uint16_t>(index), opt);
}

EntryRef VolumeBuilder::add_other(uint32_t dir, const std::string& name, uint8_t mode, const FileOptions& opt) {
  const uint32_t start = claim_blocks(1);
  return add_entry(dir, mode, name, 256, static_cast<uint16_t>(start), opt);
}

uint32_t VolumeBuilder::add_directory(uint32_t parent, const std::string& name, const FileOptions& opt) {
  const uint32_t start = claim_blocks(blocks_for(kDirectorySize, rpb_));
  std::fill_n(writable().begin() + start * kRecordSize, kDirectorySize, 0);
  vol_.put8(start * kRecordSize, kDirectoryNormal);
  add_entry(parent, mode::kDir, name, 0, static_cast<uint16_t>(start), opt);
  add_entry(start, mode::kDir, ".", 0, static_cast<uint16_t>(start), opt);
  add_entry(start, mode::kDir, "..", 0, static_cast<uint16_t>(parent), opt);
  return start;
}

Bytes make_hdd_image(const Bytes& partition1, const Bytes& partition2) {
  Bytes image(kPartition1Offset + partition1.size(), 0);
  if (!partition2.empty()) image.resize(kPartition2Offset + partition2.size(), 0);
  std::memcpy(image.data(), kHddSignature, kHddSignatureLength);
  std::copy(partition1.begin(), partition1.end(), image.begin() + kPartition1Offset);
  std::copy(partition2.begin(), partition2.end(), image.begin() + kPartition2Offset);
  return image;
}

Bytes make_rom_image(const Bytes& volume, const Bytes& tail) {
  Bytes image = volume;
  image.insert(image.end(), tail.begin(), tail.end());
  return image;
}

Bytes make_d88_image(const Bytes& volume, const D88Options& opt) {
  constexpr size_t kHeader = 688;
  constexpr size_t kSector = 16 + 256;
  const int tracks = opt.tracks >= 0 ? opt.tracks : static_cast<int>(volume.size() / 4096);
  const size_t sectors = 16 + static_cast<size_t>(opt.extra_sectors);
  const size_t track_span = sectors * kSector;
  Bytes image(kHeader + static_cast<size_t>(tracks) * track_span, 0);
  std::memcpy(image.data(), "TARNWICK", 8);
  image[0x1A] = opt.write_protect ? 0x10 : 0x00;
  image[0x1B] = opt.disk_type;
  const uint32_t total = static_cast<uint32_t>(image.size());
  for (int k = 0; k < 4; ++k) image[0x1C + static_cast<size_t>(k)] = static_cast<uint8_t>(total >> (8 * k));
  // Tracks are stored in D88 order; volume track t is D88 track t ^ 1.
  for (int d = 0; d < tracks; ++d) {
    const size_t offset = kHeader + static_cast<size_t>(d) * track_span;
    set_d88_track_offset(image, d, static_cast<uint32_t>(offset));
    const int t = d ^ 1;
    for (size_t j = 0; j < sectors; ++j) {
      uint8_t* h = image.data() + offset + j * kSector;
      h[0] = static_cast<uint8_t>(d / 2);
      h[1] = static_cast<uint8_t>(d % 2);
      h[2] = j < opt.sector_numbers.size() ? opt.sector_numbers[j] : static_cast<uint8_t>(j + 1);
      h[3] = 1;
      h[4] = static_cast<uint8_t>(sectors);
      h[5] = static_cast<uint8_t>(sectors >> 8);
      h[14] = 0x00;
      h[15] = 0x01;
      if (j >= 16) {
        std::fill_n(h + 16, 256, opt.extra_fill);
        continue;
      }
      const size_t record = static_cast<size_t>(t) * 16 + j;
      for (size_t b = 0; b < 256; ++b) {
        const size_t at = record * 256 + b;
        h[16 + b] = static_cast<uint8_t>(~(at < volume.size() ? volume[at] : 0));
      }
    }
  }
  return image;
}

uint32_t d88_track_offset(const Bytes& image, int d88_track) {
  const size_t at = 0x20 + static_cast<size_t>(d88_track) * 4;
  return uint32_t{image.at(at)} | (uint32_t{image.at(at + 1)} << 8) | (uint32_t{image.at(at + 2)} << 16) |
         (uint32_t{image.at(at + 3)} << 24);
}

void set_d88_track_offset(Bytes& image, int d88_track, uint32_t offset) {
  const size_t at = 0x20 + static_cast<size_t>(d88_track) * 4;
  for (size_t k = 0; k < 4; ++k) image.at(at + k) = static_cast<uint8_t>(offset >> (8 * k));
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

Bytes read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace tarnwick::testing
