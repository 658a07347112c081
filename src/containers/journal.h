// The rollback journal that makes a save survive a crash.
//
// Before a save changes a byte of the image, the old and the new bytes of
// every sector it is about to write go to a file beside the image, named
// as the image's real name (every symbolic link resolved) followed by
// "-journal", and that file is synced with its name. Then the image is
// written and synced, and the journal deleted. A crash at any point leaves
// either no journal (the image is old or new, each whole) or a journal:
// when it is complete, the save may have begun, and writing its old bytes
// back brings the old image back; when it is cut short, the save had not
// touched the image yet, and the journal is only thrown away.
//
// A journal belongs to the content of one file, not to a name. A save
// writes whole sectors, each inside one write call (save_plan.h), so an
// interrupted save leaves each sector it touches wholly as it was before
// the save or wholly as the save made it, and the image its size. A
// complete journal is played back only when that holds for every sector it
// lists and the size matches; otherwise it was left by another state of
// the file (one restored from a backup, one changed by another program or
// by a copy of the image since, another file given the name) and is kept,
// the run refused.
//
// Fresh sectors (those over records the old volume did not use, where a
// file's new data goes) keep a digest of their new bytes instead of the
// bytes, so that storing a file costs one write of its data rather than
// three; the digest still tells whether the sector holds what the save
// wrote. A sector's digest is the low 32 bits of its XXH64 (seed 0).
//
// The sectors a save writes are not all that tell the states it leaves
// from later ones. The journal also binds, each by its digest, sectors the
// save leaves as they are (unchanged runs): those of the records that say
// where files are (records 0-23, every directory, every BRD index record),
// those of the records the files held in the blocks the save frees, and in
// a D88 file every disk's header. A later state of the file in which any
// of them changed (a freed block taken again, even by an empty file that
// writes nothing there, since its entry changes a directory; a raw write
// over them) is not one the save left, and the journal is refused. What a
// later state may change unseen is the data of files the save leaves
// alone, blocks free before and after it, and the bytes outside the volume
// (another partition or disk): playing the journal back leaves them as
// they are, and the volume's files are the old volume's, where they were.
//
// Journal file (numbers little-endian):
//   POSITION  LENGTH  CONTENTS
//   0         8       "TWJOURNL"
//   8         4       version, 5
//   12        4       number of runs
//   16        8       the image file's size (a save never changes it)
//   24        ...     per run of sectors, at most 64 KiB: its offset in
//                     the image (8 bytes, a multiple of 512), its length n
//                     (8 bytes), its form (1 byte: bit 0, the old bytes are
//                     all one byte; bit 1, a fresh run; bit 2 alone, an
//                     unchanged run), its old bytes (n, that one byte, or
//                     none for an unchanged run), then its new bytes (n)
//                     or, for a fresh or an unchanged run, the digest of
//                     each of its sectors as the save leaves it (4 bytes
//                     each)
//   end - 4   4       CRC-32 of every byte before it
//
// Journals of versions 2 to 4, left by older builds, are still read, each
// by what it lists. Version 4 has no unchanged runs, and the digest of a
// fresh sector is its CRC-32. The stretches of versions 2 and 3 need not be
// whole sectors, and each part of a stretch within one sector must read
// wholly old or wholly new. Version 2 has no form byte; a fresh stretch of
// version 3 keeps no new bytes at all, so only its old bytes are accepted.
//
// Only files of ours are ever deleted: a file at the journal's name is one
// when it is a regular file that is empty, holds a proper prefix of the
// magic, or starts with it.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "containers/save_plan.h"
#include "host/file.h"
#include "host/host_path.h"

namespace tarnwick {

// The journal's path beside an image of this (real) path.
HostPath journal_path(const HostPath& image);

// What is at the journal's name.
enum class JournalFile {
  kNone,        // nothing
  kOurs,        // a journal of ours, whole or torn
  kForeign,     // anything else (another file, a FIFO, a folder, a link): never touched
  kUnreadable,  // a regular file that cannot be opened or read
};
JournalFile find_journal(Host& host, const HostPath& journal, std::string* reason = nullptr);

// Deletes the journal and makes that durable. False when it stays.
bool remove_journal(Host& host, const HostPath& journal);

// Writes the stretches to the image under the journal's protection, in
// whole sectors: the journal of the sectors' old and new bytes and of the
// digests of the sectors the `unchanged` spans touch and the stretches do
// not (synced, its name made durable), then the sectors, a sync of the
// image, and the journal deleted. True when the save took. False when the journal could not be made (nothing
// written) or the image could not be written or synced: its old bytes are
// then written back at once, or, if even that fails, by the next run from
// the journal left behind. `reason`, when given, gets the system's text for
// the failure, if it gave one.
bool write_journaled(Host& host, const HostPath& journal, File& image, std::span<const Stretch> stretches,
                     std::span<const FileSpan> unchanged = {}, std::string* reason = nullptr);

// What a run found at the journal's name, and what it did about it.
enum class Recovery {
  kNone,          // no journal
  kDiscarded,     // a journal cut short: deleted when the image is writable
  kRestored,      // a journal of this file, played back into the image and deleted
  kReadThrough,   // a journal of this file over an image that cannot be
                  // written: the image is now read through it, both stay
  kWriteFailed,   // a journal of this file that could not be played back
  kUnreadable,    // a journal that cannot be opened or read
  kNotThisFile,   // a complete journal of another state of the file: kept
  kForeign,       // no journal of ours: left alone
};

// Looks for the journal and deals with it, holding the image's lock.
// `writable` says whether `image` is open for update; when it is not, the
// journal's old bytes are laid over what `image` reads (it is replaced by a
// file that does so). `reason` gets the system's text when the journal
// cannot be opened.
Recovery recover_from_journal(Host& host, const HostPath& journal, std::unique_ptr<File>& image, bool writable,
                              std::string* reason = nullptr);

}  // namespace tarnwick
