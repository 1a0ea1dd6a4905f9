// The gallery page: cards from the data block, sorting by any figure,
// filters on several figures at once and a viewer for the large previews.
// Works from disk: everything it needs is in the page or beside it. A
// gallery may hold 100,000 maps: the cards are made a page at a time, as the
// reader scrolls to the end of those shown, so that loading, sorting and
// filtering stay quick at any size.
'use strict';

const data = JSON.parse(document.getElementById('gallery-data').textContent);

// The figures and their names come from the program's one table of them.
const figures = [
  { key: 'seed', unit: '', description: 'the seed', integer: true },
  ...data.figureTable,
];
const figureByKey = new Map(figures.map((f) => [f.key, f]));

// A map of the gallery from its row in the data block: the seed, whether it
// has a 3D page, then its figures in the order of figureTable, and last its
// variant ("" for the specified map). Its files and command follow from the
// seed and the variant.
const column = new Map(data.figureTable.map((f, i) => [f.key, i + 2]));
class GalleryMap {
  constructor(row) {
    this.row = row;
    this.seed = row[0];
    this.variant = row[data.figureTable.length + 2] || '';
    this.file = this.variant ? `${this.seed}+${this.variant}` : String(this.seed);
    this.name = this.variant ? `${this.seed}:${this.variant}` : String(this.seed);
    this.title = this.variant ? `map ${this.name}` : `seed ${this.seed}`;
  }
  get map() { return `${this.file}.vxl`; }
  get thumbnail() { return `${this.file}.thumb.png`; }
  get preview() { return `${this.file}.png`; }
  get page() { return this.row[1] ? `${this.file}.html` : null; }
  get command() {
    return this.variant ? data.variantCommand.replace('NAME', this.name).replace('FILE', this.file)
      : data.command.replaceAll('SEED', String(this.seed));
  }
  get figures() { return Object.fromEntries(data.figureTable.map((f) => [f.key, this.figure(f.key)])); }
  figure(key) { return this.row[column.get(key)]; }
}
const maps = data.seeds.map((row) => new GalleryMap(row));
const value = (map, key) => (key === 'seed' ? map.seed : map.figure(key));

const $ = (id) => document.getElementById(id);
const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};
const format = (key, v) => {
  const f = figureByKey.get(key);
  const text = f.integer ? String(v) : v.toFixed(key === 'fairness' ? 2 : 1);
  return text + (f.unit === '%' ? ' %' : '');
};

// filters: [{ key, min, max }] with min and max as typed ('' for open).
const state = { sort: 'seed', descending: false, filters: [] };

// A figure's value in a card: its key names it, its description explains it.
function figureCell(map, key, text = format(key, value(map, key))) {
  const cell = el('dd', { title: `${key}: ${figureByKey.get(key).description}` }, text);
  cell.dataset.figure = key;
  return cell;
}

function makeCard(map) {
  const target = map.page || map.preview;
  const open = el('a', { className: 'open', href: target, title: map.page ? '3D view' : 'large preview' },
    el('img', { src: map.thumbnail, width: 128, height: 128, alt: `map ${map.name}`, loading: 'lazy' }));
  open.addEventListener('click', (event) => {
    if (map.page || event.button !== 0 || event.ctrlKey || event.metaKey || event.shiftKey) return;
    event.preventDefault();
    showViewer(map);
  });
  const list = el('dl');
  for (const [label, key] of [['water', 'water_percent'], ['highest', 'max_height'], ['trees', 'trees'],
    ['fairness', 'fairness'], ['height advantage', 'height_advantage']])
    list.append(el('dt', {}, label), figureCell(map, key));
  // The two start areas side by side: blue (low x) and green (high x).
  const teams = el('table', { className: 'teams' },
    el('tr', {}, el('th'), el('th', { className: 'blue' }, 'blue'), el('th', { className: 'green' }, 'green')));
  for (const [label, key] of [['water', 'water_percent'], ['mean height', 'mean_height'], ['flat', 'flat_percent'],
    ['slope', 'mean_slope'], ['cover', 'cover']]) {
    const row = el('tr', {}, el('th', {}, label));
    for (const team of ['blue', 'green']) {
      const cell = figureCell(map, `${team}_${key}`);
      row.append(el('td', {}, ...cell.childNodes));
      row.lastChild.dataset.figure = cell.dataset.figure;
      row.lastChild.title = cell.title;
    }
    teams.append(row);
  }
  const code = el('code', {}, map.command);
  const copy = el('button', { type: 'button', title: 'copy the command' }, 'copy');
  copy.addEventListener('click', () => copyCommand(map.command, code, copy));
  // The large preview opens in the viewer, also where the thumbnail opens
  // the 3D page.
  const preview = el('a', { className: 'preview', href: map.preview }, 'preview');
  preview.addEventListener('click', (event) => {
    if (event.button !== 0 || event.ctrlKey || event.metaKey || event.shiftKey) return;
    event.preventDefault();
    showViewer(map);
  });
  const files = el('div', { className: 'files' },
    el('a', { href: map.map, download: map.map }, map.map), preview);
  if (map.page) files.append(el('a', { href: map.page }, '3D view'));
  const card = el('article', { className: 'card' },
    open, el('h2', {}, map.title, el('span', { className: 'kind' }, map.page ? '3D' : '')),
    list, teams, el('div', { className: 'command' }, code, copy), files);
  card.dataset.seed = map.seed;
  card.dataset.map = map.name;
  card.map = map;
  return card;
}

function copyCommand(text, code, button) {
  const done = (label) => { button.textContent = label; setTimeout(() => { button.textContent = 'copy'; }, 1500); };
  const selectText = () => {
    const range = document.createRange();
    range.selectNodeContents(code);
    getSelection().removeAllRanges();
    getSelection().addRange(range);
    done('selected');
  };
  if (navigator.clipboard && window.isSecureContext) {
    navigator.clipboard.writeText(text).then(() => done('copied'), selectText);
  } else {
    selectText();
  }
}

// The cards made so far, by map; the maps in the order shown, after the
// filters; how many of them have their card on the page.
const cardOf = new Map();
let shownMaps = [];
let rendered = 0;
const cardsPerPage = 120;

function cardFor(map) {
  let card = cardOf.get(map);
  if (!card) {
    card = makeCard(map);
    cardOf.set(map, card);
  }
  return card;
}

function markSorted(card) {
  for (const cell of card.querySelectorAll('[data-figure]'))
    cell.classList.toggle('sorted', cell.dataset.figure === state.sort);
}

// Adds the next page of cards, and more while the end is in view.
function renderMore() {
  const end = Math.min(shownMaps.length, rendered + cardsPerPage);
  const added = [];
  for (; rendered < end; ++rendered) {
    const card = cardFor(shownMaps[rendered]);
    markSorted(card);
    added.push(card);
  }
  $('cards').append(...added);
  $('more').hidden = rendered >= shownMaps.length;
  // The observer calls again only when the end comes into view: on a tall
  // window it may still be in view after this page.
  if (rendered < shownMaps.length && $('more').getBoundingClientRect().top < innerHeight + 800)
    requestAnimationFrame(renderMore);
}

new IntersectionObserver((entries) => {
  if (entries.some((e) => e.isIntersecting) && rendered < shownMaps.length) renderMore();
}, { rootMargin: '800px' }).observe($('more'));

function apply() {
  const key = state.sort;
  const sign = state.descending ? -1 : 1;
  const active = state.filters.map((f) => ({
    key: f.key,
    min: f.min === '' ? -Infinity : Number(f.min),
    max: f.max === '' ? Infinity : Number(f.max),
  }));
  shownMaps = maps.filter((map) => active.every((f) => value(map, f.key) >= f.min && value(map, f.key) <= f.max))
    .sort((a, b) => sign * (value(a, key) - value(b, key)) || a.seed - b.seed || (a.variant < b.variant ? -1 : a.variant > b.variant ? 1 : 0));
  $('cards').replaceChildren();
  rendered = 0;
  renderMore();
  $('shown').textContent = `${shownMaps.length} of ${maps.length} shown`;
  $('sort-direction').textContent = state.descending ? 'descending' : 'ascending';
  const hash = new URLSearchParams({ sort: state.sort, order: state.descending ? 'down' : 'up' });
  for (const f of state.filters) hash.append('filter', `${f.key}:${f.min}:${f.max}`);
  try {
    history.replaceState(null, '', `#${hash}`);
  } catch {
    // Some browsers refuse to change the address of a page opened from disk.
  }
}

function figureSelect(selected) {
  const select = el('select');
  for (const f of figures) select.append(el('option', { value: f.key, title: f.description }, f.key));
  select.value = selected;
  return select;
}

// One row of the filters: a figure and its range, kept in `filter`.
function filterRow(filter) {
  const select = figureSelect(filter.key);
  select.className = 'filter-key';
  const min = el('input', { type: 'number', step: 'any', className: 'filter-min', value: filter.min });
  const max = el('input', { type: 'number', step: 'any', className: 'filter-max', value: filter.max });
  const remove = el('button', { type: 'button', className: 'filter-remove', title: 'remove this filter' }, '×');
  const row = el('span', { className: 'filter' }, select, ' from ', min, ' to ', max, remove);
  select.addEventListener('change', () => {
    filter.key = select.value;
    filter.min = filter.max = min.value = max.value = '';
    apply();
  });
  min.addEventListener('input', () => { filter.min = min.value; apply(); });
  max.addEventListener('input', () => { filter.max = max.value; apply(); });
  remove.addEventListener('click', () => {
    state.filters.splice(state.filters.indexOf(filter), 1);
    row.remove();
    apply();
  });
  return row;
}

function addFilter(filter) {
  state.filters.push(filter);
  $('filters').append(filterRow(filter));
}

// More filters than anyone sets by hand: an address with more is cut to
// these, so that a hostile one cannot keep the page busy.
const maxFilters = 32;

function readHash() {
  const hash = new URLSearchParams(location.hash.slice(1));
  if (figureByKey.has(hash.get('sort'))) state.sort = hash.get('sort');
  state.descending = hash.get('order') === 'down';
  // Only what a number box shows (a valid floating-point number, finite):
  // anything else would filter while its box looks empty.
  const number = (text) => (/^-?(\d+|\d*\.\d+)([eE][-+]?\d+)?$/.test(text) && Number.isFinite(Number(text)) ? text : '');
  let taken = 0;
  for (const text of hash.getAll('filter')) {
    if (taken === maxFilters) break;
    const [key, min = '', max = ''] = text.split(':');
    if (!figureByKey.has(key)) continue;
    addFilter({ key, min: number(min), max: number(max) });
    ++taken;
  }
}

function setUpControls() {
  const sort = figureSelect(state.sort);
  sort.id = 'sort-key';
  $('sort-key').replaceWith(sort);
  readHash();
  sort.value = state.sort;
  sort.addEventListener('change', (e) => { state.sort = e.target.value; apply(); });
  $('sort-direction').addEventListener('click', () => { state.descending = !state.descending; apply(); });
  $('filter-add').addEventListener('click', () => { addFilter({ key: 'fairness', min: '', max: '' }); apply(); });
  $('filter-clear').addEventListener('click', () => {
    state.filters = [];
    $('filters').replaceChildren();
    apply();
  });
  $('controls').addEventListener('submit', (e) => e.preventDefault());
}

let viewing = null;

function showViewer(map) {
  viewing = map;
  $('viewer-image').src = map.preview;
  $('viewer-image').alt = `preview of ${map.title}`;
  $('viewer-title').textContent = map.title;
  $('viewer-command').textContent = map.command;
  if (!$('viewer').open) $('viewer').showModal();
}

function setUpViewer() {
  const viewer = $('viewer');
  $('viewer-close').addEventListener('click', () => viewer.close());
  viewer.addEventListener('click', (e) => { if (e.target === viewer) viewer.close(); });
  viewer.addEventListener('keydown', (e) => {
    if (e.key !== 'ArrowLeft' && e.key !== 'ArrowRight') return;
    const shown = shownMaps;
    const at = shown.indexOf(viewing);
    if (at < 0 || shown.length === 0) return;
    const next = shown[(at + (e.key === 'ArrowRight' ? 1 : shown.length - 1)) % shown.length];
    showViewer(next);
    e.preventDefault();
  });
}

function setUpSummary() {
  const failed = data.failed.length;
  $('summary').textContent = `${maps.length} maps${data.debug ? ', with start regions (-d)' : ''}` +
    (failed ? `, ${failed} failed` : '') + ' · click a map to see it large';
  if (failed) {
    $('failed').hidden = false;
    for (const f of data.failed)
      $('failed-list').append(el('li', {}, `seed ${f.seed}: ${f.reason} `, el('code', {}, f.command)));
  }
}

setUpSummary();
setUpControls();
setUpViewer();
apply();
