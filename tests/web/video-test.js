// video-test.js - the page's Record video control, in chromium or (with
// FLUID_BROWSER=firefox, under Xvfb) firefox-esr: a video of the canvas
// while density is dropped and stirred, downloaded on Stop video, must be
// a file ffprobe decodes at the canvas's size with frames that are not all
// black; and a browser without MediaRecorder is told so in the status line.
//
//   node tests/web/video-test.js BUILD_WEB
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');
const { startBrowser, startServer, openPage, waitFor, waitForProgram, keepDownloads, downloaded, engine, finish, failWith } = require('./browser');

const [buildWeb] = process.argv.slice(2);
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

(async () => {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'fluid-video-'));
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  const failures = [];
  try {
    const { page } = await openPage(browser);
    await page.setViewport({ width: 800, height: 600 });
    await keepDownloads(page);
    await page.goto(`${server.url}/index.html`);
    await waitForProgram(page, 4);
    const size = await page.evaluate(() => [canvas.width, canvas.height]);
    await page.click('[data-control="video"]');
    const box = await page.$eval('#canvas', (c) => { const r = c.getBoundingClientRect(); return { x: r.left, y: r.top, w: r.width, h: r.height }; });
    for (let k = 0; k < 12; ++k) {
      await page.mouse.click(box.x + box.w * (0.2 + 0.05 * k), box.y + box.h * 0.5, { button: 'right' });
      await sleep(150);
    }
    await page.click('[data-control="video"]');
    const name = await page.evaluate(() => new Promise((r) => {
      const wait = () => (window.testDownloads.length ? r(window.testDownloads[0].name) : setTimeout(wait, 50));
      wait();
    }));
    const file = path.join(tmp, name);
    fs.writeFileSync(file, await downloaded(page, name));
    const probe = JSON.parse(execFileSync('ffprobe', ['-v', 'error', '-count_frames', '-select_streams', 'v:0', '-show_entries',
      'stream=codec_name,width,height,nb_read_frames', '-of', 'json', file]).toString()).streams[0];
    const last = path.join(tmp, 'last.png');
    execFileSync('ffmpeg', ['-v', 'error', '-sseof', '-0.5', '-i', file, '-update', '1', '-y', last]);
    const brightest = Number(execFileSync('convert', [last, '-format', '%[fx:maxima]', 'info:']).toString());
    if (probe.width !== size[0] || probe.height !== size[1] || !(Number(probe.nb_read_frames) >= 10) || !(brightest > 0.1))
      failures.push(`${name}: ${JSON.stringify(probe)}, brightest ${brightest}, for a canvas of ${size.join(' x ')}`);
    else console.log(`video-test (${engine}): ${name} decodes: ${probe.codec_name}, ${probe.width} x ${probe.height}, ${probe.nb_read_frames} frames`);

    const bare = await browser.newPage();
    await bare.evaluateOnNewDocument(() => delete window.MediaRecorder);
    await bare.goto(`${server.url}/index.html`);
    await waitForProgram(bare);
    await bare.click('[data-control="video"]');
    const said = await bare.$eval('#status', (s) => s.textContent);
    if (!said.includes('cannot record the canvas as a video')) failures.push(`without MediaRecorder the status says "${said}"`);
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(tmp, { recursive: true, force: true });
  }
  finish('video-test', failures);
})().catch(failWith('video-test'));
