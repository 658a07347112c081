"""The message catalogue in English, for docs/messages.md.

For each message of tools/gen_messages.py: what it means, and what the user
can do about it ("" when there is nothing to do). The page lists them in
the order and under the headings below. gen_messages.py writes the page
and fails when a message has no entry here, or an entry names no message:
a new message needs its English before the build passes.
"""

SECTIONS = [
    ("Every run",
     "A run names the image it found and ends with a closing line, after a failure too.", [
        ("kIsHddImage", "The image file is an HDD image (it starts with the HDD signature).", ""),
        ("kIsRomImage", "The image file is taken as a ROM image, a bare volume (its name ends in `.ROM`).", ""),
        ("kIsD88Image", "The image file is a D88 floppy image, and its disk passed the format check.", ""),
        ("kIsRawImage", "The image file is a raw floppy image: sectors without headers, told by its size and "
                        "its system record.", ""),
        ("kDiskType", "Begins the line that names the D88 disk's type; one of the next four ends it.", ""),
        ("kDiskType2D", "The D88 header says the disk is 2D (double-sided, double density).", ""),
        ("kDiskType2DD", "The D88 header says the disk is 2DD (double-sided, double density, double track).", ""),
        ("kDiskType2HD", "The D88 header says the disk is 2HD (high density).", ""),
        ("kDiskTypeUnknown", "The D88 header names a disk type the tool does not know. The disk is still read.", ""),
        ("kDiskOfFile", "The command works on disk N of the M disks in a D88 file; the disk's name from its "
                        "header follows in quotes.", ""),
        ("kDone", "Done: the run has ended. It is printed after a failure too; the exit status tells success "
                  "(0) from failure (1) and from a command that did its work on a volume the check finds at "
                  "fault (3).", "Look at the lines before it and at the exit status."),
        ("kNull", "Stands in the verbose echo for an argument that was not given.", ""),
    ]),
    ("The command line",
     "A command line that does not fit ends the run with exit status 2 before anything is opened.", [
        ("kUsage", "The usage text: the command line with its five arguments and what each one is.",
         "See `tarnwick --help` for every command and option."),
        ("kHelp", "The help text of `--help`: every command, option and encoding rule.", ""),
        ("kVersion", "The tool's version, for `--version`.", ""),
        ("kUnknownOption", "The command line holds an option the tool does not have.",
         "Check the spelling against `tarnwick --help`. A file whose name starts with `-` is written "
         "`./-name`."),
        ("kUnknownCommand", "The command word is none of the tool's commands. Commands that write take only "
                            "their letter or one of their names.",
         "Use one of the letters `tarnwick --help` lists (`L`, `R`, `W`, `D`, ...)."),
        ("kOptionOnlyFor", "An option was given to a command that does not take it: `-r` is L's, `-j` L's "
                           "and E's, `--fix` E's, `-n` T's. The line names the option and the commands that take it.",
         "Leave the option out, or use it with a command the line names."),
        ("kOptionNeedsValue", "The option takes a value (`-n NAME`), and none followed it.",
         "Give the value after the option."),
        ("kArgumentCount", "The command was given the wrong number of arguments: the line names the command "
                           "and how many it takes, the command word included.",
         "Give the arguments the usage names for that command; quote a PATH or file name that holds "
         "blanks."),
        ("kPartOneOrTwo", "PART must be `1` or `2` (for a D88 file of several disks, a disk's number).",
         "Put `1` (or the partition or disk you mean) after the image file's name."),
        ("kPathTooLong", "The PATH given to L is longer than a listing's path may be (255 bytes with its "
                         "closing `/`).", "Give a shorter PATH."),
        ("kSeeHelp", "Follows the reason a command line was refused: the help tells more.",
         "Run `tarnwick --help`."),
        ("kPathNotShiftJis", "In the UTF-8 mode a PATH (or a host name that becomes a volume name) holds a "
                             "character that Shift_JIS (code page 932) cannot hold, or is not UTF-8.",
         "Use only characters the machine has, or type the byte as `%XX`."),
        ("kNoSuchDisk", "The D88 file holds no disk of that number; the line gives the numbers it has.",
         "Run `tarnwick L FILE` without PART to list the disks, and give one of their numbers."),
    ]),
    ("Opening, loading and saving the image", "", [
        ("kImageOpenFailed", "The image file (or its journal) cannot be opened; the system's reason follows "
                             "in parentheses. `Resource temporarily unavailable` means another run kept the "
                             "image busy for 30 seconds.",
         "Check the name, that the file exists and that you may read it (and write it, for a command that "
         "writes); wait for the other run to finish."),
        ("kImageWriteFailed", "Writing the image file failed, or a file that is not the tool's journal stands "
                              "at the journal's name (`IMAGE-journal`). The image is as it was before the "
                              "command.",
         "Make room on the disk or fix the permissions; move away whatever is at `IMAGE-journal`."),
        ("kWriteFailedBecause", "Writing a new file failed, with the system's reason; nothing is left "
                                "behind.", "Act on the reason: make room, fix the permissions or the folder."),
        ("kUnsupportedImage", "The image file is not one the tool can use: a file that is none of the "
                              "containers, or F given a name that ends in none of `.d88`, `.2d` and `.2dd`.",
         "For an existing file the next line says more; F's new image must be named `*.d88`, `*.2d` or "
         "`*.2dd`."),
        ("kNotAnyImage", "The file has no HDD signature, no D88 header and no raw floppy image's size and "
                         "system record.",
         "Check that it is a disk image of the machine. A ROM image must be named `*.ROM`."),
        ("kRomNeedsItsName", "The file is none of the kinds the tool tells by content, but it reads as a "
                             "bare volume: a ROM image under another name.",
         "Rename it (or copy it) to a name ending in `.ROM`."),
        ("kHddFormatBad", "The HDD image's partition holds no volume the tool can load: its system record is "
                          "damaged, or the file is shorter than the volume it describes.",
         "Try the other partition (PART `2`); check that the file was copied whole."),
        ("kRomFormatBad", "The ROM image holds no volume the tool can load: its system record is damaged, or "
                          "the file is shorter than the volume it describes.",
         "Check that the file is a ROM image and was copied whole."),
        ("kD88FormatBad", "The D88 disk is not laid out as the machine's data disks are (the lines before it "
                          "say where).", "Check that the disk is one of the machine's data disks."),
        ("kRawFormatBad", "The raw floppy image's system record describes no volume the file holds.",
         "Check that the file was copied whole."),
        ("kNotD88", "The file is too short to hold a D88 header.", "Check the file and its name."),
        ("kTrackUnformatted", "The D88 disk has an unformatted track before a formatted one, so its records "
                              "do not follow one another.", ""),
        ("kSectorCount", "A track of the D88 disk does not hold 16 sectors (the count follows).",
         "Tracks of more sectors are read (see the next message); fewer cannot be."),
        ("kIgnoringSectors", "Sectors after the 16th of such a track are ignored.", ""),
        ("kSectorSize", "A sector of the D88 disk does not hold 256 bytes: the disk is not one of the "
                        "machine's data disks.", ""),
        ("kSingleDensity", "A sector of the D88 disk is single density: the disk is not one of the machine's "
                           "data disks.", ""),
        ("kTrackOutsideFile", "A track's data lies past the end of the D88 file: the file is cut short.",
         "Copy the file again, whole."),
        ("kTrackBadOffset", "A track of the D88 file overlaps the header or another track.", ""),
        ("kRawNotWritten", "The check before the command found the raw image's volume damaged, so the tool "
                           "does not write it: the file may be a raw dump of another machine's disk.",
         "Read it with L, R or X; examine it before writing to it."),
        ("kImageHasManyNames", "The image file has more than one name (hard links), so a crash-safe save "
                               "cannot keep every name whole; commands that write refuse it.",
         "Copy the file to one of its own (`cp`) and work on the copy."),
        ("kCannotLock", "The file system takes no locks, so other runs on the image are not kept out; the "
                        "system's reason follows. The run goes on.",
         "Make sure no other run uses the image at the same time."),
        ("kRestoredFromJournal", "A save that was cut short (a crash, a kill) was undone from the journal "
                                 "beside the image; the image is as it was before that save.",
         "Run the interrupted command again if you still want it."),
        ("kCannotRestore", "A journal of an interrupted save is beside the image, but without a lock the "
                           "tool cannot tell whether another run is saving right now.",
         "Make sure no other run uses the image, then copy the image with its journal to a file system that "
         "takes locks and run any command there."),
        ("kReadOnlyNotRestored", "A journal of an interrupted save is beside the image, which may not be "
                                 "written: the run reads the image as it was before that save, and leaves both "
                                 "files as they are.",
         "Make the image writable and run any command to put it right."),
        ("kJournalNotThisFile", "The journal beside the image does not belong to the image as it is now (it "
                                "was restored, replaced or changed since): it is neither played back nor "
                                "deleted.",
         "If the image is the one you want, move the journal aside (`mv IMAGE-journal IMAGE-journal.old`)."),
    ]),
    ("Paths and files on the volume", "", [
        ("kPathNotFound", "No file or directory of that name is where PATH says (or no host folder of that "
                          "name, for A).",
         "List the directory with L; names are compared byte for byte, case included."),
        ("kDirectoryNotFound", "A directory on the way to the last name of PATH is not there.",
         "List the directories with L and check each name of the PATH."),
        ("kIsDirectory", "The command works on files, and PATH names a directory.",
         "Use X to take a directory out, K to remove an empty one."),
        ("kNotADirectory", "PATH names a file where a directory is needed (K, A).",
         "Give the directory's path, or D to delete the file."),
        ("kUnsupportedMode", "The file's mode (in hexadecimal) is one the tool cannot take out or delete: "
                             "RB, LIB, SYS, GR or an unknown one.", ""),
        ("kDataDamaged", "The file's records are not where its entry says, or lie outside the volume: the "
                         "volume is damaged.", "Take out what can be read; check the disk's other files."),
        ("kNameTooLong", "A name on the volume holds at most 16 bytes (a double-byte character counts two).",
         "Give a shorter name."),
        ("kNoFileName", "PATH names no file: it is empty or ends in `/`.", "Give the file's name at the end of "
                                                                            "PATH."),
        ("kAlreadyExists", "There is already a file or directory of that name, or a file of the new image's "
                           "name; `.` and `..` always exist.",
         "Choose another name, or delete the old one first (F and C never overwrite)."),
        ("kCannotDelete", "The root directory, `.` and `..` cannot be removed.", ""),
        ("kDeleted", "The file was deleted and the image written.", ""),
        ("kDirectoryCreated", "The subdirectory was made and the image written.", ""),
        ("kDirectoryDeleted", "The subdirectory was removed and the image written.", ""),
        ("kDirectoryNotEmpty", "K removes only an empty subdirectory, and this one holds files or directories.",
         "Delete what it holds first (D, K), or take it out with X."),
    ]),
    ("Room on the volume", "", [
        ("kNoSpace", "The volume has no run of free blocks long enough for the file (a file's blocks must "
                     "follow one another).", "Delete files you do not need, or use a larger image."),
        ("kSpaceNeeded", "Says how many bytes the file needs and how many are free.",
         "Free that much room, or store the file elsewhere."),
        ("kDirectoryFull", "The directory already holds 63 entries, the most it can.",
         "Store the file in another directory, or delete one of this directory's entries."),
        ("kDirectoryFullNamed", "Names the directory that is full.", "As above."),
    ]),
    ("Host files", "", [
        ("kHostFileNotFound", "The host file cannot be opened for reading.",
         "Check its name and that you may read it."),
        ("kReadFailed", "Reading a host file (or the image) failed part way.", "Check the file and the disk it "
                                                                                 "is on."),
        ("kCannotWrite", "The host file or folder cannot be made or written.",
         "Check that the folder exists and that you may write there."),
        ("kCannotWriteBecause", "The host file cannot be made or written; the system's reason follows. An "
                                "existing file of that name is left as it was.", "Act on the reason."),
        ("kCannotSetTime", "The host file was written, but its last-write time could not be set to the "
                           "file's time stamp.", "Check that the file system keeps file times."),
        ("kStdoutWriteFailed", "Writing to standard output failed (a full disk, a closed pipe); the system's "
                               "reason follows.", "Check where standard output goes."),
        ("kNotMzt", "The host file is too short to be an MZT file (a 128-byte header, then the data).",
         "Give an MZT file; with `-b` or `-t` a listing or a text."),
        ("kNotAFile", "The host name names a folder (or something else that is no file).",
         "Give a file's name."),
        ("kNotEmptyFolder", "X writes into a new or empty folder only, and this one holds something.",
         "Give a new folder's name, or empty the folder."),
        ("kTooLarge", "The file is larger than the most the tool reads for it: 16 MiB of listing or text, "
                      "65,535 bytes of program or file.", "Split the program or the text into smaller ones."),
        ("kDoesNotFit", "I would write the host file past the end of the volume.",
         "Give an earlier record number, or a shorter file."),
        ("kBadRecordNumber", "I takes a record number in hexadecimal without a prefix, inside the volume.",
         "Give a record number such as `1A0`."),
    ]),
    ("Listings (L)",
     "A listing line is made of these pieces; `-l` adds the size and the addresses, `V` the start record.", [
        ("kListLabel", "A space, the entry's mode as three letters (`OBJ`, `BTX`, `BSD`, `BRD`, `RB `, `LIB`, "
                       "`SYS`, `GR `, `DIR`, or `???`), `*` when its attribute bit 0 is set (else a space), "
                       "and a space.", ""),
        ("kListName", "The name in double quotes, padded to 18 columns.", ""),
        ("kListStamp", "The time stamp, `'YY/MM/DD hh:mm`, the year in two digits.", ""),
        ("kListStartRecord", "With `V`: the entry's start record, in hexadecimal.", ""),
        ("kListSize", "With `-l`: the file's size in bytes.", ""),
        ("kListAddresses", "With `-l`: the load and execution addresses of an OBJ or BTX file, in "
                           "hexadecimal.", ""),
        ("kListHeading", "With `-r`: an empty line, then the path of the next directory listed and `:`.", ""),
        ("kListFree", "With `-l`, after the last entry: the free bytes, and the free and total blocks.", ""),
        ("kNewline", "Ends a line.", ""),
        ("kNameError", "Stands for an entry's name that has no end mark (0x0D) in its field: the entry is "
                       "damaged.", ""),
        ("kDiskListLine", "L of a D88 file of several disks: a disk's number, type, size in bytes and name.",
         "Give the number as PART to work on that disk."),
        ("kWriteProtected", "The disk's write-protect flag is set in its D88 header.", ""),
    ]),
    ("Whole trees (X and A)", "", [
        ("kTreeFileLine", "The path of a file X took out or A stored.", ""),
        ("kFilesExtracted", "How many files X took out.", ""),
        ("kFilesExtractedSkipped", "How many files X took out, and how many it skipped.", ""),
        ("kFilesStored", "How many files A stored.", ""),
        ("kManifestNotJson", "The folder's `.tarnwick.json`, the record X left of the tree, is not a JSON "
                             "document: the line named is where its reading stopped. A stores the folder "
                             "without it, as a folder X did not write.",
         "Mend the file (or take X out again), or remove it to store the files as they are."),
        ("kManifestNotTree", "The folder's `.tarnwick.json` is JSON but not the record X writes (a member is "
                             "missing or out of range, a name is given twice, or it is too large or could not "
                             "be read). A stores the folder without it.",
         "Mend the file (or take X out again), or remove it."),
        ("kManifestMismatch", "The folder's `.tarnwick.json` says that the host file or folder named last holds "
                              "an entry it cannot hold (a folder for a file, an extension for another mode). "
                              "A stores the folder without the record.",
         "Rename the host file back, or remove its entry from the record."),
        ("kSkipped", "A skipped a host file it has no use for (not `.mzt`, `.bsd`, `.brd`, nor `.bas` or "
                     "`.txt` with `-b` or `-t`), or a link.", ""),
        ("kSkippedMode", "X skipped a file of a mode it cannot take out (in hexadecimal: RB, LIB, SYS, GR), "
                         "or a file named `.` or `..`.", ""),
        ("kNotBsdFile", "The host file cannot become a BSD file: it is too large, or as a text it is not one "
                        "the machine's characters can hold.", "See the line after it for the reason."),
        ("kNotBrdFile", "The host file cannot become a BRD file: its size is not a whole number of 32-byte "
                        "units, or it is too large.", ""),
        ("kWrittenAsIs", "With `-b` or `-t` the file could not be turned into text, so X wrote its bytes as "
                         "they are.", ""),
    ]),
    ("Wildcards", "`*`, `?` and `[...]` in the last name of PATH pick entries for L, R, X and D.", [
        ("kNoMatch", "No entry of the directory matches the wildcard pattern of PATH. Nothing was done.",
         "List the directory with L to see its names; quote the pattern so that the shell leaves it alone, and "
         "write `\\*` for a `*` that is part of a name."),
        ("kSkippedDirectory", "R with a wildcard writes files only, and this match is a directory. The other "
                              "matches are written.", "Use X to copy a directory with its contents."),
    ]),
    ("New images (F and C)", "", [
        ("kImageCreated", "C wrote the new image file.", ""),
        ("kUnknownImageForm", "C makes `.d88`, `.2d` and `.2dd` files, and this name ends otherwise; or a raw "
                              "image cannot hold the disk (it has too few tracks).",
         "Name the new file `*.d88`, `*.2d` or `*.2dd`."),
        ("kNotFloppy", "C takes floppy disks (D88 and raw images), and this image is an HDD or ROM image.",
         "Use X to copy its files instead."),
    ]),
    ("BASIC programs and text files (-b, -t, T)", "", [
        ("kNoLineNumber", "The line of the listing does not start with a line number.",
         "Put the line's number first, or remove the line."),
        ("kCharNotShiftJis", "The character on that line has no code in Shift_JIS.",
         "Replace it, or write the byte in braces (`{8A}`)."),
        ("kControlByteInLine", "The line holds a control byte, which a listing writes in braces.",
         "Write it as braces show it (`{0D}`)."),
        ("kCharNotInBasic", "The character on that line is not one of the machine's (kanji and hiragana are "
                            "not).", "Replace it, or write its bytes in braces."),
        ("kBadBrace", "A `{` on that line opens no two hexadecimal digits and `}`.",
         "Write a byte as `{XX}`; a `{` itself as `{7B}`."),
        ("kLineTooLong", "The line is longer than a program line may be.", "Split it into two lines."),
        ("kNotBasicProgram", "The file cannot be read as a BASIC program: the listing holds an error (the next "
                             "line says which), or the tokenised program is damaged.", ""),
        ("kTapeNotBasic", "T was given an MZT file of another mode (in hexadecimal; 01 is machine code): only "
                          "a BASIC program (mode 02) has a listing.", "Use R or X to copy the file instead."),
        ("kNotBasic", "`-b` moves BASIC programs (BTX files), and this file is of another mode.",
         "Leave out `-b` for this file."),
        ("kNotText", "`-t` moves BSD files as text, and this file is of another mode or holds bytes a text "
                     "cannot show.", "Leave out `-t` for this file."),
    ]),
    ("The consistency check",
     "The check runs before and after every command; a failure here means the volume is damaged. It does "
     "not fail the command: a command that did its work on such a volume ends with exit status 3.", [
        ("kCheckFailed", "The check found the volume damaged; the line before it says where.",
         "Copy what you need off the disk first; write to it only when you know what the damage is."),
        ("kCheckPassed", "With `V`: the check found nothing wrong.", ""),
        ("kBadRecordsPerBlock", "The system record gives more than 32 records per block.", ""),
        ("kBadSystemRecord", "The system record describes a volume that does not fit the image.", ""),
        ("kUsedBlocksMismatch", "The count of used blocks in the system record (first number) differs from "
                                "the blocks the bitmap marks used (second).", ""),
        ("kOutOfMemory", "The check could not get the memory it needs.", "Free memory and run again."),
        ("kSwappedDirectory", "A directory is marked as swapped out, a state the check cannot examine.", ""),
        ("kBadDirectoryHeader", "A directory's first entry, its header, is damaged.", ""),
        ("kContiguousFileError", "The OBJ or BTX file named shares its records with another file or the "
                                 "reserved records, lies outside the volume, or has size 0.", ""),
        ("kBsdFileError", "The BSD file named has a broken chain of records or shares them with another file.",
         ""),
        ("kBrdFileError", "The BRD file named has a broken index or shares its records with another file.", ""),
        ("kDotNotSelf", "A subdirectory's `.` entry does not lead to the subdirectory itself.", ""),
        ("kDotDotNotParent", "A subdirectory's `..` entry does not lead to its parent (or the root holds a "
                             "`..`).", ""),
        ("kSubdirectoryError", "The subdirectory named shares its records with another file, or lies outside "
                               "the volume.", ""),
        ("kEntryNameTrace", "With `V`: the name of each entry the check visits.", ""),
        ("kRecordStatusTrace", "With `V`: a record the check tests, and whether it was claimed (1) or not (0).",
         ""),
    ]),
    ("Examining a volume (E and --fix E)",
     "E runs the check's walk to the end, telling each fault the check's way and then why, in names and "
     "numbers; `--fix E` mends what cannot lose data. A record number is hexadecimal; the system area is "
     "records 0000-0017.", [
        ("kBlocksFreeFixable", "The file or directory named holds these blocks (first and last, in hexadecimal), "
                               "but the bitmap shows them free: a store may take them and overwrite it. It does "
                               "not change the exit status of a command other than E.",
         "Run `tarnwick --fix E IMAGE PART` before writing to the volume."),
        ("kBlocksFree", "As the line above, where the bitmap cannot be mended: a file or directory holds the "
                        "system record, where the bitmap lies.", ""),
        ("kBlocksMarked", "`--fix E` marked these blocks of the file or directory named used in the bitmap.", ""),
        ("kUsedBlocksSet", "`--fix E` set the count of used blocks in the system record from the first number "
                           "to the second, the blocks the bitmap marks used.", ""),
        ("kExamineProblems", "E ends: it found this many faults (exit status 3).",
         "Read each finding's reason; `--fix E` mends those it can."),
        ("kExamineClean", "E ends: it found nothing wrong (exit status 0).", ""),
        ("kAdviseDelete", "After `--fix E`: the file's data lies outside the blocks a file may hold (the system "
                          "area, the reserved records, past the volume's end, or no start record); deleting "
                          "its entry frees nothing another file holds.",
         "Copy what R still gets out of it, then remove it with D."),
        ("kCannotMendBitmap", "A file or directory holds the system record (record 000F), where the bitmap "
                              "lies: mending the bitmap would change that file, so `--fix E` leaves it.",
         "Copy the files off the volume onto a new image."),
        ("kWhyRecordsPerBlock", "Why: byte 255 of the system record (records per block less one) is this value; "
                                "a block holds at most 32 records.", ""),
        ("kWhyReservedPastTotal", "Why: the reserved blocks (first number) are more than the volume's blocks "
                                  "(second).", ""),
        ("kWhyBitmapTooLong", "Why: the volume has more data blocks (first number) than its bitmap has bits "
                              "(second).", ""),
        ("kWhyVolumeTooSmall", "Why: the blocks times the records per block the system record gives are more "
                               "than the records the volume holds (third number).", ""),
        ("kWhyUsedBlocks", "Why: the files and directories hold this many blocks, the reserved ones (second "
                           "number) among them.", "`--fix E` sets the count to the bitmap's."),
        ("kWhyOutOfMemory", "Why: the check's table needs this many bytes, one per record.",
         "Free memory and run again."),
        ("kWhyHeader", "Why: the first entry of the directory named (at the record given) has this mode byte "
                       "instead of a normal entry's.", ""),
        ("kWhySizeZero", "Why: the file named has size 0, so it holds no record.", ""),
        ("kWhyNoStart", "Why: the file's start record is 0000: it has no data on the volume.",
         "Remove its entry with D."),
        ("kWhyStartInSystem", "Why: the file's data starts inside the system area, records 0000-0017.",
         "Remove its entry with D."),
        ("kWhyRecordInSystem", "Why: a record of the file's chain or index lies inside the system area.", ""),
        ("kWhyStartInReserved", "Why: the file's data starts among the reserved records (up to the second "
                                "number).", "Remove its entry with D."),
        ("kWhyRecordInReserved", "Why: a record of the file's chain or index lies among the reserved records.",
         ""),
        ("kWhyStartOutside", "Why: the file's start record lies past the volume's end (the volume holds the "
                             "number of records given).", "Remove its entry with D."),
        ("kWhyRecordOutside", "Why: a record of the file lies past the volume's end.", ""),
        ("kWhyShared", "Why: the first file or directory named uses a block that the second holds.",
         "Copy both off the volume; delete one only when you know which one's data the block holds."),
        ("kWhyUsedTwice", "Why: the file's chain or index uses the same block twice.", ""),
        ("kWhyReachedTwice", "Why: the directory named is the same directory as the second one (the record "
                             "given): two entries lead to it.", ""),
        ("kWhyDotNotSelf", "Why: the directory's `.` entry points at the first record given instead of the "
                           "directory's own (second).", ""),
        ("kWhyDotDotNotParent", "Why: the directory's `..` entry points at the first record given instead of its "
                                "parent's (second).", ""),
        ("kWhyRootDotDot", "Why: the root directory holds a `..` entry, pointing at the record given.", ""),
        ("kWhyBlocksFree", "Why: this many of the blocks the file or directory holds are free in the bitmap.",
         "`--fix E` marks them used."),
    ]),
    ("Verbose traces (V)", "A `V` before the command letter (`VL`, `VR`) adds these lines.", [
        ("kEchoCommand", "The command letter.", ""),
        ("kEchoImage", "The image file's name.", ""),
        ("kEchoPartition", "The partition: 0 for PART 1, 1 for PART 2.", ""),
        ("kEchoPath", "The PATH inside the volume.", ""),
        ("kEchoHostFile", "The host file's name.", ""),
        ("kFileTrace", "The name R looks for (R prints it without `V` too).", ""),
        ("kFileFound", "R found the file (printed without `V` too).", ""),
        ("kAllocBlocks", "A store asks for this many blocks.", ""),
        ("kAllocDataBlocks", "The volume has this many blocks for data.", ""),
        ("kAllocScan", "A bit of the bitmap being looked at: its mask (m), the byte that holds it (b) and the "
                       "length of the free run before it (len).", ""),
        ("kAllocReserve", "A block of the new file's run, now marked used in the bitmap.", ""),
        ("kReleaseTrace", "A record and its block are freed, and the count of used blocks after it.", ""),
    ]),
]
