// touch-test.js - the page on a phone, in headless chromium with touch
// emulation (390 x 844 CSS pixels, 2 device pixels each, portrait, then
// landscape): taps, drags, a touch the browser cancels and on-screen
// control presses while recording, with the field dump on. Two desktop
// replays must print the page's dump byte for byte:
//   - a session written here from the input given, the pixel under each
//     finger computed as GLUT computes a mouse position (the expectation
//     from outside the page);
//   - the session file the page downloads when its recording is stopped.
// Also: the picture control downloads a PNG of the canvas; at 360 x 640,
// 390 x 844 and 844 x 390 nothing is wider than the page and every control
// is at least 44 CSS pixels each way, with the settings panel open; and a
// session that cannot be loaded or read, and a browser without WebGL 2, are
// said so in the page's status line.
//
//   node tests/web/touch-test.js BUILD_WEB NATIVE_FLUID
// Exits 1 with the reasons on any difference, and on any console message
// of the page but the program's output.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { startBrowser, startServer, openPage, waitFor, waitForProgram, inputNames, firstDifferentLine, finish, failWith } = require('./browser');

const [buildWeb, nativeFluid] = process.argv.slice(2);
const portrait = { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true, isLandscape: false };
const landscape = { ...portrait, width: 844, height: 390, isLandscape: true };

// The input, paused throughout, stepped with the step control. Points are
// fractions of the canvas on the screen; controls are named by the
// program's commands.
const actions = [
  ['control', 'dump'],
  ['tap', 0.3, 0.6],
  ['step'],
  ['drag', [[0.2, 0.7], [0.3, 0.65], [0.4, 0.62], [0.5, 0.55]]],
  ['step'],
  ['control', 'walls'],
  ['drag', [[0.6, 0.5], [0.6, 0.56], [0.6, 0.62], [0.6, 0.68]]],
  ['tap', 0.7, 0.4], // a touch in wall mode flips a cell
  ['control', 'walls'],
  ['two fingers', [0.45, 0.45], [0.2, 0.3]], // the second does nothing
  ['cancelled touch', 0.35, 0.5], // a touch the browser cancels does nothing
  ['control', 'source'],
  ['control', 'velocity'],
  ['step'],
  ['step'],
  ['rotate'],
  ['tap', 0.5, 0.5],
  ['drag', [[0.1, 0.8], [0.2, 0.7], [0.35, 0.6]]],
  ['control', 'grid'],
  ['step'],
  ['control', 'reset'],
  ['tap', 0.25, 0.75],
  ['step'],
  ['step'],
];

const sizes = [
  { width: 360, height: 640 },
  { width: 390, height: 844 },
  { width: 844, height: 390 },
];

// What the page must say for a session it cannot use (the page's folder
// holds bad.session, written below).
const refusals = [
  ['?session=../examples/vortex-around-a-wall.session', 'only a file name beside the page'],
  ['?session=missing.session', 'cannot be loaded (404'],
  ['?session=bad.session', 'The program cannot start: bad.session:2:'],
  ['', 'no WebGL 2', () => (HTMLCanvasElement.prototype.getContext = () => null)],
];

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const frames = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));

async function waitForFile(dir, name, seconds = 20) {
  const file = path.join(dir, name);
  for (let t = 0; t < seconds * 20; ++t) {
    if (fs.existsSync(file) && !fs.existsSync(`${file}.crdownload`)) return file;
    await sleep(50);
  }
  throw new Error(`no download ${name} after ${seconds} s`);
}

function replayDump(sessionFile) {
  return execFileSync(nativeFluid, ['--headless', '--replay', sessionFile], { maxBuffer: 256 << 20 }).toString();
}

(async () => {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'fluid-touch-'));
  fs.writeFileSync(path.join(buildWeb, 'bad.session'), 'fluid-session 1\n0 jump 3 4\n1 end\n');
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  const failures = [];
  try {
    const { page, printed, errors } = await openPage(browser);
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: tmp });
    // A test-only script: counts the clicks that reach the on-screen
    // controls, which come some time after a tap.
    await page.evaluateOnNewDocument(() => {
      window.testControlClicks = 0;
      window.addEventListener('click', (e) => e.target.closest && e.target.closest('[data-control]') && ++window.testControlClicks, true);
    });
    await page.setViewport(portrait);
    await page.goto(`${server.url}/index.html?record=1`);
    await waitForProgram(page, 4);

    // The expected session, event by event, as the desktop writes it, with
    // the program's own keys.
    const keys = Object.fromEntries((await inputNames(page)).commands.map((c) => [c.name, c.key === ' ' ? 'space' : c.key]));
    let step = 0;
    const size = await page.evaluate(() => [canvas.width, canvas.height]);
    const lines = ['fluid-session 1', `0 size ${size[0]} ${size[1]}`];
    const geometry = () =>
      page.evaluate(() => {
        const r = document.getElementById('canvas').getBoundingClientRect();
        return { left: r.left, top: r.top, width: r.width, height: r.height, pw: canvas.width, ph: canvas.height };
      });
    let g = await geometry();
    // A point on the screen and the canvas pixel under it (y down).
    const at = ([fx, fy]) => {
      const x = Math.round(g.left + fx * g.width);
      const y = Math.round(g.top + fy * g.height);
      return { x, y, px: Math.trunc((x - g.left) * (g.pw / g.width)), py: Math.trunc((y - g.top) * (g.ph / g.height)) };
    };
    let walls = false;
    async function press(name) {
      const before = await page.evaluate(() => window.testControlClicks);
      await page.tap(`[data-control="${name}"]`);
      await waitFor(page, `window.testControlClicks > ${before}`, `the ${name} control`);
    }

    await press('pause');
    await waitFor(page, () => Module._webSimulating() === 0, 'the pause');
    step = await page.evaluate(() => Module._webStepsCompleted());
    const pausedAt = step;
    lines.push(`${step} key ${keys.pause}`);

    for (const [what, ...args] of actions) {
      if (what === 'control') {
        await press(args[0]);
        lines.push(`${step} key ${keys[args[0]]}`);
        if (args[0] === 'walls') walls = !walls;
      } else if (what === 'step') {
        await press('step');
        lines.push(`${step} key ${keys.step}`);
        ++step;
        await waitFor(page, `Module._webStepsCompleted() === ${step}`, `step ${step}`);
      } else if (what === 'tap') {
        g = await geometry();
        const p = at(args);
        await page.touchscreen.tap(p.x, p.y);
        const button = walls ? 'left' : 'right';
        lines.push(`${step} press ${button} ${p.px} ${p.py}`, `${step} release ${button} ${p.px} ${p.py}`);
      } else if (what === 'drag') {
        g = await geometry();
        const points = args[0].map(at);
        const touch = await page.touchscreen.touchStart(points[0].x, points[0].y);
        lines.push(`${step} press left ${points[0].px} ${points[0].py}`);
        for (const p of points.slice(1)) {
          await touch.move(p.x, p.y);
          await frames(page);
          lines.push(`${step} drag ${p.px} ${p.py}`);
        }
        await touch.end();
        const last = points[points.length - 1];
        lines.push(`${step} release left ${last.px} ${last.py}`);
      } else if (what === 'two fingers') {
        g = await geometry();
        const [a, b] = args.map(at);
        const first = await page.touchscreen.touchStart(a.x, a.y);
        const second = await page.touchscreen.touchStart(b.x, b.y);
        await second.move(b.x + 30, b.y + 30);
        await frames(page);
        await second.end();
        await first.end();
        lines.push(`${step} press right ${a.px} ${a.py}`, `${step} release right ${a.px} ${a.py}`);
      } else if (what === 'cancelled touch') {
        g = await geometry();
        const p = at(args);
        await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [{ x: p.x, y: p.y }] });
        await frames(page);
        await cdp.send('Input.dispatchTouchEvent', { type: 'touchCancel', touchPoints: [] });
      } else if (what === 'rotate') {
        const before = g;
        await page.setViewport(landscape);
        await waitFor(page, () => document.body.classList.contains('landscape'), 'the landscape layout');
        await frames(page);
        g = await geometry();
        if (g.pw !== Math.round(g.width * 2) || g.top + g.height > landscape.height)
          failures.push(`in landscape the canvas is ${g.width} CSS pixels at top ${g.top} for ${g.pw} pixels`);
        // The square may keep its size; a new one is a reshape, recorded.
        if (g.pw !== before.pw || g.ph !== before.ph) lines.push(`${step} size ${g.pw} ${g.ph}`);
      }
      await frames(page);
    }
    await press('record');
    lines.push(`${step} end`);
    const downloaded = await waitForFile(tmp, 'fluid.session');
    await press('picture');
    const picture = await waitForFile(tmp, 'fluid.png');
    const pictureSize = execFileSync('identify', ['-format', '%wx%h', picture]).toString();
    if (pictureSize !== `${g.pw}x${g.ph}`) failures.push(`the picture is ${pictureSize}, the canvas ${g.pw}x${g.ph}`);

    await frames(page);
    const dump = printed.join('\n') + '\n';
    const expected = path.join(tmp, 'expected.session');
    fs.writeFileSync(expected, lines.join('\n') + '\n');
    for (const [name, file] of [['the input given', expected], ['the downloaded recording', downloaded]]) {
      const desktop = replayDump(file);
      if (desktop === dump) console.log(`touch-test: the desktop's replay of ${name} prints the page's dump byte for byte (${dump.length} bytes)`);
      else failures.push(`the desktop's replay of ${name} differs from the page's dump, first at ${firstDifferentLine(dump, desktop)}`);
    }
    const dumps = dump.split('Total Density').length - 1;
    if (dumps !== step - pausedAt) failures.push(`the page dumped ${dumps} steps, not ${step - pausedAt}`);

    // Phone screens: no overflow (the settings panel open), controls big
    // enough for a finger.
    await page.$eval('#settings', (d) => (d.open = true));
    for (const size of sizes) {
      await page.setViewport({ ...portrait, ...size, isLandscape: size.width > size.height });
      await frames(page);
      const fit = await page.evaluate(() => {
        const d = document.documentElement;
        const small = [...document.querySelectorAll('#controls button')]
          .map((b) => b.getBoundingClientRect())
          .filter((r) => r.width < 44 || r.height < 44).length;
        const c = canvas.getBoundingClientRect();
        return { scroll: d.scrollWidth, width: d.clientWidth, small, right: c.right, bottom: c.bottom, height: innerHeight };
      });
      if (fit.scroll > fit.width || fit.right > fit.width || fit.bottom > fit.height || fit.small)
        failures.push(`at ${size.width} x ${size.height}: page ${fit.scroll} wide in ${fit.width}, canvas to ${fit.right}, ${fit.bottom} in height ${fit.height}, ${fit.small} controls under 44 px`);
    }
    if (errors.length) failures.push(`the page wrote ${errors.length} console message(s) besides its output: ${errors.slice(0, 3).join('; ')}`);

    // Sessions the page cannot use.
    for (const [name, says, before] of refusals) {
      const p = await browser.newPage();
      if (before) await p.evaluateOnNewDocument(before);
      await p.goto(`${server.url}/index.html${name}`);
      try {
        await waitFor(p, `document.getElementById('status').textContent.includes(${JSON.stringify(says)})`, `the page to refuse ${name}`, 15);
      } catch (e) {
        failures.push(`${name}: the status says "${await p.$eval('#status', (s) => s.textContent)}", not "${says}"`);
      }
      await p.close();
    }
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(path.join(buildWeb, 'bad.session'), { force: true });
    if (!process.env.TOUCH_TEST_KEEP) fs.rmSync(tmp, { recursive: true, force: true });
    else console.log(`touch-test: files kept in ${tmp}`);
  }
  finish('touch-test', failures);
})().catch(failWith('touch-test'));
