// The core built as WebAssembly, under Node: what it lists equals the
// native tool's JSON document; hostile images of the fuzz corpus open and
// list without an abort and stay as they were; a failed allocation says so
// and changes nothing.
import {before, test} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync, spawnSync} from 'node:child_process';
import {copyFileSync, existsSync, mkdtempSync, readFileSync, readdirSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {dirname, join} from 'node:path';
import {fileURLToPath} from 'node:url';

const SITE = fileURLToPath(new URL('../../build-web/site/', import.meta.url));
const ROOT = fileURLToPath(new URL('../../', import.meta.url));
const SAMPLES = process.env.TARNWICK_SAMPLES;
const REAL = join(ROOT, '../shared/realdata');
const NOW = {year: 2026, month: 1, day: 2, hour: 3, minute: 4};
let core;

before(async () => {
  const {loadCore} = await import(join(SITE, 'core.js'));
  core = await loadCore({wasmBinary: readFileSync(join(SITE, 'tarnwick.wasm'))});
});

// Every image of the samples and of the real data at hand, as [name the
// page is given, file]: a ROM image is told by its name.
function images() {
  const found = ['sample.hdd', 'sample.rom', 'games.d88', 'disk.2dd'].map((n) => [n, join(SAMPLES, n)]);
  if (existsSync(REAL)) {
    for (const n of readdirSync(REAL).filter((f) => /\.(d88|bin)$/i.test(f))) {
      found.push([n.replace(/\.bin$/i, '.ROM'), join(REAL, n)]);
    }
  }
  return found;
}

test('each volume lists as the native tool lists it, the check included', () => {
  const work = mkdtempSync(join(tmpdir(), 'web-'));
  for (const [name, file] of images()) {
    const opened = core.open(name, readFileSync(file));
    copyFileSync(file, join(work, name));
    const volumes = opened.image?.volumes ?? [{part: 1}];
    for (const {part} of volumes) {
      const listed = opened.image?.list(part, '/');
      let json;
      try {
        json = JSON.parse(execFileSync(process.env.TARNWICK_CLI, ['-j', 'L', join(work, name), String(part)],
          {stdio: ['ignore', 'pipe', 'ignore']}));
      } catch (failed) {
        json = JSON.parse(failed.stdout.toString() || 'null');
      }
      const entries = json?.entries?.map(({name, type, mode, size, load, exec, date, attribute}) =>
        ({name, type, mode, attribute, size, load, exec, date}));
      assert.deepEqual([listed?.entries, listed?.check?.ok], [entries, json?.check?.ok], `${name} ${part}`);
    }
  }
});

// A call of the page's and the command line it stands for, on a copy of
// the image (games.d88 unless named) in the current folder; both then give the same lines on each
// stream and leave the same image (M and A take "now" and a file's time
// from the page, so the sequence of the page's tests compares those).
const CASES = [
  [['R', '1', 'HELLO', 'HELLO.mzt'], (i) => i.read(1, 'HELLO', 'file')],
  [['-b', 'R', '1', 'TITLE PICTURE', 'T.bas'], (i) => i.read(1, 'TITLE PICTURE', 'listing')],
  [['X', '2', '/', 'x'], (i) => i.exportTree(2, '/', {listings: false, text: false})],
  [['C', '2', 'games-2.d88'], (i) => i.takeDiskOut(2, 'games-2.d88')],
  [['D', '1', 'GAMES/SPACE WAR'], (i) => i.deleteFile(1, 'GAMES/SPACE WAR')],
  [['D', '1', 'RB FILE'], (i) => i.deleteFile(1, 'RB FILE')],
  [['D', '1', 'ゲーム😀'], (i) => i.deleteFile(1, 'ゲーム😀')],
  [['K', '1', 'GAMES'], (i) => i.removeDirectory(1, 'GAMES')],
  [['M', '1', 'HELLO'], (i) => i.makeDirectory(1, 'HELLO', NOW)],
  [['M', '3', 'NEW'], (i) => i.makeDirectory(3, 'NEW', NOW)],
  [['E'], (i) => i.examine(1, false), 'freed.rom'],
  [['--fix', 'E'], (i) => i.examine(1, true), 'freed.rom'],
];

test('each call says what its command says, stream by stream, and leaves the same bytes', () => {
  for (const [args, call, name = 'games.d88'] of CASES) {
    const work = mkdtempSync(join(tmpdir(), 'web-'));
    copyFileSync(join(SAMPLES, name), join(work, name));
    const image = core.open(name, readFileSync(join(work, name))).image;
    const lines = call(image).lines;
    const at = args.findIndex((a) => /^[A-Z]$/.test(a)) + 1;
    const ran = spawnSync(process.env.TARNWICK_CLI, [...args.slice(0, at), name, ...args.slice(at)],
      {cwd: work, encoding: 'utf8'});
    const said = (stream) => lines.filter((l) => l.stream === stream).map((l) => `${l.text}\n`).join('');
    assert.deepEqual([said('out'), said('err')], [ran.stdout, ran.stderr], args.join(' '));
    assert.ok(Buffer.from(image.bytes()).equals(readFileSync(join(work, name))), args.join(' '));
  }
});

// A fuzz input as the image file it stands for (layout in
// fuzz/fuzz_input.h): a ROM image, an HDD image with the bytes as a
// partition, or a D88 file; null for a D88 file the fuzz target builds.
// A command target's input has its image after its path and host file.
function imageOf(input, command) {
  const flags = input[0] ?? 0;
  const at = command ? 6 + input[2] + (input[3 + input[2]] | input[4 + input[2]] << 8 | input[5 + input[2]] << 16) : 1;
  const rest = new Uint8Array(input.subarray(at));
  const kind = flags & 3;
  if (kind === 0) return [!command && flags & 4 ? 'disk' : 'disk.rom', rest];
  if (kind === 3) return ['disk.d88', rest];
  if (command && kind === 2) return null;
  const offset = kind === 1 ? 0x2100 : 0x9cc000;
  const bytes = new Uint8Array(offset + rest.length);
  bytes.set(new TextEncoder().encode('MZ-2500 HD system by SHARP Corp.  V1.0A'));
  bytes.set(rest, offset);
  return ['disk', bytes];
}

// What the module says when it stopped (an abort, a trap) instead of
// answering.
const stopped = (result) => result.lines.some((l) => /Aborted|unreachable|out of bounds|RuntimeError/.test(l.text));
const CORPUS = existsSync(join(ROOT, 'build-fuzz')) ? ['seeds', 'corpus'].flatMap((d) =>
  (existsSync(join(ROOT, 'build-fuzz', d)) ? readdirSync(join(ROOT, 'build-fuzz', d)) : [])
    .filter((t) => !/basic$/.test(t)).map((t) => join(ROOT, 'build-fuzz', d, t))) : [];

test('hostile images open and list without an abort and stay as they were', {skip: !CORPUS.length &&
  'no fuzz corpus (fuzz/run.sh makes one)'}, () => {
  const inputs = CORPUS.flatMap((d) => readdirSync(d).map((f) => join(d, f))).sort();
  const step = Math.max(1, Math.floor(inputs.length / 400));
  for (let i = 0; i < inputs.length; i += step) {
    const image = imageOf(readFileSync(inputs[i]), !/load$/.test(dirname(inputs[i])));
    if (!image) continue;
    const [name, bytes] = image;
    const opened = core.open(name, bytes);
    const held = opened.image;
    const results = [opened];
    for (const {part} of held?.volumes ?? []) {
      const listed = held.list(part, '/');
      results.push(listed, held.exportTree(part, '/', {listings: true, text: true}),
        ...(listed.entries ?? []).map((e) => held.read(part, e.name, 'file')));
    }
    assert.ok(!results.some(stopped), inputs[i]);
    if (held) assert.deepEqual(held.bytes(), bytes, inputs[i]);
  }
});

test('a failed allocation anywhere in a store says so and leaves the image as it was', () => {
  const {image} = core.open('sample.d88', readFileSync(join(SAMPLES, 'sample.d88')));
  const before = image.bytes();
  const item = [{path: 'HELLO.mzt', bytes: readFileSync(join(SAMPLES, 'hello.mzt')), time: NOW}];
  let n = 0;
  for (let result; ; n += 7) {
    core.failAllocation(n);
    result = image.store(1, 'GAMES', item, NOW);
    if (result.changed) break;
    assert.deepEqual(result.lines.slice(-2).map((l) => l.text), ['Out of memory', '完了しました'], `allocation ${n}`);
    assert.deepEqual(image.bytes(), before);
  }
  assert.ok(n > 0);
  core.failAllocation(0);
  assert.deepEqual(core.open('x.d88', before), {image: null, lines: [
    {text: 'Out of memory', stream: 'err', severity: 'failure'}, {text: '完了しました', stream: 'out', severity: 'info'}]});
});
