#include "containers/d88_disks.h"

#include <string_view>

namespace tarnwick {

namespace {

bool known_disk_type(uint8_t type) {
  return type == 0x00 || type == 0x10 || type == 0x20 || type == 0x30 || type == 0x40;
}

}  // namespace

bool is_d88_header(const D88Header& header, uint64_t room) {
  if (!known_disk_type(header.bytes[D88Header::kDiskType])) return false;
  const uint32_t size = header.disk_size();
  if (size < D88Header::kSize || size > room) return false;
  for (int d = 0; d < D88Header::kTracks; ++d) {
    const uint32_t offset = header.track_offset(d);
    if (offset != 0 && (offset < D88Header::kSize || offset >= size)) return false;
  }
  return true;
}

bool read_d88_header(File& image, const DiskSpan& disk, D88Header& header) {
  if (disk.size < D88Header::kSize) return false;
  return image.read_at(disk.offset, header.bytes.data(), header.bytes.size()) == header.bytes.size();
}

std::vector<DiskSpan> d88_disks(File& image, uint64_t file_size) {
  const std::vector<DiskSpan> whole{{0, file_size}};
  D88Header header;
  if (!read_d88_header(image, whole[0], header) || !is_d88_header(header, file_size) ||
      header.disk_size() == file_size) {
    return whole;
  }
  std::vector<DiskSpan> disks{{0, header.disk_size()}};
  // Each disk is at least a header long, so the walk ends.
  for (uint64_t at = header.disk_size(); file_size - at >= D88Header::kSize; at += header.disk_size()) {
    if (!read_d88_header(image, {at, file_size - at}, header) || !is_d88_header(header, file_size - at)) break;
    disks.push_back({at, header.disk_size()});
  }
  return disks.size() > 1 ? disks : whole;
}

std::string d88_disk_name(const D88Header& header) {
  const char* name = reinterpret_cast<const char*>(header.bytes.data() + D88Header::kName);
  const std::string_view field(name, D88Header::kNameLength);
  return std::string(field.substr(0, field.find('\0')));
}

DiskFacts d88_disk_facts(const D88Header& header, unsigned number) {
  return DiskFacts{number, d88_disk_name(header), header.bytes[D88Header::kDiskType],
                   header.bytes[D88Header::kWriteProtect] == D88Header::kProtected, header.disk_size()};
}

std::vector<DiskFacts> d88_disk_facts(File& image, const std::vector<DiskSpan>& disks) {
  std::vector<DiskFacts> facts;
  for (size_t i = 0; i < disks.size(); ++i) {
    D88Header header;
    if (!read_d88_header(image, disks[i], header)) continue;  // the file shrank under the run
    facts.push_back(d88_disk_facts(header, static_cast<unsigned>(i + 1)));
  }
  return facts;
}

void report_d88_disks(const std::vector<DiskFacts>& disks, Report& rep) {
  for (const DiskFacts& d : disks) {
    // The type as the "Disk type" line names it, without its line end.
    rep.out(msg::kDiskListLine, d.number, d88_disk_type_text(d.type), d.size, d.name);
    if (d.write_protected) rep.out(msg::kWriteProtected);
    rep.out(msg::kNewline);
  }
}

DiskSpan d88_lone_disk_bytes(const D88Header& header, uint64_t file_size) {
  const uint32_t size = header.disk_size();
  if (size < D88Header::kSize || size > file_size) return {0, file_size};
  // A size field that cuts into a track is wrong: the copy keeps the track.
  for (int d = 0; d < D88Header::kTracks; ++d) {
    const uint32_t offset = header.track_offset(d);
    if (offset != 0 && uint64_t{offset} + d88::kTrackSpan > size) return {0, file_size};
  }
  return {0, size};
}

}  // namespace tarnwick
