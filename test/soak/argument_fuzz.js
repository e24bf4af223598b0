'use strict';
// Calls every export of an addon with random arguments (every JavaScript type,
// throwing getters, Proxies, huge and sparse arrays, NUL, lone surrogates). Each
// call returns (a Promise must settle with a value or an Error with a `code`) or
// throws the caller's own exception, an Error with a `code`, or V8's TypeError
// for a property of null. In a child, so that a crash is counted, with its
// address space limited (except under ASan), so that caller-sized allocations fail.
const path = require('path');
const { root, childOutcome, lastJson } = require('../js/helpers/child');

const WORLD = require('./small_world');

// The child: `calls` calls from a PRNG seeded with `seed`.
function childSource(addon, calls, seed) {
  return `
    const d = require(${JSON.stringify(path.join(root, addon))});
    let state = ${seed} >>> 0;  // a linear congruential generator: repeatable, good enough to pick with
    const random = () => (state = (Math.imul(state, 1664525) + 1013904223) >>> 0) / 4294967296;
    const pick = (list) => list[Math.floor(random() * list.length)];
    const SENTINEL = { thrownByTheCaller: true };
    const thrower = () => { throw SENTINEL; };

    const PRIMITIVES = [undefined, null, true, false, 0, -0, 1, -1, 1.5, 5, NaN, Infinity, -Infinity,
      2 ** 31, 2 ** 32 - 1, 2 ** 32, 2 ** 53, -(2 ** 31), Number.MAX_VALUE, Number.MIN_VALUE, 10n, -(2n ** 64n),
      '', 'abc', '5', 'a\\0b', '\\0', '\\uD800', 'x\\uDC00y', 'é漢😀', 'x'.repeat(100000), Symbol('s'),
      'com.apple.Safari'];

    function array(depth) {
      switch (Math.floor(random() * 10)) {
        case 0: return Array.from({ length: Math.floor(random() * 20) }, () => Math.floor(random() * 2 ** 32));
        case 1: case 2: { const a = [1, 2]; a.length = pick([2 ** 32 - 1, 2 ** 31, 1e6, 3]); return a; }
        case 3: return new Array(pick([0, 1, 1e5]));
        case 4: return [1, , 3];
        case 5: return [1, value(depth + 1), 3];
        case 6: { const a = [1, 2, 3]; Object.defineProperty(a, 1, { get: thrower }); return a; }
        case 7: return new Proxy([1, 2, 3], { get: pick([thrower, (t, k) => t[k], () => 2 ** 32 - 1]) });
        case 8: return Object.assign([1, 2], { extra: 'x' });
        default: return Array.from({ length: 3 }, () => value(depth + 1));
      }
    }

    function options(depth) {
      const o = {};
      if (random() < 0.9) o.displayId = random() < 0.6 ? pick([1, 2, 5]) : value(depth + 1);
      if (random() < 0.6) o.excludeWindowIds = random() < 0.8 ? array(depth + 1) : value(depth + 1);
      if (random() < 0.5) {
        o.cropBounds = random() < 0.7
          ? { x: pick([0, 5, -3, 1.5, NaN]), y: pick([0, 7, 1e9]), width: pick([10, 0, -1, Infinity]), height: value(depth + 1) }
          : value(depth + 1);
      }
      output(o, depth);
      if (random() < 0.1) Object.defineProperty(o, pick(['displayId', 'excludeWindowIds', 'cropBounds', 'format', 'maxWidth']), { get: thrower });
      return o;
    }

    // The output options, good and bad, set on o.
    function output(o, depth) {
      if (random() < 0.4) o.format = random() < 0.7 ? pick(['png', 'jpeg', 'raw', 'gif', '']) : value(depth + 1);
      if (random() < 0.3) o.quality = random() < 0.7 ? pick([1, 80, 100, 0, 101, 50.5, NaN]) : value(depth + 1);
      for (const key of ['maxWidth', 'maxHeight']) {
        if (random() < 0.3) o[key] = random() < 0.7 ? pick([1, 7, 1280, 2 ** 32, 2 ** 53, 0, -1, 0.5, Infinity]) : value(depth + 1);
      }
      if (random() < 0.2) o.showCursor = random() < 0.7 ? pick([true, false]) : value(depth + 1);
      return o;
    }

    function value(depth = 0) {
      if (depth > 3) return pick(PRIMITIVES);
      switch (Math.floor(random() * 12)) {
        case 0: case 1: case 2: return pick(PRIMITIVES);
        case 3: case 4: return options(depth);
        case 5: return array(depth);
        case 6: return new Proxy({}, pick([{ get: thrower }, { has: thrower, ownKeys: thrower }, {},
                                           { get: (t, k) => (k === 'displayId' ? 1 : undefined) }]));
        case 7: return Object.defineProperty({}, 'x', { get: thrower, enumerable: true });
        case 8: return pick([() => 1, function named() {}, class K {}]);
        case 9: return pick([new Date(0), Buffer.alloc(4), new Uint32Array([1, 2]), new Map(), Object.create(null),
                             Object.freeze({ displayId: 1 }), /re/, new Error('x'), Promise.resolve(1)]);
        case 10: return Math.floor(random() * 2 ** 32) - 2 ** 31;
        default: return 'u' + Math.floor(random() * 1000) + pick(['', '\\0', '\\uD83D']);
      }
    }

    const names = Object.keys(d).sort();
    const problems = [];
    const pending = [];
    // The guard's text means a C++ exception escaped the conversions: a fault
    // even though the process survived it.
    const fine = (name, e) => e === SENTINEL || e instanceof TypeError ||
      (e instanceof Error && typeof e.code === 'string' && typeof e.message === 'string' && e.message !== '' &&
       !e.message.startsWith(name + ' failed: '));
    const describe = (e) => (e instanceof Error ? e.constructor.name + ' ' + e.code + ' ' + e.message : String(e));
    for (let i = 0; i < ${calls}; i++) {
      const name = pick(names);
      const args = Array.from({ length: Math.floor(random() * 3) }, () => value());
      // Mostly a first argument of about the right shape, to get past the first check.
      if (random() < 0.7) args[0] = ['captureDisplay', 'startCapture'].includes(name) ? options(0) : pick([value(), pick([1, 5]), 'com.apple.Safari']);
      if (name === 'captureWindow' && random() < 0.6) args[1] = random() < 0.8 ? output({}, 0) : value();
      try {
        const out = d[name](...args);
        if (out instanceof Promise) pending.push(out.then(() => {}, (e) => {
          if (!(e instanceof Error && typeof e.code === 'string')) problems.push(name + ' rejected with ' + describe(e));
        }));
        // A running stream keeps the process alive until stopped.
        if (name === 'startCapture') pending.push(out.stop());
      } catch (e) {
        if (!fine(name, e)) problems.push(name + ' threw ' + describe(e));
      }
    }
    Promise.all(pending).then(() => console.log(JSON.stringify({ calls: ${calls}, problems: problems.slice(0, 5), bad: problems.length })));
  `;
}

// `children` children of `calls` calls each; a child that crashed, hung or printed
// a sanitizer report fails all its calls. Answers { runs, failures, notes }.
async function fuzzArguments(addon, { children = 1, calls = 500, seed = Date.now() } = {}) {
  const result = { runs: 0, failures: 0, notes: [] };
  for (let c = 0; c < children; c++) {
    const childSeed = (seed + c * 7919) >>> 0;
    const r = await childOutcome(childSource(addon, calls, childSeed), {
      world: WORLD, timeout: 300000, shell: /asan/.test(process.env.LD_PRELOAD || '') ? undefined : 'ulimit -v 12000000',
    });
    result.runs += calls;
    const out = r.failure ? { bad: calls, problems: [r.failure] } : lastJson(r);
    result.failures += out.bad;
    if (out.bad) result.notes.push(`seed ${childSeed}: ${out.problems.join('; ')}`);
  }
  return result;
}

module.exports = { fuzzArguments };
