#!/usr/bin/env node
// The product on a real X server: with no display it starts its own Xvfb
// (2880x1800, a free display number), a few X clients and, where it can, a
// sound server with a recording client; with a display present it uses that
// one and opens nothing. Then it asks the exports what they see and writes
// the captures to demo-output/x11-*.png. Everything it started is stopped.
'use strict';
const fs = require('fs');
const path = require('path');
const { Desktop, available } = require('./x-desktop');

const root = path.resolve(__dirname, '..');
const outDir = path.resolve(process.env.DESKCAP_DEMO_OUT || path.join(root, 'demo-output'));

async function ask(name, fn) {
  try {
    const value = await fn();
    const text = Buffer.isBuffer(value?.buffer)
      ? `${(value.format || 'png').toUpperCase()} ${value.width}x${value.height}, ${value.buffer.length} bytes`
      : JSON.stringify(value);
    console.log(`  ${name.padEnd(46)} ${text}`);
    return value;
  } catch (e) {
    console.log(`  ${name.padEnd(46)} threw ${e.code}: ${e.message}`);
    return undefined;
  }
}

function save(name, image) {
  if (!image) return;
  const file = path.join(outDir, name);
  fs.writeFileSync(file, image.buffer);
  console.log(`  ${''.padEnd(46)} -> ${file}`);
}

// startCapture() for two seconds: the frames a for-await loop takes, and the last one saved.
async function streamTwoSeconds(d, displayId) {
  const label = "startCapture({fps: 10, format: 'jpeg', maxWidth: 1280})";
  const stream = d.startCapture({ displayId, fps: 10, format: 'jpeg', quality: 70, maxWidth: 1280 });
  const stopAt = setTimeout(() => stream.stop(), 2000);
  let last = null;
  try {
    for await (const frame of stream) last = frame;
  } catch (e) {
    console.log(`  ${label.padEnd(46)} ended: ${e.code}: ${e.message}`);
  }
  clearTimeout(stopAt);
  const { produced, delivered, dropped } = stream.stats();
  console.log(`  ${label.padEnd(46)} 2 s: ${produced} frames produced, ${delivered} delivered, ${dropped} dropped` +
    (last ? `; the last ${last.width}x${last.height}, sequence ${last.sequence}` : ''));
  save('x11-stream-last.jpg', last);
}

async function main() {
  const desktop = new Desktop();
  const windows = {};
  try {
    if (!process.env.DISPLAY) {
      if (!available('xclock', 'xcalc', 'xsetroot')) {
        console.log('\nNo display and no Xvfb/x11-apps here: run scripts/setup.sh first.');
        return;
      }
      await desktop.startX(2880, 1800);
      process.env.DISPLAY = desktop.display;
      desktop.x('xsetroot', '-solid', '#2b3a55');
      console.log(`\ndeskcap on a real X server: Xvfb ${desktop.display}, 2880x1800, started for this demo`);
    } else {
      console.log(`\ndeskcap on the X server at DISPLAY=${process.env.DISPLAY} (nothing opened)`);
    }
    const d = require(path.join(root, 'index.js'));
    const displays = (await ask('getDisplays()', () => d.getDisplays())) || [];
    if (desktop.display) {
      windows.logo = await desktop.openClient('deskcap-logo', 'xlogo', ['-geometry', '1000x700+200+200']);
      windows.clock = await desktop.openClient('deskcap-clock', 'xclock', ['-geometry', '500x500+900+500', '-bg', '#f0d070']);
      windows.calc = await desktop.openClient('deskcap-calc', 'xcalc', ['-geometry', '+1700+300']);
      if (available('pulseaudio', 'parec')) {
        try {
          await desktop.startSound();
          process.env.PULSE_SERVER = desktop.env.PULSE_SERVER;
          windows.recorder = await desktop.record(['application.id=org.example.Recorder']);
        } catch (e) {
          console.log(`  (no sound server: ${e.message})`);
        }
      }
      console.log(`  opened xlogo ${windows.logo.id}, xclock ${windows.clock.id} (over xlogo), xcalc ${windows.calc.id}` +
        (windows.recorder ? `, parec pid ${windows.recorder} recording` : ''));
    }
    if (typeof d.listWindows === 'function') await ask('listWindows()', () => d.listWindows());
    else console.log(`  ${'listWindows()'.padEnd(46)} not in this build`);
    if (typeof d.getScreenCaptureAccess === 'function') await ask('getScreenCaptureAccess()', () => d.getScreenCaptureAccess());
    else console.log(`  ${'getScreenCaptureAccess()'.padEnd(46)} not in this build`);

    fs.mkdirSync(outDir, { recursive: true });
    const main = displays.find((s) => s.isPrimary);
    if (main) {
      save('x11-display.png', await ask(`captureDisplay({displayId: ${main.id}})`, () => d.captureDisplay({ displayId: main.id })));
      if (windows.clock)
        save('x11-display-without-clock.png', await ask(`  ... excludeWindowIds: [${windows.clock.id}] (xclock)`,
          () => d.captureDisplay({ displayId: main.id, excludeWindowIds: [windows.clock.id] })));
      save('x11-crop.png', await ask('  ... cropBounds {x:100, y:100, w:1400, h:1000}',
        () => d.captureDisplay({ displayId: main.id, cropBounds: { x: 100, y: 100, width: 1400, height: 1000 } })));
      // What a vision model is sent: the same screen, 1280 wide, as JPEG, the pointer drawn.
      save('x11-display-1280.jpg', await ask("  ... format: 'jpeg', maxWidth: 1280, showCursor",
        () => d.captureDisplay({ displayId: main.id, format: 'jpeg', quality: 80, maxWidth: 1280, showCursor: true })));
    }
    if (main) await streamTwoSeconds(d, main.id);
    if (windows.logo)
      save('x11-covered-xlogo.png', await ask(`captureWindow(${windows.logo.id}) (xlogo, covered)`, () => d.captureWindow(windows.logo.id)));
    await ask("getAppWindowBounds('XLogo')", () => d.getAppWindowBounds('XLogo'));
    await ask("getAppWindowBounds('xcalc')", () => d.getAppWindowBounds('xcalc'));
    await ask('listMicrophoneApps()', () => d.listMicrophoneApps());
    await ask('getNotchSize()', () => d.getNotchSize());
    await ask('getSystemAudioAccess()', () => d.getSystemAudioAccess());
    console.log(`\nThe X11 captures are in ${outDir} (x11-*.png, x11-*.jpg).`);
  } finally {
    await desktop.stop();
  }
}

main().catch((e) => {
  console.error(e);
  process.exitCode = 1;
});
