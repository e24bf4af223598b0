'use strict';
// watch(): the desktop's changes as events. Each watcher is an EventEmitter
// that holds a native subscription only while it has listeners for events of
// the watch, so that a kind's native observer runs only while someone listens
// and a watcher nobody listens to holds nothing.
const { EventEmitter } = require('events');

// Which native observer serves each event.
const KINDS = Object.freeze({
  'display-added': 1,
  'display-removed': 1,
  'display-changed': 1,
  'ios-device-added': 2,
  'ios-device-removed': 2,
  'microphone-apps-changed': 4,
  'screen-capture-access-changed': 8,
});

class Watcher extends EventEmitter {
  #open;
  #handle = null;
  #kinds = 0;
  #closed = false;

  constructor(open) {
    super();
    this.#open = open;
    // newListener comes before the listener is added: it is counted here.
    this.on('newListener', (event) => this.#follow(event));
    this.on('removeListener', () => this.#follow());
  }

  // Whether close() was called.
  get closed() { return this.#closed; }

  // Ends the watcher: no event is emitted after this returns.
  close() {
    if (this.#closed) return;
    this.#closed = true;
    this.#release();
  }

  #release() {
    const handle = this.#handle;
    this.#handle = null;
    this.#kinds = 0;
    if (handle !== null) handle.close();
  }

  #follow(adding) {
    if (this.#closed) return;
    let kinds = 0;
    for (const [event, kind] of Object.entries(KINDS)) {
      if (event === adding || this.listenerCount(event) > 0) kinds |= kind;
    }
    if (kinds === this.#kinds) return;
    if (kinds === 0) return this.#release();
    if (this.#handle === null) {
      // Events reach this handle's closure only while it is the current one.
      const handle = this.#open((type, payload, fields) => {
        if (this.#handle !== handle) return;
        if (type === 'display-changed') this.emit(type, payload, fields);
        else this.emit(type, payload);
      });
      this.#handle = handle;
    }
    this.#kinds = kinds;
    this.#handle.kinds(kinds);
  }
}

// The package's exports with watch() over the addon's native half.
function withWatch(addon) {
  const open = addon.watch;
  return { ...addon, watch: Object.defineProperty(() => new Watcher(open), 'name', { value: 'watch' }) };
}

module.exports = { withWatch, Watcher, KINDS };
