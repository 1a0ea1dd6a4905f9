// What a map maker asks of a map, from its decoded columns and surface:
// ground heights, water and the start regions' areas. Rows of [name, value,
// optional explanation].
import { SIZE } from './vxl.js';

const fmt = (n) => n.toLocaleString('en');

// Height of the ground (top solid voxel + 1) of every column: 0 when empty.
function groundHeights(map) {
  const heights = new Uint8Array(SIZE * SIZE);
  for (let c = 0; c < heights.length; c++) {
    const hi = map.solidHi[c], lo = map.solidLo[c];
    heights[c] = hi ? 64 - Math.clz32(hi) : lo ? 32 - Math.clz32(lo) : 0;
  }
  return heights;
}

// Each start region is marked by its outline: a line of coloured columns
// along the region's edge; its extent is the outline's bounding rectangle.
function startRegions(starts) {
  const regions = [];
  for (const [region, name] of [[0, 'blue'], [1, 'green']]) {
    let x0 = SIZE, y0 = SIZE, x1 = -1, y1 = -1, outline = 0;
    for (let i = 0; i < starts.length; i += 4) {
      if (starts[i + 3] !== region) continue;
      outline++;
      x0 = Math.min(x0, starts[i]); x1 = Math.max(x1, starts[i]);
      y0 = Math.min(y0, starts[i + 1]); y1 = Math.max(y1, starts[i + 1]);
    }
    if (outline) regions.push({ name, x0, y0, x1, y1, outline });
  }
  return regions;
}

export function mapFigures(map, surface) {
  const heights = groundHeights(map);
  let low = 255, high = 0, sum = 0;
  for (const h of heights) {
    low = Math.min(low, h);
    high = Math.max(high, h);
    sum += h;
  }
  const columns = SIZE * SIZE;
  const rows = [
    ['ground height', `${low} to ${high} (mean ${(sum / columns).toFixed(1)}) of 64`],
    ['water', `${((100 * surface.waterFaces) / columns).toFixed(1)}% of the map (${fmt(surface.waterFaces)} columns)`],
  ];
  for (const r of startRegions(surface.starts)) {
    const w = r.x1 - r.x0 + 1, h = r.y1 - r.y0 + 1;
    rows.push([`${r.name} start region`, `x ${r.x0}–${r.x1}, y ${r.y0}–${r.y1} (${w} × ${h}); outline ${fmt(r.outline)} columns long`,
               `the ${r.name} outline, a line of ${fmt(r.outline)} coloured columns, lies within this rectangle`]);
  }
  return rows;
}

// Figures for the project's developers, shown only on request.
export function developerFigures(surface) {
  return [['faces', `${fmt(surface.faces)} (${fmt(surface.waterFaces)} water)`]];
}

// Appends rows of [name, value, optional explanation] to a table, the
// explanation as the value's tooltip.
export function addRows(table, rows) {
  for (const [k, v, title] of rows) {
    const tr = table.insertRow();
    tr.insertCell().textContent = k;
    const cell = tr.insertCell();
    cell.textContent = v;
    if (title) cell.title = title;
  }
}
