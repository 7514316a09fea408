// Morvelplint in a browser: a view on the card models that run in morvelplint-web. The page
// shows the state the server pushes and sends one small command per action; it decides
// nothing about the bus. Plain JavaScript without a build step, for old tablets too.
'use strict';

(function () {
  var PAGES = [
    { key: 'intro', name: 'INTRO' },
    { key: 'sck', name: 'SCK/ MCK' },
    { key: 'pck', name: 'PCK' },
    { key: 'slk', name: 'SLK' },
    { key: 'xbk', name: '(?)BK' },
    { key: 'bk3', name: '3BK' },
    { key: 'lkk', name: 'LKK_EVL' },
    { key: 'iok', name: 'IOK' },
    { key: 'instellingen', name: 'Instellingen' },
    // The tools, windows beside the pages on the desktop.
    { key: 'monitor', name: 'Busmonitor', tool: true },
    { key: 'rek', name: 'Rek', tool: true },
    { key: 'diagnose', name: 'Kaartdiagnose', tool: true },
    { key: 'help', name: 'Help', tool: true },
    { key: 'over', name: 'Over', tool: true }
  ];
  var tools = window.MorvelplintTools || null;

  var socket = null;
  var texts = {};
  var control = { drives: false, mayDrive: false, driverPresent: false };
  var pagesState = null;
  var settingsState = null;
  // Each card page action's fields and their ranges, as the server's table of them has it.
  var actions = {};
  var shown = 'intro';
  var updaters = {};
  var retry = 500;

  // ---- small helpers ----

  function t(text) { return texts[text] || text; }

  function el(tag, attributes, children) {
    var node = document.createElement(tag);
    var name;
    for (name in attributes || {}) {
      if (name === 'text') node.textContent = attributes[name];
      else if (name === 'onclick') node.addEventListener('click', attributes[name]);
      else if (name === 'onchange') node.addEventListener('change', attributes[name]);
      else node.setAttribute(name, attributes[name]);
    }
    (children || []).forEach(function (child) {
      node.appendChild(typeof child === 'string' ? document.createTextNode(child) : child);
    });
    return node;
  }

  function send(command) {
    if (socket && socket.readyState === 1) socket.send(JSON.stringify(command));
  }

  function act(page, action, fields) {
    var command = { cmd: 'page', page: page, 'do': action };
    var name;
    for (name in fields || {}) command[name] = fields[name];
    send(command);
  }

  function fieldset(legend, children) {
    return el('fieldset', {}, [el('legend', { text: legend })].concat(children || []));
  }

  // A lamp: role img, named "<label>: <colour>".
  function lamp(label) {
    var node = el('span', { role: 'img', 'class': 'lamp wit', 'aria-label': label + ': wit' });
    node.dataset.label = label;
    return node;
  }
  function setLamp(node, colour) {
    node.className = 'lamp ' + colour;
    node.setAttribute('aria-label', node.dataset.label + ': ' + colour);
  }
  function melder(label) {
    var light = lamp(label);
    return { node: el('div', { 'class': 'melder' }, [light, el('span', { 'class': 'naam', text: label })]), lamp: light };
  }

  // A bit button: named by its label, its text its state, "0" or "1".
  function bitButton(label, onclick) {
    var button = el('button', { type: 'button', 'aria-label': label, text: '0', onclick: onclick });
    var caption = el('span', { text: label, 'aria-hidden': 'true' });
    return { node: el('div', { 'class': 'bit' }, [caption, button]), button: button, caption: caption };
  }
  function setBit(bit, one, enabled) {
    bit.button.textContent = one ? '1' : '0';
    bit.button.disabled = !enabled || !control.drives;
  }

  function enable(node, enabled) { node.disabled = !enabled || !control.drives; }

  // A number field whose range the server gives (setRange); a value typed outside it is
  // brought into it, and an empty field sends nothing and shows the value again.
  function number(label, onchange) {
    var input = el('input', { type: 'number', inputmode: 'numeric', 'aria-label': label });
    input.addEventListener('change', function () {
      var value = parseInt(input.value, 10);
      input.dataset.sent = '1';
      if (isNaN(value)) { redraw(); return; }
      if (input.min !== '') value = Math.max(Number(input.min), value);
      if (input.max !== '') value = Math.min(Number(input.max), value);
      onchange(value);
    });
    return input;
  }
  function setRange(input, range, step) {
    if (!range) return;
    input.min = range[0];
    input.max = range[1];
    if (step) input.step = step;
  }
  // The range of a card page action's field.
  function rangeOf(page, action, field) {
    var known = actions[page + '.' + action];
    return known && known[field];
  }
  // The value the server has; while the user types in the field it waits until the field's
  // change was sent.
  function setNumber(input, value) {
    if (document.activeElement !== input || input.dataset.sent) {
      input.value = value;
      delete input.dataset.sent;
    }
  }

  function check(label, onchange) {
    var box = el('input', { type: 'checkbox' });
    box.addEventListener('change', function () { onchange(box.checked); });
    return { node: el('label', { 'class': 'keuze' }, [box, label]), box: box };
  }

  // Radio buttons; a click on the chosen one counts too, as a click does on the desktop.
  function radios(name, items, onpick) {
    var list = items.map(function (item, index) {
      var radio = el('input', { type: 'radio', name: name, value: index });
      radio.addEventListener('click', function () { onpick(index); });
      return { node: el('label', { 'class': 'keuze' }, [radio, item]), radio: radio };
    });
    return list;
  }

  // ---- the card pages ----

  function buildBusWord(key) {
    var panel = document.getElementById(key);
    var names = { 7: 'Adres Strobe', 6: 'Data Strobe' };
    var bits = {};
    var row = el('div', { 'class': 'rij' });
    [7, 6, 5, 4, 3, 2, 1, 0].forEach(function (bit) {
      var b = bitButton(names[bit] || 'D' + bit, function () { act(key, 'bit', { bit: bit }); });
      bits[bit] = b;
      row.appendChild(b.node);
    });
    var strobe = radios(key + 'Strobe', ['Adres Strobe', 'Data Stobe', 'Latchadres Strobe', 'Latchdata Strobe'],
      function (item) { act(key, 'strobe', { item: item }); });
    var strobeGroup = fieldset('Select Strobe', strobe.map(function (r) { return r.node; }));
    var versturen = el('button', { type: 'button', text: 'Versturen', onclick: function () { act(key, 'send'); } });
    var lamps = [1, 2, 3, 4].map(function (k) { return melder('Sectie ' + k); });
    var kort = melder('Kortsluitmelding');
    panel.appendChild(el('div', { 'class': 'kolommen' }, [
      fieldset('Bus besturing', [row]), strobeGroup]));
    panel.appendChild(el('div', { 'class': 'rij' }, [versturen]));
    panel.appendChild(fieldset('Bus terugmelding', [el('div', { 'class': 'rij' },
      lamps.map(function (m) { return m.node; }).concat([kort.node]))]));
    updaters[key] = function (p) {
      [0, 1, 2, 3, 4, 5, 6, 7].forEach(function (bit) {
        var enabled = bit === 5 ? p.d5Enabled : bit >= 6 ? p.strobeButtonsEnabled : true;
        setBit(bits[bit], p.bits[bit], enabled);
        bits[bit].caption.className = enabled ? '' : 'uit';
      });
      bits[5].caption.textContent = p.d5Caption;
      bits[5].button.setAttribute('aria-label', p.d5Caption);
      strobe.forEach(function (r, index) {
        r.radio.checked = index === p.strobe;
        enable(r.radio, p.strobeGroupEnabled);
      });
      enable(versturen, p.sendEnabled);
      lamps.forEach(function (m, k) { setLamp(m.lamp, p.s[k]); });
      setLamp(kort.lamp, p.kort);
    };
  }

  function buildSlk() {
    var panel = document.getElementById('slk');
    var mode = radios('slkMode', ['Kaart selecteren', 'Rek testen'], function (index) {
      act('slk', index === 0 ? 'cardMode' : 'rackMode');
    });
    var label = el('span', { text: 'Adres' });
    var value = number('Adres', function (v) { act('slk', 'value', { value: v }); });
    var button = el('button', { type: 'button', text: 'Versturen', onclick: function () { act('slk', 'click'); } });
    // The sweep stops when the focus leaves the button for another control of the page.
    button.addEventListener('blur', function (event) {
      if (event.relatedTarget) act('slk', 'leaveButton');
    });
    panel.appendChild(fieldset('Test', mode.map(function (r) { return r.node; })));
    panel.appendChild(el('div', { 'class': 'rij' }, [label, value, button]));
    panel.appendChild(el('p', { 'class': 'klein', text:
      'Kaart selecteren: het selectiesignaal van de plaats met dit adres wordt "0". ' +
      'Rek testen: de 16 plaatsen van het rek worden om de beurt geselecteerd, elke 400 ms opnieuw.' }));
    updaters.slk = function (p) {
      mode[0].radio.checked = !p.rackMode;
      mode[1].radio.checked = p.rackMode;
      mode.forEach(function (r) { enable(r.radio, true); });
      label.textContent = p.label;
      value.setAttribute('aria-label', p.label);
      setRange(value, [p.minimum, p.maximum]);
      setNumber(value, p.value);
      enable(value, true);
      button.textContent = p.caption;
      enable(button, p.enabled);
    };
  }

  function speedControl(key) {
    // The bar's top is position 0, full speed: the bar shows the speed, the position's
    // range turned round.
    var speed = el('input', { type: 'range', value: 0, 'aria-label': 'Snelheid' });
    var shownSpeed = el('span', { text: '0' });
    speed.addEventListener('change', function () {
      act(key, 'speed', { position: Number(speed.max) - parseInt(speed.value, 10) });
    });
    speed.addEventListener('input', function () { shownSpeed.textContent = speed.value; });
    return { node: fieldset('Snelheid', [el('div', { 'class': 'rij' }, [speed, shownSpeed])]), speed: speed, shown: shownSpeed };
  }

  function buildXbk() {
    var panel = document.getElementById('xbk');
    var speed = speedControl('xbk');
    var button = el('button', { type: 'button', text: 'Go', onclick: function () { act('xbk', 'click'); } });
    var label9 = el('span', { id: 'Label9', text: 'Label9' });
    var groups = [0, 1, 2].map(function (g) {
      var address = number('Adres', function (v) { act('xbk', 'address', { group: g, value: v }); });
      var sections = [0, 1, 2, 3].map(function (k) {
        var n = 4 * g + k;
        var box = check('Sectie ' + (k + 1), function (ticked) { act('xbk', 'section', { section: n, ticked: ticked }); });
        var light = lamp('Sectie ' + (k + 1));
        return { node: el('div', { 'class': 'sectie' }, [light, box.node]), box: box.box, lamp: light };
      });
      var kort = melder('Kortsluitmelding');
      var node = fieldset('Terugmelding', [el('label', { 'class': 'rij' }, ['Adres', address])]
        .concat(sections.map(function (s) { return s.node; })).concat([kort.node]));
      node.setAttribute('aria-label', 'Terugmelding ' + (g + 1));
      return { node: node, address: address, sections: sections, kort: kort };
    });
    panel.appendChild(el('div', { 'class': 'kolommen' }, [
      el('div', {}, [speed.node, el('div', { 'class': 'rij' }, [button, label9])]),
      el('div', { 'class': 'groepen' }, groups.map(function (g) { return g.node; }))]));
    updaters.xbk = function (p) {
      groups.forEach(function (group, g) {
        setRange(group.address, [0, p.addressMaximum]);
        setNumber(group.address, p.addresses[g]);
        enable(group.address, p.addressesEnabled);
        group.sections.forEach(function (s, k) {
          s.box.checked = p.sections[4 * g + k];
          enable(s.box, p.sectionsEnabled);
          setLamp(s.lamp, p.s[4 * g + k]);
        });
        setLamp(group.kort.lamp, p.kort[g]);
      });
      setRange(speed.speed, rangeOf('xbk', 'speed', 'position'));
      if (document.activeElement !== speed.speed) {
        speed.speed.value = Number(speed.speed.max) - p.speedPosition;
        speed.shown.textContent = speed.speed.value;
      }
      enable(speed.speed, true);
      button.textContent = p.caption;
      enable(button, p.enabled);
      label9.textContent = p.label9;
    };
  }

  function buildBk3() {
    var panel = document.getElementById('bk3');
    var speed = speedControl('bk3');
    var button = el('button', { type: 'button', text: 'Go', onclick: function () { act('bk3', 'click'); } });
    var address = number('Adres', function (v) { act('bk3', 'address', { value: v }); });
    var boxes = [0, 1, 2, 3].map(function (k) {
      return check('Sectie ' + (k + 1), function (ticked) { act('bk3', 'section', { section: k, ticked: ticked }); });
    });
    var lamps = [1, 2, 3, 4].map(function (k) { return melder('Sectie ' + k); });
    var kort = melder('Kortsluitmelding');
    panel.appendChild(el('div', { 'class': 'kolommen' }, [
      el('div', {}, [speed.node, el('div', { 'class': 'rij' }, [button])]),
      el('div', {}, [
        el('label', { 'class': 'rij' }, ['Adres', address]),
        fieldset('Secties', boxes.map(function (b) { return b.node; })),
        fieldset('Terugmelding', [el('div', { 'class': 'rij' },
          lamps.map(function (m) { return m.node; }).concat([kort.node]))])])]));
    updaters.bk3 = function (p) {
      setRange(address, [0, p.addressMaximum]);
      setNumber(address, p.addresses[0]);
      enable(address, p.addressesEnabled);
      boxes.forEach(function (b, k) { b.box.checked = p.sections[k]; enable(b.box, p.sectionsEnabled); });
      lamps.forEach(function (m, k) { setLamp(m.lamp, p.s[k]); });
      setLamp(kort.lamp, p.kort[0]);
      setRange(speed.speed, rangeOf('bk3', 'speed', 'position'));
      if (document.activeElement !== speed.speed) {
        speed.speed.value = Number(speed.speed.max) - p.speedPosition;
        speed.shown.textContent = speed.speed.value;
      }
      enable(speed.speed, true);
      button.textContent = p.caption;
      enable(button, p.enabled);
    };
  }

  function buildLkk() {
    var panel = document.getElementById('lkk');
    var address = number('Adres', function (v) { act('lkk', 'address', { value: v }); });
    var evl = radios('lkkEvl', ['EVL A', 'EVL B', 'EVL C', 'EVL D'], function (index) { act('lkk', 'evl', { value: index }); });
    var tester = check('Tester', function (ticked) { act('lkk', 'tester', { ticked: ticked }); });
    var button = el('button', { type: 'button', text: 'Versturen', onclick: function () { act('lkk', 'click'); } });
    var pins = [];
    var grid = el('div', { 'class': 'raster' });
    for (var pin = 1; pin <= 64; ++pin) {
      (function (n) {
        var b = bitButton(String(n), function () { act('lkk', 'pin', { pin: n }); });
        pins.push(b);
        grid.appendChild(b.node);
      })(pin);
    }
    panel.appendChild(el('div', { 'class': 'kolommen' }, [
      el('label', { 'class': 'rij' }, ['Adres', address]),
      fieldset('EVL Selectie', evl.map(function (r) { return r.node; })),
      el('div', {}, [tester.node, button])]));
    panel.appendChild(fieldset('Pennen', [grid]));
    updaters.lkk = function (p) {
      setRange(address, rangeOf('lkk', 'address', 'value'));
      setNumber(address, p.address);
      enable(address, true);
      evl.forEach(function (r, index) { r.radio.checked = index === p.evl; enable(r.radio, p.evlEnabled); });
      tester.box.checked = p.tester;
      enable(tester.box, true);
      button.textContent = p.caption;
      enable(button, p.enabled);
      pins.forEach(function (b, i) { setBit(b, p.pins[i], true); });
    };
  }

  function buildIok() {
    var panel = document.getElementById('iok');
    var address = number('Adres', function (v) { act('iok', 'address', { value: v }); });
    var testen = check('Testen', function (ticked) { act('iok', 'testen', { ticked: ticked }); });
    var button = el('button', { type: 'button', text: 'Versturen', onclick: function () { act('iok', 'click'); } });
    var outputs = [];
    var inputs = [];
    var outGrid = el('div', { 'class': 'raster' });
    var inGrid = el('div', { 'class': 'raster' });
    for (var pin = 1; pin <= 16; ++pin) {
      (function (n) {
        var b = bitButton(String(n), function () { act('iok', 'output', { pin: n }); });
        outputs.push(b);
        outGrid.appendChild(b.node);
        var m = melder(String(n));
        inputs.push(m);
        inGrid.appendChild(m.node);
      })(pin);
    }
    panel.appendChild(el('div', { 'class': 'rij' }, [el('label', { 'class': 'rij' }, ['Adres', address]), testen.node, button]));
    panel.appendChild(fieldset('Uitgangen', [outGrid]));
    panel.appendChild(fieldset('Ingangen', [inGrid]));
    updaters.iok = function (p) {
      setRange(address, rangeOf('iok', 'address', 'value'));
      setNumber(address, p.address);
      enable(address, true);
      testen.box.checked = p.testen;
      enable(testen.box, true);
      button.textContent = p.caption;
      enable(button, p.enabled);
      outputs.forEach(function (b, i) { setBit(b, p.outputs[i], true); });
      inputs.forEach(function (m, i) { setLamp(m.lamp, p.inputs[i]); });
    };
  }

  // ---- the settings, as Instellingen > Status... ----

  function buildSettings() {
    var panel = document.getElementById('instellingen');
    var method = radios('methode', ['Serieel', 'Parallel'], function () { sendSettings(); });
    var port = el('select', { 'aria-label': 'Poort' });
    var clock = el('select', { 'aria-label': 'Clock' });
    port.addEventListener('change', sendSettings);
    clock.addEventListener('change', sendSettings);
    var boxes = {};
    [['kortsluitStop', 'Kortsluit Stop'], ['timeOut', 'Time Out'], ['kortsluitMelding', 'Korsluitmelding'],
     ['baud19200', 'Baudrate'], ['testen', 'Testen']].forEach(function (item) {
      boxes[item[0]] = check(item[1], sendSettings);
    });
    var time = number('Test tijd:', function () { sendSettings(); });
    var state = el('p', { id: 'verbindingInstellingen', role: 'status' });
    var notes = el('div', { id: 'aanwijzingen', 'class': 'aanwijzingen' });
    var ok = el('button', { type: 'button', text: 'OK', onclick: function () { send({ cmd: 'connect' }); } });
    var cancel = el('button', { type: 'button', text: 'Cancel', onclick: function () { send({ cmd: 'cancel' }); } });
    var ledUit = el('button', { type: 'button', text: 'LED uit', onclick: function () { send({ cmd: 'ledUit' }); } });
    var open = el('button', { type: 'button', 'data-text': 'Openen', text: t('Openen'), onclick: function () { send({ cmd: 'loadSettings' }); } });
    var save = el('button', { type: 'button', 'data-text': 'Bewaren', text: t('Bewaren'), onclick: function () { send({ cmd: 'saveSettings' }); } });
    var refresh = el('button', { type: 'button', 'data-text': 'Poorten opnieuw zoeken', text: t('Poorten opnieuw zoeken'), onclick: function () { send({ cmd: 'refreshPorts' }); } });
    // The settings report, through the browser's own printing.
    var print = el('button', { type: 'button', 'data-text': 'Afdrukken', text: t('Afdrukken'), onclick: function () { send({ cmd: 'report' }); } });
    panel.appendChild(el('div', { 'class': 'kolommen' }, [
      fieldset('Methode', [method[0].node, port, method[1].node, clock]),
      fieldset('Status', Object.keys(boxes).map(function (name) { return boxes[name].node; }))]));
    panel.appendChild(el('label', { 'class': 'rij' }, ['Test tijd:', time]));
    panel.appendChild(el('div', { 'class': 'rij' }, [ok, cancel, ledUit, open, save, refresh, print]));
    panel.appendChild(state);
    panel.appendChild(notes);

    function sendSettings() {
      if (!settingsState) return;
      var tijd = parseInt(time.value, 10);
      var s = {
        parallel: method[1].radio.checked,
        port: port.value || '',
        clock: Math.max(0, clock.selectedIndex),
        kortsluitStop: boxes.kortsluitStop.box.checked,
        timeOut: boxes.timeOut.box.checked,
        kortsluitMelding: boxes.kortsluitMelding.box.checked,
        baud19200: boxes.baud19200.box.checked,
        testen: boxes.testen.box.checked,
        // An empty test time keeps the one there is.
        testTijd: isNaN(tijd) ? settingsState.settings.testTijd : tijd
      };
      send({ cmd: 'settings', settings: s });
    }

    updaters.instellingen = function (m) {
      var s = m.settings;
      method[0].radio.checked = !s.parallel;
      method[1].radio.checked = s.parallel;
      port.textContent = '';
      m.ports.forEach(function (p) { port.appendChild(el('option', { value: p.value, text: p.line })); });
      port.value = s.port;
      clock.textContent = '';
      m.clocks.forEach(function (c) { clock.appendChild(el('option', { text: c })); });
      clock.selectedIndex = s.clock;
      enable(port, m.enabled.port);
      enable(clock, m.enabled.clock);
      ['kortsluitStop', 'timeOut', 'baud19200'].forEach(function (name) { enable(boxes[name].box, m.enabled[name]); });
      Object.keys(boxes).forEach(function (name) { boxes[name].box.checked = s[name]; });
      enable(boxes.kortsluitMelding.box, true);
      enable(boxes.testen.box, true);
      setRange(time, [m.testTijd.minimum, m.testTijd.maximum], m.testTijd.step);
      setNumber(time, s.testTijd);
      [method[0].radio, method[1].radio, time, ok, cancel, open, save, refresh].forEach(function (c) { enable(c, true); });
      enable(ledUit, m.enabled.ledUit);
      print.disabled = false;
      notes.textContent = '';
      m.notes.forEach(function (note) { notes.appendChild(el('p', { 'class': 'klein', text: note })); });
      state.textContent = m.settingUp ? t('Bezig met verbinden...') :
        m.connected ? t('Verbonden') + ' (' + (m.transport === 'parallel' ? 'Parallel' : 'Serieel') + ')' : t('Niet verbonden');
      var bar = document.getElementById('verbinding');
      bar.textContent = state.textContent + (m.reconnect ? ' \u2014 ' + m.reconnect : '');
      bar.className = m.connected ? 'status' : 'status fout';
    };
  }

  // ---- tabs, control, messages ----

  function buildTabs() {
    var list = document.getElementById('tabs');
    PAGES.forEach(function (page) {
      var tab = el('button', { type: 'button', role: 'tab', id: 'tab-' + page.key,
        'aria-controls': page.key, 'aria-selected': page.key === shown ? 'true' : 'false', text: t(page.name) });
      tab.dataset.text = page.name;
      if (page.tool) tab.classList.add('gereedschap');
      tab.addEventListener('click', function () { show(page.key, true); });
      list.appendChild(tab);
    });
  }

  // Shows a tab; the driving page tells the server, which runs the rules of the tab left (a
  // card page's, the settings') as the desktop does when the focus leaves it.
  function show(key, byUser) {
    var previous = shown;
    shown = key;
    PAGES.forEach(function (page) {
      document.getElementById(page.key).hidden = page.key !== key;
      document.getElementById('tab-' + page.key).setAttribute('aria-selected', page.key === key ? 'true' : 'false');
    });
    if (byUser && control.drives && key !== previous)
      send({ cmd: 'show', page: key });
    if (tools) tools.shown(key);
  }

  var droveBefore = false;

  function updateControl() {
    // A page that comes to drive makes the tab it shows the one the server knows.
    if (control.drives && !droveBefore)
      send({ cmd: 'show', page: shown });
    droveBefore = control.drives;
    var state = document.getElementById('besturing');
    var take = document.getElementById('overnemen');
    if (control.drives) {
      state.textContent = t('U bestuurt het rek.');
    } else if (control.driverPresent) {
      state.textContent = t('U kijkt mee: een andere pagina bestuurt het rek.');
    } else {
      state.textContent = t('U kijkt mee; niemand bestuurt het rek.');
    }
    take.hidden = control.drives || !control.mayDrive;
    document.body.classList.toggle('kijker', !control.drives);
    redraw();
  }

  function redraw() {
    if (pagesState) {
      Object.keys(pagesState.pages).forEach(function (key) {
        if (updaters[key]) updaters[key](pagesState.pages[key]);
      });
    }
    if (settingsState) updaters.instellingen(settingsState);
    if (tools) tools.redraw();
  }

  function showMessage(text, informative) {
    document.getElementById('meldingTekst').textContent = text;
    document.getElementById('meldingUitleg').textContent = informative || '';
    document.getElementById('melding').hidden = false;
    document.getElementById('meldingOk').focus();
  }

  function translate() {
    Array.prototype.forEach.call(document.querySelectorAll('[data-text]'), function (node) {
      node.textContent = t(node.dataset.text);
    });
    updateControl();
  }

  function received(event) {
    var message = JSON.parse(event.data);
    if (tools && tools.received(message)) return;
    switch (message.type) {
    case 'pages':
      pagesState = message;
      redraw();
      break;
    case 'settings':
      settingsState = message;
      updaters.instellingen(message);
      break;
    case 'control':
      control = message;
      updateControl();
      break;
    case 'actions':
      actions = {};
      message.actions.forEach(function (action) {
        var fields = {};
        action.fields.forEach(function (field) { fields[field.name] = [field.minimum, field.maximum]; });
        actions[action.page + '.' + action['do']] = fields;
      });
      break;
    case 'show':
      show(message.page, false);
      break;
    case 'texts':
      texts = message.texts;
      if (message.rack) document.getElementById('introRek').textContent = message.rack;
      translate();
      break;
    case 'message':
      showMessage(message.text, message.informative);
      break;
    case 'refused':
      if (window.console) console.warn('refused: ' + message.reason);
      break;
    }
  }

  function connect() {
    var scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/ws');
    socket.onopen = function () {
      retry = 500;
      document.getElementById('verbinding').className = 'status';
    };
    socket.onmessage = received;
    socket.onclose = function () {
      var bar = document.getElementById('verbinding');
      bar.textContent = t('De verbinding met Morvelplint is weg; opnieuw verbinden...');
      bar.className = 'status fout';
      control = { drives: false, mayDrive: control.mayDrive, driverPresent: false };
      updateControl();
      setTimeout(connect, retry);
      retry = Math.min(retry * 2, 5000);
    };
  }

  buildTabs();
  buildBusWord('sck');
  buildBusWord('pck');
  buildSlk();
  buildXbk();
  buildBk3();
  buildLkk();
  buildIok();
  buildSettings();
  if (tools) tools.build({
    el: el, send: send, t: t, fieldset: fieldset, lamp: lamp, setLamp: setLamp, check: check,
    number: number, setNumber: setNumber, setRange: setRange, radios: radios, enable: enable
  });
  document.getElementById('overnemen').addEventListener('click', function () { send({ cmd: 'takeOver' }); });
  document.getElementById('meldingOk').addEventListener('click', function () {
    document.getElementById('melding').hidden = true;
  });
  // The driving page's heartbeat; a page gone for three seconds gives up control.
  setInterval(function () { send({ cmd: 'ping' }); }, 1000);
  // A page put away leaves its settings, as their window's deactivation does on the desktop.
  document.addEventListener('visibilitychange', function () {
    if (document.hidden && shown === 'instellingen' && control.drives) send({ cmd: 'settingsLeft' });
  });
  updateControl();
  connect();
})();
