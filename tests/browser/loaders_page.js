// The page script of the interop test: three.js's own loaders read our .vox
// and .glb files, as a web page of a map maker would. Bundled by the test
// with esbuild; files are read from disk beside the page.
import * as THREE from 'three';
import { VOXLoader, VOXMesh } from 'three/examples/jsm/loaders/VOXLoader.js';
import { GLTFLoader } from 'three/examples/jsm/loaders/GLTFLoader.js';
import { MeshoptDecoder } from 'three/examples/jsm/libs/meshopt_decoder.module.js';

function readFile(url) {
  return new Promise((resolve, reject) => {
    const r = new XMLHttpRequest();
    r.open('GET', url);
    r.responseType = 'arraybuffer';
    r.onload = () => (r.response ? resolve(r.response) : reject(new Error(`cannot read ${url}`)));
    r.onerror = () => reject(new Error(`cannot read ${url}`));
    r.send();
  });
}

function render(objects, size) {
  const renderer = new THREE.WebGLRenderer({ antialias: false, preserveDrawingBuffer: true });
  renderer.setSize(window.innerWidth, window.innerHeight);
  document.body.replaceChildren(renderer.domElement);
  const scene = new THREE.Scene();
  scene.background = new THREE.Color(0x9fc7e8);
  scene.add(new THREE.HemisphereLight(0xffffff, 0x606060, 2.5));
  const sun = new THREE.DirectionalLight(0xffffff, 1.5);
  sun.position.set(-1, 2, -1);
  scene.add(sun);
  for (const o of objects) scene.add(o);
  // From high above, north (away from the viewer) up the screen.
  const camera = new THREE.PerspectiveCamera(40, window.innerWidth / window.innerHeight, 1, 5000);
  camera.position.set(0, size * 1.45, size * 0.35);
  camera.lookAt(0, 0, 0);
  renderer.render(scene, camera);
}

// The models of a .vox file as VOXLoader reads them, each made into a mesh
// and placed at `places[k]` (the file's translation; VOXLoader ignores the
// scene graph), and drawn.
window.loadVox = async (url, places) => {
  const chunks = new VOXLoader().parse(await readFile(url));
  // A file has one palette for all its models; VOXLoader gives it only to
  // the model read last (the others keep its default palette).
  for (const chunk of chunks) chunk.palette = chunks[chunks.length - 1].palette;
  const meshes = chunks.map((chunk, k) => {
    const mesh = new VOXMesh(chunk);
    // Editor x, y, z up -> three.js x, z (toward the viewer is -y), y up.
    const [x, y, z] = places[k];
    mesh.position.set(x, z, -y);
    return mesh;
  });
  render(meshes, 512);
  return chunks.map((c, k) => ({
    size: [c.size.x, c.size.y, c.size.z],
    voxels: c.data.length / 4,
    triangles: meshes[k].geometry.attributes.position.count / 3,
  }));
};

// A .glb file through GLTFLoader (with the meshopt decoder when asked):
// its triangles and its vertex attributes' types.
window.loadGlb = async (url, meshopt) => {
  const loader = new GLTFLoader();
  if (meshopt) {
    await MeshoptDecoder.ready;
    loader.setMeshoptDecoder(MeshoptDecoder);
  }
  const gltf = await loader.parseAsync(await readFile(url), '');
  let triangles = 0;
  const types = new Set();
  gltf.scene.traverse((o) => {
    if (!o.isMesh) return;
    triangles += o.geometry.index.count / 3;
    types.add(o.geometry.attributes.position.array.constructor.name);
  });
  if (meshopt) {
    gltf.scene.position.set(-256, 0, -256);
    render([gltf.scene], 512);
  }
  return { triangles, positionTypes: [...types] };
};

window.pageReady = true;
