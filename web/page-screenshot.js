// page-screenshot.js - docs/web.png: the page in headless chromium, 200
// steps into the replay of examples/vortex-around-a-wall.session.
//   node web/page-screenshot.js BUILD_WEB OUT.png
'use strict';

const { startBrowser, startServer } = require('./browser');

const [buildWeb, out] = process.argv.slice(2);

(async () => {
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 560, height: 860 });
    await page.goto(`${server.url}/index.html?session=vortex-around-a-wall.session`);
    await page.waitForFunction(() => window.fluidState && Module._webStepsCompleted && fluidState().steps >= 200, {
      timeout: 60000,
      polling: 50,
    });
    await page.screenshot({ path: out });
  } finally {
    await browser.close();
    server.close();
  }
})().catch((e) => {
  console.error(`page-screenshot: ${e.message}`);
  process.exit(1);
});
