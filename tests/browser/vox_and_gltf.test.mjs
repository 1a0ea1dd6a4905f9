// Our .vox and .glb files in programs other than ours: the npm vox-reader
// parses our .vox files, three.js's VOXLoader loads that of a generated map in
// headless Chromium, the Khronos validator accepts each form of the glTF
// file, and three.js's GLTFLoader with its meshopt decoder loads the
// compressed one with the same triangles as the plain one.
//
//   node vox_and_gltf.test.mjs VXLTOOL VORMAP
//
// Screenshots are kept in the current folder (vox-three.png, glb-meshopt.png).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import esbuild from 'esbuild';
import readVox from 'vox-reader';
import validator from 'gltf-validator';
import { openPage, failOnErrors } from './browser.mjs';
import { decodeVxl } from '../../web/view/vxl.js';

const [vxltool, vormap] = process.argv.slice(2);
if (!vxltool || !vormap) throw new Error('usage: vox_and_gltf.test.mjs VXLTOOL VORMAP');

const here = path.dirname(fileURLToPath(import.meta.url));
const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'vormap-interop-'));
const map = path.join(dir, 'seed1.vxl');
const vox = path.join(dir, 'seed1.vox');
const seconds = (t0) => ((performance.now() - t0) / 1000).toFixed(2);

// Where to-vox puts the 2 x 2 models: model 2 j + i has its centre at
// (256 i - 128, 256 j - 128, 32) in the editor's x, y and z (up).
const places = [[-128, -128, 32], [128, -128, 32], [-128, 128, 32], [128, 128, 32]];

// Solid voxels per model, counted from the map file by the page's own
// decoder: model i covers map x from 256 i, model j map y from 256 (1 - j).
function voxelsPerModel(bytes) {
  const m = decodeVxl(new Uint8Array(bytes));
  const bits = (v) => { let n = 0; for (; v; v &= v - 1) n++; return n; };
  const counts = [0, 0, 0, 0];
  for (let y = 0; y < 512; y++)
    for (let x = 0; x < 512; x++) {
      const c = y * 512 + x;
      counts[2 * (y < 256 ? 1 : 0) + (x < 256 ? 0 : 1)] += bits(m.solidLo[c]) + bits(m.solidHi[c]);
    }
  return counts;
}

let browser, page, errors;

before(async () => {
  execFileSync(vormap, ['-s', '1', '-d', '-o', map], { stdio: 'pipe' });
  const bundle = await esbuild.build({
    entryPoints: [path.join(here, 'loaders_page.js')], bundle: true, format: 'iife', write: false, logLevel: 'warning',
  });
  fs.writeFileSync(path.join(dir, 'page.html'),
    `<!doctype html><html><head><meta charset="utf-8"><title>loaders</title>
<style>html,body{margin:0;overflow:hidden}</style></head><body>
<script>${bundle.outputFiles[0].text}</script></body></html>`);
  ({ browser, page, errors } = await openPage(`file://${dir}/page.html`, { width: 800, height: 800 }));
  await page.waitForFunction(() => window.pageReady);
});

after(async () => {
  if (browser) await browser.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

// A map of 512 x 512 column records, each given by column(x, y) as bytes.
function buildMap(column) {
  const parts = [];
  for (let y = 0; y < 512; y++) for (let x = 0; x < 512; x++) parts.push(column(x, y));
  return Buffer.from(parts.flat());
}
const SEA = [0, 63, 63, 0, 0x80, 0x60, 0x20, 0x80];
const PILLAR = [0, 56, 55, 0];  // solid from file z 56 down: 8 voxels, no colour stored

function checkVoxReader(file, expected) {
  const t0 = performance.now();
  const parsed = readVox(fs.readFileSync(file));
  console.log(`# vox-reader: ${seconds(t0)} s`);
  assert.equal(parsed.size.length, 4);
  assert.deepEqual(parsed.size.map((s) => [s.x, s.y, s.z]), Array(4).fill([256, 256, 64]));
  assert.deepEqual(parsed.xyzi.map((m) => m.numVoxels), expected);
  assert.deepEqual(parsed.xyzi.map((m) => m.values.length), expected);
  assert.equal(parsed.rgba.values.length, 256);
  // The scene graph: a root, a group of four, a transform and a shape each.
  assert.equal(parsed.ngrp.children.length, 4);
  assert.deepEqual(parsed.ntrn.slice(1).map((t) => t.frames[0]._t), places.map((p) => p.join(' ')));
  assert.deepEqual(parsed.nshp.map((s) => s.models[0][0]), [0, 1, 2, 3]);
}

// vox-reader holds a file as an array of numbers and copies it per chunk: a
// generated map's file takes it a minute and 2.5 GB, so it reads a smaller
// map of ours: a sea with pillars (hidden voxels without a colour of their
// own) in the western half only, denser in the north, so that the models
// differ.
test('vox-reader reads our .vox file with every voxel of each model', () => {
  const small = path.join(dir, 'pillars.vxl');
  fs.writeFileSync(small, buildMap((x, y) => (x < 256 && x % 8 === 0 && y % (y < 256 ? 8 : 16) === 0 ? PILLAR : SEA)));
  execFileSync(vxltool, ['to-vox', small, `${small}.vox`], { stdio: 'pipe' });
  const expected = voxelsPerModel(fs.readFileSync(small));
  assert.equal(new Set(expected).size, 3, `models of different counts: ${expected}`);
  checkVoxReader(`${small}.vox`, expected);
});

test('three.js VOXLoader reads the .vox file of a generated map', async () => {
  const t0 = performance.now();
  const out = execFileSync(vxltool, ['to-vox', map, vox], { encoding: 'utf8' });
  console.log(`# vxltool to-vox: ${seconds(t0)} s: ${out.trim()}`);
  const expected = voxelsPerModel(fs.readFileSync(map));
  const t1 = performance.now();
  const models = await page.evaluate((url, p) => window.loadVox(url, p), `file://${vox}`, places);
  console.log(`# VOXLoader: ${seconds(t1)} s: ${models.map((m) => m.triangles).join(', ')} triangles`);
  failOnErrors(errors);
  assert.deepEqual(models.map((m) => m.size), Array(4).fill([256, 256, 64]));
  assert.deepEqual(models.map((m) => m.voxels), expected);
  await page.screenshot({ path: 'vox-three.png' });
});

test('each glTF form validates, and the compressed one loads with the plain one\'s triangles', async () => {
  const forms = { plain: ['--plain'], quantized: [], meshopt: ['--meshopt'] };
  const triangles = {};
  for (const [name, option] of Object.entries(forms)) {
    const file = path.join(dir, `seed1.${name}.glb`);
    const t0 = performance.now();
    const out = execFileSync(vxltool, ['mesh', ...option, map, file], { encoding: 'utf8' });
    console.log(`# vxltool mesh ${option.join(' ')}: ${seconds(t0)} s: ${out.trim()}`);
    // The validator checks the meshopt file's JSON but cannot decode its
    // views: it says so with a warning, and loading it below checks the rest.
    const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), { maxIssues: 20 });
    const { numErrors, numWarnings, messages } = report.issues;
    console.log(`# validator, ${name}: ${numErrors} errors, ${numWarnings} warnings`);
    assert.equal(numErrors, 0, JSON.stringify(messages, null, 1));
    if (name !== 'meshopt') assert.equal(numWarnings, 0, JSON.stringify(messages, null, 1));
    triangles[name] = report.info.totalTriangleCount;
  }
  assert.equal(triangles.quantized, triangles.plain);

  const plain = await page.evaluate((url) => window.loadGlb(url, false), `file://${dir}/seed1.plain.glb`);
  const t0 = performance.now();
  const meshopt = await page.evaluate((url) => window.loadGlb(url, true), `file://${dir}/seed1.meshopt.glb`);
  console.log(`# GLTFLoader: plain ${plain.triangles}, meshopt ${meshopt.triangles} triangles (${seconds(t0)} s)`);
  failOnErrors(errors);
  assert.equal(plain.triangles, triangles.plain);
  assert.equal(meshopt.triangles, plain.triangles);
  assert.deepEqual(plain.positionTypes, ['Float32Array']);
  assert.deepEqual(meshopt.positionTypes, ['Uint16Array']);
  await page.screenshot({ path: 'glb-meshopt.png' });
});
