'use strict';
// Run inside another system (a minimal Debian root, arm64 under emulation) with
// the installed package beside it: loads one of the two addons and prints
// what it answered, as one line of JSON.
//   node load-check.js testing   the testing addon captures a scripted desktop
//   node load-check.js product   the product's answers on this system
const path = require('path');
const { decodePng } = require('./png.js');

const pkg = path.join(__dirname, 'node_modules', 'deskcap');
const settle = (p) => p.then((value) => ({ value }), (e) => ({ code: e.code, message: e.message }));

async function testing() {
  const d = require(path.join(pkg, 'testing.js'));
  d.setWorld({
    screen: {
      displays: [{ id: 3, main: true, bounds: { x: 0, y: 0, width: 64, height: 48 }, scale: 2, background: '#102030' }],
      windows: [{ id: 9, pid: 1, frame: { x: 8, y: 8, width: 16, height: 12 }, fill: '#e0c040' }],
    },
  });
  const shot = await d.captureDisplay({ displayId: 3 });
  const png = decodePng(shot.buffer);
  return { arch: process.arch, width: png.width, height: png.height, window: png.at(30, 25), desktop: png.at(100, 80) };
}

async function product() {
  const d = require(pkg);
  const displays = await settle(d.getDisplays());
  const out = {
    arch: process.arch,
    displays: displays.value,
    windows: await settle(d.listWindows()),
    microphoneApps: await settle(d.listMicrophoneApps()),
    screenCapture: d.getScreenCaptureAccess(),
  };
  const id = displays.value && displays.value.length > 0 ? displays.value[0].id : 1;
  const shot = await settle(d.captureDisplay({ displayId: id }));
  if (shot.value) {
    const png = decodePng(shot.value.buffer);
    out.capture = { width: png.width, height: png.height, corner: png.at(0, 0) };
  } else {
    out.capture = shot;
  }
  return out;
}

(process.argv[2] === 'testing' ? testing() : product()).then(
  (answer) => console.log(JSON.stringify(answer)),
  (e) => {
    console.error(e);
    process.exitCode = 1;
  });
