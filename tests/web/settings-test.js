// settings-test.js - the program's settings in the page, against the
// desktop program as a process:
//   - a URL with a bad value: the status line says what the desktop says
//     for the same option;
//   - a recording started from a URL with settings: its first lines are
//     those settings at step 0; changes in the settings panel are recorded
//     as `set` lines with the values the program then holds (the kept
//     sources raising diff first); the desktop's replay of the downloaded
//     recording prints the page's dump byte for byte;
//   - Auto: ?auto=SEED with a session that fixes the window's size prints
//     the dump of the desktop's `--headless --auto SEED --replay` of it.
// In headless chromium by default, in firefox-esr with FLUID_BROWSER=firefox.
//
//   node tests/web/settings-test.js BUILD_WEB NATIVE_FLUID
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');
const { spawnSync } = require('child_process');
const { startBrowser, startServer, openPage, waitFor, waitForProgram, inputNames, keepDownloads, downloaded, firstDifferentLine, finish, failWith } = require('./browser');

const [buildWeb, nativeFluid] = process.argv.slice(2);

// Bad values in the URL, each an option of the program's.
const refused = ['diff=20', 'sources=sometimes', 'palette=pink', 'dt=0', 'diff=0.01', 'auto=-1', 'sources=cleared&viscosity=11'];

const recordedUrl = 'sources=cleared&diff=0&palette=ember&record=1';
const recordedStart = ['0 set sources cleared', '0 set diff 0', '0 set palette ember'];

// Changes in the panel while recording: what the user does, and the
// settings (name, value) the program must then hold and the recording
// show, in that order, from the settings before (`s`, webSettings).
const number = (s, name) => s.numbers.find((n) => n.name === name);
const sourcesWords = ['kept', 'cleared'];
const panelChanges = [
  { what: 'palette ice', act: (p) => p.select('#setting-palette', 'ice'), sets: () => [['palette', 'ice']] },
  {
    what: 'viscosity slider, a step up from 0',
    act: async (p) => {
      await p.focus('#setting-viscosity');
      await p.keyboard.press('ArrowRight');
      await p.$eval('#setting-viscosity', (e) => e.blur());
    },
    sets: (s, after) => [['viscosity', number(after, 'viscosity').value]],
    check: (s, after) => number(after, 'viscosity').value > 0 && number(after, 'viscosity').value < number(s, 'viscosity').high / 1e5,
  },
  // Kept sources need diff from its kept bound: the panel sets that first.
  { what: 'sources kept', act: (p) => p.select('#setting-sources', 'kept'), sets: (s) => [['diff', number(s, 'diff').keptLow], ['sources', 'kept']] },
  {
    what: 'diff slider to its lowest',
    act: async (p) => {
      await p.focus('#setting-diff');
      await p.keyboard.press('Home');
      await p.$eval('#setting-diff', (e) => e.blur());
    },
    sets: () => [], // already at the kept bound: nothing to change, nothing refused
  },
  {
    what: 'preset thick',
    act: (p) => p.evaluate(() => new Promise((r) => requestAnimationFrame(r))).then(() => p.select('#setting-preset', '3')),
    sets: (s) => {
      const thick = s.presets[3];
      return [['sources', sourcesWords[thick.sourcesCleared]], ...['dt', 'diff', 'viscosity'].map((n) => [n, thick[n]])];
    },
  },
];

// The session for Auto: the window's size fixed, the dump on for the last
// two steps, paused at the end.
const autoSeed = 7;
const autoSteps = 60;
const autoSession = ['fluid-session 1', '0 size 512 512', `${autoSteps - 2} key c`, `${autoSteps} key s`, `${autoSteps} end`, ''].join('\n');

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const frames = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
const settingsOf = (page) => page.evaluate(() => JSON.parse(Module.UTF8ToString(Module._webSettings())));
const statusOf = (page) => page.$eval('#status', (s) => s.textContent);
const sameValue = (a, b) => (typeof b === 'number' ? Math.fround(Number(a)) === Math.fround(b) : a === b);

function desktop(args) {
  const run = spawnSync(nativeFluid, args, { maxBuffer: 256 << 20, encoding: 'utf8' });
  if (run.error) throw new Error(`${nativeFluid} cannot run: ${run.error.message}`);
  return run;
}

// Waits until the page has printed the dump of every step it has run
// with the dump on (`dumps` of them), paused.
async function dumpOf(page, printed, dumps) {
  const end = Date.now() + 20000;
  while (printed.join('\n').split('Total Density').length - 1 < dumps && Date.now() < end) await sleep(50);
  return printed.join('\n') + '\n';
}

async function checkRefusals(browser, server, failures) {
  for (const query of refused) {
    const args = [...new URLSearchParams(query)].flatMap(([k, v]) => [`--${k}`, v]);
    const expected = desktop(['--headless', ...args]).stderr.split('\n')[0].replace(/^fluid: /, '');
    const { page } = await openPage(browser);
    await page.goto(`${server.url}/index.html?${query}`);
    try {
      await waitFor(page, `document.getElementById('status').textContent.includes(${JSON.stringify(expected)})`, `the refusal of ${query}`, 20);
      console.log(`settings-test: ?${query} is refused: ${await statusOf(page)}`);
    } catch (e) {
      failures.push(`?${query}: the status says "${await statusOf(page)}", not the desktop's "${expected}"`);
    }
    await page.close();
  }
}

async function checkRecording(browser, server, tmp, failures) {
  const { page, printed, errors } = await openPage(browser);
  await keepDownloads(page);
  await page.goto(`${server.url}/index.html?${recordedUrl}`);
  await waitForProgram(page, 2);
  // Paused throughout, a step after each change, so that the dump stays small.
  const keys = Object.fromEntries((await inputNames(page)).commands.map((c) => [c.name, c.key]));
  await page.keyboard.press(keys.pause);
  await waitFor(page, () => Module._webSimulating() === 0, 'the pause');
  let steps = 0;
  const step = async () => {
    const before = await page.evaluate(() => Module._webStepsCompleted());
    await page.keyboard.press(keys.step);
    await waitFor(page, `Module._webStepsCompleted() === ${before + 1}`, 'a step');
    ++steps;
  };
  await page.keyboard.press(keys.dump);
  const box = await page.$eval('#canvas', (c) => c.getBoundingClientRect().toJSON());
  await page.mouse.click(box.x + box.width * 0.4, box.y + box.height * 0.6, { button: 'right' });
  await page.mouse.move(box.x + box.width * 0.3, box.y + box.height * 0.7);
  await page.mouse.down();
  for (let k = 1; k <= 4; ++k) await page.mouse.move(box.x + box.width * (0.3 + 0.05 * k), box.y + box.height * (0.7 - 0.04 * k));
  await page.mouse.up();
  await step();
  await page.$eval('#settings', (d) => (d.open = true));
  const expected = [];
  for (const change of panelChanges) {
    const before = await settingsOf(page);
    await change.act(page);
    await frames(page);
    const after = await settingsOf(page);
    const sets = change.sets(before, after);
    const held = sets.every(([name, value]) =>
      name === 'sources' ? sourcesWords[after.sourcesCleared] === value : name === 'palette' ? after.palette === value : sameValue(number(after, name).value, value),
    );
    const status = await statusOf(page);
    if (!held || status.startsWith('Not applied') || (change.check && !change.check(before, after)))
      failures.push(`${change.what}: the program holds ${JSON.stringify(after)} (status "${status}")`);
    const shown = await page.$$eval('#settings-body output', (o) => o.map((e) => Number(e.textContent)));
    const wrong = after.numbers.filter((n, k) => Math.abs(shown[k] - n.value) > Math.abs(n.value) * 0.01);
    if (wrong.length) failures.push(`${change.what}: the panel shows ${shown}, the program holds ${after.numbers.map((n) => n.value)}`);
    expected.push(...sets.map((s) => ({ what: change.what, set: s })));
    await step();
  }
  await page.$eval('[data-control="record"]', (b) => b.click());
  const session = (await downloaded(page, 'fluid.session')).toString();
  const lines = session.split('\n');
  if (lines.slice(1, 1 + recordedStart.length).join('\n') !== recordedStart.join('\n'))
    failures.push(`the recording starts ${JSON.stringify(lines.slice(0, 4))}, not with ${JSON.stringify(recordedStart)}`);
  // The panel's set lines, after the start's, in order.
  const sets = lines.slice(1 + recordedStart.length).filter((l) => / set /.test(l)).map((l) => l.split(' ').slice(2));
  const matched = sets.length === expected.length && expected.every((e, k) => e.set[0] === sets[k][0] && sameValue(sets[k][1], e.set[1]));
  if (matched) console.log(`settings-test: the recording starts with the URL's settings and holds the panel's ${sets.length} changes`);
  else failures.push(`the panel's changes are recorded as ${JSON.stringify(sets)}, not ${JSON.stringify(expected.map((e) => e.set))}`);
  const file = path.join(tmp, 'page.session');
  fs.writeFileSync(file, session);
  const dump = await dumpOf(page, printed, steps);
  const replay = desktop(['--headless', '--replay', file]).stdout;
  if (replay === dump) console.log(`settings-test: the desktop's replay of the recording prints the page's dump byte for byte (${dump.length} bytes)`);
  else failures.push(`the desktop's replay of the recording differs from the page's dump, first at ${firstDifferentLine(dump, replay)}`);
  if (errors.length) failures.push(`the page reported ${errors.slice(0, 3).join('; ')}`);
  await page.close();
}

async function checkAuto(browser, server, failures) {
  fs.writeFileSync(path.join(buildWeb, 'auto-test.session'), autoSession);
  const file = path.join(buildWeb, 'auto-test.session');
  const expected = desktop(['--headless', '--auto', String(autoSeed), '--replay', file]).stdout;
  const { page, printed } = await openPage(browser);
  await page.goto(`${server.url}/index.html?session=auto-test.session&auto=${autoSeed}`);
  await waitForProgram(page);
  await waitFor(page, `Module._webStepsCompleted() >= ${autoSteps} && Module._webReplayPending() === 0 && Module._webSimulating() === 0`, 'the replay with Auto', 90);
  const dump = await dumpOf(page, printed, 2);
  const auto = await page.$eval('#setting-auto', (b) => b.checked);
  const seed = await page.$eval('#setting-auto-seed', (b) => b.value);
  if (!auto || seed !== String(autoSeed)) failures.push(`Auto shows ${auto ? 'on' : 'off'} with seed "${seed}", not on with ${autoSeed}`);
  if (expected.split('Total Density').length !== 3) failures.push(`the desktop printed ${expected.split('Total Density').length - 1} dumps, not 2`);
  if (dump === expected) console.log(`settings-test: ?auto=${autoSeed} prints the dump of the desktop's --auto ${autoSeed} byte for byte (${dump.length} bytes)`);
  else failures.push(`?auto=${autoSeed} differs from the desktop's --auto ${autoSeed}, first at ${firstDifferentLine(dump, expected)}`);
  await page.close();
}

(async () => {
  if (!fs.existsSync(nativeFluid)) throw new Error(`no desktop program at ${nativeFluid}: build it first`);
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'fluid-settings-'));
  const server = await startServer(buildWeb);
  const browser = await startBrowser();
  const failures = [];
  try {
    await checkRefusals(browser, server, failures);
    await checkRecording(browser, server, tmp, failures);
    await checkAuto(browser, server, failures);
  } finally {
    await browser.close();
    server.close();
    fs.rmSync(path.join(buildWeb, 'auto-test.session'), { force: true });
    fs.rmSync(tmp, { recursive: true, force: true });
  }
  finish('settings-test', failures);
})().catch(failWith('settings-test'));
