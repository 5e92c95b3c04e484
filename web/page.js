// page.js - starts the program (fluid.js, fluid.wasm) in index.html.
//
//   ?session=NAME   replay the session file NAME, served beside the page
//                   (a plain file name: nothing outside the page's folder)
//   ?record=1       record from the start into the program's file system;
//                   stopping it (or Esc) downloads the session file
//   ?bench=STEPS    time STEPS whole steps instead of running the program
//                   (the benchmark is a program of its own, page_step_bench.js)
//
// The canvas follows the page: a square that fills the width (portrait) or
// the height beside the controls (landscape), with devicePixelRatio pixels
// per CSS pixel, each change of its pixel size going through the program's
// reshape. A finger acts as the mouse (see "Touch" below); the on-screen
// controls send their keys through the keyboard's path.
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
  const controlsBox = document.getElementById('controls');
  const pickedKey = 'fluid-picked-session';
  const recordFile = 'page.session';

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

  function download(name, blob) {
    const a = document.createElement('a');
    a.href = URL.createObjectURL(blob);
    a.download = name;
    document.body.appendChild(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  }

  const Module = {
    canvas,
    arguments: [],
    preRun: [],
    started: false,
    print(line) {
      console.log(line);
      toPanel(line);
    },
    printErr(line) {
      console.error(line);
      toPanel(line);
      status.textContent = line;
    },
    onRefused(message) {
      status.textContent = `The program cannot start: ${message.replace(/\.$/, '')}.`;
    },
    onStopped() {
      const saved = finishRecording();
      status.textContent = `Stopped (Esc): the simulation and input have ended${saved ? ' and the session file is downloaded' : ''}. Reload the page to start again.`;
    },
    onProgramStarted() {
      Module.started = true;
      layout(null);
    },
    onCanvasSize() {
      placeCanvas();
    },
    // Called right after a frame is drawn, while the drawing buffer holds it.
    pictureWanted: false,
    takePicture() {
      Module.pictureWanted = false;
      canvas.toBlob((blob) => {
        if (blob) download('fluid.png', blob);
        else status.textContent = 'The picture could not be made from the canvas.';
      }, 'image/png');
    },
  };
  window.Module = Module;

  const flagBits = { simulate: 0, density: 1, boundary: 2, velocity: 3, grid: 4, walls: 5, dump: 6, recording: 7, stopped: 8 };
  function flags() {
    if (!Module.started) return null;
    const bits = Module._webFlags();
    const f = {};
    for (const [name, bit] of Object.entries(flagBits)) f[name] = ((bits >> bit) & 1) === 1;
    return f;
  }

  // The state the tests and benchmarks read (zeros until the program runs).
  window.fluidState = () => (!Module.started ? { frames: 0, steps: 0, replayPending: false, simulating: false, flags: null } : {
    frames: Module._webFramesDrawn(),
    steps: Module._webStepsCompleted(),
    replayPending: Module._webReplayPending() === 1,
    simulating: Module._webSimulating() === 1,
    width: canvas.width,
    height: canvas.height,
    flags: flags(),
  });

  // ---- The canvas follows the page.
  const margin = 8; // body margin, as in index.html
  const gap = 8; // between the canvas and the controls
  const panelMin = 260; // the controls' column beside the canvas in landscape
  function cssSide() {
    const vw = document.documentElement.clientWidth;
    const vh = window.innerHeight;
    const landscape = vw > vh;
    document.body.classList.toggle('landscape', landscape);
    const side = landscape ? Math.min(vh - 2 * margin, vw - 2 * margin - gap - panelMin) : Math.min(vw - 2 * margin, vh - 2 * margin);
    return Math.max(16, Math.floor(side));
  }
  // Shows the canvas's pixels at devicePixelRatio per CSS pixel, scaled
  // down where they do not fit (a replayed session's own window size).
  function placeCanvas() {
    const side = cssSide();
    const ratio = window.devicePixelRatio || 1;
    const w = Math.min(side, canvas.width / ratio);
    const h = (w * canvas.height) / canvas.width;
    canvas.style.setProperty('--cw', `${w}px`);
    canvas.style.setProperty('--ch', `${h}px`);
  }
  // A new layout: the program reshapes to the new pixel size, except while a
  // replay runs, whose recorded sizes rule; after it, the canvas keeps the
  // replay's last size until the page's size changes. (A resize event that
  // changes nothing, as a screenshot's may, changes nothing.)
  let laidOut = null;
  function layout(event) {
    const side = cssSide();
    const ratio = window.devicePixelRatio || 1;
    const px = Math.max(1, Math.round(side * ratio));
    const same = laidOut === `${side} ${ratio}`;
    laidOut = `${side} ${ratio}`;
    const f = flags();
    if (event && same) {
      placeCanvas();
    } else if (f && !f.stopped && Module._webReplayPending() === 0 && (canvas.width !== px || canvas.height !== px)) {
      Module._webResize(px, px); // calls placeCanvas through onCanvasSize
    } else {
      placeCanvas();
    }
  }
  window.addEventListener('resize', layout);
  laidOut = `${cssSide()} ${window.devicePixelRatio || 1}`;
  placeCanvas();

  // ---- Touch, as the mouse: one finger is the pointer. A tap is a right
  // press and release where it landed (the source pattern); a finger that
  // moves is a left press where it landed and a drag; in wall mode the
  // finger is the left button from the start, so a touch flips a cell. The
  // mouse keeps GLUT's own handlers; GLUT's translation of touch events
  // into left-button mouse events is kept away from the canvas.
  const tapSlop = 8; // CSS pixels a tap may move
  const left = 0;
  const right = 2;
  const down = 0;
  const up = 1;
  let finger = null;
  // Canvas pixels, y down, computed as GLUT computes a mouse position.
  function pixelOf(e) {
    const rect = canvas.getBoundingClientRect();
    return { x: Math.trunc((e.clientX - rect.left) * (canvas.width / rect.width)), y: Math.trunc((e.clientY - rect.top) * (canvas.height / rect.height)) };
  }
  for (const type of ['touchstart', 'touchmove', 'touchend', 'touchcancel']) {
    window.addEventListener(
      type,
      (e) => {
        if (e.target !== canvas) return;
        e.preventDefault(); // no scrolling, zooming, menu or mouse events
        e.stopImmediatePropagation();
      },
      { capture: true, passive: false },
    );
  }
  // The mouse events a browser makes up after a touch (a tap on a control)
  // are not the mouse: they do not reach GLUT. Every real mouse event comes
  // after a pointer event of the mouse.
  let pointerType = 'mouse';
  for (const type of ['pointerdown', 'pointermove', 'pointerup'])
    window.addEventListener(type, (e) => (pointerType = e.pointerType), true);
  for (const type of ['mousedown', 'mousemove', 'mouseup'])
    window.addEventListener(type, (e) => pointerType === 'touch' && e.stopImmediatePropagation(), true);
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());
  canvas.addEventListener('pointerdown', (e) => {
    if (e.pointerType === 'mouse' || !Module.started) return;
    e.preventDefault();
    if (finger) return; // a second finger does nothing
    const at = pixelOf(e);
    canvas.setPointerCapture(e.pointerId);
    finger = { id: e.pointerId, x: e.clientX, y: e.clientY, at, last: at, pressed: false };
    if (flags().walls) {
      finger.pressed = true;
      Module._webButton(left, down, at.x, at.y);
    }
  });
  canvas.addEventListener('pointermove', (e) => {
    if (!finger || e.pointerId !== finger.id) return;
    e.preventDefault();
    if (!finger.pressed) {
      if (Math.hypot(e.clientX - finger.x, e.clientY - finger.y) < tapSlop) return;
      finger.pressed = true;
      Module._webButton(left, down, finger.at.x, finger.at.y);
    }
    // Every sample of the finger, also those the browser merged into this
    // event; like GLUT, a sample at the same pixel is no motion.
    const samples = e.getCoalescedEvents ? e.getCoalescedEvents() : [];
    for (const sample of samples.length ? samples : [e]) {
      const at = pixelOf(sample);
      if (at.x === finger.last.x && at.y === finger.last.y) continue;
      finger.last = at;
      Module._webMotion(at.x, at.y);
    }
  });
  function lift(e) {
    if (!finger || e.pointerId !== finger.id) return;
    e.preventDefault();
    if (finger.pressed) {
      const at = pixelOf(e);
      Module._webButton(left, up, at.x, at.y);
    } else if (e.type === 'pointerup') {
      Module._webButton(right, down, finger.at.x, finger.at.y);
      Module._webButton(right, up, finger.at.x, finger.at.y);
    }
    finger = null;
  }
  canvas.addEventListener('pointerup', lift);
  canvas.addEventListener('pointercancel', lift);

  // ---- On-screen controls: each sends its key through the keyboard's path.
  const controls = [
    { key: 's', label: (f) => (f.simulate ? 'Pause' : 'Resume'), on: (f) => !f.simulate, name: 'pause' },
    { key: ' ', label: () => 'One step', show: 'space', name: 'step' },
    { key: 'r', label: () => 'Reset', name: 'reset' },
    { key: 'f', label: () => 'Source', name: 'source' },
    { key: 'B', label: () => 'Walls', on: (f) => f.walls, name: 'walls' },
    { key: 'd', label: () => 'Density', on: (f) => f.density, name: 'density' },
    { key: 'b', label: () => 'Obstacles', on: (f) => f.boundary, name: 'boundary' },
    { key: 'v', label: () => 'Velocity', on: (f) => f.velocity, name: 'velocity' },
    { key: 'g', label: () => 'Grid', on: (f) => f.grid, name: 'grid' },
    { key: 'c', label: () => 'Dump', on: (f) => f.dump, name: 'dump' },
    { label: (f) => (f.recording ? 'Stop recording' : 'Record'), on: (f) => f.recording, name: 'record', act: record },
    { label: () => 'Save picture', name: 'picture', act: () => (Module.pictureWanted = true) },
  ];
  for (const c of controls) {
    const b = document.createElement('button');
    b.type = 'button';
    b.dataset.control = c.name;
    b.disabled = true;
    b.addEventListener('click', () => {
      b.blur(); // a focused button would take the next space or Enter as a click
      if (!Module.started) return;
      ++window.fluidControlPresses;
      if (c.act) c.act();
      else Module._webKey(c.key.charCodeAt(0));
    });
    controlsBox.appendChild(b);
    c.button = b;
  }
  window.fluidControlPresses = 0; // for the tests
  let shown = '';
  function showControls() {
    requestAnimationFrame(showControls);
    const f = flags();
    const now = JSON.stringify(f);
    if (now === shown) return;
    shown = now;
    for (const c of controls) {
      c.button.disabled = !f || f.stopped;
      if (!f) continue;
      c.button.textContent = c.label(f);
      if (c.key) {
        const k = document.createElement('kbd');
        k.textContent = c.show || c.key;
        c.button.appendChild(k);
      }
      if (c.on) c.button.setAttribute('aria-pressed', String(c.on(f)));
    }
  }
  showControls();

  // ---- Recording: from the start, so that a replay starts where it did.
  let recordingSaved = false;
  function finishRecording() {
    if (!params.has('record') || recordingSaved) return false;
    Module._webStopRecording();
    recordingSaved = true;
    download('fluid.session', new Blob([Module.FS.readFile(recordFile)], { type: 'text/plain' }));
    return true;
  }
  function record() {
    if (flags().recording) {
      finishRecording();
      status.textContent = 'Recording stopped; the session file is downloaded.';
    } else {
      location.search = '?record=1';
    }
  }

  // ---- Starting.
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
    script.onerror = () => (status.textContent = `The program ${program} could not be loaded.`);
    document.body.appendChild(script);
  }

  document.getElementById('session-file').addEventListener('change', async (e) => {
    const file = e.target.files[0];
    if (!file) return;
    sessionStorage.setItem(pickedKey, JSON.stringify({ name: file.name, text: await file.text() }));
    location.search = '?picked=1';
  });

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

  if (!document.createElement('canvas').getContext('webgl2')) {
    status.textContent = 'This browser gives the page no WebGL 2, which its drawing needs, so the simulation cannot start.';
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
  } else if (session !== null) {
    // Only a file beside the page: no folders, no other origin.
    if (!/^[A-Za-z0-9_-][A-Za-z0-9._-]*$/.test(session)) {
      status.textContent = `The session "${session}" cannot be loaded: only a file name beside the page is accepted.`;
      return;
    }
    fetch(session)
      .then((r) => (r.ok ? r.text() : Promise.reject(new Error(`${r.status} ${r.statusText}`.trim()))))
      .then((text) => {
        replay(session, text);
        start();
      })
      .catch((e) => {
        status.textContent = `The session ${session} cannot be loaded (${e.message}).`;
      });
  } else {
    if (params.has('record')) {
      Module.arguments = ['--record', recordFile];
      Module.onRuntimeInitialized = () => {
        status.textContent = 'Recording from the start: Stop recording (or Esc) downloads the session file.';
      };
    }
    start();
  }
})();
