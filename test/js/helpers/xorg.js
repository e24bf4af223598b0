'use strict';
// A private Xorg with the dummy video driver (test/fixtures/xorg-dummy.conf),
// whose second output tests turn on, move and turn off with xrandr while it
// runs: what Xvfb, with its one fixed output, cannot do. Needs Debian's
// xserver-xorg-core, xserver-xorg-video-dummy and x11-xserver-utils, which
// scripts/setup.sh installs.
//
//   const xorg = require('./helpers/xorg');
//   if (!xorg.available()) skip...
//   const x = await xorg.start();          // x.display is ':N'; DUMMY0 is 1024x768 at 0,0
//   await x.addOutput({ width: 800, height: 600 });     // DUMMY1 right of DUMMY0: {x: 1024, y: 0, ...}
//   await x.addOutput({ width: 640, height: 480, x: 0, y: 768 });  // moved and resized
//   x.xrandr('--output', 'DUMMY1', '--primary');              // anything else; answers stdout
//   await x.removeOutput();
//   await x.stop();
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const CONFIG = path.join(__dirname, '..', '..', 'fixtures', 'xorg-dummy.conf');
const DRIVER = '/usr/lib/xorg/modules/drivers/dummy_drv.so';
const FIRST = { width: 1024, height: 768 };  // DUMMY0, as the configuration starts it

const has = (tool) => spawnSync('sh', ['-c', `command -v ${tool}`]).status === 0;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

function available() {
  return has('Xorg') && has('xrandr') && fs.existsSync(DRIVER);
}

// A mode of `width` x `height` at 60 Hz with reduced blanking, as xrandr
// --newmode takes it (clock in MHz, then the horizontal and vertical timings).
// The dummy driver shows nothing, but refuses timings outside the monitor's
// ranges in the configuration.
function modeline(width, height) {
  const htotal = width + 160;
  const vtotal = height + 23;
  const clock = ((htotal * vtotal * 60) / 1e6).toFixed(2);
  return [clock, width, width + 48, width + 80, htotal, height, height + 3, height + 9, vtotal, '+hsync', '-vsync']
    .map(String);
}

// A display number nobody holds now. High, so that an Xvfb -displayfd of a
// test running alongside (it takes the lowest free number) keeps out of its way;
// each process searches from its own place.
function freeDisplay(from) {
  for (let n = from; ; n++) {
    if (!fs.existsSync(`/tmp/.X${n}-lock`) && !fs.existsSync(`/tmp/.X11-unix/X${n}`)) return n;
  }
}

class Xorg {
  constructor(number, dir, env) {
    this.display = `:${number}`;
    this.dir = dir;
    this.env = env;
    this.modes = new Set();  // made with --newmode and added to DUMMY1
    this.server = spawn('Xorg', [this.display, '-config', CONFIG, '-noreset', '-nolisten', 'tcp',
      '-logfile', path.join(dir, 'xorg.log')], { env, stdio: 'ignore' });
    this.server.on('error', () => {});
    this.exited = new Promise((resolve) => this.server.once('exit', resolve));
  }

  running() {
    return this.server.exitCode === null && this.server.signalCode === null;
  }

  // xrandr against this server; answers its output, throws with its errors.
  xrandr(...args) {
    const r = spawnSync('xrandr', ['-d', this.display, ...args.map(String)], { env: this.env, encoding: 'utf8' });
    if (r.status !== 0) throw new Error(`xrandr ${args.join(' ')}: ${r.stderr || r.error}`);
    return r.stdout;
  }

  // The pid in the display's server lock, 0 without one.
  lockOwner() {
    try {
      return Number(fs.readFileSync(`/tmp/.X${this.display.slice(1)}-lock`, 'utf8').trim());
    } catch {
      return 0;
    }
  }

  // Answering, and this server: the lock names the one that holds the number.
  async ready() {
    for (let i = 0; i < 300 && this.running(); i++) {
      if (this.lockOwner() === this.server.pid
        && spawnSync('xrandr', ['-d', this.display, '--current'], { env: this.env, stdio: 'ignore' }).status === 0)
        return true;
      await sleep(50);
    }
    return false;
  }

  // Turns DUMMY1 on with a mode of width x height (made once per size): at
  // {x, y} when given, else right of DUMMY0 (rightOf, the default) or below
  // it. Answers the output's bounds.
  async addOutput({ width, height, rightOf = true, x, y }) {
    const name = `deskcap-${width}x${height}`;
    if (!this.modes.has(name)) {
      this.xrandr('--newmode', name, ...modeline(width, height));
      this.xrandr('--addmode', 'DUMMY1', name);
      this.modes.add(name);
    }
    const at = x !== undefined || y !== undefined ? { x: x || 0, y: y || 0 }
      : rightOf ? { x: FIRST.width, y: 0 } : { x: 0, y: FIRST.height };
    this.xrandr('--output', 'DUMMY1', '--mode', name, '--pos', `${at.x}x${at.y}`);
    // The driver calls the output connected only once a query probes it.
    this.xrandr();
    return { ...at, width, height };
  }

  async removeOutput() {
    this.xrandr('--output', 'DUMMY1', '--off');
  }

  async stop() {
    if (this.running()) {
      this.server.kill('SIGTERM');
      await this.exited;
    }
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}

// Starts a server and resolves once it answers. A number taken meanwhile by
// another server makes this one exit at once: then the next number is tried.
async function start() {
  const env = { ...process.env };
  delete env.LD_PRELOAD;  // a sanitizer runtime preloaded for the addon is not the server's
  let number = 140 + (process.pid % 64);
  let log = '';
  for (let attempt = 0; attempt < 5; attempt++) {
    number = freeDisplay(number + 1);
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-xorg-'));
    const x = new Xorg(number, dir, { ...env, DISPLAY: `:${number}` });
    if (await x.ready()) return x;
    const file = path.join(dir, 'xorg.log');
    log = fs.existsSync(file) ? fs.readFileSync(file, 'utf8').split('\n').slice(-15).join('\n') : '';
    await x.stop();
  }
  throw new Error(`Xorg did not start (last tried :${number}):\n${log}`);
}

module.exports = { available, start, modeline, FIRST };
