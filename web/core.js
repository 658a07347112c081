// The page's one window on the core: the WebAssembly module built from
// bindings.cpp (tarnwick.js and tarnwick.wasm beside this file), wrapped
// here. Nothing else in the page touches the module, and nothing here
// sends a byte anywhere: images live in the module's memory.
//
// Values the calls share:
//   Line    {text, stream: 'out' | 'err', severity: 'info' | 'notice' | 'failure'}
//           one line as the CLI prints it in its UTF-8 mode, without the
//           newline, the image's file name standing for IMAGE.
//   Time    {year, month, day, hour, minute}: local time, the year in full.
//   Entry   one entry of a directory as L lists it, "." and ".." included:
//           {name: text as the UTF-8 mode shows it, without quotes (escapes
//            %XX, %2F, %00 as in a PATH), type: the mode as L shows it
//            without trailing blanks ('OBJ', 'BTX', 'DIR', '???'),
//            mode, attribute: bytes, size: bytes as -l shows it,
//            load, exec: numbers, date: 'YYYY-MM-DDTHH:MM' by the stamp's
//            century rule, or null for a zero stamp or one that is no date}
//   Folder  {name, folders: Folder[]}: a directory below another, "." and
//           ".." left out, each directory once (a loop is cut).
//   PART    1 or 2 for a partition of an HDD image, k for disk k of a D88
//           file of several disks, 1 for any other image.
//   PATH    a path inside the volume as the CLI takes it in the UTF-8 mode:
//           names joined by '/', '/' for the root.
//
// Every call that stands for a command returns `lines`: what the CLI prints
// for that command on this image (the container line, the check's lines,
// the command's own, "完了しました"), the lines carried as values elsewhere
// in the result (L's listing) left out. A call that fails in an unforeseen
// way (the module stopped) gives one failure line with the reason.
//
// core = await loadCore(options)
//   options: passed to the module as it loads (Node hands it the wasm as
//   {wasmBinary}); the page passes none.
//   core.open(name: string, bytes: Uint8Array) -> {image: Image | null, lines}
//       Recognises the image as the CLI does (extension, then content);
//       a file that is no image gives no image, and lines that say why.
//   core.blankDisk(name: string, now: Time) -> {image: Image | null, lines}
//       A new image as F makes it, held in memory.
//   core.failAllocation(n: number)
//       The next call's allocation number n (from 0) fails as when memory
//       runs out: how the tests try a failed allocation anywhere.
//
// image.name: the file name given; image.container: 'HDD' | 'D88' | 'ROM' | 'raw'
// image.volumes: [{part: PART, kind: 'partition' | 'disk' | 'volume',
//                  name: the disk's name as the CLI's disk line shows it
//                  (UTF-8 mode, no quotes) for kind 'disk', else null}]
//   two partitions for an HDD image, one disk each for a D88 file of
//   several disks, else one volume.
// image.bytes() -> Uint8Array: the image file as it stands now.
// image.list(part, path) -> {loaded: bool, check: {ok: bool, lines: string[]},
//                            entries: Entry[], folders: Folder[], lines}
//       L of PATH. loaded is false when the volume does not load (lines
//       say why; nothing else is filled). check: the check before the
//       command, its lines as text; folders: the volume's whole directory
//       tree below its root.
// image.read(part, path, form) -> {bytes: Uint8Array | null, name: string | null, lines}
//       The file as R writes it: form 'file' (OBJ and BTX as MZT, BSD and
//       BRD as bare data), 'listing' (-b: a BTX file as its listing),
//       'text' (-t: a BSD file as text), 'data' (the file's data: an MZT's
//       body, without its header). Listings and text are UTF-8 with LF.
//       name: the host file's name as X makes it (NAME.mzt, NAME.bsd,
//       NAME.brd, NAME.bas, NAME.txt; for 'data' that of 'file').
// image.exportTree(part, path, {listings: bool, text: bool})
//     -> {files: [{path, bytes: Uint8Array | null, time: Time | null}], lines}
//       X of PATH (with -b and -t as asked) into a folder held in memory:
//       every folder (bytes null) and file it made, path relative to that
//       folder ('/' between names as X makes them), time as X sets it.
// image.takeDiskOut(part, name) -> {bytes: Uint8Array | null, lines}
//       C of that disk into a new .d88 file of that name.
// image.store(part, path, items: [{path, bytes: Uint8Array | null, time: Time}], now: Time)
//     -> {changed: bool, lines}
//       A of a folder holding the items (bytes null: a folder; path relative
//       to that folder, host names as X makes them) into directory PATH,
//       with -b and -t: all or nothing, saved once.
// image.makeDirectory(part, path, now) -> {changed, lines}     M
// image.deleteFile(part, path) -> {changed, lines}             D
// image.removeDirectory(part, path) -> {changed, lines}        K
//   changed: the image's bytes changed (the command saved).
// image.examine(part, fix: bool) -> {changed, lines}
//       E of the volume (fix false: nothing changes), or --fix E: the
//       mends saved, then what remains; changed only when it mended.
import loadTarnwick from './tarnwick.js';

// A failure the core did not foresee, as a line of its own.
function failed(error) {
  return {lines: [{text: String(error?.message ?? error), stream: 'err', severity: 'failure'}]};
}

function guarded(call) {
  try {
    return call();
  } catch (error) {
    return failed(error);
  }
}

// An image held by the module: each call passed on, guarded.
class Image {
  constructor(held) {
    this.held = held;
    this.name = held.name;
    this.container = held.container;
    this.volumes = held.volumes;
  }
  bytes() { return this.held.bytes(); }
  list(part, path) { return guarded(() => this.held.list(part, path)); }
  read(part, path, form) { return guarded(() => this.held.read(part, path, form)); }
  exportTree(part, path, options) { return guarded(() => this.held.exportTree(part, path, options)); }
  takeDiskOut(part, name) { return guarded(() => this.held.takeDiskOut(part, name)); }
  store(part, path, items, now) { return guarded(() => this.held.store(part, path, items, now)); }
  makeDirectory(part, path, now) { return guarded(() => this.held.makeDirectory(part, path, now)); }
  deleteFile(part, path) { return guarded(() => this.held.deleteFile(part, path)); }
  removeDirectory(part, path) { return guarded(() => this.held.removeDirectory(part, path)); }
  examine(part, fix) { return guarded(() => this.held.examine(part, fix)); }
}

function opened(result) {
  return {image: result.image ? new Image(result.image) : null, lines: result.lines};
}

export async function loadCore(options = {}) {
  const module = await loadTarnwick(options);
  if (typeof module.open !== 'function') throw new Error('this build of the core has no calls for the page');
  return {
    open: (name, bytes) => guarded(() => opened(module.open(name, bytes))),
    blankDisk: (name, now) => guarded(() => opened(module.blankDisk(name, now))),
    failAllocation: (n) => module.failAllocation(n),
  };
}
