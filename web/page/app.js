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
    if (!holding && command.cmd !== 'ping') letGo();
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
    node.dataset.colour = 'wit';
    return node;
  }
  var COLOURS = ['geel', 'wit', 'grijs', 'groen', 'rood'];
  // A lamp's colour; its other classes (its size, its shape) stay.
  function setLamp(node, colour) {
    // A frame repeats most lamps as they are: the page is touched only where one changed.
    if (node.dataset.colour === colour) return;
    node.dataset.colour = colour;
    COLOURS.forEach(function (c) { node.classList.toggle(c, c === colour); });
    node.setAttribute('aria-label', node.dataset.label + ': ' + colour);
  }
  // A text that a frame repeats, set only when it changed.
  function setText(node, text) {
    if (node.textContent !== text) node.textContent = text;
  }
  function melder(label) {
    var light = lamp(label);
    return { node: el('div', { 'class': 'melder' }, [light, el('span', { 'class': 'naam', text: label })]), lamp: light };
  }

  // A bit or pin button: its text its state, "0" or "1", and its name its label with that
  // state, "D0: 1", so that what it shows is inside what it is called.
  function bitButton(label, onclick) {
    var button = el('button', { type: 'button', 'class': 'bitknop', text: '0', onclick: onclick });
    var caption = el('span', { text: label, 'aria-hidden': 'true' });
    var bit = { node: el('div', { 'class': 'bit' }, [caption, button]), button: button, caption: caption, label: label };
    nameBit(bit, '0');
    return bit;
  }
  function nameBit(bit, state) {
    var name = bit.label + ': ' + state;
    if (bit.button.getAttribute('aria-label') !== name) bit.button.setAttribute('aria-label', name);
  }
  function setBit(bit, one, enabled) {
    setText(bit.button, one ? '1' : '0');
    nameBit(bit, bit.button.textContent);
    bit.button.disabled = !enabled || !control.drives;
  }
  function setBitLabel(bit, label) {
    bit.label = label;
    bit.caption.textContent = label;
    nameBit(bit, bit.button.textContent);
  }

  // A row that keeps its width and scrolls sideways on a narrow screen. It is in the reading
  // order itself, so that the keyboard scrolls it also when its buttons are disabled (a
  // watching page).
  function sideways(content, label) {
    return el('div', { 'class': 'zijwaarts', tabindex: '0', role: 'region', 'aria-label': label }, [content]);
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

  // A box or radio button the user just changed shows what the user made of it until the
  // server's state agrees: a state that left before the change was applied (the user clicks
  // faster than the frames come) does not turn it back. After HOLD_MS (a change the server
  // refused) the server's state shows again.
  // Any other command (a button, a field; the heartbeat is none) lets go of them all: what
  // the server says after it is its answer to that command.
  var HOLD_MS = 1000;
  var held = [];
  var holding = false;
  function hold(inputs, change) {
    var until = Date.now() + HOLD_MS;
    inputs.forEach(function (input) { input.heldUntil = until; held.push(input); });
    setTimeout(redraw, HOLD_MS + 1);
    holding = true;
    try { change(); } finally { holding = false; }
  }
  function letGo() {
    held.forEach(function (input) { input.heldUntil = 0; });
    held = [];
  }
  function setChecked(input, value) {
    if (input.checked === value) input.heldUntil = 0;
    else if (!(input.heldUntil > Date.now())) input.checked = value;
  }

  function check(label, onchange) {
    var box = el('input', { type: 'checkbox' });
    box.addEventListener('change', function () { hold([box], function () { onchange(box.checked); }); });
    return { node: el('label', { 'class': 'keuze' }, [box, label]), box: box };
  }

  // Radio buttons; a click on the chosen one counts too, as a click does on the desktop.
  function radios(name, items, onpick) {
    var list = items.map(function (item, index) {
      var radio = el('input', { type: 'radio', name: name, value: index });
      radio.addEventListener('click', function () {
        hold(list.map(function (r) { return r.radio; }), function () { onpick(index); });
      });
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
      setBitLabel(bits[5], p.d5Caption);
      [0, 1, 2, 3, 4, 5, 6, 7].forEach(function (bit) {
        var enabled = bit === 5 ? p.d5Enabled : bit >= 6 ? p.strobeButtonsEnabled : true;
        setBit(bits[bit], p.bits[bit], enabled);
        bits[bit].caption.className = enabled ? '' : 'uit';
      });
      strobe.forEach(function (r, index) {
        setChecked(r.radio, index === p.strobe);
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
      setChecked(mode[0].radio, !p.rackMode);
      setChecked(mode[1].radio, p.rackMode);
      mode.forEach(function (r) { enable(r.radio, true); });
      setText(label, p.label);
      value.setAttribute('aria-label', p.label);
      setRange(value, [p.minimum, p.maximum]);
      setNumber(value, p.value);
      enable(value, true);
      setText(button, p.caption);
      enable(button, p.enabled);
    };
  }

  // The speed bar, upright as the desktop's, its scale on both sides. Its value is the speed,
  // the position's range turned round (position 0, full speed, at the top). While it is
  // dragged its position goes to the server at most once per 50 ms, and the last one always.
  var SPEED_PAUSE_MS = 50;
  function speedControl(key) {
    var speed = el('input', { type: 'range', value: 0, 'aria-label': 'Snelheid', 'class': 'snelheid' });
    var left = el('div', { 'class': 'schaal links', 'aria-hidden': 'true' });
    var right = el('div', { 'class': 'schaal rechts', 'aria-hidden': 'true' });
    var sent = null;
    var waiting = null;
    var scale = '';
    function position() { return Number(speed.max) - parseInt(speed.value, 10); }
    function flush() {
      waiting = null;
      if (position() === sent) return;
      sent = position();
      act(key, 'speed', { position: sent });
      waiting = setTimeout(flush, SPEED_PAUSE_MS);
    }
    speed.addEventListener('input', function () { if (!waiting) flush(); });
    speed.addEventListener('change', function () {
      if (waiting) clearTimeout(waiting);
      flush();
    });
    // The scale's marks every five, from the range the server gives.
    function showScale() {
      var text = speed.min + '-' + speed.max;
      if (text === scale) return;
      scale = text;
      [left, right].forEach(function (side) {
        side.textContent = '';
        for (var v = Number(speed.max); v >= Number(speed.min); v -= 5) {
          var mark = el('span', { text: String(v) });
          mark.style.top = (100 * (Number(speed.max) - v) / (Number(speed.max) - Number(speed.min))) + '%';
          side.appendChild(mark);
        }
      });
    }
    return {
      node: fieldset('Snelheid', [el('div', { 'class': 'balk' }, [left, speed, right])]),
      speed: speed,
      // The server's position, unless the bar is in the user's hands.
      show: function (range, value) {
        setRange(speed, range);
        showScale();
        if (document.activeElement !== speed && !waiting) {
          speed.value = Number(speed.max) - value;
          sent = value;
        }
        enable(speed, true);
      }
    };
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
          setChecked(s.box, p.sections[4 * g + k]);
          enable(s.box, p.sectionsEnabled);
          setLamp(s.lamp, p.s[4 * g + k]);
        });
        setLamp(group.kort.lamp, p.kort[g]);
      });
      speed.show(rangeOf('xbk', 'speed', 'position'), p.speedPosition);
      setText(button, p.caption);
      enable(button, p.enabled);
      setText(label9, p.label9);
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
      boxes.forEach(function (b, k) { setChecked(b.box, p.sections[k]); enable(b.box, p.sectionsEnabled); });
      lamps.forEach(function (m, k) { setLamp(m.lamp, p.s[k]); });
      setLamp(kort.lamp, p.kort[0]);
      speed.show(rangeOf('bk3', 'speed', 'position'), p.speedPosition);
      setText(button, p.caption);
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
    // Four rows of 16, one per pin word, as on the desktop; sideways on a narrow screen.
    var grid = el('div', { 'class': 'raster zestien' });
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
    panel.appendChild(fieldset('Pennen', [sideways(grid, 'Pennen')]));
    updaters.lkk = function (p) {
      setRange(address, rangeOf('lkk', 'address', 'value'));
      setNumber(address, p.address);
      enable(address, true);
      evl.forEach(function (r, index) { setChecked(r.radio, index === p.evl); enable(r.radio, p.evlEnabled); });
      setChecked(tester.box, p.tester);
      enable(tester.box, true);
      setText(button, p.caption);
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
    // A row of 16 outputs over a row of 16 inputs, as on the desktop.
    var outGrid = el('div', { 'class': 'raster zestien' });
    var inGrid = el('div', { 'class': 'raster zestien' });
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
    panel.appendChild(fieldset('Uitgangen', [sideways(outGrid, 'Uitgangen')]));
    panel.appendChild(fieldset('Ingangen', [sideways(inGrid, 'Ingangen')]));
    updaters.iok = function (p) {
      setRange(address, rangeOf('iok', 'address', 'value'));
      setNumber(address, p.address);
      enable(address, true);
      setChecked(testen.box, p.testen);
      enable(testen.box, true);
      setText(button, p.caption);
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
      setChecked(method[0].radio, !s.parallel);
      setChecked(method[1].radio, s.parallel);
      port.textContent = '';
      m.ports.forEach(function (p) { port.appendChild(el('option', { value: p.value, text: p.line })); });
      port.value = s.port;
      clock.textContent = '';
      m.clocks.forEach(function (c) { clock.appendChild(el('option', { text: c })); });
      clock.selectedIndex = s.clock;
      enable(port, m.enabled.port);
      enable(clock, m.enabled.clock);
      ['kortsluitStop', 'timeOut', 'baud19200'].forEach(function (name) { enable(boxes[name].box, m.enabled[name]); });
      Object.keys(boxes).forEach(function (name) { setChecked(boxes[name].box, s[name]); });
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

  // The tab list as the WAI-ARIA tabs pattern has it: one tab in the reading order (the one
  // shown), the arrow keys, Home and End move between the tabs, Enter or Space shows one.
  // Below 600 pixels the list is a menu that the button "Pagina's" opens.
  function buildTabs() {
    var list = document.getElementById('tabs');
    var menu = document.getElementById('menu');
    PAGES.forEach(function (page) {
      var tab = el('button', { type: 'button', role: 'tab', id: 'tab-' + page.key,
        'aria-controls': page.key, 'aria-selected': page.key === shown ? 'true' : 'false',
        tabindex: page.key === shown ? '0' : '-1', text: t(page.name) });
      tab.dataset.text = page.name;
      if (page.tool) tab.classList.add('gereedschap');
      tab.addEventListener('click', function () {
        show(page.key, true);
        if (menuOpen()) openMenu(false, true);
      });
      list.appendChild(tab);
    });
    list.addEventListener('keydown', function (event) {
      var tabs = Array.prototype.filter.call(list.querySelectorAll('[role="tab"]'), function (tab) { return !tab.hidden; });
      var at = tabs.indexOf(document.activeElement);
      var to = -1;
      if (at < 0) return;
      if (event.key === 'ArrowRight' || event.key === 'ArrowDown') to = (at + 1) % tabs.length;
      else if (event.key === 'ArrowLeft' || event.key === 'ArrowUp') to = (at + tabs.length - 1) % tabs.length;
      else if (event.key === 'Home') to = 0;
      else if (event.key === 'End') to = tabs.length - 1;
      else if (event.key === 'Escape' && menuOpen()) { openMenu(false, true); event.preventDefault(); }
      if (to < 0) return;
      event.preventDefault();
      tabs[to].focus();
    });
    menu.addEventListener('click', function () { openMenu(!menuOpen(), false); });
  }
  // The menu button of a narrow screen names the page shown.
  function nameMenu() {
    document.getElementById('menuPagina').textContent = document.getElementById('tab-' + shown).textContent;
  }
  function menuOpen() { return document.getElementById('menu').getAttribute('aria-expanded') === 'true'; }
  // Opens or closes the menu of pages: open, the focus is on the tab shown; closed by a choice
  // or Escape, it is back on the button.
  function openMenu(open, focusButton) {
    var menu = document.getElementById('menu');
    menu.setAttribute('aria-expanded', open ? 'true' : 'false');
    document.getElementById('navigatie').classList.toggle('open', open);
    if (open) document.getElementById('tab-' + shown).focus();
    else if (focusButton && getComputedStyle(menu).display !== 'none') menu.focus();
  }

  // Shows a tab; the driving page tells the server, which runs the rules of the tab left (a
  // card page's, the settings') as the desktop does when the focus leaves it.
  function show(key, byUser) {
    var previous = shown;
    shown = key;
    if (byUser) chosen = true;
    PAGES.forEach(function (page) {
      document.getElementById(page.key).hidden = page.key !== key;
      var tab = document.getElementById('tab-' + page.key);
      tab.setAttribute('aria-selected', page.key === key ? 'true' : 'false');
      tab.tabIndex = page.key === key ? 0 : -1;
    });
    nameMenu();
    if (byUser && control.drives && key !== previous)
      send({ cmd: 'show', page: key });
    if (tools) tools.shown(key);
  }

  var droveBefore = false;
  // Whether the user chose a tab here; until then the page shows the server's.
  var chosen = false;
  var adopted = false;

  function updateControl() {
    // A page that comes to drive makes the tab the user chose in it the one the server knows.
    if (control.drives && !droveBefore && chosen)
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
    // The view-only address's code, from the server; on the loopback there is none.
    var code = document.getElementById('meekijken');
    code.hidden = !control.viewCode;
    if (!control.viewCode) document.getElementById('meekijkcode').hidden = true;
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

  // A message box as the desktop's: the program's title, the icon of an error or of
  // information, one OK; the focus goes back where it was when it closes.
  var focusBefore = null;
  function showMessage(text, informative, error) {
    var box = document.getElementById('melding');
    var icon = document.getElementById('meldingIcoon');
    document.getElementById('meldingTekst').textContent = text;
    document.getElementById('meldingUitleg').textContent = informative || '';
    icon.src = error ? 'fout.svg' : 'informatie.svg';
    icon.alt = t(error ? 'Fout' : 'Informatie');
    if (box.hidden) focusBefore = document.activeElement;
    box.hidden = false;
    ['header', 'nav', 'main'].forEach(function (tag) { document.querySelector(tag).inert = true; });
    document.getElementById('meldingOk').focus();
  }
  function closeMessage() {
    document.getElementById('melding').hidden = true;
    ['header', 'nav', 'main'].forEach(function (tag) { document.querySelector(tag).inert = false; });
    if (focusBefore && document.contains(focusBefore) && focusBefore.focus) focusBefore.focus();
    focusBefore = null;
  }

  function translate() {
    Array.prototype.forEach.call(document.querySelectorAll('[data-text]'), function (node) {
      node.textContent = t(node.dataset.text);
    });
    nameMenu();
    updateControl();
  }

  function received(event) {
    var message = JSON.parse(event.data);
    if (tools && tools.received(message)) return;
    switch (message.type) {
    case 'pages':
      pagesState = message;
      // A page opened after the set-up at the start showed its page shows that page too.
      if (!adopted) {
        adopted = true;
        if (!chosen && message.active && message.active !== shown) show(message.active, false);
      }
      redraw();
      break;
    case 'settings':
      settingsState = message;
      updaters.instellingen(message);
      break;
    case 'control':
      control = message;
      // Back in the tab that drove: the server says which page it shows.
      if (message.resumed) droveBefore = true;
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
      showMessage(message.text, message.informative, message.error);
      break;
    case 'refused':
      if (window.console) console.warn('refused: ' + message.reason);
      break;
    }
  }

  // This tab's own name, kept across its reloads, so that a driving page reloaded (or back
  // after a moment without network) drives on.
  function tabId() {
    var key = 'morvelplint-tab';
    var id = null;
    try { id = window.sessionStorage.getItem(key); } catch (e) { id = null; }
    if (!id || !/^[0-9a-f]{32}$/.test(id)) {
      var bytes = new Uint8Array(16);
      (window.crypto || window.msCrypto).getRandomValues(bytes);
      id = '';
      for (var i = 0; i < bytes.length; ++i) id += (bytes[i] < 16 ? '0' : '') + bytes[i].toString(16);
      try { window.sessionStorage.setItem(key, id); } catch (e) { /* a tab without storage */ }
    }
    return id;
  }

  function connect() {
    var scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
    socket = new WebSocket(scheme + location.host + '/ws?tab=' + tabId());
    socket.onopen = function () {
      retry = 500;
      document.getElementById('verbinding').className = 'status';
    };
    socket.onmessage = received;
    socket.onclose = function (event) {
      var bar = document.getElementById('verbinding');
      bar.textContent = event.reason === 'behind'
        ? t('Deze pagina liep te ver achter; opnieuw verbinden...')
        : t('De verbinding met Morvelplint is weg; opnieuw verbinden...');
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
    number: number, setNumber: setNumber, setRange: setRange, radios: radios, setChecked: setChecked, enable: enable,
    sideways: sideways
  });
  document.getElementById('overnemen').addEventListener('click', function () { send({ cmd: 'takeOver' }); });
  document.getElementById('meekijken').addEventListener('click', function () {
    var box = document.getElementById('meekijkcode');
    var image = document.getElementById('meekijkbeeld');
    if (!image.getAttribute('src')) image.setAttribute('src', 'qr/view.svg');
    box.hidden = !box.hidden;
    this.setAttribute('aria-expanded', box.hidden ? 'false' : 'true');
  });
  document.getElementById('meldingOk').addEventListener('click', closeMessage);
  document.getElementById('melding').addEventListener('keydown', function (event) {
    if (event.key === 'Escape') { event.preventDefault(); closeMessage(); }
    // The one button keeps the focus.
    if (event.key === 'Tab') { event.preventDefault(); document.getElementById('meldingOk').focus(); }
  });
  // The driving page's heartbeat; a page gone for three seconds gives up control.
  setInterval(function () { send({ cmd: 'ping' }); }, 1000);
  // A page put away leaves its settings, as their window's deactivation does on the desktop.
  document.addEventListener('visibilitychange', function () {
    if (document.hidden && shown === 'instellingen' && control.drives) send({ cmd: 'settingsLeft' });
  });
  // The pictures come once the page has loaded, on the connections it has open: a page holds
  // no more of the server's few connections than its first files need.
  window.addEventListener('load', function () {
    Array.prototype.forEach.call(document.querySelectorAll('img[data-src]'), function (img) {
      img.src = img.dataset.src;
    });
  });
  updateControl();
  connect();
})();
