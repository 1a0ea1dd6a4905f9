"""Run by scripts/goxel-check.sh: compares the voxels Goxel exported as text
("X Y Z RRGGBB" per line) with the voxels of our .vox file, placed as its
scene graph places them (centre minus half the size). Prints the count and
exits 1 on the first difference."""
import struct
import sys


def vox_voxels(path):
    data = open(path, "rb").read()
    assert data[:4] == b"VOX ", "not a .vox file"
    chunks, at = [], 20
    while at < len(data):
        cid, n, m = data[at : at + 4], *struct.unpack("<ii", data[at + 4 : at + 12])
        chunks.append((cid, data[at + 12 : at + 12 + n]))
        at += 12 + n + m

    def dict_at(b, o):
        (count,), o = struct.unpack("<i", b[o : o + 4]), o + 4
        d = {}
        for _ in range(count):
            (k,) = struct.unpack("<i", b[o : o + 4])
            key, o = b[o + 4 : o + 4 + k].decode(), o + 4 + k
            (v,) = struct.unpack("<i", b[o : o + 4])
            d[key], o = b[o + 4 : o + 4 + v].decode(), o + 4 + v
        return d, o

    models, palette, trn, shp = [], None, {}, {}
    for cid, c in chunks:
        if cid == b"SIZE":
            models.append([struct.unpack("<iii", c), None])
        elif cid == b"XYZI":
            models[-1][1] = c[4:]
        elif cid == b"RGBA":
            palette = [c[4 * i : 4 * i + 3].hex() for i in range(256)]
        elif cid == b"nTRN":
            (node,) = struct.unpack("<i", c[:4])
            _, o = dict_at(c, 4)
            (child,) = struct.unpack("<i", c[o : o + 4])
            frame, _ = dict_at(c, o + 16)
            trn[child] = [int(v) for v in frame.get("_t", "0 0 0").split()]
        elif cid == b"nSHP":
            (node,) = struct.unpack("<i", c[:4])
            _, o = dict_at(c, 4)
            shp[node] = struct.unpack("<i", c[o + 4 : o + 8])[0]
    voxels = {}
    for node, model in shp.items():
        (sx, sy, sz), xyzi = models[model]
        tx, ty, tz = trn[node]
        for i in range(0, len(xyzi), 4):
            x, y, z, c = xyzi[i : i + 4]
            voxels[(tx - sx // 2 + x, ty - sy // 2 + y, tz - sz // 2 + z)] = palette[c - 1]
    return voxels


ours = vox_voxels(sys.argv[1])
goxel = {}
for line in open(sys.argv[2]):
    if line.startswith("#"):
        continue
    x, y, z, colour = line.split()
    goxel[(int(x), int(y), int(z))] = colour
print(f"Goxel: {len(goxel)} voxels, ours {len(ours)}")
if goxel.keys() != ours.keys():
    missing = sorted(set(ours) - set(goxel))[:5]
    extra = sorted(set(goxel) - set(ours))[:5]
    sys.exit(f"goxel-check: voxels differ: missing in Goxel {missing}, only in Goxel {extra}")
off = [(p, ours[p], goxel[p]) for p in ours if ours[p] != goxel[p]]
if off:
    sys.exit(f"goxel-check: {len(off)} voxels differ in colour, such as {off[:5]}")
print("Goxel shows every voxel in its place and colour")
