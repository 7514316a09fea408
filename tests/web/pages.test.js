// Every card page's main action from clicks in the browser, against the simulated serial card
// that Morvelplint.ini names (morvelplint-rack on a pseudo-terminal, whose log has every byte
// its card took): the words on the line are those the desktop's pages send.
const { test, expect } = require('@playwright/test');
const { startRack, startWeb, iniFor, initialisation, steady, tellOnFailure } = require('./morvelplint');

let rack;
let web;

test.beforeEach(async () => {
  rack = await startRack();
  // The shortest test time: the sweep and the square waves come round at once.
  web = await startWeb({ args: [], ini: iniFor(rack.pty, { tijd: 100 }) });
  // The option byte (Time Out only) and the 192 words of the set-up, as the program sends them.
  await expect.poll(() => rack.received().length, { timeout: 15000 }).toBe(1 + 192);
  expect(rack.received()[0]).toBe(0x02);
  expect(rack.received().slice(1)).toEqual(initialisation());
});

test.afterEach(async ({}, testInfo) => {
  tellOnFailure(testInfo, web);
  await web.stop();
  await rack.stop();
});

// Until the card's log stands still for three looks in a row: the words on their way are in.
const quiet = () => steady(() => rack.received().length);

// The words the card took from `mark` on, once there are `count` of them.
async function wordsFrom(mark, count) {
  await expect.poll(() => rack.received().length - mark).toBeGreaterThanOrEqual(count);
  return rack.received().slice(mark, mark + count);
}

function loadWords(address, evl, pinWords, pattern) {
  const table = [1, 3, 5, 7, 0, 2, 4, 6, 12, 13, 8, 10, 14, 15, 9, 11];
  const bit4 = [16, 16, 16, 16, 0, 0, 0, 0, 0, 0, 0, 0, 16, 16, 16, 16];
  const words = [0x80 + address];
  for (let step = 0; step < 16; ++step) {
    const nibble = pattern ? (pinWords[step >> 2] >> (4 * (step % 4))) & 15 : 15;
    words.push(0xC0 + 16 * (evl >> 1) + table[(step % 8) + 8 * (evl % 2)], 0x20 + bit4[step] + nibble);
  }
  return words;
}

test('a word by hand on the SCK page, with its lamps, and OK connecting anew', async ({ page }) => {
  await page.goto(web.url);
  await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
  // The set-up at the start shows its page when it is done: the tabs are clicked after it.
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
  await page.getByRole('tab', { name: 'SCK/ MCK' }).click();
  const sck = page.getByRole('tabpanel', { name: 'SCK/ MCK' });
  // Place 2 (a card that reports line 3) by address strobe, then its feedback by data strobe.
  let mark = rack.received().length;
  // A bit button is named by its label and the state it shows.
  await sck.getByRole('button', { name: 'D1: 0', exact: true }).click();
  await expect(sck.getByRole('button', { name: 'D1: 1', exact: true })).toHaveText('1');
  await sck.getByRole('button', { name: 'Versturen' }).click();
  await expect.poll(() => rack.received().length).toBe(mark + 1);
  await sck.getByRole('button', { name: 'D1: 1', exact: true }).click();
  await sck.getByRole('radio', { name: 'Data Stobe' }).check();
  await sck.getByRole('button', { name: 'Versturen' }).click();
  expect(await wordsFrom(mark, 2)).toEqual([0x82, 0x40]);
  await expect(sck.getByRole('img', { name: 'Sectie 3: geel' })).toBeVisible();
  await expect(sck.getByRole('img', { name: 'Sectie 1: wit' })).toBeVisible();
  await expect(sck.getByRole('img', { name: 'Kortsluitmelding: groen' })).toBeVisible();

  // 19200 baud and OK: the option byte asks for it, and the 192 words follow.
  await page.getByRole('tab', { name: 'Instellingen' }).click();
  mark = rack.received().length;
  await page.getByRole('checkbox', { name: 'Baudrate' }).check();
  await page.getByRole('button', { name: 'OK', exact: true }).click();
  const again = await wordsFrom(mark, 1 + 192);
  expect(again[0]).toBe(0x0A);
  expect(again.slice(1)).toEqual(initialisation());
  await expect(page.locator('#verbinding')).toHaveText('Verbonden (Serieel)');
});

test('the sweep, the shuttle and the square waves, started by clicks', async ({ page }) => {
  await page.goto(web.url);
  await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
  // The set-up at the start shows its page when it is done: the tabs are clicked after it.
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);

  // SLK: rack 4, its 16 places in turn.
  await page.getByRole('tab', { name: 'SLK' }).click();
  const slk = page.getByRole('tabpanel', { name: 'SLK' });
  await slk.getByRole('radio', { name: 'Rek testen' }).check();
  await slk.getByRole('spinbutton', { name: 'Rek' }).fill('4');
  await slk.getByRole('spinbutton', { name: 'Rek' }).press('Enter');
  await expect(slk.getByRole('spinbutton', { name: 'Rek' })).toHaveValue('4');
  let mark = rack.received().length;
  await slk.getByRole('button', { name: 'Testen' }).click();
  await expect(slk.getByRole('button', { name: 'Stop' })).toBeVisible();
  const sweep = [];
  for (let i = 0; i < 16; ++i) sweep.push(0xB0 + i);
  expect(await wordsFrom(mark, 32)).toEqual(sweep.concat(sweep));
  await slk.getByRole('button', { name: 'Stop' }).click();
  await expect(slk.getByRole('button', { name: 'Testen' })).toBeVisible();
  await quiet();

  // (?)BK: the card in place 0, sections 1 and 2, full speed; the first run after the start is
  // slowed throughout.
  await page.getByRole('tab', { name: '(?)BK' }).click();
  const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
  for (const group of [2, 3]) {
    const box = xbk.getByRole('group', { name: 'Terugmelding ' + group });
    for (let k = 1; k <= 4; ++k) await box.getByRole('checkbox', { name: 'Sectie ' + k }).uncheck();
  }
  const first = xbk.getByRole('group', { name: 'Terugmelding 1' });
  await first.getByRole('checkbox', { name: 'Sectie 3' }).uncheck();
  await first.getByRole('checkbox', { name: 'Sectie 4' }).uncheck();
  await xbk.getByRole('slider', { name: 'Snelheid' }).fill('15');
  mark = rack.received().length;
  await xbk.getByRole('button', { name: 'Go' }).click();
  await expect(xbk.getByRole('button', { name: 'Stop' })).toBeVisible();
  expect(await wordsFrom(mark, 4)).toEqual([0x80, 0x48, 0x80, 0x48]);
  await expect(first.getByRole('img', { name: 'Kortsluitmelding: groen' })).toBeVisible();
  await xbk.getByRole('button', { name: 'Stop' }).click();
  await expect(xbk.getByRole('button', { name: 'Go' })).toBeVisible();
  await quiet();
  const stopped = rack.received();
  expect(stopped[stopped.length - 1]).toBe(0x40);

  // LKK_EVL: pin 3 at "1" on EVL A behind the LKK in place 5, as a square wave.
  await page.getByRole('tab', { name: 'LKK_EVL' }).click();
  const lkk = page.getByRole('tabpanel', { name: 'LKK_EVL' });
  await lkk.getByRole('spinbutton', { name: 'Adres' }).fill('5');
  await lkk.getByRole('spinbutton', { name: 'Adres' }).press('Enter');
  await lkk.getByRole('button', { name: '3: 0', exact: true }).click();
  await expect(lkk.getByRole('button', { name: '3: 1', exact: true })).toHaveText('1');
  await lkk.getByRole('checkbox', { name: 'Tester' }).check();
  mark = rack.received().length;
  await lkk.getByRole('button', { name: 'Testen' }).click();
  const pinWords = [0xFFFB, 0xFFFF, 0xFFFF, 0xFFFF];
  const phases = await wordsFrom(mark, 66);
  const pattern = loadWords(5, 0, pinWords, true);
  const allHigh = loadWords(5, 0, pinWords, false);
  // The phase goes on from the last square wave's: either comes first.
  const one = phases.slice(0, 33);
  const other = phases.slice(33, 66);
  expect([one, other]).toEqual(one[2] === pattern[2] ? [pattern, allHigh] : [allHigh, pattern]);
  await lkk.getByRole('button', { name: 'Stop' }).click();
  // The square wave has stopped, and its last words have reached the card.
  await expect(lkk.getByRole('button', { name: 'Testen' })).toBeVisible();
  await quiet();
  await lkk.getByRole('checkbox', { name: 'Tester' }).uncheck();

  // IOK: output 16 of the card in place 9, as a square wave; the test plug brings it back.
  await page.getByRole('tab', { name: 'IOK' }).click();
  const iok = page.getByRole('tabpanel', { name: 'IOK' });
  await iok.getByRole('spinbutton', { name: 'Adres' }).fill('9');
  await iok.getByRole('spinbutton', { name: 'Adres' }).press('Enter');
  await iok.getByRole('group', { name: 'Uitgangen' }).getByRole('button', { name: '16: 0', exact: true }).click();
  await iok.getByRole('checkbox', { name: 'Testen' }).check();
  mark = rack.received().length;
  await iok.getByRole('button', { name: 'Testen' }).click();
  const words = await wordsFrom(mark, 1 + 9);
  expect(words[0]).toBe(0x89);
  const on = [0x89, 0x70, 0x60, 0x50, 0x48, 0x70, 0x60, 0x50, 0x48];
  const off = [0x89, 0x70, 0x60, 0x50, 0x40, 0x70, 0x60, 0x50, 0x40];
  expect([on, off]).toContainEqual(words.slice(1));
  await expect.poll(async () =>
    await iok.getByRole('group', { name: 'Ingangen' }).getByRole('img', { name: '16: wit' }).count()).toBe(1);
  await iok.getByRole('button', { name: 'Stop' }).click();
});

test('a reload of the driving page during the sweep keeps the sweep running and the page driving', async ({ page }) => {
  await page.goto(web.url);
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
  await page.getByRole('tab', { name: 'SLK' }).click();
  const slk = page.getByRole('tabpanel', { name: 'SLK' });
  await slk.getByRole('radio', { name: 'Rek testen' }).check();
  await slk.getByRole('spinbutton', { name: 'Rek' }).fill('4');
  await slk.getByRole('spinbutton', { name: 'Rek' }).press('Enter');
  await slk.getByRole('button', { name: 'Testen' }).click();
  await expect(slk.getByRole('button', { name: 'Stop' })).toBeVisible();

  await page.reload();
  await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
  await expect(page.getByRole('tab', { name: 'SLK' })).toHaveAttribute('aria-selected', 'true');
  await expect(slk.getByRole('button', { name: 'Stop' })).toBeVisible();
  // Past the three seconds a page that went has: the sweep goes on, its words on the line.
  await page.waitForTimeout(3500);
  const sweep = [];
  for (let i = 0; i < 16; ++i) sweep.push(0xB0 + i);
  const mark = rack.received().length;
  const words = await wordsFrom(mark, 32);
  const start = words.findIndex((word) => word === 0xB0);
  expect(words.slice(start, start + 16)).toEqual(sweep);
  await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
  await slk.getByRole('button', { name: 'Stop' }).click();
  await expect(slk.getByRole('button', { name: 'Testen' })).toBeVisible();
});
