// Time to make a map in the page (headless Chromium, one worker) against the
// native generator on one thread (VORMAP_THREADS=1), as a ratio, in one run;
// the same for a map's figures (the page's vormap.figures against vormap and
// vxltool info --json); the time the strip takes for 24 thumbnails against
// 24 maps in the page shared among its workers, and the longest task on the
// page's thread meanwhile; and the page's size. Runs alternate between the
// page and native so that both see the same load on the machine.
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
  // Milliseconds one call of window.vormap (make or figures) takes for a seed.
  const timeInPage = (call, seed) => page.evaluate(async (c, s) => {
    const t0 = performance.now();
    await window.vormap[c](s, false);
    return performance.now() - t0;
  }, call, seed);
  const web = [], native = [];
  for (const seed of seeds) {
    web.push(await timeInPage('make', seed));
    const t0 = performance.now();
    execFileSync(vormap, ['-s', String(seed), '-o', path.join(dir, 'm.vxl')],
                 { stdio: 'ignore', env: { ...process.env, VORMAP_THREADS: '1' } });
    native.push(performance.now() - t0);
    console.log(`seed ${seed}: page ${web.at(-1).toFixed(0)} ms, native ${native.at(-1).toFixed(0)} ms`);
  }
  const w = median(web), n = median(native);
  console.log(`median of ${seeds.length}: page ${w.toFixed(0)} ms, native (1 thread) ${n.toFixed(0)} ms, ratio ${(w / n).toFixed(2)}`);

  const webFigures = [], nativeFigures = [];
  for (const seed of seeds) {
    webFigures.push(await timeInPage('figures', seed));
    const t0 = performance.now();
    const file = path.join(dir, 'm.vxl');
    execFileSync(vormap, ['-s', String(seed), '-o', file], { stdio: 'ignore', env: { ...process.env, VORMAP_THREADS: '1' } });
    execFileSync(path.join(path.dirname(vormap), 'vxltool'), ['info', '--json', file], { stdio: 'ignore' });
    nativeFigures.push(performance.now() - t0);
  }
  const wf = median(webFigures), nf = median(nativeFigures);
  console.log(`figures, median of ${seeds.length}: page ${wf.toFixed(0)} ms, native (vormap on 1 thread, then vxltool info) ${nf.toFixed(0)} ms, ratio ${(wf / nf).toFixed(2)}`);

  // 24 thumbnails; the page's thread watched for long tasks meanwhile.
  const strip = await page.evaluate(async () => {
    let longest = 0;
    const observer = new PerformanceObserver((list) => {
      for (const e of list.getEntries()) longest = Math.max(longest, e.duration);
    });
    observer.observe({ type: 'longtask' });
    const t0 = performance.now();
    location.hash = `${location.hash.split('&from=')[0]}&from=1000&count=24`;
    await new Promise((resolve) => {
      const poll = () => {
        const s = window.vormap.strip;
        if (s.range && s.range.from === 1000 && s.cards.length === 24 && s.cards.every((c) => c.figures)) resolve();
        else setTimeout(poll, 50);
      };
      poll();
    });
    observer.disconnect();
    return { ms: performance.now() - t0, workers: window.vormap.strip.workerCount, longest };
  });
  const bound = (24 * w) / strip.workers * 1.2;
  console.log(`24 thumbnails: ${strip.ms.toFixed(0)} ms with ${strip.workers} worker(s) ` +
              `(24 x one map / workers x 1.2 = ${bound.toFixed(0)} ms, ratio ${(strip.ms / bound).toFixed(2)}); ` +
              `longest task on the page's thread ${strip.longest.toFixed(0)} ms`);
  console.log(`page size: ${fs.statSync(indexHtml).size} bytes`);
} finally {
  await browser.close();
  fs.rmSync(dir, { recursive: true, force: true });
}
