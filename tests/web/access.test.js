// The access rules through the real server, each refusal with its status: on the loopback a
// Host of another name, elsewhere a missing or wrong token, and everywhere a WebSocket or a
// change without the page's own Origin, a change that is no JSON, a body too large, a path
// that is none of the page's files, a connection beyond sixteen.
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

const upgrade = { Connection: 'Upgrade', Upgrade: 'websocket', 'Sec-WebSocket-Version': '13',
  'Sec-WebSocket-Key': 'dGhlIHNhbXBsZSBub25jZQ==' };

test('on the loopback', async () => {
  const web = await startWeb();
  try {
    const base = new URL(web.url);
    expect((await request(web.url)).statusCode).toBe(200);
    expect((await request(web.url, { headers: { Host: 'rebound.example:' + base.port } })).statusCode).toBe(403);
    expect((await request(base.origin + '/../etc/passwd')).statusCode).toBe(404);
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

    // Sixteen connections at once are served, the seventeenth is refused.
    const held = [];
    for (let i = 0; i < 16; ++i) {
      held.push(await new Promise((resolve) => {
        const socket = net.connect(Number(base.port), '127.0.0.1', () => resolve(socket));
      }));
    }
    await new Promise((r) => setTimeout(r, 200));
    expect((await request(web.url)).statusCode).toBe(503);
    held.forEach((socket) => socket.destroy());
    await expect.poll(async () => (await request(web.url)).statusCode).toBe(200);
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
  } finally {
    await web.stop();
  }
});
