// What a command works with: the console, the host, the loaded volume and
// the host time, plus the image file's name for messages.
#pragma once

#include <functional>
#include <string>

#include "containers/image_file.h"
#include "output/console.h"
#include "host/file.h"
#include "host/host_time.h"
#include "volume/volume.h"

namespace tarnwick {

// A host file open for a command, with its name for messages.
struct HostFile {
  File& file;
  const std::string& name;
};

// The command functions (command_*) take the run as a RunContext; the
// operations below them take what they work on one by one.
struct RunContext {
  Console& con;
  Host& host;
  Volume& vol;
  HostTime& host_time;
  std::string image_name;
  bool long_listing = false;  // L shows sizes, addresses and the free space
  bool basic = false;         // BTX files move as BASIC listings (-b)
  bool text = false;          // BSD files move as text (-t)
  // What the command has to say once its changes are saved, if anything
  // (said only when the save succeeded).
  std::function<void()> after_save = nullptr;
  // The image the volume was loaded from, for a command that copies it (C)
  // or fills it (A).
  ImageFile* image = nullptr;
};

}  // namespace tarnwick
