// controls.js - the on-screen controls, each showing its state. A command's
// control sends the program's key for it (webInputNames) through the
// keyboard's path, so it is recorded and replayed as that key; the page
// keeps only the labels, the order and what a control shows.
import { Module, flags, isStarted, keyOf } from './program.js';
import { keyLabel } from './keyboard.js';
import { recordingFromStart, toggleRecording } from './recording.js';
import { shareRun } from './share.js';
import { unshareable } from './run-session.js';
import { recordingVideo, toggleVideo } from './video.js';
import { askForPicture } from './picture.js';

const box = document.getElementById('controls');
const userRecording = (f) => recordingFromStart && f.recording;
const controls = [
  { command: 'pause', label: (f) => (f.simulate ? 'Pause' : 'Resume'), on: (f) => !f.simulate },
  { command: 'step', label: () => 'One step' },
  { command: 'reset', label: () => 'Reset' },
  { command: 'source', label: () => 'Source' },
  { command: 'walls', label: () => 'Walls', on: (f) => f.walls },
  { command: 'density', label: () => 'Density', on: (f) => f.density },
  { command: 'obstacles', label: () => 'Obstacles', on: (f) => f.boundary },
  { command: 'velocity', label: () => 'Velocity', on: (f) => f.velocity },
  { command: 'grid', label: () => 'Grid', on: (f) => f.grid },
  { command: 'dump', label: () => 'Dump', on: (f) => f.dump },
  // Every run is recorded for Share; this control is the user's own recording (?record=1).
  { name: 'record', label: (f) => (userRecording(f) ? 'Stop recording' : 'Record'), on: userRecording, act: toggleRecording },
  { name: 'picture', label: () => 'Save picture', act: askForPicture },
  { name: 'video', label: () => (recordingVideo() ? 'Stop video' : 'Record video'), on: recordingVideo, act: toggleVideo },
  { name: 'share', label: () => 'Share', unavailable: unshareable, act: shareRun },
];

for (const c of controls) {
  const b = document.createElement('button');
  b.type = 'button';
  b.dataset.control = c.command || c.name;
  b.disabled = true;
  b.addEventListener('click', () => {
    b.blur(); // a focused button would take the next space or Enter as a click
    if (!isStarted()) return;
    if (c.act) c.act();
    else Module._webKey(keyOf(c.command).charCodeAt(0));
  });
  box.appendChild(b);
  c.button = b;
}

let shown = '';
function showControls() {
  requestAnimationFrame(showControls);
  const f = flags();
  // What a control shows besides the program's flags: the video, and why Share is not offered.
  const now = JSON.stringify([f, recordingVideo(), controls.map((c) => c.unavailable && c.unavailable())]);
  if (now === shown) return;
  shown = now;
  for (const c of controls) {
    const why = c.unavailable ? c.unavailable() : '';
    c.button.disabled = !f || f.stopped || why !== '';
    c.button.title = why;
    if (!f) continue;
    c.button.textContent = c.label(f);
    if (c.command) {
      const k = document.createElement('kbd');
      k.textContent = keyLabel(keyOf(c.command));
      c.button.appendChild(k);
    }
    if (c.on) c.button.setAttribute('aria-pressed', String(c.on(f)));
  }
}
showControls();
