// The `vxltool view` page: shows the map embedded in the page in the 3D view.
//
// When the first picture is on screen the page sets `window.viewReady` to
// { faces, waterFaces, triangles, firstFrameMs } and `document.body.dataset.ready`;
// `window.viewFrames` counts the pictures drawn. A failure is reported on the
// console and in the panel.
import { startView } from './viewer.js';
import { mapFigures, developerFigures, addRows } from './figures.js';
import { SIZE } from './vxl.js';

const $ = (id) => document.getElementById(id);

async function embeddedMap() {
  const text = $('map-data').textContent.trim();
  const binary = atob(text);
  const packed = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; i++) packed[i] = binary.charCodeAt(i);
  const stream = new Blob([packed]).stream().pipeThrough(new DecompressionStream('gzip'));
  return new Uint8Array(await new Response(stream).arrayBuffer());
}

const fmt = (n) => n.toLocaleString('en');
const hex = (c) => '#' + c.toString(16).padStart(6, '0');

// The figures of the map file first, so they show even when the map cannot
// be drawn; the faces once they are built.
function fillPanel(info) {
  $('name').textContent = info.name;
  addRows($('figures'), [
    ['size', `${fmt(info.size)} bytes`],
    ['heights', info.minHeight < 0 ? 'none' : `${info.minHeight} to ${info.maxHeight}`],
    ['water columns', `${fmt(info.waterColumns)} (${((100 * info.waterColumns) / (SIZE * SIZE)).toFixed(1)}%)`],
  ]);
  addRows($('developer-figures'), [
    ['solid voxels', fmt(info.solidVoxels)],
    ['surface voxels', fmt(info.surfaceVoxels)],
    ['empty columns', fmt(info.emptyColumns)],
  ]);
  const colors = $('colours');
  for (const [c, count] of info.colors) {
    const span = document.createElement('span');
    span.className = 'swatch';
    span.style.background = hex(c);
    span.title = `${hex(c)}: ${fmt(count)} voxels`;
    colors.appendChild(span);
  }
}

// The start regions for the reader; the face count for developers.
function fillFaces(map, surface) {
  addRows($('figures'), mapFigures(map, surface).filter(([name]) => name.includes('start region')));
  addRows($('developer-figures'), developerFigures(surface));
}

async function main() {
  const info = JSON.parse($('map-info').textContent);
  document.title = `${info.name} - vxltool view`;
  fillPanel(info);
  window.addEventListener('keydown', (e) => {
    if (e.key === 'h' || e.key === 'H') $('panel').classList.toggle('hidden');
  });
  const { map, surface } = startView($('view'), await embeddedMap(), {
    onFirstPicture: (ready) => {
      $('status').textContent = '';
      $('timing').textContent = `first picture after ${(ready.firstFrameMs / 1000).toFixed(2)} s`;
      window.viewReady = ready;
      document.body.dataset.ready = 'yes';
    },
  });
  fillFaces(map, surface);
}

main().catch((e) => {
  const box = $('status');
  if (box) box.textContent = `cannot show the map: ${e.message}`;
  console.error(`cannot show the map: ${e.stack || e}`);
});
