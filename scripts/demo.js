#!/usr/bin/env node
// The main job: load the product addon, ask every export what it sees on this
// machine, then capture a scripted desktop through deskcap/testing and write
// the PNGs to demo-output/ (set DESKCAP_DEMO_OUT to put them elsewhere).
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..');
const outDir = path.resolve(process.env.DESKCAP_DEMO_OUT || path.join(root, 'demo-output'));

function show(name, value) {
  const text = Buffer.isBuffer(value?.buffer)
    ? `PNG ${value.width}x${value.height}, ${value.buffer.length} bytes`
    : JSON.stringify(value);
  console.log(`  ${name.padEnd(34)} ${text}`);
}

async function ask(name, fn) {
  try {
    show(name, await fn());
  } catch (e) {
    console.log(`  ${name.padEnd(34)} threw ${e.code}: ${e.message}`);
  }
}

async function productTour() {
  const d = require(path.join(root, 'index.js'));
  console.log(`deskcap on ${os.platform()} ${os.release()} (product build)`);
  await ask('getDisplays()', () => d.getDisplays());
  await ask('captureDisplay({displayId: 1})', () => d.captureDisplay({ displayId: 1 }));
  await ask('captureWindow(1)', () => d.captureWindow(1));
  await ask('getNotchSize()', () => d.getNotchSize());
  await ask("getAppWindowBounds('com.apple.finder')", () => d.getAppWindowBounds('com.apple.finder'));
  await ask('listMicrophoneApps()', () => d.listMicrophoneApps());
  await ask('getSystemAudioAccess()', () => d.getSystemAudioAccess());
  await ask('requestSystemAudioAccess()', () => d.requestSystemAudioAccess());
  await ask('listWindows()', () => d.listWindows());
  await ask('getScreenCaptureAccess()', () => d.getScreenCaptureAccess());
  await ask('requestScreenCaptureAccess()', () => d.requestScreenCaptureAccess());
  await ask('usbAppleDeviceCount()', () => d.usbAppleDeviceCount());
  await ask('prewarmIosCapture()', () => d.prewarmIosCapture());
  await ask('listIosDevices()', () => d.listIosDevices());
  await ask("captureIosDevice('00008110-demo')", () => d.captureIosDevice('00008110-demo'));
  await ask('takeIosLog()', () => d.takeIosLog());
}

// A small desktop: a Retina laptop display with an editor, a chat window on
// top of it, and a phone attached by USB.
const DEMO_WORLD = {
  screen: {
    displays: [{ id: 1, main: true, bounds: { x: 0, y: 0, width: 640, height: 400 },
                 mode: { pixelWidth: 1280, width: 640 }, background: '#2b3a55' }],
    windows: [
      { id: 11, pid: 501, title: 'Chat', frame: { x: 380, y: 60, width: 220, height: 260 }, fill: '#3478f6' },
      { id: 10, pid: 500, title: 'Editor', frame: { x: 40, y: 40, width: 420, height: 300 }, fill: '#f5f5f5',
        pattern: { kind: 'stripes', color: '#dddddd', size: 12 } },
    ],
    applications: [{ pid: 500, bundleId: 'com.example.editor' }, { pid: 501, bundleId: 'com.example.chat' }],
  },
};

function childTour(worldFile) {
  const { spawnSync } = require('child_process');
  const source = `
    const fs = require('fs');
    const d = require(${JSON.stringify(path.join(root, 'testing.js'))});
    (async () => {
      const out = ${JSON.stringify(outDir)};
      fs.mkdirSync(out, { recursive: true });
      const shots = {
        'desktop.png': await d.captureDisplay({ displayId: 1 }),
        'desktop-without-chat.png': await d.captureDisplay({ displayId: 1, excludeWindowIds: [11] }),
        'desktop-crop.png': await d.captureDisplay({ displayId: 1, cropBounds: { x: 20, y: 20, width: 300, height: 200 } }),
        'editor-window.png': await d.captureWindow(10),
      };
      for (const [name, img] of Object.entries(shots)) {
        fs.writeFileSync(require('path').join(out, name), img.buffer);
        console.log('  ' + name.padEnd(34) + ' PNG ' + img.width + 'x' + img.height + ', ' + img.buffer.length + ' bytes');
      }
    })().catch((e) => { console.error(e); process.exit(1); });
  `;
  return spawnSync(process.execPath, ['-e', source], {
    env: { ...process.env, DESKCAP_FAKE_WORLD: worldFile }, stdio: 'inherit',
  }).status;
}

(async () => {
  await productTour();
  console.log(`\nA scripted desktop through deskcap/testing, written to ${outDir}:`);
  const worldFile = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-demo-')), 'world.json');
  fs.writeFileSync(worldFile, JSON.stringify(DEMO_WORLD));
  process.exitCode = childTour(worldFile);
})();
