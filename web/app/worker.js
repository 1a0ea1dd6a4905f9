// Makes maps off the page's thread: one request at a time, with the
// generator compiled to WebAssembly. Receives {id, seed, debug, variant,
// what} (variant: the options part of a map name, "" for the specified map;
// what: a list of 'vxl', 'figures', 'preview', 'thumbnail', 'vox'); answers
// {id, name, ms} with what was asked for (bytes: the map file; figures: the
// figures' JSON text; preview: 512 x 512 RGBA pixels; thumbnail: 128 x 128;
// vox: the .vox file),
// or {id, error, refused} (a sentence for
// the page; refused when the map's name or options are wrong).
import createVormapModule from 'vormap-wasm';

const MAKE = { vxl: 1, figures: 2, preview: 4, thumbnail: 8, vox: 16 };
let module = null;

function describe(e) {
  const text = String((e && e.message) || e);
  // The module is built without C++ exception support: the one exception
  // the generator throws (std::bad_alloc) arrives as a bare number.
  if (typeof e === 'number' || e instanceof RangeError || /memory|Aborted|OOM/i.test(text))
    return 'out of memory: the browser did not give the page the memory a map needs (about 200 MB); close other tabs and try again';
  return `the map could not be made: ${text}`;
}

const copy = (m, at, size) => m.HEAPU8.slice(at, at + size);

self.onmessage = async ({ data: { id, seed, debug, variant = '', what = ['vxl'] } }) => {
  try {
    if (typeof WebAssembly !== 'object') throw new Error('this browser cannot run WebAssembly');
    module ??= createVormapModule();
    const m = await module;
    const t0 = performance.now();
    const flags = what.reduce((f, w) => f | MAKE[w], 0);
    const name = variant ? `${seed}:${variant}` : String(seed);
    const ok = m.ccall('vormap_make_map', 'number', ['string', 'number', 'number'], [name, debug ? 1 : 0, flags]);
    if (!ok) {
      self.postMessage({ id, error: m.UTF8ToString(m._vormap_text()), refused: true });
      return;
    }
    const answer = { id, name: m.UTF8ToString(m._vormap_name()) };
    const transfer = [];
    if (flags & MAKE.vxl) {
      answer.bytes = copy(m, m._vormap_vxl_data(), m._vormap_vxl_size());
      transfer.push(answer.bytes.buffer);
    }
    if (flags & MAKE.figures) answer.figures = m.UTF8ToString(m._vormap_text());
    if (flags & MAKE.preview) {
      answer.preview = copy(m, m._vormap_preview_data(), m._vormap_preview_size());
      transfer.push(answer.preview.buffer);
    }
    if (flags & MAKE.thumbnail) {
      answer.thumbnail = copy(m, m._vormap_thumbnail_data(), m._vormap_thumbnail_size());
      transfer.push(answer.thumbnail.buffer);
    }
    if (flags & MAKE.vox) {
      answer.vox = copy(m, m._vormap_vox_data(), m._vormap_vox_size());
      transfer.push(answer.vox.buffer);
    }
    answer.ms = performance.now() - t0;
    self.postMessage(answer, transfer);
  } catch (e) {
    module = null;  // an aborted module cannot be used again
    self.postMessage({ id, error: describe(e) });
  }
};
