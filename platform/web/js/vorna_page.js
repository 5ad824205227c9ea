// The page's half of the web backend: it draws the frames the program hands
// over, passes key presses and the focus on, shows message boxes, and runs
// the sound through an AudioWorklet (ring_worklet.js). The program's half
// is platform/web/*.cpp; the two share the WebShared block in the program's
// memory, whose fields are at the byte offsets below (see web_state.h).
//
// A page makes one with VornaPage.create({...}) and hands it to the
// program as Module.vornaPage before the program's script loads; the
// program calls the methods marked "program" (on this, the page's thread).
'use strict';

const VornaPage = (() => {
  const OFFSET = {
    frameSerial: 0, shownSerial: 4, frameWidth: 8, frameHeight: 12, cursorShown: 16,
    ringAddress: 20, ringFrames: 24, ringSerial: 28, ringRead: 32, framesTaken: 36,
    seenRingSerial: 40, audioRate: 44, ringPaused: 48, boxClosed: 52, audioQuanta: 56, pixels: 64,
  };

  // RGB565 to the canvas's RGBA bytes (as one little-endian word), with the
  // same rounding down as the capture's PNG files.
  const rgbaOf565 = (() => {
    const table = new Uint32Array(65536);
    for (let p = 0; p < 65536; ++p) {
      const r = Math.floor((p >> 11) * 255 / 31);
      const g = Math.floor(((p >> 5) & 63) * 255 / 63);
      const b = Math.floor((p & 31) * 255 / 31);
      table[p] = (0xFF000000 | (b << 16) | (g << 8) | r) >>> 0;
    }
    return table;
  })();

  // Keys whose browser action (scrolling, moving the focus) would disturb
  // the show; other keys keep theirs (F5, F11, shortcuts...).
  const keptFromBrowser = new Set(['Space', 'ArrowUp', 'ArrowDown', 'ArrowLeft', 'ArrowRight', 'PageUp',
    'PageDown', 'Home', 'End', 'Tab', 'Backspace', 'Escape']);

  // options: canvas (where frames are drawn; none for a program without a
  // display), stage (what goes full screen; the canvas by default),
  // messageBox (an element with .caption, .text and a button), onDisplay
  // (called with true when the display opens, false when it closes),
  // workletUrl.
  function create(options) {
    const canvas = options.canvas || null;
    const stage = options.stage || canvas;
    const onDisplay = options.onDisplay || (() => {});  // (true) opened, (false) closed
    const workletUrl = options.workletUrl || 'ring_worklet.js';
    let Module = null;                    // the program, once attached
    let u32 = null, i32 = null, u16 = null, base = 0;
    let audio = null;                     // the AudioContext, once started
    let running = false;                  // drawing frames
    let lastDrawn = 0;
    let divisor = 1, tick = 0;            // pacing: draw on every divisor-th animation frame
    const intervals = [];
    let lastTime = 0;
    let drawnFrames = 0;
    let whiteFrames = 0;                  // frames all white (the flashes between scenes)
    let image = null, small = null, big = null;
    let needsRedraw = false;
    let fullScreenKey = 'KeyF';

    const view = canvas ? canvas.getContext('2d', { alpha: false }) : null;

    function word(name) { return (base + OFFSET[name]) >> 2; }
    function load(name) { return Atomics.load(u32, word(name)); }
    function store(name, value) { Atomics.store(u32, word(name), value); }
    function wake(name) { Atomics.notify(i32, word(name)); }

    // Called once the program's runtime is ready (its memory exists).
    function attach(module) {
      Module = module;
      const buffer = Module.HEAPU8.buffer;
      u32 = new Uint32Array(buffer);
      i32 = new Int32Array(buffer);
      u16 = new Uint16Array(buffer);
      base = Module._web_shared_block();
      // The keyboard and the focus go to programs that read the keyboard.
      if (Module._web_key_event) {
        Module._web_focus_event(document.hasFocus() ? 1 : 0);
        window.addEventListener('keydown', (event) => onKey(event, 1));
        window.addEventListener('keyup', (event) => onKey(event, 0));
        window.addEventListener('focus', () => Module._web_focus_event(1));
        window.addEventListener('blur', () => Module._web_focus_event(0));
        document.addEventListener('visibilitychange', () => {
          Module._web_focus_event(document.visibilityState === 'visible' && document.hasFocus() ? 1 : 0);
        });
      }
      if (canvas) new ResizeObserver(() => { needsRedraw = true; }).observe(canvas);
    }

    function onKey(event, down) {
      if (down && event.code === fullScreenKey && !event.ctrlKey && !event.altKey && !event.metaKey && running) {
        toggleFullScreen();
        return;
      }
      const known = Module.ccall('web_key_event', 'number', ['string', 'number'], [event.code, down]);
      if (known && running && keptFromBrowser.has(event.code)) {
        event.preventDefault();
      }
    }

    // --- Sound -------------------------------------------------------------

    // Starts the page's audio at the rate the program will ask for. Must be
    // called from a user gesture (a click). Resolves to true when sound
    // runs; otherwise (no audio, or none within a few seconds) the program
    // plays on a silent clock.
    async function startAudio(rate) {
      const limit = new Promise((resolve) => setTimeout(() => resolve('timeout'), 5000));
      let outcome;
      try {
        outcome = await Promise.race([openAudio(rate), limit]);
      } catch (error) {
        outcome = String(error);
      }
      if (outcome === true) {
        store('audioRate', rate);
        return true;
      }
      console.warn('No sound: ' + outcome);
      if (audio) audio.close().catch(() => {});
      audio = null;
      return false;
    }

    async function openAudio(rate) {
      audio = new AudioContext({ sampleRate: rate, latencyHint: 'interactive' });
      const context = audio;
      const resumed = context.resume();
      await context.audioWorklet.addModule(workletUrl);
      const node = new AudioWorkletNode(context, 'vorna-ring',
        { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2] });
      node.port.postMessage({ memory: Module.HEAPU8.buffer, base });
      node.connect(context.destination);
      await resumed;
      // Running means the worklet renders: wait for its first quanta.
      const before = load('audioQuanta');
      for (let wait = 0; wait < 50 && load('audioQuanta') === before; ++wait) {
        await new Promise((resolve) => setTimeout(resolve, 10));
      }
      if (load('audioQuanta') === before) return 'the audio does not run';
      if (context.sampleRate !== rate) return 'the audio runs at another rate';
      return true;
    }

    // --- Drawing -------------------------------------------------------------

    // The largest 4:3 rectangle in the canvas, centred.
    function pictureRect(width, height) {
      let w, h;
      if (width * 3 >= height * 4) { h = height; w = Math.floor(height * 4 / 3); }
      else { w = width; h = Math.floor(width * 3 / 4); }
      return { x: Math.floor((width - w) / 2), y: Math.floor((height - h) / 2), w, h };
    }

    function fitCanvas() {
      const ratio = window.devicePixelRatio || 1;
      const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
      const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
      if (canvas.width !== width || canvas.height !== height) {
        canvas.width = width;
        canvas.height = height;
      }
    }

    // Takes the handed-over frame: converts it, then lets the program hand
    // over the next one.
    function takeFrame(serial) {
      const width = load('frameWidth'), height = load('frameHeight');
      if (width === 0 || height === 0) return;
      if (!image || image.width !== width || image.height !== height) {
        image = new ImageData(width, height);
        small = new OffscreenCanvas(width, height);
      }
      const out = new Uint32Array(image.data.buffer);
      const first = (base + OFFSET.pixels) >> 1;
      let all = 0xFFFF;
      for (let i = 0, n = width * height; i < n; ++i) {
        const pixel = u16[first + i];
        all &= pixel;
        out[i] = rgbaOf565[pixel];
      }
      if (all === 0xFFFF) ++whiteFrames;
      store('shownSerial', serial);
      wake('shownSerial');
      small.getContext('2d').putImageData(image, 0, 0);
      ++drawnFrames;
    }

    // For sharp yet even pixels the frame is scaled by whole numbers with
    // nearest-neighbour sampling, then smoothly to its final size.
    function paint() {
      if (!small) return;
      fitCanvas();
      const rect = pictureRect(canvas.width, canvas.height);
      const bigWidth = small.width * Math.max(1, Math.ceil(rect.w / small.width));
      const bigHeight = small.height * Math.max(1, Math.ceil(rect.h / small.height));
      if (!big || big.width !== bigWidth || big.height !== bigHeight) {
        big = new OffscreenCanvas(bigWidth, bigHeight);
      }
      const bigView = big.getContext('2d', { alpha: false });
      bigView.imageSmoothingEnabled = false;
      bigView.drawImage(small, 0, 0, bigWidth, bigHeight);
      view.fillStyle = '#000';
      view.fillRect(0, 0, canvas.width, canvas.height);
      view.imageSmoothingEnabled = true;
      view.imageSmoothingQuality = 'medium';
      view.drawImage(big, rect.x, rect.y, rect.w, rect.h);
    }

    // The show steps once per frame drawn, so frames come at the display's
    // rate, or at an even part of it when that is above 75 per second.
    function measureRate(time) {
      if (lastTime !== 0) {
        intervals.push(time - lastTime);
        if (intervals.length === 30) {
          const sorted = intervals.slice().sort((a, b) => a - b);
          const hertz = 1000 / sorted[15];
          divisor = 1;
          while (hertz / divisor > 75.5) divisor *= 2;
          intervals.length = 0;
        }
      }
      lastTime = time;
    }

    function onAnimationFrame(time) {
      if (!running) return;
      requestAnimationFrame(onAnimationFrame);
      measureRate(time);
      if (++tick % divisor !== 0) return;
      const serial = load('frameSerial');
      if (serial !== lastDrawn) {
        lastDrawn = serial;
        takeFrame(serial);
        paint();
      } else if (needsRedraw) {
        paint();
      }
      needsRedraw = false;
    }

    // --- Full screen -----------------------------------------------------------

    async function toggleFullScreen() {
      try {
        if (document.fullscreenElement) {
          await document.exitFullscreen();
          return;
        }
        await stage.requestFullscreen({ navigationUI: 'hide' });
        // Without this the browser takes Escape to leave full screen and the
        // show never sees it; with it, holding Escape leaves full screen.
        if (navigator.keyboard && navigator.keyboard.lock) {
          await navigator.keyboard.lock(['Escape']);
        }
      } catch (error) {
        console.warn('Full screen: ' + error);
      }
    }
    document.addEventListener('fullscreenchange', () => {
      if (!document.fullscreenElement && navigator.keyboard && navigator.keyboard.unlock) {
        navigator.keyboard.unlock();
      }
      needsRedraw = true;
    });

    // --- What the program calls (on this thread) ------------------------------

    const page = {
      attach, startAudio, toggleFullScreen,
      setFullScreenKey(code) { fullScreenKey = code; },
      // For tests and the page's own display: how many frames were drawn,
      // how many sound frames the worklet has taken.
      drawnFrames: () => drawnFrames,
      whiteFrames: () => whiteFrames,
      framesTaken: () => (u32 ? load('framesTaken') : 0),
      audioRunning: () => (u32 ? load('audioRate') !== 0 : false),
      divisor: () => divisor,

      createWindow(title) {                // program
        if (!canvas) return 0;
        document.title = title;
        return 1;
      },
      showWindow(show) {                   // program
        if (!stage) return 0;
        const was = !stage.hidden;
        stage.hidden = !show;
        return was ? 1 : 0;
      },
      focusWindow() { if (canvas) canvas.focus({ preventScroll: true }); },  // program
      cursorChanged() {                    // program
        if (canvas) canvas.style.cursor = load('cursorShown') ? '' : 'none';
      },
      canDraw() { return view ? 1 : 0; },  // program
      displayOpened() {                    // program
        if (running) return;
        running = true;
        // The program is told asynchronously and may have handed over its
        // first frame already; starting from the frame last drawn takes it,
        // where starting from the frame last handed over would leave the
        // program waiting for it for ever.
        lastDrawn = load('shownSerial');
        requestAnimationFrame(onAnimationFrame);
        onDisplay(true);
      },
      displayClosed() {                    // program
        running = false;
        if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
        onDisplay(false);
      },
      messageBox(caption, text) {          // program
        const box = options.messageBox;
        if (!box) return 0;
        box.querySelector('.caption').textContent = caption;
        box.querySelector('.text').textContent = text;
        const ok = box.querySelector('button');
        if (document.fullscreenElement) document.exitFullscreen().catch(() => {});
        box.hidden = false;
        ok.onclick = () => {
          box.hidden = true;
          store('boxClosed', 1);
          wake('boxClosed');
        };
        ok.focus();
        return 1;
      },
    };
    return page;
  }

  return { create };
})();
