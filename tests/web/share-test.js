// share-test.js - share links, in headless chromium: a run made by taps,
// drags and on-screen controls on a phone-sized page, shared with the
// Share control, replays in a fresh page to the same dump, and the desktop
// replays the same link to that dump; links made by
// Python's zlib replay in the page as the desktop replays their sessions;
// a run too long for a link downloads its session file instead; and each
// bad link is refused in one sentence with nothing replayed.
//
//   node tests/web/share-test.js BUILD_WEB NATIVE_FLUID
// Exits 1 with the reasons on any difference.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync, spawnSync } = require('child_process');
const { startBrowser, startServer, openPage, waitFor, waitForProgram, keepDownloads, downloaded, firstDifferentLine, finish, failWith } = require('./browser');

const [buildWeb, nativeArgument] = process.argv.slice(2);
const nativeFluid = path.resolve(nativeArgument); // also run from the test's own folder
const phone = { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true, isLandscape: false };
const linkTool = path.join(__dirname, 'session-link.py');
const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'fluid-share-'));
const failures = [];

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const frames = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const encode = (file) => execFileSync('python3', [linkTool, 'encode', file]).toString().trim();
const status = (page) => page.$eval('#status', (s) => s.textContent);

function writeSession(name, text) {
  const file = path.join(tmp, name);
  fs.writeFileSync(file, text);
  return file;
}
function desktopDump(args) {
  return execFileSync(nativeFluid, ['--headless', '--replay', ...args], { maxBuffer: 256 << 20 }).toString();
}
// The desktop's dump of a link: build/fluid replays the link itself.
function desktopDumpOfLink(link) {
  return desktopDump([link]);
}
function compare(what, page, desktop) {
  if (page === desktop) console.log(`share-test: ${what}: the same dump (${page.length} bytes)`);
  else failures.push(`${what}: dumps differ, first at ${firstDifferentLine(page, desktop)}`);
}

// Opens `url` at the phone's size; resolves to openPage's result.
async function open(browser, url) {
  const opened = await openPage(browser);
  await opened.page.setViewport(phone);
  await keepDownloads(opened.page);
  await opened.page.goto(url);
  return opened;
}
// Waits for a replay to end at `step` and returns the page's dump.
async function replayedDump({ page, printed }, step) {
  await waitForProgram(page);
  await waitFor(page, `Module._webReplayPending() === 0 && Module._webStepsCompleted() === ${step}`, `the replay to end at step ${step}`, 120);
  await frames(page);
  return printed.join('\n') + '\n';
}
async function press(page, name) {
  await page.tap(`[data-control="${name}"]`);
  await frames(page);
}
// The link the page shows after Share.
async function shareLink(page) {
  await press(page, 'share');
  await waitFor(page, () => !document.getElementById('share-link').hidden || /too long/.test(document.getElementById('status').textContent), 'the link');
  return page.$eval('#share-link', (f) => (f.hidden ? '' : f.value));
}

// An example session with the dump on (c) for its last two steps and a
// pause (s), as scripts/web-test.sh makes its page test's session.
function withDump(text, keys) {
  const last = Number(/^(\d+) end$/m.exec(text)[1]);
  const events = text.split('\n').filter((l) => l && !/^\d+ end$/.test(l));
  return { text: [...events, `${last} key ${keys.dump}`, `${last + 2} key ${keys.pause}`, `${last + 2} end`, ''].join('\n'), step: last + 2 };
}
// A session whose text deflates badly: drags to scattered places, so that
// its link is longer than a link may be.
function scatteredSession(keys) {
  const lines = ['fluid-session 1', `0 key ${keys.pause}`, `0 key ${keys.dump}`];
  let seed = 12345;
  const next = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) % 500) + 6;
  for (let k = 0; k < 600; ++k) lines.push(`0 press left ${next()} ${next()}`, `0 drag ${next()} ${next()}`, `0 release left ${next()} ${next()}`);
  lines.push(`0 key ${keys.step}`, `1 key ${keys.step}`, '2 end', '');
  return { text: lines.join('\n'), step: 2 };
}

(async () => {
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  const pageUrl = `${server.url}/index.html`;
  try {
    // A run on the phone, shared.
    const run = await open(browser, pageUrl);
    const { page } = run;
    await waitForProgram(page, 4);
    const { marker, maxLength, maxBytes, keys } = await page.evaluate(() => {
      const s = JSON.parse(Module.UTF8ToString(Module._webSettings()));
      const names = JSON.parse(Module.UTF8ToString(Module._webInputNames()));
      const keys = Object.fromEntries(names.commands.map((c) => [c.name, c.key === ' ' ? 'space' : c.key]));
      return { marker: s.shareLinkMarker, maxLength: s.maxShareLinkLength, maxBytes: s.maxLinkSessionBytes, keys };
    });
    await press(page, 'pause');
    await press(page, 'dump');
    const box = await page.$eval('#canvas', (c) => { const r = c.getBoundingClientRect(); return { x: r.left, y: r.top, w: r.width, h: r.height }; });
    const at = (fx, fy) => [Math.round(box.x + fx * box.w), Math.round(box.y + fy * box.h)];
    await page.touchscreen.tap(...at(0.3, 0.6));
    await press(page, 'step');
    const touch = await page.touchscreen.touchStart(...at(0.2, 0.7));
    for (const [fx, fy] of [[0.3, 0.65], [0.4, 0.6], [0.5, 0.55]]) {
      await touch.move(...at(fx, fy));
      await frames(page);
    }
    await touch.end();
    await press(page, 'source');
    for (let k = 0; k < 3; ++k) await press(page, 'step');
    const step = await page.evaluate(() => Module._webStepsCompleted());
    const link = await shareLink(page);
    if (!link.startsWith(`${pageUrl}${marker}`) || link.length > maxLength) failures.push(`the shared link is "${link.slice(0, 80)}...", ${link.length} long`);
    const original = run.printed.join('\n') + '\n';
    console.log(`share-test: the phone's run to step ${step} shared as a link of ${link.length} characters`);
    const fresh = await open(browser, link);
    compare("the phone's run and its link replayed in a fresh page", await replayedDump(fresh, step), original);
    compare("the phone's run and the desktop's replay of its link", desktopDumpOfLink(link), original);
    await fresh.page.close();
    await page.close();

    // Links made by Python's zlib, each against the desktop's replay of its session.
    for (const name of ['vortex-around-a-wall.session', 'source-and-obstacles.session']) {
      const { text, step: end } = withDump(fs.readFileSync(path.join(__dirname, '../../examples', name), 'utf8'), keys);
      const file = writeSession('independent.session', text);
      const opened = await open(browser, `${pageUrl}${marker}${encode(file)}`);
      compare(`Python's link of ${name} in the page and the desktop's replay of it`, await replayedDump(opened, end), desktopDump([file]));
      await opened.page.close();
    }

    // A run too long for a link: its session file downloads instead, and
    // replays on the desktop to the page's dump.
    {
      const { text, step: end } = scatteredSession(keys);
      const file = writeSession('scattered.session', text);
      const data = encode(file);
      if (pageUrl.length + marker.length + data.length <= maxLength) failures.push(`the scattered session's link is only ${data.length} long`);
      const opened = await open(browser, `${pageUrl}${marker}${data}`);
      const dump = await replayedDump(opened, end);
      if ((await shareLink(opened.page)) !== '' || !(await status(opened.page)).includes('too long to share as a link'))
        failures.push(`a run too long for a link: the status says "${await status(opened.page)}"`);
      const session = writeSession('downloaded.session', await downloaded(opened.page, 'fluid.session'));
      compare('a run too long for a link, its downloaded session on the desktop', desktopDump([session]), dump);
      await opened.page.close();
    }

    // Bad links: each refused in one sentence, nothing replayed. The
    // reader's refusal is the desktop's, for the same file name.
    const refused = writeSession('link.session', 'fluid-session 1\n0 jump 3 4\n1 end\n');
    const desktopRefusal = spawnSync(nativeFluid, ['--headless', '--replay', 'link.session'], { cwd: tmp }).stderr.toString().trim().replace(/^fluid: /, '').replace(/\.$/, '');
    const good = encode(writeSession('good.session', 'fluid-session 1\n0 key s\n1 end\n'));
    const flood = writeSession('flood.session', `fluid-session 1\n#${'a'.repeat(maxBytes)}\n1 end\n`);
    const badLinks = [
      ['not base64url', 'ab$cd', 'not valid base64url'],
      ['a length no whole byte fits', 'AAAAA', 'not valid base64url'],
      ['corrupt', 'AAAAAAAA', 'corrupt or cut short'],
      ['cut short', good.slice(0, (good.length - 2) % 4 === 1 ? good.length - 3 : good.length - 2), 'corrupt or cut short'],
      ['empty', '', 'corrupt or cut short'],
      ['inflating past the bound', encode(flood), `more than ${maxBytes} bytes`],
      ['a session the reader refuses', encode(refused), `The link cannot be replayed: ${desktopRefusal}.`],
    ];
    for (const [what, data, says] of badLinks) {
      const opened = await open(browser, `${pageUrl}${marker}${data}`);
      try {
        await waitFor(opened.page, `document.getElementById('status').textContent.includes(${JSON.stringify(says)})`, `the refusal of ${what}`, 30);
        await sleep(500);
        const ran = await opened.page.evaluate(() => Module._webFramesDrawn() + Module._webStepsCompleted());
        if (ran) failures.push(`${what}: refused, yet the program drew or stepped`);
        else console.log(`share-test: ${what}: refused ("${await status(opened.page)}")`);
      } catch (e) {
        failures.push(`${what}: the status says "${await status(opened.page)}", not "${says}"`);
      }
      await opened.page.close();
    }
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(tmp, { recursive: true, force: true });
  }
  finish('share-test', failures);
})().catch(failWith('share-test'));
