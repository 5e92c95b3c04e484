// webgl2-check.js - whether the test browser (browser.js) gives a page a WebGL 2 context.
// Prints the renderer and exits 0 when it does; exits 1 with the reason when
// it does not.
'use strict';

const { startBrowser, engine } = require('./browser');

(async () => {
  const browser = await startBrowser();
  try {
    const page = await browser.newPage();
    await page.setContent('<canvas id="c" width="16" height="16"></canvas>');
    const found = await page.evaluate(() => {
      const gl = document.getElementById('c').getContext('webgl2');
      if (!gl) return null;
      const info = gl.getExtension('WEBGL_debug_renderer_info');
      return {
        version: gl.getParameter(gl.VERSION),
        renderer: info ? gl.getParameter(info.UNMASKED_RENDERER_WEBGL) : gl.getParameter(gl.RENDERER),
      };
    });
    if (!found) throw new Error(`${engine} gave the page no WebGL 2 context`);
    console.log(`${engine}: WebGL 2: ${found.version}; renderer: ${found.renderer}`);
  } finally {
    await browser.close();
  }
})().catch((e) => {
  console.error(`webgl2-check: ${e.message}`);
  process.exit(1);
});
