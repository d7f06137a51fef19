// The page's time from a command click to the dialog it opens, in headless Chromium against
// tarn-console on a free loopback port: "Add New Server Node" clicked in the menu, the
// "Add a new server connection" dialog drawn, then cancelled. Run by ./dev bench.
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = resolve(here, '..', '..');
const buildDir = process.env.VEXA_BUILD_DIR || join(root, 'build');
const require = createRequire(join(root, 'tests', 'web', 'package.json'));
const { chromium } = require('playwright-core');
const samples = Number(process.argv[2] || 30);

const dataDir = mkdtempSync(join(tmpdir(), 'vexa-bench-page-'));
const profile = mkdtempSync(join(tmpdir(), 'vexa-bench-chromium-'));
const host = spawn(join(buildDir, 'bin', 'tarn-console'), ['--listen', '127.0.0.1:0', '--data', dataDir], {
  stdio: ['ignore', 'pipe', 'inherit'],
});
let browser = null;
try {
  const url = await new Promise((done, fail) => {
    let out = '';
    const timer = setTimeout(() => fail(new Error('tarn-console printed no address')), 10000);
    host.stdout.on('data', (c) => {
      out += c;
      if (out.includes('\n')) {
        clearTimeout(timer);
        done(out.slice(0, out.indexOf('\n')));
      }
    });
  });
  browser = await chromium.launchPersistentContext(profile, {
    executablePath: execFileSync('which', ['chromium']).toString().trim(),
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run'],
  });
  const page = await browser.newPage();
  await page.goto(url);
  await page.waitForSelector('.menu-title');
  const times = [];
  for (let i = 0; i < samples; i++) {
    await page.locator('.menu-title', { hasText: 'Server' }).click();
    const item = page.locator('.menu-item .text', { hasText: 'Add New Server Node' });
    await item.waitFor();
    const t0 = await page.evaluate(() => performance.now());
    await item.click();
    await page.waitForSelector('.modal-dialog .modal-caption', { timeout: 10000 });
    const t1 = await page.evaluate(() => performance.now());
    times.push(t1 - t0);
    await page.locator('.modal-buttons button[data-button="&Cancel"]').click();
    await page.waitForSelector('.modal', { state: 'detached', timeout: 10000 });
  }
  times.sort((a, b) => a - b);
  const at = (q) => times[Math.floor(q * (times.length - 1))];
  console.log(`bench-page: command click to dialog, ${samples} samples: median ${at(0.5).toFixed(1)} ms, p90 ${at(0.9).toFixed(1)} ms, max ${times.at(-1).toFixed(1)} ms`);
} finally {
  if (browser) await browser.close();
  host.kill('SIGTERM');
  await new Promise((done) => (host.exitCode !== null ? done() : host.once('exit', done)));
  rmSync(dataDir, { recursive: true, force: true });
  rmSync(profile, { recursive: true, force: true });
}
