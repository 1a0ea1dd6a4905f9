// Time to make a map in the page (headless Chromium, one worker) against the
// native generator on one thread (VORMAP_THREADS=1), as a ratio, in one run;
// and the page's size. Runs alternate between the two so that both see the
// same load on the machine.
//
//   node bench/web_make.mjs build/release/bin/vormap build/web/index.html [ROUNDS]
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { openPage } from '../tests/browser/browser.mjs';

const [vormap, indexHtml, roundsArg] = process.argv.slice(2);
if (!vormap || !indexHtml) {
  console.error('usage: web_make.mjs VORMAP INDEX_HTML [ROUNDS]');
  process.exit(2);
}
const rounds = Number(roundsArg || 5);
const seeds = [1234, -77, 2024, 31337, -2147483648, 0, 99, 5, 6, 7].slice(0, rounds);
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vormap-bench-'));
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

const { browser, page } = await openPage(`${pathToFileURL(path.resolve(indexHtml)).href}#seed=1`, { timeout: 300000 });
try {
  // The first map also compiles the WebAssembly; it is not counted.
  await page.waitForFunction(() => window.vormap.shown, { timeout: 300000 });
  const web = [], native = [];
  for (const seed of seeds) {
    web.push(await page.evaluate(async (s) => {
      const t0 = performance.now();
      await window.vormap.make(s, false);
      return performance.now() - t0;
    }, seed));
    const t0 = performance.now();
    execFileSync(vormap, ['-s', String(seed), '-o', path.join(dir, 'm.vxl')],
                 { stdio: 'ignore', env: { ...process.env, VORMAP_THREADS: '1' } });
    native.push(performance.now() - t0);
    console.log(`seed ${seed}: page ${web.at(-1).toFixed(0)} ms, native ${native.at(-1).toFixed(0)} ms`);
  }
  const w = median(web), n = median(native);
  console.log(`median of ${seeds.length}: page ${w.toFixed(0)} ms, native (1 thread) ${n.toFixed(0)} ms, ratio ${(w / n).toFixed(2)}`);
  console.log(`page size: ${fs.statSync(indexHtml).size} bytes`);
} finally {
  await browser.close();
  fs.rmSync(dir, { recursive: true, force: true });
}
