// The browser checks of the web build, run by scripts/web_check.sh against
// dist/web served on 127.0.0.1: headless Chromium, driven by Playwright.
//
//   node check.mjs --url URL --out DIR [--golden FILE] [--native-log FILE]
//                  [--native-escape-log FILE] [--module FILE --module-frames N]
//
// Every check prints one line, "ok ..." or "FAILED ...", and the program
// ends with "N passed, M failed" and exit code 0 only when none failed.
// Screenshots and logs go to DIR.
import { chromium } from 'playwright-core';
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
    await page.waitForFunction(() => window.vornaStatus().drawnFrames > 10, null, { timeout: 30000 });
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
  } finally {
    await page.close();
  }
}

try {
  await checkHashes();
  await checkDemo();
} catch (error) {
  check(false, 'the checks ran to the end', String(error).split('\n')[0]);
} finally {
  await browser.close();
}
console.log(`${passed} passed, ${failed} failed`);
process.exit(failed === 0 ? 0 : 1);
