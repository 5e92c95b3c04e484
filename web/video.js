// video.js - Record video: the canvas as the browser's MediaRecorder
// encodes it (canvas.captureStream), downloaded when stopped, as WebM where
// the browser makes it and as MP4 where that is what it makes. The video
// is the picture only; the session (Record, Share) is what replays a run.
import { download } from './download.js';
import { say } from './status.js';

const canvas = document.getElementById('canvas');
const framesPerSecond = 60;
// The first the browser makes, each with its file's extension.
const formats = [
  ['video/webm;codecs=vp9', 'webm'],
  ['video/webm;codecs=vp8', 'webm'],
  ['video/webm', 'webm'],
  ['video/mp4', 'mp4'],
];

let recorder = null;

export function recordingVideo() {
  return recorder !== null;
}

function chosenFormat() {
  return formats.find(([type]) => MediaRecorder.isTypeSupported(type));
}

// The Record video / Stop video control.
export function toggleVideo() {
  if (recorder) {
    recorder.stop();
    return;
  }
  const format = typeof MediaRecorder === 'function' && canvas.captureStream ? chosenFormat() : undefined;
  if (!format) {
    say('This browser cannot record the canvas as a video (it has no MediaRecorder for WebM or MP4).');
    return;
  }
  const [type, extension] = format;
  const pieces = [];
  recorder = new MediaRecorder(canvas.captureStream(framesPerSecond), { mimeType: type });
  recorder.ondataavailable = (e) => e.data.size && pieces.push(e.data);
  recorder.onstop = () => {
    recorder.stream.getTracks().forEach((t) => t.stop());
    recorder = null;
    download(`fluid.${extension}`, new Blob(pieces, { type: type.split(';')[0] }));
    say(`The video is downloaded as fluid.${extension}.`);
  };
  recorder.start(1000);
  say(`Recording the canvas as a video (${type.split(';')[0]}): Stop video downloads it.`);
}
