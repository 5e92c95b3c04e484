// run-session.js - the session of the run in the page, kept from the
// program's start so that it can be shared at any moment: the program
// records every run (--record) into a file of its file system, the user's
// own recording (?record=1) being that file too. The bound is the program's
// (maxLinkSessionBytes): past it the page stops keeping the session and
// says so, and sharing is offered no longer.
import { Module, flags, isStarted, on } from './program.js';
import { readSettings } from './settings.js';
import { recordingFromStart, recordFile } from './recording.js';
import { say } from './status.js';

const keptFile = 'run.session'; // in the program's file system

// The --record option every start of the program gets.
export function recordArguments() {
  return ['--record', recordingFromStart ? recordFile : keptFile];
}

let tooLong = false;

let limits = null;
// The program's marker and limits for links (webSettings), once the
// runtime is up: { shareLinkMarker, maxLinkSessionBytes, maxShareLinkLength }.
export function linkLimits() {
  if (!limits) {
    const { shareLinkMarker, maxLinkSessionBytes, maxShareLinkLength } = readSettings();
    limits = { shareLinkMarker, maxLinkSessionBytes, maxShareLinkLength };
  }
  return limits;
}

// Why the run cannot be shared now, in one sentence, or '' when it can.
export function unshareable() {
  if (!isStarted()) return 'The program has not started yet.';
  if (tooLong) return `This run's session has passed ${linkLimits().maxLinkSessionBytes} bytes, more than a link carries.`;
  if (!flags().recording) return 'The recording of this run has ended, so what follows it cannot be shared.';
  return '';
}

// The session of the run so far, ended at the current step as the
// program's writer ends one, so that it replays to this step.
// Returns { text, step }.
export function sessionSoFar() {
  const file = recordingFromStart ? recordFile : keptFile;
  const step = Module._webStepsCompleted();
  return { text: `${new TextDecoder().decode(Module.FS.readFile(file))}${step} end\n`, step };
}

// Watches the kept file's size against the bound, a frame at a time.
function watchSize() {
  if (tooLong) return;
  if (isStarted() && flags().recording) {
    const file = recordingFromStart ? recordFile : keptFile;
    const { maxLinkSessionBytes } = linkLimits();
    if (Module.FS.stat(file).size > maxLinkSessionBytes) {
      tooLong = true;
      // The user's own recording goes on; the page's own ends and is dropped.
      if (!recordingFromStart) {
        Module._webStopRecording();
        Module.FS.unlink(keptFile);
      }
      say(`This run's session has passed ${maxLinkSessionBytes} bytes, more than a link carries, so Share is offered no longer.`);
      return;
    }
  }
  setTimeout(watchSize, 500);
}
on('started', watchSize);
