// program.js - the program in the page (fluid.js and fluid.wasm, or the
// step benchmark page_step_bench.js) and the page's side of its interface.
//
// Emscripten's loader takes its settings from the global Module, and the
// program calls the page through hooks on it (frontend/web/): print and
// printErr (standard output and error, a line each), onDump (one step's
// field dump, whole, instead of its lines through print), onProgramStarted (main
// has set up; the page lays the canvas out), onCanvasSize (the canvas has
// new pixels), onStopped (Esc), onRefused (the program cannot start, and
// why) and takePicture (right after a frame, while pictureWanted is set).
// Here each hook only announces itself; the modules that care listen with
// on(). The page reads the program's state and hands it input through its
// exports (frontend/web/WebExports.cpp), and it knows the program's keys,
// buttons and flags by the names the program gives (webInputNames).

const canvas = document.getElementById('canvas');

const listeners = new Map();
// Calls listener at each `what`: 'output' and 'error' (a line), 'dump'
// (one step's dump, its lines each ending in a newline), 'loaded'
// (the runtime is up, the input names known), 'started', 'canvasSize',
// 'stopped', 'refused' (the reason) and 'picture'.
export function on(what, listener) {
  if (!listeners.has(what)) listeners.set(what, []);
  listeners.get(what).push(listener);
}
function tell(what, ...args) {
  for (const listener of listeners.get(what) || []) listener(...args);
}

let started = false;
let names = null;

export const Module = {
  canvas,
  arguments: [],
  preRun: [],
  print: (line) => tell('output', line),
  printErr: (line) => tell('error', line),
  onDump: (text) => tell('dump', text),
  onRefused: (message) => tell('refused', message),
  onStopped: () => tell('stopped'),
  onProgramStarted() {
    started = true;
    tell('started');
  },
  onCanvasSize: () => tell('canvasSize'),
  pictureWanted: false,
  takePicture() {
    Module.pictureWanted = false;
    tell('picture');
  },
};
window.Module = Module; // where Emscripten's loader looks for it

// Loads the program `script` (its loader, beside the page) and starts it:
// args is its command line, files ([name, text] pairs) are written into its
// file system first; with noInitialRun its main does not run. lateArgs()
// gives more of the command line once the runtime is up, when the program's
// exports may be asked (the settings' presets): Emscripten's loader keeps
// Module.arguments, this very array, and hands it to main only after
// onRuntimeInitialized. onReady runs when the runtime is up (before main),
// onFailure when the script cannot be loaded. With beforeMain, main waits
// for the promise it returns once the runtime is up: resolved to more of
// the command line, main runs; rejected, main never runs (a link that
// cannot be replayed). This is the one place that sets Emscripten's start
// hook.
export function load(
  script,
  { args = [], lateArgs = () => [], beforeMain = null, files = [], noInitialRun = false, onReady = () => {}, onFailure = () => {} } = {},
) {
  Module.arguments = [...args];
  Module.noInitialRun = noInitialRun || beforeMain !== null;
  for (const [name, text] of files) Module.preRun.push(() => Module.FS.writeFile(name, text));
  Module.onRuntimeInitialized = () => {
    // The page's program names its input; the step benchmark has none.
    if (typeof Module._webInputNames === 'function') names = JSON.parse(Module.UTF8ToString(Module._webInputNames()));
    Module.arguments.push(...lateArgs());
    tell('loaded');
    onReady();
    if (beforeMain) beforeMain().then((more) => Module.callMain([...Module.arguments, ...more]), () => {});
  };
  const element = document.createElement('script');
  element.src = script;
  element.onerror = () => onFailure(script);
  document.body.appendChild(element);
}

// Whether main has set up, so that the exports may be called.
export function isStarted() {
  return started;
}

// The program's names for its input (null until it is loaded):
// { commands: [{ name, key }], buttons: { left, middle, right },
//   states: { down, up }, flags: [name of bit 0, name of bit 1, ...] }.
export function inputNames() {
  return names;
}

// The key (a one-character string) of the command `name`, or undefined.
export function keyOf(name) {
  const command = names && names.commands.find((c) => c.name === name);
  return command && command.key;
}

// The program's flags by name ({ simulate: true, dump: false, ... }), or
// null until it has started.
export function flags() {
  if (!started) return null;
  const bits = Module._webFlags();
  return Object.fromEntries(names.flags.map((name, bit) => [name, ((bits >> bit) & 1) === 1]));
}
