#!/usr/bin/env node
// Builds the two addons (deskcap.node, deskcap_testing.node) with CMake.
//
//   node scripts/build.js             from source into build/; DESKCAP_BUILD_DIR and
//                                     DESKCAP_CMAKE_ARGS make other flavours (tests, sanitizers)
//   node scripts/build.js --install   npm's install step: the prebuilt binaries when they
//                                     load here, else a build from source (nothing on a
//                                     platform deskcap does not serve)
//   node scripts/build.js --prebuild  product-only Release builds, stripped and copied to
//                                     prebuilds/<platform>-<arch>/ as prebuildify names them
//                                     (on Linux x64: x64 and arm64; --arch picks one)
//
// An expected failure (no CMake, no compiler, a missing library) ends with one
// paragraph saying what to install, without a stack trace.
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const root = path.resolve(__dirname, '..');
const ADDONS = ['deskcap', 'deskcap_testing'];
const TARGET = `${process.platform}-${process.arch}`;
// What a build from source needs; keep in step with CMakeLists.txt and README.md.
const INSTALL_HINT =
  'Install the build tools and libraries, then run `npm rebuild deskcap`. ' +
  'Debian/Ubuntu: `sudo apt-get install cmake make g++ pkg-config zlib1g-dev nlohmann-json3-dev`. ' +
  'macOS: `xcode-select --install` (clang, the SDK and zlib), then ' +
  '`brew install cmake nlohmann-json` (and libpng for the tests). A C++20 compiler is needed ' +
  '(GCC 12 or later; on macOS the clang of Xcode 15 or later) and CMake 3.20 or later.';
// What a failed CMake configure step said, as the thing that is missing.
const CAUSES = [
  [/CMAKE_(C|CXX)_COMPILER (could be found|not set)|Could not find compiler|is not able to compile a simple test program/,
    'no working C/C++ compiler was found'],
  [/unable to find a build program|CMAKE_MAKE_PROGRAM is not set/, '`make` was not found'],
  [/CMake 3\.\d+ or higher is required/, 'CMake is older than 3.20'],
  [/nlohmann_json/, 'the nlohmann-json library was not found'],
  [/Could NOT find (\w+)/, (m) => `the ${m[1] === 'PNG' ? 'libpng' : m[1].toLowerCase()} library ` +
    '(its development files) was not found'],
];

class Expected extends Error {}

function say(line) {
  process.stderr.write(`deskcap: ${line}\n`);
}

function cmake(args, options = {}) {
  // Builds of the same sources in other folders (another checkout, a
  // consumer's node_modules) then share compiler-cache entries.
  const env = { CCACHE_BASEDIR: root, ...process.env };
  const r = spawnSync('cmake', args, { cwd: root, env, encoding: 'utf8', ...options });
  if (r.error && r.error.code === 'ENOENT') throw new Expected('CMake was not found on the PATH');
  if (r.error) throw new Expected(`CMake could not be run (${r.error.message})`);
  return r;
}

function nodeApiHeaders() {
  try {
    return require('node-api-headers').include_dir;
  } catch {
    throw new Expected('the npm package node-api-headers is missing (run `npm install` first)');
  }
}

// Configures and builds `dir` (all targets when `targets` is empty).
function buildFromSource(dir, args, targets = []) {
  const shown = dir.startsWith(root + path.sep) ? path.relative(root, dir) : dir;
  say(`configuring ${shown}/ with CMake`);
  const configure = cmake(['-S', root, '-B', dir, '-DCMAKE_BUILD_TYPE=Release',
    `-DNODE_API_INCLUDE_DIR=${nodeApiHeaders()}`, ...args]);
  if (configure.status !== 0) {
    // CMake's errors (on stderr) name the cause; a package looked for on the way is not one.
    const lines = configure.stderr.split('\n');
    const errors = lines.flatMap((l, i) => (!l.startsWith('CMake Error') ? [] :
      l.endsWith(':') ? [lines[i + 1] || ''] : [l.replace(/^CMake Error:\s*/, '')]))
      .map((l) => l.trim()).filter(Boolean);
    const out = `${errors.join('\n')}\n${configure.stderr}\n${configure.stdout}`;
    const found = CAUSES.map(([re, text]) => [out.match(re), text]).find(([m]) => m);
    process.stderr.write(errors.slice(0, 4).map((l) => `  CMake: ${l}\n`).join(''));
    const cause = found ? (typeof found[1] === 'function' ? found[1](found[0]) : found[1])
      : `CMake's configure step failed (log: ${path.join(dir, 'CMakeFiles', 'CMakeOutput.log')})`;
    throw new Expected(cause);
  }
  const jobs = String(os.availableParallelism ? os.availableParallelism() : os.cpus().length);
  say(`compiling (${jobs} jobs)${targets.length ? `: ${targets.join(', ')}` : ''}`);
  const targetArgs = targets.length ? ['--target', ...targets] : [];
  const build = cmake(['--build', dir, '--parallel', jobs, ...targetArgs], { stdio: 'inherit' });
  if (build.status !== 0) throw new Expected('the compiler failed (its messages are above)');
}

// npm's install step. A package inside node_modules keeps only the two
// binaries of a build from source, not CMake's intermediate files.
function install() {
  // The package installs everywhere; where nothing runs, there is nothing to build.
  if (!require('../lib/platform.js').supported()) {
    say(`${TARGET} is not supported (deskcap runs on macOS and Linux); nothing to build`);
    return;
  }
  const { prebuilt } = require('../lib/binding.js');
  const forced = /^(true|1)$/.test(process.env.npm_config_build_from_source || '');
  const found = ADDONS.map(prebuilt);
  if (forced) {
    say('building from source, as asked (--build-from-source)');
  } else if (found.every(Boolean)) {
    const check = spawnSync(process.execPath,
      ['-e', found.map((f) => `require(${JSON.stringify(f)})`).join(';')], { encoding: 'utf8' });
    const folder = path.relative(root, path.dirname(found[0]));
    if (check.status === 0) {
      say(`using the prebuilt binaries in ${folder}/; nothing to compile`);
      return;
    }
    const reason = (check.stderr.match(/Error: (.*)/) || [])[1] || `exit ${check.status}`;
    say(`the prebuilt binaries in ${folder}/ do not load here (${reason}); building from source`);
  } else {
    say(`no prebuilt binaries for ${TARGET}; building from source with CMake ` +
      '(a few minutes; `npm install --foreground-scripts` shows the progress)');
  }
  const dir = path.join(root, 'build');
  buildFromSource(dir, [], ADDONS);
  if (root.split(path.sep).includes('node_modules')) {
    for (const entry of fs.readdirSync(dir)) {
      if (!ADDONS.some((name) => entry === `${name}.node`)) {
        fs.rmSync(path.join(dir, entry), { recursive: true, force: true });
      }
    }
  }
  say(`built ${ADDONS.map((name) => `build/${name}.node`).join(' and ')}`);
}

// Product-only binaries, named as prebuildify names them (<name>[.<libc>].node)
// so that node-gyp-build's rules pick them. Nothing of DESKCAP_CMAKE_ARGS
// reaches them: a test or sanitizer flavour never ships. On Linux x64 both
// Linux architectures are built, arm64 with Debian's cross toolchain
// (`--arch x64` or `--arch arm64` builds one); elsewhere this machine's own.
const CROSS = { 'linux-arm64': { toolchain: 'cmake/toolchain-linux-arm64.cmake', strip: 'aarch64-linux-gnu-strip',
  compiler: 'aarch64-linux-gnu-g++', packages: 'g++-aarch64-linux-gnu zlib1g-dev:arm64' } };

function prebuildTargets() {
  const i = process.argv.indexOf('--arch');
  if (i >= 0) return [`${process.platform}-${process.argv[i + 1]}`];
  return TARGET === 'linux-x64' ? ['linux-x64', 'linux-arm64'] : [TARGET];
}

function prebuild(target) {
  const cross = target === TARGET ? null : CROSS[target];
  if (target !== TARGET && !cross) throw new Expected(`${target} cannot be built on ${TARGET}`);
  if (cross && spawnSync(cross.compiler, ['--version']).status !== 0) {
    throw new Expected(`the ${target} cross compiler ${cross.compiler} was not found ` +
      `(Debian: \`sudo apt-get install ${cross.packages}\`, after \`sudo dpkg --add-architecture arm64\`)`);
  }
  const dir = path.join(root, target === TARGET ? 'build-prebuild' : `build-prebuild-${target}`);
  const args = ['-DCMAKE_BUILD_TYPE=Release', '-DDESKCAP_TESTS=OFF', '-DDESKCAP_BENCH=OFF', '-DDESKCAP_SANITIZE=OFF'];
  if (process.platform === 'linux') args.push('-DDESKCAP_PREBUILD=ON');
  if (cross) args.push(`-DCMAKE_TOOLCHAIN_FILE=${path.join(root, cross.toolchain)}`);
  buildFromSource(dir, args, ADDONS);
  const folder = path.join(root, 'prebuilds', target);
  fs.mkdirSync(folder, { recursive: true });
  let libc = '';
  if (process.platform === 'linux') libc = fs.existsSync('/etc/alpine-release') ? '.musl' : '.glibc';
  for (const name of ADDONS) {
    for (const old of fs.readdirSync(folder)) {
      if (old.split('.')[0] === name) fs.rmSync(path.join(folder, old));
    }
    const dest = path.join(folder, `${name}${libc}.node`);
    fs.copyFileSync(path.join(dir, `${name}.node`), dest);
    const strip = spawnSync(cross ? cross.strip : 'strip',
      process.platform === 'darwin' ? ['-Sx', dest] : ['--strip-all', dest]);
    if (strip.status !== 0) say(`could not strip ${dest}; it is kept as built`);
    say(`wrote ${path.relative(root, dest)} (${fs.statSync(dest).size} bytes)`);
  }
}

try {
  if (process.argv.includes('--install')) install();
  else if (process.argv.includes('--prebuild')) prebuildTargets().forEach(prebuild);
  else {
    buildFromSource(path.resolve(root, process.env.DESKCAP_BUILD_DIR || 'build'),
      (process.env.DESKCAP_CMAKE_ARGS || '').split(/\s+/).filter(Boolean));
  }
} catch (e) {
  if (!(e instanceof Expected)) throw e;
  say(`cannot build from source: ${e.message}. ${INSTALL_HINT}`);
  process.exit(1);
}
