'use strict';
// The packed tarball installed into fresh projects, with and without prebuilt binaries, loaded from
// CommonJS and ESM, its types checked by tsc. Offline: the dependencies are packed from node_modules.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFile, spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const staged = require('./helpers/staged');

const root = path.resolve(__dirname, '..', '..');
const EXPORTS = require(path.join(root, 'lib', 'exports.js'));
const TARGET = `${process.platform}-${process.arch}`;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-package-'));
test.after(() => fs.rmSync(work, { recursive: true, force: true }));

// Consumers see none of the repository's own build settings.
const env = { ...process.env, npm_config_audit: 'false', npm_config_fund: 'false',
  npm_config_update_notifier: 'false', npm_config_offline: 'true' };
for (const name of ['DESKCAP_BUILD_DIR', 'DESKCAP_CMAKE_ARGS', 'npm_config_build_from_source']) delete env[name];

function run(cmd, args, cwd = root, extraEnv = {}) {
  const started = Date.now();
  const r = spawnSync(cmd, args, { cwd, env: { ...env, ...extraEnv }, encoding: 'utf8', timeout: 600000 });
  return Object.assign(r, { ms: Date.now() - started, text: `${r.stdout}${r.stderr}` });
}

function ok(cmd, args, cwd, extraEnv) {
  const r = run(cmd, args, cwd, extraEnv);
  assert.equal(r.status, 0, `${cmd} ${args.join(' ')} failed:\n${r.text}`);
  return r;
}

const packed = (args) =>
  JSON.parse(ok('npm', ['pack', '--json', '--ignore-scripts', '--pack-destination', work, ...args]).stdout);

let tarball, files, deps;
test.before(() => {
  ({ tarball, files } = staged.packed());
  deps = packed(['./node_modules/node-gyp-build', './node_modules/node-api-headers'])
    .map((d) => path.join(work, d.filename));
});

const WORLD = path.join(work, 'world.json');
const CJS = `
const assert = require('assert');
const deskcap = require('deskcap');
const testing = require('deskcap/testing');
assert.deepEqual([...Object.keys(deskcap), 'setWorld', 'changeWorld', 'probe'].sort(), Object.keys(testing).sort());
assert.notEqual(deskcap, testing);
testing.getDisplays().then((d) => console.log(JSON.stringify({
  exports: Object.keys(deskcap).length, display: d[0].id, audio: typeof deskcap.getSystemAudioAccess() })));
`;
const ESM = `
import { createRequire } from 'node:module';
import deskcap, { getDisplays } from 'deskcap';
import testing, * as named from 'deskcap/testing';
const require = createRequire(import.meta.url);
const names = (ns) => Object.keys(ns).filter((k) => k !== 'default').sort();
console.log(JSON.stringify({
  same: deskcap === require('deskcap') && testing === require('deskcap/testing'),
  bound: getDisplays === deskcap.getDisplays,
  named: [names(await import('deskcap')), names(named)],
  cjs: [Object.keys(require('deskcap')).sort(), Object.keys(require('deskcap/testing')).sort()],
  display: (await named.getDisplays())[0].id,
}));
`;

// A project that lets the tarball's install script run (npm 11 asks for that).
function project(name, tgz) {
  const dir = path.join(work, name);
  fs.mkdirSync(dir);
  fs.writeFileSync(path.join(dir, 'package.json'), JSON.stringify({ name, version: '1.0.0', private: true,
    allowScripts: { [`file:${tgz}`]: true } }));
  fs.writeFileSync(path.join(dir, 'cjs.js'), CJS);
  fs.writeFileSync(path.join(dir, 'esm.mjs'), ESM);
  fs.writeFileSync(WORLD, JSON.stringify({ screen: { displays: [{ id: 7, main: true }] } }));
  return dir;
}

// Both entry points load the right binary from CommonJS and from ESM.
function loadsFromBothModuleSystems(dir) {
  const world = { DESKCAP_FAKE_WORLD: WORLD };
  const cjs = JSON.parse(ok(process.execPath, ['cjs.js'], dir, world).stdout);
  assert.deepEqual(cjs, { exports: Object.keys(EXPORTS).length, display: 7, audio: 'string' });
  const esm = JSON.parse(ok(process.execPath, ['esm.mjs'], dir, world).stdout);
  assert.deepEqual(esm.named, esm.cjs, 'ESM named exports differ from the CommonJS ones');
  assert.deepEqual([esm.same, esm.bound, esm.display], [true, true, 7]);
}

test('the tarball holds the package, its licence and product-only prebuilds, and no tests or tools', () => {
  for (const f of ['LICENSE', 'README.md', 'index.js', 'index.mjs', 'index.d.ts', 'index.d.mts', 'testing.js',
    'testing.mjs', 'testing.d.ts', 'testing.d.mts', 'lib/binding.js', 'scripts/build.js', 'CMakeLists.txt']) {
    assert.ok(files.includes(f), `${f} is missing from the tarball`);
  }
  const stray = files.filter((f) => /^(test|tools|bench|build[^/]*|\.github|\.ci)\//.test(f) ||
    (f.startsWith('scripts/') && f !== 'scripts/build.js'));
  assert.deepEqual(stray, []);
  const pkg = JSON.parse(fs.readFileSync(path.join(root, 'package.json'), 'utf8'));
  assert.match(fs.readFileSync(path.join(root, 'LICENSE'), 'utf8'), new RegExp(`^${pkg.license} License`));

  const prebuilds = files.filter((f) => f.startsWith(`prebuilds/${TARGET}/`)).sort();
  assert.equal(prebuilds.length, 2, `expected two prebuilds for ${TARGET}: ${prebuilds}`);
  assert.match(path.basename(prebuilds[0]), /^deskcap\./);
  // The test hooks live in the testing binary only, and each exports just Node's two entry points.
  const binaries = prebuilds.map((f) => path.join(root, f));
  assert.deepEqual(binaries.map((file) => fs.readFileSync(file).includes('DESKCAP_TEST_FAULT')), [false, true]);
  for (const file of binaries) {
    const nm = process.platform === 'darwin' ? ['-gU', file] : ['-D', '--defined-only', file];
    const symbols = ok('nm', nm).stdout.trim().split('\n').map((l) => l.split(' ').pop().replace(/^_/, ''));
    assert.deepEqual(symbols.sort(), ['napi_register_module_v1', 'node_api_module_get_api_version_v1']);
  }
});

test('with the prebuilt binaries, an install compiles nothing and loads from CommonJS and ESM', (t) => {
  const dir = project('with-prebuilds', tarball);
  const install = ok('npm', ['install', '--foreground-scripts', tarball, ...deps], dir);
  t.diagnostic(`npm install with prebuilt binaries: ${install.ms} ms`);
  assert.match(install.text, new RegExp(`using the prebuilt binaries in prebuilds/${TARGET}/`));
  assert.doesNotMatch(install.text, /install-scripts/);
  assert.equal(fs.existsSync(path.join(dir, 'node_modules', 'deskcap', 'build')), false);
  loadsFromBothModuleSystems(dir);
});

// A platform deskcap does not serve, as npm and Node see it: npm checks an optional
// dependency against --os and --cpu (any other against the running platform, by the same
// check), and a preload makes Node report win32-x64.
const AS_WIN32 = "Object.defineProperty(process, 'platform', { value: 'win32' });\n" +
  "Object.defineProperty(process, 'arch', { value: 'x64' });\n";
const ON_WIN32_CJS = `
const answer = (call) => {
  let value;
  try { value = call(); } catch (e) { return Promise.resolve({ how: 'threw', code: e.code, message: e.message }); }
  return Promise.resolve(value).then(() => ({ how: 'returned' }),
    (e) => ({ how: value instanceof Promise ? 'rejected' : 'returned', code: e.code, message: e.message }));
};
const deskcap = require('deskcap');
Promise.all([...Object.keys(deskcap).map((name) => answer(() => deskcap[name]())),
  answer(() => require('deskcap/testing'))]).then((all) => console.log(JSON.stringify({
  exports: Object.fromEntries(Object.keys(deskcap).map((name, i) => [name, all[i]])), testing: all.at(-1) })));
`;
const ON_WIN32_ESM = `
import deskcap, * as named from 'deskcap';
const names = Object.keys(named).filter((k) => k !== 'default').sort();
console.log(JSON.stringify({ names, same: names.every((n) => named[n] === deskcap[n]),
  rejected: await named.captureWindow(1).catch((e) => e.code) }));
`;

test('on a platform it does not serve, npm installs it, the install step builds nothing, and every export ' +
  'answers UnsupportedPlatform', () => {
  const dir = project('as-win32', tarball);
  ok('npm', ['install', '--save-optional', '--os=win32', '--cpu=x64', '--ignore-scripts', tarball, ...deps], dir);
  const pkg = path.join(dir, 'node_modules', 'deskcap');
  assert.ok(fs.existsSync(path.join(pkg, 'package.json')), 'npm left the package out for win32-x64');
  const preload = path.join(dir, 'as-win32.js');
  fs.writeFileSync(preload, AS_WIN32);
  fs.writeFileSync(path.join(dir, 'win32.js'), ON_WIN32_CJS);
  fs.writeFileSync(path.join(dir, 'win32.mjs'), ON_WIN32_ESM);

  const install = ok(process.execPath, ['-r', preload, 'scripts/build.js', '--install'], pkg);
  assert.equal(`${install.stdout}|${install.stderr}`,
    '|deskcap: win32-x64 is not supported (deskcap runs on macOS and Linux); nothing to build\n');
  assert.equal(fs.existsSync(path.join(pkg, 'build')), false);

  const refusal = 'does not support win32-x64: it runs on macOS (and Linux)';
  const message = `deskcap ${refusal}`;
  const cjs = JSON.parse(ok(process.execPath, ['-r', preload, 'win32.js'], dir).stdout);
  assert.deepEqual(cjs.exports, Object.fromEntries(Object.entries(EXPORTS).map(([name, sync]) =>
    [name, { how: sync ? 'threw' : 'rejected', code: 'UnsupportedPlatform', message }])));
  assert.deepEqual(cjs.testing, { how: 'threw', code: 'UnsupportedPlatform', message: `deskcap/testing ${refusal}` });
  const esm = JSON.parse(ok(process.execPath, ['-r', preload, 'win32.mjs'], dir).stdout);
  assert.deepEqual(esm, { names: Object.keys(EXPORTS).sort(), same: true, rejected: 'UnsupportedPlatform' });
});

test('the types resolve for both entry points under nodenext, bundler and node10 resolution', async () => {
  const dir = path.join(work, 'with-prebuilds');
  const use = `
export const shot: Promise<deskcap.CapturedImage> = deskcap.captureDisplay({ displayId: 1, excludeWindowIds: [2] });
export const access: 'granted' | 'denied' | 'not-determined' | 'unknown' = testing.getSystemAudioAccess();
// @ts-expect-error: a window id is a number
deskcap.captureWindow('1');
const watcher = deskcap.watch();
watcher.on('display-changed', (display, changed) => { const moved: boolean = display.x > 0 && changed.includes('x'); });
watcher.on('microphone-apps-changed', (apps) => { const pid: number = apps[0].pid; });
watcher.close();
const stream = deskcap.startCapture({ displayId: 1, fps: 30, format: 'jpeg', maxQueued: 4 });
stream.on('frame', (frame) => { const n: number = frame.sequence + frame.timestamp; });
export async function first(): Promise<number> { for await (const f of stream) return f.width; return 0; }
// @ts-expect-error: a window stream has no crop
deskcap.startCapture({ windowId: 1, cropBounds: { x: 0, y: 0, width: 1, height: 1 } });
`;
  const sources = {
    'esm.mts': `import deskcap, { captureDisplay } from 'deskcap';
import testing, * as fake from 'deskcap/testing';
export const same: typeof captureDisplay = fake.captureDisplay;`,
    'cjs.cts': `import deskcap = require('deskcap');
import testing = require('deskcap/testing');`,
    'node10.ts': `import * as deskcap from 'deskcap';
import * as testing from 'deskcap/testing';`,
  };
  for (const [file, imports] of Object.entries(sources)) fs.writeFileSync(path.join(dir, file), `${imports}\n${use}`);
  // A stand-in for @types/node: the declarations need only Buffer and
  // EventEmitter, and checking all of Node's types would take most of this test's time.
  fs.mkdirSync(path.join(dir, 'types', 'node'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'types', 'node', 'index.d.ts'), 'declare class Buffer extends Uint8Array {}\n' +
    "declare module 'events' { class EventEmitter { on(event: string | symbol, listener: (...args: any[]) => void): this; } }\n");
  const typeRoots = [path.join(dir, 'types')];
  const configs = {
    nodenext: { module: 'nodenext', files: ['esm.mts', 'cjs.cts'] },
    bundler: { module: 'esnext', moduleResolution: 'bundler', allowSyntheticDefaultImports: false, files: ['esm.mts'] },
    node10: { module: 'commonjs', files: ['node10.ts'] },
  };
  const tsc = path.join(root, 'node_modules', 'typescript', 'bin', 'tsc');
  const results = await Promise.all(Object.entries(configs).map(([name, { files: sources, ...options }]) => {
    const config = path.join(dir, `tsconfig.${name}.json`);
    fs.writeFileSync(config, JSON.stringify({ files: sources, compilerOptions: { strict: true, noEmit: true,
      target: 'es2022', lib: ['es2022'], esModuleInterop: false, typeRoots, types: ['node'], ...options } }));
    return new Promise((resolve) => execFile(process.execPath, [tsc, '-p', config], { cwd: dir },
      (error, stdout) => resolve({ name, error, stdout })));
  }));
  for (const { name, error, stdout } of results) assert.equal(error, null, `tsc (${name}):\n${stdout}`);
});

test('without prebuilt binaries, require says what to run, and npm rebuild builds from source', (t) => {
  const unpacked = path.join(work, 'unpacked');
  fs.mkdirSync(unpacked);
  ok('tar', ['xzf', tarball, '-C', unpacked]);
  fs.rmSync(path.join(unpacked, 'package', 'prebuilds'), { recursive: true });
  const [bare] = packed([path.join(unpacked, 'package')]);

  const dir = project('from-source', path.join(work, bare.filename));
  ok('npm', ['install', '--ignore-scripts', path.join(work, bare.filename), ...deps], dir);
  const missing = run(process.execPath, ['cjs.js'], dir);
  assert.notEqual(missing.status, 0);
  const pkg = path.join(dir, 'node_modules', 'deskcap');
  for (const expected of [path.join(pkg, 'build', 'deskcap.node'),
    path.join(pkg, 'prebuilds', TARGET, 'deskcap*.node'), 'Run `npm rebuild deskcap`']) {
    assert.ok(missing.stderr.includes(expected), `"${expected}" not in:\n${missing.stderr}`);
  }

  const rebuild = ok('npm', ['rebuild', 'deskcap', '--foreground-scripts'], dir);
  t.diagnostic(`npm rebuild deskcap from source: ${rebuild.ms} ms`);
  assert.match(rebuild.text, new RegExp(`no prebuilt binaries for ${TARGET}; building from source`));
  assert.deepEqual(fs.readdirSync(path.join(pkg, 'build')).sort(), ['deskcap.node', 'deskcap_testing.node']);
  loadsFromBothModuleSystems(dir);
});

test('a source build without CMake ends with what to install and run, and no stack trace', () => {
  const bin = path.join(work, 'bin');
  fs.mkdirSync(bin);
  fs.symlinkSync(process.execPath, path.join(bin, 'node'));
  const r = run(process.execPath, ['scripts/build.js'], root, { PATH: bin, DESKCAP_BUILD_DIR: path.join(work, 'nocmake') });
  assert.equal(r.status, 1);
  for (const expected of ['CMake was not found', 'sudo apt-get install cmake', 'brew install cmake', 'npm rebuild deskcap']) {
    assert.ok(r.stderr.includes(expected), `"${expected}" not in:\n${r.stderr}`);
  }
  assert.doesNotMatch(r.stderr, /^\s+at /m);
});
