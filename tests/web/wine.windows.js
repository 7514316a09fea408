// morvelplint-web.exe as the installer put it, running under wine: a word from the SCK page
// over COM9 (a link to the pseudo-terminal of morvelplint-rack, whose log has every byte its
// card took), and with --sim the IOK page's square wave on the simulated parallel card.
const { test, expect } = require('@playwright/test');
const fs = require('fs');

function received() {
  const log = process.env.MORVELPLINT_WINE_RACK_LOG;
  if (!fs.existsSync(log)) return [];
  return fs.readFileSync(log, 'utf8').split('\n').filter((l) => l).map((l) => parseInt(l, 16));
}

test('a word from the SCK page reaches the card on COM9 and its lamps show the answer', async ({ page }) => {
  // The set-up: the option byte and the 192 words, before any page.
  await expect.poll(received, { timeout: 30000 }).toHaveLength(1 + 192);
  await page.goto(process.env.MORVELPLINT_WINE_URL);
  await expect(page.locator('#verbinding')).toHaveText('Verbonden (Serieel)');
  await page.getByRole('tab', { name: 'SCK/ MCK' }).click();
  const sck = page.getByRole('tabpanel', { name: 'SCK/ MCK' });
  const mark = received().length;
  await sck.getByRole('button', { name: 'D1: 0', exact: true }).click();
  await sck.getByRole('button', { name: 'Versturen' }).click();
  await expect.poll(received).toHaveLength(mark + 1);
  await sck.getByRole('button', { name: 'D1: 1', exact: true }).click();
  await sck.getByRole('radio', { name: 'Data Stobe' }).check();
  await sck.getByRole('button', { name: 'Versturen' }).click();
  await expect.poll(() => received().slice(mark)).toEqual([0x82, 0x40]);
  await expect(sck.getByRole('img', { name: 'Sectie 3: geel' })).toBeVisible();
  await expect(sck.getByRole('img', { name: 'Kortsluitmelding: groen' })).toBeVisible();
});

test('with --sim the IOK page\'s square wave runs from clicks', async ({ page }) => {
  await page.goto(process.env.MORVELPLINT_WINE_SIM_URL);
  await expect(page.locator('#verbinding')).toHaveText('Verbonden (Parallel)');
  await page.getByRole('tab', { name: 'IOK' }).click();
  const iok = page.getByRole('tabpanel', { name: 'IOK' });
  await iok.getByRole('spinbutton', { name: 'Adres' }).fill('9');
  await iok.getByRole('spinbutton', { name: 'Adres' }).press('Enter');
  await iok.getByRole('group', { name: 'Uitgangen' }).getByRole('button', { name: '16: 0', exact: true }).click();
  await iok.getByRole('checkbox', { name: 'Testen' }).check();
  await iok.getByRole('button', { name: 'Testen' }).click();
  await expect(iok.getByRole('button', { name: 'Stop' })).toBeVisible();
  // The test plug brings output 16 back on input 16, lit and dark in turn with the wave.
  const input16 = (colour) => iok.getByRole('group', { name: 'Ingangen' }).getByRole('img', { name: '16: ' + colour });
  await expect(input16('geel')).toHaveCount(1, { timeout: 20000 });
  await expect(input16('wit')).toHaveCount(1, { timeout: 20000 });
  await expect(input16('geel')).toHaveCount(1, { timeout: 20000 });
  await iok.getByRole('button', { name: 'Stop' }).click();
});
