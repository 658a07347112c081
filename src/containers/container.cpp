#include "containers/container.h"

#include <cctype>

#include "containers/d88.h"
#include "containers/d88_disks.h"
#include "containers/hdd_rom.h"

namespace tarnwick {

const char* container_kind_name(ContainerKind kind) {
  switch (kind) {
    case ContainerKind::kHdd: return "HDD";
    case ContainerKind::kD88: return "D88";
    case ContainerKind::kRom: return "ROM";
    case ContainerKind::kRaw: return "raw";
  }
  return "";
}

std::string image_extension(std::string_view file_name) {
  if (file_name.size() < 4 || file_name[file_name.size() - 4] != '.') return {};
  std::string ext(file_name.substr(file_name.size() - 3));
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

void report_load_failure(Report& rep, const Container& container) {
  switch (container.kind) {
    case ContainerKind::kHdd: rep.err(msg::kHddFormatBad); break;
    case ContainerKind::kRom: rep.err(msg::kRomFormatBad); break;
    case ContainerKind::kD88: rep.err(msg::kD88FormatBad); break;
    case ContainerKind::kRaw: rep.err(msg::kRawFormatBad); break;
  }
}

namespace {

// A file named neither *.D88 nor *.ROM: what its bytes say it is.
bool identify_by_content(File& image, Container& container) {
  if (check_hdd_signature(image)) {
    container.kind = ContainerKind::kHdd;
    return true;
  }
  if (container.file_size == 0) return false;  // a size the system cannot tell
  D88Header header;
  if (read_d88_header(image, {0, container.file_size}, header) && is_d88_header(header, container.file_size)) {
    container.kind = ContainerKind::kD88;
    return true;
  }
  if (const std::optional<RawOrder> order = raw_image_order(image, container.file_size)) {
    container.kind = ContainerKind::kRaw;
    container.raw_order = *order;
    return true;
  }
  return false;
}

std::unique_ptr<Pager> load_d88_disk(File& image, const std::string& image_name, int index, Report& rep,
                                     Container& container, MemoryHint hint) {
  if (container.several_disks()) {
    if (index < 0 || static_cast<size_t>(index) >= container.disks.size()) return nullptr;
    container.disk = container.disks[static_cast<size_t>(index)];
    D88Header header;
    if (read_d88_header(image, container.disk, header)) {
      rep.out(msg::kDiskOfFile, static_cast<unsigned>(index + 1), static_cast<unsigned>(container.disks.size()),
              d88_disk_name(header));
    }
  }
  FileWindow disk(image, container.disk);
  if (!check_d88_format(disk, rep, container.d88)) return nullptr;
  rep.out(msg::kIsD88Image, image_name);
  return load_d88_image(image, container.d88, std::move(hint), container.disk);
}

}  // namespace

bool identify_container(File& image, const std::string& image_name, Report& rep, Container& container) {
  container.file_size = image.size().value_or(0);
  const std::string ext = image_extension(image_name);
  bool known = true;
  if (ext == "D88") {
    container.kind = ContainerKind::kD88;
  } else if (ext == "ROM") {
    container.kind = ContainerKind::kRom;
  } else {
    known = identify_by_content(image, container);
  }
  if (!known) {
    rep.err(msg::kUnsupportedImage, image_name);
    rep.err(msg::kNotAnyImage, image_name);
    if (reads_as_rom_image(image, container.file_size)) rep.err(msg::kRomNeedsItsName);
    return false;
  }
  if (container.kind == ContainerKind::kD88) {
    container.disks = container.file_size ? d88_disks(image, container.file_size) : std::vector<DiskSpan>{kWholeFile};
    container.disk = container.disks.front();
  }
  return true;
}

std::unique_ptr<Pager> load_container(File& image, const std::string& image_name, int index, Report& rep,
                                      Container& container, MemoryHint hint) {
  std::unique_ptr<Pager> pager;
  container.index = container.kind == ContainerKind::kHdd || container.several_disks() ? index : 0;
  switch (container.kind) {
    case ContainerKind::kD88:
      pager = load_d88_disk(image, image_name, index, rep, container, std::move(hint));
      break;
    case ContainerKind::kRom:
      rep.out(msg::kIsRomImage, image_name);
      pager = load_rom_image(image, std::move(hint));
      break;
    case ContainerKind::kHdd:
      rep.out(msg::kIsHddImage, image_name);
      pager = load_hdd_partition(image, index, container, std::move(hint));
      break;
    case ContainerKind::kRaw:
      rep.out(msg::kIsRawImage, image_name);
      pager = load_raw_image(image, container.raw_order, container.file_size, std::move(hint));
      break;
  }
  if (!pager) report_load_failure(rep, container);
  return pager;
}

DiskSpan d88_disk_bytes(const Container& container) {
  if (container.several_disks()) return container.disk;
  return d88_lone_disk_bytes(container.d88, container.file_size);
}

bool plan_save(File& image, Pager& pager, const Container& container, SavePlan& plan,
               const std::vector<bool>* unused) {
  switch (container.kind) {
    case ContainerKind::kHdd: return plan_volume_save(pager, container.partition_offset, plan, unused);
    case ContainerKind::kRom: return plan_volume_save(pager, 0, plan, unused);
    case ContainerKind::kRaw: return plan_raw_save(pager, container.raw_order, plan, unused);
    case ContainerKind::kD88: {
      // The disk's track offsets count from its start.
      FileWindow disk(image, container.disk);
      if (!plan_d88_save(disk, pager, container.d88, plan, unused)) return false;
      for (Stretch& s : plan.stretches) s.offset += container.disk.offset;
      return true;
    }
  }
  return false;
}

namespace {

// Where record `r` of the loaded volume starts in the image file; its 256
// bytes follow.
uint64_t record_offset(const Container& container, uint32_t r) {
  const uint64_t at = uint64_t{r} * kRecordSize;
  switch (container.kind) {
    case ContainerKind::kHdd: return container.partition_offset + at;
    case ContainerKind::kRom: return at;
    case ContainerKind::kRaw: return raw_file_offset(container.raw_order, at);
    case ContainerKind::kD88: break;
  }
  const uint32_t track = r / static_cast<uint32_t>(d88::kSectorsUsed);
  return container.disk.offset + container.d88.track_offset(d88::d88_track_of(static_cast<int>(track))) +
         uint64_t{r % static_cast<uint32_t>(d88::kSectorsUsed)} * d88::kSectorSpan + d88::kSectorHeaderSize;
}

}  // namespace

void plan_bound_records(const Container& container, const std::vector<bool>& bound, SavePlan& plan) {
  if (container.kind == ContainerKind::kD88) {
    for (const DiskSpan& disk : container.disks) plan.unchanged.push_back({disk.offset, D88Header::kSize});
  }
  for (uint32_t r = 0; r < bound.size(); ++r) {
    if (!bound[r]) continue;
    const uint64_t at = record_offset(container, r);
    if (!plan.unchanged.empty() && plan.unchanged.back().offset + plan.unchanged.back().length == at) {
      plan.unchanged.back().length += kRecordSize;
    } else {
      plan.unchanged.push_back({at, kRecordSize});
    }
  }
}

}  // namespace tarnwick
