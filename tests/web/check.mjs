// The browser checks of the web build, run by scripts/web_check.sh against
// dist/web served on 127.0.0.1: headless Chromium, driven by Playwright.
//
//   node check.mjs --url URL --out DIR [--golden FILE] [--native-log FILE]
//                  [--native-escape-log FILE]
//                  [--module FILE --module-info FILE --module-wav FILE]
//                  [--native-bench FILE]
//
// Every check prints one line, "ok ..." or "FAILED ...", and the program
// ends with "N passed, M failed" and exit code 0 only when none failed.
// Screenshots and logs go to DIR.
import { chromium } from 'playwright-core';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';

const options = {};
for (let i = 2; i < process.argv.length; i += 2) {
  options[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
}
const base = options.url.replace(/\/?$/, '/');
fs.mkdirSync(options.out, { recursive: true });

let passed = 0;
let failed = 0;
function check(ok, what, detail = '') {
  if (ok) ++passed; else ++failed;
  console.log(`${ok ? 'ok' : 'FAILED'}  ${what}${detail ? ': ' + detail : ''}`);
  return ok;
}

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  timeout: 60000,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', '--autoplay-policy=no-user-gesture-required'],
});

async function newPage(name) {
  const page = await browser.newPage({ viewport: { width: 1024, height: 900 } });
  const lines = [];
  page.on('console', (message) => lines.push(`${message.type()}: ${message.text()}`));
  page.on('pageerror', (error) => lines.push(`page error: ${error.message}`));
  page.on('close', () => fs.writeFileSync(path.join(options.out, `${name}.console.txt`), lines.join('\n') + '\n'));
  return page;
}

const seconds = (milliseconds) => new Promise((resolve) => setTimeout(resolve, milliseconds * 1000));

// --- The capture in the browser against the native one --------------------

async function capture(args) {
  const page = await newPage('hash' + (args ? '-' + args.replace(/[^a-z0-9]+/gi, '') : ''));
  try {
    await page.goto(base + 'check/hash.html' + (args ? '?args=' + args : ''));
    await page.waitForFunction(() => document.body.dataset.state && document.body.dataset.state !== 'running',
      null, { timeout: 300000 });
    return await page.evaluate(() => window.programResult);
  } finally {
    await page.close();
  }
}

function compareLogs(what, browserLog, expectedFile) {
  if (!expectedFile) return;
  const expected = fs.readFileSync(expectedFile, 'utf8');
  if (browserLog === expected) {
    check(true, what, `${expected.split('\n').length - 1} lines equal`);
    return;
  }
  const a = (browserLog || '').split('\n');
  const b = expected.split('\n');
  let line = 0;
  while (line < a.length && line < b.length && a[line] === b[line]) ++line;
  check(false, what, `first difference at line ${line + 1}: browser "${a[line]}", expected "${b[line]}"`);
}

async function checkHashes() {
  const whole = await capture('');
  const log = whole.files && whole.files['/capture.tsv'];
  fs.writeFileSync(path.join(options.out, 'browser_whole_run.tsv'), log || '');
  if (check(whole.exitCode === 0 && log, 'the capture of the whole show runs in the browser',
    `${whole.seconds.toFixed(1)} s, exit code ${whole.exitCode}`)) {
    compareLogs('the browser\'s whole show equals the native capture, frame by frame and in sound', log,
      options['native-log']);
    compareLogs('the browser\'s whole show equals the whole-run record', log, options.golden);
  }
  if (options['native-escape-log']) {
    const held = await capture('--hold-escape');
    compareLogs('with Escape held, the browser\'s capture equals the native one', held.files['/capture.tsv'],
      options['native-escape-log']);
  }
}

// --- The demo's page ---------------------------------------------------------

// Counts of the canvas's colours: is anything shown?
async function canvasContent(page) {
  return page.evaluate(() => {
    const canvas = document.getElementById('screen');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    const colours = new Set();
    let lit = 0;
    for (let i = 0; i < data.length; i += 4 * 7) {
      colours.add((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]);
      if (data[i] + data[i + 1] + data[i + 2] > 48) ++lit;
    }
    return { colours: colours.size, litShare: lit / (data.length / (4 * 7)), width: canvas.width, height: canvas.height };
  });
}

async function checkDemo() {
  const page = await newPage('demo');
  try {
    await page.goto(base + 'index.html');
    await page.screenshot({ path: path.join(options.out, 'demo_page.png') });
    const warning = await page.textContent('.warning');
    check(/flash/i.test(warning) && /24 times a second/.test(warning), 'the demo page warns of flashing light');
    await page.waitForFunction(() => !document.getElementById('start').disabled, null, { timeout: 60000 });
    const before = await page.evaluate(() => window.vornaStatus());
    check(!before.started && before.drawnFrames === 0, 'nothing runs before the start button is pressed');

    await page.click('#start');
    try {
      await page.waitForFunction(() => window.vornaStatus().drawnFrames > 10, null, { timeout: 60000 });
    } catch (error) {
      const status = await page.evaluate(() => [window.vornaStatus(), document.getElementById('load-status').textContent]);
      throw new Error('the show did not start: ' + JSON.stringify(status));
    }
    const a = await page.evaluate(() => ({ status: window.vornaStatus(), time: performance.now() }));
    await seconds(4);
    const b = await page.evaluate(() => ({ status: window.vornaStatus(), time: performance.now() }));
    const wall = (b.time - a.time) / 1000;
    const frameRate = (b.status.drawnFrames - a.status.drawnFrames) / wall;
    check(frameRate > 20, 'the show presents frames', `${frameRate.toFixed(1)} frames a second`);
    check(b.status.songPosition > a.status.songPosition, 'the song position advances',
      `0x${a.status.songPosition.toString(16)} to 0x${b.status.songPosition.toString(16)} in ${wall.toFixed(1)} s`);
    if (b.status.audioRunning) {
      const heard = (b.status.framesTaken - a.status.framesTaken) / 44100;
      check(Math.abs(heard / wall - 1) < 0.1, 'the sound plays in real time',
        `${heard.toFixed(2)} s of sound in ${wall.toFixed(2)} s`);
    } else {
      console.log('note: this browser has no audio output; the show runs on the silent clock');
    }
    // At 118 beats a minute and 6 ticks a row a row lasts 5604 / 44100 s.
    const rows = (b.status.songPosition & 0xFF) - (a.status.songPosition & 0xFF) +
      64 * ((b.status.songPosition >> 8) - (a.status.songPosition >> 8));
    const expectedRows = wall * 44100 / 5604;
    check(Math.abs(rows - expectedRows) <= 0.15 * expectedRows + 2, 'the song moves at its tempo in real time',
      `${rows} rows in ${wall.toFixed(2)} s, ${expectedRows.toFixed(1)} expected`);

    const content = await canvasContent(page);
    await page.locator('#screen').screenshot({ path: path.join(options.out, 'demo_scene1.png') });
    check(content.colours > 16 && content.litShare > 0.2, 'the canvas shows a picture',
      `${content.colours} colours, ${(100 * content.litShare).toFixed(0)}% lit, ${content.width} x ${content.height}`);

    // F switches full screen: the stage fills the screen, the picture keeps
    // its 4:3 shape with black bars; F again leaves.
    await page.keyboard.press('KeyF');
    await seconds(0.8);
    const full = await page.evaluate(() => document.fullscreenElement && document.fullscreenElement.id);
    await page.screenshot({ path: path.join(options.out, 'demo_full_screen.png') });
    const bars = await page.evaluate(() => {
      const canvas = document.getElementById('screen');
      const view = canvas.getContext('2d');
      const top = view.getImageData(0, 0, canvas.width, 2).data;
      let lit = 0;
      for (let i = 0; i < top.length; i += 4) lit += top[i] + top[i + 1] + top[i + 2];
      return { width: canvas.width, height: canvas.height, topLit: lit };
    });
    await page.keyboard.press('KeyF');
    await seconds(0.8);
    const left = await page.evaluate(() => document.fullscreenElement === null);
    check(full === 'stage' && left && bars.topLit === 0 && bars.width * 3 < bars.height * 4,
      'F switches full screen and back; the picture keeps its 4:3 shape',
      `${bars.width} x ${bars.height} canvas, black bars above and below`);

    // Escape ends scene 1 long before its song position: the white flash
    // between scenes 1 and 2 follows at once. The press is short, about
    // three frames, as every scene polls the keys once per frame.
    const whiteBefore = (await page.evaluate(() => window.vornaStatus())).whiteFrames;
    await page.keyboard.down('Escape');
    await seconds(0.05);
    await page.keyboard.up('Escape');
    let flashed = false;
    try {
      await page.waitForFunction((n) => window.vornaStatus().whiteFrames >= n + 3, whiteBefore, { timeout: 3000 });
      flashed = true;
    } catch (error) { /* reported below */ }
    const after = await page.evaluate(() => window.vornaStatus());
    check(flashed && after.songPosition < 0x0500, 'Escape ends the scene in progress',
      `white frames ${whiteBefore} then ${after.whiteFrames}, position 0x${after.songPosition.toString(16)}`);
    await seconds(1);
    await page.locator('#screen').screenshot({ path: path.join(options.out, 'demo_scene2.png') });
    await page.screenshot({ path: path.join(options.out, 'demo_running.png') });

    // Escape held: every later scene runs one frame, and the last one ends
    // the show; the program ends and the page says so.
    await page.keyboard.down('Escape');
    let ended = false;
    try {
      await page.waitForFunction(() => window.vornaStatus().ended, null, { timeout: 10000 });
      ended = true;
    } catch (error) { /* reported below */ }
    await page.keyboard.up('Escape');
    const end = await page.isVisible('#end');
    check(ended && end, 'Escape held ends the show, and the page offers to watch again');
    await page.screenshot({ path: path.join(options.out, 'demo_end.png') });
  } finally {
    await page.close();
  }
}

// The program tells the page that its display is open asynchronously, so
// the page may learn of it only after the first frame was handed over. Here
// the page's notice is held back on purpose until that has happened: the
// show must still start.
async function checkLateDisplayNotice() {
  const page = await newPage('demo-late-notice');
  try {
    await page.goto(base + 'index.html');
    await page.waitForFunction(() => !document.getElementById('start').disabled, null, { timeout: 60000 });
    await page.evaluate(() => {
      const vornaPage = Module.vornaPage;
      const opened = vornaPage.displayOpened;
      window.serialAtNotice = -1;
      vornaPage.displayOpened = () => {
        // frame_serial, the frames handed over, is the shared block's first word.
        const frameSerial = () => Atomics.load(Module.HEAPU32, Module._web_shared_block() >> 2);
        const started = performance.now();
        const later = () => {
          if (frameSerial() === 0 && performance.now() - started < 5000) {
            setTimeout(later, 10);
            return;
          }
          window.serialAtNotice = frameSerial();
          opened.call(vornaPage);
        };
        later();
      };
    });
    await page.click('#start');
    let drawn = false;
    try {
      await page.waitForFunction(() => window.vornaStatus().drawnFrames > 10, null, { timeout: 30000 });
      drawn = true;
    } catch (error) { /* reported below */ }
    const status = await page.evaluate(() => ({ serial: window.serialAtNotice, frames: window.vornaStatus().drawnFrames }));
    check(drawn && status.serial >= 1, 'the show starts when the page learns of the display after the first frame',
      `frames handed over before the notice: ${status.serial}, frames drawn: ${status.frames}`);
  } finally {
    await page.close();
  }
}

// A page with nowhere to draw: the demo's fatal message, then exit code 0.
async function checkFatalPath() {
  const page = await newPage('fatal');
  try {
    await page.goto(base + 'check/fatal.html');
    await page.waitForSelector('#message-box:not([hidden])', { timeout: 30000 });
    const caption = await page.textContent('#message-box .caption');
    const text = await page.textContent('#message-box .text');
    const before = await page.evaluate(() => window.exitCode);
    await page.screenshot({ path: path.join(options.out, 'fatal_message.png') });
    await page.click('#message-box button');
    await page.waitForFunction(() => window.exitCode !== null, null, { timeout: 10000 });
    const code = await page.evaluate(() => window.exitCode);
    check(caption === 'VORNA Z-PLORAN V2.2' && text === "Sorry, I can't init DirectDraw" && before === null &&
      code === 0, 'without a canvas the demo shows its fatal message in the page, then ends with code 0',
      `"${caption}": "${text}", exit code ${code}`);
  } finally {
    await page.close();
  }
}

// --- The player's page -----------------------------------------------------------

async function checkPlayer() {
  // xmplay --info's line: "length       165.410 s (7294560 frames)".
  const info = fs.readFileSync(options['module-info'], 'utf8').match(/length\s+([0-9.]+) s \((\d+) frames\)/);
  const context = await browser.newContext({ acceptDownloads: true, viewport: { width: 1024, height: 900 } });
  const page = await context.newPage();
  const lines = [];
  page.on('console', (message) => lines.push(`${message.type()}: ${message.text()}`));
  page.on('pageerror', (error) => lines.push(`page error: ${error.message}`));
  try {
    await page.goto(base + 'player.html');
    await page.waitForFunction(() => window.playerStatus && window.playerStatus().state === 'empty', null,
      { timeout: 60000 });
    await page.setInputFiles('#file', options.module);
    await page.waitForFunction(() => ['stopped', 'failed'].includes(window.playerStatus().state), null,
      { timeout: 60000 });
    const loaded = await page.evaluate(() => window.playerStatus());
    const facts = await page.textContent('#facts');
    check(loaded.state === 'stopped', 'the player page loads a module', `${path.basename(options.module)}: ${facts}`);
    check(loaded.passFrames === Number(info[2]) && facts.includes(`(${info[1]} s)`),
      'the player page reports the length xmplay --info gives',
      `${loaded.passFrames} frames, ${info[2]} from xmplay`);

    await page.click('#play');
    await page.waitForFunction(() => window.playerStatus().heard > 0.2, null, { timeout: 10000 });
    const a = await page.evaluate(() => ({ status: window.playerStatus(), time: performance.now() }));
    await seconds(3);
    const b = await page.evaluate(() => ({ status: window.playerStatus(), time: performance.now() }));
    const wall = (b.time - a.time) / 1000;
    const heard = b.status.heard - a.status.heard;
    check(Math.abs(heard / wall - 1) < 0.1 && (b.status.order > a.status.order || b.status.row > a.status.row),
      'the player plays in real time and shows its position',
      `${heard.toFixed(2)} s heard in ${wall.toFixed(2)} s, order ${b.status.order} row ${b.status.row}`);
    await page.screenshot({ path: path.join(options.out, 'player_playing.png') });

    await page.keyboard.press('ArrowRight');
    await seconds(0.5);
    const on = await page.evaluate(() => window.playerStatus());
    check(on.heard > b.status.heard + 4, 'the right arrow seeks 5 seconds on',
      `${b.status.heard.toFixed(1)} s to ${on.heard.toFixed(1)} s`);
    await page.keyboard.press('Space');
    await seconds(0.4);
    const p1 = await page.evaluate(() => window.playerStatus());
    await seconds(1);
    const p2 = await page.evaluate(() => window.playerStatus());
    check(p1.state === 'paused' && p2.heard === p1.heard, 'space pauses', `${p1.state} at ${p1.heard.toFixed(2)} s`);

    if (options['module-wav']) {
      const download = page.waitForEvent('download', { timeout: 300000 });
      await page.click('#save');
      const saved = path.join(options.out, 'player_saved.wav');
      await (await download).saveAs(saved);
      const digest = (file) => crypto.createHash('sha256').update(fs.readFileSync(file)).digest('hex');
      check(digest(saved) === digest(options['module-wav']), 'the page\'s "save as WAV" equals xmplay --wav',
        `${fs.statSync(saved).size} bytes`);
    }
  } finally {
    fs.writeFileSync(path.join(options.out, 'player.console.txt'), lines.join('\n') + '\n');
    await context.close();
  }
}

// --- Per-scene timings ---------------------------------------------------------------

async function showTimings() {
  const page = await newPage('bench');
  try {
    await page.goto(base + 'check/bench.html');
    await page.waitForFunction(() => document.body.dataset.state && document.body.dataset.state !== 'running',
      null, { timeout: 300000 });
    const result = await page.evaluate(() => window.programResult);
    fs.writeFileSync(path.join(options.out, 'browser_scene_times.txt'), result.stdout);
    if (check(result.exitCode === 0, 'the per-scene timings run in the browser')) {
      console.log('Each scene\'s frame steps in headless Chromium (milliseconds):');
      console.log(result.stdout.replace(/^/gm, '    '));
      if (options['native-bench']) {
        console.log('... and natively:');
        console.log(fs.readFileSync(options['native-bench'], 'utf8').replace(/^/gm, '    '));
      }
    }
  } finally {
    await page.close();
  }
}

try {
  await checkHashes();
  await checkDemo();
  await checkLateDisplayNotice();
  await checkFatalPath();
  if (options.module) await checkPlayer();
  await showTimings();
} catch (error) {
  check(false, 'the checks ran to the end', String(error).split('\n')[0]);
} finally {
  await browser.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
