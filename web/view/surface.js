// The visible faces of a decoded map as vertex arrays, by the same rule as
// `vxltool mesh`: a face between a solid voxel and an empty one, the world's
// sides and underside counting as solid and the sky above as empty. Mesh
// axes: x = map x, y = height, z = map y; one unit per voxel.
//
// Unit faces, not merged: each vertex gets its own ambient-occlusion shade
// (darker where the corner is closed in), which merged faces could not carry.
import { SIZE, HEIGHT, COLUMNS, colourAt, solidAt } from './vxl.js';

export const START_BLUE = 0x6060ff;
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
    this.colour = new Uint16Array(faces * 12);
    this.index = new Uint32Array(faces * 6);
    this.faces = 0;
  }
}

export function buildSurface(map) {
  const masks = new Uint32Array(12);
  const isWaterFace = (d, h, colour) => d === 2 && h === 0 && colour !== START_BLUE && colour !== START_GREEN;

  // First pass: how many faces of each kind. Bottom-layer top faces are
  // water, except on the start regions' outline, which stays ground so it
  // shows in its colour.
  let groundFaces = 0, waterFaces = 0;
  for (let y = 0; y < SIZE; y++) {
    for (let x = 0; x < SIZE; x++) {
      faceMasks(map, x, y, masks);
      for (let k = 0; k < 12; k++) groundFaces += popcount(masks[k]);
      if (masks[4] & 1 && isWaterFace(2, 0, colourAt(map, y * SIZE + x, 0))) waterFaces++;
    }
  }
  groundFaces -= waterFaces;
  // The start regions, by the colour of each column's top voxel.
  const startColumns = { blue: 0, green: 0 };
  const starts = [];
  for (let c = 0; c < COLUMNS; c++) {
    const lo = map.solidLo[c], hi = map.solidHi[c];
    if (!lo && !hi) continue;
    const h = hi ? 63 - Math.clz32(hi) : 31 - Math.clz32(lo);
    const colour = colourAt(map, c, h);
    if (colour !== START_BLUE && colour !== START_GREEN) continue;
    starts.push(c % SIZE, Math.floor(c / SIZE), h + 1, colour === START_BLUE ? 0 : 1);
    if (colour === START_BLUE) startColumns.blue++;
    else startColumns.green++;
  }

  const ground = new Builder(groundFaces);
  const water = new Builder(waterFaces);
  const voxel = [0, 0, 0], front = [0, 0, 0], p = [0, 0, 0];
  const ao = [0, 0, 0, 0];
  // Solid at mesh coordinates (x, height, map y).
  const solid = (q) => solidAt(map, q[0], q[2], q[1]);

  const emit = (b, d, x, y, h, colour, tint) => {
    const [axis, sign] = DIRS[d];
    const ua = U_AXIS[axis], va = V_AXIS[axis];
    voxel[0] = x; voxel[1] = h; voxel[2] = y;
    front[0] = x; front[1] = h; front[2] = y;
    front[axis] += sign;
    const forward = (axis !== 1) === (sign > 0);
    const f = b.faces++;
    const r = SRGB_TO_LINEAR[(colour >>> 16) & 0xff], g = SRGB_TO_LINEAR[(colour >>> 8) & 0xff],
      bl = SRGB_TO_LINEAR[colour & 0xff];
    for (let i = 0; i < 4; i++) {
      const [du, dv] = CORNERS[forward ? i : (4 - i) % 4];
      // Ambient occlusion: the three voxels in front of the face that touch
      // this corner.
      p[0] = front[0]; p[1] = front[1]; p[2] = front[2];
      p[ua] += du ? 1 : -1;
      const s1 = solid(p);
      p[va] += dv ? 1 : -1;
      const cornerSolid = solid(p);
      p[ua] = front[ua];
      const s2 = solid(p);
      const level = s1 && s2 ? 0 : 3 - (s1 + s2 + cornerSolid);
      ao[i] = level;
      const shade = AO_LEVELS[level] * 65535;
      const o = (f * 4 + i) * 3;
      b.position[o + axis] = voxel[axis] + (sign > 0 ? 1 : 0);
      b.position[o + ua] = voxel[ua] + du;
      b.position[o + va] = voxel[va] + dv;
      b.normal[o + axis] = sign * 127;
      if (tint) {
        b.colour[o] = (r * 0.25 + tint[0] * 0.75) * shade;
        b.colour[o + 1] = (g * 0.25 + tint[1] * 0.75) * shade;
        b.colour[o + 2] = (bl * 0.25 + tint[2] * 0.75) * shade;
      } else {
        b.colour[o] = r * shade;
        b.colour[o + 1] = g * shade;
        b.colour[o + 2] = bl * shade;
      }
    }
    // Split the quad along the diagonal whose corners are the more alike,
    // so the shade does not crease.
    const v = f * 4, o = f * 6;
    if (ao[0] + ao[2] >= ao[1] + ao[3]) {
      b.index.set([v, v + 1, v + 2, v, v + 2, v + 3], o);
    } else {
      b.index.set([v + 1, v + 2, v + 3, v + 1, v + 3, v], o);
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
            const colour = colourAt(map, c, h);
            if (isWaterFace(d, h, colour)) emit(water, d, x, y, h, colour, WATER_LINEAR);
            else emit(ground, d, x, y, h, colour, null);
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

export { HEIGHT };
