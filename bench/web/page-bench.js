// page-bench.js - the page's figures in headless chromium:
//   - the median whole step with the 4-lane fast kernels, timed in the page
//     (?bench=STEPS, performance.now() per step), once per round;
//   - frames per second of the running program with the default views,
//     counted over a few seconds, on a phone's screen (390 x 844, 2 device
//     pixels per CSS pixel) and at 1280 x 800, with the field dump off and
//     then on (key c: some 450 KB of output a step to the console and the
//     panel).
//
//   node bench/web/page-bench.js BUILD_WEB STEPS ROUNDS [no-fps]
// Prints "page median step MS" per round and "frames per second SCREEN
// FPS ..." per screen, with "dump on FPS" after it.
'use strict';

const { startBrowser, startServer, waitFor, waitForProgram, inputNames } = require('../../tests/web/browser');

const [buildWeb, stepsText, roundsText] = process.argv.slice(2);
const steps = Number(stepsText) || 1000;
const rounds = Number(roundsText) || 0;
const measureFps = process.argv[5] !== 'no-fps';
const screens = [
  ['phone 390x844', { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true }],
  ['1280x800', { width: 1280, height: 800, deviceScaleFactor: 1 }],
];

(async () => {
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  try {
    const page = await browser.newPage();
    for (let round = 0; round < rounds; ++round) {
      await page.goto(`${server.url}/index.html?bench=${steps}`);
      // The result is the status line's.
      const result = "document.getElementById('status').textContent";
      await waitFor(page, `/median step|could not run/.test(${result})`, 'the step benchmark', 120);
      const said = await page.evaluate(result);
      const ms = /median step ([0-9.]+) ms/.exec(said);
      if (!ms) throw new Error(`the page could not time 4-lane steps (${said})`);
      console.log(`page median step ${ms[1]}`);
    }
    // Frames per second with the default views, the canvas laid out for
    // each screen (at its devicePixelRatio); with the dump off, then on.
    const seconds = 5;
    const framesPerSecond = async () => {
      const before = await page.evaluate(() => [Module._webFramesDrawn(), performance.now()]);
      await new Promise((r) => setTimeout(r, seconds * 1000));
      const after = await page.evaluate(() => [Module._webFramesDrawn(), performance.now()]);
      return (after[0] - before[0]) / ((after[1] - before[1]) / 1000);
    };
    for (const [name, screen] of screens) {
      if (!measureFps) break;
      await page.setViewport(screen);
      await page.goto(`${server.url}/index.html`);
      await waitForProgram(page, 11);
      const off = await framesPerSecond();
      const canvas = await page.evaluate(() => [canvas.width, canvas.height]);
      const dump = (await inputNames(page)).commands.find((c) => c.name === 'dump').key;
      await page.keyboard.press(dump);
      await new Promise((r) => setTimeout(r, 1000));
      const on = await framesPerSecond();
      console.log(`frames per second ${name} ${off.toFixed(1)} (canvas ${canvas[0]} x ${canvas[1]} pixels), dump on ${on.toFixed(1)}`);
    }
  } finally {
    await browser.close();
    server.close();
  }
})().catch((e) => {
  console.error(`page-bench: ${e.message}`);
  process.exit(1);
});
