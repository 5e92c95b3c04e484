// tap-test.js - a tap's density appears in the cell drawn under the finger,
// on phone and tablet screens (390 x 844 and 768 x 1024, portrait and
// landscape, 2 and 3 device pixels per CSS pixel), in headless chromium
// with touch emulation. For each screen the page is paused with the dump
// on; each tap is followed by one step, whose dump gives the cell with the
// most density, and by a reset. The cell under the finger is worked out
// from where the program draws cells: floor(width / 126) pixels each from
// the canvas's bottom left corner, border cells included. Prints each
// screen's canvas and largest offset in cells; fails beyond one cell.
//
//   node tests/web/tap-test.js BUILD_WEB
'use strict';

const { startBrowser, startServer, openPage, waitFor, waitForProgram, inputNames, finish, failWith } = require('./browser');

const [buildWeb] = process.argv.slice(2);
const N = 126; // interior cells per side; the dump has N + 2 values a line
const screens = [390, 768].flatMap((short) =>
  [2, 3].flatMap((ratio) =>
    [false, true].map((isLandscape) => {
      const long = short === 390 ? 844 : 1024;
      return { width: isLandscape ? long : short, height: isLandscape ? short : long, deviceScaleFactor: ratio, isLandscape };
    }),
  ),
);
// Where to tap, as fractions of the drawn grid on the screen: near each
// corner (the far ones are where a drifting pick strays most) and the
// middle.
const taps = [
  [0.12, 0.1],
  [0.5, 0.5],
  [0.9, 0.15],
  [0.15, 0.88],
  [0.87, 0.92],
];

// The cell (i up, j across) with the most density in the last dump of
// `text`: lines from i = N + 1 down to 0, values for j = 0 to N + 1.
function densestCell(text) {
  const rows = text.slice(text.lastIndexOf('Density Field')).split('\n').slice(1, N + 3);
  let best = { value: -Infinity };
  rows.forEach((line, r) =>
    line
      .trim()
      .split(' ')
      .forEach((v, j) => Number(v) > best.value && (best = { value: Number(v), i: N + 1 - r, j })),
  );
  return best;
}

(async () => {
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  const failures = [];
  try {
    for (const screen of screens) {
      const name = `${screen.width}x${screen.height} at ${screen.deviceScaleFactor}`;
      const { page, printed, errors } = await openPage(browser);
      await page.setViewport({ ...screen, isMobile: true, hasTouch: true });
      await page.goto(`${server.url}/index.html`);
      await waitForProgram(page, 2);
      const keys = Object.fromEntries((await inputNames(page)).commands.map((c) => [c.name, c.key]));
      await page.keyboard.press(keys.pause);
      await waitFor(page, () => Module._webSimulating() === 0, 'the pause');
      await page.keyboard.press(keys.dump);
      const g = await page.evaluate(() => {
        const r = canvas.getBoundingClientRect();
        return { left: r.left, top: r.top, width: r.width, height: r.height, pw: canvas.width, ph: canvas.height };
      });
      const cell = Math.floor(g.pw / N);
      let worst = 0;
      const misses = [];
      for (const [fx, fy] of taps) {
        // The grid is drawn from the bottom left, 128 cells of `cell` pixels.
        const x = Math.round(g.left + (fx * (N + 2) * cell * g.width) / g.pw);
        const y = Math.round(g.top + g.height - ((1 - fy) * (N + 2) * cell * g.height) / g.ph);
        const under = {
          i: Math.floor((g.ph - ((y - g.top) * g.ph) / g.height) / cell),
          j: Math.floor((((x - g.left) * g.pw) / g.width) / cell),
        };
        const dumps = printed.join('\n').split('Total Density').length;
        const step = await page.evaluate(() => Module._webStepsCompleted());
        await page.touchscreen.tap(x, y);
        await page.keyboard.press(keys.step);
        await waitFor(page, `Module._webStepsCompleted() === ${step + 1}`, 'the step');
        const until = Date.now() + 10000;
        while (printed.join('\n').split('Total Density').length === dumps && Date.now() < until) await new Promise((r) => setTimeout(r, 50));
        const found = densestCell(printed.join('\n'));
        const off = Math.max(Math.abs(found.i - under.i), Math.abs(found.j - under.j));
        worst = Math.max(worst, off);
        if (off > 1) misses.push(`tap at (${fx}, ${fy}) over cell (${under.i}, ${under.j}), density in (${found.i}, ${found.j})`);
        await page.keyboard.press(keys.reset);
      }
      console.log(`tap-test: ${name}: canvas ${g.pw} px in ${g.width.toFixed(2)} CSS px, cells of ${cell} px; taps off by at most ${worst} cell${worst === 1 ? '' : 's'}`);
      if (misses.length) failures.push(`${name}: ${misses.join('; ')}`);
      if (g.pw % 128 !== 0 || g.pw !== g.ph) failures.push(`${name}: the canvas is ${g.pw} x ${g.ph} pixels, not a square of a multiple of 128`);
      if (errors.length) failures.push(`${name}: the page reported ${errors.slice(0, 3).join('; ')}`);
      await page.close();
    }
  } finally {
    await browser.close();
    server.close();
  }
  finish('tap-test', failures);
})().catch(failWith('tap-test'));
