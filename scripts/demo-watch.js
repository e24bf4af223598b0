#!/usr/bin/env node
// watch() on a real X server: starts its own Xorg with the dummy video driver
// (a second output that xrandr can turn on and off while it runs), listens for
// display events, plugs a display in, moves it, makes it the primary one and
// unplugs it, and prints each event as it arrives. Everything it started is
// stopped.
'use strict';
const path = require('path');
const xorg = require('../test/js/helpers/xorg');

const root = path.resolve(__dirname, '..');
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function main() {
  if (process.platform !== 'linux' || !xorg.available()) {
    console.log('\nwatch(): skipped (needs Linux with Xorg and its dummy driver: run scripts/setup.sh first)');
    return;
  }
  const x = await xorg.start();
  try {
    process.env.DISPLAY = x.display;
    const d = require(path.join(root, 'index.js'));
    console.log(`\ndeskcap watch() on Xorg ${x.display} (dummy driver), started for this demo`);
    const show = ({ id, name, x: left, y, width, height, isPrimary }) =>
      `${name} (id ${id}) ${width}x${height} at ${left},${y}${isPrimary ? ', primary' : ''}`;
    const watcher = d.watch();
    let events = 0;
    watcher.on('display-added', (info) => { events++; console.log(`    event display-added    ${show(info)}`); });
    watcher.on('display-removed', (info) => { events++; console.log(`    event display-removed  ${show(info)}`); });
    watcher.on('display-changed', (info, changed) => {
      events++;
      console.log(`    event display-changed  ${show(info)}  [${changed.join(', ')}]`);
    });
    await sleep(300);
    console.log(`  getDisplays(): ${(await d.getDisplays()).map(show).join('; ')}`);
    const steps = [
      ['xrandr --output DUMMY1 --mode deskcap-800x600 --pos 1024x0', () => x.addOutput({ width: 800, height: 600 })],
      ['xrandr --output DUMMY1 --mode deskcap-640x480 --pos 0x768', () => x.addOutput({ width: 640, height: 480, x: 0, y: 768 })],
      ['xrandr --output DUMMY1 --primary', () => x.xrandr('--output', 'DUMMY1', '--primary')],
      ['xrandr --output DUMMY1 --off', () => x.removeOutput()],
    ];
    for (const [what, step] of steps) {
      console.log(`  ${what}`);
      await step();
      await sleep(800);
    }
    watcher.close();
    console.log(`  ${events} event(s) arrived; the watcher is closed.`);
  } finally {
    await x.stop();
  }
}

main().catch((e) => {
  console.error(e);
  process.exitCode = 1;
});
