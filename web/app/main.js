// The map maker's page: makes the map of a seed and its options in a Web
// Worker (the generator compiled to WebAssembly), shows it in the 3D view
// beside its top-down preview and its figures, and offers the map file for
// download, byte for byte what `vormap -s SEED [options]` writes.
//
// window.vormap.make(seed, debug, options) returns a Promise of the map
// file's bytes, made as the "make" button makes them; seed is an integer
// Number in the 32-bit range, debug a boolean, options (optional) the map's
// variant: an object {lake, symmetry, keep, water, trees, hills} (any of
// them) or the options part of a map name ("lake=north,water=1.5"; "" or
// "default" for the specified map). Anything else is a TypeError, as is an
// option the generator refuses (its own message). window.vormap.figures(seed,
// debug, options) returns a Promise of the figures `vxltool info --json`
// gives for that map (without file and size); window.vormap.vox(seed, debug,
// options) a Promise of the bytes of the .vox file `vxltool to-vox` writes.
//
// The address keeps the map shown: #seed=1234&d=1 for the specified map,
// #map=1234:lake=north&d=1 for a variant (the map's name as the programs
// write it); an address that names no map is refused with a message, never
// read as another map. The strip of thumbnails is in the address too:
// &from=SEED&count=24&sort=-fairness&where=water_percent<=10 (a minus sorts
// falling). window.vormap.shown is {seed, debug, name, ms} once a map is on
// screen; window.vormap.strip the strip (its shownSeeds() and workerCount).
/* global VORMAP_WORKER_SOURCE */
import { startView } from '../view/viewer.js';
import { mapFigures, developerFigures, addRows } from '../view/figures.js';
import { ThumbnailStrip } from './thumbnails.js';

const $ = (id) => document.getElementById(id);
const INT_MIN = -2147483648, INT_MAX = 2147483647;
const PREVIEW_SIZE = 512;

class Cancelled extends Error {}
// A map name or option the generator refuses.
class Refused extends Error {}

function status(text, error = false) {
  $('status').textContent = text;
  $('status').className = error ? 'error' : '';
}

// A seed as vormap reads it: a whole number that fits in 32 bits, signed.
function parseSeed(text) {
  const t = String(text).trim();
  if (!/^[+-]?\d+$/.test(t)) return null;
  const n = Number(t);
  return n >= INT_MIN && n <= INT_MAX ? n : null;
}

// --- The map's options. Their defaults make the specified map; the generator
// checks every value (the page only gathers them).
const OPTION_KEYS = ['lake', 'symmetry', 'keep', 'water', 'trees', 'hills'];
const DEFAULTS = { lake: 'east', symmetry: 'none', keep: 'blue', water: '1', trees: '1', hills: '1' };

// The options part of a map name from option texts: those that differ from
// the defaults (keep only for a symmetric map), in the names' order.
function variantOf(values) {
  const parts = [];
  for (const key of OPTION_KEYS) {
    const value = String(values[key] ?? DEFAULTS[key]).trim();
    if (key === 'keep' && String(values.symmetry ?? 'none').trim() === 'none') continue;
    const isDefault = key === 'water' || key === 'trees' || key === 'hills' ? value !== '' && Number(value) === 1 : value === DEFAULTS[key];
    if (!isDefault) parts.push(`${key}=${value}`);
  }
  return parts.join(',');
}

// The controls' options, as a variant.
const controlsVariant = () => variantOf(Object.fromEntries(OPTION_KEYS.map((k) => [k, $(k).value])));

// Sets the controls to a variant the generator has accepted (its canonical
// form: "lake=north,water=1.5").
function setControls(variant) {
  const values = { ...DEFAULTS };
  for (const part of variant ? variant.split(',') : []) {
    const [key, value] = part.split('=');
    values[key] = value;
  }
  for (const key of OPTION_KEYS) $(key).value = values[key];
  $('keep').disabled = values.symmetry === 'none';
}

// A map's name as the programs write it, and its files' base name as the
// gallery writes it (SEED+VARIANT).
const mapName = (seed, variant) => (variant ? `${seed}:${variant}` : String(seed));
const fileBase = (seed, variant, debug) => `${seed}${variant ? `+${variant}` : ''}${debug ? '-d' : ''}`;

// --- The worker: one map at a time, in order. A newer "make" replaces an
// older one that is still waiting or running (the running one is stopped).
const workerUrl = URL.createObjectURL(new Blob([VORMAP_WORKER_SOURCE], { type: 'text/javascript' }));
let worker = null;
let running = null;
const queue = [];
let nextId = 1;

function startWorker() {
  worker = new Worker(workerUrl);
  worker.onmessage = ({ data }) => {
    if (!running || data.id !== running.id) return;
    const job = running;
    running = null;
    if (data.error) job.reject(data.refused ? new Refused(data.error) : new Error(data.error));
    else job.resolve(data);
    pump();
  };
  worker.onerror = (e) => {
    e.preventDefault();
    const job = running;
    running = null;
    worker.terminate();
    startWorker();
    if (job) job.reject(new Error(`the map maker stopped: ${e.message || 'unknown error'}`));
    pump();
  };
}

function pump() {
  if (running || !queue.length) return;
  running = queue.shift();
  const { id, seed, debug, variant, what } = running;
  worker.postMessage({ id, seed, debug, variant, what });
}

// Resolves to {name, ms} and what `what` asks for (bytes, figures, preview).
function requestMap(seed, debug, variant, what, replaceable) {
  return new Promise((resolve, reject) => {
    if (replaceable) {
      for (let i = queue.length - 1; i >= 0; i--) {
        if (queue[i].replaceable) queue.splice(i, 1)[0].reject(new Cancelled());
      }
      if (running && running.replaceable) {
        running.reject(new Cancelled());
        running = null;
        worker.terminate();
        startWorker();
      }
    }
    queue.push({ id: nextId++, seed, debug: Boolean(debug), variant, what, replaceable, resolve, reject });
    pump();
  });
}

// --- The views and the panels.
let view = null;
let shown = null;  // {seed, debug, variant, bytes}

function fillTable(table, rows) {
  table.replaceChildren();
  addRows(table, rows);
}

function showPreview(pixels) {
  const canvas = $('preview');
  canvas.width = canvas.height = PREVIEW_SIZE;
  canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(pixels.buffer), PREVIEW_SIZE, PREVIEW_SIZE), 0, 0);
}

function show(seed, debug, result) {
  const { bytes, ms, name } = result;
  const variant = name.includes(':') ? name.slice(name.indexOf(':') + 1) : '';
  shown = { seed, debug, variant, bytes };
  const file = `${fileBase(seed, variant, debug)}.vxl`;
  $('download').disabled = false;
  $('download').textContent = `download ${file}`;
  $('download-vox').disabled = false;
  showPreview(result.preview);
  const figures = JSON.parse(result.figures);
  offerFigureKeys(figures);
  fillTable($('map-figures'), Object.entries(figures).map(([k, v]) => [k.replaceAll('_', ' '), String(v)]));
  $('side').hidden = false;
  const rows = [['map', `${name}${debug ? ' (start regions)' : ''}`],
    ['file', `${file}, ${(bytes.length / 1e6).toFixed(2)} MB, made in ${(ms / 1000).toFixed(2)} s`]];
  const shownNow = { seed, debug, name, ms };
  if (!webgl2) {
    fillTable($('figures'), rows);
    status('This browser has no WebGL2, so the map cannot be shown here; it can still be downloaded.', true);
    window.vormap.shown = shownNow;
    return;
  }
  if (view) view.dispose();
  view = startView($('view'), bytes, {
    onFirstPicture: (ready) => {
      fillTable($('developer-figures'), [
        ...developerFigures(view.surface),
        ['first picture', `${Math.round(ready.firstFrameMs - shownAt)} ms after the map arrived`],
      ]);
      window.vormap.shown = shownNow;
    },
  });
  const shownAt = performance.now();
  fillTable($('figures'), [...rows, ...mapFigures(view.map, view.surface)]);
  status('');
}

const addressOf = (seed, debug, variant) =>
  `#${variant ? `map=${mapName(seed, variant)}` : `seed=${seed}`}${debug ? '&d=1' : ''}${stripAddress()}`;

// Makes and shows a map: that of the controls, or `request` ({seed, debug,
// variant}, from the address, whose variant the generator has yet to check).
async function make(request = null) {
  let seed, debug, variant;
  if (request) ({ seed, debug, variant } = request);
  else {
    seed = parseSeed($('seed').value);
    if (seed === null) {
      status(`The seed must be a whole number from ${INT_MIN} to ${INT_MAX}.`, true);
      return;
    }
    debug = $('debug').checked;
    variant = controlsVariant();
  }
  status(`making map ${mapName(seed, variant)}${debug ? ' with start regions' : ''}…`);
  const before = window.vormap.shown;
  window.vormap.shown = null;
  try {
    const result = await requestMap(seed, debug, variant, ['vxl', 'figures', 'preview'], true);
    const canonical = result.name.includes(':') ? result.name.slice(result.name.indexOf(':') + 1) : '';
    $('seed').value = String(seed);
    $('debug').checked = debug;
    setControls(canonical);
    const hash = addressOf(seed, debug, canonical);
    if (location.hash !== hash) history.replaceState(null, '', hash);
    show(seed, debug, result);
    if (pendingStrip) {
      const params = pendingStrip;
      pendingStrip = null;
      stripFromAddress(params);
    }
  } catch (e) {
    if (e instanceof Cancelled) return;
    window.vormap.shown = before;  // still on screen
    if (e instanceof Refused && request) {
      status(`The address names map ${quoted(mapName(seed, variant))}, which is not a map: ${e.message}`, true);
      if (shown) history.replaceState(null, '', addressOf(shown.seed, shown.debug, shown.variant));
    } else if (e instanceof Refused) status(`The options make no map: ${e.message}`, true);
    else status(e.message, true);
  }
}

function saveFile(bytes, name) {
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

function download() {
  if (shown) saveFile(shown.bytes, `${fileBase(shown.seed, shown.variant, shown.debug)}.vxl`);
}

// The .vox file is made when asked for: a few seconds more, not wanted by most.
async function downloadVox() {
  if (!shown) return;
  const { seed, debug, variant } = shown;
  const button = $('download-vox');
  button.disabled = true;
  button.textContent = 'making the .vox file…';
  try {
    const { vox } = await requestMap(seed, debug, variant, ['vox'], false);
    saveFile(vox, `${fileBase(seed, variant, debug)}.vox`);
  } catch (e) {
    status(e.message, true);
  } finally {
    button.disabled = false;
    button.textContent = 'download .vox';
  }
}

// A value from outside, shown in a message: quoted, short.
function quoted(value) {
  const text = String(value);
  return JSON.stringify(text.length > 40 ? `${text.slice(0, 40)}…` : text);
}

// Reads the map the address names (#seed=1234&d=1, #map=1234:lake=north&d=1).
// Returns null when it names none, 'bad' when its seed is not one (said in
// the status; the address goes back to the map shown, if any, so that it
// never names another map than the one on screen), else {seed, debug,
// variant}, the variant still to be checked by the generator.
function fromAddress() {
  const params = new URLSearchParams(location.hash.slice(1));
  let text, variant = '';
  if (params.has('map')) {
    const name = params.get('map');
    const colon = name.indexOf(':');
    text = colon < 0 ? name : name.slice(0, colon);
    if (colon >= 0) variant = name.slice(colon + 1);
  } else if (params.has('seed')) text = params.get('seed');
  else return null;
  const seed = parseSeed(text);
  if (seed === null) {
    status(`The address names seed ${quoted(text)}, which is not a whole number from ${INT_MIN} to ${INT_MAX}.`, true);
    if (shown) history.replaceState(null, '', addressOf(shown.seed, shown.debug, shown.variant));
    return 'bad';
  }
  return { seed, debug: params.get('d') === '1', variant, params };
}

// --- The strip of thumbnails.
let strip = null;
let pendingStrip = null;  // the address's strip, made once its map is shown

function stripAddress() {
  if (!strip || !strip.range) return '';
  const { key, descending } = strip.order;
  const w = strip.where;
  return `&from=${strip.range.from}&count=${strip.range.count}${key !== 'seed' || descending ? `&sort=${descending ? '-' : ''}${key}` : ''}${
    w ? `&where=${w.key}${w.op}${w.value}` : ''}`;
}

function keepAddress() {
  if (shown) history.replaceState(null, '', addressOf(shown.seed, shown.debug, shown.variant));
}

function stripStatus(done, count, ms) {
  $('strip-status').textContent = `${done} of ${count} made${done ? ` in ${(ms / 1000).toFixed(1)} s` : ''} by ${strip.workerCount} worker${strip.workerCount > 1 ? 's' : ''}`;
}

function showRange(from, count) {
  $('strip-panel').hidden = false;
  document.body.classList.add('with-strip');
  strip.show(from, count, shown ? shown.variant : controlsVariant());
  keepAddress();
}

function readOrder() {
  strip.setOrder($('sort').value, $('direction').value === 'falling');
  const key = $('where-key').value, value = Number($('where-value').value);
  const text = $('where-value').value.trim();
  strip.setWhere(key && text !== '' && Number.isFinite(value) ? { key, op: $('where-op').value, value } : null);
  keepAddress();
}

// The figure keys, for sorting and filtering, from the first figures seen.
function offerFigureKeys(figures) {
  if ($('sort').options.length > 1) return;
  for (const key of Object.keys(figures)) {
    $('sort').add(new Option(key.replaceAll('_', ' '), key));
    $('where-key').add(new Option(key.replaceAll('_', ' '), key));
  }
}

function stripFromAddress(params) {
  if (!params || !params.has('from')) return;
  const from = parseSeed(params.get('from'));
  const count = Number(params.get('count') || 24);
  if (from === null || !Number.isInteger(count) || count < 1 || count > 200) {
    status(`The address names the range from ${quoted(params.get('from'))}, ${quoted(params.get('count'))} seeds: the start must be a seed, the count 1 to 200.`, true);
    return;
  }
  const sort = params.get('sort') || 'seed';
  const descending = sort.startsWith('-');
  const key = descending ? sort.slice(1) : sort;
  if ([...$('sort').options].some((o) => o.value === key)) {
    $('sort').value = key;
    $('direction').value = descending ? 'falling' : 'rising';
  }
  const where = (params.get('where') || '').match(/^(\w+)(>=|<=)(.+)$/);
  if (where && [...$('where-key').options].some((o) => o.value === where[1])) {
    $('where-key').value = where[1];
    $('where-op').value = where[2];
    $('where-value').value = where[3];
  }
  $('from').value = String(from);
  $('count').value = String(count);
  strip.order = { key: $('sort').value, descending: $('direction').value === 'falling' };
  const value = Number($('where-value').value);
  strip.where = $('where-key').value && Number.isFinite(value) ? { key: $('where-key').value, op: $('where-op').value, value } : null;
  const r = strip.range;
  // The same range: only its order and filter change.
  if (r && r.from === from && r.count === count && r.variant === shown.variant) {
    strip.arrange();
    keepAddress();
  } else showRange(from, count);
}

const randomSeed = () => crypto.getRandomValues(new Int32Array(1))[0];

// The seed beside the one in the box (wrapping around the 32-bit range).
function stepSeed(by) {
  const seed = parseSeed($('seed').value) ?? 0;
  $('seed').value = String(((seed + by - INT_MIN) % 2 ** 32 + 2 ** 32) % 2 ** 32 + INT_MIN);
  make();
}

function hasWebGL2() {
  try {
    return Boolean(document.createElement('canvas').getContext('webgl2'));
  } catch {
    return false;
  }
}
const webgl2 = hasWebGL2();

// The checks of the scripting calls: strict, so that a string, a BigInt or
// an object is not taken for a seed, nor "false" for a switch.
function checkCall(call, seed, debug, options) {
  if (typeof seed !== 'number' || !Number.isInteger(seed) || seed < INT_MIN || seed > INT_MAX) {
    throw new TypeError(`vormap.${call}: the seed must be an integer from ${INT_MIN} to ${INT_MAX}, not ${
      typeof seed === 'number' ? seed : typeof seed}`);
  }
  if (typeof debug !== 'boolean') throw new TypeError(`vormap.${call}: debug must be true or false, not ${typeof debug}`);
  if (options === undefined || options === null) return '';
  if (typeof options === 'string') return options.trim() === 'default' ? '' : options;
  if (typeof options !== 'object' || Array.isArray(options)) {
    throw new TypeError(`vormap.${call}: the options must be an object {lake, symmetry, keep, water, trees, hills} or a map name's options ("lake=north,water=1.5"), not ${
      Array.isArray(options) ? 'an array' : typeof options}`);
  }
  const parts = [];
  for (const [key, value] of Object.entries(options)) {
    if (!OPTION_KEYS.includes(key)) throw new TypeError(`vormap.${call}: unknown option ${quoted(key)} (lake, symmetry, keep, water, trees or hills)`);
    const number = key === 'water' || key === 'trees' || key === 'hills';
    if (number ? typeof value !== 'number' || !Number.isFinite(value) : typeof value !== 'string') {
      throw new TypeError(`vormap.${call}: option ${key} must be ${number ? 'a finite number' : 'a string'}, not ${typeof value}`);
    }
    parts.push(`${key}=${value}`);
  }
  // The generator reads them in any order and checks every value.
  return parts.join(',');
}

async function scripted(call, seed, debug, options, what) {
  const variant = checkCall(call, seed, debug, options);
  try {
    return await requestMap(seed === 0 ? 0 : seed, debug, variant, what, false);
  } catch (e) {
    throw e instanceof Refused ? new TypeError(`vormap.${call}: ${e.message}`) : e;
  }
}

window.vormap = {
  make: async (seed, debug = false, options = undefined) => (await scripted('make', seed, debug, options, ['vxl'])).bytes,
  figures: async (seed, debug = false, options = undefined) =>
    JSON.parse((await scripted('figures', seed, debug, options, ['figures'])).figures),
  vox: async (seed, debug = false, options = undefined) => (await scripted('vox', seed, debug, options, ['vox'])).vox,
  shown: null,
};

function main() {
  $('controls').addEventListener('submit', (e) => {
    e.preventDefault();
    make();
  });
  $('random').addEventListener('click', () => {
    $('seed').value = String(randomSeed());
    make();
  });
  $('previous').addEventListener('click', () => stepSeed(-1));
  $('next').addEventListener('click', () => stepSeed(1));
  $('symmetry').addEventListener('change', () => { $('keep').disabled = $('symmetry').value === 'none'; });
  $('download').addEventListener('click', download);
  $('download-vox').addEventListener('click', downloadVox);
  strip = new ThumbnailStrip(workerUrl, $('strip'), {
    onOpen: (seed) => {
      $('seed').value = String(seed);
      setControls(strip.range.variant);
      make();
    },
    onProgress: stripStatus,
  });
  window.vormap.strip = strip;
  $('range').addEventListener('submit', (e) => {
    e.preventDefault();
    const text = $('from').value.trim();
    const from = text === '' ? (shown ? shown.seed : parseSeed($('seed').value)) : parseSeed(text);
    const count = Number($('count').value);
    if (from === null || !Number.isInteger(count) || count < 1 || count > 200) {
      status(`The range must start at a seed from ${INT_MIN} to ${INT_MAX} and hold 1 to 200 seeds.`, true);
      return;
    }
    showRange(from, count);
  });
  for (const id of ['sort', 'direction', 'where-key', 'where-op']) $(id).addEventListener('change', readOrder);
  $('where-value').addEventListener('input', readOrder);
  window.addEventListener('hashchange', () => {
    const request = fromAddress();
    if (!request || request === 'bad') return;
    // The map shown, with another range, order or filter: the strip alone changes.
    if (shown && request.seed === shown.seed && request.debug === shown.debug && request.variant === shown.variant) {
      stripFromAddress(request.params);
      return;
    }
    pendingStrip = request.params.has('from') ? request.params : null;
    make(request);
  });
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement || e.target instanceof HTMLSelectElement || e.ctrlKey || e.metaKey || e.altKey) return;
    const key = e.key.toLowerCase();
    if (key === 'h') for (const id of ['panel', 'side', 'strip-panel']) $(id).classList.toggle('hidden');
    else if (key === 'n') stepSeed(1);
    else if (key === 'p') stepSeed(-1);
    else if (key === 'r') $('random').click();
  });
  if (typeof WebAssembly !== 'object') {
    status('This browser cannot run WebAssembly, which the page needs to make maps.', true);
    for (const id of ['make', 'random', 'previous', 'next']) $(id).disabled = true;
    return;
  }
  startWorker();
  const request = fromAddress();
  if (request === 'bad') return;  // the message stays; nothing is made
  if (request) {
    pendingStrip = request.params;
    make(request);
  }
  else {
    $('seed').value = String(randomSeed());
    make();
  }
}

main();
