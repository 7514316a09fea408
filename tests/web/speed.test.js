// The (?)BK speed bar dragged by the mouse while the shuttle runs, against the serial card of
// morvelplint-rack that Morvelplint.ini names: the page sends the bar's position while it
// moves (at most one every 50 ms, and the last), and each tick's speed word after the address
// word is the desktop's for the position the bar stands at.
const { test, expect } = require('@playwright/test');
const { startRack, startWeb, iniFor, tellOnFailure } = require('./morvelplint');

// The desktop's speed word for each position of the bar (0, full speed, at the top) at
// address 0, on the way up: at full speed, and in a run's last third (the first run after the
// start is slowed throughout). The direction bit (16) is left out.
const DESKTOP = [[0x4F, 0x48], [0x4E, 0x47], [0x4D, 0x47], [0x4C, 0x46], [0x4B, 0x46], [0x4A, 0x45],
  [0x49, 0x45], [0x48, 0x44], [0x47, 0x44], [0x46, 0x43], [0x45, 0x43], [0x44, 0x42], [0x43, 0x42],
  [0x42, 0x41], [0x41, 0x41], [0x40, 0x40]];

let rack;
let web;

test.beforeEach(async () => {
  rack = await startRack();
  web = await startWeb({ args: [], ini: iniFor(rack.pty, { tijd: 100 }) });
  await expect.poll(() => rack.received().length, { timeout: 15000 }).toBe(1 + 192);
});

test.afterEach(async ({}, testInfo) => {
  tellOnFailure(testInfo, web);
  await web.stop();
  await rack.stop();
});

test('the speed bar dragged during a shuttle: every tick follows it', async ({ page }) => {
  // The positions the page sends, and when.
  const sent = [];
  page.on('websocket', (socket) => socket.on('framesent', (frame) => {
    const command = JSON.parse(frame.payload);
    if (command.cmd === 'page' && command.do === 'speed') sent.push({ position: command.position, at: Date.now() });
  }));
  await page.goto(web.url);
  await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
  await page.getByRole('tab', { name: '(?)BK' }).click();
  const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
  // The bar upright, its scale 15, 10, 5 and 0 on both sides, top to bottom.
  const bar = xbk.getByRole('slider', { name: 'Snelheid' });
  const box = await bar.boundingBox();
  expect(box.height).toBeGreaterThan(3 * box.width);
  for (const side of ['links', 'rechts'])
    await expect(xbk.locator('.schaal.' + side + ' span')).toHaveText(['15', '10', '5', '0']);

  // The card in place 0, sections 1 and 2.
  for (const group of [2, 3]) {
    const fields = xbk.getByRole('group', { name: 'Terugmelding ' + group });
    for (let k = 1; k <= 4; ++k) await fields.getByRole('checkbox', { name: 'Sectie ' + k }).uncheck();
  }
  const first = xbk.getByRole('group', { name: 'Terugmelding 1' });
  await first.getByRole('checkbox', { name: 'Sectie 3' }).uncheck();
  await first.getByRole('checkbox', { name: 'Sectie 4' }).uncheck();
  await xbk.getByRole('button', { name: 'Go' }).click();
  await expect(xbk.getByRole('button', { name: 'Stop' })).toBeVisible();

  // The last speed word the card took, once one came after `mark`.
  const lastSpeedWord = (mark) => {
    const words = rack.received();
    for (let i = words.length - 1; i > mark; --i)
      if (words[i - 1] === 0x80 && (words[i] & 0xE0) === 0x40) return words[i] & ~0x10;
    return null;
  };

  // Held down and moved from the bottom to the top and part of the way down again, in small
  // steps, staying at each of a few points for some ticks.
  const x = box.x + box.width / 2;
  const yOf = (fraction) => box.y + 8 + fraction * (box.height - 16);
  await page.mouse.move(x, yOf(1));
  await page.mouse.down();
  const started = Date.now();
  let moves = 0;
  let at = 1;
  const held = [];
  for (const to of [0.75, 0.4, 0, 0.55]) {
    for (let k = 1; k <= 10; ++k) {
      await page.mouse.move(x, yOf(at + (to - at) * k / 10));
      ++moves;
    }
    at = to;
    // The page has sent where the bar is; the ticks after it are that position's words.
    const value = Number(await bar.inputValue());
    await expect.poll(() => sent.length > 0 && sent[sent.length - 1].position).toBe(15 - value);
    const mark = rack.received().length;
    await expect.poll(() => DESKTOP[15 - value].includes(lastSpeedWord(mark))).toBe(true);
    held.push(15 - value);
  }
  await page.mouse.up();
  const elapsed = Date.now() - started;
  await xbk.getByRole('button', { name: 'Stop' }).click();

  // Four places, the top among them; fewer frames than moves, at most one per 50 ms.
  expect(new Set(held).size).toBe(4);
  expect(held).toContain(0);
  expect(sent.length).toBeLessThan(moves);
  expect(sent.length).toBeLessThanOrEqual(Math.floor(elapsed / 50) + 2);
});
