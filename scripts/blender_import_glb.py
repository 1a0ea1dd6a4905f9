# Run by scripts/blender-check.sh inside Blender: imports a .glb file and
# prints "faces N" (the polygons of all imported meshes).
import sys

# Debian's numpy has dropped numpy.bool, which Blender 3.4's glTF importer
# still uses.
import numpy

numpy.bool = bool
import bpy

path = sys.argv[sys.argv.index("--") + 1]
bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=path)
faces = sum(len(o.data.polygons) for o in bpy.data.objects if o.type == "MESH")
print(f"faces {faces}")
