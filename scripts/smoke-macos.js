#!/usr/bin/env node
// Smoke run of every export on a real Mac: calls each once and prints what it
// answers. PNGs go to /tmp. Run from a terminal that has (or may be asked for)
// Screen Recording and Camera access; see README's "Building on macOS".
//
//   node scripts/smoke-macos.js [--request] [--launch] [--window ID] [--out DIR]
//
//   --request     also call requestSystemAudioAccess and requestScreenCaptureAccess
//                 (may show system prompts)
//   --launch      launch Calculator after the first application lookup and check
//                 that getAppWindowBounds and listWindows see it (quit it after)
//   --window ID   the window to capture (default: the frontmost ordinary window
//                 of listWindows, else of osascript; else an id of no window)
//   --out DIR     where the PNGs go (default /tmp)
//
// Exits 1 when an export is missing, a synchronous export throws, or a PNG
// that came back is malformed; rejections of the Promise exports are printed,
// since a missing permission or an absent phone is a normal answer.
'use strict';
const { execFileSync, spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const EXPORTS = Object.keys(require('../lib/exports.js'));
const CALCULATOR = 'com.apple.calculator';
// An id no window has; captureWindow then shows its "not found" answer.
const NO_SUCH_WINDOW = 0x7ffffff0;

function parseArgs(argv) {
  const options = { request: false, launch: false, window: null, out: '/tmp' };
  for (let i = 0; i < argv.length; i++) {
    if (argv[i] === '--request') options.request = true;
    else if (argv[i] === '--launch') options.launch = true;
    else if (argv[i] === '--window') options.window = Number(argv[++i]);
    else if (argv[i] === '--out') options.out = argv[++i];
    else throw new Error(`unknown argument ${argv[i]}`);
  }
  return options;
}

let problems = 0;

function problem(text) {
  problems++;
  console.log(`  PROBLEM: ${text}`);
}

// Width and height from the IHDR chunk, or null when `buffer` is not a PNG.
function pngSize(buffer) {
  const signature = Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]);
  if (!Buffer.isBuffer(buffer) || buffer.length < 24) return null;
  if (!buffer.subarray(0, 8).equals(signature)) return null;
  if (buffer.toString('latin1', 12, 16) !== 'IHDR') return null;
  return { width: buffer.readUInt32BE(16), height: buffer.readUInt32BE(20) };
}

function describe(value) {
  if (value && Buffer.isBuffer(value.buffer)) {
    return `{ buffer: <${value.buffer.length} bytes>, width: ${value.width}, height: ${value.height} }`;
  }
  return JSON.stringify(value);
}

function saveImage(name, image, dir) {
  const size = pngSize(image && image.buffer);
  if (!size) return problem(`${name} answered a buffer that is not a PNG`);
  if (size.width !== image.width || size.height !== image.height) {
    problem(`${name}: PNG is ${size.width}x${size.height} but the answer says ` +
      `${image.width}x${image.height}`);
  }
  const file = path.join(dir, `deskcap-smoke-${name}.png`);
  fs.writeFileSync(file, image.buffer);
  console.log(`  wrote ${file}`);
}

async function call(name, fn, format = describe) {
  const started = process.hrtime.bigint();
  const ms = () => `${Number(process.hrtime.bigint() - started) / 1e6 | 0} ms`;
  try {
    const value = await fn();
    console.log(`${name}: ${format(value)}  (${ms()})`);
    return { ok: true, value };
  } catch (error) {
    const permission = error.permission ? ` permission=${error.permission}` : '';
    console.log(`${name}: threw/rejected [${error.code || 'no code'}${permission}] ${error.message}  (${ms()})`);
    return { ok: false, error };
  }
}

// The frontmost on-screen window of layer 0 of a usable size, through
// JavaScript for Automation's bridge to CoreGraphics. Best effort: null when
// osascript cannot answer.
function frontmostWindowId() {
  const script = `
    ObjC.import('CoreGraphics');
    const info = ObjC.deepUnwrap(ObjC.castRefToObject(
      $.CGWindowListCopyWindowInfo($.kCGWindowListOptionOnScreenOnly |
                                   $.kCGWindowListExcludeDesktopElements, 0)));
    const window = (info || []).find((w) => w.kCGWindowLayer === 0 &&
      w.kCGWindowBounds && w.kCGWindowBounds.Width >= 200 && w.kCGWindowBounds.Height >= 150);
    window ? String(window.kCGWindowNumber) : '';`;
  try {
    const out = execFileSync('osascript', ['-l', 'JavaScript', '-e', script],
      { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'], timeout: 10000 }).trim();
    return out ? Number(out) : null;
  } catch {
    return null;
  }
}

// DESKCAP_IOS_LOG_STDERR=0 in a child: its phone steps log nothing to stderr
// and still fill takeIosLog.
function quietLogCheck() {
  const source = `const d = require(${JSON.stringify(path.join(__dirname, '..'))});
    d.prewarmIosCapture().then(() => d.takeIosLog()).then((l) => console.log(l.length));`;
  const r = spawnSync(process.execPath, ['-e', source], {
    env: { ...process.env, DESKCAP_IOS_LOG_STDERR: '0' }, encoding: 'utf8', timeout: 60000,
  });
  const lines = Number(r.stdout.trim());
  console.log(`DESKCAP_IOS_LOG_STDERR=0: ${lines} log line(s), stderr ${/KR_IOS/.test(r.stderr) ? 'has' : 'has no'} KR_IOS`);
  if (/KR_IOS/.test(r.stderr) || !(lines > 0)) problem('the quiet log is not quiet, or lost its lines');
}

// An application launched after the first lookup, which AppKit reports to a
// plain node process only when the main run loop turns.
// One second of a 10 fps JPEG stream: the frames counted, their sequence in
// order, the last one saved, nothing left running.
async function streamCheck(deskcap, displayId, out) {
  const started = Date.now();
  const stream = deskcap.startCapture({ displayId, fps: 10, format: 'jpeg', maxWidth: 1280 });
  const stopAt = setTimeout(() => stream.stop(), 1000);
  let last = null;
  let error = null;
  try {
    for await (const frame of stream) {
      if (last && frame.sequence <= last.sequence) problem(`frame ${frame.sequence} came after ${last.sequence}`);
      last = frame;
    }
  } catch (e) {
    error = e;
  }
  clearTimeout(stopAt);
  const stats = stream.stats();
  console.log(`startCapture({ displayId: ${displayId}, fps: 10, format: 'jpeg', maxWidth: 1280 }) for 1 s: ` +
    `${JSON.stringify(stats)}${error ? `, ended [${error.code}] ${error.message}` : ''}  (${Date.now() - started} ms)`);
  if (stats.produced !== stats.delivered + stats.dropped) problem(`stream counts do not add up: ${JSON.stringify(stats)}`);
  if (!error && !last) problem('the stream gave no frame in a second');
  if (last) fs.writeFileSync(path.join(out, 'deskcap-smoke-stream-last.jpg'), last.buffer);
}

async function launchCheck(deskcap) {
  console.log(`getAppWindowBounds('${CALCULATOR}') before launch: ${JSON.stringify(deskcap.getAppWindowBounds(CALCULATOR))}`);
  execFileSync('open', ['-a', 'Calculator']);
  let bounds = null;
  for (let i = 0; i < 20 && !bounds; i++) {
    await new Promise((resolve) => setTimeout(resolve, 250));
    bounds = deskcap.getAppWindowBounds(CALCULATOR);
  }
  console.log(`getAppWindowBounds('${CALCULATOR}') after launch: ${JSON.stringify(bounds)}`);
  const owned = (await deskcap.listWindows()).filter((w) => w.appId === CALCULATOR);
  console.log(`listWindows: ${owned.length} Calculator window(s)`);
  if (!bounds || owned.length === 0) problem('an application launched after the first lookup was not seen');
  try {
    execFileSync('osascript', ['-e', 'quit app "Calculator"']);
  } catch { /* left running */ }
}

async function main() {
  const options = parseArgs(process.argv.slice(2));
  const deskcap = require(path.join(__dirname, '..'));
  console.log(`deskcap smoke run on ${process.platform} ${process.arch}, node ${process.version}\n`);

  for (const name of EXPORTS) {
    if (typeof deskcap[name] !== 'function') problem(`export ${name} is missing`);
  }

  // ---- Screen Recording and the window list
  const access = await call('getScreenCaptureAccess', () => deskcap.getScreenCaptureAccess());
  if (!access.ok) problem('getScreenCaptureAccess threw');
  else if (!['granted', 'denied', 'not-determined'].includes(access.value)) {
    problem(`getScreenCaptureAccess answered ${access.value}`);
  }
  const granted = access.ok && access.value === 'granted';
  const windows = await call('listWindows', () => deskcap.listWindows(), (list) => `${list.length} window(s)`);
  if (windows.ok) {
    for (const w of windows.value.slice(0, 12)) console.log(`  | ${JSON.stringify(w)}`);
    if (granted && windows.value.length > 0 && windows.value.every((w) => w.title === null)) {
      problem('Screen Recording is granted but every window title is withheld');
    }
  }
  // A refused capture must say so; any other failure must not.
  const checkRefusal = (name, result) => {
    if (result.ok || access.value === undefined) return;
    const expected = granted ? undefined : 'screen-recording';
    if (result.error.permission !== expected) {
      problem(`${name} rejected with permission ${result.error.permission} while access is ${access.value}`);
    }
  };

  // ---- Screen capture
  const displays = await call('getDisplays', () => deskcap.getDisplays());
  const main = displays.ok ? displays.value.find((d) => d.isPrimary) : null;
  if (main) {
    const shot = await call(`captureDisplay({ displayId: ${main.id} })`,
      () => deskcap.captureDisplay({ displayId: main.id }));
    if (shot.ok) saveImage('display', shot.value, options.out);
    checkRefusal('captureDisplay', shot);
    // What ScreenCaptureKit makes of the output options: the fitted size, the cursor, ImageIO's JPEG.
    const small = await call(`captureDisplay({ displayId: ${main.id}, format: 'jpeg', maxWidth: 1280, showCursor: true })`,
      () => deskcap.captureDisplay({ displayId: main.id, format: 'jpeg', maxWidth: 1280, showCursor: true }));
    if (small.ok) {
      const { buffer, width, format } = small.value;
      if (format !== 'jpeg' || buffer[0] !== 0xff || buffer[1] !== 0xd8) problem('the JPEG capture is not a JPEG');
      if (width !== Math.min(1280, shot.ok ? shot.value.width : 1280)) problem(`the JPEG capture is ${width} pixels wide`);
      fs.writeFileSync(path.join(options.out, 'deskcap-smoke-display-1280.jpg'), buffer);
    }
    checkRefusal('captureDisplay', small);
    const raw = await call(`captureDisplay({ displayId: ${main.id}, format: 'raw', maxHeight: 200 })`,
      () => deskcap.captureDisplay({ displayId: main.id, format: 'raw', maxHeight: 200 }));
    if (raw.ok && raw.value.buffer.length !== raw.value.width * raw.value.height * 4) {
      problem(`raw capture of ${raw.value.width}x${raw.value.height} has ${raw.value.buffer.length} bytes`);
    }
    await streamCheck(deskcap, main.id, options.out);
  } else {
    console.log('captureDisplay: skipped, no primary display listed');
  }

  const listed = windows.ok
    ? windows.value.find((w) => w.layer === 0 && w.width >= 200 && w.height >= 150 && w.pid !== process.pid)
    : undefined;
  let windowId = Number.isInteger(options.window) ? options.window : listed ? listed.id : frontmostWindowId();
  if (windowId === null) {
    console.log(`(no window id found; captureWindow gets ${NO_SUCH_WINDOW}, which no window has)`);
    windowId = NO_SUCH_WINDOW;
  }
  const window = await call(`captureWindow(${windowId})`, () => deskcap.captureWindow(windowId));
  if (window.ok) saveImage('window', window.value, options.out);
  if (listed && windowId === listed.id) {
    checkRefusal('captureWindow', window);
    if (window.ok && (window.value.width < listed.width || window.value.height < listed.height)) {
      problem(`captureWindow(${listed.id}) is ${window.value.width}x${window.value.height} pixels, ` +
        `smaller than the listed ${listed.width}x${listed.height} points`);
    }
  }

  // ---- Connected phones
  await call('prewarmIosCapture', () => deskcap.prewarmIosCapture());
  await call('usbAppleDeviceCount', () => deskcap.usbAppleDeviceCount());
  const devices = await call('listIosDevices', () => deskcap.listIosDevices());
  if (devices.ok && devices.value.length > 0) {
    const id = devices.value[0].uniqueId;
    const frame = await call(`captureIosDevice(${JSON.stringify(id)})`,
      () => deskcap.captureIosDevice(id));
    if (frame.ok) saveImage('phone', frame.value, options.out);
  } else {
    console.log('captureIosDevice: skipped, no device listed');
  }
  const log = await call('takeIosLog', () => deskcap.takeIosLog(),
    (lines) => `${lines.length} line(s)`);
  if (log.ok) for (const line of log.value) console.log(`  | ${line}`);
  quietLogCheck();

  // ---- Desktop context (the three synchronous exports must not throw)
  for (const [name, fn] of [
    ["getAppWindowBounds('com.apple.finder')", () => deskcap.getAppWindowBounds('com.apple.finder')],
    ['getNotchSize', () => deskcap.getNotchSize()],
    ['getSystemAudioAccess', () => deskcap.getSystemAudioAccess()],
  ]) {
    const result = await call(name, fn);
    if (!result.ok) problem(`${name} threw`);
  }
  await call('listMicrophoneApps', () => deskcap.listMicrophoneApps());
  if (options.request) {
    await call('requestSystemAudioAccess', () => deskcap.requestSystemAudioAccess());
    const request = await call('requestScreenCaptureAccess', () => deskcap.requestScreenCaptureAccess());
    if (request.ok && request.value !== granted) {
      problem(`requestScreenCaptureAccess resolved ${request.value} while access is ${access.value}`);
    }
  } else {
    console.log('requestSystemAudioAccess, requestScreenCaptureAccess: skipped (pass --request; they may show prompts)');
  }
  if (options.launch) await launchCheck(deskcap);

  // ---- Watching: every observer starts and stops; change a display or plug a phone in meanwhile to see events
  const watcher = deskcap.watch();
  for (const event of ['display-added', 'display-removed', 'display-changed', 'ios-device-added',
    'ios-device-removed', 'microphone-apps-changed', 'screen-capture-access-changed']) {
    watcher.on(event, (...args) => console.log(`  | ${event} ${JSON.stringify(args)}`));
  }
  console.log('watch: listening for 3 s');
  await new Promise((resolve) => setTimeout(resolve, 3000));
  watcher.close();

  console.log(problems ? `\n${problems} problem(s)` : '\nno problems');
  process.exitCode = problems ? 1 : 0;
}

main().catch((error) => {
  console.error(error);
  process.exitCode = 1;
});
