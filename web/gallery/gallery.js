// The gallery page: cards from the data block, sorting, a range filter and
// a viewer for the large previews. Works from disk: everything it needs is
// in the page or beside it. A gallery may hold 100,000 maps: the cards are
// made a page at a time, as the reader scrolls to the end of those shown, so
// that loading, sorting and filtering stay quick at any size.
'use strict';

const data = JSON.parse(document.getElementById('gallery-data').textContent);

const figures = [
  { key: 'seed', label: 'seed' },
  { key: 'water', label: 'water share', unit: '%', digits: 1 },
  { key: 'high', label: `high ground (height ${data.highGround}+)`, unit: '%', digits: 1 },
  { key: 'minHeight', label: 'lowest height' },
  { key: 'maxHeight', label: 'highest height' },
  { key: 'meanHeight', label: 'mean height', digits: 1 },
  { key: 'trees', label: 'trees' },
];
const figureByKey = new Map(figures.map((f) => [f.key, f]));

const $ = (id) => document.getElementById(id);
const el = (tag, props = {}, ...children) => {
  const node = Object.assign(document.createElement(tag), props);
  node.append(...children);
  return node;
};
const format = (figure, value) =>
  (figure.digits ? value.toFixed(figure.digits) : String(value)) + (figure.unit ? ` ${figure.unit}` : '');

const state = { sort: 'seed', descending: false, filter: 'water', min: '', max: '' };

function makeCard(map) {
  const target = map.page || map.preview;
  const open = el('a', { className: 'open', href: target, title: map.page ? '3D view' : 'large preview' },
    el('img', { src: map.thumbnail, width: 128, height: 128, alt: `map of seed ${map.seed}`, loading: 'lazy' }));
  open.addEventListener('click', (event) => {
    if (map.page || event.button !== 0 || event.ctrlKey || event.metaKey || event.shiftKey) return;
    event.preventDefault();
    showViewer(map);
  });
  const rows = [
    ['water', 'water', format(figureByKey.get('water'), map.water)],
    ['heights', 'maxHeight', `${map.minHeight} to ${map.maxHeight}`],
    ['mean height', 'meanHeight', map.meanHeight.toFixed(1)],
    ['high ground', 'high', format(figureByKey.get('high'), map.high)],
    ['trees', 'trees', String(map.trees)],
  ];
  const list = el('dl');
  for (const [label, key, text] of rows) {
    const value = el('dd', {}, text);
    value.dataset.figure = key;
    if (key === 'maxHeight') value.dataset.also = 'minHeight';
    list.append(el('dt', {}, label), value);
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
    open, el('h2', {}, `seed ${map.seed}`, el('span', { className: 'kind' }, map.page ? '3D' : '')),
    list, el('div', { className: 'command' }, code, copy), files);
  card.dataset.seed = map.seed;
  for (const f of figures) card.dataset[f.key] = map[f.key];
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
// filter; how many of them have their card on the page.
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
  for (const dd of card.querySelectorAll('dd')) {
    const also = (dd.dataset.also || '').split(' ');
    dd.classList.toggle('sorted', dd.dataset.figure === state.sort || also.includes(state.sort));
  }
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
  const min = state.min === '' ? -Infinity : Number(state.min);
  const max = state.max === '' ? Infinity : Number(state.max);
  shownMaps = data.seeds.filter((map) => map[state.filter] >= min && map[state.filter] <= max)
    .sort((a, b) => sign * (a[key] - b[key]) || a.seed - b.seed);
  $('cards').replaceChildren();
  rendered = 0;
  renderMore();
  $('shown').textContent = `${shownMaps.length} of ${data.seeds.length} shown`;
  $('sort-direction').textContent = state.descending ? 'descending' : 'ascending';
  const hash = new URLSearchParams({ sort: state.sort, order: state.descending ? 'down' : 'up', show: state.filter });
  if (state.min !== '') hash.set('from', state.min);
  if (state.max !== '') hash.set('to', state.max);
  try {
    history.replaceState(null, '', `#${hash}`);
  } catch {
    // Some browsers refuse to change the address of a page opened from disk.
  }
}

function readHash() {
  const hash = new URLSearchParams(location.hash.slice(1));
  if (figureByKey.has(hash.get('sort'))) state.sort = hash.get('sort');
  state.descending = hash.get('order') === 'down';
  if (figureByKey.has(hash.get('show'))) state.filter = hash.get('show');
  for (const [name, field] of [['from', 'min'], ['to', 'max']]) {
    const value = hash.get(name);
    if (value !== null && value !== '' && Number.isFinite(Number(value))) state[field] = value;
  }
}

function setUpControls() {
  for (const select of [$('sort-key'), $('filter-key')])
    for (const f of figures) select.append(el('option', { value: f.key }, f.label));
  readHash();
  $('sort-key').value = state.sort;
  $('filter-key').value = state.filter;
  $('filter-min').value = state.min;
  $('filter-max').value = state.max;
  $('sort-key').addEventListener('change', (e) => { state.sort = e.target.value; apply(); });
  $('sort-direction').addEventListener('click', () => { state.descending = !state.descending; apply(); });
  $('filter-key').addEventListener('change', (e) => {
    state.filter = e.target.value;
    state.min = state.max = $('filter-min').value = $('filter-max').value = '';
    apply();
  });
  for (const [id, field] of [['filter-min', 'min'], ['filter-max', 'max']])
    $(id).addEventListener('input', (e) => { state[field] = e.target.value; apply(); });
  $('filter-clear').addEventListener('click', () => {
    state.min = state.max = $('filter-min').value = $('filter-max').value = '';
    apply();
  });
  $('controls').addEventListener('submit', (e) => e.preventDefault());
}

let viewing = null;

function showViewer(map) {
  viewing = map;
  $('viewer-image').src = map.preview;
  $('viewer-image').alt = `preview of seed ${map.seed}`;
  $('viewer-title').textContent = `seed ${map.seed}`;
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
  $('summary').textContent = `${data.seeds.length} maps${data.debug ? ', with start regions (-d)' : ''}` +
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
