// The visible faces of a decoded map as vertex arrays, by the same rule as
// `vxltool mesh`: a face between a solid voxel and an empty one, the world's
// sides and underside counting as solid and the sky above as empty. Mesh
// axes: x = map x, y = height, z = map y; one unit per voxel.
//
// Unit faces, not merged: each vertex gets its own ambient-occlusion shade
// (darker where the corner is closed in), which merged faces could not carry.
import { SIZE, HEIGHT, COLUMNS, colorAt } from './vxl.js';

export const START_BLUE = 0x6060ff;
// A generated map has about half a million faces; a map built to have many
// more (a checkerboard of columns has 33 million) would exhaust the
// browser's memory before it showed anything.
export const MAX_FACES = 4000000;
export const START_GREEN = 0x30d030;

// Directions: [axis, sign]; the two other axes u, v in x, y, z order.
const DIRS = [
  [0, 1], [0, -1], [1, 1], [1, -1], [2, 1], [2, -1],
];
const U_AXIS = [1, 0, 0];
const V_AXIS = [2, 2, 1];
// Corner order that winds counter-clockwise seen from the normal (u x v
// points along +x and +z but along -y).
const CORNERS = [[0, 0], [1, 0], [1, 1], [0, 1]];
const AO_LEVELS = [0.5, 0.68, 0.85, 1.0];

// Per direction and corner (in winding order), twelve offsets from the
// voxel in mesh axes (x, height, map y): the corner's position, then the
// three voxels in front of the face that touch it (along u, along v, and
// diagonally), which shade it.
const CORNER_TABLE = new Int8Array(6 * 4 * 12);
DIRS.forEach(([axis, sign], d) => {
  const ua = U_AXIS[axis], va = V_AXIS[axis];
  const forward = (axis !== 1) === (sign > 0);
  for (let i = 0; i < 4; i++) {
    const [du, dv] = CORNERS[forward ? i : (4 - i) % 4];
    const t = (d * 4 + i) * 12;
    const at = (k, offU, offV, inFront) => {
      const q = [0, 0, 0];
      q[axis] = inFront;
      q[ua] = offU;
      q[va] = offV;
      CORNER_TABLE.set(q, t + 3 * k);
    };
    at(0, du, dv, sign > 0 ? 1 : 0);
    at(1, du ? 1 : -1, 0, sign);
    at(2, 0, dv ? 1 : -1, sign);
    at(3, du ? 1 : -1, dv ? 1 : -1, sign);
  }
});

const SRGB_TO_LINEAR = new Float32Array(256);
for (let i = 0; i < 256; i++) {
  const c = i / 255;
  SRGB_TO_LINEAR[i] = c <= 0.04045 ? c / 12.92 : Math.pow((c + 0.055) / 1.055, 2.4);
}

// Bit masks of the exposed faces of column (x, y) in each direction, as
// [lo, hi] pairs (bit h = height h).
function faceMasks(map, x, y, out) {
  const c = y * SIZE + x;
  const lo = map.solidLo[c], hi = map.solidHi[c];
  const side = (nx, ny, k) => {
    const inside = nx >= 0 && ny >= 0 && nx < SIZE && ny < SIZE;
    const n = ny * SIZE + nx;
    out[2 * k] = inside ? lo & ~map.solidLo[n] : 0;
    out[2 * k + 1] = inside ? hi & ~map.solidHi[n] : 0;
  };
  side(x + 1, y, 0);
  side(x - 1, y, 1);
  // Up: nothing solid above (the sky over the top layer is open).
  out[4] = lo & ~((lo >>> 1) | (hi << 31));
  out[5] = hi & ~(hi >>> 1);
  // Down: nothing solid below, and never under the bottom layer.
  out[6] = lo & ~((lo << 1) | 1);
  out[7] = hi & ~((hi << 1) | (lo >>> 31));
  side(x, y + 1, 4);
  side(x, y - 1, 5);
}

function popcount(v) {
  v -= (v >>> 1) & 0x55555555;
  v = (v & 0x33333333) + ((v >>> 2) & 0x33333333);
  return (((v + (v >>> 4)) & 0x0f0f0f0f) * 0x01010101) >>> 24;
}

class Builder {
  constructor(faces) {
    this.position = new Uint16Array(faces * 12);
    this.normal = new Int8Array(faces * 12);
    this.color = new Uint16Array(faces * 12);
    this.index = new Uint32Array(faces * 6);
    this.faces = 0;
  }
}

export function buildSurface(map) {
  const masks = new Uint32Array(12);
  const isWaterFace = (d, h, color) => d === 2 && h === 0 && color !== START_BLUE && color !== START_GREEN;

  // First pass: how many faces of each kind. Bottom-layer top faces are
  // water, except on the start regions' outline, which stays ground so it
  // shows in its colour.
  let groundFaces = 0, waterFaces = 0;
  for (let y = 0; y < SIZE; y++) {
    for (let x = 0; x < SIZE; x++) {
      faceMasks(map, x, y, masks);
      for (let k = 0; k < 12; k++) groundFaces += popcount(masks[k]);
      if (masks[4] & 1 && isWaterFace(2, 0, colorAt(map, y * SIZE + x, 0))) waterFaces++;
    }
  }
  groundFaces -= waterFaces;
  if (groundFaces + waterFaces > MAX_FACES) {
    throw new Error(`the map has ${groundFaces + waterFaces} visible faces, more than the ${MAX_FACES} this page draws`);
  }
  // The start regions, by the colour of each column's top voxel.
  const startColumns = { blue: 0, green: 0 };
  const starts = [];
  for (let c = 0; c < COLUMNS; c++) {
    const lo = map.solidLo[c], hi = map.solidHi[c];
    if (!lo && !hi) continue;
    const h = hi ? 63 - Math.clz32(hi) : 31 - Math.clz32(lo);
    const color = colorAt(map, c, h);
    if (color !== START_BLUE && color !== START_GREEN) continue;
    starts.push(c % SIZE, Math.floor(c / SIZE), h + 1, color === START_BLUE ? 0 : 1);
    if (color === START_BLUE) startColumns.blue++;
    else startColumns.green++;
  }

  const ground = new Builder(groundFaces);
  const water = new Builder(waterFaces);
  const { solidLo, solidHi } = map;
  // Solid at (x, map y, height), the world's sides and underside solid.
  const solid = (x, y, h) => {
    if (x < 0 || y < 0 || x >= SIZE || y >= SIZE || h < 0) return 1;
    if (h >= HEIGHT) return 0;
    const c = y * SIZE + x;
    return h < 32 ? (solidLo[c] >>> h) & 1 : (solidHi[c] >>> (h - 32)) & 1;
  };
  const ao = new Int32Array(4);

  const emit = (b, d, x, y, h, color, tint) => {
    const f = b.faces++;
    let r = SRGB_TO_LINEAR[(color >>> 16) & 0xff], g = SRGB_TO_LINEAR[(color >>> 8) & 0xff],
      bl = SRGB_TO_LINEAR[color & 0xff];
    if (tint) {
      r = r * 0.25 + tint[0] * 0.75;
      g = g * 0.25 + tint[1] * 0.75;
      bl = bl * 0.25 + tint[2] * 0.75;
    }
    const axis = DIRS[d][0], normal = DIRS[d][1] * 127;
    for (let i = 0; i < 4; i++) {
      const t = (d * 4 + i) * 12;
      // Ambient occlusion: the three voxels in front of the face that touch
      // this corner.
      const s1 = solid(x + CORNER_TABLE[t + 3], y + CORNER_TABLE[t + 5], h + CORNER_TABLE[t + 4]);
      const s2 = solid(x + CORNER_TABLE[t + 6], y + CORNER_TABLE[t + 8], h + CORNER_TABLE[t + 7]);
      const sc = solid(x + CORNER_TABLE[t + 9], y + CORNER_TABLE[t + 11], h + CORNER_TABLE[t + 10]);
      const level = s1 && s2 ? 0 : 3 - (s1 + s2 + sc);
      ao[i] = level;
      const shade = AO_LEVELS[level] * 65535;
      const o = (f * 4 + i) * 3;
      b.position[o] = x + CORNER_TABLE[t];
      b.position[o + 1] = h + CORNER_TABLE[t + 1];
      b.position[o + 2] = y + CORNER_TABLE[t + 2];
      b.normal[o + axis] = normal;
      b.color[o] = r * shade;
      b.color[o + 1] = g * shade;
      b.color[o + 2] = bl * shade;
    }
    // Split the quad along the diagonal whose corners are the more alike,
    // so the shade does not crease.
    const v = f * 4, o = f * 6, idx = b.index;
    if (ao[0] + ao[2] >= ao[1] + ao[3]) {
      idx[o] = v; idx[o + 1] = v + 1; idx[o + 2] = v + 2;
      idx[o + 3] = v; idx[o + 4] = v + 2; idx[o + 5] = v + 3;
    } else {
      idx[o] = v + 1; idx[o + 1] = v + 2; idx[o + 2] = v + 3;
      idx[o + 3] = v + 1; idx[o + 4] = v + 3; idx[o + 5] = v;
    }
  };

  for (let y = 0; y < SIZE; y++) {
    for (let x = 0; x < SIZE; x++) {
      faceMasks(map, x, y, masks);
      const c = y * SIZE + x;
      for (let d = 0; d < 6; d++) {
        for (let half = 0; half < 2; half++) {
          let m = masks[2 * d + half];
          while (m) {
            const bit = 31 - Math.clz32(m & -m);
            m &= m - 1;
            const h = bit + 32 * half;
            const color = colorAt(map, c, h);
            if (isWaterFace(d, h, color)) emit(water, d, x, y, h, color, WATER_LINEAR);
            else emit(ground, d, x, y, h, color, null);
          }
        }
      }
    }
  }
  return {
    ground, water,
    faces: groundFaces + waterFaces,
    waterFaces,
    startColumns,
    starts,
  };
}

// Water is drawn in one blue, a quarter of the map's own colour mixed in so
// its shading still shows.
export const WATER_SRGB = [0x2a, 0x6e, 0xa8];
const WATER_LINEAR = WATER_SRGB.map((v) => SRGB_TO_LINEAR[v]);

