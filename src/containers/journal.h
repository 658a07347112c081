// The rollback journal that makes a save survive a crash.
//
// Before a save changes a byte of the image, the old bytes of every stretch
// it is about to write go to a file beside the image, named as the image
// followed by "-journal", and that file is synced with its name. Then the
// image is written and synced, and the journal deleted. A crash at any
// point leaves either no journal (the image is old or new, each whole) or a
// journal: when it is complete, the save may have begun, and writing its
// old bytes back brings the old image back; when it is cut short, the save
// had not touched the image yet, and the journal is only thrown away.
//
// Journal file (numbers little-endian):
//   POSITION  LENGTH  CONTENTS
//   0         8       "TWJOURNL"
//   8         4       version, 1
//   12        4       number of stretches
//   16        ...     per stretch: its offset in the image (8 bytes), its
//                     length (8 bytes), then its old bytes
//   end - 4   4       CRC-32 of every byte before it
#pragma once

#include <memory>
#include <span>
#include <string>

#include "containers/save_plan.h"
#include "host/file.h"

namespace tarnwick {

// The journal's name beside an image of this name.
std::string journal_name(const std::string& image_name);

// True when something of the journal's name exists beside the image.
bool journal_exists(Host& host, const std::string& image_name);

// Writes the stretches to the image under the journal's protection: the
// journal with their old bytes (synced, its name made durable), then the
// stretches, a sync of the image, and the journal deleted. True when the
// save took. False when the journal could not be made (nothing written) or
// the image could not be written or synced: its old bytes are then written
// back at once, or, if even that fails, by the next run from the journal
// left behind.
bool write_journaled(Host& host, const std::string& image_name, File& image, std::span<const Stretch> stretches);

// What a run found beside its image, and what it did about it.
enum class Recovery {
  kNone,              // no journal
  kDiscarded,         // a journal cut short: deleted when the image is writable
  kRestored,          // a complete journal, played back into the image and deleted
  kRestoredInMemory,  // a complete journal over an image that cannot be written:
                      // the image is now read through it, and both files stay
  kWriteFailed,       // a complete journal that could not be played back
  kUnreadable,        // a journal that cannot be opened
};

// Looks for the image's journal and deals with it, holding the image's
// lock. `writable` says whether `image` is open for update; when it is not,
// a complete journal's old bytes are laid over what `image` reads (it is
// replaced by a file that does so). `reason` gets the system's text when
// the journal cannot be opened.
Recovery recover_from_journal(Host& host, const std::string& image_name, std::unique_ptr<File>& image, bool writable,
                              std::string* reason = nullptr);

}  // namespace tarnwick
