// picture.js - Save picture: the canvas as fluid.png, taken right after the
// program's next frame, while the drawing buffer holds it.
import { Module, on } from './program.js';
import { download } from './download.js';
import { say } from './status.js';

const canvas = document.getElementById('canvas');

export function askForPicture() {
  Module.pictureWanted = true;
}

on('picture', () => {
  canvas.toBlob((blob) => {
    if (blob) download('fluid.png', blob);
    else say('The picture could not be made from the canvas.');
  }, 'image/png');
});
