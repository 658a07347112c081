// The page: disk images opened in the browser and shown as a tree of
// images, volumes and directories, a table of the chosen directory's files
// and a preview of the chosen file; changed through the core (core.js) and
// taken out as downloads. Images stay in memory: nothing is sent anywhere.
import {loadCore} from './core.js';

// ---------------------------------------------------------------- labels

const JAPANESE = {
  'Open image': 'イメージを開く', Images: 'イメージ', Files: 'ファイル', Name: '名前', Type: '種類',
  Size: 'サイズ', Date: '日付', Load: 'ロード', Exec: '実行', Preview: 'プレビュー', Messages: 'メッセージ',
  Download: 'ダウンロード', 'Download as listing': 'リストでダウンロード', 'Download as text': 'テキストでダウンロード',
  'Download folder': 'フォルダをダウンロード', Listings: 'リスト', Text: 'テキスト',
  'Take disk out': 'ディスクを取り出す', 'Store files': 'ファイルを書き込む', 'New folder': '新しいフォルダ',
  Create: '作成', Delete: '削除', 'Remove folder': 'フォルダを削除', 'New blank disk': '新しい空のディスク',
  'Save image': 'イメージを保存', Partition: 'パーティション', Disk: 'ディスク', Cancel: 'キャンセル',
  'Delete %s?': '%s を削除しますか?', 'Remove the folder %s?': 'フォルダ %s を削除しますか?',
  'The page cannot run: %s': 'このページは動きません: %s', Check: '検査', Repair: '修復',
};
const japanese = /^ja(-|$)/i.test(navigator.language || '');

// The page's own text in the browser's language; %s stands for `arg`.
function label(text, arg = '') {
  return ((japanese && JAPANESE[text]) || text).replace('%s', () => arg);
}

function translatePage() {
  document.documentElement.lang = japanese ? 'ja' : 'en';
  for (const el of document.querySelectorAll('[data-l]')) el.textContent = label(el.textContent);
}

// ---------------------------------------------------------------- state

const $ = (id) => document.getElementById(id);
let core = null;
const images = [];  // {held: core.js Image, name, changed, expanded: Set of keys, volumes}
let chosen = null;  // the tree's chosen item: {image, key, volume, path}; path null: no directory
let entries = [];   // the chosen directory's entries, "." and ".." left out
let row = null;     // the chosen entry

// A directory path inside a volume, as the CLI takes it.
function join(dir, name) {
  return dir === '/' ? name : `${dir}/${name}`;
}

function timeOf(date) {
  return {year: date.getFullYear(), month: date.getMonth() + 1, day: date.getDate(),
    hour: date.getHours(), minute: date.getMinutes()};
}

function baseName(name) {
  return name.replace(/\.[^.]*$/, '');
}

// ---------------------------------------------------------------- log and status

function logLines(lines = []) {
  const log = $('log');
  for (const line of lines) {
    const div = document.createElement('div');
    div.className = line.severity;
    div.textContent = line.text;
    log.append(div);
  }
  log.scrollTop = log.scrollHeight;
}

function showStatus(result) {
  const status = $('status');
  if (!result) {
    status.textContent = '';
  } else if (result.loaded) {
    status.textContent = [`Check: ${result.check.ok ? 'OK' : 'error'}`, ...result.check.lines].join('\n');
  } else {
    status.textContent = (result.lines ?? []).filter((l) => l.severity === 'failure').map((l) => l.text).join('\n');
  }
}

// ---------------------------------------------------------------- tree

const nodes = new WeakMap();  // tree item -> {image, key, volume, path}

// A tree item; a parent gets aria-expanded and its children in a group.
function treeItem(text, node, children, expanded, parent = children.length > 0) {
  const li = document.createElement('li');
  li.setAttribute('role', 'treeitem');
  li.setAttribute('aria-label', text);
  li.setAttribute('aria-selected', 'false');
  li.tabIndex = -1;
  li.dataset.key = node.key;
  nodes.set(li, node);
  const line = document.createElement('div');
  line.className = 'line';
  line.innerHTML = '<span class="twisty" aria-hidden="true"></span><span class="name"></span>';
  line.lastChild.textContent = text;
  li.append(line);
  if (parent) {
    li.setAttribute('aria-expanded', String(expanded));
    const group = document.createElement('ul');
    group.setAttribute('role', 'group');
    group.append(...children);
    li.append(group);
  }
  return li;
}

function folderItems(image, volume, folders, dir) {
  return folders.map((f) => {
    const path = join(dir, f.name);
    const key = `${volume.part}|${path}`;
    const node = {image, key, volume, path};
    return treeItem(f.name, node, folderItems(image, volume, f.folders, path), image.expanded.has(key));
  });
}

function volumeLabel(volume) {
  if (volume.kind === 'partition') return `${label('Partition')} ${volume.part}`;
  return volume.name ? `${label('Disk')} ${volume.part}: ${volume.name}` : `${label('Disk')} ${volume.part}`;
}

function volumeItem(image, volume) {
  const key = `${volume.part}|/`;
  const node = {image, key, volume, path: '/'};
  const children = folderItems(image, volume, volume.folders, '/');
  return treeItem(volumeLabel(volume), node, children, image.expanded.has(key), !volume.loaded || children.length > 0);
}

// The image's item and everything below it, made anew.
function imageItem(image) {
  const single = image.volumes.length === 1 && image.volumes[0].kind === 'volume';
  const volume = single ? image.volumes[0] : null;
  const node = single ? {image, key: '1|/', volume, path: '/'} : {image, key: 'image', volume: null, path: null};
  const children = single ? folderItems(image, volume, volume.folders, '/')
    : image.volumes.map((v) => volumeItem(image, v));
  const li = treeItem(image.name, node, children, image.expanded.has(node.key), true);
  li.classList.add('image');
  if (image.changed) {
    const note = document.createElement('span');
    note.className = 'unsaved';
    note.id = `unsaved-${images.indexOf(image)}`;
    note.textContent = 'unsaved changes';
    li.firstChild.append(note);
    li.setAttribute('aria-describedby', note.id);
  }
  return li;
}

// The item of `key` below the image's, or the image's own.
const itemOf = (image, key) => image.item.querySelector(`[data-key="${CSS.escape(key)}"]`) ?? image.item;

// The image's item made anew; the chosen and the focused item stay so.
function renderImage(image) {
  const focused = image.item?.contains(document.activeElement) ? document.activeElement.dataset.key : null;
  const li = imageItem(image);
  if (image.item) image.item.replaceWith(li); else $('tree').append(li);
  image.item = li;
  if (chosen?.image === image) markChosen(itemOf(image, chosen.key));
  if (focused) itemOf(image, focused).focus();
}

function markChosen(li) {
  for (const el of $('tree').querySelectorAll('[aria-selected="true"]')) el.setAttribute('aria-selected', 'false');
  for (const el of $('tree').querySelectorAll('[tabindex="0"]')) el.tabIndex = -1;
  li.setAttribute('aria-selected', 'true');
  li.tabIndex = 0;
}

function visibleItems() {
  return [...$('tree').querySelectorAll('[role="treeitem"]')]
    .filter((li) => !li.parentElement.closest('[aria-expanded="false"]'));
}

function setExpanded(li, open) {
  if (!li.hasAttribute('aria-expanded')) return;
  const node = nodes.get(li);
  if (open) node.image.expanded.add(node.key); else node.image.expanded.delete(node.key);
  li.setAttribute('aria-expanded', String(open));
  if (open && node.volume && !node.volume.loaded) loadVolume(node);
}

// The tree's keys, as the tree pattern has them: arrows move, Right and
// Left open and close, Enter and Space choose.
function treeKey(ev) {
  const li = ev.target.closest('[role="treeitem"]');
  if (!li) return;
  const items = visibleItems();
  const at = items.indexOf(li);
  const open = li.getAttribute('aria-expanded');
  const go = (el) => el?.focus();
  switch (ev.key) {
    case 'ArrowDown': go(items[at + 1]); break;
    case 'ArrowUp': go(items[at - 1]); break;
    case 'Home': go(items[0]); break;
    case 'End': go(items[items.length - 1]); break;
    case 'ArrowRight':
      if (open === 'false') setExpanded(li, true); else if (open === 'true') go(li.querySelector('[role="treeitem"]'));
      break;
    case 'ArrowLeft':
      if (open === 'true') setExpanded(li, false); else go(li.parentElement.closest('[role="treeitem"]'));
      break;
    case 'Enter': case ' ': choose(li); break;
    default: return;
  }
  ev.preventDefault();
}

function treeClick(ev) {
  const li = ev.target.closest('[role="treeitem"]');
  if (!li) return;
  li.focus();
  if (ev.target.classList.contains('twisty')) setExpanded(li, li.getAttribute('aria-expanded') === 'false');
  else choose(li);
}

// ---------------------------------------------------------------- choosing

function choose(li) {
  markChosen(li);
  chosen = {...nodes.get(li)};
  if (chosen.path === null) {
    showDirectory(null);
  } else {
    look(true);
  }
}

// L of the chosen directory: its entries in the table, the check in the
// status, the volume's folders in the tree.
function look(logged) {
  const {image, volume, path} = chosen;
  const result = image.held.list(volume.part, path);
  if (logged) logLines(result.lines);
  const loaded = Boolean(result.loaded);
  const folders = result.folders ?? [];
  if (loaded !== volume.loaded || JSON.stringify(folders) !== JSON.stringify(volume.folders)) {
    Object.assign(volume, {loaded, folders});
    renderImage(image);
  }
  showDirectory(result);
}

function loadVolume(node) {
  const result = node.image.held.list(node.volume.part, '/');
  logLines(result.lines);
  node.volume.loaded = Boolean(result.loaded);
  node.volume.folders = result.folders ?? [];
  renderImage(node.image);
}

function showDirectory(result) {
  showStatus(result);
  entries = (result?.entries ?? []).filter((e) => !(e.type === 'DIR' && (e.name === '.' || e.name === '..')));
  row = null;
  renderTable();
  $('preview').querySelector('pre').textContent = '';
  update();
}

// ---------------------------------------------------------------- table

const hex4 = (n) => n.toString(16).toUpperCase().padStart(4, '0');

// The cells of an entry's row: Name, Type, Size, Date, Load, Exec.
function cells(e) {
  const addresses = e.type === 'OBJ' || e.type === 'BTX';
  return [e.name, e.type + (e.attribute & 1 ? '*' : ''), String(e.size), e.date ? e.date.replace('T', ' ') : '',
    addresses ? hex4(e.load) : '', addresses ? hex4(e.exec) : ''];
}

function renderTable() {
  const rows = entries.map((e, i) => {
    const tr = document.createElement('tr');
    tr.tabIndex = i === 0 ? 0 : -1;
    tr.setAttribute('aria-selected', 'false');
    for (const text of cells(e)) tr.insertCell().textContent = text;
    tr.cells[2].className = 'number';
    return tr;
  });
  $('files').tBodies[0].replaceChildren(...rows);
}

function chooseRow(tr) {
  const rows = [...$('files').tBodies[0].rows];
  for (const r of rows) {
    r.setAttribute('aria-selected', String(r === tr));
    r.tabIndex = r === tr ? 0 : -1;
  }
  row = entries[rows.indexOf(tr)];
  tr.focus();
  preview();
  update();
}

function tableKey(ev) {
  const tr = ev.target.closest('tbody tr');
  if (!tr) return;
  const next = {ArrowDown: tr.nextElementSibling, ArrowUp: tr.previousElementSibling}[ev.key];
  if (next) chooseRow(next);
  else if (ev.key === 'Enter' || ev.key === ' ') chooseRow(tr);
  else return;
  ev.preventDefault();
}

// ---------------------------------------------------------------- preview

// Lines of `OOOOOO  XX XX ... XX  chars`, 16 bytes each; bytes outside
// printable ASCII show as '.'.
function hexDump(bytes) {
  const lines = [];
  for (let at = 0; at < bytes.length; at += 16) {
    const chunk = [...bytes.subarray(at, at + 16)];
    const hex = chunk.map((b) => b.toString(16).toUpperCase().padStart(2, '0')).join(' ');
    const chars = String.fromCharCode(...chunk.map((b) => (b >= 0x20 && b < 0x7f ? b : 0x2e)));
    lines.push(`${at.toString(16).toUpperCase().padStart(6, '0')}  ${hex.padEnd(47)}  ${chars}`);
  }
  return lines.join('\n');
}

function preview() {
  const pre = $('preview').querySelector('pre');
  pre.textContent = '';
  if (!row || row.type === 'DIR') return;
  // A BTX file that reads as no program, or BSD data that is no text,
  // shows as a hex dump after the core's message (the second read's lines
  // are not logged: the first said why).
  const path = join(chosen.path, row.name);
  let form = {BTX: 'listing', BSD: 'text'}[row.type] ?? 'data';
  let result = chosen.image.held.read(chosen.volume.part, path, form);
  logLines(result.lines);
  if (!result.bytes && form !== 'data') {
    form = 'data';
    result = chosen.image.held.read(chosen.volume.part, path, form);
  }
  if (!result.bytes) return;
  pre.textContent = form === 'data' ? hexDump(result.bytes) : new TextDecoder().decode(result.bytes);
}

// ---------------------------------------------------------------- controls

// The disk "Take disk out" takes: the chosen one of a D88 file of several
// disks, the only one of a one-disk D88 file or a raw image.
function chosenDisk() {
  const image = chosen?.image;
  if (!image || !['D88', 'raw'].includes(image.held.container)) return null;
  if (image.volumes.length === 1) return 1;
  return chosen.volume?.part ?? null;
}

function update() {
  const folder = Boolean(chosen?.path && chosen.volume?.loaded);
  const file = Boolean(row && row.type !== 'DIR');
  const off = {
    open: !core, blank: !core, save: !chosen, take: !chosenDisk(), check: !chosen?.volume, repair: !chosen?.volume,
    store: !folder, mkdir: !folder, zip: !folder,
    download: !file, listing: row?.type !== 'BTX', text: row?.type !== 'BSD', delete: !file, rmdir: row?.type !== 'DIR',
  };
  for (const [id, disabled] of Object.entries(off)) $(id).disabled = disabled;
}

function download(name, bytes) {
  const url = URL.createObjectURL(new Blob([bytes], {type: 'application/octet-stream'}));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  a.click();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

function downloadRow(form) {
  const result = chosen.image.held.read(chosen.volume.part, join(chosen.path, row.name), form);
  logLines(result.lines);
  if (result.bytes) download(result.name, result.bytes);
}

function downloadFolder() {
  const {image, volume, path} = chosen;
  const options = {listings: $('listings').checked, text: $('texts').checked};
  const result = image.held.exportTree(volume.part, path, options);
  logLines(result.lines);
  if (!result.files) return;
  const name = path === '/' ? baseName(image.name) : path.slice(path.lastIndexOf('/') + 1);
  download(`${name}.zip`, zip(result.files));
}

function takeDiskOut() {
  const disk = chosenDisk();
  const name = `${baseName(chosen.image.name)}-${disk}.d88`;
  const result = chosen.image.held.takeDiskOut(disk, name);
  logLines(result.lines);
  if (result.bytes) download(name, result.bytes);
}

function saveImage() {
  const image = chosen.image;
  download(image.name, image.held.bytes());
  image.changed = false;
  renderImage(image);
}

// A change's lines logged, the image marked when it changed, the chosen
// directory shown anew; true when it changed.
function changed(result) {
  logLines(result.lines);
  if (result.changed) chosen.image.changed = true;
  look(false);
  if (result.changed) renderImage(chosen.image);
  return Boolean(result.changed);
}

async function storeFiles(items) {
  const now = timeOf(new Date());
  const read = await Promise.all(items.map(async ({path, file}) => ({
    path,
    bytes: file ? new Uint8Array(await file.arrayBuffer()) : null,
    time: file ? timeOf(new Date(file.lastModified)) : now,
  })));
  changed(chosen.image.held.store(chosen.volume.part, chosen.path, read, now));
}

function newFolder(ev) {
  if (ev.submitter?.value === 'cancel') return;
  ev.preventDefault();
  const path = join(chosen.path, $('mkdir-name').value);
  if (changed(chosen.image.held.makeDirectory(chosen.volume.part, path, timeOf(new Date())))) $('mkdir-dialog').close();
}

function deleteRow() {
  if (!window.confirm(label('Delete %s?', row.name))) return;
  changed(chosen.image.held.deleteFile(chosen.volume.part, join(chosen.path, row.name)));
}

// E of the chosen volume, or with `fix` ("Repair") --fix E, which asks
// nothing: it mends only what loses no data.
function examine(fix) {
  changed(chosen.image.held.examine(chosen.volume.part, fix));
}

function removeFolder() {
  if (!window.confirm(label('Remove the folder %s?', row.name))) return;
  changed(chosen.image.held.removeDirectory(chosen.volume.part, join(chosen.path, row.name)));
}

// ---------------------------------------------------------------- opening

function addImage(held, changedAlready) {
  const image = {
    held, name: held.name, changed: changedAlready, expanded: new Set(['image', '1|/']),
    volumes: held.volumes.map((v) => ({...v, loaded: false, folders: []})),
  };
  images.push(image);
  renderImage(image);
  // The first volume's root is shown at once.
  choose(itemOf(image, '1|/'));
}

async function openFiles(files) {
  for (const file of files) {
    const result = core.open(file.name, new Uint8Array(await file.arrayBuffer()));
    logLines(result.lines);
    if (result.image) addImage(result.image, false);
  }
}

function newBlankDisk() {
  const result = core.blankDisk('blank.d88', timeOf(new Date()));
  logLines(result.lines);
  if (result.image) addImage(result.image, true);
}

// What was dropped, folders walked: [{path, file}], file null for a
// folder. The items must be taken before the drop event ends.
async function dropped(transfer) {
  const found = [...transfer.items].map((item) => item.webkitGetAsEntry?.() ?? null);
  const files = [...transfer.files];
  if (!found.length || found.includes(null)) return files.map((file) => ({path: file.name, file}));
  const all = [];
  const walk = async (entry, path) => {
    if (entry.isFile) {
      all.push({path, file: await new Promise((ok, fail) => entry.file(ok, fail))});
      return;
    }
    all.push({path, file: null});
    const reader = entry.createReader();
    for (let batch; (batch = await new Promise((ok, fail) => reader.readEntries(ok, fail))).length;) {
      for (const e of batch) await walk(e, `${path}/${e.name}`);
    }
  };
  for (const entry of found) await walk(entry, entry.name);
  return all;
}

// ---------------------------------------------------------------- ZIP

const CRC_TABLE = Array.from({length: 256}, (_, n) => {
  for (let k = 0; k < 8; k++) n = n & 1 ? 0xedb88320 ^ (n >>> 1) : n >>> 1;
  return n >>> 0;
});

function crc32(bytes) {
  let crc = 0xffffffff;
  for (const b of bytes) crc = CRC_TABLE[(crc ^ b) & 0xff] ^ (crc >>> 8);
  return (crc ^ 0xffffffff) >>> 0;
}

// MS-DOS time and date; a time before 1980 or none is 1980-01-01 00:00.
function dosTime(t) {
  if (!t || t.year < 1980) return [0, 0x21];
  return [(t.hour << 11) | (t.minute << 5), ((t.year - 1980) << 9) | (t.month << 5) | t.day];
}

// Little-endian fields of [width, value], then the name's bytes.
function record(fields, name) {
  const size = fields.reduce((n, [width]) => n + width, 0);
  const out = new Uint8Array(size + name.length);
  const view = new DataView(out.buffer);
  let at = 0;
  for (const [width, value] of fields) {
    if (width === 2) view.setUint16(at, value, true); else view.setUint32(at, value, true);
    at += width;
  }
  out.set(name, at);
  return out;
}

// A ZIP archive of the files as they are (stored, not compressed), names
// in UTF-8; a folder is an item whose bytes are null.
function zip(files) {
  const parts = [];
  const central = [];
  let offset = 0;
  for (const file of files) {
    const name = new TextEncoder().encode(file.bytes ? file.path : `${file.path}/`);
    const data = file.bytes ?? new Uint8Array(0);
    const [time, date] = dosTime(file.time);
    const common = [[2, 20], [2, 0x0800], [2, 0], [2, time], [2, date], [4, crc32(data)],
      [4, data.length], [4, data.length], [2, name.length], [2, 0]];
    const local = record([[4, 0x04034b50], ...common], name);
    central.push(record([[4, 0x02014b50], [2, 20], ...common, [2, 0], [2, 0], [2, 0],
      [4, file.bytes ? 0 : 0x10], [4, offset]], name));
    parts.push(local, data);
    offset += local.length + data.length;
  }
  const size = central.reduce((n, c) => n + c.length, 0);
  const end = record([[4, 0x06054b50], [2, 0], [2, 0], [2, files.length], [2, files.length],
    [4, size], [4, offset], [2, 0]], new Uint8Array(0));
  return new Blob([...parts, ...central, end]);
}

// ---------------------------------------------------------------- start

function onClick(id, action) {
  $(id).addEventListener('click', action);
}

function wire() {
  $('tree').addEventListener('keydown', treeKey);
  $('tree').addEventListener('click', treeClick);
  $('files').addEventListener('click', (ev) => { const tr = ev.target.closest('tbody tr'); if (tr) chooseRow(tr); });
  $('files').addEventListener('keydown', tableKey);
  $('open').addEventListener('change', (ev) => { openFiles([...ev.target.files]); ev.target.value = ''; });
  $('store').addEventListener('change', (ev) => {
    storeFiles([...ev.target.files].map((file) => ({path: file.name, file})));
    ev.target.value = '';
  });
  onClick('blank', newBlankDisk);
  onClick('save', saveImage);
  onClick('take', takeDiskOut);
  onClick('check', () => examine(false));
  onClick('repair', () => examine(true));
  onClick('mkdir', () => { $('mkdir-name').value = ''; $('mkdir-dialog').showModal(); });
  $('mkdir-dialog').querySelector('form').addEventListener('submit', newFolder);
  onClick('zip', downloadFolder);
  onClick('download', () => downloadRow('file'));
  onClick('listing', () => downloadRow('listing'));
  onClick('text', () => downloadRow('text'));
  onClick('delete', deleteRow);
  onClick('rmdir', removeFolder);
  wireDrops();
  addEventListener('beforeunload', (ev) => {
    if (!images.some((i) => i.changed)) return;
    ev.preventDefault();
    ev.returnValue = '';  // browsers before the standard's preventDefault
  });
}

// Files dropped on the table are stored in the chosen directory; dropped
// anywhere else (or with no directory chosen) they are opened as images.
function wireDrops() {
  const zone = $('drop');
  const storing = () => !$('store').disabled;
  document.addEventListener('dragover', (ev) => ev.preventDefault());
  document.addEventListener('drop', async (ev) => {
    ev.preventDefault();
    if (core) openFiles((await dropped(ev.dataTransfer)).filter((i) => i.file).map((i) => i.file));
  });
  zone.addEventListener('dragover', (ev) => { if (storing()) zone.classList.add('target'); });
  zone.addEventListener('dragleave', () => zone.classList.remove('target'));
  zone.addEventListener('drop', async (ev) => {
    zone.classList.remove('target');
    if (!storing()) return;
    ev.preventDefault();
    ev.stopPropagation();
    storeFiles(await dropped(ev.dataTransfer));
  });
}

async function start() {
  translatePage();
  wire();
  try {
    core = await loadCore();
  } catch (error) {
    logLines([{text: label('The page cannot run: %s', error.message ?? error), severity: 'failure'}]);
  }
  update();
}

start();
