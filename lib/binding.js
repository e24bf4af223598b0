'use strict';
// Finds and loads one of the package's two addons. A build from source
// (build/, or DESKCAP_BUILD_DIR when set) wins; otherwise the prebuilt binary
// for this platform, chosen by node-gyp-build's own rules for prebuilds/
// (platform-arch folders, libc and runtime tags) among the files named for
// the addon, since node-gyp-build itself takes one addon per folder.
const fs = require('fs');
const path = require('path');
const gyp = require('node-gyp-build/node-gyp-build.js');

const root = path.join(__dirname, '..');
const SOURCE_BUILD = '(a build from source needs CMake and a C++ compiler; README.md, ' +
  '"Install", lists the packages)';

function list(dir) {
  try {
    return fs.readdirSync(dir);
  } catch {
    return [];
  }
}

// The best prebuild of `name` for this process, or null.
function prebuilt(name) {
  const dir = path.join(root, 'prebuilds');
  const tuple = list(dir).map(gyp.parseTuple)
    .filter(gyp.matchTuple(process.platform, process.arch)).sort(gyp.compareTuples)[0];
  if (!tuple) return null;
  const runtime = process.versions.electron ? 'electron' : 'node';
  const folder = path.join(dir, tuple.name);
  const best = list(folder).filter((file) => file.split('.')[0] === name).map(gyp.parseTags)
    .filter(gyp.matchTags(runtime, process.versions.modules)).sort(gyp.compareTags(runtime))[0];
  return best ? path.join(folder, best.file) : null;
}

function fail(message, code, cause) {
  const error = new Error(message, cause ? { cause } : undefined);
  error.code = code;
  return error;
}

// Where `name`.node is looked for, in order; the first that exists is loaded.
function candidates(name) {
  if (process.env.DESKCAP_BUILD_DIR) {
    return [path.resolve(root, process.env.DESKCAP_BUILD_DIR, `${name}.node`)];
  }
  return [path.join(root, 'build', `${name}.node`), prebuilt(name)].filter(Boolean);
}

function load(name) {
  const looked = candidates(name);
  const file = looked.find((f) => fs.existsSync(f));
  if (!file) {
    const where = looked.slice(0, 1).concat(process.env.DESKCAP_BUILD_DIR ? [] :
      [path.join(root, 'prebuilds', `${process.platform}-${process.arch}`, `${name}*.node`)]);
    throw fail(`deskcap: no ${name}.node for ${process.platform}-${process.arch} ` +
      `(Node ${process.versions.node}). Looked for:\n  ${where.join('\n  ')}\nRun ` +
      `\`npm rebuild deskcap\`: it takes a prebuilt binary that fits, or builds one ${SOURCE_BUILD}. ` +
      'Where npm skips install scripts, allow this one first: `npm install-scripts approve deskcap`.',
    'MODULE_NOT_FOUND');
  }
  try {
    return require(file);
  } catch (e) {
    // Only a binary the loader could not map is a build problem; an Error the
    // addon itself threw while registering (it carries a status code) is not.
    if (e.code !== 'ERR_DLOPEN_FAILED' && e.code !== undefined) throw e;
    throw fail(`deskcap: cannot load ${file}: ${e.message}\n${advice(file, e.message)}`,
      e.code || 'ERR_DLOPEN_FAILED', e);
  }
}

// What to do about a binary the loader refused, from the loader's message.
function advice(file, message) {
  const rebuild = `\`npm rebuild deskcap --build-from-source\` ${SOURCE_BUILD}`;
  // glibc names a missing dependency as it is linked; the binary itself, by
  // its path, when its ELF header is for another machine.
  const missing = message.match(/([^\s:]+): cannot open shared object file/) ||
    message.match(/Library not loaded: (\S+)/);
  if (missing && path.basename(missing[1]) !== path.basename(file)) {
    return `It needs the system library ${path.basename(missing[1])}, which is not installed: install ` +
      'the package that provides it (README.md, "Install", lists what the binaries need at run time). ' +
      'Rebuilding deskcap does not help.';
  }
  const old = message.match(/version `((GLIBCXX|CXXABI|GLIBC)_[\d.]+)' not found/);
  if (old) {
    const runtime = old[2] === 'GLIBC' ? 'C library (glibc)' : 'C++ runtime (libstdc++)';
    return `The system's ${runtime} is older than this binary needs (it lacks ${old[1]}). ` +
      `Build one for this system with ${rebuild}, or use a newer system.`;
  }
  return `It was built for another platform, architecture or system library. Rebuild it with ${rebuild}.`;
}

module.exports = { load, prebuilt };
