// Decodes a .vxl map file into per-column bit masks and the stored colours.
//
// Columns are indexed c = y * 512 + x (file order). Bits are by height
// h = 63 - file z, split in two 32-bit halves: `solidLo` holds h 0..31,
// `solidHi` h 32..63; `colouredLo/Hi` mark the solid voxels that carry a
// stored colour. The colours of column c are colours[start[c] ...] in file
// order (top down, so the highest coloured voxel first).
export const SIZE = 512;
export const HEIGHT = 64;
export const COLUMNS = SIZE * SIZE;

function setBit(lo, hi, c, h) {
  if (h < 32) lo[c] |= 1 << h;
  else hi[c] |= 1 << (h - 32);
}

export function decodeVxl(bytes) {
  const solidLo = new Uint32Array(COLUMNS), solidHi = new Uint32Array(COLUMNS);
  const coloredLo = new Uint32Array(COLUMNS), coloredHi = new Uint32Array(COLUMNS);
  const start = new Uint32Array(COLUMNS + 1);
  // A valid file stores at most one colour per four bytes.
  const colors = new Uint32Array(bytes.length >>> 2);
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let count = 0;
  let o = 0;
  const need = (n) => {
    if (o + n > bytes.length) throw new Error(`map data ends inside column ${count}`);
  };
  for (let c = 0; c < COLUMNS; c++) {
    start[c] = count;
    for (;;) {
      need(4);
      const n = bytes[o], top = bytes[o + 1], topEnd = bytes[o + 2];
      const nTop = (topEnd - top + 1) & 0xff;
      need(4 + 4 * nTop);
      for (let k = 0; k < nTop; k++) {
        const h = HEIGHT - 1 - (top + k);
        setBit(solidLo, solidHi, c, h);
        setBit(coloredLo, coloredHi, c, h);
        colors[count++] = view.getUint32(o + 4 + 4 * k, true);
      }
      if (n === 0) {
        // Below the top run everything is solid without colour.
        if (top < HEIGHT) for (let z = top + nTop; z < HEIGHT; z++) setBit(solidLo, solidHi, c, HEIGHT - 1 - z);
        o += 4 + 4 * nTop;
        break;
      }
      const nBottom = n - 1 - nTop;
      need(4 * n + 4);
      const nextAir = bytes[o + 4 * n + 3];
      for (let z = top + nTop; z < nextAir; z++) {
        const h = HEIGHT - 1 - z;
        setBit(solidLo, solidHi, c, h);
        const k = z - (nextAir - nBottom);
        if (k >= 0) {
          setBit(coloredLo, coloredHi, c, h);
          colors[count++] = view.getUint32(o + 4 + 4 * (nTop + k), true);
        }
      }
      o += 4 * n;
    }
  }
  start[COLUMNS] = count;
  return { solidLo, solidHi, coloredLo, coloredHi, start, colors };
}

function popcount(v) {
  v -= (v >>> 1) & 0x55555555;
  v = (v & 0x33333333) + ((v >>> 2) & 0x33333333);
  return (((v + (v >>> 4)) & 0x0f0f0f0f) * 0x01010101) >>> 24;
}

// The colour of the solid voxel at height h of column c, as 0xRRGGBB: its
// stored colour, or grey by its height when it has none (as the preview).
export function colorAt(map, c, h) {
  const lo = map.coloredLo[c], hi = map.coloredHi[c];
  const has = h < 32 ? (lo >>> h) & 1 : (hi >>> (h - 32)) & 1;
  if (!has) {
    const g = Math.floor((h * 255) / (HEIGHT - 1));
    return (g << 16) | (g << 8) | g;
  }
  // Colours above this voxel come first in the list.
  let rank;
  if (h < 32) rank = popcount(h === 31 ? 0 : lo >>> (h + 1)) + popcount(hi);
  else rank = popcount(h === 63 ? 0 : hi >>> (h - 31));
  return map.colors[map.start[c] + rank] & 0xffffff;
}

// Solid at column (x, y), height h. Outside the world's sides and below it
// counts as solid, above it as open sky, as in the mesh.
export function solidAt(map, x, y, h) {
  if (x < 0 || y < 0 || x >= SIZE || y >= SIZE || h < 0) return true;
  if (h >= HEIGHT) return false;
  const c = y * SIZE + x;
  return h < 32 ? ((map.solidLo[c] >>> h) & 1) === 1 : ((map.solidHi[c] >>> (h - 32)) & 1) === 1;
}

// Height of the top of the highest solid voxel of column (x, y) whose top is
// at most `limit`, or 0 when there is none.
export function groundAt(map, x, y, limit) {
  const c = y * SIZE + x;
  const top = Math.min(HEIGHT - 1, Math.floor(limit) - 1);
  for (let h = top; h >= 0; h--) {
    if (h < 32 ? (map.solidLo[c] >>> h) & 1 : (map.solidHi[c] >>> (h - 32)) & 1) return h + 1;
  }
  return 0;
}
