// The wave device's player, on the page's audio thread: it plays the
// program's looping 16-bit stereo buffer straight from the shared memory,
// 128 frames per render quantum, and reports how far it has got. The
// fields are those of WebShared (platform/web/web_state.h).
'use strict';

const RING_ADDRESS = 5, RING_FRAMES = 6, RING_SERIAL = 7, RING_READ = 8, FRAMES_TAKEN = 9,
  SEEN_RING_SERIAL = 10, RING_PAUSED = 12, AUDIO_QUANTA = 14;  // 32-bit words from the block's start

class RingPlayer extends AudioWorkletProcessor {
  constructor() {
    super();
    this.words = null;    // the memory as 32-bit words
    this.samples = null;  // ... and as 16-bit samples
    this.block = 0;       // the block's first word
    this.serial = -1;     // the ring_serial of the buffer being played
    this.next = 0;        // its frame to play next
    this.port.onmessage = (event) => {
      const { memory, base } = event.data;
      this.words = new Int32Array(memory);
      this.samples = new Int16Array(memory);
      this.block = base >> 2;
    };
  }

  process(inputs, outputs) {
    const words = this.words;
    if (words === null) return true;  // silence until the memory arrives
    const at = (field) => this.block + field;
    const serial = Atomics.load(words, at(RING_SERIAL));
    if (serial !== this.serial) {
      this.serial = serial;
      this.next = 0;  // a buffer starts playing from its start
    }
    const address = Atomics.load(words, at(RING_ADDRESS)) >>> 0;
    const frames = Atomics.load(words, at(RING_FRAMES)) >>> 0;
    const paused = Atomics.load(words, at(RING_PAUSED)) !== 0;
    const left = outputs[0][0];
    const right = outputs[0].length > 1 ? outputs[0][1] : null;
    if (address !== 0 && frames !== 0 && !paused) {
      const first = address >> 1;
      let i = this.next;
      for (let k = 0; k < left.length; ++k) {
        left[k] = this.samples[first + 2 * i] / 32768;
        if (right) right[k] = this.samples[first + 2 * i + 1] / 32768;
        if (++i === frames) i = 0;
      }
      this.next = i;
      Atomics.store(words, at(RING_READ), i);
      Atomics.add(words, at(FRAMES_TAKEN), left.length);
    }
    Atomics.add(words, at(AUDIO_QUANTA), 1);
    if (Atomics.load(words, at(SEEN_RING_SERIAL)) !== serial) {
      Atomics.store(words, at(SEEN_RING_SERIAL), serial);
      Atomics.notify(words, at(SEEN_RING_SERIAL));
    }
    return true;
  }
}

registerProcessor('vorna-ring', RingPlayer);
