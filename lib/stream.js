'use strict';
// startCapture(): frames of a display or a window as a stream. A frame goes to
// a waiting `for await` loop if there is one, else to the 'frame' listeners;
// while nobody takes them, at most maxQueued wait natively, the oldest
// dropped first. The stream ends with 'end' after stop(), or with 'error' when
// the system ends it or it cannot start; 'close' comes last either way.
const { EventEmitter } = require('events');

class CaptureStream extends EventEmitter {
  #handle;
  #waiting = [];      // { resolve, reject } of pending next() calls
  #stopping = null;   // the Promise of the end, once begun
  #ended = false;
  #error = null;      // the system's end, until an iterator has seen it
  #pumpQueued = false;

  constructor(open, options) {
    super();
    this.#handle = open(options, (kind, error) => {
      if (kind === 'frames') this.#pump();
      else if (kind === 'error') this.#finish(error);
    });
    this.on('newListener', (event) => {
      if (event !== 'frame' || this.#pumpQueued) return;
      // After the listener is added, and outside the caller's own code.
      this.#pumpQueued = true;
      setImmediate(() => {
        this.#pumpQueued = false;
        this.#pump();
      });
    });
    this.#handle.start().catch((error) => this.#finish(error));
  }

  // Frames produced, delivered and dropped so far.
  stats() {
    return this.#handle.stats();
  }

  // Resolves once the native stream has stopped and every frame not taken is
  // freed. Any number of times; also after the system ended the stream.
  stop() {
    return this.#finish(null);
  }

  [Symbol.asyncIterator]() {
    return {
      next: () => this.#next(),
      // Leaving the loop stops the stream.
      return: async () => {
        await this.stop();
        return { value: undefined, done: true };
      },
      [Symbol.asyncIterator]() { return this; },
    };
  }

  #next() {
    if (this.#ended) {
      const error = this.#error;
      this.#error = null;
      return error ? Promise.reject(error) : Promise.resolve({ value: undefined, done: true });
    }
    const frame = this.#stopping === null ? this.#handle.take() : null;
    if (frame !== null) return Promise.resolve({ value: frame, done: false });
    return new Promise((resolve, reject) => this.#waiting.push({ resolve, reject }));
  }

  #pump() {
    while (this.#stopping === null && (this.#waiting.length > 0 || this.listenerCount('frame') > 0)) {
      const frame = this.#handle.take();
      if (frame === null) return;
      if (this.#waiting.length > 0) this.#waiting.shift().resolve({ value: frame, done: false });
      else this.emit('frame', frame);
    }
  }

  #finish(error) {
    if (this.#stopping === null) this.#stopping = this.#end(error);
    return this.#stopping;
  }

  async #end(error) {
    await this.#handle.stop();
    this.#ended = true;
    const waiting = this.#waiting.splice(0);
    if (error) {
      if (waiting.length > 0) for (const w of waiting) w.reject(error);
      else this.#error = error;
      // Not thrown where nobody listens: a loop sees it, and stop() still resolves.
      if (this.listenerCount('error') > 0) this.emit('error', error);
    } else {
      for (const w of waiting) w.resolve({ value: undefined, done: true });
      this.emit('end');
    }
    this.emit('close');
  }
}

// The package's exports with startCapture() over the addon's native half.
function withStreams(addon) {
  const open = addon.startCapture;
  const startCapture = (options) => new CaptureStream(open, options);
  return { ...addon, startCapture: Object.defineProperty(startCapture, 'name', { value: 'startCapture' }) };
}

module.exports = { withStreams, CaptureStream };
