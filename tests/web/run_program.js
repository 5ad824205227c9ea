// Runs one program of the WebAssembly build in a page as a command line
// would: with arguments, its standard output and error collected, and the
// files it wrote readable afterwards. The page then shows the outcome in
// #output and in document.body.dataset.state ('running', 'done' or
// 'failed'), and keeps it in window.programResult for the browser tests:
//   { exitCode, stdout, stderr, files: {path: text}, seconds }
'use strict';

function runProgram(name, args, filesToRead) {
  const output = document.getElementById('output');
  const result = { exitCode: null, stdout: '', stderr: '', files: {}, seconds: 0 };
  window.programResult = result;
  document.body.dataset.state = 'running';
  let started = 0;
  const finish = (exitCode) => {
    result.seconds = (performance.now() - started) / 1000;
    result.exitCode = exitCode;
    for (const path of filesToRead) {
      try {
        result.files[path] = Module.FS.readFile(path, { encoding: 'utf8' });
      } catch (error) {
        result.files[path] = null;
      }
    }
    output.textContent = `${name} ${args.join(' ')}\nexit code ${exitCode} after ${result.seconds.toFixed(2)} s\n\n` +
      result.stderr + '\n' + result.stdout;
    document.body.dataset.state = exitCode === 0 ? 'done' : 'failed';
  };
  window.Module = {
    print: (text) => { result.stdout += text + '\n'; },
    printErr: (text) => { result.stderr += text + '\n'; },
    onRuntimeInitialized() {
      output.textContent = `running ${name} ${args.join(' ')}\u2026`;
      started = performance.now();
      Module.callMain(args);
    },
    onExit: finish,
    onAbort: (what) => { result.stderr += 'aborted: ' + what + '\n'; finish(-1); },
  };
  if (!window.crossOriginIsolated) {
    output.textContent = 'Needs the headers Cross-Origin-Opener-Policy: same-origin and ' +
      'Cross-Origin-Embedder-Policy: require-corp.';
    document.body.dataset.state = 'failed';
    return;
  }
  const script = document.createElement('script');
  script.src = name + '.js';
  script.onerror = () => { output.textContent = 'Could not load ' + script.src; document.body.dataset.state = 'failed'; };
  document.body.appendChild(script);
}

// The program's arguments from the page's address: ?args=a,b,c (each
// argument URI-encoded), or the default.
function argumentsFromAddress(fallback) {
  const given = new URLSearchParams(location.search).get('args');
  return given === null ? fallback : given.split(',').filter((a) => a !== '').map(decodeURIComponent);
}
