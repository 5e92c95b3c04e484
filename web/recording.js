// recording.js - recording a session: from the program's start, so that a
// replay starts where it did. Record reloads the page with ?record=1; the
// program then records with the desktop's own writer into its file system
// (--record), and stopping it (Stop recording, or Esc) downloads the file.
// The page starts afresh with the settings it has now (settings-panel.js).
import { Module, flags } from './program.js';
import { settingParams } from './settings-panel.js';
import { download } from './download.js';
import { say } from './status.js';

export const recordingFromStart = new URLSearchParams(location.search).has('record');
export const recordFile = 'page.session'; // in the program's file system

let saved = false;

// Ends the recording and downloads it; false when there was none to save.
export function finishRecording() {
  if (!recordingFromStart || saved) return false;
  Module._webStopRecording();
  saved = true;
  download('fluid.session', new Blob([Module.FS.readFile(recordFile)], { type: 'text/plain' }));
  return true;
}

// The Record / Stop recording control.
export function toggleRecording() {
  if (recordingFromStart && flags().recording) {
    finishRecording();
    say('Recording stopped; the session file is downloaded.');
  } else {
    const params = settingParams();
    params.set('record', '1');
    location.search = `?${params}`;
  }
}
