// Makes maps off the page's thread: one request at a time, with the
// generator compiled to WebAssembly. Receives {id, seed, debug}; answers
// {id, bytes, ms} (the map file) or {id, error} (a sentence for the page).
import createVormapModule from 'vormap-wasm';

let module = null;

function describe(e) {
  const text = String((e && e.message) || e);
  // The module is built without C++ exception support: the one exception
  // the generator throws (std::bad_alloc) arrives as a bare number.
  if (typeof e === 'number' || e instanceof RangeError || /memory|Aborted|OOM/i.test(text))
    return 'out of memory: the browser did not give the page the memory a map needs (about 200 MB); close other tabs and try again';
  return `the map could not be made: ${text}`;
}

self.onmessage = async ({ data: { id, seed, debug } }) => {
  try {
    if (typeof WebAssembly !== 'object') throw new Error('this browser cannot run WebAssembly');
    module ??= createVormapModule();
    const m = await module;
    const t0 = performance.now();
    const at = m._vormap_make(seed, debug ? 1 : 0);
    const bytes = m.HEAPU8.slice(at, at + m._vormap_result_size());
    self.postMessage({ id, bytes, ms: performance.now() - t0 }, [bytes.buffer]);
  } catch (e) {
    module = null;  // an aborted module cannot be used again
    self.postMessage({ id, error: describe(e) });
  }
};
