#!/usr/bin/env python3
"""Applies each mutant of mutants.txt to a private copy of the tree, rebuilds it
and runs the test suite; a mutant is killed when any test fails or hangs."""
import os, re, shutil, signal, subprocess, sys, time

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..'))
WORK = os.environ.get('DESKCAP_MUTANTS_DIR', '/tmp/deskcap-mutants')
TIMEOUT = int(os.environ.get('DESKCAP_MUTANT_TIMEOUT', '600'))


def parse(path):
    mutants, cur = [], None
    for line in open(path, encoding='utf-8'):
        line = line.rstrip('\n')
        if line.startswith('@ '):
            file, _, what = line[2:].partition(' ')
            cur = {'file': file, 'what': what, 'old': None, 'new': None}
            mutants.append(cur)
        elif line.startswith('- ') and cur:
            cur['old'] = line[2:]
        elif line.startswith('+ ') and cur:
            cur['new'] = line[2:]
    return mutants


def run(cmd, cwd, timeout=None, env=None):
    # A session of its own, so that a hung suite goes with every process it started.
    p = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env,
                         start_new_session=True)
    try:
        return p.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(p.pid, signal.SIGKILL)
        p.wait()
        return 'timeout'


def main():
    wanted = sys.argv[1] if len(sys.argv) > 1 else ''
    mutants = [m for m in parse(os.path.join(ROOT, 'test/mutants/mutants.txt'))
               if wanted in m['file'] or wanted in m['what']]
    bad = [m for m in mutants
           if m['old'] is None or m['new'] is None
           or open(os.path.join(ROOT, m['file']), encoding='utf-8').read().count(m['old']) != 1]
    for m in bad:
        print(f"mutant does not apply (its text must occur once): {m['file']}: {m['what']}")
    if bad:
        return 2

    # A private copy, so that an interrupted run never leaves a fault in the tree.
    tree = os.path.join(WORK, 'tree')
    os.makedirs(tree, exist_ok=True)
    files = subprocess.run(['git', 'ls-files', '-z'], cwd=ROOT, capture_output=True,
                           check=True).stdout.decode().split('\0')
    for f in filter(None, files):
        src, dst = os.path.join(ROOT, f), os.path.join(tree, f)
        if not os.path.isfile(src):
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        if not os.path.exists(dst) or open(src, 'rb').read() != open(dst, 'rb').read():
            shutil.copy2(src, dst)
    # Files the repository no longer has would still be globbed by CMake.
    tracked = set(filter(None, files))
    for dirpath, dirnames, filenames in os.walk(tree):
        rel = os.path.relpath(dirpath, tree)
        if rel == '.':
            dirnames[:] = [d for d in dirnames if d not in ('build', 'node_modules', '.git')]
        for name in filenames:
            path = os.path.normpath(os.path.join(rel, name))
            if path not in tracked:
                os.remove(os.path.join(dirpath, name))
    if not os.path.exists(os.path.join(tree, 'node_modules')):
        os.symlink(os.path.join(ROOT, 'node_modules'), os.path.join(tree, 'node_modules'))

    configure = ['cmake', '-S', '.', '-B', 'build', '-DCMAKE_BUILD_TYPE=Release', '-DDESKCAP_TESTS=ON']
    make = ['cmake', '--build', 'build', '--parallel', str(os.cpu_count() or 2)]
    ctest = ['ctest', '--test-dir', 'build', '-j2', '--stop-on-failure', '--timeout', '120']
    jstest = ['node', '--test', 'test/js/']
    if run(configure, tree) != 0 or run(make, tree) != 0:
        print('the unmutated tree does not build')
        return 2
    if run(ctest, tree, TIMEOUT) != 0 or run(jstest, tree, TIMEOUT) != 0:
        print('the unmutated tree fails its tests')
        return 2

    killed = 0
    for i, m in enumerate(mutants, 1):
        path = os.path.join(tree, m['file'])
        original = open(path, encoding='utf-8').read()
        start = time.time()
        try:
            open(path, 'w', encoding='utf-8').write(original.replace(m['old'], m['new']))
            if run(make, tree) != 0:
                verdict = 'killed (does not build)'
            elif run(ctest, tree, TIMEOUT) != 0:
                verdict = 'killed (C++ tests)'
            elif run(jstest, tree, TIMEOUT) != 0:
                verdict = 'killed (JavaScript tests)'
            else:
                verdict = 'SURVIVED'
        finally:
            open(path, 'w', encoding='utf-8').write(original)
        killed += verdict.startswith('killed')
        print(f"[{i}/{len(mutants)}] {verdict:26} {m['file']}: {m['what']} ({time.time() - start:.0f} s)",
              flush=True)
    run(make, tree)
    print(f'{killed} of {len(mutants)} mutants killed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
