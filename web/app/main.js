// The map maker's page: makes the map of a seed in a Web Worker (the
// generator compiled to WebAssembly), shows it in the 3D view, and offers
// the map file for download, byte for byte what `vormap -s SEED` writes.
//
// window.vormap.make(seed, debug) returns a Promise of the map file's bytes,
// made as the "make" button makes them; seed is an integer Number in the
// 32-bit range and debug a boolean, anything else a TypeError. The address
// keeps the map shown (#seed=1234&d=1); an address whose seed is no seed is
// refused with a message, never read as another map. window.vormap.shown is
// {seed, debug, ms} once a map is on screen.
/* global VORMAP_WORKER_SOURCE */
import { startView } from '../view/viewer.js';
import { mapFigures, developerFigures, addRows } from '../view/figures.js';

const $ = (id) => document.getElementById(id);
const INT_MIN = -2147483648, INT_MAX = 2147483647;

class Cancelled extends Error {}

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
    if (data.error) job.reject(new Error(data.error));
    else job.resolve({ bytes: data.bytes, ms: data.ms });
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
  worker.postMessage({ id: running.id, seed: running.seed, debug: running.debug });
}

function requestMap(seed, debug, replaceable) {
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
    queue.push({ id: nextId++, seed, debug: Boolean(debug), replaceable, resolve, reject });
    pump();
  });
}

// --- The view and the panel.
let view = null;
let shown = null;  // {seed, debug, bytes}

function fillTable(table, rows) {
  table.replaceChildren();
  addRows(table, rows);
}

function show(seed, debug, bytes, ms) {
  shown = { seed, debug, bytes };
  const name = `${seed}${debug ? '-d' : ''}.vxl`;
  $('download').disabled = false;
  $('download').textContent = `download ${name}`;
  const rows = [['map', `${name}, ${(bytes.length / 1e6).toFixed(2)} MB, made in ${(ms / 1000).toFixed(2)} s`]];
  if (!webgl2) {
    fillTable($('figures'), rows);
    status('This browser has no WebGL2, so the map cannot be shown here; it can still be downloaded.', true);
    window.vormap.shown = { seed, debug, ms };
    return;
  }
  if (view) view.dispose();
  view = startView($('view'), bytes, {
    onFirstPicture: (ready) => {
      fillTable($('developer-figures'), [
        ...developerFigures(view.surface),
        ['first picture', `${Math.round(ready.firstFrameMs - shownAt)} ms after the map arrived`],
      ]);
      window.vormap.shown = { seed, debug, ms };
    },
  });
  const shownAt = performance.now();
  fillTable($('figures'), [...rows, ...mapFigures(view.map, view.surface)]);
  status('');
}

async function make(fromAddress = false) {
  const seed = parseSeed($('seed').value);
  if (seed === null) {
    status(`The seed must be a whole number from ${INT_MIN} to ${INT_MAX}.`, true);
    return;
  }
  const debug = $('debug').checked;
  const hash = addressOf(seed, debug);
  if (!fromAddress && location.hash !== hash) history.replaceState(null, '', hash);
  status(`making the map of seed ${seed}${debug ? ' with start regions' : ''}…`);
  window.vormap.shown = null;
  try {
    const { bytes, ms } = await requestMap(seed, debug, true);
    show(seed, debug, bytes, ms);
  } catch (e) {
    if (!(e instanceof Cancelled)) status(e.message, true);
  }
}

function download() {
  if (!shown) return;
  const url = URL.createObjectURL(new Blob([shown.bytes], { type: 'application/octet-stream' }));
  const a = document.createElement('a');
  a.href = url;
  a.download = `${shown.seed}${shown.debug ? '-d' : ''}.vxl`;
  document.body.appendChild(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// A value from outside, shown in a message: quoted, short.
function quoted(value) {
  const text = String(value);
  return JSON.stringify(text.length > 40 ? `${text.slice(0, 40)}…` : text);
}

const addressOf = (seed, debug) => `#seed=${seed}${debug ? '&d=1' : ''}`;

// Reads the seed and switch of the address (#seed=1234&d=1) into the boxes.
// Returns 'none' when the address names no seed and 'bad' when its seed is
// not one (said in the status; the address goes back to the map shown, if
// any, so that it never names another map than the one on screen).
function fromAddress() {
  const params = new URLSearchParams(location.hash.slice(1));
  if (!params.has('seed')) return 'none';
  const text = params.get('seed');
  const seed = parseSeed(text);
  if (seed === null) {
    status(`The address names seed ${quoted(text)}, which is not a whole number from ${INT_MIN} to ${INT_MAX}.`, true);
    if (shown) history.replaceState(null, '', addressOf(shown.seed, shown.debug));
    return 'bad';
  }
  $('seed').value = String(seed);
  $('debug').checked = params.get('d') === '1';
  return 'ok';
}

const randomSeed = () => crypto.getRandomValues(new Int32Array(1))[0];

function hasWebGL2() {
  try {
    return Boolean(document.createElement('canvas').getContext('webgl2'));
  } catch {
    return false;
  }
}
const webgl2 = hasWebGL2();

window.vormap = {
  // Strict: a string, a BigInt or an object is not taken for a seed, nor
  // "false" for a switch.
  make: async (seed, debug = false) => {
    if (typeof seed !== 'number' || !Number.isInteger(seed) || seed < INT_MIN || seed > INT_MAX) {
      throw new TypeError(`vormap.make: the seed must be an integer from ${INT_MIN} to ${INT_MAX}, not ${
        typeof seed === 'number' ? seed : typeof seed}`);
    }
    if (typeof debug !== 'boolean') throw new TypeError(`vormap.make: debug must be true or false, not ${typeof debug}`);
    return (await requestMap(seed === 0 ? 0 : seed, debug, false)).bytes;
  },
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
  $('download').addEventListener('click', download);
  window.addEventListener('hashchange', () => { if (fromAddress() === 'ok') make(true); });
  window.addEventListener('keydown', (e) => {
    if (e.target instanceof HTMLInputElement) return;
    if (e.key === 'h' || e.key === 'H') $('panel').classList.toggle('hidden');
  });
  if (typeof WebAssembly !== 'object') {
    status('This browser cannot run WebAssembly, which the page needs to make maps.', true);
    for (const id of ['make', 'random']) $(id).disabled = true;
    return;
  }
  startWorker();
  const address = fromAddress();
  if (address === 'bad') return;  // the message stays; nothing is made
  if (address === 'none') $('seed').value = String(randomSeed());
  make(true);
}

main();
