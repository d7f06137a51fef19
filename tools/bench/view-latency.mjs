// The content pane's latencies in headless Chromium against tarn-console and one ipmi_sim BMC
// with 300 sensors and 1000 event-log entries (make_fixture.py --bench, on 127.0.0.8):
//   1. a click on a sensor list node in the tree to all its rows in the DOM: the sensor-type
//      node that lists the most sensors, and the "SDR" node (its sensor types);
//   2. a click on "SEL" to all event rows in the DOM;
//   3. the host taking the sensor poller's readings message (#content[data-readings-at]) to
//      the page showing the reading that changed, in the gauge view ("All Sensors value");
//      the reading is changed on the simulator through its emulator console.
// Each as median and max over the samples (argument 1, default 10), with the aim; a number
// over its aim is reported, never a failure. Run by ./dev bench.
import { spawn, execFileSync } from 'node:child_process';
import { createSocket } from 'node:dgram';
import { copyFileSync, mkdirSync, mkdtempSync, openSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:net';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..', '..');
const buildDir = process.env.VEXA_BUILD_DIR || join(root, 'build');
const webDir = process.env.VEXA_WEB_DIR || '';
const require = createRequire(join(root, 'tests', 'web', 'package.json'));
const { chromium } = require('playwright-core');
const { emulatorCommand, firstLine: firstLineOf, stopChild, until } = await import(
  pathToFileURL(join(root, 'tests', 'web', 'harness.mjs')).href);
const samples = Number(process.argv[2] || 10);

const SIM_ADDRESS = '127.0.0.8'; // an address no test or demo fleet uses
const SIM_CONFIG = join(root, 'tests', 'peers', 'ipmi_sim');
const BENCH_DIR = join(root, 'build', 'bench-view');
const USER = 'admin';
const PASSWORD = 'vexa-admin-pw';
const BOUND_MS = 15000;
const SETUP_BOUND_MS = 180000; // login, 301 records and 1000 entries over IPMI
const LIST_AIM_MS = 300;
const READINGS_AIM_MS = 100;
const SENSOR_INTERVAL_S = 1; // the settings dialog's minimum
const GAUGE_TILES = 100;
const KIND = { server: 2, sdr: 4, sdrType: 5, sel: 12, gauges: 14 };

const say = (text) => console.log(`bench-view: ${text}`);

function quantiles(times) {
  const sorted = [...times].sort((a, b) => a - b);
  return { median: sorted[Math.floor(0.5 * (sorted.length - 1))], max: sorted.at(-1) };
}

function report(what, times, aim, extra = '') {
  const { median, max } = quantiles(times);
  const verdict = max < aim ? 'PASS' : median < aim ? 'over aim at max' : 'over aim';
  say(`${what}, ${times.length} samples: median ${median.toFixed(1)} ms, max ${max.toFixed(1)} ms ` +
      `(aim < ${aim} ms: ${verdict})${extra}`);
}

// A port on the simulator's address that was free a moment ago.
function freeUdpPort() {
  return new Promise((done, fail) => {
    const socket = createSocket('udp4');
    socket.on('error', fail);
    socket.bind(0, SIM_ADDRESS, () => {
      const { port } = socket.address();
      socket.close(() => done(port));
    });
  });
}

function freeTcpPort() {
  return new Promise((done, fail) => {
    const server = createServer();
    server.on('error', fail);
    server.listen(0, SIM_ADDRESS, () => {
      const { port } = server.address();
      server.close(() => done(port));
    });
  });
}

// ASF 2.0, 3.2.4: an RMCP presence ping; true when the pong comes back within timeoutMs.
function presencePing(port, timeoutMs) {
  const ping = Buffer.from([0x06, 0x00, 0xff, 0x06, 0x00, 0x00, 0x11, 0xbe, 0x80, 0x5a, 0x00, 0x00]);
  return new Promise((done) => {
    const socket = createSocket('udp4');
    const finish = (ok) => {
      clearTimeout(timer);
      socket.close();
      done(ok);
    };
    const timer = setTimeout(() => finish(false), timeoutMs);
    socket.on('error', () => finish(false));
    socket.on('message', (m) => {
      if (m.length >= 28 && m[8] === 0x40 && m[9] === 0x5a) finish(true);
    });
    socket.send(ping, port, SIM_ADDRESS);
  });
}

const simConsole = (port, command) => emulatorCommand(SIM_ADDRESS, port, command);
const firstLine = (child, what) => firstLineOf(child, what, BOUND_MS);
const stop = (child) => stopChild(child, 5000);

// The bench BMC: the generated emulation file and SEL with the fixture's lan.conf (users,
// power control, emulator console), in a fresh state folder.
async function startSimulator(work, layout) {
  const port = await freeUdpPort();
  const consolePort = await freeTcpPort();
  const stateDir = join(work, 'state');
  mkdirSync(join(stateDir, 'ipmi_sim', 'vexa_fixture'), { recursive: true });
  copyFileSync(join(BENCH_DIR, layout.sel), join(stateDir, 'ipmi_sim', 'vexa_fixture', 'sel.20'));
  const conf = readFileSync(join(SIM_CONFIG, 'fixture-lan.conf'), 'utf8')
    .replaceAll('@ADDRESS@', SIM_ADDRESS).replaceAll('@PORT@', String(port))
    .replaceAll('@CONSOLE_PORT@', String(consolePort)).replaceAll('@STATE_DIR@', stateDir)
    .replaceAll('@CONFIG_DIR@', SIM_CONFIG);
  writeFileSync(join(work, 'lan.conf'), conf);
  const log = openSync(join(work, 'ipmi_sim.log'), 'a');
  const child = spawn('ipmi_sim', ['-c', join(work, 'lan.conf'), '-f', join(BENCH_DIR, layout.emu), '-s', stateDir, '-n'],
    { stdio: ['ignore', log, log] });
  const deadline = Date.now() + BOUND_MS;
  while (!(await presencePing(port, 200))) {
    if (child.exitCode !== null || Date.now() > deadline) {
      throw new Error(`ipmi_sim did not answer on ${SIM_ADDRESS}:${port}: ${readFileSync(join(work, 'ipmi_sim.log'), 'utf8').slice(-2000)}`);
    }
  }
  return { child, port, consolePort };
}

function findNode(node, test) {
  if (test(node)) return node;
  for (const child of node.children || []) {
    const found = findNode(child, test);
    if (found) return found;
  }
  return null;
}

function pathTo(node, value, trail = []) {
  if (node.value === value) return trail;
  for (const child of node.children || []) {
    const found = pathTo(child, value, [...trail, node.value]);
    if (found) return found;
  }
  return null;
}

const kindOf = (value) => value & 0xff;
const byte2 = (value) => (value >>> 16) & 0xff;

// --- in the page ---------------------------------------------------------------------------

// Opens every collapsed ancestor of a node so that its label is in the DOM.
async function reveal(page, tree, value) {
  for (const ancestor of pathTo(tree, value) || []) {
    const twisty = page.locator(`li[role=treeitem][data-value="${ancestor}"][aria-expanded="false"] > span.twisty`);
    if (await twisty.count()) await twisty.click();
    await page.waitForSelector(`li[role=treeitem][data-value="${ancestor}"][aria-expanded="true"]`, { timeout: BOUND_MS });
  }
  await page.waitForSelector(`li[role=treeitem][data-value="${value}"] > span.node`, { timeout: BOUND_MS });
}

// Clicks the node's label and times, in the page, until #content shows that node with rows
// list rows (a MutationObserver checks after each batch of changes): inDom. Then forces style
// and layout (layout: their time) and waits for the frame after the next animation frame,
// which has been painted (frame: click to then). -1 rows: any number.
function clickAndTime(page, value, rows) {
  return page.evaluate(({ value, rows, bound }) => new Promise((done, fail) => {
    const label = document.querySelector(`li[role=treeitem][data-value="${value}"] > span.node`);
    if (!label) {
      fail(new Error(`no tree node ${value} in the page`));
      return;
    }
    const shown = () => {
      const content = document.getElementById('content');
      if (!content || content.dataset.node !== String(value) || content.dataset.version === undefined) return false;
      if (rows < 0) return true;
      return content.querySelectorAll('table.view-list tbody tr[data-row]').length === rows;
    };
    let observer = null;
    const timer = setTimeout(() => {
      observer.disconnect();
      const content = document.getElementById('content');
      const got = content ? content.querySelectorAll('table.view-list tbody tr[data-row]').length : 0;
      const want = rows < 0 ? 'shown' : `listed (${got} of ${rows} rows)`;
      fail(new Error(`node ${value} not ${want} within ${bound} ms (#content data-node ${content && content.dataset.node})`));
    }, bound);
    const t0 = performance.now();
    observer = new MutationObserver(() => {
      if (!shown()) return;
      const inDom = performance.now() - t0;
      observer.disconnect();
      clearTimeout(timer);
      void document.getElementById('content').getBoundingClientRect().height;
      const layout = performance.now() - t0 - inDom;
      requestAnimationFrame(() => setTimeout(() => done({ inDom, layout, frame: performance.now() - t0 }), 0));
    });
    observer.observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
    label.click();
    // Already shown (the node was selected): nothing will change.
    if (shown()) {
      observer.disconnect();
      clearTimeout(timer);
      done({ inDom: 0, layout: 0, frame: 0 });
    }
  }), { value, rows, bound: BOUND_MS });
}

// Arms a watch for the driven sensor's tile to show reading and unit ("72 degrees C") in a
// readings state newer than the one shown now; waitShown then gives the page's clock at that
// moment minus data-readings-at, the host's clock when it took the readings message.
function armReadingWatch(page, name, reading, unit) {
  return page.evaluate(({ name, text, unit, bound }) => {
    const content0 = document.getElementById('content');
    const seq0 = Number(content0 ? content0.dataset.readingsSeq : NaN);
    const pattern = new RegExp(`(^|[^0-9.])${text.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}`);
    const tileText = (content) => {
      const walker = document.createTreeWalker(content, NodeFilter.SHOW_TEXT);
      for (let n = walker.nextNode(); n; n = walker.nextNode()) {
        if (!n.nodeValue.includes(name)) continue;
        // The tile: the nearest element around the name that also holds a value.
        let el = n.parentElement;
        while (el && el !== content && !el.textContent.includes(unit)) el = el.parentElement;
        return el ? el.textContent : '';
      }
      return '';
    };
    window.__benchReading = new Promise((done, fail) => {
      let observer = null;
      const timer = setTimeout(() => {
        observer.disconnect();
        const content = document.getElementById('content');
        fail(new Error(`"${text}" not shown for ${name} within ${bound} ms (seq ${seq0} -> ${content && content.dataset.readingsSeq}, tile "${content ? tileText(content).trim() : ''}")`));
      }, bound);
      observer = new MutationObserver(() => {
        const content = document.getElementById('content');
        if (!content || !(Number(content.dataset.readingsSeq) > seq0)) return;
        if (!pattern.test(tileText(content))) return;
        const now = Date.now();
        observer.disconnect();
        clearTimeout(timer);
        done({ latency: now - Number(content.dataset.readingsAt), shownAt: now, seq: Number(content.dataset.readingsSeq) - seq0 });
      });
      observer.observe(document.body, { subtree: true, childList: true, attributes: true, characterData: true });
    });
    return seq0;
  }, { name, text: `${reading} ${unit}`, unit, bound: BOUND_MS });
}

const waitShown = (page) => page.evaluate(() => window.__benchReading);

// --- the run -------------------------------------------------------------------------------

async function main() {
  for (const tool of ['ipmi_sim', 'python3']) {
    try {
      execFileSync('which', [tool], { stdio: 'ignore' });
    } catch {
      say(`skipped: ${tool} is not installed (./dev setup)`);
      return;
    }
  }
  execFileSync('python3', [join(SIM_CONFIG, 'make_fixture.py'), '--bench', BENCH_DIR], { stdio: 'inherit' });
  const layout = JSON.parse(readFileSync(join(BENCH_DIR, 'bench.json'), 'utf8'));

  const work = mkdtempSync(join(tmpdir(), 'vexa-bench-view-'));
  const dataDir = join(work, 'data');
  const profile = join(work, 'chromium');
  mkdirSync(dataDir);
  mkdirSync(profile);
  let sim = null;
  let host = null;
  let browser = null;
  try {
    sim = await startSimulator(work, layout);
    const args = ['--listen', '127.0.0.1:0', '--data', dataDir, '--rmcp-port', String(sim.port)];
    if (webDir) args.push('--web', webDir);
    host = spawn(join(buildDir, 'bin', 'tarn-console'), args, { stdio: ['ignore', 'pipe', 'inherit'] });
    const url = await firstLine(host, 'tarn-console');
    const origin = new URL(url).origin;
    const token = new URL(url).searchParams.get('token');
    const api = async (method, path, body) => {
      const response = await fetch(origin + path, {
        method,
        headers: { 'X-Vexa-Token': token, 'Content-Type': 'application/json' },
        body: body === undefined ? undefined : JSON.stringify(body),
      });
      const text = await response.text();
      return { status: response.status, data: JSON.parse(text), bytes: Buffer.byteLength(text) };
    };
    const state = async () => (await api('GET', '/api/state')).data;
    if (!('view' in (await state()))) {
      say('skipped: this tarn-console has no content view ("view" is missing from /api/state)');
      return;
    }

    // Sensor polling at its shortest interval, before the server object reads it.
    const settings = (await state()).menus.flatMap((m) => m.items).find((i) => i.text.replace(/&/g, '') === 'General Setting');
    await api('POST', '/api/command', { id: settings.id });
    const dialog = await until(async () => {
      const m = (await state()).modal;
      return m && m.caption === 'Server Settings' && m;
    }, 'the settings dialog');
    const ok = dialog.buttons.find((b) => b.replace(/&/g, '') === 'OK');
    const set = await api('POST', '/api/answer', { id: dialog.id, button: ok, values: { 1003: SENSOR_INTERVAL_S } });
    if (set.status !== 200) throw new Error(`settings refused: ${JSON.stringify(set.data)}`);

    browser = await chromium.launchPersistentContext(profile, {
      executablePath: execFileSync('which', ['chromium']).toString().trim(),
      headless: true,
      args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
        '--disable-component-update', '--no-first-run', '--disable-sync'],
      viewport: { width: 1280, height: 900 },
    });
    const page = await browser.newPage();
    // The page's preset server: added without probing, selected, its login dialog opened.
    await page.goto(`${url}&Name=Bench&IP=${SIM_ADDRESS}&Type=IPMI&Connect=1`);
    const login = await until(async () => {
      const m = (await state()).modal;
      return m && m.caption === 'Connect to server' && m;
    }, 'the login dialog');
    const answered = await api('POST', '/api/answer', { id: login.id, button: 'OK', values: { 1: USER, 2: PASSWORD } });
    if (answered.status !== 200) throw new Error(`login refused: ${JSON.stringify(answered.data)}`);

    const t0 = Date.now();
    const loaded = await until(async () => {
      const s = await state();
      if (s.modal) throw new Error(`the console says: ${s.modal.caption}: ${s.modal.text}`);
      const sdr = findNode(s.tree, (n) => kindOf(n.value) === KIND.sdr);
      const count = sdr ? sdr.children.reduce((sum, t) => sum + t.children.length, 0) : 0;
      return count === layout.full && s;
    }, `the ${layout.full} full sensors in the tree`, SETUP_BOUND_MS);
    say(`setup: logged in and ${layout.sensors + 1} SDR records loaded in ${((Date.now() - t0) / 1000).toFixed(1)} s`);
    const tree = loaded.tree;
    const serverNode = findNode(tree, (n) => kindOf(n.value) === KIND.server);
    const sdrNode = findNode(tree, (n) => kindOf(n.value) === KIND.sdr);
    const typeNode = sdrNode.children.reduce((a, b) => (b.children.length > a.children.length ? b : a));
    const selNode = findNode(tree, (n) => kindOf(n.value) === KIND.sel);
    const gaugeNode = findNode(tree, (n) => kindOf(n.value) === KIND.gauges);

    // The event log is fetched after the records: wait until the SEL view lists all of it.
    const t1 = Date.now();
    let selRows = 0;
    await until(async () => {
      await api('POST', '/api/select', { value: selNode.value });
      const s = await state();
      selRows = s.view && s.view.node === selNode.value ? s.view.rows.length : 0;
      if (selRows === layout.selEntries) return true;
      await api('POST', '/api/select', { value: serverNode.value });
      return false;
    }, `${layout.selEntries} event rows`, SETUP_BOUND_MS).catch((e) => {
      if (!selRows) throw e;
      say(`setup: the SEL view lists ${selRows} of ${layout.selEntries} entries; measuring that`);
    });
    say(`setup: the event log in the view after ${((Date.now() - t1) / 1000).toFixed(1)} s more`);
    await api('POST', '/api/select', { value: serverNode.value });

    // Where the time goes on the host's side: a select until a state shows the node (fetched
    // back to back, bounded), and that state's size.
    const hostSide = async (value) => {
      const start = performance.now();
      await api('POST', '/api/select', { value });
      for (let i = 0; i < 1000 && performance.now() - start < BOUND_MS; i++) {
        const r = await api('GET', '/api/state');
        if (r.data.view && r.data.view.node === value) return { ms: performance.now() - start, kb: r.bytes / 1024 };
      }
      throw new Error(`the host did not show node ${value} within ${BOUND_MS} ms`);
    };

    const lists = [
      { node: typeNode, rows: typeNode.children.length,
        what: `sensor list "${typeNode.text}" (${typeNode.children.length} of ${layout.sensors} sensors, the largest type node)` },
      { node: sdrNode, rows: sdrNode.children.length, what: `"SDR" node (${sdrNode.children.length} sensor types)` },
      { node: selNode, rows: selRows, what: `"SEL" list (${selRows} entries)` },
    ];
    for (const list of lists) {
      try {
        await reveal(page, (await state()).tree, list.node.value);
        await reveal(page, (await state()).tree, serverNode.value);
        const inDom = [];
        const layout = [];
        const frame = [];
        for (let i = 0; i < samples; i++) {
          await clickAndTime(page, serverNode.value, -1);
          const t = await clickAndTime(page, list.node.value, list.rows);
          inDom.push(t.inDom);
          layout.push(t.layout);
          frame.push(t.frame);
        }
        const h = await hostSide(list.node.value);
        await hostSide(serverNode.value);
        report(`click to ${list.what} in the DOM`, inDom, LIST_AIM_MS);
        say(`  where the time goes: then style and layout median ${quantiles(layout).median.toFixed(1)} ms; ` +
          `click to painted median ${quantiles(frame).median.toFixed(1)} ms, max ${quantiles(frame).max.toFixed(1)} ms` +
          `${quantiles(frame).median < LIST_AIM_MS ? '' : ' (over the aim once painted)'}; ` +
          `host alone (select, then state fetched until it shows the node) ${h.ms.toFixed(1)} ms, state ${h.kb.toFixed(0)} KiB`);
      } catch (e) {
        say(`${list.what}: not measured: ${e.message}`);
      }
    }

    // Readings: the gauge view, the driven sensor's reading changed on the simulator.
    try {
      const driven = layout.driven;
      await reveal(page, (await state()).tree, gaugeNode.value);
      await clickAndTime(page, gaugeNode.value, -1);
      const view = await until(async () => {
        const s = await state();
        return s.view && s.view.node === gaugeNode.value && s.view.readings && s.view.readings.seq > 0 && s.view;
      }, 'the gauge view with readings');
      const tile = view.tiles.find((t) => t.name === driven.name);
      if (!tile) throw new Error(`no gauge tile for ${driven.name} (${view.tiles.length} tiles)`);
      const unit = tile.value.trim().replace(/^-?[\d.]+\s*/, '');
      const interval = SENSOR_INTERVAL_S * 1000;
      const latencies = [];
      const setToShown = [];
      for (let i = 0; i < samples; i++) {
        const reading = 60 + (i % 25); // above every other tile's reading, below the thresholds
        await armReadingWatch(page, driven.name, reading, unit);
        const setAt = Date.now();
        await simConsole(sim.consolePort, `sensor_set_value 0x20 ${driven.lun} ${driven.number} ${reading} 0`);
        const r = await waitShown(page);
        latencies.push(r.latency);
        setToShown.push(r.shownAt - setAt);
      }
      report(`readings message to the changed reading shown ("${driven.name}" in the gauge view, ` +
        `${Math.min(layout.full, GAUGE_TILES)} tiles)`, latencies, READINGS_AIM_MS,
        `; set on the simulator to shown median ${quantiles(setToShown).median.toFixed(0)} ms (polling every ${SENSOR_INTERVAL_S} s)`);
    } catch (e) {
      say(`readings to the page: not measured: ${e.message}`);
    }
  } finally {
    if (browser) await browser.close();
    await stop(host);
    if (sim) await stop(sim.child);
    rmSync(work, { recursive: true, force: true });
  }
}

await main();
