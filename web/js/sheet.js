// The SDR property sheet over the content pane: the sensor's information, its threshold
// spins with their converted values and the threshold bar, and its event masks. Moving a
// spin, OK and Cancel go to the console, which holds the sheet; the sheet stays as drawn
// while it is open (same title), taking new values into its fields.
import { sendView } from './api.js';

const INFORMATION = [
  ['Sensor Name', 'sensorName'],
  ['Status', 'status'],
  ['Current Value', 'currentValue'],
  ['Sensor Type', 'sensorType'],
  ['Record ID', 'recordId'],
  ['SDR Version', 'sdrVersion'],
];
const SETTINGS = [
  ['Sensor Name', 'sensorName'],
  ['Current Value', 'currentValue'],
  ['Units', 'units'],
];

let layer = null;
let drawn = null; // { key, box, fields, spinKey, spins, bar, caps, node }
let page = 0;
let serial = 0;

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function field(label, value, id) {
  const row = element('div', 'sheet-field');
  const l = element('label', null, label);
  const input = element('input');
  input.type = 'text';
  input.readOnly = true;
  input.id = id;
  input.value = value || '';
  l.htmlFor = id;
  row.append(l, input);
  return { row, input };
}

function hex4(value) {
  return `0x${(Number(value) >>> 0).toString(16).toUpperCase().padStart(4, '0')}`;
}

function spinKey(spins) {
  return JSON.stringify((spins || []).map((s) => [s.index, s.visible, s.label, s.minimum, s.maximum]));
}

function buildSpins(settings, node) {
  const list = element('div', 'sheet-spins');
  const spins = new Map();
  for (const spin of settings.spins || []) {
    if (!spin.visible) continue;
    const row = element('div', 'sheet-spin-row');
    row.dataset.index = String(spin.index);
    const id = `sheet-${serial}-spin-${spin.index}`;
    const label = element('label', null, spin.label);
    label.htmlFor = id;
    const input = element('input', 'sheet-spin');
    input.type = 'number';
    input.id = id;
    input.min = String(spin.minimum);
    input.max = String(spin.maximum);
    input.step = '1';
    input.dataset.index = String(spin.index);
    input.value = String(spin.position);
    input.addEventListener('input', () => {
      const position = Number.parseInt(input.value, 10);
      if (Number.isFinite(position)) sendView('sheet', { spin: { index: spin.index, position }, node });
    });
    const converted = element('span', 'sheet-converted', spin.converted);
    row.append(label, input, converted);
    list.append(row);
    spins.set(spin.index, { input, converted });
  }
  return { list, spins };
}

function drawBar(bar, target) {
  const fill = target.querySelector('.threshold-fill');
  const fraction = Math.max(0, Math.min(1, Number(bar && bar.filled) || 0));
  target.style.background = (bar && bar.rest) || '#c0c0c0';
  fill.style.width = `${(fraction * 100).toFixed(2)}%`;
  fill.style.background = bar && bar.fill ? bar.fill : 'transparent';
  target.dataset.filled = String(fraction);
}

function selectPage(box, index) {
  page = index;
  box.querySelectorAll('[role="tab"]').forEach((tab, i) => {
    tab.setAttribute('aria-selected', String(i === index));
    tab.tabIndex = i === index ? 0 : -1;
  });
  box.querySelectorAll('[role="tabpanel"]').forEach((panel, i) => {
    panel.hidden = i !== index;
  });
}

function build(sheet, node) {
  serial += 1;
  page = 0;
  const title = sheet.title || 'Properties';
  const box = element('div', 'sheet');
  box.setAttribute('role', 'dialog');
  box.setAttribute('aria-modal', 'true');
  box.setAttribute('aria-label', title);
  box.append(element('div', 'sheet-caption', title));

  const tabs = element('div', 'sheet-tabs');
  tabs.setAttribute('role', 'tablist');
  const pages = sheet.pages && sheet.pages.length ? sheet.pages : ['Information', 'Settings', 'Capabilities'];
  const panels = [];
  pages.forEach((name, i) => {
    const tab = element('button', 'sheet-tab', name);
    tab.type = 'button';
    tab.setAttribute('role', 'tab');
    tab.id = `sheet-${serial}-tab-${i}`;
    tab.setAttribute('aria-controls', `sheet-${serial}-page-${i}`);
    tab.addEventListener('click', () => selectPage(box, i));
    tabs.append(tab);
    const panel = element('div', 'sheet-page');
    panel.setAttribute('role', 'tabpanel');
    panel.id = `sheet-${serial}-page-${i}`;
    panel.setAttribute('aria-labelledby', tab.id);
    panel.dataset.page = name;
    panels.push(panel);
  });
  box.append(tabs, ...panels);

  const fields = {};
  const info = sheet.information || {};
  for (const [label, key] of INFORMATION) {
    const f = field(label, info[key], `sheet-${serial}-info-${key}`);
    fields[`information.${key}`] = f.input;
    panels[0].append(f.row);
  }
  const settings = sheet.settings || {};
  for (const [label, key] of SETTINGS) {
    const f = field(label, settings[key], `sheet-${serial}-settings-${key}`);
    fields[`settings.${key}`] = f.input;
    panels[1].append(f.row);
  }
  const spins = buildSpins(settings, node);
  const bar = element('div', 'threshold-bar');
  bar.append(element('div', 'threshold-fill'));
  drawBar(settings.bar, bar);
  panels[1].append(spins.list, bar);

  const caps = element('ul', 'sheet-caps');
  panels[2].append(caps);

  const buttons = element('div', 'sheet-buttons');
  for (const text of ['OK', 'Cancel']) {
    const button = element('button', null, text);
    button.type = 'button';
    button.dataset.button = text;
    button.addEventListener('click', () => sendView('sheet', { button: text, node }));
    buttons.append(button);
  }
  box.append(buttons);
  selectPage(box, 0);
  return { key: `${node}|${title}`, box, fields, spinKey: spinKey(settings.spins), spins, bar, caps, capsKey: '' };
}

function update(sheet, node) {
  const info = sheet.information || {};
  const settings = sheet.settings || {};
  for (const [, key] of INFORMATION) drawn.fields[`information.${key}`].value = info[key] || '';
  for (const [, key] of SETTINGS) drawn.fields[`settings.${key}`].value = settings[key] || '';
  const key = spinKey(settings.spins);
  if (key !== drawn.spinKey) {
    const fresh = buildSpins(settings, node);
    drawn.spins.list.replaceWith(fresh.list);
    drawn.spins = fresh;
    drawn.spinKey = key;
  }
  for (const spin of settings.spins || []) {
    const shown = drawn.spins.spins.get(spin.index);
    if (!shown) continue;
    if (document.activeElement !== shown.input && shown.input.value !== String(spin.position)) {
      shown.input.value = String(spin.position);
    }
    if (shown.converted.textContent !== spin.converted) shown.converted.textContent = spin.converted;
    shown.input.closest('.sheet-spin-row').classList.toggle('changed', Boolean(spin.changed));
  }
  drawBar(settings.bar, drawn.bar);
  const capsKey = JSON.stringify(sheet.capabilities || []);
  if (capsKey !== drawn.capsKey) {
    drawn.capsKey = capsKey;
    drawn.caps.replaceChildren(
      ...(sheet.capabilities || []).map((cap) => {
        const li = element('li', 'sheet-cap');
        li.dataset.state = cap.icon;
        const img = element('img');
        img.src = `/img/${cap.icon}.svg`;
        img.alt = cap.icon;
        img.width = 16;
        img.height = 16;
        li.append(img, element('span', 'cap-name', cap.name), element('span', 'cap-mask', hex4(cap.mask)));
        return li;
      }),
    );
  }
}

export function renderSheet(sheet, node) {
  if (!layer) {
    layer = document.getElementById('sheet-layer');
    if (!layer) return;
  }
  if (!sheet) {
    if (drawn) {
      drawn = null;
      layer.replaceChildren();
    }
    layer.hidden = true;
    return;
  }
  const key = `${node}|${sheet.title || 'Properties'}`;
  if (!drawn || drawn.key !== key) {
    drawn = build(sheet, node);
    layer.replaceChildren(drawn.box);
  }
  update(sheet, node);
  layer.hidden = false;
}
