// settings.js - the program's settings as the page handles them: read
// (webSettings: names, ranges, choices, presets and the values now),
// changed through the program (webSet, webPreset, webAuto), which applies,
// records and may refuse each change, and given at the start from the
// page's URL as the program's own options, applied and recorded at step 0.
import { Module } from './program.js';

// The settings that are no number, by the names the program's options and
// session lines give them, and the words the sources take (by the
// program's sourcesCleared: 0 kept, 1 cleared).
export const sourcesName = 'sources';
export const sourcesWords = ['kept', 'cleared'];
export const paletteName = 'palette';
export const autoName = 'auto'; // --auto SEED, the motion generator
export const seedLimit = 4294967295; // the largest seed the program takes
const presetParam = 'preset'; // ?preset=NAME: that preset's settings

// { numbers: [{ name, low, keptLow, high, value }], sourcesCleared,
//   palette, palettes, presets: [{ name, dt, diff, viscosity,
//   sourcesCleared }], auto }.
export function readSettings() {
  return JSON.parse(settingsText());
}
export function settingsText() {
  return Module.UTF8ToString(Module._webSettings());
}

// Each returns '' when the program applied the change, else its refusal.
export function setSetting(name, value) {
  return Module.ccall('webSet', 'string', ['string', 'string'], [name, String(value)]);
}
export function applyPreset(index) {
  return Module.UTF8ToString(Module._webPreset(index));
}

export function setAuto(on, seed) {
  Module._webAuto(on ? 1 : 0, seed);
}

// A preset's settings as name -> value text, as the program's options and
// session lines write them.
function presetValues(preset, numbers) {
  const values = new Map([[sourcesName, sourcesWords[preset.sourcesCleared]]]);
  for (const { name } of numbers) values.set(name, String(preset[name]));
  return values;
}

// The program's options for the settings in the URL (?dt= ?diff=
// ?viscosity= ?sources= ?palette= ?auto=SEED, and ?preset=NAME, whose
// values those named beside it override), for when the program has loaded
// and before its main runs; the program checks every value and refuses a
// bad one in one sentence. A preset the program does not have is left out,
// and `refusal` says so.
export function settingArguments(params) {
  const settings = readSettings();
  const values = new Map();
  let refusal = '';
  if (params.has(presetParam)) {
    const name = params.get(presetParam);
    const preset = settings.presets.find((p) => p.name === name);
    if (preset) for (const [k, v] of presetValues(preset, settings.numbers)) values.set(k, v);
    else refusal = `There is no preset "${name}"; the presets are ${settings.presets.map((p) => p.name).join(', ')}.`;
  }
  for (const name of [...settings.numbers.map((n) => n.name), sourcesName, paletteName, autoName])
    if (params.has(name)) values.set(name, params.get(name));
  return { args: [...values].flatMap(([name, value]) => [`--${name}`, value]), refusal };
}

// The seed of ?auto=SEED, or null.
export function urlSeed(params) {
  return params.has(autoName) ? Number(params.get(autoName)) : null;
}
