// Bundles the map maker's page into one self-contained HTML file: the worker
// (with the WebAssembly module inside its script) as a string in the page's
// script, the page's script and styles inside the page.
//
//   node web/app/build.mjs build/web/wasm/vormap.js build/web/index.html
import * as esbuild from 'esbuild';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const [wasmScript, out] = process.argv.slice(2);
if (!wasmScript || !out) {
  console.error('usage: build.mjs VORMAP_WASM_JS OUT_HTML');
  process.exit(2);
}
const here = path.dirname(fileURLToPath(import.meta.url));
const fail = (why) => { console.error(`build.mjs: ${why}`); process.exit(1); };
if (!fs.existsSync(wasmScript)) fail(`${wasmScript} is missing: build web/wasm first`);

const wasmPlugin = {
  name: 'vormap-wasm',
  setup(build) {
    build.onResolve({ filter: /^vormap-wasm$/ }, () => ({ path: path.resolve(wasmScript) }));
  },
};
const common = { bundle: true, format: 'iife', minify: true, write: false, logLevel: 'warning',
                 target: 'es2020', legalComments: 'none' };
const worker = await esbuild.build({ ...common, entryPoints: [path.join(here, 'worker.js')], plugins: [wasmPlugin],
                                     // emscripten's loader names Node modules it never loads in a browser
                                     external: ['fs', 'path', 'crypto', 'ws'] });
const page = await esbuild.build({
  ...common,
  entryPoints: [path.join(here, 'main.js')],
  define: { VORMAP_WORKER_SOURCE: JSON.stringify(worker.outputFiles[0].text) },
});
const script = page.outputFiles[0].text;
if (/<\/script/i.test(script)) fail('the bundled script contains "</script"');
const template = fs.readFileSync(path.join(here, 'index.html'), 'utf8');
const html = template.replace('@SCRIPT@', () => script);
fs.mkdirSync(path.dirname(out), { recursive: true });
fs.writeFileSync(`${out}.tmp`, html);
fs.renameSync(`${out}.tmp`, out);
console.error(`wrote ${out} (${(html.length / 1e6).toFixed(2)} MB)`);
