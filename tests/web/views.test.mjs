// The content pane in headless Chromium against tarn-console and the simulated fleet
// (vexa-fleet: the fixture BMC on 127.0.0.2, a plain one on 127.0.0.3): the sensor sections
// and their values beside ipmitool's reading of the same simulator, threshold editing in
// the list and in the property sheet read back from the simulator, the health icons after
// a reading driven through the emulator console, the event log and its detail, FRU areas,
// numeric sorting, the gauges, the tree's context menu, and big lists updated in place.
// Screenshots go to build/screenshots/ (VEXA_SCREENSHOT_DIR overrides).
import { describe, test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';
import { BOUND_MS, emulatorCommand, firstLine, stopChild, until } from './harness.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..', '..');
const buildDir = process.env.VEXA_BUILD_DIR || join(root, 'build');
const shotDir = process.env.VEXA_SCREENSHOT_DIR || join(buildDir, 'screenshots');
// The console polls the sensors every 5 s by default: a reading takes up to that long.
const READING_BOUND_MS = 30000;

// The fleet and console of the group running now (each group starts its own).
let fleet = null;
let origin = '';
let token = '';
let page = null;

function start(program, args, what, children) {
  const child = spawn(join(buildDir, 'bin', program), args, { stdio: ['ignore', 'pipe', 'inherit'] });
  children.push(child);
  return firstLine(child, what);
}

// Starts a fleet and a console serving this tree's page, and a browser; returns what to stop.
async function setUp() {
  const group = { children: [], dirs: [], browser: null, line: '' };
  const dataDir = mkdtempSync(join(tmpdir(), 'vexa-views-data-'));
  group.dirs.push(dataDir);
  fleet = JSON.parse(await start('vexa-fleet', ['--data', dataDir], 'vexa-fleet', group.children));
  group.line = await start('tarn-console', ['--listen', '127.0.0.1:0', '--data', dataDir,
    '--rmcp-port', String(fleet.port), '--web', join(root, 'web')], 'tarn-console', group.children);
  const parsed = new URL(group.line);
  origin = parsed.origin;
  token = parsed.searchParams.get('token');
  const userDataDir = mkdtempSync(join(tmpdir(), 'vexa-views-chromium-'));
  group.dirs.push(userDataDir);
  group.browser = await chromium.launchPersistentContext(userDataDir, {
    executablePath: execFileSync('which', ['chromium']).toString().trim(),
    headless: true,
    viewport: { width: 1280, height: 800 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
      '--disable-component-update', '--no-first-run', '--disable-sync'],
  });
  page = await group.browser.newPage();
  await page.goto(group.line);
  await page.waitForSelector('#tree .node');
  // The fleet stored its servers in the registry: load them.
  await command('Server', 'Load Server Node List');
  await until(async () => (await state()).servers.length === 2, 'the stored servers');
  return group;
}

async function tearDown(group) {
  if (!group) return;
  if (group.browser) await group.browser.close();
  for (const child of group.children.reverse()) await stopChild(child);
  for (const dir of group.dirs) rmSync(dir, { recursive: true, force: true });
}

async function api(method, path, body) {
  const response = await fetch(origin + path, {
    method,
    headers: { 'X-Vexa-Token': token, 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  return { status: response.status, data: await response.json() };
}

const state = async () => (await api('GET', '/api/state')).data;

// ipmitool's view of a simulated BMC, over RMCP+ with cipher suite 3.
function ipmitool(ip, ...args) {
  return execFileSync('ipmitool', ['-I', 'lanplus', '-C', '3', '-H', ip, '-p', String(fleet.port),
    '-U', 'admin', '-P', 'vexa-admin-pw', '-L', 'ADMINISTRATOR', ...args], { timeout: BOUND_MS }).toString();
}

// "name | 01h | ok | 3.1 | 45 degrees C" lines of `sdr elist`.
function sdrList(kind) {
  return ipmitool('127.0.0.2', 'sdr', 'elist', kind).trim().split('\n').map((line) => {
    const [name, number, status, , reading] = line.split('|').map((f) => f.trim());
    return { name, number: parseInt(number, 16), status, reading };
  });
}

// A sensor's type number, as `sdr get` prints it: "Sensor Type (Discrete): ... (0x05)".
function sensorType(name) {
  const match = /Sensor Type \([A-Za-z]+\)\s*:.*\(0x([0-9a-f]+)\)/.exec(ipmitool('127.0.0.2', 'sdr', 'get', name));
  assert.ok(match, `the type of ${name}`);
  return parseInt(match[1], 16);
}

// The "Name : value" lines of `sensor get` or `sel get`.
function fields(text) {
  const out = {};
  for (const line of text.split('\n')) {
    const colon = line.indexOf(':');
    if (colon > 0) out[line.slice(0, colon).trim()] = line.slice(colon + 1).trim();
  }
  return out;
}

const sensorGet = (name) => fields(ipmitool('127.0.0.2', 'sensor', 'get', name));

// One command on the fixture BMC's emulator console.
const emulator = (command) => emulatorCommand('127.0.0.2', fleet.servers[0].console, command);

const near = (shown, expected, what) => {
  const a = parseFloat(shown);
  const b = parseFloat(expected);
  // ipmitool rounds to its own precision (whole degrees and RPM, hundredths of volts)
  const slack = /\./.test(expected) ? 0.006 + Math.abs(b) * 0.001 : 0.5;
  assert.ok(Math.abs(a - b) <= slack, `${what}: the page shows "${shown}", ipmitool "${expected}"`);
};

function find(node, check) {
  if (check(node)) return node;
  for (const child of node.children) {
    const found = find(child, check);
    if (found) return found;
  }
  return null;
}

function pathTo(node, value, trail = []) {
  if (node.value === value) return [...trail, node.value];
  for (const child of node.children) {
    const found = pathTo(child, value, [...trail, node.value]);
    if (found) return found;
  }
  return null;
}

// Waits until the pane has drawn node value.
async function drawn(value) {
  await page.waitForFunction((v) => document.querySelector('#content').dataset.node === String(v), value, { timeout: BOUND_MS });
}

// Opens a node by clicking it in the tree, expanding its ancestors first.
async function openNode(value) {
  const path = pathTo((await state()).tree, value);
  assert.ok(path, `node ${value} is in the tree`);
  for (const ancestor of path.slice(0, -1)) {
    const li = page.locator(`#tree li[data-value="${ancestor}"]`);
    if ((await li.getAttribute('aria-expanded')) === 'false') await li.locator('> .twisty').click();
  }
  await page.locator(`#tree li[data-value="${value}"] > .node`).click();
  await drawn(value);
}

// Double-clicks display row r of the shown list and waits for the child it names.
async function openRow(r) {
  const row = page.locator(`#content tr[data-row="${r}"]`);
  const child = Number(await row.getAttribute('data-data'));
  await row.locator('td').first().dblclick();
  await drawn(child);
  return child;
}

const listCells = () =>
  page.evaluate(() => [...document.querySelectorAll('#content table.view-list tbody tr')].map((tr) =>
    [...tr.cells].map((td) => td.querySelector('.cell-text').textContent)));

const headers = () => page.locator('#content th').evaluateAll((ths) => ths.map((th) => th.querySelector('.column-title').textContent));

const shownModal = () =>
  page.evaluate(() => {
    const box = document.querySelector('.modal');
    if (!box) return null;
    const text = box.querySelector('.modal-text');
    return { id: box.dataset.modalId, caption: box.querySelector('.modal-caption').textContent, text: text ? text.textContent : '' };
  });

async function modal(caption) {
  return until(async () => {
    const m = await shownModal();
    return m && m.caption === caption && m;
  }, `modal "${caption}"`);
}

async function answer(button) {
  const { id } = await shownModal();
  await page.locator(`.modal-buttons button[data-button="${button}"]`).click();
  await until(async () => {
    const m = await shownModal();
    return !m || m.id !== id;
  }, `modal ${id} to close`);
}

async function command(menu, item) {
  await page.locator('.menu-title', { hasText: menu }).click();
  await page.locator('.menu-item:not(.disabled) .text', { hasText: item }).first().click();
}

// Pictures that did not load (a name the page has no SVG for).
const brokenPictures = () =>
  page.evaluate(() => [...document.querySelectorAll('img')].filter((img) => img.complete && img.naturalWidth === 0).map((img) => img.getAttribute('src')));

const shot = (name) => page.screenshot({ path: join(shotDir, `${name}.png`) });

describe('the content pane of a connected fixture server', () => {
  let tree = null; // the state's tree once the repository, FRU and SEL are in
  const node = (text, under = tree) => {
    const found = find(under, (n) => n.text === text);
    assert.ok(found, `a tree node "${text}"`);
    return found;
  };
  let rackA = null;

  let group = null;

  before(async () => {
    mkdirSync(shotDir, { recursive: true });
    group = await setUp();
    // Connect Rack A through the login dialog.
    rackA = (await state()).tree.children.find((n) => n.text === 'Rack A').value;
    await openNode(rackA);
    await command('Server', 'Connect Current Server');
    await modal('Connect to server');
    await page.locator('.modal [data-control="1"] input').fill('admin');
    await page.locator('.modal [data-control="2"] input').fill('vexa-admin-pw');
    await answer('OK');
    tree = await until(async () => {
      const s = await state();
      const server = s.tree.children.find((n) => n.value === rackA);
      const section = (text) => server.children.find((n) => n.text === text);
      const ready = s.servers.find((v) => v.name === 'Rack A').connected &&
        section('SDR').children.length > 0 && section('CompactSDR').children.length > 0 &&
        section('FRU').children.length > 0 && s.view.readings.seq > 0;
      return ready && s.tree;
    }, 'the repository, FRU and first reading of Rack A', READING_BOUND_MS);
  });

  after(() => tearDown(group));

  test('the SDR and CompactSDR sections list the sensors ipmitool reads, with their numbers and values', async () => {
    const server = find(tree, (n) => n.value === rackA);
    for (const [section, kind] of [['SDR', 'full'], ['CompactSDR', 'compact']]) {
      const sectionNode = node(section, server);
      await openNode(sectionNode.value);
      assert.deepEqual(await headers(), ['SensorType', 'Type Number', '    ']);
      const types = await listCells();
      const seen = [];
      for (let t = 0; t < types.length; t++) {
        if (t > 0) await openNode(sectionNode.value);
        await openRow(t);
        assert.deepEqual(await headers(), ['Sensor Name', 'Sensor Number', 'Type Number', '    ']);
        for (const [name, number, typeNumber] of await listCells()) {
          assert.equal(typeNumber, types[t][1], `${name} is listed under its own type`);
          seen.push({ name, number: Number(number), type: Number(typeNumber) });
        }
      }
      // The CompactSDR section has rows for a fixed set of types only (the full one for
      // every type): every sensor of a type it lists is there, with ipmitool's number.
      const listed = new Set(types.map((row) => Number(row[1])));
      const expected = sdrList(kind).map(({ name, number }) => ({ name, number, type: sensorType(name) }))
        .filter((sensor) => kind === 'full' || listed.has(sensor.type));
      const byName = (a, b) => a.name.localeCompare(b.name);
      assert.deepEqual(seen.sort(byName), expected.sort(byName), `the ${section} sensors, numbers and types`);
      assert.ok(seen.length >= 5, `${section} holds the fixture's sensors`);
      if (section === 'SDR') await shot('sensor-types');
    }

    // Every full sensor that answers shows ipmitool's value in its own list.
    for (const sensor of sdrList('full')) {
      if (sensor.status === 'ns') continue; // no reading: nothing to compare
      await openNode(node(sensor.name, node('SDR', server)).value);
      const rows = await listCells();
      assert.equal(rows[1][1], sensor.name);
      assert.equal(rows[2][0].trim(), 'Current Value');
      near(rows[2][2], sensor.reading, sensor.name);
    }
    assert.deepEqual(await brokenPictures(), []);
  });

  test('a threshold typed in the list reaches the simulator; one failing both checks shows both boxes and sends nothing', async () => {
    const cpu = node('CPU Temp', node('SDR'));
    await openNode(cpu.value);
    const editor = (row) => page.locator(`#content input.threshold-editor[data-row="${row}"]`);
    for (const row of [4, 5, 6, 7, 8, 9]) assert.ok(await editor(row).isVisible(), `the editor of row ${row}`);
    assert.equal(await editor(6).inputValue(), '85');
    await shot('sensor-list');

    // Each keystroke reaches the console in order: the row follows "8" and then "86".
    await editor(6).click();
    await page.keyboard.press('Control+A');
    await page.keyboard.type('86');
    await until(async () => (await listCells())[6][1] === '0x56', 'row 6 following the typed text');
    assert.equal(await editor(6).inputValue(), '86');
    await page.keyboard.press('Enter');
    const box = await modal('Set Threshold');
    assert.match(box.text, /^Succeed in Setting threshold\./);
    await answer('OK');
    assert.equal(sensorGet('CPU Temp')['Upper Non-Critical'], '86.000');

    // The spin arrow is a keystroke too: 90 up to 91, ended by leaving the field.
    await editor(5).focus();
    await page.keyboard.press('ArrowUp');
    await until(async () => (await listCells())[5][1] === '0x5B', 'row 5 following the spin');
    await editor(5).blur();
    await modal('Set Threshold');
    await answer('OK');
    assert.equal(sensorGet('CPU Temp')['Upper Critical'], '91.000');

    // FAN1 has lower thresholds only: a lower non-critical of 300 RPM is below the lower
    // critical one (900 RPM) and above the unset upper non-critical one (0 RPM).
    const fan = node('FAN1', node('SDR'));
    await openNode(fan.value);
    for (const row of [4, 5, 6]) assert.equal(await editor(row).count(), 0, `no editor for the unset row ${row}`);
    await editor(9).fill('5');
    await editor(9).press('Enter');
    const first = await modal('Invalid threshold value');
    assert.equal(first.text, 'The lower noncritical threshold should not less than lower critical threshold.');
    await answer('OK');
    const second = await modal('Invalid threshold value');
    assert.equal(second.text, 'The lower noncritical threshold should not greater than upper noncritical threshold.');
    await answer('OK');
    assert.equal((await state()).modal, null, 'no "Set Threshold" box: nothing was sent');
    assert.equal(sensorGet('FAN1')['Lower Non-Critical'], '1200.000');
    await until(async () => (await listCells())[9][1] === '0x14', 'the row restored');
    assert.equal(await editor(9).inputValue(), '20');
  });

  test('the property sheet opened by More sets a threshold moved on its Settings page', async () => {
    const p12v = node('P12V', node('SDR'));
    await openNode(p12v.value);
    await page.locator('#content button.more').click();
    const sheet = page.locator('.sheet[role="dialog"]');
    await sheet.waitFor({ timeout: BOUND_MS });
    assert.equal(await sheet.locator('.sheet-caption').textContent(), 'P12V');
    assert.deepEqual(await sheet.locator('[role="tab"]').allTextContents(), ['Information', 'Settings', 'Capabilities']);
    assert.equal(await sheet.locator('[role="tabpanel"]:not([hidden]) input').first().inputValue(), 'P12V');

    await sheet.locator('[role="tab"]', { hasText: 'Settings' }).click();
    const spin = sheet.locator('input.sheet-spin[data-index="2"]');
    assert.equal(await spin.inputValue(), '212');
    await spin.fill('214');
    await until(async () => (await state()).view.sheet.settings.spins[2].position === 214, 'the spin moved in the console');
    await until(async () => (await spin.locator('xpath=..').locator('.sheet-converted').textContent()).startsWith('12.84'),
      'the converted value of 214');
    assert.ok(await sheet.locator('.threshold-bar').isVisible());
    await shot('property-sheet');
    await sheet.locator('[role="tab"]', { hasText: 'Capabilities' }).click();
    assert.equal(await sheet.locator('.sheet-cap').count(), 3);
    assert.deepEqual(await brokenPictures(), []);

    await sheet.locator('button[data-button="OK"]').click();
    await sheet.waitFor({ state: 'detached', timeout: BOUND_MS });
    assert.equal(sensorGet('P12V')['Upper Non-Critical'], '12.840');
    assert.equal(sensorGet('P12V')['Upper Critical'], '12.960', 'the other thresholds unchanged');
  });

  test('the event log lists the simulator\'s entries; a double-click shows one with its trigger reading and threshold', async () => {
    const expected = ipmitool('127.0.0.2', 'sel', 'elist').trim().split('\n');
    await openNode(node('SEL').value);
    assert.deepEqual(await headers(), ['Index', 'Server Name', 'Server IP', 'Event Direction', 'Sensor Name',
      'Event Time (GMT)', 'Event Description', '    ']);
    const rows = await listCells();
    assert.equal(rows.length, expected.length);
    for (let i = 0; i < 5; i++) {
      const [, , , sensor, , direction] = expected[i].split('|').map((f) => f.trim());
      assert.ok(sensor.endsWith(rows[i][4]), `entry ${i}: "${rows[i][4]}" in ipmitool's "${sensor}"`);
      assert.equal(rows[i][3], direction.replace(/ed$/, 'ion'), `entry ${i}'s direction`);
      assert.deepEqual(rows[i].slice(0, 3), [String(i).padStart(4, '0'), 'Rack A', '127.0.0.2']);
    }
    await shot('event-log');

    await page.locator('#content tr[data-row="0"] td').first().dblclick();
    await modal('Event Information');
    const shown = await page.evaluate(() => Object.fromEntries([...document.querySelectorAll('.modal .control')].map((c) =>
      [c.querySelector('label').textContent, c.querySelector('input').value])));
    const sel = fields(ipmitool('127.0.0.2', 'sel', 'get', '1'));
    assert.equal(shown['Sensor Name'], 'P5V');
    near(shown['Current Value'], sel['Trigger Reading'], 'the trigger reading');
    near(shown['Threshold Value'], sel['Trigger Threshold'], 'the trigger threshold');
    // Read-only fields, drawn whole and in the ink colour (not greyed out).
    const looks = await page.locator('.modal .control input').evaluateAll((inputs) => inputs.map((input) => ({
      label: input.parentNode.querySelector('label').textContent,
      readOnly: input.readOnly, colour: getComputedStyle(input).color, cut: input.scrollWidth > input.clientWidth,
    })));
    assert.equal(looks.length, 12);
    for (const look of looks) assert.deepEqual(look, { label: look.label, readOnly: true, colour: 'rgb(27, 27, 27)', cut: false });
    await shot('event-detail');
    await answer('OK');
  });

  test('FRU devices show only the areas they hold, with the fields ipmitool reads', async () => {
    await openNode(node('FRU').value);
    assert.deepEqual((await listCells()).map((r) => r.slice(0, 2)), [['MOTHERBOARD FRU', '0x0'], ['BACKPLANE FRU', '0x1']]);
    const device = await openRow(1);
    assert.deepEqual((await listCells()).map((r) => r[0]), ['Board', 'Product'], 'device 1 has no chassis area');
    const ipmi = fields(ipmitool('127.0.0.2', 'fru', 'print', '1'));
    await openRow(0);
    const board = Object.fromEntries((await listCells()).map((r) => [r[0], r[1]]));
    assert.equal(board['Manufacturer Name'], ipmi['Board Mfg']);
    assert.equal(board['Product Name'], ipmi['Board Product']);
    assert.equal(board['Serial Number'], ipmi['Board Serial']);
    assert.equal(board['Board Part Number'], ipmi['Board Part Number']);
    await openNode(device);
    await openRow(1);
    const product = Object.fromEntries((await listCells()).map((r) => [r[0], r[1]]));
    assert.equal(product['Manufacturer Name'], ipmi['Product Manufacturer']);
    assert.equal(product['Product Name'], ipmi['Product Name']);
    assert.equal(product['Product Version'], ipmi['Product Version']);

    await openNode(node('FRU').value);
    await openRow(0);
    assert.deepEqual((await listCells()).map((r) => r[0]), ['Chassis', 'Board', 'Product']);
    await openRow(0);
    const chassis = Object.fromEntries((await listCells()).map((r) => [r[0], r[1]]));
    const ipmi0 = fields(ipmitool('127.0.0.2', 'fru', 'print', '0'));
    assert.equal(chassis['Part Number'], ipmi0['Chassis Part Number']);
    assert.equal(chassis['Serial Number'], ipmi0['Chassis Serial']);
  });

  test('a header click sorts numbers as numbers, again reverses, and a sorted event row opens its own entry', async () => {
    // "Type Number" holds 1, 2, 3, 4 and 11: in text order "11" would come before "2".
    await openNode(node('SDR').value);
    const header = page.locator('#content th[data-column="1"]');
    const column = async () => (await listCells()).map((r) => r[1]);
    await header.click();
    await until(async () => (await header.getAttribute('aria-sort')) === 'ascending', 'the ascending mark');
    assert.deepEqual(await column(), ['1', '2', '3', '4', '11']);
    assert.equal(await header.locator('.sort-mark').textContent(), '\u25B2');
    await header.click();
    await until(async () => (await header.getAttribute('aria-sort')) === 'descending', 'the descending mark');
    assert.deepEqual(await column(), ['11', '4', '3', '2', '1']);
    assert.equal(await header.locator('.sort-mark').textContent(), '\u25BC');

    await openNode(node('SEL').value);
    await page.locator('#content th[data-column="4"]').click();
    await until(async () => (await page.locator('#content th[data-column="4"]').getAttribute('aria-sort')) === 'ascending', 'sorted by sensor');
    const rows = await listCells();
    const names = rows.map((r) => r[4]);
    assert.deepEqual(names, [...names].sort((a, b) => a.localeCompare(b, 'en', { sensitivity: 'base' })));
    const p5v = rows.findIndex((r) => r[4] === 'P5V');
    assert.notEqual(p5v, 0, 'the sort moved the P5V entry');
    await page.locator(`#content tr[data-row="${p5v}"] td`).first().dblclick();
    await modal('Event Information');
    assert.equal(await page.locator('.modal [data-control="1001"] input').inputValue(), 'P5V');
    await answer('OK');
  });

  test('the gauges show one tile per threshold sensor with its type and level pictures', async () => {
    await openNode(node('All Sensors value').value);
    await page.waitForSelector('#content[data-mode="gauges"] .gauge-tile');
    const tiles = (await state()).view.tiles;
    assert.ok(tiles.length >= 10, 'the fixture\'s threshold sensors');
    const drawnTiles = await page.locator('.gauge-tile').evaluateAll((divs) => divs.map((d) => ({
      index: Number(d.dataset.index),
      name: d.querySelector('.gauge-name').textContent,
      type: d.querySelector('.gauge-type').getAttribute('src'),
      level: d.querySelector('.gauge-level').getAttribute('src'),
      box: [d.offsetLeft, d.offsetTop, d.offsetWidth, d.offsetHeight],
    })));
    assert.deepEqual(drawnTiles, tiles.map((t) => ({
      index: t.index, name: t.name, type: `/img/${t.type}.svg`, level: `/img/${t.level}.svg`,
      box: [t.left, t.top, t.right - t.left, t.bottom - t.top],
    })));
    await until(async () => page.evaluate(() => [...document.querySelectorAll('.gauge-tile img')].every((i) => i.complete)), 'the pictures');
    assert.deepEqual(await brokenPictures(), []);
    await shot('gauges');
  });

  test('a sensor driven into its critical range turns its icon and its server\'s critical at the next reading', async () => {
    // The fixture starts with FAN2 below its lower critical and P5V above its upper
    // non-critical threshold: bring both back first, so the server reads healthy.
    await emulator('sensor_set_value 0x20 0 0x31 30 0');
    await emulator('sensor_set_value 0x20 0 0x11 200 0');
    const icons = async () => {
      const s = await state();
      return { server: find(s.tree, (n) => n.value === rackA).icon, cpu: find(s.tree, (n) => n.text === 'CPU Temp').icon, seq: s.view.readings.seq };
    };
    await until(async () => (await icons()).server === 'ipmi-connected', 'a healthy server', READING_BOUND_MS);
    const cpu = node('CPU Temp', node('SDR'));
    await openNode(cpu.value);
    const before = await icons();
    assert.equal(before.cpu, 'sensor-temperature');

    await emulator('sensor_set_value 0x20 0 0x01 92 0'); // above the upper critical 91 set above
    const after = await until(async () => {
      const now = await icons();
      return now.server === 'ipmi-critical' && now.cpu === 'sensor-critical' && now;
    }, 'the critical icons', READING_BOUND_MS);
    assert.ok(after.seq > before.seq, 'taken from a new reading');
    // The page draws them: the tree's pictures and the list's current value.
    await until(async () => (await page.locator(`#tree li[data-value="${cpu.value}"] > .node.icon-sensor-critical img`).getAttribute('src')) === '/img/sensor-critical.svg', 'the sensor\'s picture');
    assert.equal(await page.locator(`#tree li[data-value="${rackA}"] > .node.icon-ipmi-critical img`).getAttribute('src'), '/img/ipmi-critical.svg');
    await until(async () => (await listCells())[2][1].trim() === '0x5C', 'the new reading in the list');
    await page.locator('#tree').evaluate((tree) => tree.scrollTo(0, 0));
    await shot('tree');
  });
});

describe('the page of a console with servers not connected', () => {
  let group = null;
  before(async () => {
    mkdirSync(shotDir, { recursive: true });
    group = await setUp();
  });
  after(() => tearDown(group));

  test('a right click on a server selects it and lists its menu; a command runs from it; other nodes show none', async () => {
    const s = await state();
    const rackB = s.tree.children.find((n) => n.text === 'Rack B');
    await page.waitForSelector(`#tree li[data-value="${rackB.value}"] > .node`);
    await page.locator(`#tree li[data-value="${rackB.value}"] > .node`).click({ button: 'right' });
    const menu = page.locator('.context-menu[role="menu"]');
    await menu.waitFor({ timeout: BOUND_MS });
    await until(async () => (await state()).status['101'] === '127.0.0.3    Disconnected', 'Rack B selected');
    // The items follow the console's menu for an IPMI server, enabled as it says now (the
    // console refreshes the enabled flags every second).
    await until(async () => {
      const expected = (await state()).contextMenus['IPMI Server'];
      const shown = await menu.locator('[role="menuitem"], [role="separator"]').evaluateAll((items) =>
        items.map((i) => i.getAttribute('role') === 'separator' ? 0 : [i.textContent, i.getAttribute('aria-disabled')]));
      const wanted = expected.map((i) => i.id === 0 ? 0 : [i.text.replace(/&(.)/g, '$1'), String(!i.enabled)]);
      return JSON.stringify(shown) === JSON.stringify(wanted);
    }, 'the IPMI server menu');
    const connectItem = menu.locator('[role="menuitem"]', { hasText: /^Connect Current Server$/ });
    await until(async () => (await connectItem.getAttribute('aria-disabled')) === 'false',
      'Connect Current Server enabled for the selected server');
    await page.screenshot({ path: join(shotDir, 'context-menu.png') });

    await page.keyboard.press('Escape');
    await menu.waitFor({ state: 'detached', timeout: BOUND_MS });
    await page.locator(`#tree li[data-value="${rackB.value}"] > .node`).click({ button: 'right' });
    await connectItem.click();
    await menu.waitFor({ state: 'detached', timeout: BOUND_MS });
    const dialog = await until(async () => {
      const m = (await state()).modal;
      return m && m.caption === 'Connect to server' && m;
    }, 'the login dialog of Rack B');
    assert.equal((await api('POST', '/api/answer', { id: dialog.id, button: 'Cancel' })).status, 200);

    // A section node and the root have no menu, and the browser's own is held back there.
    for (const value of [rackB.children[0].value, s.tree.value]) {
      const li = page.locator(`#tree li[data-value="${value}"] > .node`);
      if (!(await li.count())) await page.locator(`#tree li[data-value="${rackB.value}"] > .twisty`).click();
      const prevented = await li.evaluate((label) => {
        const event = new MouseEvent('contextmenu', { bubbles: true, cancelable: true, clientX: 10, clientY: 10 });
        return !label.dispatchEvent(event);
      });
      assert.equal(prevented, true);
      assert.equal(await page.locator('.context-menu').count(), 0, `no menu on node ${value}`);
    }
  });

  // How fast this draws is for ./dev bench to say; here only what it draws.
  test('a readings push over a list of 1000 rows updates its cells in place', async () => {
    const result = await page.evaluate(async () => {
      const { renderView } = await import('/js/view.js');
      const pane = document.querySelector('#content');
      const columns = ['Index', 'Server Name', 'Server IP', 'Event Direction', 'Sensor Name', 'Event Time (GMT)', 'Event Description', '    ']
        .map((title) => ({ title, width: 120 }));
      const view = (seq, rows) => ({
        node: 0x7f0c, kind: 12, mode: 'list', columns, sort: { column: -1, marks: [] }, editors: [], more: false,
        tiles: [], sheet: null, readings: { seq, at: 0 },
        rows: Array.from({ length: rows }, (_, i) => ({
          cells: [String(i).padStart(4, '0'), 'Rack A', '127.0.0.2', 'Assertion', `Sensor ${i % 300}`,
            `${seq}:00:00AM 2024/03/15 (GMT +0)`, 'Upper Non-critical - going high'],
          data: 13, image: i % 2 ? 'sensor-temperature' : '',
        })),
      });
      renderView(view(1, 1000), 1e9);
      const drawn = pane.querySelectorAll('tbody tr').length;
      const marked = pane.querySelector('tr[data-row="999"]');
      renderView(view(2, 1000), 1e9 + 1);
      const kept = marked.isConnected;
      const newText = marked.cells[5].textContent;
      renderView({ ...view(3, 300), node: 0x7f05 }, 1e9 + 2);
      return { drawn, kept, newText, rows: pane.querySelectorAll('tbody tr').length };
    });
    assert.equal(result.drawn, 1000);
    // The second push changed a column of text only: the rows stayed, their cells changed.
    assert.equal(result.kept, true);
    assert.equal(result.newText, '2:00:00AM 2024/03/15 (GMT +0)');
    assert.equal(result.rows, 300);
  });
});
