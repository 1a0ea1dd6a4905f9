// The 3D view of a map file: decodes it, builds its visible faces and shows
// them in an orbit view (key 1) and a walk view (key 2; V switches).
// Used by the `vxltool view` page and by the map maker's page.
import * as THREE from 'three';
import { OrbitControls } from 'three/examples/jsm/controls/OrbitControls.js';
import { decodeVxl, groundAt, solidAt, SIZE, HEIGHT } from './vxl.js';
import { buildSurface } from './surface.js';

const EYE = 2.5;          // eye over the feet, in voxels
const STEP = 1.05;        // highest ledge a walker steps up
const WALK_SPEED = 8;     // voxels per second
const RUN_FACTOR = 3;
const TURN_SPEED = 1.8;   // radians per second, arrow keys
const SKY = 0xbcd3e8;

function geometryOf(b) {
  const g = new THREE.BufferGeometry();
  g.setAttribute('position', new THREE.BufferAttribute(b.position, 3));
  g.setAttribute('normal', new THREE.BufferAttribute(b.normal, 3, true));
  g.setAttribute('color', new THREE.BufferAttribute(b.color, 3, true));
  g.setIndex(new THREE.BufferAttribute(b.index, 1));
  g.boundingSphere = new THREE.Sphere(new THREE.Vector3(SIZE / 2, HEIGHT / 2, SIZE / 2), SIZE * 0.75);
  return g;
}

// The lowest ground height of the map (its top solid voxel per column).
function lowestGround(map) {
  let low = HEIGHT;
  for (let y = 0; y < SIZE; y += 8) for (let x = 0; x < SIZE; x += 8) low = Math.min(low, groundAt(map, x, y, HEIGHT));
  return low;
}


// Outline columns of the start regions as glowing posts, so they show from
// afar and from the ground.
function startMarkers(starts) {
  const group = new THREE.Group();
  const n = starts.length / 4;
  if (!n) return group;
  const post = new THREE.BoxGeometry(1, 3, 1);
  post.translate(0.5, 1.5, 0.5);
  for (const [region, color] of [[0, 0x4050ff], [1, 0x20e040]]) {
    const count = starts.filter((_, i) => i % 4 === 3 && starts[i] === region).length;
    if (!count) continue;
    const material = new THREE.MeshBasicMaterial({ color: color, transparent: true, opacity: 0.55, depthWrite: false });
    const mesh = new THREE.InstancedMesh(post, material, count);
    const m = new THREE.Matrix4();
    let k = 0;
    for (let i = 0; i < n; i++) {
      if (starts[4 * i + 3] !== region) continue;
      m.makeTranslation(starts[4 * i], starts[4 * i + 2], starts[4 * i + 1]);
      mesh.setMatrixAt(k++, m);
    }
    mesh.frustumCulled = false;
    group.add(mesh);
  }
  return group;
}


// The walker's readout: map coordinates, height and heading, a compass and a
// top-down minimap marking where the walker stands and looks. Map y grows
// southward (as in the preview): north is up on the minimap.
const HEADINGS = ['N', 'NE', 'E', 'SE', 'S', 'SW', 'W', 'NW'];
const MINIMAP = 168;

function topColors(map) {
  const image = new ImageData(SIZE, SIZE);
  const d = image.data;
  for (let c = 0; c < SIZE * SIZE; c++) {
    const ground = groundAt(map, c % SIZE, Math.floor(c / SIZE), HEIGHT);
    // The highest stored colour, else grey by height, as in the preview.
    const colored = map.start[c + 1] > map.start[c];
    const rgb = colored ? map.colors[map.start[c]] & 0xffffff : ((ground * 4) & 0xff) * 0x010101;
    d[4 * c] = rgb >> 16; d[4 * c + 1] = (rgb >> 8) & 0xff; d[4 * c + 2] = rgb & 0xff; d[4 * c + 3] = 255;
  }
  return image;
}

function walkerHud(map, parent) {
  const box = document.createElement('div');
  box.id = 'walker';
  box.style.cssText = 'position:absolute;top:10px;right:10px;padding:6px;border-radius:6px;display:none;'
    + 'background:rgba(255,255,255,0.82);box-shadow:0 1px 4px rgba(0,0,0,0.25);font:12px/1.3 system-ui,sans-serif;'
    + 'color:#1d2430;text-align:center';
  const mini = document.createElement('canvas');
  mini.id = 'minimap';
  mini.width = mini.height = MINIMAP;
  mini.title = 'the map from above, north up; the arrow is you';
  const compass = document.createElement('canvas');
  compass.id = 'compass';
  compass.width = compass.height = 56;
  const text = document.createElement('div');
  text.id = 'walker-place';
  const row = document.createElement('div');
  row.style.cssText = 'display:flex;gap:6px;align-items:center;justify-content:center';
  row.append(compass, text);
  box.append(mini, row);
  parent.appendChild(box);

  const base = document.createElement('canvas');
  base.width = base.height = SIZE;
  base.getContext('2d').putImageData(topColors(map), 0, 0);
  const g = mini.getContext('2d');
  const k = compass.getContext('2d');
  return {
    show(on) { box.style.display = on ? 'block' : 'none'; },
    update(walker) {
      // Heading clockwise from north (-map y): forward is (-sin yaw, -cos yaw) in (x, y).
      const bearing = ((((-walker.yaw * 180) / Math.PI) % 360) + 360) % 360;
      text.textContent = `x ${Math.floor(walker.x)}, y ${Math.floor(walker.z)}\n`
        + `height ${Math.round(walker.feet)}\nfacing ${HEADINGS[Math.round(bearing / 45) % 8]} ${Math.round(bearing)}°`;
      text.style.whiteSpace = 'pre';
      g.imageSmoothingEnabled = true;
      g.drawImage(base, 0, 0, MINIMAP, MINIMAP);
      const px = (walker.x / SIZE) * MINIMAP, py = (walker.z / SIZE) * MINIMAP;
      const fx = -Math.sin(walker.yaw), fy = -Math.cos(walker.yaw);
      g.save();
      g.translate(px, py);
      g.rotate(Math.atan2(fy, fx) + Math.PI / 2);
      g.beginPath();
      g.moveTo(0, -9); g.lineTo(6, 6); g.lineTo(0, 3); g.lineTo(-6, 6); g.closePath();
      g.fillStyle = '#ff3020'; g.strokeStyle = '#fff'; g.lineWidth = 1.5;
      g.fill(); g.stroke();
      g.restore();
      // The compass turns with the view: its N points to the north.
      k.clearRect(0, 0, 56, 56);
      k.save();
      k.translate(28, 28);
      k.beginPath(); k.arc(0, 0, 25, 0, 2 * Math.PI);
      k.fillStyle = 'rgba(255,255,255,0.9)'; k.fill(); k.strokeStyle = '#556'; k.lineWidth = 1.5; k.stroke();
      k.rotate((-bearing * Math.PI) / 180);
      k.beginPath(); k.moveTo(0, -19); k.lineTo(5, 0); k.lineTo(-5, 0); k.closePath(); k.fillStyle = '#d02020'; k.fill();
      k.beginPath(); k.moveTo(0, 19); k.lineTo(5, 0); k.lineTo(-5, 0); k.closePath(); k.fillStyle = '#778'; k.fill();
      k.fillStyle = '#1d2430'; k.font = 'bold 10px system-ui,sans-serif'; k.textAlign = 'center';
      k.fillText('N', 0, -12 - 9);
      k.restore();
    },
    remove() { box.remove(); },
  };
}

// Shows the map file `bytes` on `canvas` until dispose() is called; calls
// onFirstPicture({faces, waterFaces, triangles, firstFrameMs}) once the first
// picture is drawn. Returns {map, surface, dispose}.
export function startView(canvas, bytes, { onFirstPicture = () => {} } = {}) {
  const map = decodeVxl(bytes);
  const surface = buildSurface(map);
  const signal = new AbortController();
  const on = (target, type, fn) => target.addEventListener(type, fn, { signal: signal.signal });
  const disposers = [];
  const renderer = new THREE.WebGLRenderer({ canvas, antialias: true });
  renderer.setPixelRatio(Math.min(window.devicePixelRatio, 2));
  renderer.setSize(window.innerWidth, window.innerHeight);

  const scene = new THREE.Scene();
  scene.background = new THREE.Color(SKY);
  scene.fog = new THREE.Fog(SKY, 400, 1200);
  scene.add(new THREE.HemisphereLight(0xe4eeff, 0x6a5a48, 1.9));
  // The sun from the map's top left (small x and y), as in the preview.
  const sun = new THREE.DirectionalLight(0xfff4e0, 2.2);
  sun.position.set(-0.55, 1.0, -0.45);
  scene.add(sun);

  const ground = new THREE.Mesh(geometryOf(surface.ground), new THREE.MeshLambertMaterial({ vertexColors: true }));
  scene.add(ground);
  if (surface.water.faces) {
    const water = new THREE.Mesh(
      geometryOf(surface.water),
      new THREE.MeshPhongMaterial({
        vertexColors: true, specular: 0x8fb4d8, shininess: 90, transparent: true, opacity: 0.92,
      }),
    );
    scene.add(water);
  }
  scene.add(startMarkers(surface.starts));

  // Orbit view: the whole map from the south-east, above.
  const aspect = window.innerWidth / window.innerHeight;
  const orbitCamera = new THREE.PerspectiveCamera(50, aspect, 1, 4000);
  const centre = new THREE.Vector3(SIZE / 2, Math.max(lowestGround(map), 0), SIZE / 2);
  orbitCamera.position.set(SIZE / 2 + 60, 380, SIZE / 2 + 470);
  const orbit = new OrbitControls(orbitCamera, canvas);
  orbit.target.copy(centre);
  orbit.maxPolarAngle = Math.PI * 0.47;
  orbit.minDistance = 10;
  orbit.maxDistance = 1600;
  orbit.update();

  // Walk view: a player on the ground; yaw and pitch from the mouse.
  const walkCamera = new THREE.PerspectiveCamera(70, aspect, 0.1, 1000);
  walkCamera.rotation.order = 'YXZ';
  const walker = { x: SIZE / 2, z: SIZE / 2, feet: 0, yaw: 0, pitch: -0.08, fall: 0 };
  const keys = new Set();
  let mode = 'orbit';
  const hud = walkerHud(map, canvas.parentElement);
  let dirty = true;

  const groundUnder = (x, z, feet) =>
    groundAt(map, Math.floor(x), Math.floor(z), feet + STEP);
  // A column the walker fits in: nothing solid from the ground it would stand
  // on up to its head.
  const fits = (x, z, feet) => {
    const cx = Math.floor(x), cz = Math.floor(z);
    const g = groundAt(map, cx, cz, feet + STEP);
    for (let h = g; h < g + EYE; h++) if (solidAt(map, cx, cz, h)) return false;
    return true;
  };
  const placeWalkCamera = () => {
    hud.update(walker);
    walkCamera.position.set(walker.x, walker.feet + EYE, walker.z);
    walkCamera.rotation.set(walker.pitch, walker.yaw, 0);
  };
  const enterWalk = () => {
    // Stand where the orbit view looks, facing the same way.
    walker.x = THREE.MathUtils.clamp(orbit.target.x, 0.5, SIZE - 0.5);
    walker.z = THREE.MathUtils.clamp(orbit.target.z, 0.5, SIZE - 0.5);
    walker.feet = groundUnder(walker.x, walker.z, HEIGHT);
    const d = new THREE.Vector3().subVectors(orbit.target, orbitCamera.position);
    walker.yaw = Math.atan2(-d.x, -d.z);
    walker.pitch = -0.08;
    mode = 'walk';
    hud.show(true);
    orbit.enabled = false;
    scene.fog.near = 40;
    scene.fog.far = 320;
    placeWalkCamera();
    dirty = true;
  };
  const enterOrbit = () => {
    mode = 'orbit';
    hud.show(false);
    orbit.enabled = true;
    if (document.pointerLockElement) document.exitPointerLock();
    dirty = true;
  };
  const fitOrbitFog = () => {
    const d = orbitCamera.position.distanceTo(orbit.target);
    scene.fog.near = d * 1.1;
    scene.fog.far = d * 3;
  };
  orbit.addEventListener('change', () => { dirty = true; });

  on(window, 'keydown', (e) => {
    if (e.target instanceof HTMLInputElement) return;  // typing a seed
    if (e.key === '1') enterOrbit();
    else if (e.key === '2') enterWalk();
    else if (e.key === 'v' || e.key === 'V') (mode === 'orbit' ? enterWalk : enterOrbit)();
    keys.add(e.code);
    if (mode === 'walk' && e.code.startsWith('Arrow')) e.preventDefault();
  });
  on(window, 'keyup', (e) => keys.delete(e.code));
  on(window, 'blur', () => keys.clear());
  // Mouse look: with the pointer captured (click), or by dragging.
  let dragging = false;
  on(canvas, 'pointerdown', (e) => {
    if (mode !== 'walk') return;
    dragging = true;
    if (e.button === 0 && !document.pointerLockElement && canvas.requestPointerLock) {
      try {
        const p = canvas.requestPointerLock();
        if (p && p.catch) p.catch(() => {});
      } catch { /* dragging still works */ }
    }
  });
  on(window, 'pointerup', () => { dragging = false; });
  on(window, 'pointermove', (e) => {
    if (mode !== 'walk' || !(dragging || document.pointerLockElement === canvas)) return;
    walker.yaw -= e.movementX * 0.0025;
    walker.pitch = THREE.MathUtils.clamp(walker.pitch - e.movementY * 0.0025, -1.5, 1.5);
    dirty = true;
  });
  on(window, 'resize', () => {
    renderer.setSize(window.innerWidth, window.innerHeight);
    for (const cam of [orbitCamera, walkCamera]) {
      cam.aspect = window.innerWidth / window.innerHeight;
      cam.updateProjectionMatrix();
    }
    dirty = true;
  });

  const moveWalker = (dt) => {
    const turn = (keys.has('ArrowLeft') ? 1 : 0) - (keys.has('ArrowRight') ? 1 : 0);
    const look = (keys.has('ArrowUp') ? 1 : 0) - (keys.has('ArrowDown') ? 1 : 0);
    walker.yaw += turn * TURN_SPEED * dt;
    walker.pitch = THREE.MathUtils.clamp(walker.pitch + look * TURN_SPEED * 0.6 * dt, -1.5, 1.5);
    const forward = (keys.has('KeyW') ? 1 : 0) - (keys.has('KeyS') ? 1 : 0);
    const strafe = (keys.has('KeyD') ? 1 : 0) - (keys.has('KeyA') ? 1 : 0);
    let moved = turn !== 0 || look !== 0;
    if (forward || strafe) {
      const speed = WALK_SPEED * (keys.has('ShiftLeft') || keys.has('ShiftRight') ? RUN_FACTOR : 1) * dt;
      const len = Math.hypot(forward, strafe);
      const sin = Math.sin(walker.yaw), cos = Math.cos(walker.yaw);
      const dx = ((-sin * forward + cos * strafe) / len) * speed;
      const dz = ((-cos * forward - sin * strafe) / len) * speed;
      // One axis at a time, so the walker slides along walls; never off the map.
      const nx = THREE.MathUtils.clamp(walker.x + dx, 0.3, SIZE - 0.3);
      if (fits(nx, walker.z, walker.feet)) walker.x = nx;
      const nz = THREE.MathUtils.clamp(walker.z + dz, 0.3, SIZE - 0.3);
      if (fits(walker.x, nz, walker.feet)) walker.z = nz;
      moved = true;
    }
    // Up a ledge at once, down by falling.
    const g = groundUnder(walker.x, walker.z, walker.feet);
    if (g >= walker.feet) {
      walker.feet = g;
      walker.fall = 0;
    } else {
      walker.fall += 30 * dt;
      walker.feet = Math.max(g, walker.feet - walker.fall * dt);
      moved = true;
    }
    if (moved) {
      placeWalkCamera();
      dirty = true;
    }
  };

  let last = performance.now();
  let frames = 0;
  window.viewFrames = 0;  // pictures drawn, for the page tests
  let stopped = false;
  const frame = (now) => {
    if (stopped) return;
    // Slow software rendering still moves at the right speed, in bigger steps.
    const dt = Math.min((now - last) / 1000, 0.25);
    last = now;
    if (mode === 'walk') moveWalker(dt);
    if (dirty) {
      if (mode === 'orbit') fitOrbitFog();
      renderer.render(scene, mode === 'orbit' ? orbitCamera : walkCamera);
      dirty = false;
      window.viewFrames++;
      if (++frames === 1) {
        onFirstPicture({ faces: surface.faces, waterFaces: surface.waterFaces, triangles: 2 * surface.faces,
                         firstFrameMs: Math.round(performance.now()) });
      }
    }
    requestAnimationFrame(frame);
  };
  requestAnimationFrame(frame);

  const dispose = () => {
    stopped = true;
    signal.abort();
    hud.remove();
    orbit.dispose();
    scene.traverse((o) => {
      if (o.geometry) o.geometry.dispose();
      if (o.material) o.material.dispose();
    });
    renderer.dispose();
  };
  return { map, surface, dispose };
}

