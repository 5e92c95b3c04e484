// status.js - the status line: one sentence on how the program is doing.
const line = document.getElementById('status');

export function say(text) {
  line.textContent = text;
}
