// The gallery page in headless Chromium: makes a small gallery with the
// built vxltool, opens its index.html from disk and checks the cards, the
// sorting, the filter, the links and the preview viewer. Fails on any
// console error.
//
//   node gallery_page.test.mjs VXLTOOL [--seeds LIST] [--keep DIR] [--screenshot PNG]
//
// --keep makes the gallery in DIR and leaves it there; --screenshot saves a
// picture of the page (the README's is made this way with more seeds).
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { openPage, failOnErrors } from './browser.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const at = args.indexOf(name);
  return at < 0 ? fallback : args[at + 1];
};
const vxltool = args[0];
if (!vxltool || !fs.existsSync(vxltool)) {
  console.error('usage: node gallery_page.test.mjs VXLTOOL [--seeds LIST] [--keep DIR] [--screenshot PNG]');
  process.exit(2);
}
const seeds = option('--seeds', '-1-2');
// In the default gallery seed 2 fails (a stand-in for vormap fails it with a
// message full of markup, which must reach the page as text), so the page
// lists a failure too.
const failing = option('--seeds', null) === null ? 2 : null;
const keep = option('--keep', null);
const screenshot = option('--screenshot', null);
const dir = keep ?? fs.mkdtempSync(path.join(os.tmpdir(), 'vormap-gallery-page-'));

let browser;
try {
  fs.mkdirSync(dir, { recursive: true });
  const vormapOption = [];
  if (failing !== null) {
    const real = process.env.VORMAP_EXE;
    assert.ok(real && fs.existsSync(real), 'VORMAP_EXE names the built vormap');
    const fake = path.join(os.tmpdir(), `vormap-gallery-page-fake-${process.pid}`);
    fs.writeFileSync(fake, `#!/bin/sh\nif [ "$2" = ${failing} ]; then echo "vormap: </script><!--<script>&amp; broke" >&2; exit 1; fi\n` +
      `exec '${real}' "$@"\n`, { mode: 0o755 });
    vormapOption.push('--vormap', fake);
    process.on('exit', () => fs.rmSync(fake, { force: true }));
  }
  const run = () => spawnSync(vxltool, ['gallery', '--jobs', '2', ...vormapOption, seeds, dir], { encoding: 'utf8' });
  const first = run();
  assert.equal(first.status, failing === null ? 0 : 1, first.stderr);
  const opened = await openPage(pathToFileURL(path.join(dir, 'index.html')).href, { width: 1280, height: 900 });
  browser = opened.browser;
  const { page, errors } = opened;

  const cards = () => page.$$eval('#cards .card', (list) => list.map((c) => ({
    seed: Number(c.dataset.seed), water: c.map.figures.water_percent, trees: c.map.figures.trees,
    fairness: c.map.figures.fairness, hidden: c.hidden,
    href: c.querySelector('a.open').href, thumbnail: c.querySelector('img').src,
    command: c.querySelector('.command code').textContent,
    team: [...c.querySelectorAll('table.teams td')].map((td) => td.dataset.figure),
  })));

  // Every seed that did not fail has its card, with its command, its
  // thumbnail and a link to a file that exists.
  const second = run();
  assert.match(second.stdout, /\(0 made/, 'a second run keeps every map');
  const all = await cards();
  const expected = fs.readdirSync(dir).filter((f) => /^-?\d+\.vxl$/.test(f)).map((f) => Number(f.slice(0, -4)))
    .filter((seed) => seed !== failing);
  assert.deepEqual(all.map((c) => c.seed).sort((a, b) => a - b), expected.sort((a, b) => a - b));
  assert.ok(all.length >= 3, `a gallery of at least 3 maps, not ${all.length}`);
  for (const card of all) {
    assert.equal(card.command, `vormap -s ${card.seed} -o ${card.seed}.vxl`);
    assert.ok(fs.existsSync(fileURLToPath(card.href)), `seed ${card.seed} links to ${card.href}, which is missing`);
    const target = path.basename(fileURLToPath(card.href));
    // Every map gets its 3D page, and the card opens it.
    assert.equal(target, `${card.seed}.html`, `seed ${card.seed}'s card opens ${target}`);
  }
  // Thumbnails load lazily: wait until every one is in, then check them.
  await page.waitForFunction(() => [...document.querySelectorAll('#cards img')].every((i) => i.complete));
  const widths = await page.$$eval('#cards img', (list) => list.map((i) => i.naturalWidth));
  for (const width of widths) assert.equal(width, 128, 'a thumbnail is 128 pixels wide');

  // The failed seed is listed with its reason and command.
  if (failing !== null) {
    const failed = await page.$eval('#failed', (f) => ({ hidden: f.hidden, text: f.textContent }));
    assert.ok(!failed.hidden, 'the failures are shown');
    assert.ok(failed.text.includes(`seed ${failing}: vormap ended with status 1: vormap: </script><!--<script>&amp; broke`),
      failed.text);
    assert.match(failed.text, new RegExp(`vormap -s ${failing} -o ${failing}\\.vxl`));
  }

  // Each card shows both start areas' figures side by side.
  for (const card of all)
    assert.deepEqual(card.team, ['water_percent', 'mean_height', 'flat_percent', 'mean_slope', 'cover']
      .flatMap((k) => [`blue_${k}`, `green_${k}`]), `seed ${card.seed}'s team figures`);
  // figures.csv and figures.json beside the page hold every card's figures.
  const csv = fs.readFileSync(path.join(dir, 'figures.csv'), 'utf8').trim().split('\n');
  const json = JSON.parse(fs.readFileSync(path.join(dir, 'figures.json'), 'utf8'));
  assert.equal(csv.length, all.length + 1);
  assert.deepEqual(json.map((r) => r.seed).sort(), all.map((c) => c.seed).sort());
  for (const card of all) assert.equal(json.find((r) => r.seed === card.seed).water_percent, card.water);

  // Sorting by any figure orders the cards by it, both ways.
  await page.select('#sort-key', 'water_percent');
  const up = (await cards()).map((c) => c.water);
  assert.deepEqual(up, [...up].sort((a, b) => a - b), 'ascending water share');
  await page.click('#sort-direction');
  const down = (await cards()).map((c) => c.water);
  assert.deepEqual(down, [...up].sort((a, b) => b - a), 'descending water share');
  assert.ok(new Set(up).size > 1, 'the maps differ in water share');
  await page.select('#sort-key', 'fairness');
  const fair = (await cards()).map((c) => c.fairness);
  assert.deepEqual(fair, [...fair].sort((a, b) => b - a), 'descending fairness');

  // Two filters at once show only the cards inside both ranges.
  const middle = [...up].sort((a, b) => a - b)[Math.floor(up.length / 2)];
  const trees = (await cards()).map((c) => c.trees).sort((a, b) => a - b);
  const most = trees[trees.length - 1];
  await page.click('#filter-add');
  await page.select('.filter:nth-of-type(1) .filter-key', 'water_percent');
  await page.type('.filter:nth-of-type(1) .filter-min', String(middle));
  await page.click('#filter-add');
  await page.select('.filter:nth-of-type(2) .filter-key', 'trees');
  await page.type('.filter:nth-of-type(2) .filter-max', String(most - 1));
  const filtered = await cards();
  assert.deepEqual(filtered.map((c) => c.seed).sort(),
    all.filter((c) => c.water >= middle && c.trees <= most - 1).map((c) => c.seed).sort());
  assert.ok(filtered.length < all.length, 'the filters leave out a card');
  // The filters live in the address, so a reload keeps them.
  assert.match(await page.evaluate(() => location.hash), /filter=water_percent%3A.*filter=trees%3A/);
  await page.click('#filter-clear');
  assert.equal((await cards()).length, all.length, 'clearing the filters shows every card');

  // An address can only set what the filter boxes show: values a number box
  // cannot hold become open ends, and an absurd number of items is cut to a
  // few, quickly.
  const pageUrl = pathToFileURL(path.join(dir, 'index.html')).href;
  const hostile = ['fairness:0x1:', 'trees: 1:', 'water_percent:1e400:', 'trees:+5:', 'trees:1.:', 'mean_height::Infinity',
    ...Array.from({ length: 20000 }, () => 'fairness:0:1')].map((f) => `filter=${encodeURIComponent(f)}`).join('&');
  const started = Date.now();
  await page.goto(`${pageUrl}#${hostile}`);
  await page.reload();
  await page.waitForFunction(() => document.querySelectorAll('#cards .card').length > 0);
  assert.ok(Date.now() - started < 10000, `the page took ${Date.now() - started} ms over 20,000 filters`);
  const boxes = await page.$$eval('.filter', (rows) => rows.map((r) => [r.querySelector('.filter-key').value,
    r.querySelector('.filter-min').value, r.querySelector('.filter-max').value]));
  assert.equal(boxes.length, 32, 'the filters are cut to 32');
  assert.deepEqual(boxes.slice(0, 7), [['fairness', '', ''], ['trees', '', ''], ['water_percent', '', ''], ['trees', '', ''],
    ['trees', '', ''], ['mean_height', '', ''], ['fairness', '0', '1']]);
  assert.equal((await cards()).length, all.filter((c) => c.fairness >= 0 && c.fairness <= 1).length,
    'what is shown is what the boxes say');
  await page.click('#filter-clear');

  // A card's preview link opens its large preview in the viewer.
  const other = (await cards())[0];
  await page.click(`#cards .card[data-seed="${other.seed}"] a.preview`);
  await page.waitForFunction(() => {
    const img = document.getElementById('viewer-image');
    return document.getElementById('viewer').open && img.complete && img.naturalWidth > 0;
  });
  assert.equal(await page.$eval('#viewer-image', (i) => i.naturalWidth), 512);
  assert.equal(await page.$eval('#viewer-command', (c) => c.textContent), other.command);
  if (screenshot) {
    await page.keyboard.press('Escape');
    await page.select('#sort-key', 'fairness');
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({ path: screenshot });
  }
  failOnErrors(errors);
  console.log(`gallery page: ${all.length} cards, team figures, figure files, sorting, filters, links and viewer work`);

  // The largest gallery, 100,000 maps (the page of this one with made-up
  // figures): only a page of cards is made at a time, scrolling to the end
  // adds the next, and sorting orders all of them.
  const maximum = 100000;
  const html = fs.readFileSync(path.join(dir, 'index.html'), 'utf8');
  const block = /(<script type="application\/json" id="gallery-data">)([^<]*)(<\/script>)/;
  const real = JSON.parse(html.match(block)[2]);
  const model = real.seeds[0];
  const at = (key) => 2 + real.figureTable.findIndex((f) => f.key === key);
  let random = 12345;
  const next = () => { random = (random * 1103515245 + 12345) % 2147483648; return random / 2147483648; };
  const big = { ...real, failed: [], seeds: Array.from({ length: maximum }, (_, seed) => {
    const row = [...model];
    row[0] = seed;
    row[at('water_percent')] = Math.round(next() * 10000) / 100;
    row[at('trees')] = Math.floor(next() * 5000);
    return row;
  }) };
  fs.writeFileSync(path.join(dir, 'big.html'), html.replace(block, (_, open, __, close) => open + JSON.stringify(big) + close));
  const bigPage = await browser.newPage();
  const bigErrors = [];
  // The made-up maps have no pictures: only their missing files may fail.
  bigPage.on('console', (m) => {
    if (m.type() === 'error' && !/ERR_FILE_NOT_FOUND/.test(m.text())) bigErrors.push(`console: ${m.text()}`);
  });
  bigPage.on('pageerror', (e) => bigErrors.push(`page error: ${e.message}`));
  await bigPage.setViewport({ width: 1280, height: 900 });
  await bigPage.goto(pathToFileURL(path.join(dir, 'big.html')).href, { waitUntil: 'load' });
  const loadMs = await bigPage.evaluate(() => performance.getEntriesByType('navigation')[0].loadEventEnd);
  assert.equal(await bigPage.$eval('#shown', (e) => e.textContent), `${maximum} of ${maximum} shown`);
  const madeCards = () => bigPage.$$eval('#cards .card', (list) => list.length);
  const firstCards = await madeCards();
  assert.ok(firstCards > 0 && firstCards < 1000, `${firstCards} cards made at first`);
  await bigPage.evaluate(() => window.scrollTo(0, document.body.scrollHeight));
  await bigPage.waitForFunction((n) => document.querySelectorAll("#cards .card").length > n, {}, firstCards);
  const sortMs = await bigPage.evaluate(async () => {
    const t0 = performance.now();
    const select = document.getElementById('sort-key');
    select.value = 'water_percent';
    select.dispatchEvent(new Event('change'));
    await new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve)));
    return performance.now() - t0;
  });
  const waters = await bigPage.$$eval('#cards .card', (list) => list.map((c) => c.map.figures.water_percent));
  assert.ok(waters.length < 1000, `${waters.length} cards made after sorting`);
  assert.deepEqual(waters, [...waters].sort((a, b) => a - b), 'sorted by water share');
  assert.equal(waters[0], Math.min(...big.seeds.map((row) => row[at('water_percent')])), 'the least water of all maps comes first');
  failOnErrors(bigErrors);
  console.log(`gallery page of ${maximum} maps: loaded in ${loadMs.toFixed(0)} ms, ${firstCards} cards made; sorted in ${sortMs.toFixed(0)} ms`);
} finally {
  if (browser) await browser.close();
  if (!keep) fs.rmSync(dir, { recursive: true, force: true });
}
