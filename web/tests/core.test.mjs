// The core built as WebAssembly, run under Node: commands on an image in
// the module's memory file system print what the native tool prints.
import {test} from 'node:test';
import assert from 'node:assert/strict';
import {readFileSync} from 'node:fs';

const SITE = new URL('../../build-web/site/', import.meta.url);

test('the core runs as WebAssembly', async () => {
  const {default: loadTarnwick} = await import(new URL('tarnwick.js', SITE));
  // Handing the module its wasm spares it a fetch, which Node's own would
  // refuse for a file URL.
  const core = await loadTarnwick({wasmBinary: readFileSync(new URL('tarnwick.wasm', SITE))});
  const run = (...args) => core.run(args);
  assert.equal(run('F', '/blank.d88').out, 'Disk type: 2DD\n/blank.d88 is D88 image\n完了しました\n');
  assert.equal(run('M', '/blank.d88', '1', 'ゲーム').status, 0);
  const listed = run('-l', 'L', '/blank.d88');
  assert.match(listed.out,
    /\n DIR {2}"ゲーム" {10}'\d\d\/\d\d\/\d\d \d\d:\d\d {5}2048\n空き 641024 バイト \(1252 \/ 1280 ブロック\)\n/);
});
