'use strict';
// watch(): the desktop's changes as events. Each watcher is an EventEmitter
// over one native subscription, which runs the native observer of a kind only
// while some listener wants it.
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
  #handle;
  #kinds = 0;

  constructor(open) {
    super();
    // Delivery goes through a closure, not the emitter itself, so that a
    // closed watcher's handle can drop it.
    this.#handle = open((type, payload, fields) => {
      if (this.#handle === null) return;
      if (type === 'display-changed') this.emit(type, payload, fields);
      else this.emit(type, payload);
    });
    // newListener comes before the listener is added: it is counted here.
    this.on('newListener', (event) => this.#follow(event));
    this.on('removeListener', () => this.#follow());
  }

  // Whether close() was called.
  get closed() { return this.#handle === null; }

  // Ends the watcher: no event is emitted after this returns.
  close() {
    if (this.#handle === null) return;
    const handle = this.#handle;
    this.#handle = null;
    handle.close();
  }

  #follow(adding) {
    if (this.#handle === null) return;
    let kinds = 0;
    for (const [event, kind] of Object.entries(KINDS)) {
      if (event === adding || this.listenerCount(event) > 0) kinds |= kind;
    }
    if (kinds === this.#kinds) return;
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
