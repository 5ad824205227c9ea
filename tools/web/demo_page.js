// The demo's page: loads the program, starts it (and the sound) from the
// start button, shows the show, and what follows it.
'use strict';

const $ = (id) => document.getElementById(id);
const startButton = $('start');

const page = VornaPage.create({
  canvas: $('screen'),
  stage: $('stage'),
  messageBox: $('message-box'),
  onDisplay(open) {
    $('show').hidden = !open;
    if (open) {
      $('intro').hidden = true;
      $('screen').focus({ preventScroll: true });
    }
  },
});

let ended = false;
function showEnd(text) {
  if (ended) return;
  ended = true;
  $('intro').hidden = true;
  $('show').hidden = true;
  $('end').hidden = false;
  if (text) $('end-text').textContent = text;
  $('again').focus();
}

// For the browser tests: what the page has seen so far.
window.vornaStatus = () => ({
  ready: !startButton.disabled || started,
  started,
  running,
  ended,
  drawnFrames: page.drawnFrames(),
  whiteFrames: page.whiteFrames(),
  framesTaken: page.framesTaken(),
  audioRunning: page.audioRunning(),
  songPosition: started && !ended ? Module._web_song_position() : 0,
});

let started = false;
let running = false;  // the program has been started
var Module = {
  vornaPage: page,
  print: (text) => console.log(text),
  printErr: (text) => console.warn(text),
  onRuntimeInitialized() {
    page.attach(Module);
    startButton.disabled = false;
    $('load-status').textContent = '';
    startButton.focus();
  },
  onExit() {
    showEnd();
  },
  onAbort(what) {
    showEnd('The show stopped with an error: ' + what);
  },
};

startButton.addEventListener('click', async () => {
  if (started) return;
  started = true;
  startButton.disabled = true;
  $('load-status').textContent = 'Starting\u2026';
  const sound = await page.startAudio(44100);
  $('sound-status').textContent = sound ? '' : 'No sound in this browser: the show runs silently.';
  running = true;
  Module.callMain([]);
});
$('full-screen').addEventListener('click', () => page.toggleFullScreen());
$('again').addEventListener('click', () => location.reload());

if (!window.crossOriginIsolated) {
  $('load-status').textContent = 'This page needs to be served with the headers ' +
    'Cross-Origin-Opener-Policy: same-origin and Cross-Origin-Embedder-Policy: require-corp ' +
    '(see the README); without them the show cannot run.';
} else {
  const script = document.createElement('script');
  script.src = 'vorna.js';
  script.onerror = () => { $('load-status').textContent = 'Could not load vorna.js.'; };
  document.body.appendChild(script);
}
