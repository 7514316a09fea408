// The long runs (label "soak", left out of the everyday test command): a page that never
// reads, fed by the shuttle at 19200 baud with the bus monitor watched, for three minutes.
// The program's memory levels off (under 2 MiB a minute after the first 30 s), and the
// driving page beside it goes on getting the monitor's rows. MORVELPLINT_SOAK_MINUTES sets
// the length.
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const { startRack, startWeb, iniFor } = require('./morvelplint');

const minutes = Number(process.env.MORVELPLINT_SOAK_MINUTES || 3);

// The program's resident memory in KiB.
function rss(pid) {
  const line = fs.readFileSync('/proc/' + pid + '/status', 'utf8').split('\n').find((l) => l.startsWith('VmRSS:'));
  return parseInt(line.split(/\s+/)[1], 10);
}

// A page by hand, with a receive buffer of 4 KiB, that asks for the monitor's rows and then
// reads nothing at all (a phone whose Wi-Fi stalled): a child of its own, since Node sets no
// receive buffer.
function stalledPage(base) {
  const script = [
    'import socket, sys, time',
    's = socket.socket()',
    's.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)',
    's.connect(("127.0.0.1", int(sys.argv[1])))',
    'command = b\'{"cmd":"monitor","do":"watch","ticked":true}\'',
    'mask = bytes([9, 8, 7, 6])',
    'frame = bytes([0x81, 0x80 | len(command)]) + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(command))',
    's.sendall(("GET /ws HTTP/1.1\\r\\nHost: " + sys.argv[2] + "\\r\\nOrigin: http://" + sys.argv[2] +',
    '  "\\r\\nConnection: Upgrade\\r\\nUpgrade: websocket\\r\\nSec-WebSocket-Version: 13\\r\\n" +',
    '  "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\\r\\n\\r\\n").encode() + frame)',
    'print("open", flush=True)',
    'time.sleep(3600)',
  ].join('\n');
  const child = require('child_process').spawn('python3', ['-c', script, base.port, base.host], { stdio: ['ignore', 'pipe', 'inherit'] });
  return { opened: new Promise((resolve) => child.stdout.once('data', resolve)), stop: () => child.kill() };
}

// The driving page connected, and the (?)BK shuttle at full speed.
async function startShuttle(page, web) {
  await page.goto(web.url);
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
  await page.getByRole('tab', { name: '(?)BK' }).click();
  const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
  await xbk.getByRole('slider', { name: 'Snelheid' }).fill('15');
  await xbk.getByRole('button', { name: 'Go' }).click();
  await expect(xbk.getByRole('button', { name: 'Stop' })).toBeVisible();
}

test('a page that never reads, beside the shuttle at 19200 baud, for ' + minutes + ' minutes', async ({ page }) => {
  test.setTimeout((minutes * 60 + 120) * 1000);
  const rack = await startRack();
  const web = await startWeb({ args: [], ini: iniFor(rack.pty, { baud19200: true }) });
  const stalled = [];
  try {
    const base = new URL(web.url);
    await startShuttle(page, web);

    stalled.push(stalledPage(base));
    await stalled[0].opened;
    // The reading page watches the monitor as well.
    await page.getByRole('tab', { name: 'Busmonitor' }).click();
    const samples = [];
    const rows = () => page.evaluate(() => window.MorvelplintTools.monitorRowsReceived());
    const started = Date.now();
    let at30 = null;
    while (Date.now() - started < minutes * 60 * 1000) {
      await page.waitForTimeout(10000);
      const seconds = Math.round((Date.now() - started) / 1000);
      const kib = rss(web.child.pid);
      samples.push([seconds, kib]);
      if (at30 === null && seconds >= 30) at30 = [seconds, kib];
      // The reading page's rows go on coming.
      const before = await rows();
      await expect.poll(rows).toBeGreaterThan(before);
    }
    const last = samples[samples.length - 1];
    const perMinute = (last[1] - at30[1]) / 1024 / ((last[0] - at30[0]) / 60);
    console.log('memory (s, KiB): ' + samples.map((s) => s.join(' ')).join(', '));
    console.log('after 30 s: ' + perMinute.toFixed(2) + ' MiB a minute');
    expect(perMinute).toBeLessThan(2);
  } finally {
    stalled.forEach((s) => s.stop());
    await web.stop();
    await rack.stop();
  }
});

// Eight pages beside the shuttle at 19200 baud: five that read, two that read slowly (16 KiB a
// second, that join after 30 s, when the monitor has a full tail to send) and one that never
// reads, each a page by hand (soak-page.py). The program's memory
// over time, the age of the newest monitor row as the reading pages get it and the serial word
// time are printed, for the README's table; the memory levels off and the reading pages get
// rows under a second old. MORVELPLINT_PAGES_SOAK_MINUTES sets the length (2; 10 for the table).
const pagesMinutes = Number(process.env.MORVELPLINT_PAGES_SOAK_MINUTES || 2);

test('five pages that read, two that read slowly and one that never reads, for ' + pagesMinutes + ' minutes', async ({ page }) => {
  test.setTimeout((pagesMinutes * 60 + 120) * 1000);
  const rack = await startRack();
  const web = await startWeb({ args: [], ini: iniFor(rack.pty, { baud19200: true }) });
  const children = [];
  try {
    const base = new URL(web.url);
    await startShuttle(page, web);

    const seconds = pagesMinutes * 60;
    const reports = {};
    const modes = ['read', 'read', 'read', 'read', 'read', 'slow', 'slow', 'never'];
    modes.forEach((mode, i) => {
      const child = require('child_process').spawn('python3',
        [require('path').join(__dirname, 'soak-page.py'), base.port, base.host, mode, String(seconds),
          mode === 'slow' ? '30' : '0'],
        { stdio: ['ignore', 'pipe', 'inherit'] });
      reports[i] = [];
      require('readline').createInterface({ input: child.stdout }).on('line', (line) => reports[i].push(JSON.parse(line)));
      children.push(child);
    });
    const samples = [];
    const started = Date.now();
    while (Date.now() - started < seconds * 1000) {
      await page.waitForTimeout(10000);
      samples.push([Math.round((Date.now() - started) / 1000), rss(web.child.pid)]);
    }
    await new Promise((resolve) => setTimeout(resolve, 2000));
    console.log('memory (s, KiB): ' + samples.map((s) => s.join(' ')).join(', '));
    modes.forEach((mode, i) => {
      if (mode === 'never') return;
      console.log(mode + ' page ' + i + ': ' + reports[i].map((r) =>
        r.s + ' s: ' + r.frames + ' frames, row age ' + JSON.stringify(r.ageMs) + ' ms, word ' +
        JSON.stringify(r.wordMs) + ' ms, again ' + r.again + (r.why.length ? ' (' + r.why.join(', ') + ')' : '')).join('; '));
    });
    const at30 = samples.find((s) => s[0] >= 30);
    const last = samples[samples.length - 1];
    const perMinute = (last[1] - at30[1]) / 1024 / ((last[0] - at30[0]) / 60);
    console.log('after 30 s: ' + perMinute.toFixed(2) + ' MiB a minute');
    expect(perMinute).toBeLessThan(2);
    modes.forEach((mode, i) => {
      if (mode !== 'read') return;
      expect(reports[i].length).toBeGreaterThan(0);
      for (const r of reports[i]) expect(r.ageMs && r.ageMs[0], 'page ' + i + ' at ' + r.s + ' s').toBeLessThan(1000);
    });
  } finally {
    console.log('morvelplint-web printed:\n' + web.output() + web.errors());
    children.forEach((child) => child.kill());
    await web.stop();
    await rack.stop();
  }
});
