'use strict';
// A private X server (Xvfb on a display number it picks itself) and, when
// asked, a private sound server, with real clients on them; everything started
// here is stopped by stop(). Used by the Linux tests and the demo. Needs
// Debian's xvfb, x11-apps, x11-utils and pulseaudio(-utils), which
// scripts/setup.sh installs.
const { spawn, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const has = (tool) => spawnSync('sh', ['-c', `command -v ${tool}`]).status === 0;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function until(what, probe, tries = 100) {
  for (let i = 0; i < tries; i++) {
    const value = probe();
    if (value) return value;
    await sleep(50);
  }
  throw new Error(`timed out waiting for ${what}`);
}

class Desktop {
  constructor() {
    this.children = [];
    this.dir = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-x-'));
    this.env = { ...process.env, XDG_RUNTIME_DIR: this.dir, HOME: this.dir };
    delete this.env.LD_PRELOAD;  // a sanitizer runtime preloaded for the addon is not theirs
  }

  spawn(command, args, options = {}) {
    const child = spawn(command, args, { env: this.env, stdio: 'ignore', ...options });
    child.on('error', () => {});
    this.children.push(child);
    return child;
  }

  // Xvfb writes the display number it chose to the descriptor named by -displayfd.
  async startX(width, height) {
    const server = this.spawn('Xvfb', ['-displayfd', '3', '-screen', '0', `${width}x${height}x24`,
      '-noreset', '-nolisten', 'tcp'], { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
    let text = '';
    server.stdio[3].on('data', (chunk) => { text += chunk; });
    await until('Xvfb', () => /\n/.test(text));
    this.display = `:${text.trim()}`;
    this.env.DISPLAY = this.display;
  }

  x(command, ...args) {
    const r = spawnSync(command, args, { env: this.env, encoding: 'utf8' });
    if (r.status !== 0) throw new Error(`${command} ${args.join(' ')}: ${r.stderr}`);
    return r.stdout;
  }

  // An X Toolkit client (xlogo, xclock, xcalc...) whose window is titled
  // `name`; answers {id, pid} once the window is shown.
  async openClient(name, command, args = []) {
    const child = this.spawn(command, ['-name', name, '-title', name, ...args]);
    const id = await until(`window ${name}`, () => {
      const r = spawnSync('xwininfo', ['-name', name], { env: this.env, encoding: 'utf8' });
      const m = r.status === 0 && /Window id: (0x[0-9a-f]+)/.exec(r.stdout);
      return m && /Map State: IsViewable/.test(r.stdout) ? Number(m[1]) : 0;
    });
    await sleep(100);  // let the client paint
    return { id, pid: child.pid };
  }

  // A solid window of `colour` (xlogo drawn in its own background colour),
  // frame {x, y, width, height}.
  openWindow(name, colour, frame) {
    return this.openClient(name, 'xlogo', ['-bg', colour, '-fg', colour, '-bw', '0',
      '-geometry', `${frame.width}x${frame.height}+${frame.x}+${frame.y}`]);
  }

  // A sound server of this desktop's own with one silent source, "mic".
  async startSound() {
    const socket = path.join(this.dir, 'pulse.sock');
    this.spawn('pulseaudio', ['-n', '--daemonize=no', '--exit-idle-time=-1', '--use-pid-file=no',
      '-L', `module-native-protocol-unix socket=${socket} auth-anonymous=1`,
      '-L', 'module-null-source source_name=mic']);
    this.env.PULSE_SERVER = `unix:${socket}`;
    await until('the sound server', () => spawnSync('pactl', ['info'], { env: this.env }).status === 0);
  }

  // A client recording from "mic", with `properties` such as application.id=...
  async record(properties = []) {
    const child = this.spawn('parec', ['-d', 'mic', ...properties.map((p) => `--property=${p}`)]);
    await until('the recording stream', () => {
      const r = spawnSync('pactl', ['list', 'short', 'source-outputs'], { env: this.env, encoding: 'utf8' });
      return r.stdout.trim().split('\n').filter(Boolean).length >= this.recordings + 1;
    });
    this.recordings += 1;
    return child.pid;
  }

  async stop() {
    for (const child of this.children.reverse()) {
      if (child.exitCode === null && child.signalCode === null) {
        child.kill('SIGTERM');
        await new Promise((resolve) => child.once('exit', resolve));
      }
    }
    fs.rmSync(this.dir, { recursive: true, force: true });
  }
}
Desktop.prototype.recordings = 0;

const available = (...tools) => ['Xvfb', 'xlogo', 'xwininfo', ...tools].every(has);

module.exports = { Desktop, available, has };
