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
//   #session=DATA   replay the session a share link carries (share.js makes
//                   them; the marker is the program's, link-codec.js decodes)
//
// Every run is recorded from its start (run-session.js), so that Share can
// make a link of it at any moment.
//
// A session chosen with the file picker is kept in sessionStorage and the
// page reloads to replay it, so that every replay starts from the program's
// start state.
import { Module, load, on } from './program.js';
import { say } from './status.js';
import { finishRecording, recordingFromStart } from './recording.js';
import { linkLimits, recordArguments } from './run-session.js';
import { LinkRefusal, decodeSession } from './link-codec.js';
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

let refusalPrefix = 'The program cannot start';
on('refused', (message) => say(`${refusalPrefix}: ${message.replace(/\.$/, '')}.`));
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

// Starts the program with `args`, the URL's settings and `files`, recording
// the run; `running` is what the status line says once it runs (null: it
// keeps what it says). beforeMain as load() takes it.
function startProgram({ args = [], files = [], running = 'Running.', beforeMain = null } = {}) {
  let refusal = '';
  load('fluid.js', {
    args: [...args, ...recordArguments()],
    beforeMain,
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

// A page with a fragment: when it is the program's marker for a link, the
// session it carries is decoded, written into the file system and replayed
// from the program's start; a link that cannot be decoded replays nothing.
// Any other fragment is no concern of the program's.
function startWithFragment() {
  const linkFile = 'link.session';
  startProgram({
    beforeMain: async () => {
      const { shareLinkMarker, maxLinkSessionBytes } = linkLimits();
      if (!location.hash.startsWith(shareLinkMarker)) return [];
      const data = location.hash.slice(shareLinkMarker.length);
      try {
        Module.FS.writeFile(linkFile, await decodeSession(data, maxLinkSessionBytes));
      } catch (e) {
        say(e instanceof LinkRefusal ? e.message : `The link cannot be replayed (${e.message}).`);
        throw e;
      }
      refusalPrefix = 'The link cannot be replayed';
      say('Replaying the shared run; input is ignored until it ends (Esc still stops).');
      return ['--replay', linkFile];
    },
  });
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
    startProgram({ running: 'Recording from the start: Stop recording (or Esc) downloads the session file.' });
  } else if (location.hash) {
    startWithFragment();
  } else {
    startProgram();
  }
}

start();
