#include "containers/container.h"

#include <cctype>

#include "containers/d88.h"
#include "containers/hdd_rom.h"

namespace tarnwick {

std::string image_extension(std::string_view file_name) {
  if (file_name.size() < 4 || file_name[file_name.size() - 4] != '.') return {};
  std::string ext(file_name.substr(file_name.size() - 3));
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return ext;
}

void report_load_failure(Console& con, const Container& container) {
  switch (container.kind) {
    case ContainerKind::kHdd: con.err(msg::kHddFormatBad); break;
    case ContainerKind::kRom: con.err(msg::kRomFormatBad); break;
    case ContainerKind::kD88: con.err(msg::kD88FormatBad); break;
  }
}

std::unique_ptr<Pager> load_container(File& image, const std::string& image_name, int partition_index, Console& con,
                                      Container& container, MemoryHint hint) {
  const std::string ext = image_extension(image_name);
  std::unique_ptr<Pager> pager;
  if (ext == "D88") {
    container.kind = ContainerKind::kD88;
    if (check_d88_format(image, con, container.d88)) {
      con.out(msg::kIsD88Image, image_name);
      pager = load_d88_image(image, container.d88, std::move(hint));
    }
  } else if (ext == "ROM") {
    container.kind = ContainerKind::kRom;
    con.out(msg::kIsRomImage, image_name);
    pager = load_rom_image(image, std::move(hint));
  } else {
    container.kind = ContainerKind::kHdd;
    if (!check_hdd_signature(image)) {
      con.err(msg::kUnsupportedImage, image_name);
      return nullptr;
    }
    con.out(msg::kIsHddImage, image_name);
    pager = load_hdd_partition(image, partition_index, container, std::move(hint));
  }
  if (!pager) report_load_failure(con, container);
  return pager;
}

bool plan_save(File& image, Pager& pager, const Container& container, SavePlan& plan,
               const std::vector<bool>* unused) {
  switch (container.kind) {
    case ContainerKind::kHdd: return plan_volume_save(pager, container.partition_offset, plan, unused);
    case ContainerKind::kRom: return plan_volume_save(pager, 0, plan, unused);
    case ContainerKind::kD88: return plan_d88_save(image, pager, container.d88, plan, unused);
  }
  return false;
}

}  // namespace tarnwick
