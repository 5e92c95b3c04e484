// browser.js - starts Debian's chromium headless (or, with
// FLUID_BROWSER=firefox, Debian's firefox-esr) for the tests, through
// puppeteer-core: no browser is downloaded, nothing outside 127.0.0.1 is
// contacted, and every start gets a fresh profile that is removed on close.
//
// WebGL runs on SwiftShader, chromium's software rasteriser, behind ANGLE:
// the machines the tests run on have no GPU the browser could use.
//
// Firefox is driven over WebDriver BiDi. Headless, it finds no GL driver
// here and gives no WebGL 2 ("Exhausted GL driver options"), whatever its
// preferences say; with a display (Xvfb, which scripts/web-test.sh starts
// with xvfb-run) it gives WebGL 2 on Mesa's llvmpipe. So it runs with a
// window, on the display in DISPLAY.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawn } = require('child_process');
const puppeteer = require('puppeteer-core');

const executablePath = process.env.CHROMIUM || '/usr/bin/chromium';

const flags = [
  '--headless=new',
  '--no-sandbox',
  '--use-gl=angle',
  '--use-angle=swiftshader',
  '--enable-unsafe-swiftshader',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--disable-default-apps',
  '--disable-extensions',
  '--no-first-run',
  '--no-default-browser-check',
  '--mute-audio',
];

const firefoxPath = process.env.FIREFOX || '/usr/bin/firefox-esr';
const engine = process.env.FLUID_BROWSER || 'chromium';

function launchFirefox(profile) {
  if (!fs.existsSync(firefoxPath)) throw new Error(`no firefox-esr at ${firefoxPath}: run scripts/install-deps.sh tests (or set FIREFOX)`);
  if (!process.env.DISPLAY) throw new Error('firefox needs a display for WebGL 2 here: run it under xvfb-run');
  return puppeteer.launch({
    browser: 'firefox',
    executablePath: firefoxPath,
    headless: false,
    userDataDir: profile,
    extraPrefsFirefox: { 'webgl.force-enabled': true, 'browser.shell.checkDefaultBrowser': false },
  });
}

// A started browser; close() also removes its profile.
async function startBrowser() {
  if (engine !== 'chromium' && engine !== 'firefox') throw new Error(`FLUID_BROWSER is chromium or firefox, not ${engine}`);
  if (engine === 'chromium' && !fs.existsSync(executablePath)) {
    throw new Error(`no chromium at ${executablePath}: run scripts/install-deps.sh tests (or set CHROMIUM)`);
  }
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), `fluid-${engine}-`));
  const browser =
    engine === 'firefox'
      ? await launchFirefox(profile)
      : await puppeteer.launch({
          executablePath,
          headless: true,
          args: [...flags, `--user-data-dir=${profile}`],
          userDataDir: profile,
        });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    try {
      await close();
    } finally {
      fs.rmSync(profile, { recursive: true, force: true });
    }
  };
  return browser;
}

// Serves dir on 127.0.0.1 (serve.py); resolves to { url, close }.
function startServer(dir) {
  return new Promise((resolve, reject) => {
    const server = spawn('python3', [path.join(__dirname, 'serve.py'), dir], { stdio: ['ignore', 'pipe', 'inherit'] });
    server.on('error', reject);
    server.on('exit', (code) => reject(new Error(`the page server ended (status ${code})`)));
    server.stdout.once('data', (line) => {
      resolve({ url: `http://127.0.0.1:${String(line).trim()}`, close: () => server.kill() });
    });
  });
}

// A new page whose console lines are kept: what the program prints (the
// dump) in printed, warnings, errors and uncaught exceptions in errors.
async function openPage(browser) {
  const page = await browser.newPage();
  const printed = [];
  const errors = [];
  page.on('console', (m) => (m.type() === 'log' ? printed : errors).push(m.text()));
  page.on('pageerror', (e) => errors.push(e.message));
  return { page, printed, errors };
}

// Polls test() in the page until it holds; throws after `seconds`.
async function waitFor(page, test, what, seconds = 30) {
  const end = Date.now() + seconds * 1000;
  while (Date.now() < end) {
    if (await page.evaluate(test)) return;
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error(`timed out after ${seconds} s waiting for ${what}`);
}

// Waits until the program in the page runs and has drawn `frames` frames:
// Module.calledRun says that its module is instantiated (its exports exist
// as stubs before that and fail when called), the frame count that main has
// set up and the display callback has run.
async function waitForProgram(page, frames = 1, seconds = 60) {
  await waitFor(
    page,
    `window.Module !== undefined && Module.calledRun === true && Module._webFramesDrawn() >= ${frames}`,
    `the program to draw ${frames} frame${frames === 1 ? '' : 's'}`,
    seconds,
  );
}

// The program's state, read through its exports (frontend/web/WebExports.cpp),
// with its flags by the names it gives them.
function programState(page) {
  return page.evaluate(() => {
    const names = JSON.parse(Module.UTF8ToString(Module._webInputNames()));
    const bits = Module._webFlags();
    return {
      frames: Module._webFramesDrawn(),
      steps: Module._webStepsCompleted(),
      replayPending: Module._webReplayPending() === 1,
      simulating: Module._webSimulating() === 1,
      flags: Object.fromEntries(names.flags.map((name, bit) => [name, ((bits >> bit) & 1) === 1])),
    };
  });
}

// The program's names for its input (webInputNames): commands, buttons,
// states and flags.
function inputNames(page) {
  return page.evaluate(() => JSON.parse(Module.UTF8ToString(Module._webInputNames())));
}

// A test-only script, added to `page` before it loads: the files the page
// hands the user as downloads (a link with a download name, clicked) are
// kept instead of saved, so that downloaded() can read them in any engine.
async function keepDownloads(page) {
  await page.evaluateOnNewDocument(() => {
    window.testDownloads = [];
    const click = HTMLAnchorElement.prototype.click;
    HTMLAnchorElement.prototype.click = function () {
      if (!this.download) return click.call(this);
      window.testDownloads.push({ name: this.download, url: this.href });
    };
  });
}

// The bytes of the download `name` (keepDownloads), once the page has
// handed it over; throws after `seconds`.
async function downloaded(page, name, seconds = 20) {
  await waitFor(page, `window.testDownloads.some((d) => d.name === ${JSON.stringify(name)})`, `the download ${name}`, seconds);
  const base64 = await page.evaluate(async (name) => {
    const { url } = window.testDownloads.find((d) => d.name === name);
    const bytes = new Uint8Array(await (await fetch(url)).arrayBuffer());
    let text = '';
    for (let k = 0; k < bytes.length; k += 0x8000) text += String.fromCharCode(...bytes.subarray(k, k + 0x8000));
    return btoa(text);
  }, name);
  return Buffer.from(base64, 'base64');
}

// The first line where the page's text and the desktop's differ, or 'none'.
function firstDifferentLine(a, b) {
  const x = a.split('\n');
  const y = b.split('\n');
  for (let k = 0; k < Math.max(x.length, y.length); ++k)
    if (x[k] !== y[k]) return `line ${k + 1}: page "${x[k]}", desktop "${y[k]}"`;
  return 'none';
}

// Ends a test script: each failure on standard error under the test's
// name, and exit status 1 if there was any.
function finish(name, failures) {
  if (!failures.length) return;
  for (const f of failures) console.error(`${name}: ${f}`);
  process.exit(1);
}

// What a test script's promise does when it throws: the message, status 1.
function failWith(name) {
  return (e) => {
    console.error(`${name}: ${e.message}`);
    process.exit(1);
  };
}

module.exports = {
  finish,
  failWith,
  startBrowser,
  startServer,
  openPage,
  waitFor,
  waitForProgram,
  programState,
  inputNames,
  keepDownloads,
  downloaded,
  firstDifferentLine,
  flags,
  executablePath,
  engine,
};
