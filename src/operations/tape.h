// T: a BASIC tape file (an MZT file of mode 2) to its listing and back,
// host file to host file, no image involved.
//
// What SOURCE is decides the direction: a file that starts with an MZT
// header of mode 2 whose size fits in it is a program, and TARGET gets its
// listing; an MZT file of another mode (or of mode 2 whose size does not
// fit) is refused; anything else is a listing, and TARGET gets an MZT file of mode 2
// holding its program: the header names it after TARGET's last component
// without its extension (as PATH is turned into the volume's bytes; "-"
// gives no name), load and execution addresses 0. SOURCE is read and
// converted whole before TARGET is touched, and TARGET is replaced only
// once that succeeded; "-" is standard input or output.
#pragma once

#include <string>

#include "codecs/basic.h"
#include "host/file.h"
#include "output/report.h"

namespace tarnwick {

// T: listings are read and written in `form`; TARGET's name becomes the
// volume's bytes as a PATH typed as UTF-8 text does when `utf8_paths`. False
// after saying why it failed, TARGET then as it was.
bool convert_tape(Host& host, Report& rep, const std::string& source, const std::string& target, TextForm form,
                  bool utf8_paths);

}  // namespace tarnwick
