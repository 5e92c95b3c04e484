// touch.js - a finger as the mouse: one finger is the pointer. A tap is a
// right press and release where it landed (the source pattern); a finger
// that moves is a left press where it landed and a drag; in wall mode the
// finger is the left button from the start, so a touch flips a cell. A
// second finger does nothing while the first is down. The mouse keeps
// GLUT's own handlers; GLUT's translation of touch events into left-button
// mouse events is kept away from the canvas. Buttons and their states are
// the program's numbers (webInputNames).
import { Module, flags, inputNames, isStarted } from './program.js';

const canvas = document.getElementById('canvas');
const tapSlop = 8; // CSS pixels a tap may move
let finger = null;

// Canvas pixels, y down, computed as GLUT computes a mouse position.
function pixelOf(e) {
  const rect = canvas.getBoundingClientRect();
  return { x: Math.trunc((e.clientX - rect.left) * (canvas.width / rect.width)), y: Math.trunc((e.clientY - rect.top) * (canvas.height / rect.height)) };
}

function button(name, state, at) {
  const { buttons, states } = inputNames();
  Module._webButton(buttons[name], states[state], at.x, at.y);
}

// No scrolling, zooming, menu or made-up mouse events from a touch on the
// canvas, and none of GLUT's (which listens to these three on window, in
// the capture phase, after this). A touchcancel cannot be cancelled, and
// GLUT ignores it.
for (const type of ['touchstart', 'touchmove', 'touchend']) {
  window.addEventListener(
    type,
    (e) => {
      if (e.target !== canvas) return;
      if (e.cancelable) e.preventDefault();
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
  if (e.pointerType === 'mouse' || !isStarted()) return;
  e.preventDefault();
  if (finger) return; // a second finger does nothing
  const at = pixelOf(e);
  canvas.setPointerCapture(e.pointerId);
  finger = { id: e.pointerId, x: e.clientX, y: e.clientY, at, last: at, pressed: false };
  if (flags().walls) {
    finger.pressed = true;
    button('left', 'down', at);
  }
});

canvas.addEventListener('pointermove', (e) => {
  if (!finger || e.pointerId !== finger.id) return;
  e.preventDefault();
  if (!finger.pressed) {
    if (Math.hypot(e.clientX - finger.x, e.clientY - finger.y) < tapSlop) return;
    finger.pressed = true;
    button('left', 'down', finger.at);
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
    button('left', 'up', pixelOf(e));
  } else if (e.type === 'pointerup') {
    button('right', 'down', finger.at);
    button('right', 'up', finger.at);
  }
  finger = null;
}
canvas.addEventListener('pointerup', lift);
canvas.addEventListener('pointercancel', lift);
