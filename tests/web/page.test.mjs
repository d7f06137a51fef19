// The console's page in headless Chromium: tarn-console runs on a free loopback port with a
// fresh data folder, two pages show the same state, the diagnostic box and dialog appear in
// them and the answers given in the page reach the console.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..', '..');
const buildDir = process.env.VEXA_BUILD_DIR || join(root, 'build');
const BOUND_MS = 10000;

let host = null;
let url = '';
let presetUrl = '';
let origin = '';
let token = '';
let browser = null;
const temporary = [];

function startHost() {
  const dataDir = mkdtempSync(join(tmpdir(), 'vexa-page-data-'));
  temporary.push(dataDir);
  const child = spawn(join(buildDir, 'bin', 'tarn-console'), ['--listen', '127.0.0.1:0', '--data', dataDir], {
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  return new Promise((resolveLine, reject) => {
    let output = '';
    const timer = setTimeout(() => reject(new Error('tarn-console printed no address')), BOUND_MS);
    child.on('error', reject);
    child.stdout.on('data', (chunk) => {
      output += chunk;
      const newline = output.indexOf('\n');
      if (newline >= 0) {
        clearTimeout(timer);
        resolveLine({ child, line: output.slice(0, newline) });
      }
    });
  });
}

async function api(method, path, body) {
  const response = await fetch(origin + path, {
    method,
    headers: { 'X-Vexa-Token': token, 'Content-Type': 'application/json' },
    body: body === undefined ? undefined : JSON.stringify(body),
  });
  return { status: response.status, data: await response.json() };
}

async function openPage(address = url) {
  const page = await browser.newPage();
  await page.goto(address);
  await page.waitForSelector('.menu-title');
  return page;
}

before(async () => {
  const started = await startHost();
  host = started.child;
  assert.match(started.line, /^http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{64}$/);
  url = started.line;
  presetUrl = started.line + '&Name=Rack%201&IP=192.0.2.9&Type=IPMI&Connect=0';
  const parsed = new URL(started.line);
  origin = parsed.origin;
  token = parsed.searchParams.get('token');

  const userDataDir = mkdtempSync(join(tmpdir(), 'vexa-page-chromium-'));
  temporary.push(userDataDir);
  const executablePath = execFileSync('which', ['chromium']).toString().trim();
  browser = await chromium.launchPersistentContext(userDataDir, {
    executablePath,
    headless: true,
    args: [
      '--headless',
      '--no-sandbox',
      '--disable-gpu',
      '--disable-background-networking',
      '--disable-component-update',
      '--no-first-run',
      '--disable-sync',
    ],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (host && host.exitCode === null) {
    const exited = new Promise((done) => host.once('exit', done));
    process.kill(host.pid, 'SIGTERM');
    await Promise.race([exited, new Promise((done) => setTimeout(done, BOUND_MS))]);
    if (host.exitCode === null) process.kill(host.pid, 'SIGKILL');
  }
  for (const dir of temporary) rmSync(dir, { recursive: true, force: true });
});

test('the page shows the title, the menus and the status panes', async () => {
  const page = await openPage();
  assert.equal(await page.locator('[data-pane="101"]').textContent(), 'No Server Selected!');
  await page.close();
});

test('the page\'s properties preset a server, selected in the tree', async () => {
  const page = await openPage(presetUrl);
  await page.waitForFunction(() => document.querySelector('[data-pane="101"]').textContent === '192.0.2.9    Disconnected');
  assert.deepEqual(await page.locator('#tree .node').allTextContents(), ['All Servers', 'Rack 1']);
  await page.locator('#tree li[data-value="2"] > .twisty').click(); // the first tag is 0
  assert.deepEqual(await page.locator('#tree .node').allTextContents(), ['All Servers', 'Rack 1',
    'SDR', 'CompactSDR', 'FRU', 'SEL', 'Remote Console', 'All Sensors value']);
  await page.locator('#tree .node', { hasText: 'SEL' }).click();
  await page.waitForFunction(() => document.querySelector('#tree .node.selected').textContent === 'SEL');
  assert.equal(await page.title(), 'Vexa Remote Console');
  const { data: state } = await api('GET', '/api/state');
  const plain = (text) => text.replace(/&(.)/g, '$1');
  assert.deepEqual(
    await page.locator('.menu-title').allTextContents(),
    state.menus.map((m) => plain(m.text)),
  );

  await page.locator('.menu-title', { hasText: 'Server' }).click();
  const items = await page.locator('.menu-item .text').allTextContents();
  assert.deepEqual(items, state.menus[0].items.filter((i) => i.id !== 0).map((i) => plain(i.text)));
  assert.ok(await page.locator('.menu-item:not(.disabled)', { hasText: 'Connect Current Server' }).count());
  assert.equal(await page.locator('[data-pane="102"]').textContent(), '00:00:00');
  // The token left the address bar; the control's own parameters stayed and reached it.
  assert.ok(!page.url().includes('token='));
  assert.equal(state.properties.Name, 'Rack 1');
  await page.close();
});

test('a diagnostic box shows in every page and the first answer reaches the console', async () => {
  const first = await openPage();
  const second = await openPage();
  const { status } = await api('POST', '/api/command', { id: 40001 });
  assert.equal(status, 200);
  for (const page of [first, second]) {
    await page.waitForSelector('.modal-caption', { timeout: BOUND_MS });
    assert.equal(await page.locator('.modal-caption').textContent(), 'Diagnostics');
    assert.match(await page.locator('.modal-text').textContent(), /raised by the diagnostic command/);
    assert.deepEqual(await page.locator('.modal-buttons button').allTextContents(), ['OK', 'Cancel']);
  }
  await first.screenshot({ path: join(buildDir, 'page.png') });

  await first.getByRole('button', { name: 'OK', exact: true }).click();
  for (const page of [first, second]) {
    await page.waitForSelector('.modal', { state: 'detached', timeout: BOUND_MS });
  }
  const { data: state } = await api('GET', '/api/state');
  assert.equal(state.diagnostics.boxAnswer, 'OK');
  assert.equal(state.diagnostics.boxes, 1);
  await first.close();
  await second.close();
});

test('a dialog answered in the page carries its values', async () => {
  const page = await openPage();
  assert.equal((await api('POST', '/api/command', { id: 40002 })).status, 200);
  await page.waitForSelector('.modal-dialog', { timeout: BOUND_MS });
  await page.locator('[data-control="1"] input').fill('root');
  await page.locator('[data-control="3"] select').selectOption('HMAC-MD5');
  await page.locator('[data-control="4"] input').check();
  await page.locator('[data-control="5"] input[value="BMC"]').check();
  await page.locator('[data-control="6"] input').fill('42');
  await page.getByRole('button', { name: 'OK', exact: true }).click();
  await page.waitForSelector('.modal', { state: 'detached', timeout: BOUND_MS });
  await page.waitForFunction(() =>
    document.querySelector('[data-pane="message"]').textContent.includes('Diagnostic dialog answered: OK'),
  );
  const { data: state } = await api('GET', '/api/state');
  assert.deepEqual(state.diagnostics.dialogValues, {
    1: 'root',
    2: '',
    3: 'HMAC-MD5',
    4: '1',
    5: 'BMC',
    6: '42',
  });
  await page.close();
});
