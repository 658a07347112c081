// How a fuzz input becomes one run of the tool, and back (the seed maker
// composes inputs in the same layout).
//
// Command targets (one per command letter):
//   OFFSET  SIZE  DESCRIPTION
//        0     1  flags: bits 0-1 container (0 ROM, 1 HDD partition 1,
//                 2 D88 built from the volume bytes, 3 the bytes are a D88
//                 file as they stand); bit 2 verbose (V prefix); bit 3 the
//                 host file is absent; bit 4 it is a pipe (read and
//                 written in sequence only); bit 5 R writes into the
//                 image file itself; bits 6-7 the host file's last-write
//                 time (none, a plain one, all zero, out of every range;
//                 R, W and X run with -b -t when it is odd: a BTX file as
//                 its listing, a BSD file as its text)
//        1     1  fault: bits 0-2 (0 none, 1 writes fail after a budget,
//                 2 the sync fails, 3 the close fails, all three on the file
//                 the command writes: the host file for R, the image for
//                 the others; 4 reads of the host file come up short after
//                 the budget, 5 reads of the image do; 6, 7 none), bits 3-7
//                 the budget's step n: n x n x 29 bytes (0 to 27,869)
//        2     1  path length p
//        3     p  path (argument 4; the record number text for I), cut at
//                 its first NUL
//      3+p     3  host file length h, little-endian (cut to what is left)
//      6+p     h  host file (the MZT file for W, the raw file for I)
//    6+p+h   ...  the volume (ROM, HDD, D88 built) or the D88 file
//
// The load target: byte 0 bits 0-1 pick the container (0 ROM, 1 HDD
// partition 1, 2 HDD partition 2, 3 D88 file, of one disk or several), bit
// 2 has a ROM file's bytes told by their content instead (an HDD image, a
// D88 file or a raw image), bits 3-4 the disk of a D88 file of several
// (modulo their count); the rest is the ROM or D88 file, or the
// partition's bytes behind an HDD signature.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/host_time.h"

namespace tarnwick::fuzz {

using Bytes = std::vector<uint8_t>;

enum class Carrier : uint8_t { kRom = 0, kHdd = 1, kD88Built = 2, kD88Raw = 3 };
enum class Fault : uint8_t { kNone = 0, kWriteBudget = 1, kSync = 2, kClose = 3, kHostRead = 4, kImageRead = 5 };

namespace flag {
inline constexpr uint8_t kVerbose = 1 << 2;
inline constexpr uint8_t kHostAbsent = 1 << 3;
inline constexpr uint8_t kHostPipe = 1 << 4;
inline constexpr uint8_t kOutputIsImage = 1 << 5;
inline constexpr int kTimeShift = 6;
}  // namespace flag

// Budgets grow with the square of their step, so that small steps cut a
// header or a first record short and large ones a whole small volume.
inline constexpr uint64_t budget_of_step(uint8_t step) { return uint64_t{step} * step * 29; }

struct CommandInput {
  Carrier carrier = Carrier::kRom;
  bool verbose = false;
  bool host_absent = false;
  bool host_pipe = false;
  bool output_is_image = false;
  int time_kind = 0;  // 0 none, 1 plain, 2 all zero, 3 out of range
  Fault fault = Fault::kNone;
  uint8_t budget_step = 0;  // 0-31
  uint64_t budget() const { return budget_of_step(budget_step); }
  std::string path;
  Bytes host_file;
  Bytes image_bytes;
};

inline CommandInput split_command_input(const uint8_t* data, size_t size) {
  CommandInput in;
  size_t at = 0;
  auto take = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  const uint8_t flags = take();
  in.carrier = static_cast<Carrier>(flags & 3);
  in.verbose = flags & flag::kVerbose;
  in.host_absent = flags & flag::kHostAbsent;
  in.host_pipe = flags & flag::kHostPipe;
  in.output_is_image = flags & flag::kOutputIsImage;
  in.time_kind = flags >> flag::kTimeShift;
  const uint8_t fault = take();
  in.fault = (fault & 7) <= 5 ? static_cast<Fault>(fault & 7) : Fault::kNone;
  in.budget_step = static_cast<uint8_t>(fault >> 3);
  const size_t p = take();
  for (size_t i = 0; i < p && at < size; ++i) in.path.push_back(static_cast<char>(data[at++]));
  in.path = in.path.c_str();  // a command-line argument ends at its first NUL
  size_t h = take();
  h |= size_t{take()} << 8;
  h |= size_t{take()} << 16;
  h = std::min(h, size - at);
  in.host_file.assign(data + at, data + at + h);
  at += h;
  in.image_bytes.assign(data + at, data + size);
  return in;
}

inline Bytes compose_command_input(const CommandInput& in) {
  Bytes out;
  out.push_back(static_cast<uint8_t>(static_cast<uint8_t>(in.carrier) | (in.verbose ? flag::kVerbose : 0) |
                                     (in.host_absent ? flag::kHostAbsent : 0) |
                                     (in.host_pipe ? flag::kHostPipe : 0) |
                                     (in.output_is_image ? flag::kOutputIsImage : 0) |
                                     (in.time_kind << flag::kTimeShift)));
  out.push_back(static_cast<uint8_t>(static_cast<uint8_t>(in.fault) | ((in.budget_step & 31) << 3)));
  out.push_back(static_cast<uint8_t>(in.path.size()));
  out.insert(out.end(), in.path.begin(), in.path.begin() + static_cast<long>(std::min<size_t>(in.path.size(), 255)));
  const size_t h = in.host_file.size();
  for (int k = 0; k < 3; ++k) out.push_back(static_cast<uint8_t>(h >> (8 * k)));
  out.insert(out.end(), in.host_file.begin(), in.host_file.end());
  out.insert(out.end(), in.image_bytes.begin(), in.image_bytes.end());
  return out;
}

// The host time a time kind stands for, if any.
inline std::optional<HostTime> host_time_of_kind(int kind) {
  switch (kind) {
    case 1: return HostTime{1998, 12, 31, 23, 59};
    case 2: return HostTime{0, 0, 0, 0, 0};
    case 3: return HostTime{-2147483647 - 1, 99, -1, 2147483647, 1000};
    default: return std::nullopt;
  }
}

}  // namespace tarnwick::fuzz
