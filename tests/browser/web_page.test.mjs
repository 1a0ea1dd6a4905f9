// The map maker's page (make web) in headless Chromium: the maps it makes
// are the native generator's, byte for byte, for the pinned command lines
// (variants too) and for seeds drawn anew each run (printed); its figures are
// vxltool info's; the page asks for nothing outside itself; the buttons, the
// keys, the address and the download work.
//
//   node web_page.test.mjs VORMAP INDEX_HTML PINNED_MAPS_TXT
// (vxltool is taken from beside VORMAP.)
//
// A screenshot is kept in the current folder (web-page.png).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { openPage, failOnErrors } from './browser.mjs';

const [vormap, indexHtml, pinnedMaps] = process.argv.slice(2);
if (!vormap || !indexHtml || !pinnedMaps) throw new Error('usage: web_page.test.mjs VORMAP INDEX_HTML PINNED_MAPS_TXT');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vormap-web-'));
const downloads = path.join(dir, 'downloads');
fs.mkdirSync(downloads);
const pageUrl = pathToFileURL(path.resolve(indexHtml)).href;
const sha256 = (bytes) => crypto.createHash('sha256').update(bytes).digest('hex');

const vxltool = path.join(path.dirname(vormap), 'vxltool');
const optionArgs = (options = {}) => Object.entries(options).flatMap(([k, v]) => [`--${k}`, String(v)]);

function nativeMap(seed, debug, options) {
  const out = path.join(dir, 'native.vxl');
  execFileSync(vormap, ['-s', String(seed), ...(debug ? ['-d'] : []), ...optionArgs(options), '-o', out], { stdio: 'ignore' });
  return fs.readFileSync(out);
}

// vxltool to-vox of the native map.
function nativeVox(seed, debug, options) {
  nativeMap(seed, debug, options);
  const out = path.join(dir, 'native.vox');
  execFileSync(vxltool, ['to-vox', path.join(dir, 'native.vxl'), out], { stdio: 'ignore' });
  return fs.readFileSync(out);
}

// vxltool info --json of the native map, without the file's name and size.
function nativeFigures(seed, debug, options) {
  nativeMap(seed, debug, options);
  const { file, size, ...figures } = JSON.parse(execFileSync(vxltool, ['info', '--json', path.join(dir, 'native.vxl')], { encoding: 'utf8' }));
  assert.ok(file && size);
  return figures;
}

// A pinned command line: -s SEED, -d and the map options (--lake north ...).
function readPinned(line) {
  const m = line.match(/^([0-9a-f]{64})\s+(-s .*?)\s*$/);
  if (!m) return null;
  const args = m[2].split(/\s+/);
  const c = { pinned: m[1], debug: false, options: {}, line: m[2] };
  for (let i = 0; i < args.length; i++) {
    if (args[i] === '-s') c.seed = Number(args[++i]);
    else if (args[i] === '-d') c.debug = true;
    else if (args[i].startsWith('--')) {
      const key = args[i].slice(2);
      c.options[key] = ['water', 'trees', 'hills'].includes(key) ? Number(args[++i]) : args[++i];
    } else throw new Error(`unread pinned command line: ${m[2]}`);
  }
  return c;
}

let browser, page, errors;
const leaks = [];

before(async () => {
  ({ browser, page, errors } = await openPage(`${pageUrl}#seed=7&d=1`, {
    width: 1100, height: 760, timeout: 180000,
    beforeLoad: async (p) => {
      // Everything the page needs is inside it: any other request is a fault.
      await p.setRequestInterception(true);
      p.on('request', (r) => {
        const url = r.url();
        if (url.split('#')[0] === pageUrl || url.startsWith('data:') || url.startsWith('blob:')) r.continue();
        else {
          leaks.push(url);
          r.abort();
        }
      });
      const cdp = await p.createCDPSession();
      await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    },
  }));
  await page.waitForFunction(() => window.vormap && window.vormap.shown, { timeout: 180000 });
});

after(async () => {
  if (browser) await browser.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

// The SHA-256 of window.vormap.make's bytes, computed in the page.
const pageHash = (seed, debug, options) => page.evaluate(async (s, d, o) => {
  const bytes = await window.vormap.make(s, d, o);
  if (!(bytes instanceof Uint8Array)) throw new Error('make did not give a Uint8Array');
  const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
  return Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
}, seed, debug, options);

test('the page makes the pinned maps, their variants and random seeds exactly as vormap does', async () => {
  const cases = fs.readFileSync(pinnedMaps, 'utf8').split('\n').map(readPinned).filter(Boolean);
  assert.ok(cases.length >= 9 && cases.some((c) => Object.keys(c.options).length), 'the pinned command lines were read');
  const random = crypto.getRandomValues(new Int32Array(3));
  for (const [i, seed] of random.entries()) cases.push({ seed, debug: i === 1, options: {}, line: `-s ${seed}${i === 1 ? ' -d' : ''}` });
  console.log(`# random seeds this run: ${Array.from(random).join(', ')} (the second with -d)`);
  // All in one worker, one after another: a map's memory not given back
  // shows here as a failure a dozen maps in. The variants' options go in as
  // an object, or as a name's options text.
  for (const [i, c] of cases.entries()) {
    const asText = i % 2 && Object.keys(c.options).length;
    const options = asText ? Object.entries(c.options).map(([k, v]) => `${k}=${v}`).join(',') : c.options;
    const t0 = performance.now();
    const got = await pageHash(c.seed, c.debug, options);
    const ms = performance.now() - t0;
    const native = sha256(nativeMap(c.seed, c.debug, c.options));
    if (c.pinned) assert.equal(native, c.pinned, `native ${c.line} matches its pin`);
    assert.equal(got, native, `page and vormap differ on ${c.line}`);
    console.log(`# ${c.line}: same bytes (${ms.toFixed(0)} ms in the page)`);
  }
  failOnErrors(errors);
});

test('the figures in the page are vxltool info\'s', async () => {
  const random = crypto.getRandomValues(new Int32Array(1))[0];
  console.log(`# random seed for the figures: ${random}`);
  const cases = [[0, false, {}], [-12345, true, {}], [2147483647, false, {}], [random, false, {}],
    [1234, false, { lake: 'south', water: 1.5, trees: 0.5 }], [-12345, true, { symmetry: 'turn', keep: 'green' }]];
  for (const [seed, debug, options] of cases) {
    const got = await page.evaluate((s, d, o) => window.vormap.figures(s, d, o), seed, debug, options);
    assert.deepEqual(got, nativeFigures(seed, debug, options), `figures of ${seed} ${JSON.stringify(options)}`);
  }
  failOnErrors(errors);
});

test('the .vox files of the page are vxltool to-vox\'s', async () => {
  for (const [seed, debug, options] of [[1, false, {}], [-12345, true, { symmetry: 'turn', keep: 'green' }]]) {
    const got = await page.evaluate(async (s, d, o) => Array.from(await window.vormap.vox(s, d, o)), seed, debug, options);
    assert.ok(Buffer.from(got).equals(nativeVox(seed, debug, options)), `the .vox of ${seed} ${JSON.stringify(options)}`);
  }
  failOnErrors(errors);
});

test('the address, the buttons and the download', async () => {
  // Opened at #seed=7&d=1: that map is shown, the address is kept.
  assert.deepEqual(await page.evaluate(() => [window.vormap.shown.seed, window.vormap.shown.debug]), [7, true]);
  const panel = await page.$eval('#panel', (e) => e.innerText);
  assert.match(panel, /7-d\.vxl/);
  assert.match(panel, /ground height/);
  assert.match(panel, /blue start region\s+x \d+–\d+, y \d+–\d+ \(\d+ × \d+\); outline \d+ columns long/);
  assert.equal(await page.$eval('#developer', (e) => e.open), false, 'developer figures are folded away');
  fs.writeFileSync('web-page.png', await page.screenshot());

  // A bad seed is refused with a plain message, and nothing is made.
  await page.$eval('#seed', (e) => { e.value = '12x'; });
  await page.click('#make');
  assert.match(await page.$eval('#status', (e) => e.textContent), /seed must be a whole number/);

  // Two quick requests: the second replaces the first.
  await page.$eval('#debug', (e) => { e.checked = false; });
  await page.$eval('#seed', (e) => { e.value = '99'; });
  await page.click('#make');
  await page.$eval('#seed', (e) => { e.value = '-5'; });
  await page.click('#make');
  await page.waitForFunction(() => window.vormap.shown, { timeout: 120000 });
  assert.deepEqual(await page.evaluate(() => [window.vormap.shown.seed, location.hash]), [-5, '#seed=-5']);

  // The download is SEED.vxl with vormap's bytes.
  await page.click('#download');
  const file = path.join(downloads, '-5.vxl');
  for (let i = 0; i < 600 && !fs.existsSync(file); i++) await new Promise((r) => setTimeout(r, 100));
  assert.ok(fs.existsSync(file), `downloaded ${fs.readdirSync(downloads).join(', ') || 'nothing'}`);
  assert.ok(fs.readFileSync(file).equals(nativeMap(-5, false)), 'the downloaded file is vormap\'s map');

  // The address names a map: changing it makes that map.
  await page.evaluate(() => { location.hash = '#seed=3&d=1'; });
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.seed === 3, { timeout: 120000 });
  assert.equal(await page.$eval('#debug', (e) => e.checked), true);

  // A variant in the address: the controls show it, the download is named
  // as the gallery names it and holds vormap's bytes.
  await page.evaluate(() => { location.hash = '#map=1:water=0.50,lake=north'; });
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.seed === 1, { timeout: 120000 });
  assert.deepEqual(await page.evaluate(() => [window.vormap.shown.name, location.hash,
    ...['lake', 'symmetry', 'water', 'trees'].map((id) => document.getElementById(id).value)]),
  ['1:lake=north,water=0.5', '#map=1:lake=north,water=0.5', 'north', 'none', '0.5', '1']);
  // The preview has the start areas outlined: blue's top left corner.
  assert.deepEqual(await page.$eval('#preview', (c) => Array.from(c.getContext('2d').getImageData(16, 128, 1, 1).data)),
    [0x60, 0x60, 0xff, 255]);
  await page.click('#download');
  const variantFile = path.join(downloads, '1+lake=north,water=0.5.vxl');
  for (let i = 0; i < 600 && !fs.existsSync(variantFile); i++) await new Promise((r) => setTimeout(r, 100));
  assert.ok(fs.readFileSync(variantFile).equals(nativeMap(1, false, { lake: 'north', water: 0.5 })));
  await page.click('#download-vox');
  const voxFile = path.join(downloads, '1+lake=north,water=0.5.vox');
  for (let i = 0; i < 600 && !fs.existsSync(voxFile); i++) await new Promise((r) => setTimeout(r, 100));
  assert.ok(fs.readFileSync(voxFile).equals(nativeVox(1, false, { lake: 'north', water: 0.5 })), 'the downloaded .vox is vxltool to-vox\'s');

  // The controls make a variant; back to the specified map, the address is #seed= again.
  await page.select('#symmetry', 'mirror');
  await page.select('#keep', 'green');
  await page.$eval('#hills', (e) => { e.value = '1.25'; });
  await page.click('#make');
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.name.includes('symmetry'), { timeout: 120000 });
  assert.equal(await page.evaluate(() => location.hash), '#map=1:lake=north,symmetry=mirror,keep=green,water=0.5,hills=1.25');
  // An option out of range is the generator's message; nothing is made.
  await page.$eval('#hills', (e) => { e.value = '3'; });
  await page.click('#make');
  await page.waitForFunction(() => document.getElementById('status').className === 'error', { timeout: 60000 });
  assert.match(await page.$eval('#status', (e) => e.textContent), /hills '3' is outside 0.25 to 1.75/);
  for (const [id, value] of [['lake', 'east'], ['symmetry', 'none'], ['water', '1'], ['hills', '1']]) await page.$eval(`#${id}`, (e, v) => { e.value = v; }, value);
  await page.click('#make');
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.name === '1', { timeout: 120000 });
  assert.equal(await page.evaluate(() => location.hash), '#seed=1');

  // N and P: the next and previous seeds (wrapping round the 32-bit range).
  await page.keyboard.press('p');
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.seed === 0, { timeout: 120000 });
  await page.$eval('#seed', (e) => { e.value = '2147483647'; });
  await page.keyboard.press('n');
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.seed === -2147483648, { timeout: 120000 });
  assert.equal(await page.evaluate(() => location.hash), '#seed=-2147483648');

  // H hides the panels and shows them again.
  await page.keyboard.press('h');
  assert.equal(await page.$eval('#panel', (e) => getComputedStyle(e).display), 'none');
  assert.equal(await page.$eval('#side', (e) => getComputedStyle(e).display), 'none');
  await page.keyboard.press('h');
  assert.notEqual(await page.$eval('#panel', (e) => getComputedStyle(e).display), 'none');
  await page.evaluate(() => { location.hash = '#seed=3&d=1'; });
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.seed === 3, { timeout: 120000 });

  assert.deepEqual(leaks, [], 'requests that left the page');
  failOnErrors(errors);
});

test('an address or a call that names no seed is refused, never read as another map', async () => {
  // Left by the test above: seed 3 with the start regions.
  await page.waitForFunction(() => window.vormap.shown && window.vormap.shown.seed === 3, { timeout: 120000 });
  for (const bad of ['1e3', '99999999999999999999999999', '-2147483649', '2147483648', '', '0x10', '%E2%80%935']) {
    await page.evaluate((b) => { location.hash = `#seed=${b}&d=1`; }, bad);
    await page.waitForFunction(() => document.getElementById('status').className === 'error', { timeout: 10000 });
    const [message, hash, shown] = await page.evaluate(() => [document.getElementById('status').textContent,
      location.hash, window.vormap.shown.seed]);
    assert.match(message, /The address names seed ".*", which is not a whole number from -2147483648 to 2147483647\./, bad);
    assert.equal(hash, '#seed=3&d=1', `the address went back to the map shown after #seed=${bad}`);
    assert.equal(shown, 3, `#seed=${bad} made another map`);
    // So that the next refusal has to set the message afresh.
    await page.$eval('#status', (e) => { e.className = ''; });
  }

  // window.vormap.make takes an integer Number and a boolean, nothing else.
  const refusals = await page.evaluate(async () => {
    const calls = [[3, 'false'], [3, 1], ['3', false], [[3], false], [3n, false], [{ toString: () => '3' }, false],
      [1.5, false], [2 ** 31, false], [-(2 ** 31) - 1, false], [NaN, false], [Infinity, false], [null, false]];
    const out = [];
    for (const [seed, debug] of calls) {
      try {
        await window.vormap.make(seed, debug);
        out.push('made');
      } catch (e) {
        out.push(e instanceof TypeError ? 'TypeError' : String(e));
      }
    }
    return out;
  });
  assert.deepEqual(refusals, new Array(12).fill('TypeError'));

  // A variant the generator refuses, in the address: its message, the address back.
  await page.evaluate(() => { location.hash = '#map=3:lake=up&d=1'; });
  await page.waitForFunction(() => document.getElementById('status').className === 'error', { timeout: 60000 });
  assert.match(await page.$eval('#status', (e) => e.textContent), /The address names map "3:lake=up", which is not a map: .*lake 'up' is not east, north, west or south/);
  assert.deepEqual(await page.evaluate(() => [location.hash, window.vormap.shown.seed]), ['#seed=3&d=1', 3]);

  // The options of the scripting calls: an object or a name's options; the
  // generator's own message for a value it refuses.
  const optionRefusals = await page.evaluate(async () => {
    const out = [];
    for (const options of [{ water: 3 }, 'lake=up', 'water=1e0', { colour: 'red' }, { water: '1' }, { lake: 1 }, [1], 42, 'keep=green,keep=blue']) {
      try {
        await window.vormap.figures(3, false, options);
        out.push('made');
      } catch (e) {
        out.push(`${e.constructor.name}: ${e.message}`);
      }
    }
    return out;
  });
  const expected = [/water '3' is outside 0 to 2/, /lake 'up' is not/, /water/, /unknown option "colour"/,
    /water must be a finite number/, /lake must be a string/, /not an array/, /not number/, /keep/];
  for (const [i, got] of optionRefusals.entries()) {
    assert.match(got, /^TypeError: vormap\.figures: /);
    assert.match(got, expected[i]);
  }
  failOnErrors(errors);
});

test('the thumbnails of a range appear, sort, filter and open their map, all in the address', async () => {
  await page.evaluate(() => { location.hash = '#seed=3&from=-2&count=4&sort=-fairness'; });
  await page.waitForFunction(() => window.vormap.strip.cards.length === 4 && window.vormap.strip.cards.every((c) => c.figures),
    { timeout: 180000 });
  const cards = await page.evaluate(() => window.vormap.strip.cards.map((c) => [c.seed, c.figures]));
  assert.deepEqual(cards.map(([seed]) => seed), [-2, -1, 0, 1]);
  // A card's figures are its map's.
  assert.deepEqual(cards[1][1], nativeFigures(-1, false, {}));
  const byFairness = cards.slice().sort((a, b) => b[1].fairness - a[1].fairness || a[0] - b[0]).map(([seed]) => seed);
  assert.deepEqual(await page.evaluate(() => window.vormap.strip.shownSeeds()), byFairness);

  // A filter: those with at most the median water share.
  const water = cards.map(([, f]) => f.water_percent).sort((a, b) => a - b)[1];
  await page.select('#where-key', 'water_percent');
  await page.select('#where-op', '<=');
  await page.type('#where-value', String(water));
  const kept = cards.filter(([, f]) => f.water_percent <= water).sort((a, b) => b[1].fairness - a[1].fairness || a[0] - b[0]).map(([seed]) => seed);
  assert.deepEqual(await page.evaluate(() => window.vormap.strip.shownSeeds()), kept);
  const hash = await page.evaluate(() => decodeURIComponent(location.hash));
  assert.equal(hash, `#seed=3&from=-2&count=4&sort=-fairness&where=water_percent<=${water}`);

  // A click opens that map; the range stays in the address.
  await page.click(`.card[data-seed="${kept[0]}"]`);
  await page.waitForFunction((s) => window.vormap.shown && window.vormap.shown.seed === s, { timeout: 120000 }, kept[0]);
  assert.equal(await page.evaluate(() => decodeURIComponent(location.hash)), hash.replace('seed=3', `seed=${kept[0]}`));
  failOnErrors(errors);
});

test('a page opened at a bad seed says so and makes no map', async () => {
  const opened = await openPage(`${pageUrl}#seed=1e3`, { timeout: 180000 });
  try {
    await opened.page.waitForFunction(() => document.getElementById('status').className === 'error', { timeout: 60000 });
    assert.match(await opened.page.$eval('#status', (e) => e.textContent), /The address names seed "1e3"/);
    await new Promise((r) => setTimeout(r, 500));
    assert.equal(await opened.page.evaluate(() => window.vormap.shown), null);
    assert.equal(await opened.page.evaluate(() => location.hash), '#seed=1e3');
    failOnErrors(opened.errors);
  } finally {
    await opened.browser.close();
  }
});

test('without WebGL2 the page says so and still makes and offers the map', async () => {
  const opened = await openPage(`${pageUrl}#seed=11`, { timeout: 180000, args: ['--disable-webgl', '--disable-3d-apis'] });
  try {
    await opened.page.waitForFunction(() => window.vormap.shown, { timeout: 180000 });
    assert.match(await opened.page.$eval('#status', (e) => e.textContent), /no WebGL2.*can still be downloaded/);
    assert.equal(await opened.page.$eval('#download', (e) => e.disabled), false);
    failOnErrors(opened.errors);
  } finally {
    await opened.browser.close();
  }
});
