// Writes seed inputs for the fuzz targets, one folder per target, built from
// the test image builder's small volumes: every container, every file of the
// volume, MZT and raw host files of edge sizes, every flag and every fault;
// for the BASIC target, a few listings and the programs read from them.
//
//   make_seeds OUTPUT-FOLDER
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/basic.h"
#include "fuzz_input.h"
#include "support/image_builder.h"
#include "support/sample_volumes.h"
#include "volume/coding.h"

using namespace tarnwick;
using namespace tarnwick::fuzz;
using tarnwick::testing::make_mzt;
using tarnwick::testing::pattern;

namespace fs = std::filesystem;

namespace {

int written = 0;

void save(const fs::path& dir, const Bytes& input) {
  fs::create_directories(dir);
  char name[32];
  std::snprintf(name, sizeof name, "seed-%04d", written++);
  testing::write_file((dir / name).string(), input);
}

struct Target {
  const char* name;
  std::vector<std::string> paths;
  std::vector<Bytes> host_files;
};

// The BASIC target: listings, the programs read from them (also as lines
// to build a program of) and BSD text, with each line end and encoding.
void save_basic_seeds(const fs::path& folder) {
  const std::string listings[] = {
      "10 PRINT \"TO{9E}\"TO 5:REM \"{0D}\r\n20 DEF KEY(1)=RUN\x7F\n",
      "0 {54}O=1<{3E}STEP\x83\xCE\n\n65535 DATA 1,2,\xB1\n30 POSITI{4F}N{80 C0}{B2}",
      "10\r\n20 FOR I=1 TO 9:CSRV 3:NEXT I\r\n"};
  for (const std::string& text : listings) {
    const Bytes program = read_basic_listing(text, TextEncoding::kCp932).bytes;
    for (const uint8_t end : {0, 4, 8}) {
      Bytes as_text{static_cast<uint8_t>(2 | end)};
      as_text.insert(as_text.end(), text.begin(), text.end());
      save(folder, as_text);
      Bytes as_program{end};
      as_program.insert(as_program.end(), program.begin(), program.end());
      save(folder, as_program);
      Bytes as_lines{static_cast<uint8_t>(1 | end)};
      for (size_t at = 0; load16(&program[at]) != 0; at += load16(&program[at])) {
        const size_t body = load16(&program[at]) - basic::kLineOverhead;
        as_lines.push_back(static_cast<uint8_t>(body));
        as_lines.insert(as_lines.end(), program.begin() + static_cast<std::ptrdiff_t>(at + 2),
                        program.begin() + static_cast<std::ptrdiff_t>(at + 4 + body));
      }
      save(folder, as_lines);
      Bytes as_bsd{static_cast<uint8_t>(3 | end)};
      as_bsd.insert(as_bsd.end(), text.begin(), text.end());
      save(folder, as_bsd);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds OUTPUT-FOLDER\n");
    return 2;
  }
  const fs::path out = argv[1];
  const std::vector<Bytes> volumes = {testing::small_volume(1), testing::small_volume(2), testing::small_volume(4)};
  // 32 records (two D88 tracks): an OBJ and a BSD file and room for more.
  testing::VolumeBuilder tiny_builder(32, 1);
  tiny_builder.add_contiguous(kRootDirectoryRecord, "HELLO", pattern(300));
  tiny_builder.add_bsd(kRootDirectoryRecord, "SCORES", pattern(300, 3));
  const Bytes tiny = tiny_builder.take();

  // The load target: each volume in each container.
  for (const Bytes& v : {volumes[0], volumes[1], volumes[2], tiny}) {
    for (uint8_t kind = 0; kind < 4; ++kind) {
      Bytes input{kind};
      const Bytes file = kind == 3 ? testing::make_d88_image(v) : v;
      input.insert(input.end(), file.begin(), file.end());
      save(out / "fuzz_load", input);
    }
  }
  // Two disks in one file, the second picked; a D88 file told by its bytes.
  for (const uint8_t flags : {uint8_t{3 | (1 << 3)}, uint8_t{4}}) {
    Bytes input{flags};
    for (const Bytes& v : {volumes[1], tiny}) {
      const Bytes disk = testing::make_d88_image(v);
      input.insert(input.end(), disk.begin(), disk.end());
    }
    save(out / "fuzz_load", input);
  }

  save_basic_seeds(out / "fuzz_basic");
  // A manifest of a directory holding a file and a subdirectory.
  for (const std::string& doc :
       {std::string(R"({"format":1,"path":"/","entries":[{"name_bytes":"41","mode":1,"attribute":129,"load":4608,"exec":4608,)"
        R"("stamp":"86202900","host":"A.mzt"},{"name_bytes":"44","mode":15,"attribute":128,"load":0,"exec":0,)"
        R"("stamp":"00000000","host":"D","entries":[{"name_bytes":"2E","mode":15,"attribute":128,"load":0,)"
        R"("exec":0,"stamp":"99999999","host":null}]}]})"),
        std::string("[1.5e3,\"\\u00e9\",true,null,{}]")}) {
    save(out / "fuzz_manifest", Bytes(doc.begin(), doc.end()));
  }

  std::vector<std::string> all_paths = testing::small_volume_paths();
  all_paths.push_back("NOPE");
  std::vector<Bytes> mzt_files;
  for (const size_t n : {0, 1, 255, 256, 257, 600}) mzt_files.push_back(make_mzt("NEW", pattern(n, 9)));
  mzt_files.push_back(Bytes(100, 0));                        // shorter than a header
  mzt_files.push_back(make_mzt("NEW", pattern(300)));        // body shorter than its size:
  mzt_files.back().resize(mzt_files.back().size() - 44);     // a short read
  std::vector<Bytes> raw_files = {Bytes{}, pattern(1), pattern(256), pattern(300), pattern(4096)};

  const std::vector<Target> targets = {
      {"fuzz_list", {"/", "GAMES", "GAMES/", "NOPE/", "", "GAMES//"}, {Bytes{}}},
      {"fuzz_extract", all_paths, {Bytes{}}},
      {"fuzz_delete", all_paths, {Bytes{}}},
      {"fuzz_store", {"NEW", "HELLO", "GAMES/NEW", "GAMES/WAR", "GAMES/", "ABCDEFGHIJKLMNOPQ"}, mzt_files},
      {"fuzz_import", {"0", "10", "1a", "5F", "60", "0x10", "0000000020"}, raw_files},
      {"fuzz_mkdir", {"NEW", "GAMES/NEW", "GAMES", "HELLO", "GAMES/..", "NOPE/X", "ABCDEFGHIJKLMNOPQ"}, {Bytes{}}},
      {"fuzz_rmdir", {"GAMES", "HELLO", "/", "GAMES/.", "NOPE", "NOPE/X"}, {Bytes{}}},
      {"fuzz_tree", {"/", "", "GAMES", "GAMES/", "HELLO", "NOPE"}, {Bytes{}}},
      // E takes no path: the seeds differ in their flags alone.
      {"fuzz_examine", {"", "", ""}, {Bytes{}}},
      {"fuzz_fix", {"", "", ""}, {Bytes{}}},
  };
  for (const Target& t : targets) {
    int k = 0;
    for (const Bytes& v : volumes) {
      for (uint8_t carrier = 0; carrier < 4; ++carrier) {
        for (const std::string& path : t.paths) {
          CommandInput in;
          in.carrier = static_cast<Carrier>(carrier);
          in.path = path;
          in.host_file = t.host_files[static_cast<size_t>(k) % t.host_files.size()];
          in.image_bytes = in.carrier == Carrier::kD88Raw ? testing::make_d88_image(v) : v;
          in.verbose = k % 5 == 0;
          in.time_kind = 1 + k % 3;
          // Every seventh seed carries a fault on the file the command writes.
          if (k % 7 == 3) {
            in.fault = static_cast<Fault>(1 + (k / 7) % 5);
            in.budget_step = static_cast<uint8_t>(k % 32);
          }
          save(out / t.name, compose_command_input(in));
          ++k;
        }
      }
    }
    // On a tiny volume, where a mutation is more likely to hit the
    // control bytes than the image: every flag and every fault alone, the
    // faults with budgets from nothing to plenty.
    for (const Carrier carrier : {Carrier::kRom, Carrier::kHdd, Carrier::kD88Raw}) {
      for (size_t p = 0; p < std::min<size_t>(2, t.paths.size()); ++p) {
        CommandInput base;
        base.carrier = carrier;
        base.path = t.paths[p];
        base.host_file = t.host_files[p % t.host_files.size()];
        base.image_bytes = carrier == Carrier::kD88Raw ? testing::make_d88_image(tiny) : tiny;
        std::vector<CommandInput> variants;
        for (int flag = 0; flag < 5; ++flag) {
          CommandInput in = base;
          in.verbose = flag == 0;
          in.host_absent = flag == 1;
          in.host_pipe = flag == 2;
          in.output_is_image = flag == 3;
          in.time_kind = flag == 4 ? 3 : 2;
          variants.push_back(in);
        }
        for (uint8_t fault = 1; fault <= 5; ++fault) {
          for (const uint8_t step : {0, 1, 2, 4, 8, 16, 31}) {
            CommandInput in = base;
            in.fault = static_cast<Fault>(fault);
            in.budget_step = step;
            variants.push_back(in);
          }
        }
        for (const CommandInput& in : variants) save(out / t.name, compose_command_input(in));
      }
    }
  }
  std::printf("%d seeds in %s\n", written, out.string().c_str());
  return 0;
}
