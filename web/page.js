// page.js - starts the program (fluid.js, fluid.wasm) in index.html.
//
//   ?session=NAME   replay the session file NAME, served beside the page
//   ?bench=STEPS    time STEPS whole steps instead of running the program
//                   (the benchmark is a program of its own, page_step_bench.js)
//
// A session chosen with the file picker is kept in sessionStorage and the
// page reloads to replay it, so that every replay starts from the program's
// start state. The program's standard output (the field dump) goes to the
// console and to the panel under the canvas; standard error also to the
// status line.
'use strict';

(function () {
  const params = new URLSearchParams(location.search);
  const canvas = document.getElementById('canvas');
  const status = document.getElementById('status');
  const panel = document.getElementById('dump');
  const pickedKey = 'fluid-picked-session';

  // The panel keeps the latest output; lines are appended once a frame.
  const panelLimit = 4 * 1024 * 1024;
  let pending = [];
  function flushPanel() {
    const text = panel.value + pending.join('\n') + '\n';
    pending = [];
    panel.value = text.length > panelLimit ? text.slice(text.length - panelLimit) : text;
    panel.scrollTop = panel.scrollHeight;
  }
  function toPanel(line) {
    if (pending.length === 0) requestAnimationFrame(flushPanel);
    pending.push(line);
  }

  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  document.getElementById('session-file').addEventListener('change', async (e) => {
    const file = e.target.files[0];
    if (!file) return;
    sessionStorage.setItem(pickedKey, JSON.stringify({ name: file.name, text: await file.text() }));
    location.search = '?picked=1';
  });

  const Module = {
    canvas,
    arguments: [],
    preRun: [],
    print(line) {
      console.log(line);
      toPanel(line);
    },
    printErr(line) {
      console.error(line);
      toPanel(line);
      status.textContent = line;
    },
    onStopped() {
      status.textContent = 'Stopped (Esc): the simulation and input have ended. Reload the page to start again.';
    },
  };
  window.Module = Module;

  // The state the tests and benchmarks read.
  window.fluidState = () => ({
    frames: Module._webFramesDrawn(),
    steps: Module._webStepsCompleted(),
    replayPending: Module._webReplayPending() === 1,
    simulating: Module._webSimulating() === 1,
  });

  function replay(name, text) {
    // Under its own name in the program's working folder, so that a fault
    // in it is reported as "NAME:LINE: ...".
    const file = name.split('/').pop().replace(/[^A-Za-z0-9._-]/g, '_') || 'session';
    Module.preRun.push(() => Module.FS.writeFile(file, text));
    Module.arguments = ['--replay', file];
    status.textContent = `Replaying ${name}; input is ignored until it ends (Esc still stops).`;
  }

  function start(program = 'fluid.js') {
    const script = document.createElement('script');
    script.src = program;
    document.body.appendChild(script);
  }

  const bench = params.get('bench');
  if (bench !== null) {
    const steps = Number(bench) || 1000;
    Module.noInitialRun = true;
    Module.onRuntimeInitialized = () => {
      status.textContent = `Timing ${steps} steps...`;
      setTimeout(() => {
        const ms = Module._webStepMedianMs(steps);
        window.fluidBench = ms;
        const line = ms < 0 ? 'the benchmark could not run with 4 lanes' : `median step ${ms.toFixed(4)} ms (${steps} steps, 4 lanes)`;
        Module.print(line);
        status.textContent = line;
      }, 0);
    };
    start('page_step_bench.js');
    return;
  }

  Module.onRuntimeInitialized = () => {
    if (!Module.arguments.length) status.textContent = 'Running.';
  };
  const session = params.get('session');
  const picked = params.has('picked') ? sessionStorage.getItem(pickedKey) : null;
  if (picked) {
    const { name, text } = JSON.parse(picked);
    replay(name, text);
    start();
  } else if (session) {
    fetch(session)
      .then((r) => (r.ok ? r.text() : Promise.reject(new Error(`${session}: ${r.status} ${r.statusText}`))))
      .then((text) => {
        replay(session, text);
        start();
      })
      .catch((e) => {
        status.textContent = `Cannot load the session: ${e.message}`;
      });
  } else {
    start();
  }
})();
