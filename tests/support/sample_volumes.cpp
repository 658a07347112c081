#include "support/sample_volumes.h"

#include <algorithm>

namespace tarnwick::testing {

Bytes small_volume(int records_per_block) {
  const uint16_t blocks = static_cast<uint16_t>(96 / records_per_block);
  VolumeBuilder b(blocks, records_per_block);
  const uint32_t root = kRootDirectoryRecord;
  FileOptions o;
  o.load_address = 0x1200;
  o.exec_address = 0x1203;
  b.add_contiguous(root, "HELLO", pattern(300), mode::kObj, o);
  b.add_contiguous(root, "TITLE", pattern(513, 7), mode::kBtx);
  b.add_bsd(root, "SCORES", pattern(600, 3));
  b.add_brd(root, "MAP", pattern(3000, 5));
  b.add_other(root, "RBFILE", mode::kRb);
  const uint32_t games = b.add_directory(root, "GAMES");
  b.add_contiguous(games, "WAR", pattern(256, 11), mode::kObj, o);
  return b.take();
}

const std::vector<std::string>& small_volume_paths() {
  static const std::vector<std::string> paths = {"HELLO", "TITLE", "SCORES", "MAP", "RBFILE", "GAMES", "GAMES/WAR"};
  return paths;
}

Bytes make_mzt(const std::string& name, const Bytes& body, uint16_t load, uint16_t exec) {
  // Sized once and the body copied in: GCC 12 takes an insert at the end of
  // the 128-byte header for a copy out of its bounds (-Warray-bounds).
  Bytes mzt(128 + body.size(), 0);
  mzt[0] = mode::kObj;
  for (size_t i = 0; i < 17; ++i) mzt[1 + i] = i < name.size() ? static_cast<uint8_t>(name[i]) : kNameEnd;
  const size_t size = body.size();
  mzt[18] = static_cast<uint8_t>(size & 0xFF);
  mzt[19] = static_cast<uint8_t>((size >> 8) & 0xFF);
  mzt[20] = static_cast<uint8_t>(load & 0xFF);
  mzt[21] = static_cast<uint8_t>(load >> 8);
  mzt[22] = static_cast<uint8_t>(exec & 0xFF);
  mzt[23] = static_cast<uint8_t>(exec >> 8);
  std::copy(body.begin(), body.end(), mzt.begin() + 128);
  return mzt;
}

}  // namespace tarnwick::testing
