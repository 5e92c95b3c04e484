// page-screenshot.js - docs/web.png and docs/web-phone.png: the page in
// headless chromium at 1280 x 800 and on a phone's screen (390 x 844, 2
// device pixels per CSS pixel), after sources written around a circle with
// the right button (or a tap) and the source control, default views.
//   node scripts/page-screenshot.js BUILD_WEB DESKTOP.png PHONE.png
'use strict';

const { startBrowser, startServer, waitFor, waitForProgram } = require('../tests/web/browser');

const [buildWeb, desktopOut, phoneOut] = process.argv.slice(2);
const shots = [
  [desktopOut, { width: 1280, height: 800, deviceScaleFactor: 1 }],
  [phoneOut, { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true }],
];

(async () => {
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  try {
    for (const [out, screen] of shots) {
      const page = await browser.newPage();
      await page.setViewport(screen);
      await page.goto(`${server.url}/index.html`);
      await waitForProgram(page, 4);
      const press = (name) => (screen.hasTouch ? page.tap(`[data-control="${name}"]`) : page.click(`[data-control="${name}"]`));
      const r = await page.evaluate(() => {
        const b = canvas.getBoundingClientRect();
        return { left: b.left, top: b.top, width: b.width, height: b.height };
      });
      // Sources around a circle, one every few steps, and the fixed source.
      for (let k = 0; k < 40; ++k) {
        const a = (k / 40) * 2 * Math.PI;
        const x = r.left + (0.42 + 0.22 * Math.cos(a)) * r.width;
        const y = r.top + (0.58 + 0.22 * Math.sin(a)) * r.height;
        if (screen.hasTouch) await page.touchscreen.tap(x, y);
        else await page.mouse.click(x, y, { button: 'right' });
        if (k % 4 === 0) await press('source');
        const steps = await page.evaluate(() => Module._webStepsCompleted());
        await waitFor(page, `Module._webStepsCompleted() >= ${steps + 3}`, `step ${steps + 3}`, 60);
      }
      await page.screenshot({ path: out });
      await page.close();
    }
  } finally {
    await browser.close();
    server.close();
  }
})().catch((e) => {
  console.error(`page-screenshot: ${e.message}`);
  process.exit(1);
});
