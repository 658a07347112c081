// A stand-in for core.js in the page's tests of its own behaviour: canned
// images and results, every call recorded in globalThis.coreCalls.
const line = (text, severity = 'info') => ({text, stream: severity === 'info' ? 'out' : 'err', severity});
const done = line('完了しました');
const entry = (name, type, size, date = null, attribute = 0) =>
  ({name, type, mode: 0, attribute, size, load: 0x2000, exec: 0x2003, date});
const ROOT = [entry('HELLO', 'OBJ', 1000, '1986-04-01T09:30'), entry('TITLE', 'BTX', 300, '2024-10-09T08:07', 1),
  entry('SCORES', 'BSD', 700), entry('RB FILE', '???', 0), entry('GAMES', 'DIR', 2048, '1998-12-31T23:59')];
const SUB = [entry('.', 'DIR', 2048), entry('..', 'DIR', 2048)];
const READS = {file: [new Uint8Array(128), 'mzt'], listing: [new TextEncoder().encode('10 PRINT "HI"\n'), 'bas'],
  text: [new TextEncoder().encode('TEXT\n'), 'txt'], data: [Uint8Array.from({length: 20}, (_, i) => 0x3c + i), 'mzt']};
globalThis.coreCalls = [];

function image(name, container, volumes) {
  const folders = [{name: 'GAMES', folders: [{name: 'TOOLS', folders: []}]}];
  const record = (call, result) => (...args) => { globalThis.coreCalls.push([call, ...args]); return result(...args); };
  const change = (part, path) => {
    if (path.endsWith('BAD')) return {changed: false, lines: [line(`'${path}' refused`, 'failure'), done]};
    folders.push({name: path.split('/').pop(), folders: []});
    return {changed: true, lines: [line(`${name} changed`), done]};
  };
  return {
    name, container, volumes, bytes: () => new Uint8Array([7, 7]),
    list: record('list', (part, path) => (part === 2 && container === 'HDD'
      ? {loaded: false, lines: [line('partition 2 does not load', 'failure'), done]}
      : {loaded: true, check: {ok: part === 1, lines: part === 1 ? [] : ['a damaged disk']}, folders,
        entries: path === '/' ? ROOT : SUB, lines: [line(`${name} is ${container} image`), done]})),
    read: record('read', (part, path, form) => ({bytes: READS[form][0],
      name: `${path.split('/').pop()}.${READS[form][1]}`, lines: [line(`FILE: ${path}`), done]})),
    exportTree: record('exportTree', () => ({lines: [done], files: [{path: 'GAMES', bytes: null, time: null},
      {path: 'GAMES/HELLO.mzt', bytes: new Uint8Array([1, 2]),
        time: {year: 1999, month: 12, day: 31, hour: 23, minute: 58}}]})),
    takeDiskOut: record('takeDiskOut', () => ({bytes: new Uint8Array([1]), lines: [done]})),
    store: record('store', change), makeDirectory: record('makeDirectory', change),
    deleteFile: record('deleteFile', change), removeDirectory: record('removeDirectory', change),
  };
}

const parts = (kind, ...names) => names.map((name, i) => ({part: i + 1, kind, name}));
const IMAGES = {'sample.hdd': ['HDD', parts('partition', null, null)],
  'games.d88': ['D88', parts('disk', 'TARNWICK', '')], 'disk.2dd': ['raw', parts('volume', null)]};

export async function loadCore() {
  return {
    open: (name) => IMAGES[name] ? {image: image(name, ...IMAGES[name]), lines: []}
      : {image: null, lines: [line(`'${name}' is no disk image`, 'failure'), done]},
    blankDisk: (name) => ({image: image(name, 'D88', parts('volume', null)), lines: [done]}),
  };
}
