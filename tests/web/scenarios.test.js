// The scenarios of tests/scenarios through the browser page: each step done as a user does it
// with the mouse, against morvelplint-web --sim and the serial card of morvelplint-rack that
// Morvelplint.ini names. The words a step sends are those that card took; what a step's
// "view" names is read from what the page shows. The frames the page receives only tell when
// it has had its answer and when a set-up has run, and whether one is armed (not shown).
const { test, expect } = require('@playwright/test');
const fs = require('fs');
const path = require('path');
const { startRack, startWeb, iniFor, tellOnFailure } = require('./morvelplint');

const folder = path.resolve(__dirname, '../scenarios');
const scenarios = fs.readdirSync(folder).filter((name) => name.endsWith('.json')).sort()
  .map((name) => JSON.parse(fs.readFileSync(path.join(folder, name), 'utf8')));

test.use({ actionTimeout: 10000 });

let page, rack, web;
// The frames the page received: the last of each type and when (a running count).
let frames;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// ---- the page's controls ----

const hidden = { includeHidden: true };
const panel = (key) => page.locator('#' + key);
const named = (scope, role, name) => scope.getByRole(role, { name, exact: true, includeHidden: true });
const group = (key, g) => named(panel(key), 'group', 'Terugmelding ' + (g + 1));
const mainButton = (key) => named(panel(key), 'button', /^(Versturen|Testen|Stop|Go)$/);
const strobes = (key) => named(panel(key), 'group', 'Select Strobe').getByRole('radio', hidden);
// A bit or pin button is named "<label>: <state>".
const bitNamed = (label) => (label instanceof RegExp ? label : new RegExp('^' + label.replace(/[()?]/g, '\\$&') + ': [01]$'));
const output = (pin) => named(named(panel('iok'), 'group', 'Uitgangen'), 'button', bitNamed(String(pin)));
const slkValue = () => panel('slk').getByRole('spinbutton', hidden);
const testTijd = () => named(panel('instellingen'), 'spinbutton', 'Test tijd:');
const diagButton = () => named(panel('diagnose'), 'button', /^(Start|Stop)$/);
const stateText = () => page.locator('#verbindingInstellingen').textContent();
const BOXES = { kortsluitStop: 'Kortsluit Stop', timeOut: 'Time Out', kortsluitMelding: 'Korsluitmelding',
  baud19200: 'Baudrate', testen: 'Testen' };
const setting = (name) => named(panel('instellingen'), 'checkbox', BOXES[name]);

const BITS = { 7: 'Adres Strobe', 6: 'Data Strobe', 5: /^D5/ };
const bit = (key, n) => named(panel(key), 'button', bitNamed(BITS[n] || 'D' + n));
const address = (step) =>
  (step.page === 'xbk' ? group('xbk', step.group) : panel(step.page)).getByRole('spinbutton', hidden);

function section(step) {
  const n = step.section;
  if (step.page === 'xbk') return named(group('xbk', n >> 2), 'checkbox', 'Sectie ' + (n % 4 + 1));
  return named(named(panel('bk3'), 'group', 'Secties'), 'checkbox', 'Sectie ' + (n + 1));
}

// ---- what the page shows ----

// A lamp's colour: its name is "<label>: <colour>".
async function colour(scope, label) {
  const lamp = scope.getByRole('img', { name: new RegExp('^' + label + ': '), includeHidden: true });
  return (await lamp.getAttribute('aria-label')).slice(label.length + 2);
}

// A bit or pin button's state, its text.
async function one(button) {
  const text = await button.textContent();
  return text === '1' ? true : text === '0' ? false : text;
}

// Whether the controls are enabled: one answer when they agree, every one when not.
async function enabled(...locators) {
  const states = [];
  for (const locator of locators)
    for (let i = 0, n = await locator.count(); i < n; ++i) states.push(await locator.nth(i).isEnabled());
  return states.length > 0 && states.every((s) => s === states[0]) ? states[0] : states;
}

async function running() {
  for (const key of ['slk', 'xbk', 'bk3', 'lkk', 'iok'])
    if ((await mainButton(key).textContent()) === 'Stop') return true;
  return false;
}

// Each path of a scenario's "view" and how the page shows it; numbers in a path are numbers.
const VIEW = [
  [/^pages\.xbk\.s\.(\d+)$/, (n) => colour(group('xbk', n >> 2), 'Sectie ' + (n % 4 + 1))],
  [/^pages\.xbk\.kort\.(\d+)$/, (g) => colour(group('xbk', g), 'Kortsluitmelding')],
  [/^pages\.(\w+)\.s\.(\d+)$/, (key, n) => colour(panel(key), 'Sectie ' + (n + 1))],
  [/^pages\.(\w+)\.kort(?:\.0)?$/, (key) => colour(panel(key), 'Kortsluitmelding')],
  [/^pages\.iok\.inputs\.(\d+)$/, (n) => colour(named(panel('iok'), 'group', 'Ingangen'), String(n + 1))],
  [/^pages\.(\w+)\.bits\.(\d)$/, (key, n) => one(bit(key, n))],
  [/^pages\.lkk\.pins\.(\d+)$/, (n) => one(named(panel('lkk'), 'button', bitNamed(String(n + 1))))],
  [/^pages\.iok\.outputs\.(\d+)$/, (n) => one(output(n + 1))],
  [/^pages\.(\w+)\.(?:sendEnabled|enabled)$/, (key) => enabled(mainButton(key))],
  [/^pages\.(\w+)\.d5Enabled$/, (key) => enabled(bit(key, 5))],
  [/^pages\.(\w+)\.strobeButtonsEnabled$/, (key) => enabled(bit(key, 6), bit(key, 7))],
  [/^pages\.(\w+)\.strobeGroupEnabled$/, (key) => enabled(strobes(key))],
  [/^pages\.(\w+)\.addressesEnabled$/, (key) => enabled(panel(key).getByRole('spinbutton', hidden))],
  [/^pages\.lkk\.evlEnabled$/, () => enabled(named(panel('lkk'), 'group', 'EVL Selectie').getByRole('radio', hidden))],
  [/^pages\.(\w+)\.caption$/, (key) => mainButton(key).textContent()],
  [/^pages\.slk\.label$/, () => slkValue().locator('xpath=preceding-sibling::span').textContent()],
  [/^pages\.slk\.value$/, async () => Number(await slkValue().inputValue())],
  [/^pages\.(\w+)\.d5Caption$/, (key) => bit(key, 5).locator('xpath=preceding-sibling::span').textContent()],
  [/^running$/, running],
  [/^settings\.settings\.parallel$/, () => named(panel('instellingen'), 'radio', 'Parallel').isChecked()],
  [/^settings\.settings\.testTijd$/, async () => Number(await testTijd().inputValue())],
  [/^settings\.settings\.(\w+)$/, (name) => setting(name).isChecked()],
  [/^settings\.enabled\.(port|clock)$/, (name) =>
    enabled(named(panel('instellingen'), 'combobox', name === 'port' ? 'Poort' : 'Clock'))],
  [/^settings\.enabled\.ledUit$/, () => enabled(named(panel('instellingen'), 'button', 'LED uit'))],
  [/^settings\.enabled\.(\w+)$/, (name) => enabled(setting(name))],
  [/^settings\.testTijd\.(step|minimum|maximum)$/, async (attribute) =>
    Number(await testTijd().getAttribute({ step: 'step', minimum: 'min', maximum: 'max' }[attribute]))],
  [/^settings\.connected$/, async () => (await stateText()).startsWith('Verbonden')],
  [/^settings\.transport$/, async () =>
    ({ 'Verbonden (Serieel)': 'serial', 'Verbonden (Parallel)': 'parallel' })[await stateText()] || null],
  // The page does not show that a set-up is armed: its last settings frame says so.
  [/^settings\.armed$/, async () => frames.last.settings.armed],
  [/^shown$/, async () =>
    (await page.locator('[role=tab][aria-selected=true]').getAttribute('id')).slice('tab-'.length)],
  [/^diag\.running$/, async () => (await diagButton().textContent()) === 'Stop'],
  [/^diag\.caption$/, () => diagButton().textContent()],
  [/^rack\.serial\.newCardEnabled$/, () => enabled(named(panel('rek'), 'button', 'Nieuwe kaart'))],
  [/^rack\.serial\.faultsEnabled$/, () => enabled(named(panel('rek'), 'button', 'Ophangen'))],
];

async function shown(viewPath) {
  for (const [pattern, read] of VIEW) {
    const match = viewPath.match(pattern);
    if (match) return read(...match.slice(1).map((part) => (/^\d+$/.test(part) ? Number(part) : part)));
  }
  throw new Error('no view for ' + viewPath);
}

// ---- the steps ----

// A box ticked or not by a click, when it is not so already; true when it was clicked.
async function tick(box, ticked) {
  await expect(box).toBeEnabled();
  if ((await box.isChecked()) === ticked) return false;
  await box.click();
  return true;
}

async function typeNumber(field, value) {
  await field.fill(String(value));
  await field.press('Enter');
}

// A card page's control; the frame types that answer it, none when nothing was sent.
async function pageAction(step) {
  const at = panel(step.page);
  const buttons = {
    bit: () => bit(step.page, step.bit), strobe: () => strobes(step.page).nth(step.item),
    send: () => mainButton(step.page), click: () => mainButton(step.page),
    cardMode: () => named(at, 'radio', 'Kaart selecteren'), rackMode: () => named(at, 'radio', 'Rek testen'),
    pin: () => named(at, 'button', bitNamed(String(step.pin))), output: () => output(step.pin),
  };
  const boxes = { section: () => section(step), tester: () => named(at, 'checkbox', 'Tester'),
    testen: () => named(at, 'checkbox', 'Testen') };
  if (buttons[step.do]) {
    await buttons[step.do]().click();
  } else if (boxes[step.do]) {
    if (!(await tick(boxes[step.do](), step.ticked))) return null;
  } else if (step.do === 'value' || step.do === 'address') {
    await typeNumber(address(step), step.value);
  } else if (step.do === 'speed') {
    await named(at, 'slider', 'Snelheid').evaluate((slider, value) => {
      slider.value = value;
      slider.dispatchEvent(new Event('input', { bubbles: true }));
      slider.dispatchEvent(new Event('change', { bubbles: true }));
    }, String(15 - step.position));
  } else {
    throw new Error('no such action: ' + step.do);
  }
  return ['pages', 'refused'];
}

async function settingAction(step) {
  const settings = panel('instellingen');
  if (step.setting === 'parallel') await named(settings, 'radio', step.value ? 'Parallel' : 'Serieel').click();
  else if (step.setting === 'testTijd') await typeNumber(testTijd(), step.value);
  else if (!(await tick(setting(step.setting), step.value))) return null;
  return ['settings'];
}

// A set-up runs 400 ms after it was armed, maybe before its step: its words count from the
// first frame that said it was armed. The step waits until it has run and, when it connected,
// until the page has turned to the card's page.
async function setUp() {
  expect(frames.armed, 'no set-up armed').not.toBeNull();
  const { mark, seq } = frames.armed;
  const idle = () => !frames.last.settings.armed && !frames.last.settings.settingUp;
  await expect.poll(idle, { timeout: 15000 }).toBe(true);
  if (frames.last.settings.connected) await expect.poll(() => frames.at.show > seq).toBe(true);
  frames.armed = null;
  return mark;
}

// Does the step's action; the frame types that answer it.
async function act(step) {
  if (step.show) {
    const tab = page.locator('#tab-' + step.show);
    if ((await tab.getAttribute('aria-selected')) === 'true') return null;
    await tab.click();
    return ['pages'];
  }
  if (step.page) return pageAction(step);
  if (step.setting) return settingAction(step);
  if (step.press) {
    const names = { ok: 'OK', cancel: 'Cancel', open: 'Openen', save: 'Bewaren' };
    const button = named(panel('instellingen'), 'button', names[step.press]);
    // Pressed again at once: both in one go, as fast as a double click.
    if (step.times > 1) await button.evaluate((b, times) => { for (let i = 0; i < times; ++i) b.click(); }, step.times);
    else await button.click();
    return ['settings'];
  }
  if (step.diag) {
    // How long the run goes, chosen before it starts.
    const ends = { cycles: 'Cycli', seconds: 'Seconden', untilStop: 'Tot Stop' };
    if (step.end) await named(panel('diagnose'), 'combobox', 'Cycli').selectOption({ label: ends[step.end] });
    await named(panel('diagnose'), 'button', step.diag === 'start' ? 'Start' : 'Stop').click();
    return ['diag', 'message'];
  }
  if (step.fault) {
    await named(panel('rek'), 'button', step.fault === 'hangUp' ? 'Ophangen' : 'Nieuwe kaart').click();
    return ['rack'];
  }
  if (step.file !== undefined) fs.writeFileSync(path.join(web.dir, 'Morvelplint.ini'), step.file);
  return null;
}

// Until the card has taken what there is to take (three looks alike), at most a second.
async function quiet() {
  let count = rack.received().length;
  for (let alike = 0, end = Date.now() + 1000; alike < 3 && Date.now() < end;) {
    await sleep(15);
    const now = rack.received().length;
    alike = now === count ? alike + 1 : 0;
    count = now;
  }
}

async function closeMessage() {
  const box = page.getByRole('alertdialog');
  if (await box.isVisible()) await box.getByRole('button', { name: 'OK', exact: true }).click();
}

function fileLines() {
  const lines = fs.readFileSync(path.join(web.dir, 'Morvelplint.ini'), 'latin1').split('\r\n')
    .slice(0, -1).filter((line) => !line.startsWith('Poort='));
  lines.pop(); // the empty line that ends the file
  return lines;
}

async function run(step) {
  await closeMessage();
  let mark = rack.received().length;
  const since = frames.seq;
  if (step.setUp) mark = await setUp();
  const answer = await act(step);
  // The page's answer to it, and the words it sent.
  for (const end = Date.now() + 2000; answer && !answer.some((type) => frames.at[type] > since) && Date.now() < end;)
    await sleep(20);
  await quiet();
  const taken = () => rack.received().slice(mark);
  if (step.words || step.wordCount !== undefined) {
    // All of them, and then nothing more.
    const count = step.words ? step.words.length : step.wordCount;
    await expect.poll(() => taken().length, { timeout: 15000 }).toBeGreaterThanOrEqual(count);
    await sleep(300);
    if (step.wordCount !== undefined) expect(taken().length).toBe(step.wordCount);
    if (step.words) expect(taken()).toEqual(step.words);
  }
  if (step.wordsStart) {
    await expect.poll(() => taken().length).toBeGreaterThanOrEqual(step.wordsStart.length);
    expect(taken().slice(0, step.wordsStart.length)).toEqual(step.wordsStart);
  }
  if (step.wordsEnd) await expect.poll(() => taken().slice(-step.wordsEnd.length)).toEqual(step.wordsEnd);
  if (step.message) {
    await expect(page.getByRole('alertdialog')).toBeVisible();
    await expect(page.locator('#meldingTekst')).toHaveText(step.message);
    await closeMessage();
  }
  if (step.fileLines) await expect.poll(fileLines).toEqual(step.fileLines);
  if (step.view) {
    const paths = Object.keys(step.view);
    await expect.poll(async () => {
      const view = {};
      for (const viewPath of paths) view[viewPath] = await shown(viewPath);
      return view;
    }).toEqual(step.view);
  }
}

test.beforeEach(async ({ page: opened }) => {
  page = opened;
  rack = await startRack();
  web = await startWeb({ args: ['--sim'], ini: iniFor(rack.pty) });
  frames = { seq: 0, at: {}, last: {}, armed: null };
  page.on('websocket', (socket) => socket.on('framereceived', ({ payload }) => {
    let frame;
    try { frame = JSON.parse(payload); } catch (error) { return; }
    frames.at[frame.type] = ++frames.seq;
    frames.last[frame.type] = frame;
    if (frame.type === 'settings' && frame.armed && !frames.armed)
      frames.armed = { mark: rack.received().length, seq: frames.seq };
  }));
  await page.goto(web.url);
  await expect(page.getByText('U bestuurt het rek.')).toBeVisible();
  // The set-up at the start is done and has shown its page.
  await expect(page.locator('#verbinding')).toHaveText(/^Verbonden/, { timeout: 15000 });
  await expect(page.locator('#tab-sck')).toHaveAttribute('aria-selected', 'true');
  frames.armed = null;
});

test.afterEach(async ({}, testInfo) => {
  // Beside what the program printed: what the card took and the last frames of each kind.
  tellOnFailure(testInfo, web);
  if (web && testInfo.status !== testInfo.expectedStatus)
    console.log('the card took ' + rack.received().length + ' bytes: ' +
      rack.received().slice(0, 8).map((b) => b.toString(16)).join(' ') +
      '\nthe last frames: ' + JSON.stringify(Object.fromEntries(Object.entries(frames.last)
        .filter(([type]) => type !== 'texts'))).slice(0, 6000));
  await web.stop();
  await rack.stop();
});

for (const scenario of scenarios) {
  test(scenario.title, async () => {
    for (const [number, step] of scenario.steps.entries())
      await test.step('step ' + (number + 1) + ': ' + JSON.stringify(step), () => run(step));
  });
}
