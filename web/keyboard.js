// keyboard.js - the keys: the program gets the character the browser
// reports for a key press (KeyboardEvent.key: a single character, Esc as
// 27), as the desktop program gets the character from the window system, so
// that with Caps Lock on, c is C, which is no command, in the page as on the
// desktop. Emscripten's GLUT would make a character up from the key code and
// Shift instead (c whatever Caps Lock says), so no key press reaches it:
// this listener, on window in the capture phase, is registered before
// GLUT's (glutInit adds its own when the program starts) and stops every
// key press there. Keys with Ctrl, Alt or Meta, keys that are no
// character (Tab, Enter, arrows), and keys typed into a field of the
// settings panel (a seed, a choice), stay the browser's.
import { Module, flags, isStarted } from './program.js';

const escape = 27;

// The character code the program gets for a key press, or null.
function codeOf(e) {
  if (e.ctrlKey || e.altKey || e.metaKey || e.isComposing) return null;
  if (e.key === 'Escape') return escape;
  if (e.key.length !== 1) return null;
  const code = e.key.charCodeAt(0);
  return code < 256 ? code : null;
}

// How the page writes a key of the program's (a one-character string).
export function keyLabel(key) {
  if (key === ' ') return 'space';
  if (key.charCodeAt(0) === escape) return 'Esc';
  return key;
}

window.addEventListener(
  'keydown',
  (e) => {
    e.stopImmediatePropagation(); // never GLUT's
    if (e.target instanceof Element && e.target.matches('input[type=number], select')) return;
    const code = codeOf(e);
    if (code === null || !isStarted() || flags().stopped) return;
    e.preventDefault();
    Module._webKey(code);
  },
  true,
);
