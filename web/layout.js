// layout.js - the canvas follows the page: a square that fills the width
// (portrait) or the height beside the controls (landscape), with
// devicePixelRatio canvas pixels per CSS pixel. Each change of its pixel
// size goes through the program's reshape.
//
// Its side in pixels is the largest whole multiple of 128 that fits: the
// program picks a cell by scaling the pointer by 128 cells over the width
// and draws a cell floor(width / 126) pixels wide, and only at a multiple of
// 128 do the two agree, so that a tap lands on the cell under the finger and
// the grid fills the canvas.
import { Module, flags, on } from './program.js';

const canvas = document.getElementById('canvas');
const margin = 8; // body margin, as in index.html
const gap = 8; // between the canvas and the controls
const panelMin = 260; // the controls' column beside the canvas in landscape
const pickCells = 128; // cells per side, with the border, that the program's pick scales the pointer by

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
  const px = Math.max(pickCells, Math.floor((side * ratio) / pickCells) * pickCells);
  const same = laidOut === `${side} ${ratio}`;
  laidOut = `${side} ${ratio}`;
  const f = flags();
  if (event && same) {
    placeCanvas();
  } else if (f && !f.stopped && Module._webReplayPending() === 0 && (canvas.width !== px || canvas.height !== px)) {
    Module._webResize(px, px); // the program calls onCanvasSize, which places the canvas
  } else {
    placeCanvas();
  }
}

window.addEventListener('resize', layout);
on('started', () => layout(null));
on('canvasSize', placeCanvas);
laidOut = `${cssSide()} ${window.devicePixelRatio || 1}`;
placeCanvas();
