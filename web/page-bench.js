// page-bench.js - the page's figures in headless chromium:
//   - the median whole step with the 4-lane fast kernels, timed in the page
//     (?bench=STEPS, performance.now() per step), once per round;
//   - frames per second of the running program with the default views,
//     counted over a few seconds, on a phone's screen (390 x 844, 2 device
//     pixels per CSS pixel) and at 1280 x 800.
//
//   node web/page-bench.js BUILD_WEB STEPS ROUNDS [no-fps]
// Prints "page median step MS" per round and "frames per second SCREEN FPS"
// per screen.
'use strict';

const { startBrowser, startServer } = require('./browser');

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
      await page.waitForFunction(() => window.fluidBench !== undefined, { timeout: 120000, polling: 100 });
      const ms = await page.evaluate(() => window.fluidBench);
      if (ms < 0) throw new Error('the page could not time 4-lane steps');
      console.log(`page median step ${ms.toFixed(4)}`);
    }
    // Frames per second with the default views, the canvas laid out for
    // each screen (at its devicePixelRatio).
    for (const [name, screen] of screens) {
      if (!measureFps) break;
      await page.setViewport(screen);
      await page.goto(`${server.url}/index.html`);
      // Module.calledRun: instantiated and started; the exports fail when called before.
      await page.waitForFunction(() => window.fluidState && Module.calledRun === true && fluidState().frames > 10, {
        timeout: 60000,
        polling: 100,
      });
      const seconds = 5;
      const before = await page.evaluate(() => [fluidState().frames, performance.now()]);
      await new Promise((r) => setTimeout(r, seconds * 1000));
      const after = await page.evaluate(() => [fluidState().frames, performance.now(), canvas.width, canvas.height]);
      const fps = (after[0] - before[0]) / ((after[1] - before[1]) / 1000);
      console.log(`frames per second ${name} ${fps.toFixed(1)} (canvas ${after[2]} x ${after[3]} pixels)`);
    }
  } finally {
    await browser.close();
    server.close();
  }
})().catch((e) => {
  console.error(`page-bench: ${e.message}`);
  process.exit(1);
});
