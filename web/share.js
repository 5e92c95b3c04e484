// share.js - Share: the run so far as a link to this page whose fragment
// carries the session (link-codec.js), copied to the clipboard where the
// browser allows and shown in a read-only field in any case. A link longer
// than the program's maxShareLinkLength is not offered; the session file is
// downloaded instead.
import { encodeSession } from './link-codec.js';
import { linkLimits, sessionSoFar, unshareable } from './run-session.js';
import { download } from './download.js';
import { say } from './status.js';

const field = document.getElementById('share-link');

export async function shareRun() {
  const why = unshareable();
  if (why) {
    say(why);
    return;
  }
  const { shareLinkMarker, maxShareLinkLength } = linkLimits();
  const { text, step } = sessionSoFar();
  const link = `${location.origin}${location.pathname}${shareLinkMarker}${await encodeSession(text)}`;
  if (link.length > maxShareLinkLength) {
    field.hidden = true;
    download('fluid.session', new Blob([text], { type: 'text/plain' }));
    say(`This run is too long to share as a link (${link.length} characters, more than ${maxShareLinkLength}), so its session file is downloaded instead.`);
    return;
  }
  field.value = link;
  field.hidden = false;
  let copied = false;
  try {
    await navigator.clipboard.writeText(link);
    copied = true;
  } catch {
    // No clipboard here (or no permission): the field shows the link.
  }
  say(`${copied ? 'The link is copied to the clipboard' : 'The link is below, to copy'}: it replays this run from its start to step ${step}.`);
  if (!copied) field.select();
}
