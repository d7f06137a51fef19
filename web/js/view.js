// The content pane beside the tree: the selected node's report list (with the threshold
// editors and the "More" button of a sensor's list), the gauge tiles of "All Sensors value",
// the remote console's place, and the SDR property sheet over it all. A pushed state that
// changes only cell texts (a readings message) updates those cells in place; the table is
// built anew only when its columns, sort, rows or their item data change.
import { sendView } from './api.js';
import { renderSheet } from './sheet.js';

const SORT_MARKS = { ascending: '\u25B2', descending: '\u25BC' };

let pane = null;
let report = () => {};
let shownMode = null;
let shownNode = null;

// The drawn list: its shape key, the columns drawn (their indexes in view.columns), the cell
// text spans by row, and the texts they hold.
let list = null;
// Threshold editors of the drawn list by row; they survive a rebuild of the same node's list.
const editors = new Map();
// Set while the table is rebuilt under a focused editor: its blur is not the end of an edit.
let rebuilding = false;
let gauges = null;

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

async function act(action, body) {
  const result = await sendView(action, body);
  // 409: the view moved on (another node is shown now); the newer state is on its way.
  if (!result.ok && result.status !== 409) {
    report((result.data && result.data.error) || `The ${action} request was refused (${result.status}).`);
  }
  return result;
}

// Columns worth drawing: the titled ones and the filler; unused ones (no title, no width) not.
function drawnColumns(columns) {
  const drawn = [];
  (columns || []).forEach((column, index) => {
    if (column.width > 0 || (column.title || '').trim() !== '') drawn.push(index);
  });
  return drawn;
}

function shapeKey(view) {
  const rows = view.rows || [];
  let key = JSON.stringify([view.node, view.columns, view.sort, rows.length]);
  for (const row of rows) key += `|${row.data}:${row.image}`;
  return key;
}

function buildList(view) {
  const columns = view.columns || [];
  const drawn = drawnColumns(columns);
  const node = view.node;
  const table = element('table', 'view-list');
  const headRow = element('tr');
  let total = 0;
  // The rows are flex boxes (so that rows out of sight skip layout): the column widths are
  // custom properties the style sheet gives the k-th cell of every row.
  drawn.forEach((index, k) => {
    const column = columns[index];
    const width = column.width > 0 ? column.width : 120;
    table.style.setProperty(`--column-${k}`, `${width}px`);
    total += width;
    const th = element('th');
    th.dataset.column = String(index);
    th.scope = 'col';
    const mark = (view.sort && view.sort.marks && view.sort.marks[index]) || '';
    if (mark) th.setAttribute('aria-sort', mark);
    th.append(element('span', 'column-title', column.title), element('span', 'sort-mark', SORT_MARKS[mark] || ''));
    th.addEventListener('click', () => act('sort', { column: index, node }));
    headRow.append(th);
  });
  table.style.width = `${total}px`;
  const thead = element('thead');
  thead.append(headRow);

  const tbody = element('tbody');
  const fragment = document.createDocumentFragment();
  const spans = [];
  const texts = [];
  (view.rows || []).forEach((row, r) => {
    const tr = element('tr');
    tr.dataset.row = String(r);
    tr.dataset.data = String(row.data);
    const rowSpans = [];
    const rowTexts = [];
    drawn.forEach((index, k) => {
      const td = element('td');
      if (k === 0 && row.image) {
        const img = element('img', 'row-icon');
        img.src = `/img/${row.image}.svg`;
        img.alt = '';
        img.width = 19;
        img.height = 19;
        td.append(img);
      }
      const text = (row.cells && row.cells[index]) || '';
      const span = element('span', 'cell-text', text);
      td.append(span);
      tr.append(td);
      rowSpans.push(span);
      rowTexts.push(text);
    });
    spans.push(rowSpans);
    texts.push(rowTexts);
    fragment.append(tr);
  });
  tbody.append(fragment);
  tbody.addEventListener('dblclick', (event) => {
    if (event.target.closest('input, button')) return;
    const tr = event.target.closest('tr');
    if (tr) act('open', { row: Number(tr.dataset.row), node });
  });
  // A text cut by its column shows whole under the pointer.
  tbody.addEventListener('mouseover', (event) => {
    const td = event.target.closest('td');
    const span = td && td.querySelector('.cell-text');
    if (span) td.title = td.scrollWidth > td.clientWidth ? span.textContent : '';
  });
  tbody.addEventListener('click', (event) => {
    const tr = event.target.closest('tr');
    if (!tr) return;
    const previous = tbody.querySelector('tr.selected');
    if (previous) previous.classList.remove('selected');
    tr.classList.add('selected');
  });
  table.append(thead, tbody);
  return { key: shapeKey(view), node, table, drawn, spans, texts };
}

// The cells of a list whose shape is unchanged: only the texts that differ are written.
function updateCells(view) {
  (view.rows || []).forEach((row, r) => {
    const rowTexts = list.texts[r];
    list.drawn.forEach((index, k) => {
      const text = (row.cells && row.cells[index]) || '';
      if (rowTexts[k] !== text) {
        rowTexts[k] = text;
        list.spans[r][k].textContent = text;
      }
    });
  });
}

// The table cell of display row r, column index, or null.
function cellOf(r, index) {
  const k = list ? list.drawn.indexOf(index) : -1;
  if (k < 0 || !list.spans[r]) return null;
  return list.spans[r][k].parentNode;
}

function makeEditor(row, node) {
  const input = element('input', 'threshold-editor');
  input.type = 'number';
  input.step = '1';
  input.dataset.row = String(row);
  input.setAttribute('aria-label', `Threshold of row ${row}`);
  let ended = true;
  const finish = () => {
    if (ended) return;
    ended = true;
    act('edit-end', { row, text: input.value, node });
  };
  input.addEventListener('focus', () => {
    ended = false;
  });
  input.addEventListener('input', () => {
    ended = false;
    act('edit', { row, text: input.value, node });
  });
  input.addEventListener('keydown', (event) => {
    if (event.key === 'Enter') {
      event.preventDefault();
      finish();
      input.blur();
      return;
    }
    // The lower thresholds' spin wraps from one end of its range to the other.
    if (input.dataset.wraps === 'true' && (event.key === 'ArrowUp' || event.key === 'ArrowDown')) {
      const value = Number(input.value);
      const min = Number(input.min);
      const max = Number(input.max);
      const wrapped = event.key === 'ArrowUp' && value >= max ? min : event.key === 'ArrowDown' && value <= min ? max : null;
      if (wrapped !== null) {
        event.preventDefault();
        input.value = String(wrapped);
        input.dispatchEvent(new Event('input'));
      }
    }
  });
  input.addEventListener('blur', () => {
    if (!rebuilding) finish();
  });
  input.addEventListener('dblclick', (event) => event.stopPropagation());
  return input;
}

function syncEditors(view) {
  const wanted = new Map();
  for (const editor of view.editors || []) if (editor.visible) wanted.set(editor.row, editor);
  for (const [row, input] of editors) {
    if (!wanted.has(row)) {
      editors.delete(row);
      input.remove();
    }
  }
  for (const editor of wanted.values()) {
    const cell = cellOf(editor.row, 1);
    if (!cell) continue;
    let input = editors.get(editor.row);
    if (!input) {
      input = makeEditor(editor.row, view.node);
      editors.set(editor.row, input);
    }
    input.min = String(editor.minimum);
    input.max = String(editor.maximum);
    input.dataset.wraps = String(Boolean(editor.wraps));
    if (input.parentNode !== cell) {
      cell.classList.add('has-editor');
      cell.append(input);
    }
    // The operator's own typing is not overwritten; the console echoes it anyway.
    if (document.activeElement !== input && input.value !== editor.text) input.value = editor.text;
  }
}

function syncMoreButton(view) {
  const cell = cellOf(0, 1);
  const existing = list.table.querySelector('button.more');
  if (!view.more || !cell) {
    if (existing) existing.remove();
    return;
  }
  if (existing && existing.parentNode === cell) return;
  if (existing) existing.remove();
  const button = element('button', 'more', 'More');
  button.type = 'button';
  const node = view.node;
  button.addEventListener('click', () => act('more', { node }));
  cell.classList.add('has-editor');
  cell.append(button);
}

function renderList(view) {
  const key = shapeKey(view);
  if (list && list.key === key && list.table.isConnected) {
    updateCells(view);
  } else {
    const focused = [...editors.values()].find((input) => input === document.activeElement);
    const selection = focused ? [focused.selectionStart, focused.selectionEnd] : null;
    rebuilding = Boolean(focused);
    try {
      list = buildList(view);
      pane.replaceChildren(list.table);
      syncEditors(view);
      if (focused && focused.isConnected) {
        focused.focus();
        if (selection && selection[0] !== null) {
          try {
            focused.setSelectionRange(selection[0], selection[1]);
          } catch {
            // number inputs have no selection in some engines
          }
        }
      }
    } finally {
      rebuilding = false;
    }
  }
  syncEditors(view);
  syncMoreButton(view);
}

function tileKey(view) {
  return JSON.stringify([view.node, (view.tiles || []).map((t) => [t.index, t.left, t.top, t.right, t.bottom])]);
}

function buildGauges(view) {
  const box = element('div', 'gauges');
  const tiles = [];
  let width = 0;
  let height = 0;
  for (const tile of view.tiles || []) {
    const div = element('div', 'gauge-tile');
    div.dataset.index = String(tile.index);
    div.style.left = `${tile.left}px`;
    div.style.top = `${tile.top}px`;
    div.style.width = `${tile.right - tile.left}px`;
    div.style.height = `${tile.bottom - tile.top}px`;
    const type = element('img', 'gauge-type');
    type.alt = '';
    const level = element('img', 'gauge-level');
    level.alt = '';
    const caption = element('div', 'gauge-caption');
    const name = element('span', 'gauge-name');
    const value = element('span', 'gauge-value');
    caption.append(name, element('br'), value);
    div.append(type, level, caption);
    box.append(div);
    tiles.push({ type, level, name, value });
    width = Math.max(width, tile.right);
    height = Math.max(height, tile.bottom);
  }
  box.style.width = `${width}px`;
  box.style.height = `${height}px`;
  return { key: tileKey(view), box, tiles };
}

function setIfChanged(object, property, value) {
  if (object[property] !== value) object[property] = value;
}

function renderGauges(view) {
  if (!gauges || gauges.key !== tileKey(view) || !gauges.box.isConnected) {
    gauges = buildGauges(view);
    pane.replaceChildren(gauges.box);
  }
  (view.tiles || []).forEach((tile, i) => {
    const drawn = gauges.tiles[i];
    const type = `/img/${tile.type}.svg`;
    const level = `/img/${tile.level}.svg`;
    if (drawn.type.getAttribute('src') !== type) drawn.type.setAttribute('src', type);
    if (drawn.level.getAttribute('src') !== level) drawn.level.setAttribute('src', level);
    setIfChanged(drawn.name, 'textContent', tile.name);
    setIfChanged(drawn.value, 'textContent', tile.value);
  });
}

function clearPane() {
  list = null;
  gauges = null;
  for (const input of editors.values()) input.remove();
  editors.clear();
  pane.replaceChildren();
}

export function initView(element_, problem) {
  pane = element_;
  report = problem;
}

export function renderView(view, version) {
  if (!pane) return;
  const mode = (view && view.mode) || 'none';
  const node = view ? view.node : null;
  if (mode !== shownMode || node !== shownNode) {
    clearPane();
    shownMode = mode;
    shownNode = node;
  }
  switch (mode) {
    case 'list':
      renderList(view);
      break;
    case 'gauges':
      renderGauges(view);
      break;
    case 'console':
      if (!pane.firstChild) pane.append(element('div', 'console-placeholder', 'The remote console opens here.'));
      break;
    default:
      break;
  }
  renderSheet(view ? view.sheet : null, node);
  pane.dataset.node = node === null ? '' : String(node);
  pane.dataset.mode = mode;
  pane.dataset.version = String(version);
  const readings = (view && view.readings) || { seq: 0, at: 0 };
  pane.dataset.readingsSeq = String(readings.seq);
  pane.dataset.readingsAt = String(readings.at);
}
