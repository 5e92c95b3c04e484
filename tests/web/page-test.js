// page-test.js - the page end to end in a browser: a session
// replayed through ?session=, the field dump it prints compared byte for
// byte with the desktop program's, and the cell colours of the page's
// picture (as its save-picture control takes it) compared with the
// desktop's frame of the same session. Then the keys: C as Caps Lock sends
// it (key C, code KeyC, no Shift) leaves the dump alone, c turns it over,
// and Esc stops the page. In headless chromium by default, in firefox-esr
// with FLUID_BROWSER=firefox (browser.js).
//
//   node tests/web/page-test.js BUILD_WEB SESSION_NAME DESKTOP_DUMP DESKTOP_PNG LAST_STEP
//
// SESSION_NAME is served from BUILD_WEB; the session must end paused (key s
// at LAST_STEP) with no velocity lines or grid shown, so that every pixel of
// a cell is the cell's colour. Exits 1 with the reason on any difference.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const {
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
  finish,
  failWith,
} = require('./browser');

const [buildWeb, sessionName, dumpPath, pngPath, lastStepText] = process.argv.slice(2);
const lastStep = Number(lastStepText);

// Raw RGB rows, top row first (ImageMagick).
function rgbOf(file) {
  return execFileSync('convert', [file, '-depth', '8', 'rgb:-'], { maxBuffer: 64 << 20 });
}

(async () => {
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  const failures = [];
  try {
    const { page, printed, errors } = await openPage(browser);
    await keepDownloads(page);
    await page.goto(`${server.url}/index.html?session=${encodeURIComponent(sessionName)}`);
    await waitForProgram(page);
    const started = Date.now();
    await waitFor(
      page,
      `Module._webStepsCompleted() >= ${lastStep} && Module._webReplayPending() === 0 && Module._webSimulating() === 0`,
      `the replay to reach step ${lastStep} and pause`,
      90,
    );
    const state = await programState(page);
    console.log(`page-test: replayed ${state.steps} steps in ${((Date.now() - started) / 1000).toFixed(1)} s`);
    if (state.steps !== lastStep) failures.push(`the page ran ${state.steps} steps, not ${lastStep}`);
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));

    // The dump: from the console, and the panel shows the same text.
    const dump = printed.join('\n') + '\n';
    const desktopDump = fs.readFileSync(dumpPath, 'utf8');
    // Interior cells per side: a dumped field has them and its two borders.
    const N = desktopDump.split('\n')[3].trim().split(' ').length - 2;
    if (dump === desktopDump) console.log(`page-test: the dump equals the desktop's byte for byte (${dump.length} bytes)`);
    else failures.push(`the dump differs from the desktop's, first at ${firstDifferentLine(dump, desktopDump)}`);
    const panel = await page.$eval('#dump', (t) => t.textContent);
    if (panel !== desktopDump) failures.push('the panel under the canvas does not hold the dump');

    // Cell colours: each visible cell's centre pixel, page against desktop.
    const shot = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'fluid-page-')), 'canvas.png');
    // The picture the page's save-picture control downloads: the drawing
    // buffer right after a frame, without the compositor's colour handling.
    await page.$eval('[data-control="picture"]', (b) => b.click());
    fs.writeFileSync(shot, await downloaded(page, 'fluid.png'));
    const ours = rgbOf(shot);
    const theirs = rgbOf(pngPath);
    const size = 512;  // the window of the session, which changes no size
    if (ours.length !== size * size * 3 || theirs.length !== size * size * 3) {
      failures.push(`pictures of ${ours.length / 3} and ${theirs.length / 3} pixels, not ${size} x ${size}`);
    } else {
      const cell = Math.floor(size / N);  // cellSize
      let compared = 0;
      const wrong = [];
      for (let i = 1; i <= N; ++i)
        for (let j = 1; j <= N; ++j) {
          const x = j * cell + cell / 2;
          const yUp = i * cell + cell / 2;
          if (x >= size || yUp >= size) continue;  // cells beyond the window's edge
          const at = ((size - 1 - yUp) * size + x) * 3;
          ++compared;
          if (ours[at] !== theirs[at] || ours[at + 1] !== theirs[at + 1] || ours[at + 2] !== theirs[at + 2])
            wrong.push(`(${i}, ${j}): page ${[...ours.subarray(at, at + 3)]}, desktop ${[...theirs.subarray(at, at + 3)]}`);
        }
      if (wrong.length === 0) console.log(`page-test: all ${compared} visible cells have the desktop's colour exactly`);
      else failures.push(`${wrong.length} of ${compared} cells differ in colour, e.g. ${wrong.slice(0, 3).join('; ')}`);
    }
    if (process.env.PAGE_TEST_KEEP) fs.copyFileSync(shot, process.env.PAGE_TEST_KEEP);
    fs.rmSync(path.dirname(shot), { recursive: true, force: true });

    // Keys are the characters the browser reports: with Caps Lock on, c
    // comes as C (code KeyC, no Shift), which is no command, as on the
    // desktop; c turns the dump over.
    const dumpBit = (await inputNames(page)).flags.indexOf('dump');
    const dumpIs = (on) => `((Module._webFlags() >> ${dumpBit}) & 1) === ${on ? 1 : 0}`;
    const dumpBefore = (await programState(page)).flags.dump;
    await page.keyboard.press('C');
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
    if ((await programState(page)).flags.dump !== dumpBefore) failures.push('C (c with Caps Lock on) turned the dump over; only c does');
    await page.keyboard.press('c');
    try {
      await waitFor(page, dumpIs(!dumpBefore), 'c to turn the dump over', 5);
      console.log('page-test: c turns the dump over, C (c with Caps Lock on) does not');
    } catch (e) {
      failures.push('c did not turn the dump over');
    }

    // Esc stops the program and the page says so.
    await page.keyboard.press('Escape');
    const framesAtStop = await page.evaluate(() => Module._webFramesDrawn());
    await new Promise((r) => setTimeout(r, 300));
    const after = await page.evaluate(() => ({ frames: Module._webFramesDrawn(), status: document.getElementById('status').textContent }));
    if (after.frames !== framesAtStop || !after.status.startsWith('Stopped')) failures.push(`Esc did not stop the page (status "${after.status}")`);
    if (errors.length) failures.push(`the page reported errors: ${errors.slice(0, 3).join('; ')}`);
  } finally {
    await browser.close();
    server.close();
  }
  finish('page-test', failures);
})().catch(failWith('page-test'));
