// output.js - the program's output: standard output (the field dump) and
// standard error go to the console and to the panel under the controls;
// standard error also to the status line.
//
// The dump is some 450 KB a step, handed over whole (onDump) rather than a
// character at a time through standard output. Lines are gathered
// and handed on once the program's callback has returned (a microtask), as
// pieces of whole lines: about 16 KB each, and a last piece of the last
// 2 KB or so. A piece is one console message and one block of the panel.
// The panel keeps the last 4 MiB of output. Each of its pieces but the last
// has content-visibility: auto (index.html): only the pieces in view are
// laid out and drawn, so a frame's output costs the page about its own
// size, not the panel's, and the small last piece, always laid out, puts
// the panel's end where the panel says it is. The panel follows the output
// while it is scrolled to its end.
import { on } from './program.js';
import { say } from './status.js';

const panel = document.getElementById('dump');
const panelLimit = 4 * 1024 * 1024; // characters the panel keeps
const pieceSize = 16 * 1024; // characters a piece holds, about: smaller ones make more blocks, larger ones more layout
const lastPieceSize = 2 * 1024; // characters the last piece holds, about, the first line apart
const pieceSizes = []; // of the panel's pieces, first to last
let kept = 0;
let pending = []; // standard output lines not yet handed on

// Where the pieces of `lines` end: indices one past each piece's last line.
function pieceEnds(lines) {
  let lastStart = lines.length - 1;
  for (let size = lines[lastStart].length + 1; lastStart > 0 && size + lines[lastStart - 1].length + 1 <= lastPieceSize; )
    size += lines[--lastStart].length + 1;
  const ends = [];
  for (let end = 0, size = 0; end < lastStart; ) {
    size += lines[end++].length + 1;
    if (size >= pieceSize || end === lastStart) {
      ends.push(end);
      size = 0;
    }
  }
  ends.push(lines.length);
  return ends;
}

// Hands `lines` on, to the console with `log` and to the panel.
function handOn(lines, log) {
  const following = panel.scrollTop + panel.clientHeight >= panel.scrollHeight - 4;
  const pieces = document.createDocumentFragment();
  let first = 0;
  for (const end of pieceEnds(lines)) {
    const text = lines.slice(first, end).concat('').join('\n'); // each line with its newline
    log(text.slice(0, -1));
    const piece = document.createElement('div');
    piece.textContent = text;
    pieces.appendChild(piece);
    pieceSizes.push(text.length);
    kept += text.length;
    first = end;
  }
  panel.appendChild(pieces);
  while (kept > panelLimit && pieceSizes.length > 1) {
    kept -= pieceSizes.shift();
    panel.firstElementChild.remove();
  }
  if (following) panel.scrollTop = panel.scrollHeight;
}

function flush() {
  if (pending.length === 0) return;
  const lines = pending;
  pending = [];
  handOn(lines, console.log);
}

on('output', (line) => {
  if (pending.length === 0) queueMicrotask(flush);
  pending.push(line);
});

on('dump', (text) => {
  if (pending.length === 0) queueMicrotask(flush);
  const lines = text.split('\n');
  lines.pop(); // after the last newline
  for (const line of lines) pending.push(line);
});

on('error', (line) => {
  flush(); // what came before it, first
  handOn([line], console.error);
  say(line);
});
