// The page in headless Chromium, its core replaced by fake-core.js: the
// controls, their labels in English and Japanese, the tree, the table, the
// preview, downloads, dialogs and drops.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {readFileSync} from 'node:fs';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const SITE = fileURLToPath(new URL('../../build-web/site/', import.meta.url));
const FAKE = fileURLToPath(new URL('fake-core.js', import.meta.url));
const ORIGIN = 'http://tarnwick.test/';
let browser;

// Debian's chromium, as root too, with nothing reaching out.
before(async () => {
  browser = await chromium.launch({executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: [
    '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync']});
});
after(() => browser?.close());

// The page served from the built site (no server: each request answered
// from the folder), with sample.hdd and games.d88 open, Partition 1 chosen;
// it lives until the browser closes.
async function openPage(locale = 'en-US') {
  const context = await browser.newContext({locale});
  await context.route(`${ORIGIN}**`, (route) => {
    const path = new URL(route.request().url()).pathname.slice(1) || 'index.html';
    return route.fulfill({path: path === 'core.js' ? FAKE : SITE + path});
  });
  const page = await context.newPage();
  await page.goto(ORIGIN);
  await page.locator('#open:enabled').waitFor({state: 'attached'});
  await page.locator('#open').setInputFiles([
    {name: 'sample.hdd', mimeType: 'application/octet-stream', buffer: Buffer.alloc(4)},
    {name: 'games.d88', mimeType: 'application/octet-stream', buffer: Buffer.alloc(4)}]);
  await page.getByRole('treeitem', {name: 'games.d88'}).waitFor();
  await choose(page, /^(Partition|パーティション) 1$/);
  return page;
}

const item = (page, name) => page.getByRole('treeitem', {name, exact: true});
const choose = (page, name) => item(page, name).locator(':scope > .line').click();
const button = (page, name) => page.getByRole('button', {name, exact: true});
const text = (page, selector) => page.locator(selector).innerText();
const calls = (page, name) => page.evaluate((n) => globalThis.coreCalls.filter((c) => c[0] === n), name);

async function downloaded(page, action) {
  const [download] = await Promise.all([page.waitForEvent('download'), action()]);
  return {name: download.suggestedFilename(), path: await download.path()};
}

const LABELS = [  // how the test finds it, English, Japanese
  ['label', 'Open image', 'イメージを開く'], ['tree', 'Images', 'イメージ'], ['table', 'Files', 'ファイル'],
  ['columnheader', 'Name', '名前'], ['columnheader', 'Type', '種類'], ['columnheader', 'Size', 'サイズ'],
  ['columnheader', 'Date', '日付'], ['columnheader', 'Load', 'ロード'], ['columnheader', 'Exec', '実行'],
  ['region', 'Preview', 'プレビュー'], ['log', 'Messages', 'メッセージ'], ['button', 'Download', 'ダウンロード'],
  ['button', 'Download as listing', 'リストでダウンロード'], ['button', 'Download as text', 'テキストでダウンロード'],
  ['button', 'Download folder', 'フォルダをダウンロード'], ['label', 'Listings', 'リスト'], ['label', 'Text', 'テキスト'],
  ['button', 'Take disk out', 'ディスクを取り出す'], ['label', 'Store files', 'ファイルを書き込む'],
  ['button', 'New folder', '新しいフォルダ'], ['button', 'Delete', '削除'], ['button', 'Remove folder', 'フォルダを削除'],
  ['button', 'New blank disk', '新しい空のディスク'], ['button', 'Save image', 'イメージを保存'],
  ['treeitem', 'Partition 1', 'パーティション 1'], ['treeitem', 'Disk 1: TARNWICK', 'ディスク 1: TARNWICK'],
  ['treeitem', 'Disk 2', 'ディスク 2'],
];

for (const [locale, column] of [['en-US', 1], ['ja-JP', 2]]) {
  test(`every control is labelled in ${locale}`, async () => {
    const page = await openPage(locale);
    for (const row of LABELS) {
      const name = row[column];
      const found = row[0] === 'label' ? page.getByLabel(name, {exact: true})
        : page.getByRole(row[0], {name, exact: true});
      assert.equal(await found.count(), 1, `${row[0]} ${name}`);
    }
  });
}

test('the tree shows images, their volumes and folders; a volume that does not load says why', async () => {
  const page = await openPage();
  await choose(page, 'Disk 2');
  // Each item by name, * when chosen, + when collapsed, its group in [].
  const outline = await page.locator('#tree').evaluate(function walk(list) {
    return [...list.children].map((li) => li.ariaLabel + (li.ariaSelected === 'true' ? '*' : '')
      + ({true: '', false: '+'}[li.ariaExpanded] ?? '')
      + (li.ariaExpanded ? `[${walk(li.querySelector(':scope > [role=group]'))}]` : '')).join(' ');
  });
  assert.equal(outline, 'sample.hdd[Partition 1[GAMES+[TOOLS]] Partition 2+[]] '
    + 'games.d88[Disk 1: TARNWICK[GAMES+[TOOLS]] Disk 2*+[GAMES+[TOOLS]]]');
  assert.equal(await text(page, '[role=status]'), 'Check: error\na damaged disk');
  await choose(page, 'Partition 2');
  assert.equal(await text(page, '[role=status]'), 'partition 2 does not load');
  await item(page, 'Partition 1').focus();
  for (const key of ['ArrowRight', 'ArrowRight', 'ArrowDown', 'Enter']) await page.keyboard.press(key);
  assert.deepEqual((await calls(page, 'list')).at(-1), ['list', 1, 'GAMES/TOOLS']);
  await page.locator('#open').setInputFiles({name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.alloc(1)});
  await page.getByRole('log').getByText("'notes.txt' is no disk image").waitFor();
  assert.equal(await item(page, 'notes.txt').count(), 0);
});

test('the table shows each entry but . and .., and a row its preview', async () => {
  const page = await openPage();
  const rows = await page.getByRole('table', {name: 'Files'}).locator('tbody tr')
    .evaluateAll((trs) => trs.map((tr) => [...tr.cells].map((td) => td.textContent)));
  assert.deepEqual(rows, [
    ['HELLO', 'OBJ', '1000', '1986-04-01 09:30', '2000', '2003'],
    ['TITLE', 'BTX*', '300', '2024-10-09 08:07', '2000', '2003'],
    ['SCORES', 'BSD', '700', '', '', ''],
    ['RB FILE', '???', '0', '', '', ''],
    ['GAMES', 'DIR', '2048', '1998-12-31 23:59', '', '']]);
  const preview = page.getByRole('region', {name: 'Preview'}).locator('pre');
  await page.getByRole('cell', {name: 'TITLE'}).click();
  assert.equal(await preview.textContent(), '10 PRINT "HI"\n');
  await page.keyboard.press('ArrowUp');
  assert.equal(await preview.textContent(),
    '000000  3C 3D 3E 3F 40 41 42 43 44 45 46 47 48 49 4A 4B  <=>?@ABCDEFGHIJK\n'
    + '000010  4C 4D 4E 4F                                      LMNO');
});

test('downloads carry the names and bytes the core gives', async () => {
  const page = await openPage();
  for (const [cell, control, name] of [['TITLE', 'Download', 'TITLE.mzt'],
    ['TITLE', 'Download as listing', 'TITLE.bas'], ['SCORES', 'Download as text', 'SCORES.txt'],
    ['SCORES', 'Save image', 'sample.hdd']]) {
    await page.getByRole('cell', {name: cell}).click();
    assert.equal((await downloaded(page, () => button(page, control).click())).name, name);
  }
  await page.getByLabel('Listings').check();
  const folder = await downloaded(page, () => button(page, 'Download folder').click());
  assert.deepEqual([folder.name, ...await calls(page, 'exportTree')],
    ['sample.zip', ['exportTree', 1, '/', {listings: true, text: false}]]);
  const check = 'import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\n'
    + 'for i in z.infolist(): print(i.filename, i.date_time, z.read(i).hex())';
  const listing = execFileSync('python3', ['-c', check, folder.path]);
  assert.equal(listing.toString(), 'GAMES/ (1980, 1, 1, 0, 0, 0) \nGAMES/HELLO.mzt (1999, 12, 31, 23, 58, 0) 0102\n');
  assert.ok(await button(page, 'Take disk out').isDisabled());
  await choose(page, 'Disk 2');
  assert.equal((await downloaded(page, () => button(page, 'Take disk out').click())).name, 'games-2.d88');
});

test('New folder asks for a name and stays open on a refusal; a change marks the image', async () => {
  const page = await openPage();
  await button(page, 'New folder').click();
  const dialog = page.getByRole('dialog', {name: 'New folder'});
  await dialog.getByRole('textbox', {name: 'Name'}).fill('BAD');
  await dialog.getByRole('button', {name: 'Create'}).click();
  assert.ok(await dialog.isVisible());
  assert.match(await text(page, '[role=log]'), /'BAD' refused\n完了しました$/);
  assert.equal(await item(page, 'sample.hdd').getAttribute('aria-describedby'), null);
  await dialog.getByRole('textbox', {name: 'Name'}).fill('NEW');
  await dialog.getByRole('button', {name: 'Create'}).click();
  assert.ok(await dialog.isHidden());
  assert.equal(await item(page, 'NEW').count(), 1);
  const described = await item(page, 'sample.hdd').getAttribute('aria-describedby');
  assert.equal(await page.locator(`#${described}`).textContent(), 'unsaved changes');
  await downloaded(page, () => button(page, 'Save image').click());
  assert.equal(await item(page, 'sample.hdd').getAttribute('aria-describedby'), null);
});

test('Delete and Remove folder ask first; leaving with changes asks too', async () => {
  const page = await openPage();
  // Asked twice, declined once: one call.
  for (const [cell, control, call] of [['HELLO', 'Delete', 'deleteFile'],
    ['GAMES', 'Remove folder', 'removeDirectory']]) {
    await page.getByRole('cell', {name: cell, exact: true}).click();
    for (const answer of ['dismiss', 'accept']) {
      page.once('dialog', (d) => d[answer]());
      await button(page, control).click();
    }
    assert.deepEqual(await calls(page, call), [[call, 1, cell]]);
  }
  const leaving = new Promise((resolve) => page.once('dialog', (d) => { resolve(d.type()); d.accept(); }));
  await page.close({runBeforeUnload: true});
  assert.equal(await leaving, 'beforeunload');
});

test('files dropped on the table are stored, elsewhere opened; New blank disk adds one', async () => {
  const page = await openPage();
  const drop = async (target, name) => page.dispatchEvent(target, 'drop', {
    dataTransfer: await page.evaluateHandle((n) => {
      const t = new DataTransfer();
      t.items.add(new File([new Uint8Array([1, 2])], n, {lastModified: new Date(2001, 1, 3, 4, 5).getTime()}));
      return t;
    }, name)});
  await drop('#drop', 'HELLO.mzt');
  await page.waitForFunction(() => globalThis.coreCalls.some((c) => c[0] === 'store'));
  assert.deepEqual((await calls(page, 'store'))[0].slice(0, 4), ['store', 1, '/', [{path: 'HELLO.mzt',
    bytes: new Uint8Array([1, 2]), time: {year: 2001, month: 2, day: 3, hour: 4, minute: 5}}]]);
  await drop('header', 'disk.2dd');
  await item(page, 'disk.2dd').waitFor();
  await button(page, 'New blank disk').click();
  assert.ok(await item(page, 'blank.d88').getAttribute('aria-describedby'));
});

test('the page files stay under 1 MB together', () => {
  const files = ['index.html', 'app.js', 'core.js', 'style.css', 'tarnwick.js', 'tarnwick.wasm'];
  const size = files.reduce((n, f) => n + readFileSync(SITE + f).length, 0);
  assert.ok(size < 1 << 20, `${size} bytes`);
});
