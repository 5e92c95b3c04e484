// help.js - the help's list of keys, written from the program's own keys
// (webInputNames) once it is loaded: the page keeps only the words.
import { inputNames, on } from './program.js';
import { keyLabel } from './keyboard.js';

// Commands and what the help calls them, in the help's order; commands
// under one word share it.
const words = [
  [['pause'], 'pause'],
  [['step'], 'one step'],
  [['source'], 'source'],
  [['reset'], 'reset'],
  [['walls'], 'walls'],
  [['density', 'obstacles', 'velocity', 'grid'], 'views'],
  [['dump'], 'field dump (below)'],
  [['quit'], 'stop'],
];

on('loaded', () => {
  const names = inputNames();
  if (!names) return;
  const keys = new Map(names.commands.map((c) => [c.name, keyLabel(c.key)]));
  const parts = [];
  for (const [commands, word] of words) {
    const known = commands.filter((name) => keys.has(name));
    if (known.length) parts.push(`${known.map((name) => keys.get(name)).join(' ')} ${word}`);
    for (const name of known) keys.delete(name);
  }
  for (const [name, key] of keys) parts.push(`${key} ${name}`); // any the help has no word for
  const list = document.getElementById('keys');
  list.textContent = `Keys: ${parts.join(', ')}.`;
  list.hidden = false;
});
