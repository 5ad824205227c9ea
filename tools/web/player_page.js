// The music player's page: loads the player program, hands it the chosen
// file, sends it the buttons' and keys' commands, and shows what it
// publishes (see tools/web/player.cpp) about 60 times a second.
'use strict';

const $ = (id) => document.getElementById(id);
const COMMAND = { load: 1, playPause: 2, seekSeconds: 3, seekOrders: 4, render: 5, loop: 6, stop: 7 };
const STATE = ['empty', 'loading', 'stopped', 'playing', 'paused', 'failed'];
const RENDER = ['idle', 'running', 'done', 'failed'];
const NOTE_NAMES = ['C-', 'C#', 'D-', 'D#', 'E-', 'F-', 'F#', 'G-', 'G#', 'A-', 'A#', 'B-'];

const page = VornaPage.create({});
let ready = false;
let audioStarted = false;
let fileName = '';
let channelRows = [];
let lastRender = 0;

var Module = {
  vornaPage: page,
  print: (text) => console.log(text),
  printErr: (text) => console.warn(text),
  onRuntimeInitialized() {
    page.attach(Module);
    Module.callMain([]);
    ready = true;
    $('load-status').textContent = '';
    requestAnimationFrame(refresh);
  },
  onAbort(what) { $('message').textContent = 'The player stopped with an error: ' + what; },
};

const command = (kind, value = 0) => { if (ready) Module._web_player_command(kind, value); };
const figure = (n) => Module._web_player_figure(n);
const state = () => STATE[figure(0)];

function text(which) {
  const buffer = Module._malloc(256);
  Module._web_player_text(which, buffer, 256);
  const result = UTF8ToString(buffer);
  Module._free(buffer);
  return result;
}

function clock(seconds) {
  const tenths = Math.floor(seconds * 10);
  return `${Math.floor(tenths / 600)}:${String(Math.floor(tenths / 10) % 60).padStart(2, '0')}.${tenths % 10}`;
}

function noteName(index) {
  return index < 0 ? '---' : NOTE_NAMES[index % 12] + Math.floor(index / 12);
}

async function loadFile(file) {
  if (!ready) return;
  fileName = file.name;
  $('load-status').textContent = `Loading ${file.name}\u2026`;
  const bytes = new Uint8Array(await file.arrayBuffer());
  Module.FS.writeFile('/module.xm', bytes);
  command(COMMAND.load);
}

// Sound needs a user gesture once: the first Play starts it.
async function playPause() {
  if (!audioStarted) {
    audioStarted = true;
    const sound = await page.startAudio(44100);
    if (!sound) $('message').textContent = 'No sound in this browser: the player runs silently.';
  }
  command(COMMAND.playPause);
}

function buildChannels(count) {
  const grid = $('channels');
  grid.textContent = '';
  channelRows = [];
  for (let i = 0; i < Math.min(count, 64); ++i) {
    const row = document.createElement('div');
    row.className = 'channel quiet';
    row.innerHTML = '<span class="number"></span><span class="note">---</span><span class="instrument">--</span>' +
      '<div class="level"><div></div></div>';
    row.querySelector('.number').textContent = String(i + 1);
    grid.appendChild(row);
    channelRows.push({ row, note: row.querySelector('.note'), instrument: row.querySelector('.instrument'),
      bar: row.querySelector('.level div'), shown: -1 });
  }
}

let shownState = 'empty';
function refresh() {
  requestAnimationFrame(refresh);
  const now = state();
  if (now !== shownState) {
    if (now === 'loading') {
      $('load-status').textContent = `Loading ${fileName}\u2026`;
    } else if (now === 'failed') {
      $('load-status').textContent = '';
      $('song').hidden = true;
      $('message').textContent = `${fileName}: ${text(1)}`;
    } else if (shownState === 'loading' && now === 'stopped') {
      $('load-status').textContent = '';
      $('message').textContent = '';
      $('song').hidden = false;
      const name = text(0);
      $('name').textContent = name || fileName;
      $('file-name').textContent = name ? fileName : '';
      const length = Module._web_player_time(1);
      $('facts').textContent = `${figure(6)} channels \u00b7 ${figure(7)} orders \u00b7 length ${clock(length)} ` +
        `(${length.toFixed(3)} s)`;
      buildChannels(figure(6));
    }
    $('play').textContent = now === 'playing' ? 'Pause' : 'Play';
    shownState = now;
  }
  if ($('song').hidden) return;
  const heard = Module._web_player_time(0);
  const length = Module._web_player_time(1);
  $('order-row').textContent = `order ${String(figure(1)).padStart(3)}/${figure(7)} ` +
    `pattern ${String(figure(3)).padStart(3)} row ${String(figure(2)).padStart(3)}`;
  $('time').textContent = `${clock(heard)} / ${clock(length)}`;
  $('tempo').textContent = `tempo ${figure(4)} \u00b7 ${figure(5)} bpm`;
  $('progress-fill').style.width = `${length > 0 ? Math.min(100, 100 * heard / length) : 0}%`;
  const active = now === 'playing' || now === 'paused';
  for (let i = 0; i < channelRows.length; ++i) {
    const packed = active ? Module._web_player_channel(i) >>> 0 : 0;
    const view = channelRows[i];
    if (packed === view.shown) continue;
    view.shown = packed;
    const note = (packed & 0xFF) - 1;
    const level = packed >>> 24;
    view.note.textContent = noteName(note);
    view.instrument.textContent = note < 0 ? '--' : String((packed >> 8) & 0xFF).padStart(2, '0');
    view.row.classList.toggle('quiet', note < 0);
    view.bar.style.width = `${(100 * level / 255).toFixed(1)}%`;
  }
  const render = RENDER[figure(8)];
  if (render !== RENDER[lastRender]) {
    lastRender = figure(8);
    $('save').disabled = render === 'running';
    if (render === 'running') $('save-status').textContent = 'Rendering\u2026';
    if (render === 'failed') $('save-status').textContent = text(1);
    if (render === 'done') saveRendered();
  }
}

function saveRendered() {
  const bytes = Module.FS.readFile('/render.wav');
  Module.FS.unlink('/render.wav');
  const url = URL.createObjectURL(new Blob([bytes], { type: 'audio/wav' }));
  const link = document.createElement('a');
  link.href = url;
  link.download = (fileName.replace(/\.[^.]*$/, '') || 'module') + '.wav';
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
  $('save-status').textContent = `Saved ${link.download} (${(bytes.length / 1048576).toFixed(1)} MB).`;
}

$('file').addEventListener('change', (event) => {
  if (event.target.files.length > 0) loadFile(event.target.files[0]);
  event.target.value = '';
});
window.addEventListener('dragover', (event) => { event.preventDefault(); $('drop').classList.add('over'); });
window.addEventListener('dragleave', () => $('drop').classList.remove('over'));
window.addEventListener('drop', (event) => {
  event.preventDefault();
  $('drop').classList.remove('over');
  if (event.dataTransfer.files.length > 0) loadFile(event.dataTransfer.files[0]);
});
$('play').addEventListener('click', playPause);
$('stop').addEventListener('click', () => command(COMMAND.stop));
$('back').addEventListener('click', () => command(COMMAND.seekSeconds, -5));
$('forward').addEventListener('click', () => command(COMMAND.seekSeconds, 5));
$('order-back').addEventListener('click', () => command(COMMAND.seekOrders, -1));
$('order-forward').addEventListener('click', () => command(COMMAND.seekOrders, 1));
$('loop').addEventListener('change', (event) => command(COMMAND.loop, event.target.checked ? 1 : 0));
$('save').addEventListener('click', () => command(COMMAND.render));
$('progress').addEventListener('click', (event) => {
  const box = event.currentTarget.getBoundingClientRect();
  const target = (event.clientX - box.left) / box.width * Module._web_player_time(1);
  command(COMMAND.seekSeconds, Math.round(target - Module._web_player_time(0)));
});
window.addEventListener('keydown', (event) => {
  if ($('song').hidden || event.ctrlKey || event.altKey || event.metaKey) return;
  const keys = {
    Space: () => playPause(),
    ArrowLeft: () => command(COMMAND.seekSeconds, -5),
    ArrowRight: () => command(COMMAND.seekSeconds, 5),
    ArrowDown: () => command(COMMAND.seekOrders, -1),
    ArrowUp: () => command(COMMAND.seekOrders, 1),
  };
  const action = keys[event.code];
  if (action) {
    event.preventDefault();
    action();
  }
});

// For the browser tests: what the page shows.
window.playerStatus = () => (ready ? {
  state: state(), order: figure(1), row: figure(2), channels: figure(6), orders: figure(7),
  heard: Module._web_player_time(0), length: Module._web_player_time(1), passFrames: Module._web_player_time(2),
  render: RENDER[figure(8)], framesTaken: page.framesTaken(), audioRunning: page.audioRunning(),
} : { state: 'starting' });

if (!window.crossOriginIsolated) {
  $('load-status').textContent = 'This page needs to be served with the headers ' +
    'Cross-Origin-Opener-Policy: same-origin and Cross-Origin-Embedder-Policy: require-corp (see the README).';
} else {
  const script = document.createElement('script');
  script.src = 'xmplay.js';
  script.onerror = () => { $('load-status').textContent = 'Could not load xmplay.js.'; };
  document.body.appendChild(script);
}
