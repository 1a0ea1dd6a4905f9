// The 3D views of a generated map, end to end: `vxltool mesh` makes a glTF
// file the Khronos validator accepts, and `vxltool view` a page that shows
// the map in headless Chromium, counts the same faces as the mesh, and looks
// right: the map drawn, the water blue, the start regions of a -d map shown,
// and the walk view a different picture from the orbit view.
//
//   node view_page.test.mjs VXLTOOL VORMAP
//
// Screenshots are kept in the current folder (view-orbit.png, view-walk.png).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import validator from 'gltf-validator';
import { openPage, failOnErrors } from './browser.mjs';
import { decodeVxl } from '../../web/view/vxl.js';
import { buildSurface, MAX_FACES } from '../../web/view/surface.js';

const [vxltool, vormap] = process.argv.slice(2);
if (!vxltool || !vormap) throw new Error('usage: view_page.test.mjs VXLTOOL VORMAP');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vormap-view-'));
const map = path.join(dir, 'seed1.vxl');
const glb = path.join(dir, 'seed1.glb');
const html = path.join(dir, 'seed1.html');
const seconds = (t0) => ((performance.now() - t0) / 1000).toFixed(2);

// The JSON chunk of a .glb file.
function glbJson(bytes) {
  assert.equal(bytes.toString('latin1', 0, 4), 'glTF');
  const length = bytes.readUInt32LE(12);
  assert.equal(bytes.readUInt32LE(16), 0x4e4f534a, 'the first chunk is JSON');
  return JSON.parse(bytes.toString('utf8', 20, 20 + length));
}

// Colour figures of a PNG screenshot, read back through the page's own
// canvas: distinct colours, the share of pixels of a few kinds and, given an
// earlier screenshot, the share of pixels that differ from it.
async function pictureFigures(page, png, earlier = null) {
  return page.evaluate(async (b64, before64) => {
    const pixels = async (data) => {
      const img = new Image();
      img.src = `data:image/png;base64,${data}`;
      await img.decode();
      const c = new OffscreenCanvas(img.width, img.height);
      const g = c.getContext('2d');
      g.drawImage(img, 0, 0);
      return g.getImageData(0, 0, img.width, img.height).data;
    };
    const d = await pixels(b64);
    const e = before64 ? await pixels(before64) : null;
    let differing = 0;
    const colors = new Set();
    let water = 0, blue = 0, green = 0;
    for (let i = 0; i < d.length; i += 4) {
      const [r, gr, b] = [d[i], d[i + 1], d[i + 2]];
      colors.add((r << 16) | (gr << 8) | b);
      if (e && Math.abs(r - e[i]) + Math.abs(gr - e[i + 1]) + Math.abs(b - e[i + 2]) > 30) differing++;
      // The water's blue (not the pale sky, not the start region's violet blue).
      if (b > 100 && r < 110 && b - r > 50 && b - gr > 15 && b - gr < 110) water++;
      if (b > 170 && b - gr > 110 && b - r > 100) blue++;
      if (gr > 150 && gr - r > 90 && gr - b > 90) green++;
    }
    const n = d.length / 4;
    return { colors: colors.size, water: water / n, blue: blue / n, green: green / n, differing: differing / n };
  }, png.toString('base64'), earlier ? earlier.toString('base64') : null);
}

// A map of 512 x 512 column records, each given by column(x, y) as bytes.
function buildMap(column) {
  const parts = [];
  for (let y = 0; y < 512; y++) for (let x = 0; x < 512; x++) parts.push(column(x, y));
  return Buffer.from(parts.flat());
}
const EMPTY = [0, 64, 63, 0];
const FULL = [0, 0, 255, 0];              // solid top to bottom, no colour stored
const SEA = [0, 63, 63, 0, 0x80, 0x60, 0x20, 0x80];
const PILLAR = [0, 56, 55, 0];            // solid from file z 56 down: 8 voxels, no colour

let faces;  // unit faces of the mesh
let browser;

before(() => {
  execFileSync(vormap, ['-s', '1', '-d', '-o', map], { stdio: 'pipe' });
});

after(async () => {
  if (browser) await browser.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

test('the mesh of a generated map passes the glTF validator', async () => {
  const t0 = performance.now();
  const out = execFileSync(vxltool, ['mesh', map, glb], { encoding: 'utf8' });
  console.log(`# vxltool mesh: ${seconds(t0)} s: ${out.trim()}`);
  const bytes = fs.readFileSync(glb);
  const report = await validator.validateBytes(new Uint8Array(bytes), { maxIssues: 20 });
  const { numErrors, numWarnings, messages } = report.issues;
  console.log(`# validator: ${numErrors} errors, ${numWarnings} warnings; ${report.info.totalTriangleCount} triangles`);
  assert.equal(numErrors, 0, JSON.stringify(messages, null, 1));

  const json = glbJson(bytes);
  faces = json.asset.extras.faces;
  assert.equal(report.info.totalTriangleCount, 2 * json.asset.extras.rectangles);
  assert.ok(json.asset.extras.rectangles < faces, 'neighbouring faces are merged');
  assert.deepEqual(json.meshes[0].primitives.map((p) => json.materials[p.material].name), ['ground', 'water']);
});

test('the page counts faces as the mesh does, at the world\'s edges and top', () => {
  const cases = [
    { name: 'empty', map: buildMap(() => EMPTY), faces: 0 },
    // Tops under the open sky; the sides and the underside of the world hide the rest.
    { name: 'full', map: buildMap(() => FULL), faces: 512 * 512 },
    { name: 'sea', map: buildMap(() => SEA), faces: 512 * 512, water: 512 * 512 },
    // Pillars 8 high every 16 columns: a top and 4 x 8 sides each, less the
    // sides against the world's low edges.
    { name: 'pillars', map: buildMap((x, y) => (x % 16 === 0 && y % 16 === 0 ? PILLAR : EMPTY)),
      faces: 1024 * 33 - 64 * 8 },
  ];
  for (const c of cases) {
    const file = path.join(dir, `${c.name}.vxl`);
    fs.writeFileSync(file, c.map);
    execFileSync(vxltool, ['mesh', file, `${file}.glb`], { stdio: 'pipe' });
    const extras = glbJson(fs.readFileSync(`${file}.glb`)).asset.extras;
    const page = buildSurface(decodeVxl(new Uint8Array(c.map)));
    assert.equal(extras.faces, c.faces, `${c.name}: mesh`);
    assert.equal(page.faces, c.faces, `${c.name}: page`);
    assert.equal(page.waterFaces, c.water ?? 0, `${c.name}: water`);
    assert.equal(extras.waterFaces, c.water ?? 0, `${c.name}: mesh water`);
  }
  // A valid map can expose tens of millions of faces; the page says it
  // cannot draw them rather than exhausting the browser.
  const checker = buildMap((x, y) => ((x + y) % 2 ? SEA : FULL));
  assert.throws(() => buildSurface(decodeVxl(new Uint8Array(checker))), new RegExp(`more than the ${MAX_FACES}`));
});

test('the page shows the map, counts the mesh\'s faces, and walks', async () => {
  assert.ok(faces > 0, 'the mesh test ran first');
  execFileSync(vxltool, ['view', map, html]);
  const size = fs.statSync(html).size;
  console.log(`# page: ${(size / 1e6).toFixed(2)} MB`);
  assert.ok(size <= 8e6, `the page is ${size} bytes`);

  const t0 = performance.now();
  const opened = await openPage(`file://${html}`, { width: 1024, height: 640 });
  browser = opened.browser;
  const { page, errors } = opened;
  await page.waitForFunction(() => window.viewReady || document.getElementById('status').textContent.startsWith('cannot'));
  failOnErrors(errors);
  const ready = await page.evaluate(() => window.viewReady);
  console.log(`# first picture ${ready.firstFrameMs} ms after the page began loading (${seconds(t0)} s with the browser's start)`);
  assert.equal(ready.faces, faces, 'the page and the mesh count the same faces');
  assert.equal(await page.title(), 'seed1.vxl - vxltool view');
  const panel = await page.$eval('#panel', (e) => e.innerText);
  for (const figure of ['0 to 31', 'water columns', 'blue start region', 'outline 480 columns long',
                        'green start region', 'outline 479 columns long'])
    assert.ok(panel.includes(figure), `the panel shows ${figure}:\n${panel}`);
  // Developer figures are folded away until asked for.
  assert.equal(await page.$eval('#developer', (e) => e.open), false);
  assert.ok(!panel.includes('faces'), `the panel shows developer figures:\n${panel}`);
  await page.click('#developer summary');
  const developer = await page.$eval('#developer', (e) => e.innerText);
  for (const figure of ['2,617,390', `${faces.toLocaleString('en')} (`, 'first picture after'])
    assert.ok(developer.includes(figure), `the developer figures show ${figure}:\n${developer}`);
  await page.click('#developer summary');
  assert.match(await page.$eval('#help', (e) => e.textContent), /WASD|W.*A.*S.*D/s);

  const orbitShot = await page.screenshot({ path: 'view-orbit.png' });
  const orbit = await pictureFigures(page, orbitShot);
  console.log(`# orbit view: ${orbit.colors} colours; water ${orbit.water.toFixed(3)}, start regions ${orbit.blue.toFixed(4)} blue, ${orbit.green.toFixed(4)} green`);
  assert.ok(orbit.colors > 500, `the orbit view has only ${orbit.colors} colours`);
  assert.ok(orbit.water > 0.01, `water covers ${orbit.water} of the orbit view`);
  assert.ok(orbit.blue > 0.0005 && orbit.green > 0.0005, `start regions: blue ${orbit.blue}, green ${orbit.green}`);

  const frames = await page.evaluate(() => window.viewFrames);
  await page.keyboard.press('2');
  await page.waitForFunction((n) => window.viewFrames > n, {}, frames);
  const walkShot = await page.screenshot({ path: 'view-walk.png' });
  const walk = await pictureFigures(page, walkShot, orbitShot);
  assert.ok(walk.colors > 500, `the walk view has only ${walk.colors} colours`);
  console.log(`# walk view: ${walk.colors} colours; ${walk.differing.toFixed(2)} of it differs from the orbit view`);
  assert.ok(walk.differing > 0.3, `only ${walk.differing} of the walk view differs from the orbit view`);

  // The walker's place, heading and minimap; turning changes the heading.
  const place = () => page.$eval('#walker-place', (e) => e.textContent);
  assert.equal(await page.$eval('#walker', (e) => getComputedStyle(e).display), 'block');
  const before = await place();
  assert.match(before, /^x \d+, y \d+\nheight \d+\nfacing (N|NE|E|SE|S|SW|W|NW) \d+°$/);
  await page.keyboard.down('ArrowRight');
  await page.waitForFunction((t) => document.getElementById('walker-place').textContent !== t, {}, before);
  await page.keyboard.up('ArrowRight');
  const minimap = await page.$eval('#minimap', (c) => {
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    const colors = new Set();
    let marker = 0;
    for (let i = 0; i < d.length; i += 4) {
      colors.add((d[i] << 16) | (d[i + 1] << 8) | d[i + 2]);
      if (d[i] > 230 && d[i + 1] < 80 && d[i + 2] < 60) marker++;
    }
    return { colors: colors.size, marker };
  });
  assert.ok(minimap.colors > 100 && minimap.marker > 10, `minimap: ${JSON.stringify(minimap)}`);
  await page.screenshot({ path: 'view-walk-hud.png' });

  // H hides the panel and brings it back; orbit view hides the walker's box.
  await page.keyboard.press('h');
  assert.equal(await page.$eval('#panel', (e) => getComputedStyle(e).display), 'none');
  await page.keyboard.press('h');
  await page.keyboard.press('1');
  assert.equal(await page.$eval('#walker', (e) => getComputedStyle(e).display), 'none');
  failOnErrors(errors);
});

// A name that would change how the page parses if it went in as it is: the
// page loads all the same and shows the name as it is.
test('a map whose name holds markup gives a page that loads', async () => {
  const name = 'a<!--<script>&b.vxl';
  const odd = path.join(dir, name);
  fs.copyFileSync(map, odd);
  const oddHtml = path.join(dir, 'odd.html');
  execFileSync(vxltool, ['view', odd, oddHtml]);
  const opened = await openPage(`file://${oddHtml}`, { width: 640, height: 400 });
  try {
    const { page, errors } = opened;
    await page.waitForFunction(() => window.viewReady || document.getElementById('timing').textContent.startsWith('cannot'),
      { timeout: 30000 });
    failOnErrors(errors);
    assert.ok(await page.evaluate(() => Boolean(window.viewReady)), 'the view is ready');
    assert.equal(await page.title(), `${name} - vxltool view`);
  } finally {
    await opened.browser.close();
  }
});
