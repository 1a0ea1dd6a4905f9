// The strip of thumbnails: the maps of a range of seeds, made in the
// background by several Web Workers, each card with its preview and key
// figures; sorted and filtered by any figure; a click opens the map.

// How many workers make thumbnails. Each holds one map at a time, about
// 300 MB at its peak (the map's grids, its file and the module's heap), and
// a laptop browser gives a page a few GB at most: the workers take at most a
// quarter of the memory the device reports (Chromium says, rounded down to
// at most 8 GB; others are taken for 4 GB), and leave one processor to the
// page and its own map maker.
export function thumbnailWorkers() {
  const cores = navigator.hardwareConcurrency || 2;
  const gigabytes = navigator.deviceMemory || 4;
  return Math.max(1, Math.min(cores - 1, Math.floor((gigabytes * 1024) / 4 / 300), 8));
}

const SIZE = 128;
// The figures a card shows, besides the seed.
const KEY_FIGURES = [['fairness', 'fairness ', ''], ['water_percent', '', '% water'], ['trees', '', ' trees']];

export class ThumbnailStrip {
  // workerUrl: the map maker's script; element: where the cards go;
  // onOpen(seed): a card was clicked; onProgress(done, count, ms).
  constructor(workerUrl, element, { onOpen, onProgress }) {
    this.workerUrl = workerUrl;
    this.element = element;
    this.onOpen = onOpen;
    this.onProgress = onProgress;
    this.workers = [];
    this.cards = [];
    this.range = null;
    this.order = { key: 'seed', descending: false };
    this.where = null;  // {key, op: '>=' or '<=', value}
  }

  // Makes the cards of `count` seeds from `from` (wrapping round the 32-bit
  // range), with the map options `variant`.
  show(from, count, variant) {
    this.stop();
    this.range = { from, count, variant };
    this.element.replaceChildren();
    this.cards = [];
    const seeds = Array.from({ length: count }, (_, i) => ((from + i + 2 ** 31) % 2 ** 32 + 2 ** 32) % 2 ** 32 - 2 ** 31);
    for (const seed of seeds) {
      const card = document.createElement('button');
      card.type = 'button';
      card.className = 'card waiting';
      card.dataset.seed = String(seed);
      const canvas = document.createElement('canvas');
      canvas.width = canvas.height = SIZE;
      const label = document.createElement('div');
      label.textContent = String(seed);
      card.append(canvas, label);
      card.addEventListener('click', () => this.onOpen(seed));
      this.element.append(card);
      this.cards.push({ seed, card, figures: null });
    }
    const queue = this.cards.slice();
    const started = performance.now();
    let done = 0;
    const n = Math.min(thumbnailWorkers(), queue.length);
    this.workerCount = n;
    for (let i = 0; i < n; i++) {
      const worker = new Worker(this.workerUrl);
      this.workers.push(worker);
      const next = () => {
        const item = queue.shift();
        if (!item) {
          // Done: its memory goes back at once.
          worker.terminate();
          this.workers = this.workers.filter((w) => w !== worker);
          return;
        }
        worker.onmessage = ({ data }) => {
          this.fill(item, data);
          done++;
          this.onProgress(done, count, performance.now() - started);
          next();
        };
        worker.postMessage({ id: item.seed, seed: item.seed, debug: false, variant, what: ['figures', 'thumbnail'] });
      };
      next();
    }
    this.onProgress(0, count, 0);
  }

  fill(item, data) {
    const { card } = item;
    card.classList.remove('waiting');
    if (data.error) {
      card.classList.add('failed');
      card.lastChild.textContent = `${item.seed}: ${data.error}`;
      return;
    }
    item.figures = JSON.parse(data.figures);
    card.firstChild.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(data.thumbnail.buffer), SIZE, SIZE), 0, 0);
    card.lastChild.textContent = `${item.seed} · ${KEY_FIGURES.map(([k, before, after]) => `${before}${item.figures[k]}${after}`).join(' · ')}`;
    card.title = Object.entries(item.figures).map(([k, v]) => `${k} ${v}`).join('\n');
    this.arrange();
  }

  stop() {
    for (const w of this.workers) w.terminate();
    this.workers = [];
  }

  // Sorts by a figure ('seed' or a figure's key) and hides the cards the
  // filter leaves out (those without figures yet stay, at the end).
  setOrder(key, descending) {
    this.order = { key, descending };
    this.arrange();
  }

  setWhere(where) {
    this.where = where;
    this.arrange();
  }

  valueOf(item, key) {
    return key === 'seed' ? item.seed : item.figures ? item.figures[key] : undefined;
  }

  arrange() {
    const { key, descending } = this.order;
    const sorted = this.cards.slice().sort((a, b) => {
      const va = this.valueOf(a, key), vb = this.valueOf(b, key);
      if (va === undefined || vb === undefined) return (va === undefined) - (vb === undefined);
      return (descending ? vb - va : va - vb) || a.seed - b.seed;
    });
    for (const item of sorted) {
      const w = this.where;
      const v = w && this.valueOf(item, w.key);
      item.card.hidden = Boolean(w && v !== undefined && !(w.op === '>=' ? v >= w.value : v <= w.value));
      this.element.append(item.card);
    }
  }

  // The order of the cards shown, as seeds.
  shownSeeds() {
    return Array.from(this.element.children).filter((c) => !c.hidden).map((c) => Number(c.dataset.seed));
  }
}
