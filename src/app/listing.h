// L's two faces: the lines of a listing as the tool prints them, and the
// JSON document of -j; and E's JSON document, which shares its parts.
#pragma once

#include <string>
#include <vector>

#include "operations/check.h"
#include "operations/examine.h"
#include "operations/list.h"
#include "containers/container.h"
#include "containers/d88_disks.h"
#include "output/report.h"

namespace tarnwick {

// The lines of a listing: each entry's line (the mode label and '*' for
// attribute bit 0, the quoted name padded to 18 columns, the time stamp's
// raw bit groups in hexadecimal, in verbose mode the start record):
//    OBJ  "GAME"            '98/12/31 23:59 01A0
// In a recursive listing each directory below the first follows after an
// empty line and its path and ':' on a line of its own; one that is not
// listed is named with the check's message for it. The long listing adds
// to each line the size in bytes and, for OBJ and BTX files, the load and
// execution addresses, and after the last line the free space:
//    OBJ  "GAME"            '98/12/31 23:59     1000 2000 2000
//    BSD  "SCORES"          '88/02/29 23:59      700
//   空き 65536 バイト (64 / 100 ブロック)
void report_listing(const Listing& listing, bool long_listing, Report& rep);

// The JSON document of a listing: the image as typed and its container,
// the volume's geometry, the lines of the check before the command, the
// directory listed and its entries. Names and paths are text as the UTF-8
// mode shows them.
std::string listing_document(const std::string& image_name, const Container& container, const CheckReport& check,
                             const Listing& listing);

// The JSON document of an examination: the image and the volume as L's
// document gives them, what remains of the findings after the repair (all
// of them when nothing was mended) and the mends. Paths are text as the
// UTF-8 mode shows them, the record numbers of each as [first, last].
std::string examination_document(const std::string& image_name, const Container& container, const Geometry& geometry,
                                 const Repair& repair);

// The JSON document of the disks of a D88 file of several disks.
std::string disks_document(const std::string& image_name, const std::vector<DiskFacts>& disks);

}  // namespace tarnwick
