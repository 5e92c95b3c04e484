// settings-panel.js - the settings panel: a preset, the three numbers on
// logarithmic sliders with their values, the sources, the palette, and Auto
// with its seed. The ranges, choices and presets are the program's
// (settings.js); every change goes through the program, and a refusal goes
// to the status line. The panel shows the program's values, re-read at
// every frame, so that a replayed session's settings show too.
import { Module, isStarted, on } from './program.js';
import { say } from './status.js';
import {
  applyPreset,
  autoName,
  paletteName,
  readSettings,
  seedLimit,
  settingsText,
  setAuto,
  setSetting,
  sourcesName,
  sourcesWords,
  urlSeed,
} from './settings.js';

const panel = document.getElementById('settings-body');
const positions = 1000; // slider positions over a range
// A range from 0 has 0 at its first position and then spans this many
// decades below its top, which reaches the presets' smallest values.
const decadesFromZero = 7;
const shownDigits = 3; // significant digits the sliders set and show

let seed = urlSeed(new URLSearchParams(location.search));
let settings = null;
let shown = '';
const numbers = new Map(); // name -> { slider, output }
let presetChooser;
let sourcesChooser;
let paletteChooser;
let autoBox;
let seedBox;

// The slider's scale for a range: position -> value and back, logarithmic.
function scaleOf(low, high) {
  const fromZero = low <= 0;
  const bottom = fromZero ? high / 10 ** decadesFromZero : low;
  const span = fromZero ? positions - 1 : positions;
  const round = (v) => Math.min(high, Math.max(low, Number(v.toPrecision(shownDigits))));
  return {
    valueAt: (p) => (fromZero && p === 0 ? low : round(bottom * (high / bottom) ** ((p - (fromZero ? 1 : 0)) / span))),
    positionOf: (v) => {
      if (v <= low) return 0;
      const t = Math.log(Math.max(v, bottom) / bottom) / Math.log(high / bottom);
      return Math.min(positions, Math.max(fromZero ? 1 : 0, Math.round(t * span) + (fromZero ? 1 : 0)));
    },
  };
}

const lowOf = (n) => (settings.sourcesCleared ? n.low : n.keptLow);
const scaleFor = (n) => scaleOf(lowOf(n), n.high);
const showNumber = (v) => String(Number(v.toPrecision(shownDigits)));

// A change through the program; its refusal, if any, in the status line.
function change(refusal) {
  if (refusal) say(`Not applied: ${refusal.replace(/\.$/, '')}.`);
  refresh(true);
}

function row(labelText, control, extra) {
  const label = document.createElement('label');
  label.className = 'setting';
  const name = document.createElement('span');
  name.textContent = labelText;
  label.append(name, control);
  if (extra) label.append(extra);
  panel.appendChild(label);
  return control;
}

function chooser(id, choices) {
  const select = document.createElement('select');
  select.id = id;
  for (const [value, text] of choices) select.add(new Option(text, value));
  // A chooser keeps no focus, which would take the program's keys as choices.
  select.addEventListener('change', () => select.blur());
  return select;
}

function build() {
  settings = readSettings();
  presetChooser = row(
    'Preset',
    chooser('setting-preset', [['', 'custom'], ...settings.presets.map((p, k) => [String(k), p.name])]),
  );
  presetChooser.options[0].disabled = true;
  presetChooser.addEventListener('change', () => change(applyPreset(Number(presetChooser.value))));
  for (const n of settings.numbers) {
    const slider = document.createElement('input');
    Object.assign(slider, { type: 'range', id: `setting-${n.name}`, min: 0, max: positions, step: 1 });
    const output = document.createElement('output');
    row(n.name, slider, output);
    const valueNow = () => scaleFor(n).valueAt(Number(slider.value));
    slider.addEventListener('input', () => (output.textContent = showNumber(valueNow())));
    slider.addEventListener('change', () => change(setSetting(n.name, valueNow())));
    numbers.set(n.name, { slider, output });
  }
  sourcesChooser = row(sourcesName, chooser(`setting-${sourcesName}`, sourcesWords.map((w) => [w, w])));
  sourcesChooser.addEventListener('change', () => {
    // Kept sources need a diff from the kept bound: raise it first.
    const diff = settings.numbers.find((n) => n.keptLow > n.low);
    if (sourcesChooser.value === sourcesWords[0] && diff && diff.value < diff.keptLow) {
      const refusal = setSetting(diff.name, diff.keptLow);
      if (refusal) return change(refusal);
    }
    change(setSetting(sourcesName, sourcesChooser.value));
  });
  paletteChooser = row(paletteName, chooser(`setting-${paletteName}`, settings.palettes.map((p) => [p, p])));
  paletteChooser.addEventListener('change', () => change(setSetting(paletteName, paletteChooser.value)));
  autoBox = document.createElement('input');
  Object.assign(autoBox, { type: 'checkbox', id: `setting-${autoName}` });
  seedBox = document.createElement('input');
  Object.assign(seedBox, { type: 'number', id: `setting-${autoName}-seed`, min: 0, max: seedLimit, step: 1, inputMode: 'numeric', placeholder: 'seed' });
  seedBox.setAttribute('aria-label', 'seed');
  row('Auto', autoBox, seedBox);
  autoBox.addEventListener('change', () => startAuto(autoBox.checked));
  seedBox.addEventListener('change', () => autoBox.checked && startAuto(true));
  panel.querySelectorAll('input, select').forEach((c) => (c.disabled = true));
}

// Auto on from the seed in the box (a new random one when it holds none
// that the program takes), or off.
function startAuto(turnOn) {
  if (turnOn) {
    const typed = Number(seedBox.value);
    seed = seedBox.value !== '' && Number.isInteger(typed) && typed >= 0 && typed <= seedLimit ? typed : Math.floor(Math.random() * (seedLimit + 1));
  }
  setAuto(turnOn, seed);
  refresh(true);
}

// Shows the program's values, when they have changed (or `always`).
function refresh(always = false) {
  const text = settingsText();
  if (!always && text === shown) return;
  shown = text;
  settings = JSON.parse(text);
  const preset = settings.presets.findIndex(
    (p) => p.sourcesCleared === settings.sourcesCleared && settings.numbers.every((n) => p[n.name] === n.value),
  );
  presetChooser.value = preset < 0 ? '' : String(preset);
  for (const n of settings.numbers) {
    const { slider, output } = numbers.get(n.name);
    slider.value = scaleFor(n).positionOf(n.value);
    slider.setAttribute('aria-valuetext', showNumber(n.value));
    output.textContent = showNumber(n.value);
  }
  sourcesChooser.value = sourcesWords[settings.sourcesCleared];
  paletteChooser.value = settings.palette;
  autoBox.checked = settings.auto === 1;
  seedBox.value = seed === null ? '' : String(seed);
}

// The URL parameters that start a page with the settings now (those that
// differ from the program's start: the first preset, the first palette),
// for a recording that starts afresh.
export function settingParams() {
  const params = new URLSearchParams();
  if (!settings) return params;
  const start = settings.presets[0];
  for (const n of settings.numbers) if (n.value !== start[n.name]) params.set(n.name, String(n.value));
  if (settings.sourcesCleared !== start.sourcesCleared) params.set(sourcesName, sourcesWords[settings.sourcesCleared]);
  if (settings.palette !== settings.palettes[0]) params.set(paletteName, settings.palette);
  if (settings.auto && seed !== null) params.set(autoName, String(seed));
  return params;
}

function follow() {
  requestAnimationFrame(follow);
  if (!isStarted()) return;
  refresh();
}

on('loaded', () => {
  if (typeof Module._webSettings !== 'function') return; // the step benchmark has no settings
  build();
});
on('started', () => {
  panel.querySelectorAll('input, select').forEach((c) => (c.disabled = false));
  follow();
});
on('stopped', () => panel.querySelectorAll('input, select').forEach((c) => (c.disabled = true)));
