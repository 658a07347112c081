// Times the page in headless Chromium on a large image: opening it until
// its root is listed in the table, storing an MZT file into the root until
// the table is shown anew, and saving the image (the bytes handed to the
// download). Times are taken inside the page from the file input's change
// event, so the browser's start and the test driver are not in them.
//
//   node bench.mjs IMAGE MZTFILE [RUNS]     (after tools/web.sh --build)
import {readFileSync} from 'node:fs';
import {basename} from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

const SITE = fileURLToPath(new URL('../build-web/site/', import.meta.url));
const [image, mzt, runs = '11'] = process.argv.slice(2);
const files = (path) => ({name: basename(path), mimeType: 'application/octet-stream', buffer: readFileSync(path)});

// Milliseconds from the next change event of `input` until the table's
// rows are made anew after it.
function armed(page, input) {
  return page.evaluate((id) => new Promise((resolve) => {
    let start;
    document.getElementById(id).addEventListener('change', () => { start = performance.now(); },
      {capture: true, once: true});
    new MutationObserver((_, observer) => {
      if (start === undefined) return;
      observer.disconnect();
      resolve(performance.now() - start);
    }).observe(document.querySelector('#files tbody'), {childList: true});
  }), input);
}

async function once(browser) {
  const context = await browser.newContext();
  await context.route('http://bench.test/**', (route) =>
    route.fulfill({path: SITE + (new URL(route.request().url()).pathname.slice(1) || 'index.html')}));
  const page = await context.newPage();
  await page.goto('http://bench.test/');
  await page.locator('#open:enabled').waitFor();
  const opened = armed(page, 'open');
  await page.locator('#open').setInputFiles(files(image));
  const open = await opened;
  const stored = armed(page, 'store');
  await page.locator('#store').setInputFiles(files(mzt));
  const store = await stored;
  const save = await page.evaluate(() => {
    const start = performance.now();
    document.getElementById('save').click();
    return performance.now() - start;
  });
  const log = await page.locator('#log').innerText();
  await context.close();
  if (!/1 個のファイルを書き込みました/.test(log)) throw new Error(`the store failed:\n${log}`);
  return [open, store, save];
}

const browser = await chromium.launch({executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu']});
const times = [];
for (let i = 0; i < Number(runs); i++) times.push(await once(browser));
await browser.close();
const median = (k) => times.map((t) => t[k]).sort((a, b) => a - b)[times.length >> 1].toFixed(1);
const spread = (k) => `${Math.min(...times.map((t) => t[k])).toFixed(1)}-${Math.max(...times.map((t) => t[k])).toFixed(1)}`;
for (const [k, what] of ['open and list the root', 'store the file', 'save'].entries()) {
  console.log(`${what}: median ${median(k)} ms (${spread(k)}) of ${times.length} runs`);
}
