// main.js - the page's start-up: which program runs and how, and what the
// status line says of it.
//
//   ?session=NAME   replay the session file NAME, served beside the page
//                   (a plain file name: nothing outside the page's folder)
//   ?record=1       record from the start into the program's file system;
//                   stopping it (or Esc) downloads the session file
//   ?bench=STEPS    time STEPS whole steps instead of running the program
//                   (the benchmark is a program of its own, page_step_bench.js)
//   ?dt= ?diff= ?viscosity= ?sources= ?palette= ?auto=SEED ?preset=NAME
//                   the program's settings and motion generator, as its
//                   options (settings.js): applied and recorded at step 0
//
// A session chosen with the file picker is kept in sessionStorage and the
// page reloads to replay it, so that every replay starts from the program's
// start state.
import { load, on } from './program.js';
import { say } from './status.js';
import { finishRecording, recordFile, recordingFromStart } from './recording.js';
import { runBench } from './bench.js';
import { settingArguments } from './settings.js';
import './output.js';
import './layout.js';
import './touch.js';
import './keyboard.js';
import './controls.js';
import './help.js';
import './settings-panel.js';

const params = new URLSearchParams(location.search);
const pickedKey = 'fluid-picked-session';

on('refused', (message) => say(`The program cannot start: ${message.replace(/\.$/, '')}.`));
on('stopped', () => {
  const saved = finishRecording();
  say(`Stopped (Esc): the simulation and input have ended${saved ? ' and the session file is downloaded' : ''}. Reload the page to start again.`);
});

document.getElementById('session-file').addEventListener('change', async (e) => {
  const file = e.target.files[0];
  if (!file) return;
  sessionStorage.setItem(pickedKey, JSON.stringify({ name: file.name, text: await file.text() }));
  location.search = '?picked=1';
});

// Starts the program with `args`, the URL's settings and `files`; `running`
// is what the status line says once it runs (null: it keeps what it says).
function startProgram({ args = [], files = [], running = 'Running.' } = {}) {
  let refusal = '';
  load('fluid.js', {
    args,
    lateArgs: () => {
      const settings = settingArguments(params);
      refusal = settings.refusal;
      return settings.args;
    },
    files,
    onReady: () => (refusal ? say(refusal) : running && say(running)),
    onFailure: (script) => say(`The program ${script} could not be loaded.`),
  });
}

// A replay of the session text `text` named `name`: under its own name in
// the program's working folder, so that a fault in it is reported as
// "NAME:LINE: ...".
function replay(name, text) {
  const file = name.split('/').pop().replace(/[^A-Za-z0-9._-]/g, '_') || 'session';
  say(`Replaying ${name}; input is ignored until it ends (Esc still stops).`);
  startProgram({ args: ['--replay', file], files: [[file, text]], running: null });
}

function start() {
  if (params.has('bench')) {
    runBench(Number(params.get('bench')) || 1000);
    return;
  }
  if (!document.createElement('canvas').getContext('webgl2')) {
    say('This browser gives the page no WebGL 2, which its drawing needs, so the simulation cannot start.');
    return;
  }
  const session = params.get('session');
  const picked = params.has('picked') ? sessionStorage.getItem(pickedKey) : null;
  if (picked) {
    const { name, text } = JSON.parse(picked);
    replay(name, text);
  } else if (session !== null) {
    // Only a file beside the page: no folders, no other origin.
    if (!/^[A-Za-z0-9_-][A-Za-z0-9._-]*$/.test(session)) {
      say(`The session "${session}" cannot be loaded: only a file name beside the page is accepted.`);
      return;
    }
    fetch(session)
      .then((r) => (r.ok ? r.text() : Promise.reject(new Error(`${r.status} ${r.statusText}`.trim()))))
      .then((text) => replay(session, text))
      .catch((e) => say(`The session ${session} cannot be loaded (${e.message}).`));
  } else if (recordingFromStart) {
    startProgram({ args: ['--record', recordFile], running: 'Recording from the start: Stop recording (or Esc) downloads the session file.' });
  } else {
    startProgram();
  }
}

start();
