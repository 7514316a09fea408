// The programs under test: morvelplint-web in a folder of its own, and morvelplint-rack (the
// simulated serial card on a pseudo-terminal) with the log of every byte its card takes.
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const readline = require('readline');

const build = path.resolve(__dirname, '../../build/app');
const webProgram = process.env.MORVELPLINT_WEB || path.join(build, 'morvelplint-web');
const rackProgram = process.env.MORVELPLINT_RACK || path.join(build, 'morvelplint-rack');

// A program of the build, started through the emulator when the build is for another machine.
function run(program, args, options) {
  const emulator = process.env.MORVELPLINT_EMULATOR;
  return emulator ? spawn(emulator, [program].concat(args), options) : spawn(program, args, options);
}

// A folder of its own under the system's temporary folder, removed when the tests end.
const folders = [];
process.on('exit', () => {
  for (const dir of folders) fs.rmSync(dir, { recursive: true, force: true });
});
function folder() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'morvelplint-web-'));
  folders.push(dir);
  return dir;
}

// The first line of a child's standard output that `match` accepts.
function firstLine(child, match, what) {
  return new Promise((resolve, reject) => {
    const lines = readline.createInterface({ input: child.stdout });
    const timer = setTimeout(() => reject(new Error(what + ' printed nothing in time')), 15000);
    lines.on('line', (line) => {
      if (match(line)) {
        clearTimeout(timer);
        resolve(line);
      }
    });
    child.on('exit', (code) => reject(new Error(what + ' ended with ' + code)));
  });
}

function stopped(child, signal) {
  return new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) {
      resolve(child.exitCode);
      return;
    }
    child.on('exit', (code) => resolve(code));
    child.kill(signal || 'SIGINT');
  });
}

// morvelplint-rack on a new pseudo-terminal: `Received()` is every byte its card took.
async function startRack(options = {}) {
  const dir = folder();
  const log = path.join(dir, 'rack.log');
  const args = ['--log', log].concat(options.rack ? ['--rack', options.rack] : []);
  const child = run(rackProgram, args, { stdio: ['ignore', 'pipe', 'pipe'] });
  const pty = await firstLine(child, (line) => line.startsWith('/dev/'), 'morvelplint-rack');
  return {
    pty,
    received() {
      if (!fs.existsSync(log)) return [];
      return fs.readFileSync(log, 'utf8').split('\n').filter((l) => l).map((l) => parseInt(l, 16));
    },
    stop: () => stopped(child, 'SIGTERM'),
  };
}

// morvelplint-web in a folder of its own (with `ini` as its Morvelplint.ini when given), on a
// port of the system's choosing.
async function startWeb(options = {}) {
  const dir = options.dir || folder();
  if (options.ini) fs.writeFileSync(path.join(dir, 'Morvelplint.ini'), options.ini);
  const args = (options.args || ['--sim']).concat(['--listen', options.listen || '127.0.0.1:0']);
  const env = Object.assign({}, process.env, options.env || {});
  const child = run(webProgram, args, { cwd: dir, env, stdio: ['ignore', 'pipe', 'pipe'] });
  let errors = '';
  let output = '';
  child.stderr.on('data', (data) => { errors += data; });
  child.stdout.on('data', (data) => { output += data; });
  const line = await firstLine(child, (l) => l.includes('http://'), 'morvelplint-web');
  const url = line.slice(line.indexOf('http://'));
  // The rest of what it printed (the watch-only address after the first) is there at once.
  await new Promise((resolve) => setTimeout(resolve, 100));
  return { url, dir, child, errors: () => errors, output: () => output, stop: () => stopped(child, 'SIGINT') };
}

// A settings file that names the serial card's port.
function iniFor(port, options = {}) {
  const lines = ['[ZELM]', 'Methode= ' + (options.parallel ? 'Parallel' : 'Serieel'),
    'Poort= ' + port, 'Clock= 200', 'Stop= False', 'Timeout= True', 'Kortsluit= False',
    'Baudrate= ' + (options.baud19200 ? '19200' : '9600'), 'Test= False', 'Tijd= ' + (options.tijd || 400), ''];
  return lines.join('\r\n') + '\r\n';
}

// The 192 words of the connection set-up.
function initialisation() {
  const words = [];
  for (let place = 0; place < 64; ++place) words.push(0x80 + place, 0x60, 0x40);
  return words;
}

// Until `read()` (a count) gives the same for three looks `ms` apart: what was on its way is in.
async function steady(read, ms = 50) {
  for (let count = -1, alike = 0; alike < 3;) {
    await new Promise((resolve) => setTimeout(resolve, ms));
    const now = await read();
    alike = now === count ? alike + 1 : 0;
    count = now;
  }
}

// After a test that failed: what the program printed (its log names a failed set-up, a lost
// line), for the report.
function tellOnFailure(testInfo, web) {
  if (web && testInfo.status !== testInfo.expectedStatus)
    console.log('morvelplint-web printed:\n' + web.output() + web.errors());
}

module.exports = { startRack, startWeb, iniFor, initialisation, folder, steady, tellOnFailure };
