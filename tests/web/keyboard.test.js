// The page without a mouse: the tab list as the WAI-ARIA tabs pattern has it, a word by hand
// on SCK/ MCK (bits, strobe, Versturen) and the SLK sweep started and stopped, by keys alone,
// against the serial card of morvelplint-rack that Morvelplint.ini names; and the monitor's
// rows scrolled by keys on the simulated rack.
const { test, expect } = require('@playwright/test');
const { startRack, startWeb, iniFor, tellOnFailure } = require('./morvelplint');

let rack = null;
let web = null;

test.afterEach(async ({}, testInfo) => {
  tellOnFailure(testInfo, web);
  if (web) await web.stop();
  if (rack) await rack.stop();
  web = rack = null;
});

// What has the focus: its role and its name as a screen reader has them.
function focused(page) {
  return page.evaluate(() => {
    const node = document.activeElement;
    const types = { number: 'spinbutton', range: 'slider' };
    const role = node.getAttribute('role') || types[node.type] || node.type || node.tagName.toLowerCase();
    let name = node.getAttribute('aria-label') || '';
    if (!name && node.labels && node.labels.length) name = node.labels[0].textContent.trim();
    if (!name) name = node.textContent.trim();
    return role + ' ' + name;
  });
}

// Tab (or Shift+Tab) until the focus is on `wanted`, each stop on the way noted; fails when
// it goes round without finding it.
async function tabTo(page, wanted, back) {
  const seen = [];
  for (let i = 0; i < 80; ++i) {
    await page.keyboard.press(back ? 'Shift+Tab' : 'Tab');
    const now = await focused(page);
    if (wanted instanceof RegExp ? wanted.test(now) : now === wanted) return seen;
    seen.push(now);
  }
  throw new Error('no ' + wanted + ' among ' + seen.join(' | '));
}

async function wordsFrom(mark, count) {
  await expect.poll(() => rack.received().length - mark).toBeGreaterThanOrEqual(count);
  return rack.received().slice(mark, mark + count);
}

test('the tabs by arrow keys, SCK/ MCK and the SLK sweep by keys alone', async ({ page }) => {
  rack = await startRack();
  web = await startWeb({ args: [], ini: iniFor(rack.pty, { tijd: 100 }) });
  await expect.poll(() => rack.received().length, { timeout: 15000 }).toBe(1 + 192);
  await page.goto(web.url);
  await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);

  // One stop for the tab list, the tab shown (SCK/ MCK, which the start's set-up showed); the
  // arrows go round, Home and End to the ends, and only Enter shows another tab.
  expect(await tabTo(page, 'tab SCK/ MCK')).toEqual([]);
  await page.keyboard.press('ArrowLeft');
  expect(await focused(page)).toBe('tab INTRO');
  await expect(page.getByRole('tabpanel', { name: 'SCK/ MCK' })).toBeVisible();
  await page.keyboard.press('Enter');
  await expect(page.getByRole('tabpanel', { name: 'INTRO' })).toBeVisible();
  await page.keyboard.press('ArrowLeft');
  expect(await focused(page)).toBe('tab Over');
  await page.keyboard.press('Home');
  expect(await focused(page)).toBe('tab INTRO');
  await page.keyboard.press('End');
  expect(await focused(page)).toBe('tab Over');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  expect(await focused(page)).toBe('tab SCK/ MCK');
  await expect(page.getByRole('tabpanel', { name: 'INTRO' })).toBeVisible();
  await page.keyboard.press('Enter');
  const sck = page.getByRole('tabpanel', { name: 'SCK/ MCK' });
  await expect(sck).toBeVisible();
  await expect(page.getByRole('tab', { name: 'SCK/ MCK' })).toHaveAttribute('tabindex', '0');
  await expect(page.getByRole('tab', { name: 'INTRO' })).toHaveAttribute('tabindex', '-1');

  // Place 2 by address strobe, then its feedback by data strobe: the controls in the order
  // they are read, the strobe buttons (disabled here) left out.
  const mark = rack.received().length;
  const stops = await tabTo(page, 'button D1: 0');
  expect(stops).toEqual(['button D5: 0', 'button D4: 0', 'button D3: 0', 'button D2: 0']);
  await page.keyboard.press('Space');
  await expect(sck.getByRole('button', { name: 'D1: 1', exact: true })).toBeFocused();
  expect(await tabTo(page, 'radio Adres Strobe')).toEqual(['button D0: 0']);
  expect(await tabTo(page, 'button Versturen')).toEqual([]);
  await page.keyboard.press('Enter');
  expect(await wordsFrom(mark, 1)).toEqual([0x82]);
  await tabTo(page, 'button D1: 1', true);
  await page.keyboard.press('Space');
  await tabTo(page, 'radio Adres Strobe');
  await page.keyboard.press('ArrowDown');
  await expect(sck.getByRole('radio', { name: 'Data Stobe' })).toBeChecked();
  await tabTo(page, 'button Versturen');
  await page.keyboard.press('Enter');
  expect(await wordsFrom(mark, 2)).toEqual([0x82, 0x40]);
  await expect(sck.getByRole('img', { name: 'Sectie 3: geel' })).toBeVisible();

  // SLK: back to the tab list, on to SLK, rack 4 swept and stopped.
  await tabTo(page, 'tab SCK/ MCK', true);
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('Enter');
  const slk = page.getByRole('tabpanel', { name: 'SLK' });
  await expect(slk).toBeVisible();
  await tabTo(page, 'radio Kaart selecteren');
  await page.keyboard.press('ArrowDown');
  await expect(slk.getByRole('radio', { name: 'Rek testen' })).toBeChecked();
  await tabTo(page, 'spinbutton Rek');
  await page.keyboard.press('Control+A');
  await page.keyboard.type('4');
  await page.keyboard.press('Enter');
  await expect(slk.getByRole('spinbutton', { name: 'Rek' })).toHaveValue('4');
  await tabTo(page, 'button Testen');
  const sweepMark = rack.received().length;
  await page.keyboard.press('Enter');
  await expect(slk.getByRole('button', { name: 'Stop' })).toBeFocused();
  const sweep = [];
  for (let i = 0; i < 16; ++i) sweep.push(0xB0 + i);
  expect(await wordsFrom(sweepMark, 16)).toEqual(sweep);
  await page.keyboard.press('Enter');
  await expect(slk.getByRole('button', { name: 'Testen' })).toBeFocused();
});

test('the monitor\'s rows scroll by keys', async ({ page }) => {
  web = await startWeb();
  await page.goto(web.url);
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
  // The set-up shows its page; the tab list's one stop is that page's tab.
  expect(await tabTo(page, /^tab /)).toEqual([]);
  await page.keyboard.press('End');
  for (let i = 0; i < 4; ++i) await page.keyboard.press('ArrowLeft');
  expect(await focused(page)).toBe('tab Busmonitor');
  await page.keyboard.press('Enter');
  // The set-up's 192 words and their replies: more rows than the region shows.
  const rows = page.getByRole('region', { name: 'Rijen' });
  await expect.poll(() => rows.locator('tbody tr').count()).toBeGreaterThanOrEqual(192);
  // As on the desktop, the rows follow the newest, also while they still come in.
  const atEnd = () => rows.evaluate((n) => n.scrollTop > 0 && n.scrollTop + n.clientHeight >= n.scrollHeight - 1);
  await expect.poll(atEnd).toBe(true);
  await tabTo(page, 'region Rijen');
  await page.keyboard.press('Home');
  await expect.poll(() => rows.evaluate((n) => n.scrollTop)).toBe(0);
  await page.keyboard.press('PageDown');
  await expect.poll(() => rows.evaluate((n) => n.scrollTop)).toBeGreaterThan(0);
  await page.keyboard.press('End');
  await expect.poll(atEnd).toBe(true);
});

test('a message box as the desktop\'s: its title and icon, OK by a key, the focus back', async ({ page }) => {
  web = await startWeb();
  await page.goto(web.url);
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/);
  await page.getByRole('tab', { name: '(?)BK' }).click();
  const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
  for (const group of [1, 2, 3]) {
    const fields = xbk.getByRole('group', { name: 'Terugmelding ' + group });
    for (let k = 1; k <= 4; ++k) await fields.getByRole('checkbox', { name: 'Sectie ' + k }).uncheck();
  }
  const go = xbk.getByRole('button', { name: 'Go' });
  await go.focus();
  await page.keyboard.press('Enter');
  const box = page.getByRole('alertdialog', { name: 'Morvelplint' });
  await expect(box).toBeVisible();
  await expect(box).toHaveAccessibleDescription(/^Onvoldoende secties geselecteerd/);
  await expect(box.getByRole('img', { name: 'Fout' })).toHaveAttribute('src', 'fout.svg');
  await expect(box.getByRole('button', { name: 'OK' })).toBeFocused();
  // The rest of the page is out of reach while it shows.
  await page.keyboard.press('Tab');
  await expect(box.getByRole('button', { name: 'OK' })).toBeFocused();
  await page.keyboard.press('Enter');
  await expect(box).toBeHidden();
  await expect(go).toBeFocused();
});
