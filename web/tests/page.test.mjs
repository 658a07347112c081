// The page in headless Chromium over the real core, on the sample images
// tools/test-web.sh makes (TARNWICK_SAMPLES), compared with the native
// tool (TARNWICK_CLI): the controls, their labels in English and Japanese,
// the tree, the table, the preview, downloads, dialogs and drops.
import {after, before, test} from 'node:test';
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {cpSync, mkdirSync, mkdtempSync, readFileSync, readdirSync, utimesSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const SITE = fileURLToPath(new URL('../../build-web/site/', import.meta.url));
const SAMPLES = process.env.TARNWICK_SAMPLES;
const ORIGIN = 'http://tarnwick.test/';
const sample = (name) => readFileSync(join(SAMPLES, name));
const cli = (...args) => execFileSync(process.env.TARNWICK_CLI, args, {stdio: ['ignore', 'pipe', 'pipe']});
let browser;

// sample.hdd with its second partition's system record wiped: it does not load.
function brokenHdd() {
  const bytes = sample('sample.hdd');
  bytes.fill(0, 0x9cc000 + 15 * 256, 0x9cc000 + 16 * 256);
  return bytes;
}

// Debian's chromium, as root too, with nothing reaching out.
before(async () => {
  browser = await chromium.launch({executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args: [
    '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync']});
});
after(() => browser?.close());

// The page served from the built site (no server: each request answered
// from the folder) with `files` open ([name, bytes]); it lives until the
// browser closes.
async function openPage(files = [['sample.hdd', brokenHdd()], ['games.d88', sample('games.d88')]], locale = 'en-US') {
  const context = await browser.newContext({locale, timezoneId: 'UTC'});
  await context.route(`${ORIGIN}**`, (route) =>
    route.fulfill({path: SITE + (new URL(route.request().url()).pathname.slice(1) || 'index.html')}));
  const page = await context.newPage();
  await page.goto(ORIGIN);
  await page.locator('#open:enabled').waitFor();
  await page.locator('#open').setInputFiles(files.map(([name, buffer]) =>
    ({name, mimeType: 'application/octet-stream', buffer})));
  await page.getByRole('treeitem', {name: files.at(-1)[0]}).waitFor();
  return page;
}

const item = (page, name) => page.getByRole('treeitem', {name, exact: true});
const choose = (page, name) => item(page, name).locator(':scope > .line').click();
const button = (page, name) => page.getByRole('button', {name, exact: true});
const text = (page, selector) => page.locator(selector).innerText();
const cell = (page, name) => page.getByRole('cell', {name, exact: true});
const names = (page) => page.locator('#files tbody tr td:first-child').allTextContents();

async function downloaded(page, action) {
  const [download] = await Promise.all([page.waitForEvent('download'), action()]);
  return {name: download.suggestedFilename(), bytes: readFileSync(await download.path()), path: await download.path()};
}

// Files dropped on `target`, each [name, bytes, lastModified].
async function drop(page, target, files) {
  const dataTransfer = await page.evaluateHandle((list) => {
    const t = new DataTransfer();
    for (const [name, bytes, time] of list) t.items.add(new File([new Uint8Array(bytes)], name, {lastModified: time}));
    return t;
  }, files.map(([name, bytes, time]) => [name, [...bytes], time]));
  await page.dispatchEvent(target, 'drop', {dataTransfer});
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
    const page = await openPage(undefined, locale);
    for (const row of LABELS) {
      const name = row[column];
      const found = row[0] === 'label' ? page.getByLabel(name, {exact: true})
        : page.getByRole(row[0], {name, exact: true});
      assert.equal(await found.count(), 1, `${row[0]} ${name}`);
    }
  });
}

test('the tree shows images, volumes and folders; a damaged volume, one that does not load, no image', async () => {
  const damaged = sample('sample.rom');
  damaged[15 * 256 + 21] = 0xff;  // blocks marked used that no file holds
  const page = await openPage([['sample.hdd', brokenHdd()], ['games.d88', sample('games.d88')],
    ['damaged.rom', damaged]]);
  assert.match(await text(page, '[role=status]'), /^Check: error\n.*一致しない/);
  await choose(page, 'Disk 2');
  // Each item by name, * when chosen, + when collapsed, its group in [].
  const outline = await page.locator('#tree').evaluate(function walk(list) {
    return [...list.children].map((li) => li.ariaLabel + (li.ariaSelected === 'true' ? '*' : '')
      + ({true: '', false: '+'}[li.ariaExpanded] ?? '')
      + (li.ariaExpanded ? `[${walk(li.querySelector(':scope > [role=group]'))}]` : '')).join(' ');
  });
  assert.equal(outline, 'sample.hdd[Partition 1[GAMES+[TOOLS]] Partition 2+[]] '
    + 'games.d88[Disk 1: TARNWICK[GAMES+[TOOLS]] Disk 2*] damaged.rom[GAMES+[TOOLS]]');
  assert.equal(await text(page, '[role=status]'), 'Check: OK');
  await choose(page, 'Partition 2');
  assert.equal(await text(page, '[role=status]'), 'HDDイメージの論理フォーマットが正しくありません');
  await item(page, 'Partition 1').focus();
  for (const key of ['ArrowRight', 'ArrowRight', 'ArrowDown', 'Enter']) await page.keyboard.press(key);
  assert.deepEqual(await names(page), ['EDITOR']);
  await page.locator('#open').setInputFiles({name: 'hello.mzt', mimeType: 'text/plain', buffer: sample('hello.mzt')});
  await page.getByRole('log').getByText("'hello.mzt' は HDD, D88, ROM のどのイメージでもありません").waitFor();
  assert.equal(await item(page, 'hello.mzt').count(), 0);
});

test('the table shows each entry but . and .., and a row its preview', async () => {
  const page = await openPage([['games.d88', sample('games.d88')]]);
  const rows = await page.getByRole('table', {name: 'Files'}).locator('tbody tr')
    .evaluateAll((trs) => trs.map((tr) => [...tr.cells].map((td) => td.textContent).join('|')));
  const today = new Date().toISOString().slice(0, 10);
  assert.deepEqual(rows.map((r) => r.replace(today, 'TODAY').replace(/ \d\d:\d\d\|/, '|')), [
    'HELLO|OBJ|1000|1986-04-01|1200|1200', 'TITLE PICTURE|BTX*|3000|1987-11-23|0000|0000',
    'SCORES|BSD|700|1988-02-29||', 'MAP DATA|BRD|5024|1990-07-07||', 'RB FILE|RB|256|1991-01-02||',
    'LIBRARY|LIB|256|1992-05-06||', 'SYSTEM|SYS|256|1993-09-10||', 'GRAPHICS|GR|256|1994-12-24||',
    'GAMES|DIR|2048|1998-12-31||', 'HI|BTX|14|TODAY|0000|0000', 'NOTES|BSD|8|TODAY||']);
  const preview = page.getByRole('region', {name: 'Preview'}).locator('pre');
  // TITLE PICTURE reads as no program: its data after the core's message.
  for (const [name, shown] of [['HI', '10 PRINT "HI"\n'], ['NOTES', 'ONE\nTWO\n'],
    ['TITLE PICTURE', /^000000 {2}07 08 09 .*\n000BB0 /s]]) {
    await cell(page, name).click();
    if (typeof shown === 'string') assert.equal(await preview.textContent(), shown);
    else assert.match(await preview.textContent(), shown);
  }
  await cell(page, 'NOTES').click();
  await page.keyboard.press('ArrowUp');
  assert.equal(await preview.textContent(), '10 PRINT "HI"\n');
  // Any other file as a hex dump of its data: the columns give R's bytes.
  await cell(page, 'HELLO').click();
  const dump = (await preview.textContent()).split('\n');
  assert.deepEqual([dump.length, dump[62].slice(0, 8)], [63, '0003E0  ']);
  const body = cli('R', join(SAMPLES, 'games.d88'), '1', 'HELLO', '-').subarray(128);
  assert.equal(dump.map((l) => l.slice(8, 55).trim()).join(' '), body.toString('hex').toUpperCase()
    .replace(/(..)(?!$)/g, '$1 '));
});

test('downloads carry what R, X and C write', async () => {
  const page = await openPage([['sample.hdd', sample('sample.hdd')], ['games.d88', sample('games.d88')]]);
  const games = join(SAMPLES, 'games.d88');
  for (const [row, control, name, args] of [['HI', 'Download', 'HI.mzt', ['R']],
    ['HI', 'Download as listing', 'HI.bas', ['-b', 'R']], ['NOTES', 'Download as text', 'NOTES.txt', ['-t', 'R']],
    ['MAP DATA', 'Download', 'MAP DATA.brd', ['R']]]) {
    await cell(page, row).click();
    const got = await downloaded(page, () => button(page, control).click());
    assert.equal(got.name, name);
    assert.deepEqual(got.bytes, cli(...args, games, '1', row, '-'));
  }
  assert.deepEqual((await downloaded(page, () => button(page, 'Save image').click())).bytes, sample('games.d88'));
  await page.getByLabel('Listings').check();
  await page.getByLabel('Text').check();
  const folder = await downloaded(page, () => button(page, 'Download folder').click());
  assert.equal(folder.name, 'games.zip');
  const unzipped = mkdtempSync(join(tmpdir(), 'web-'));
  execFileSync('python3', ['-c', 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])',
    folder.path, join(unzipped, 'page')]);
  cli('-b', '-t', 'X', games, '1', '/', join(unzipped, 'cli'));
  assert.equal(execFileSync('diff', ['-r', join(unzipped, 'page'), join(unzipped, 'cli')]).toString(), '');
  await choose(page, 'Disk 2');
  const disk = await downloaded(page, () => button(page, 'Take disk out').click());
  assert.deepEqual([disk.name, disk.bytes], ['games-2.d88', sample('new.d88')]);
  await choose(page, 'Partition 1');
  assert.ok(await button(page, 'Take disk out').isDisabled());
});

test('New folder asks for a name and stays open on a refusal; a change marks the image', async () => {
  const page = await openPage([['sample.d88', sample('sample.d88')]]);
  await button(page, 'New folder').click();
  const dialog = page.getByRole('dialog', {name: 'New folder'});
  await dialog.getByRole('textbox', {name: 'Name'}).fill('HELLO');
  await dialog.getByRole('button', {name: 'Create'}).click();
  assert.ok(await dialog.isVisible());
  assert.match(await text(page, '[role=log]'), /HELLO.*\n完了しました$/);
  assert.equal(await item(page, 'sample.d88').getAttribute('aria-describedby'), null);
  await dialog.getByRole('textbox', {name: 'Name'}).fill('NEW');
  await dialog.getByRole('button', {name: 'Create'}).click();
  assert.ok(await dialog.isHidden());
  assert.equal(await item(page, 'NEW').count(), 1);
  const described = await item(page, 'sample.d88').getAttribute('aria-describedby');
  assert.equal(await page.locator(`#${described}`).textContent(), 'unsaved changes');
  await downloaded(page, () => button(page, 'Save image').click());
  assert.equal(await item(page, 'sample.d88').getAttribute('aria-describedby'), null);
});

test('Check logs what E finds on the chosen volume, Repair what --fix E mends', async () => {
  const page = await openPage([['games.d88', sample('games.d88')], ['freed.rom', sample('freed.rom')]]);
  for (const name of ['Check', 'Repair']) await button(page, name).click();
  assert.match(await text(page, '[role=log]'), /件の問題\n完了しました\n(.*\n)*.*を使用中にしました\n(.*\n)*検査: 問題はありません\n完了しました$/);
});

test('files dropped on the table, deleted, a folder removed: the bytes the CLI leaves', async () => {
  const page = await openPage([['sample.d88', sample('sample.d88')]]);
  const time = Date.UTC(2001, 1, 3, 4, 5);
  const files = ['hello.mzt', 'hi.mzt'];
  await choose(page, 'GAMES');
  await drop(page, '#drop', files.map((name) => [name, sample(name), time]));
  await cell(page, 'hi').waitFor();
  await page.keyboard.press('ArrowRight');  // GAMES opened: TOOLS shown
  // Asked twice, declined once.
  for (const [row, control, folder] of [['EDITOR', 'Delete', 'TOOLS'], ['TOOLS', 'Remove folder', 'GAMES']]) {
    await choose(page, folder);
    await cell(page, row).click();
    for (const answer of ['dismiss', 'accept']) {
      page.once('dialog', (d) => d[answer]());
      await button(page, control).click();
    }
  }
  assert.deepEqual(await names(page), ['SPACE WAR', 'hello', 'hi']);
  const saved = await downloaded(page, () => button(page, 'Save image').click());
  const work = mkdtempSync(join(tmpdir(), 'web-'));
  const image = join(work, 'sample.d88');
  cpSync(join(SAMPLES, 'sample.d88'), image);
  mkdirSync(join(work, 'in'));
  for (const name of files) {
    cpSync(join(SAMPLES, name), join(work, 'in', name));
    utimesSync(join(work, 'in', name), time / 1000, time / 1000);
  }
  cli('-b', '-t', 'A', image, '1', 'GAMES', join(work, 'in'));
  cli('D', image, '1', 'GAMES/TOOLS/EDITOR');
  cli('K', image, '1', 'GAMES/TOOLS');
  assert.ok(saved.bytes.equals(readFileSync(image)));
  await drop(page, 'header', [['disk.2dd', sample('disk.2dd'), time]]);
  await item(page, 'disk.2dd').waitFor();
  const leaving = new Promise((resolve) => page.once('dialog', (d) => { resolve(d.type()); d.accept(); }));
  await button(page, 'New blank disk').click();
  assert.ok(await item(page, 'blank.d88').getAttribute('aria-describedby'));
  await page.close({runBeforeUnload: true});
  assert.equal(await leaving, 'beforeunload');
});

test('the page files stay under 1 MB together', () => {
  const size = readdirSync(SITE).reduce((n, f) => n + readFileSync(SITE + f).length, 0);
  assert.ok(size < 1 << 20, `${size} bytes`);
});
