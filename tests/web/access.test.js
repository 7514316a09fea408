// The access rules through the real server, each refusal with its status: on the loopback a
// Host of another name, elsewhere a missing or wrong token, and everywhere a WebSocket or a
// change without the page's own Origin, a change that is no JSON, a body too large, a path
// that is none of the page's files, a page beyond sixteen; and requests that HTTP does not
// allow, by hand.
const { test, expect } = require('@playwright/test');
const http = require('http');
const net = require('net');
const { startWeb } = require('./morvelplint');

function request(url, options = {}) {
  return new Promise((resolve, reject) => {
    const target = new URL(url);
    const headers = Object.assign({}, options.headers || {});
    if (options.body) headers['Content-Length'] = Buffer.byteLength(options.body);
    const req = http.request({
      host: target.hostname, port: target.port, path: target.pathname + target.search,
      method: options.method || 'GET', headers,
    }, (res) => {
      res.resume();
      res.on('end', () => resolve(res));
    });
    req.on('error', reject);
    if (options.body) req.write(options.body);
    req.end();
  });
}

// The page's own WebSocket asked for by hand: the status of the answer, and the socket.
function upgraded(base) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(Number(base.port), '127.0.0.1', () => {
      socket.write('GET /ws HTTP/1.1\r\nHost: ' + base.host + '\r\nOrigin: ' + base.origin +
        '\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n' +
        'Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n');
    });
    let text = '';
    socket.on('data', (data) => {
      text += data.toString('latin1');
      if (text.includes('\r\n\r\n')) {
        socket.removeAllListeners('data');
        resolve({ status: parseInt(text.split(' ')[1], 10), socket });
      }
    });
    socket.on('error', reject);
  });
}

// What zbarimg reads in an image.
function zbar(image) {
  const fs = require('fs');
  const os = require('os');
  const path = require('path');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'morvelplint-qr-'));
  try {
    const file = path.join(dir, 'code.' + (Buffer.isBuffer(image) ? 'png' : 'pbm'));
    fs.writeFileSync(file, image);
    const read = require('child_process').spawnSync('zbarimg', ['-q', '--raw', file], { encoding: 'utf8', timeout: 15000 });
    return read.stdout.trim();
  } finally {
    fs.rmSync(dir, { recursive: true, force: true });
  }
}

// A code in the terminal's half blocks (light modules as blocks) read back through an image.
function decode(lines) {
  const rows = [];
  for (const line of lines) {
    const top = [];
    const bottom = [];
    for (const c of line) {
      top.push(c === '\u2588' || c === '\u2580' ? 0 : 1);
      bottom.push(c === '\u2588' || c === '\u2584' ? 0 : 1);
    }
    rows.push(top, bottom);
  }
  const scale = 4;
  let pbm = 'P1\n' + rows[0].length * scale + ' ' + rows.length * scale + '\n';
  for (const row of rows) {
    const wide = row.flatMap((bit) => Array(scale).fill(bit)).join(' ') + '\n';
    pbm += wide.repeat(scale);
  }
  return zbar(pbm);
}

const upgrade = { Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Version': '13',
  'Sec-WebSocket-Key': 'dGhlIHNhbXBsZSBub25jZQ==' };

test('on the loopback', async () => {
  const web = await startWeb();
  try {
    const base = new URL(web.url);
    expect((await request(web.url)).statusCode).toBe(200);
    expect((await request(web.url, { headers: { Host: 'rebound.example:' + base.port } })).statusCode).toBe(403);
    expect((await request(base.origin + '/../etc/passwd')).statusCode).toBe(404);
    expect((await request(base.origin + '/qr/view.svg')).statusCode).toBe(404);
    expect((await request(base.origin + '/ws', { headers: upgrade })).statusCode).toBe(403);
    const origin = { Origin: base.origin, Host: base.host };
    expect((await request(base.origin + '/x', { method: 'POST', body: '{}',
      headers: { 'Content-Type': 'application/json' } })).statusCode).toBe(403);
    expect((await request(base.origin + '/x', { method: 'POST', body: 'a=1',
      headers: Object.assign({ 'Content-Type': 'application/x-www-form-urlencoded' }, origin) })).statusCode).toBe(415);
    expect((await request(base.origin + '/x', { method: 'POST', body: 'x'.repeat(70000),
      headers: Object.assign({ 'Content-Type': 'application/json' }, origin) })).statusCode).toBe(413);
    expect((await request(base.origin + '/x', { method: 'POST', body: '{}',
      headers: Object.assign({ 'Content-Type': 'application/json' }, origin) })).statusCode).toBe(405);

    // Sixteen pages at once are served, the seventeenth is refused; connections that send
    // nothing lock nobody out.
    const held = [];
    for (let i = 0; i < 32; ++i) {
      held.push(await new Promise((resolve) => {
        const socket = net.connect(Number(base.port), '127.0.0.1', () => resolve(socket));
      }));
    }
    await new Promise((r) => setTimeout(r, 200));
    expect((await request(web.url)).statusCode).toBe(200);
    const pages = [];
    for (let i = 0; i < 16; ++i) pages.push(await upgraded(base));
    expect(pages.every((page) => page.status === 101)).toBe(true);
    const seventeenth = await upgraded(base);
    expect(seventeenth.status).toBe(503);
    pages.concat([seventeenth]).forEach((page) => page.socket.destroy());
    held.forEach((socket) => socket.destroy());
    await expect.poll(async () => (await upgraded(base)).status).toBe(101);
  } finally {
    await web.stop();
  }
});

// Bytes sent by hand on one connection, and everything that comes back until the server
// closes it (or a second passes in silence).
function exchange(base, bytes) {
  return new Promise((resolve, reject) => {
    const socket = net.connect(Number(base.port), '127.0.0.1', () => socket.write(bytes));
    let text = '';
    let timer;
    const done = () => { clearTimeout(timer); socket.destroy(); resolve(text); };
    const quiet = () => { clearTimeout(timer); timer = setTimeout(done, 1000); };
    quiet();
    socket.on('data', (data) => { text += data.toString('latin1'); quiet(); });
    socket.on('end', done);
    socket.on('error', reject);
  });
}

const statuses = (text) => (text.match(/HTTP\/1\.1 \d+/g) || []).map((line) => parseInt(line.slice(9), 10));

test('requests as HTTP has them', async () => {
  const web = await startWeb();
  try {
    const base = new URL(web.url);
    const host = 'Host: ' + base.host + '\r\n';
    const smuggled = 'GET /app.js HTTP/1.1\r\n' + host + '\r\n';
    // A body where none belongs, or of a length given in a way not taken, is refused and
    // never read as a request of its own.
    expect(statuses(await exchange(base, 'GET / HTTP/1.1\r\n' + host + 'Content-Length: ' +
      smuggled.length + '\r\n\r\n' + smuggled))).toEqual([400]);
    expect(statuses(await exchange(base, 'GET / HTTP/1.1\r\n' + host +
      'Transfer-Encoding: chunked, gzip\r\n\r\n' + smuggled))).toEqual([400]);
    expect(statuses(await exchange(base, 'POST /x HTTP/1.1\r\n' + host +
      'Transfer-Encoding: gzip\r\nContent-Type: application/json\r\nOrigin: ' + base.origin +
      '\r\n\r\n' + smuggled))).toEqual([400]);
    expect(statuses(await exchange(base, 'GET / HTTP/1.1\r\n' + host + 'Content-Length: 3\r\n' +
      'Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n'))).toEqual([400]);
    // Malformed, and a second Host or Origin.
    expect(statuses(await exchange(base, 'GET / HTTP/1.1\r\nHost ' + base.host + '\r\n\r\n'))).toEqual([400]);
    expect(statuses(await exchange(base, 'GET / HTTP/1.1\r\n' + host + 'Host: rebound.example\r\n\r\n'))).toEqual([400]);
    expect(statuses(await exchange(base, 'GET /ws HTTP/1.1\r\n' + host + 'Origin: ' + base.origin +
      '\r\nOrigin: http://rebound.example\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n' +
      'Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n'))).toEqual([400]);
    // Two requests in one write are two answers.
    expect(statuses(await exchange(base, smuggled + 'GET / HTTP/1.1\r\n' + host +
      'Connection: close\r\n\r\n'))).toEqual([200, 200]);

    // A command sent in the same write as the upgrade reaches the page's WebSocket.
    const command = Buffer.from('{"cmd":"nonsense"}');
    const mask = Buffer.from([1, 2, 3, 4]);
    const frame = Buffer.concat([Buffer.from([0x81, 0x80 | command.length]), mask,
      Buffer.from(command.map((byte, i) => byte ^ mask[i % 4]))]);
    const answer = await exchange(base, Buffer.concat([Buffer.from('GET /ws HTTP/1.1\r\n' + host +
      'Origin: ' + base.origin + '\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n' +
      'Sec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n'), frame]));
    expect(statuses(answer)).toEqual([101]);
    expect(answer).toContain('"type":"refused"');
  } finally {
    await web.stop();
  }
});

test('on another address, with the tokens', async ({ browser }) => {
  const web = await startWeb({ listen: '127.0.0.2:0' });
  try {
    const url = new URL(web.url);
    const token = url.searchParams.get('token');
    expect(token).toMatch(/^[0-9a-f]{32}$/);
    expect((await request(url.origin + '/')).statusCode).toBe(401);
    expect((await request(url.origin + '/app.js')).statusCode).toBe(401);
    expect((await request(url.origin + '/?token=' + '0'.repeat(32))).statusCode).toBe(401);
    const first = await request(web.url);
    expect(first.statusCode).toBe(200);
    expect(first.headers['set-cookie'][0]).toBe('morvelplint=' + token + '; HttpOnly; SameSite=Strict; Path=/');

    // The page drives with the token, watches with the view token.
    const driver = await browser.newPage();
    await driver.goto(web.url);
    await expect(driver.getByText('U bestuurt het rek.')).toBeVisible();
    const viewUrl = web.output().split('\n').find((line) => line.includes('?view='));
    const viewer = await (await browser.newContext()).newPage();
    await viewer.goto(viewUrl.slice(viewUrl.indexOf('http://')));
    await expect(viewer.getByText('U kijkt mee: een andere pagina bestuurt het rek.')).toBeVisible();
    await expect(viewer.getByRole('button', { name: 'Overnemen' })).toBeHidden();

    // The code printed after the addresses is the first address; the page's code, made by the
    // server, the view-only one.
    const blocks = web.output().split('\n').filter((line) => /^[\u2588\u2580\u2584 ]+$/.test(line) && line.includes('\u2588'));
    expect(blocks.length).toBeGreaterThan(10);
    expect(decode(blocks)).toBe(web.url);
    await driver.getByRole('button', { name: 'Laat meekijken' }).click();
    await expect(driver.locator('#meekijkbeeld')).toBeVisible();
    await expect.poll(() => driver.locator('#meekijkbeeld').evaluate((image) => image.complete && image.naturalWidth)).toBeGreaterThan(0);
    expect(zbar(await driver.locator('#meekijkbeeld').screenshot())).toBe(viewUrl.slice(viewUrl.indexOf('http://')));
  } finally {
    await web.stop();
  }
});

test('the key survives a restart, --new-key makes a new one, a damaged key file is refused', async () => {
  const fs = require('fs');
  const path = require('path');
  const first = await startWeb({ listen: '127.0.0.2:0' });
  const dir = first.dir;
  const token = new URL(first.url).searchParams.get('token');
  await first.stop();
  expect((fs.statSync(path.join(dir, 'Morvelplint.key')).mode & 0o777).toString(8)).toBe('600');

  const again = await startWeb({ listen: '127.0.0.2:0', dir });
  try {
    expect(new URL(again.url).searchParams.get('token')).toBe(token);
    expect((await request(again.url)).statusCode).toBe(200);
  } finally {
    await again.stop();
  }

  const renewed = await startWeb({ listen: '127.0.0.2:0', dir, args: ['--sim', '--new-key'] });
  try {
    expect(renewed.output()).toContain('bladwijzers van eerder werken niet meer');
    const url = new URL(renewed.url);
    expect(url.searchParams.get('token')).not.toBe(token);
    expect((await request(url.origin + '/?token=' + token)).statusCode).toBe(401);
    expect((await request(renewed.url)).statusCode).toBe(200);
  } finally {
    await renewed.stop();
  }

  fs.writeFileSync(path.join(dir, 'Morvelplint.key'), 'token=' + token + '\n');
  const { spawnSync } = require('child_process');
  const program = process.env.MORVELPLINT_WEB || path.resolve(__dirname, '../../build/app/morvelplint-web');
  const emulator = process.env.MORVELPLINT_EMULATOR;
  const refused = spawnSync(emulator || program, (emulator ? [program] : []).concat(['--sim', '--listen', '127.0.0.2:0']),
    { cwd: dir, encoding: 'utf8', timeout: 15000 });
  expect(refused.status).toBe(1);
  expect(refused.stdout).not.toContain('http://');
  expect(refused.stderr).toContain('het sleutelbestand ' + path.join(fs.realpathSync(dir), 'Morvelplint.key') + ' is beschadigd');
  expect(fs.readFileSync(path.join(dir, 'Morvelplint.key'), 'utf8')).toBe('token=' + token + '\n');
});
