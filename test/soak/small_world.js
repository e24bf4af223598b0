'use strict';
// The soak children's world: one small display and window, every wait shrunk, so work starts and ends quickly.
module.exports = { timeScale: 0.001, screen: {
  displays: [{ id: 1, main: true, bounds: { x: 0, y: 0, width: 64, height: 48 }, scale: 2 }],
  windows: [{ id: 5, pid: 1, frame: { x: 4, y: 4, width: 20, height: 10 }, fill: '#3478f6' }],
} };
