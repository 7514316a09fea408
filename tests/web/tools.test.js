// The tools beside the card pages, in a real browser against morvelplint-web --sim: the bus
// monitor and its recording (read back by tshark with the program's dissector), a fault set
// in the rack view, the card diagnostics on a rack with a stuck input, and the printable
// settings report. With MORVELPLINT_SHOTS the pictures of the monitor and the rack view for
// the README go there.
const { test, expect } = require('@playwright/test');
const { execFileSync } = require('child_process');
const fs = require('fs');
const path = require('path');
const { startWeb } = require('./morvelplint');

const source = path.resolve(__dirname, '../..');

async function shot(page, name) {
  if (process.env.MORVELPLINT_SHOTS)
    await page.screenshot({ path: path.join(process.env.MORVELPLINT_SHOTS, name), fullPage: false });
}

test('the monitor shows the words a page sends, and its recording is a pcapng tshark reads', async ({ page }) => {
  const web = await startWeb();
  try {
    await page.goto(web.url);
    await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
    await expect(page.locator('#verbinding')).toHaveText('Verbonden (Serieel)');
    // Place 2 by address strobe, then its feedback by data strobe: 0x82, 0x40.
    await page.getByRole('tab', { name: 'SCK/ MCK' }).click();
    const sck = page.getByRole('tabpanel', { name: 'SCK/ MCK' });
    await sck.getByRole('button', { name: 'D1: 0', exact: true }).click();
    await sck.getByRole('button', { name: 'Versturen' }).click();
    await sck.getByRole('button', { name: 'D1: 1', exact: true }).click();
    await sck.getByRole('radio', { name: 'Data Stobe' }).check();
    await sck.getByRole('button', { name: 'Versturen' }).click();
    await expect(sck.getByRole('img', { name: 'Sectie 3: geel' })).toBeVisible();

    await page.getByRole('tab', { name: 'Busmonitor' }).click();
    const monitor = page.getByRole('tabpanel', { name: 'Busmonitor' });
    const rows = monitor.getByRole('table', { name: 'Busmonitor' }).locator('tbody tr');
    // The set-up's 192 words and their replies are there from the start, the two words last.
    const last = async (back) => (await rows.nth((await rows.count()) - back).locator('td').allTextContents()).slice(1, 8);
    await expect.poll(() => last(1)).toEqual(['→ rek', '0x40', '0100 0000', 'data', '0', '0x44', 'data 0; terugmelding 0100']);
    expect(await last(2)).toEqual(['→ rek', '0x82', '1000 0010', 'adres', '2', '0x82', 'adres 2; echo']);
    await expect(monitor.locator('#monitorTellers')).toContainText('Woorden: 194');

    // Only the data strobe's rows, and a note: what the download holds.
    await monitor.getByRole('checkbox', { name: 'Adres', exact: true }).uncheck();
    await monitor.getByRole('checkbox', { name: 'Overig' }).uncheck();
    await expect(rows.filter({ hasText: 'adres 2; echo' })).toHaveCount(0);
    await monitor.getByRole('textbox', { name: 'Notitie bij dit moment' }).fill('  kaart 2 erin  ');
    await monitor.getByRole('button', { name: 'Notitie', exact: true }).click();
    const whole = page.waitForEvent('download');
    await monitor.getByRole('link', { name: 'pcapng' }).click();
    const file = path.join(web.dir, 'opname.pcapng');
    await (await whole).saveAs(file);
    const fields = execFileSync('tshark', ['-r', file, '-X', 'lua_script:' + path.join(source, 'resources/wireshark/morvelplint.lua'),
      '-T', 'fields', '-E', 'separator=;', '-e', 'morvelplint.word', '-e', 'morvelplint.reply', '-e', 'frame.comment'],
    { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }).trim().split('\n');
    expect(fields.slice(-5)).toEqual(['0x82;;', ';0x82;', '0x40;;', ';0x44;', ';;kaart 2 erin']);

    await monitor.getByRole('checkbox', { name: 'Alleen de getoonde rijen' }).check();
    const shown = page.waitForEvent('download');
    await monitor.getByRole('link', { name: 'CSV' }).click();
    const csv = fs.readFileSync(await (await shown).path(), 'utf8').trim().split('\n');
    // A header and the data strobes' words with their replies: none of the set-up's 0x80-0xBF.
    expect(csv.length).toBeGreaterThan(2);
    expect(csv.slice(1).some((line) => /,0x82,/.test(line))).toBe(false);
    expect(csv.slice(1).filter((line) => /,0x40,/.test(line)).length).toBeGreaterThanOrEqual(1);
    await shot(page, 'web-monitor.png');
  } finally {
    await web.stop();
  }
});

test('a short circuit set in the rack view turns the block card\'s lamp red', async ({ page }) => {
  const web = await startWeb();
  try {
    await page.goto(web.url);
    await expect(page.locator('#verbinding')).toHaveText('Verbonden (Serieel)');
    await page.getByRole('tab', { name: 'Rek' }).click();
    const view = page.getByRole('tabpanel', { name: 'Rek' });
    await expect(view.getByRole('button', { name: 'Plaats 0: (?)BK' })).toBeVisible();
    await view.getByRole('button', { name: 'Plaats 0: (?)BK' }).click();
    await view.getByRole('checkbox', { name: 'Kortsluiting' }).check();
    await expect(view.getByRole('img', { name: 'Plaats 0 Kortsluiting: rood' })).toBeVisible();

    await page.getByRole('tab', { name: '(?)BK' }).click();
    const xbk = page.getByRole('tabpanel', { name: '(?)BK' });
    for (const group of [2, 3]) {
      const box = xbk.getByRole('group', { name: 'Terugmelding ' + group });
      for (let k = 1; k <= 4; ++k) await box.getByRole('checkbox', { name: 'Sectie ' + k }).uncheck();
    }
    await xbk.getByRole('button', { name: 'Go' }).click();
    const first = xbk.getByRole('group', { name: 'Terugmelding 1' });
    await expect(first.getByRole('img', { name: 'Kortsluitmelding: rood' })).toBeVisible();
    await page.getByRole('tab', { name: 'Rek' }).click();
    await expect(view.getByText(/Locomotief: /).first()).toBeVisible();
    await shot(page, 'web-rack.png');
    await page.getByRole('tab', { name: '(?)BK' }).click();
    await xbk.getByRole('button', { name: 'Stop' }).click();
    await expect(xbk.getByRole('button', { name: 'Go' })).toBeVisible();
  } finally {
    await web.stop();
  }
});

test('the diagnostics name a stuck input in the page and in the report, and the settings print', async ({ page }) => {
  const web = await startWeb({ args: ['--sim', path.join(source, 'tests/windows/stuck-input-rack.json')] });
  try {
    await page.goto(web.url);
    await expect(page.locator('#verbinding')).toHaveText('Verbonden (Serieel)');
    await page.getByRole('tab', { name: 'Kaartdiagnose' }).click();
    const diag = page.getByRole('tabpanel', { name: 'Kaartdiagnose' });
    await diag.getByRole('spinbutton', { name: 'Cycli' }).fill('30');
    await diag.getByRole('button', { name: 'Start' }).click();
    await expect(diag.locator('#diagOordeel')).toHaveText('Kaartfout gevonden', { timeout: 20000 });
    // Input 3: stuck at 0, the only one in error.
    await expect(diag.getByRole('img', { name: /^3, \d+, vast op 0$/ })).toBeVisible();
    await expect(diag.getByRole('img', { name: /vast op/ })).toHaveCount(1);
    const saved = page.waitForEvent('download');
    await diag.getByRole('link', { name: 'Rapport bewaren...' }).click();
    const report = JSON.parse(fs.readFileSync(await (await saved).path(), 'utf8'));
    expect(report.result).toBe('fail');
    expect(report.transport).toBe('serial');
    const inputs = report.tests[0].inputs;
    expect(inputs.map((input) => [input.input, input.diagnosis])).toEqual([[3, 'stuck-0']]);

    // The settings report, through the browser's own print.
    await page.evaluate(() => { window.printed = 0; window.print = () => { ++window.printed; }; });
    await page.getByRole('tab', { name: 'Instellingen' }).click();
    await page.getByRole('button', { name: 'Afdrukken' }).click();
    await expect.poll(() => page.evaluate(() => window.printed)).toBe(1);
    const lines = (await page.locator('#afdrukRegels').textContent()).split('\n');
    expect(lines[0]).toBe('Methode= Serieel');
    expect(lines[1]).toMatch(/^Poort= \/dev\/pts\/\d+/);
    expect(lines.slice(2)).toEqual(['Clock= 200', 'Stop= False', 'Timeout= True', 'Kortsluit= False',
      'Baudrate= 9600', 'Test= False']);
  } finally {
    await web.stop();
  }
});
