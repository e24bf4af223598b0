'use strict';
// A binary the loader refuses is explained by what it lacks: a system library, a newer
// C library or C++ runtime, or the right architecture. Small stand-ins made with cc are
// loaded as the product through DESKCAP_BUILD_DIR.
const test = require('node:test');
const assert = require('node:assert/strict');
const { execFile, execFileSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..', '..');
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'deskcap-load-'));
test.after(() => fs.rmSync(work, { recursive: true, force: true }));
const linux = process.platform === 'linux';
const at = (...parts) => path.join(work, ...parts);

fs.writeFileSync(at('lib.c'), 'int deskcap_gone(void) { return 1; }\n');
fs.writeFileSync(at('addon.c'), 'int deskcap_gone(void);\nint deskcap_entry(void) { return deskcap_gone(); }\n');
const cc = (...args) => execFileSync('cc', args, { cwd: work });

// deskcap.node in a folder of its own, linked against `lib`, which is then deleted.
function linkedAgainst(folder, lib, libArgs) {
  fs.mkdirSync(at(folder));
  cc('-shared', '-fPIC', '-o', lib, 'lib.c', ...libArgs);
  if (linux) cc('-shared', '-fPIC', '-o', path.join(folder, 'deskcap.node'), 'addon.c', lib);
  else cc('-bundle', '-o', path.join(folder, 'deskcap.node'), 'addon.c', lib);
  fs.rmSync(at(lib));
  return at(folder);
}

// deskcap.node needing a symbol version that the system's `soname` lacks: linked against
// a stand-in of that name which has it.
function needsVersion(folder, soname, version) {
  fs.mkdirSync(at(folder, 'stub'), { recursive: true });
  fs.writeFileSync(at(folder, 'v.map'), `${version} { global: deskcap_gone; local: *; };\n`);
  cc('-shared', '-fPIC', '-nostdlib', '-o', path.join(folder, 'stub', soname), `-Wl,-soname,${soname}`,
    `-Wl,--version-script=${path.join(folder, 'v.map')}`, 'lib.c');
  cc('-shared', '-fPIC', '-o', path.join(folder, 'deskcap.node'), 'addon.c', path.join(folder, 'stub', soname));
  return at(folder);
}

// The message require('deskcap') throws with the product in `dir`.
function loadError(dir) {
  const script = 'try { require(process.argv[1]); } catch (e) { console.log(JSON.stringify([e.code, e.message])); }';
  return new Promise((resolve, reject) => execFile(process.execPath, ['-e', script, root],
    { env: { ...process.env, DESKCAP_BUILD_DIR: dir } }, (error, stdout) => {
      if (error) reject(error);
      else resolve(JSON.parse(stdout || '[null, "it loaded"]'));
    }));
}

const REBUILD = 'npm rebuild deskcap --build-from-source';

test('a refused binary is explained by what it lacks, with the advice that fits', async () => {
  const cases = [{
    what: 'a shared library that is not installed',
    dir: linkedAgainst('missing', linux ? 'libdeskcap_gone.so.1' : 'libdeskcap_gone.dylib',
      linux ? ['-Wl,-soname,libdeskcap_gone.so.1'] : ['-dynamiclib', '-install_name', '@rpath/libdeskcap_gone.dylib']),
    says: [`needs the system library libdeskcap_gone.${linux ? 'so.1' : 'dylib'}, which is not installed`,
      'Rebuilding deskcap does not help'],
    not: [REBUILD],
  }];
  if (linux) {
    cases.push({
      what: 'a newer C library',
      dir: needsVersion('glibc', 'libc.so.6', 'GLIBC_2.99'),
      says: ["The system's C library (glibc) is older than this binary needs (it lacks GLIBC_2.99)", REBUILD],
      not: ['system library'],
    }, {
      what: 'a newer C++ runtime',
      dir: needsVersion('glibcxx', 'libstdc++.so.6', 'GLIBCXX_3.4.99'),
      says: ["The system's C++ runtime (libstdc++) is older than this binary needs (it lacks GLIBCXX_3.4.99)"],
      not: ['system library'],
    });
    // The same binary marked for another machine (aarch64 or x86-64): glibc then says the
    // binary itself "cannot open shared object file".
    fs.mkdirSync(at('arch'));
    const elf = fs.readFileSync(path.join(cases[0].dir, 'deskcap.node'));
    elf.writeUInt16LE(elf.readUInt16LE(18) === 183 ? 62 : 183, 18);
    fs.writeFileSync(at('arch', 'deskcap.node'), elf);
    cases.push({
      what: 'another architecture',
      dir: at('arch'),
      says: ['cannot open shared object file', 'built for another platform, architecture or system library', REBUILD],
      not: ['not installed'],
    });
  }
  const errors = await Promise.all(cases.map(({ dir }) => loadError(dir)));
  cases.forEach(({ what, dir, says, not }, i) => {
    const [code, message] = errors[i];
    assert.equal(code, 'ERR_DLOPEN_FAILED', `${what}: ${message}`);
    assert.ok(message.startsWith(`deskcap: cannot load ${path.join(dir, 'deskcap.node')}: `), `${what}: ${message}`);
    for (const text of says) assert.ok(message.includes(text), `${what}: "${text}" not in:\n${message}`);
    for (const text of not) assert.ok(!message.includes(text), `${what}: "${text}" in:\n${message}`);
  });
});
