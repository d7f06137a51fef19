// The frame's commands in headless Chromium against tarn-console and a simulated fleet
// (vexa-fleet: ipmi_sim BMCs on 127.0.0.2 and 127.0.0.3, one UDP port): adding servers with
// the address rules and the duplicate question, connecting through the login dialog, power
// down and up followed by the simulator, rename, delete, save and load, settings in the
// registry, dump and restore, the page's preset server, and an ASF adapter (asf-sim on
// 127.0.0.4) connected through the ASF dialog and powered down and up. Screenshots go to the
// build folder.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..', '..');
const buildDir = process.env.VEXA_BUILD_DIR || join(root, 'build');
const BOUND_MS = 15000;

const children = [];
const temporary = [];
let fleet = null;
let consoleUrl = '';
let origin = '';
let token = '';
let dataDir = '';
let browser = null;
let page = null;

function firstLine(child, what) {
  return new Promise((done, fail) => {
    let output = '';
    const timer = setTimeout(() => fail(new Error(`${what} printed nothing`)), 30000);
    child.on('error', fail);
    child.on('exit', (code) => fail(new Error(`${what} exited with ${code}`)));
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const newline = output.indexOf('\n');
      if (newline >= 0) {
        clearTimeout(timer);
        done(output.slice(0, newline));
      }
    });
  });
}

function start(program, args, what) {
  const child = spawn(join(buildDir, 'bin', program), args, { stdio: ['ignore', 'pipe', 'inherit'] });
  children.push(child);
  return firstLine(child, what);
}

async function stop(child) {
  if (child.exitCode !== null || child.signalCode !== null) return;
  const exited = new Promise((done) => child.once('exit', done));
  process.kill(child.pid, 'SIGTERM');
  await Promise.race([exited, new Promise((done) => setTimeout(done, BOUND_MS))]);
  if (child.exitCode === null && child.signalCode === null) process.kill(child.pid, 'SIGKILL');
}

async function api(method, path, body) {
  const response = await fetch(origin + path, {
    method,
    headers: { 'X-Vexa-Token': token, 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  return { status: response.status, data: await response.json() };
}

async function state() {
  return (await api('GET', '/api/state')).data;
}

async function until(check, what) {
  const deadline = Date.now() + BOUND_MS;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await new Promise((done) => setTimeout(done, 100));
  }
}

function registryValue(name) {
  const sql = `SELECT hex(data) FROM reg_values WHERE name = '${name}' COLLATE NOCASE;`;
  return execFileSync('sqlite3', [join(dataDir, 'registry.db'), sql]).toString().trim();
}

function registryCount(name) {
  const sql = `SELECT count(*) FROM reg_values WHERE name = '${name}' COLLATE NOCASE;`;
  return Number(execFileSync('sqlite3', [join(dataDir, 'registry.db'), sql]).toString().trim());
}

const plain = (text) => text.replace(/&(.)/g, '$1');

async function command(menu, item) {
  await page.locator('.menu-title', { hasText: menu }).click();
  await page.locator('.menu-item:not(.disabled) .text', { hasText: item }).first().click();
}

// Reads the page as it is now (locators would wait for a missing element).
const shownModal = () =>
  page.evaluate(() => {
    const box = document.querySelector('.modal');
    return box ? { id: box.dataset.modalId, caption: box.querySelector('.modal-caption').textContent } : null;
  });

async function modal(caption) {
  await until(async () => {
    const m = await shownModal();
    return m && m.caption === caption;
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

async function fill(id, value) {
  await page.locator(`.modal [data-control="${id}"] input`).fill(value);
}

async function treeTexts() {
  return page.locator('#tree .node').allTextContents();
}

async function addServer(name, ip) {
  await command('Server', 'Add New Server Node');
  await modal('Add a new server connection');
  await fill(1, name);
  await fill(2, ip);
  await answer('&OK');
}

before(async () => {
  dataDir = mkdtempSync(join(tmpdir(), 'vexa-frame-data-'));
  temporary.push(dataDir);
  const asfSim = join(buildDir, 'bin', 'asf-sim');
  const fleetArgs = ['--data', dataDir];
  if (existsSync(asfSim)) fleetArgs.push('--asf-sim', asfSim);
  fleet = JSON.parse(await start('vexa-fleet', fleetArgs, 'vexa-fleet'));
  const line = await start(
    'tarn-console',
    ['--listen', '127.0.0.1:0', '--data', dataDir, '--rmcp-port', String(fleet.port), '--rsp-port', String(fleet.rspPort || 664)],
    'tarn-console',
  );
  consoleUrl = line;
  const parsed = new URL(line);
  origin = parsed.origin;
  token = parsed.searchParams.get('token');
  const userDataDir = mkdtempSync(join(tmpdir(), 'vexa-frame-chromium-'));
  temporary.push(userDataDir);
  browser = await chromium.launchPersistentContext(userDataDir, {
    executablePath: execFileSync('which', ['chromium']).toString().trim(),
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking', '--no-first-run'],
  });
  page = await browser.newPage();
  await page.goto(consoleUrl);
  await page.waitForSelector('#tree .node');
});

after(async () => {
  if (browser) await browser.close();
  for (const child of children.reverse()) await stop(child);
  for (const dir of temporary) rmSync(dir, { recursive: true, force: true });
});

test('every refused address shows "Invalid server IP address." and adds nothing', async () => {
  for (const ip of ['127.0.0.1', '0.0.0.0', '255.255.255.255', '230.1.1.1', '169.254.3.4', 'not an address']) {
    await addServer('Refused', ip);
    await modal('Notify');
    assert.equal(await page.locator('.modal-text').textContent(), 'Invalid server IP address.');
    await answer('OK');
  }
  assert.deepEqual((await state()).servers, []);
});

test('a probed address becomes an IPMI server, and the same address again asks first', async () => {
  await addServer('Rack A', '127.0.0.2');
  await until(async () => (await treeTexts()).includes('Rack A'), 'the new node');
  let s = await state();
  assert.equal(s.servers.length, 1);
  assert.equal(s.servers[0].type, 'IPMI');
  // The new node is selected: its server is the current server.
  assert.equal(s.status['101'], '127.0.0.2    Disconnected');
  const serverNode = s.tree.children[0];
  assert.equal(serverNode.value, (s.servers[0].tag << 8) | 2);
  assert.deepEqual(serverNode.children.map((c) => c.text),
    ['SDR', 'CompactSDR', 'FRU', 'SEL', 'Remote Console', 'All Sensors value']);

  await addServer('Rack A2', '127.0.0.2');
  await modal('The same host');
  assert.equal(await page.locator('.modal-text').textContent(),
    'You have alreadly created a server with the same IP address\nwhose name is Rack A, do you wish to create another one?');
  await answer('Yes');
  await until(async () => (await treeTexts()).includes('Rack A2'), 'the duplicate node');
  assert.equal((await state()).servers.length, 2);
});

test('connecting through the login dialog changes the status panes', async () => {
  await page.locator('#tree .node', { hasText: /^Rack A$/ }).click();
  await until(async () => (await state()).status['101'] === '127.0.0.2    Disconnected', 'Rack A selected');
  await command('Server', 'Connect Current Server');
  await modal('Connect to server');
  assert.equal(await page.locator('.modal [data-control="1"] input').inputValue(), 'adm');
  assert.equal(await page.locator('.modal [data-control="3"] select').inputValue(), 'HMAC-SHA1');
  assert.equal(await page.locator('.modal [data-control="4"] select').inputValue(), 'Administrator');
  await fill(1, 'admin');
  await fill(2, 'vexa-admin-pw');
  await page.screenshot({ path: join(buildDir, 'frame-login.png') });
  await answer('OK');
  await until(async () => (await page.locator('[data-pane="101"]').textContent()) === '127.0.0.2    Connected', 'connected pane');
  await until(async () => /^00:00:0[1-9]|^00:00:[1-5]/.test(await page.locator('[data-pane="102"]').textContent()), 'the connection time');
  const s = await state();
  assert.equal(s.servers.find((v) => v.name === 'Rack A').connected, true);
  // Connected, and rated by its sensors: the fixture's FAN2 runs below its lower critical speed.
  assert.match(s.tree.children[0].icon, /^ipmi-(connected|critical)$/);
  await page.screenshot({ path: join(buildDir, 'frame-connected.png') });
});

test('power down and up ask first and the simulator follows', async () => {
  const power = () => (existsSync(fleet.servers[0].power) ? readFileSync(fleet.servers[0].power, 'utf8').trim() : '1');
  await until(async () => (await state()).menus.flatMap((m) => m.items).find((i) => i.id === 32806).enabled, 'Power Down enabled');
  await command('Power', 'Power Down');
  await modal('Confirm power down');
  assert.equal(await page.locator('.modal-text').textContent(), 'Are you sure to power down the host\n127.0.0.2\n');
  await answer('No');
  assert.equal(power(), '1', 'No sends nothing');

  await command('Power', 'Power Down');
  await modal('Confirm power down');
  await answer('Yes');
  await modal('Power Down');
  assert.equal(await page.locator('.modal-text').textContent(), 'Power Down operation is done.');
  await answer('OK');
  assert.equal(power(), '0');

  await until(async () => (await state()).menus.flatMap((m) => m.items).find((i) => i.id === 32807).enabled, 'Power Up enabled');
  await command('Power', 'Power Up');
  await modal('Cofirm power up');
  await answer('Yes');
  await modal('Power Up');
  await answer('OK');
  assert.equal(power(), '1');
});

test('rename and delete change the list and the tree', async () => {
  await command('Server', 'Rename');
  await modal('Rename the server');
  await fill(1, 'Rack Z');
  await answer('OK');
  await until(async () => (await treeTexts()).includes('Rack Z'), 'the renamed node');

  await page.locator('#tree .node', { hasText: 'Rack A2' }).click();
  await until(async () => (await state()).tree.children[1].selected, 'Rack A2 selected');
  await command('Server', 'Delete Selected Server Node');
  await modal('Confirm Delete connection');
  assert.equal(await page.locator('.modal-text').textContent(), 'Are you sure to delete this connection\n127.0.0.2\n');
  await answer('Yes');
  await until(async () => !(await treeTexts()).includes('Rack A2'), 'the node gone');
  assert.deepEqual((await state()).servers.map((v) => v.name), ['Rack Z']);
});

test('the page\'s preset server opens the login dialog', async () => {
  const preset = await browser.newPage();
  await preset.goto(`${consoleUrl}&Name=Preset&IP=127.0.0.3&Type=IPMI&Connect=1`);
  await preset.waitForSelector('.modal-caption', { timeout: BOUND_MS });
  assert.equal(await preset.locator('.modal-caption').textContent(), 'Connect to server');
  await preset.screenshot({ path: join(buildDir, 'frame-preset.png') });
  await preset.locator('.modal-buttons button[data-button="Cancel"]').click();
  await preset.close();
  await until(async () => (await state()).modal === null, 'the dialog closed');
  assert.deepEqual((await state()).servers.map((v) => v.name), ['Rack Z', 'Preset']);
});

test('save overwrites the stored list after asking, load adds the stored servers', async () => {
  assert.equal(registryCount('SvrName'), fleet.servers.length, 'the fleet stored its servers');
  await command('Server', 'Save Server Node List');
  await modal('Notify');
  assert.equal(await page.locator('.modal-text').textContent(), 'The current server node list will be overwrite, continue anyway?');
  await answer('Yes');
  await until(async () => registryCount('SvrName') === 2 && (await state()).modal === null, 'the saved list');

  await command('Server', 'Load Server Node List');
  // Both stored servers are in the list already: each asks the duplicate question.
  await modal('The same host');
  await answer('Yes');
  await modal('The same host');
  await answer('No');
  await until(async () => (await state()).servers.length === 3, 'one server loaded');
});

test('changed settings are saved into the registry', async () => {
  assert.equal(registryValue('Polling Sensors interval'), '05000000');
  await command('Settings', 'General Setting');
  await modal('Server Settings');
  await page.locator('.modal [data-control="1003"] input').fill('7');
  await answer('OK');
  await until(() => registryValue('Polling Sensors interval') === '07000000', 'the saved interval');
});

test('dump and restore go through the folder chooser', async () => {
  const target = mkdtempSync(join(tmpdir(), 'vexa-frame-dump-'));
  temporary.push(target);
  await command('Settings', 'Dump all configuration');
  await modal('Select a folder');
  await until(async () => (await page.locator('.modal .folder-list .folder').count()) > 0, 'the folder listing');
  await fill(1, target);
  await answer('OK');
  await modal('');
  assert.equal(await page.locator('.modal-text').textContent(), 'The configurations are dumped out.');
  await answer('OK');
  assert.ok(existsSync(join(target, 'TARN_DUMP', 'Dump1.data')));

  await command('Settings', 'Restore all configuration');
  await modal('Select a folder');
  await fill(1, join(target, 'TARN_DUMP'));
  await answer('OK');
  await modal('Notify');
  assert.equal(await page.locator('.modal-text').textContent(), 'All the current settings will be overwrite, continue anyway?');
  await answer('Yes');
  const texts = [];
  for (let i = 0; i < 3; i++) {
    await modal('');
    const text = await page.locator('.modal-text').textContent();
    texts.push(text);
    await answer('OK');
    if (/restored\.$/.test(text)) break;
  }
  assert.match(texts.at(-1), /restored\.$/);
  await page.screenshot({ path: join(buildDir, 'frame-restored.png') });
});

test('Help Contents opens the manual once and raises it the second time', async () => {
  const opened = [];
  browser.on('page', (p) => opened.push(p));
  await command('Help', 'Help Contents');
  await until(() => opened.length === 1, 'the manual window');
  const manual = opened[0];
  await until(async () => (await manual.title().catch(() => '')) === 'Vexa Remote Console Manual', 'the manual loaded');
  assert.ok(manual.url().endsWith('/manual.html'));
  const before = (await state()).window.seq;
  await command('Help', 'Help Contents');
  await until(async () => (await state()).window.seq === before + 1, 'the second request');
  // The page reuses the named window instead of opening another (a second window would have
  // been reported by now: the page acts on the pushed state before the next idle tick).
  await until(async () => (await manual.evaluate(() => document.title)) === 'Vexa Remote Console Manual', 'the manual still open');
  assert.equal(opened.length, 1);
  await manual.close();
});

// The adapter's own view of its state, through the command-line tool (no console involved).
function adapterState() {
  const out = execFileSync(join(buildDir, 'bin', 'tarn-cli'), [
    '--json', '-H', '127.0.0.4', '--asf-port', String(fleet.port), '--rsp-port',
    String(fleet.rspPort), '--admin-key', 'AA'.repeat(20), '--asf-timeout', '500', 'asf-state',
  ], { timeout: BOUND_MS }).toString();
  return JSON.parse(out);
}

test('an ASF adapter connects through its dialog, powers down and up, and its keys are offered again', { skip: !existsSync(join(buildDir, 'bin', 'asf-sim')) && 'asf-sim not built' }, async () => {
  // The console polls the adapter's state every second and shows it as the server's power.
  await command('Settings', 'General Setting');
  await modal('Server Settings');
  await page.locator('.modal [data-control="1005"] input').check();
  await page.locator('.modal [data-control="1006"] input').fill('1');
  await answer('OK');
  await until(() => registryValue('Polling ASF power enabled') === '01000000', 'ASF power polling on');

  await addServer('ASF Desk', '127.0.0.4');
  await until(async () => (await treeTexts()).includes('ASF Desk'), 'the ASF node');
  let s = await state();
  const desk = s.servers.find((v) => v.name === 'ASF Desk');
  assert.equal(desk.type, 'ASF', 'the pong announced no IPMI');
  await page.locator('#tree .node', { hasText: /^ASF Desk$/ }).click();
  await until(async () => (await state()).status['101'] === '127.0.0.4    Disconnected', 'ASF Desk selected');

  await command('Server', 'Connect Current Server');
  await modal('RSSP Security Configuration');
  assert.equal(await page.locator('.modal [data-control="201"] select').inputValue(), 'Administrator');
  await page.locator('.modal [data-control="212"] input').fill('desk');
  await page.locator('.modal [data-control="209"] input').fill('AA'.repeat(20));
  await page.screenshot({ path: join(buildDir, 'frame-asf-login.png') });
  await answer('OK');
  await until(async () => (await state()).servers.find((v) => v.name === 'ASF Desk').connected, 'the ASF session');
  await until(async () => (await page.locator('[data-pane="101"]').textContent()) === '127.0.0.4    Connected', 'connected pane');

  await command('Power', 'Power Down');
  await modal('Confirm power down');
  assert.equal(await page.locator('.modal-text').textContent(), 'Are you sure to power down the host\n127.0.0.4\n');
  await answer('Yes');
  // An ASF power-down that went through shows no box (only a power cycle reports success).
  const deskPower = async () => (await state()).servers.find((v) => v.name === 'ASF Desk').power;
  await until(async () => (await deskPower()) === 0, 'soft-off polled from the adapter');
  assert.equal((await state()).modal, null);

  await command('Power', 'Power Up');
  await modal('Cofirm power up');
  await answer('Yes');
  await until(async () => (await deskPower()) === 1, 'working again, polled from the adapter');
  assert.equal((await state()).modal, null);

  await command('Server', 'Disconnect Current Server');
  await until(async () => !(await state()).servers.find((v) => v.name === 'ASF Desk').connected, 'disconnected');
  await command('Server', 'Connect Current Server');
  await modal('RSSP Security Configuration');
  assert.equal(await page.locator('.modal [data-control="212"] input').inputValue(), 'desk');
  assert.equal(await page.locator('.modal [data-control="209"] input').inputValue(), 'AA'.repeat(20));
  await answer('Cancel');
  assert.equal((await state()).servers.find((v) => v.name === 'ASF Desk').connected, false);
  assert.equal(adapterState().system_state, 0, 'the adapter itself agrees');
});
