// The tools beside the card pages: the bus monitor, the rack view, the card diagnostics, help
// and about. Like the pages, a view on what morvelplint-web pushes; app.js builds them with
// its helpers and hands them the messages it does not take itself.
'use strict';

window.MorvelplintTools = (function () {
  var ui = null;
  var shown = '';
  var available = { monitor: false, rack: false };
  var KIND_NAMES = { test: 'test', selection: 'SLK', 'two-rail': '(?)BK', 'three-rail': '3BK', latch: 'LKK', io: 'IOK' };

  function t(text) { return ui.t(text); }

  // ---- the bus monitor ----

  var monitor = {
    rows: [],      // {s, t, w, tr}, in order
    bySequence: {},
    received: 0,   // rows taken in since the page opened, for the curious
    timeMode: 0,
    frozen: false
  };
  var KEEP_ROWS = 1000;
  var COLUMNS = ['Tijd', 'Richting', 'Woord', 'Bits', 'Strobe', 'Adres/data', 'Antwoord', 'Betekenis', 'Latentie (ms)', 'Status'];

  function pad(n, width) { n = String(n); while (n.length < width) n = '0' + n; return n; }

  function timeText(row, previous) {
    if (monitor.timeMode === 1)
      return previous ? ((row.t - previous.t) / 1e6).toFixed(3) : '';
    if (monitor.timeMode === 2) {
      var d = new Date(row.w);
      return pad(d.getHours(), 2) + ':' + pad(d.getMinutes(), 2) + ':' + pad(d.getSeconds(), 2) + '.' + pad(d.getMilliseconds(), 3);
    }
    return (row.t / 1e9).toFixed(6);
  }

  function rowNode(row) {
    var tr = ui.el('tr', { 'class': row.k === 1 ? 'geenAntwoord' : row.k === 2 ? 'mislukt' : '' });
    tr.appendChild(ui.el('td', { text: '' }));
    row.c.forEach(function (cell) { tr.appendChild(ui.el('td', { text: cell })); });
    return tr;
  }

  function retime(from) {
    for (var i = Math.max(0, from); i < monitor.rows.length; ++i)
      monitor.rows[i].tr.firstChild.textContent = timeText(monitor.rows[i], monitor.rows[i - 1]);
  }

  function takeRows(message, body) {
    if (message.remade) {
      body.textContent = '';
      monitor.rows = [];
      monitor.bySequence = {};
    }
    var firstChanged = monitor.rows.length;
    message.rows.forEach(function (row) {
      ++monitor.received;
      var known = monitor.bySequence[row.s];
      row.tr = rowNode(row);
      if (known) {
        var index = monitor.rows.indexOf(known);
        body.replaceChild(row.tr, known.tr);
        monitor.rows[index] = row;
        firstChanged = Math.min(firstChanged, index);
      } else {
        body.appendChild(row.tr);
        monitor.rows.push(row);
      }
      monitor.bySequence[row.s] = row;
    });
    // Rows the recording no longer holds, and beyond what a page keeps.
    var drop = 0;
    while (drop < monitor.rows.length && (monitor.rows[drop].s < message.begin || monitor.rows.length - drop > KEEP_ROWS)) ++drop;
    monitor.rows.splice(0, drop).forEach(function (row) {
      delete monitor.bySequence[row.s];
      body.removeChild(row.tr);
    });
    retime(Math.max(0, firstChanged - drop));
  }

  function buildMonitor() {
    var panel = document.getElementById('monitor');
    var freeze = ui.check(t('Bevriezen'), function (ticked) {
      monitor.frozen = ticked;
      ui.send({ cmd: 'monitor', 'do': 'freeze', ticked: ticked });
    });
    var clear = ui.el('button', { type: 'button', text: t('Wissen'), onclick: function () { ui.send({ cmd: 'monitor', 'do': 'clear' }); } });
    var time = ui.el('select', { 'aria-label': t('Tijd') });
    ['Tijd vanaf de start', 'Tijd na de vorige rij', 'Kloktijd'].forEach(function (name) {
      time.appendChild(ui.el('option', { text: t(name) }));
    });
    time.addEventListener('change', function () { monitor.timeMode = time.selectedIndex; retime(0); });
    var filters = {};
    [['address', 'Adres'], ['data', 'Data'], ['latchAddress', 'Latchadres'], ['latchData', 'Latchdata'], ['other', 'Overig']]
      .forEach(function (item) {
        filters[item[0]] = ui.check(t(item[1]), sendFilter);
        ui.setChecked(filters[item[0]].box, true);
      });
    var place = ui.el('select', { 'aria-label': t('Plaats:') });
    place.appendChild(ui.el('option', { value: '-1', text: t('alle') }));
    for (var p = 0; p < 64; ++p) place.appendChild(ui.el('option', { value: String(p), text: String(p) }));
    place.addEventListener('change', sendFilter);
    var problems = ui.check(t('Alleen problemen'), sendFilter);
    var note = ui.el('input', { type: 'text', maxlength: '500', 'aria-label': t('Notitie bij dit moment'), placeholder: t('Notitie bij dit moment') });
    var noteButton = ui.el('button', { type: 'button', text: t('Notitie'), onclick: function () {
      if (!note.value.trim()) return;
      ui.send({ cmd: 'monitor', 'do': 'note', text: note.value });
      note.value = '';
    } });
    var shownOnly = ui.check(t('Alleen de getoonde rijen'), function () {});
    var pcapng = ui.el('a', { href: '#', 'class': 'knop', download: 'opname.pcapng', text: 'pcapng' });
    var csv = ui.el('a', { href: '#', 'class': 'knop', download: 'opname.csv', text: 'CSV' });
    function downloadHref(name) {
      var query = '';
      if (shownOnly.box.checked) {
        var f = filterValue();
        query = '?shown=1&address=' + (f.address ? 1 : 0) + '&data=' + (f.data ? 1 : 0) +
          '&latchAddress=' + (f.latchAddress ? 1 : 0) + '&latchData=' + (f.latchData ? 1 : 0) +
          '&other=' + (f.other ? 1 : 0) + '&place=' + f.place + '&problems=' + (f.problems ? 1 : 0);
      }
      return 'download/' + name + query;
    }
    [pcapng, csv].forEach(function (link) {
      link.addEventListener('click', function () { link.href = downloadHref(link.getAttribute('download')); });
    });
    var counters = ui.el('p', { id: 'monitorTellers', role: 'status', 'class': 'klein' });
    // The rows this page missed since it read too slowly (beside "Verloren", which counts what
    // the recording itself lost).
    var countersText = ui.el('span', {});
    var missed = ui.el('span', { id: 'monitorGemist' });
    counters.appendChild(countersText);
    counters.appendChild(missed);
    var head = ui.el('tr', {}, COLUMNS.map(function (name) { return ui.el('th', { scope: 'col', text: t(name) }); }));
    var body = ui.el('tbody', {});
    var table = ui.el('table', { 'class': 'rijen', 'aria-label': t('Busmonitor') }, [ui.el('thead', {}, [head]), body]);

    function filterValue() {
      return {
        address: filters.address.box.checked, data: filters.data.box.checked,
        latchAddress: filters.latchAddress.box.checked, latchData: filters.latchData.box.checked,
        other: filters.other.box.checked, place: parseInt(place.value, 10), problems: problems.box.checked
      };
    }
    function sendFilter() {
      var command = filterValue();
      command.cmd = 'monitor';
      command['do'] = 'filter';
      ui.send(command);
    }

    panel.appendChild(ui.el('div', { 'class': 'rij' }, [freeze.node, clear, time]));
    panel.appendChild(ui.fieldset(t('Tonen:'), [ui.el('div', { 'class': 'rij' },
      Object.keys(filters).map(function (k) { return filters[k].node; }).concat([
        ui.el('label', { 'class': 'rij' }, [t('Plaats:'), place]), problems.node]))]));
    panel.appendChild(ui.el('div', { 'class': 'rij' }, [note, noteButton]));
    panel.appendChild(ui.el('div', { 'class': 'rij' }, [t('Bewaar...'), pcapng, csv, shownOnly.node]));
    panel.appendChild(counters);
    // The rows scroll in a region of their own, which the keyboard reaches and scrolls.
    var region = ui.el('div', { 'class': 'schuif', tabindex: '0', role: 'region', 'aria-label': t('Rijen') }, [table]);
    panel.appendChild(region);
    // The rows follow the newest unless the user scrolled back to older ones.
    var follow = true;
    function atEnd() { return region.scrollTop + region.clientHeight >= region.scrollHeight - 1; }
    region.addEventListener('scroll', function () { follow = atEnd(); });

    monitor.take = function (message) {
      takeRows(message, body);
      if (follow) region.scrollTop = region.scrollHeight;
    };
    monitor.counters = function (text) { countersText.textContent = text; };
    monitor.missed = function (rows) { missed.textContent = rows ? '  ' + t('Gemist op deze pagina:') + ' ' + rows : ''; };
    monitor.redraw = function () {
      ui.enable(clear, true);
      ui.enable(note, true);
      ui.enable(noteButton, true);
    };
    monitor.watch = function (on) {
      if (!on) {
        ui.send({ cmd: 'monitor', 'do': 'watch', ticked: false });
        return;
      }
      // Newly shown, the rows follow the newest.
      follow = true;
      ui.send({ cmd: 'monitor', 'do': 'watch', ticked: true });
      sendFilter();
      if (monitor.frozen) ui.send({ cmd: 'monitor', 'do': 'freeze', ticked: true });
    };
  }

  // ---- the rack view ----

  var rack = { state: null };

  function buildRack() {
    var panel = document.getElementById('rek');
    var grid = ui.el('div', { 'class': 'plaatsen' });
    var places = [];
    for (var p = 0; p < 64; ++p) {
      (function (n) {
        var name = ui.el('span', { 'class': 'soort', text: '' });
        var lines = [0, 1, 2, 3].map(function (k) { return ui.lamp(t('Plaats') + ' ' + n + ' ' + t('lijn') + ' ' + (k + 1)); });
        var kort = ui.lamp(t('Plaats') + ' ' + n + ' ' + t('Kortsluiting'));
        var cell = ui.el('button', { type: 'button', 'class': 'plaats', 'aria-label': t('Plaats') + ' ' + n, onclick: function () {
          faultPlace.value = String(n);
          showFaults();
        } }, [ui.el('span', { 'class': 'nummer', text: String(n) }), ' ', name,
          ui.el('span', { 'class': 'lampjes' }, lines.concat([kort]))]);
        places.push({ cell: cell, name: name, lines: lines, kort: kort });
        grid.appendChild(cell);
      })(p);
    }
    var lineBox = ui.el('div', {});
    var latchBox = ui.el('div', {});
    var ioBox = ui.el('div', {});
    var serialLine = ui.el('p', { 'class': 'klein', role: 'status' });

    // The faults, as the desktop's rack view offers them.
    var faultPlace = ui.el('select', { 'aria-label': t('Plaats') });
    for (p = 0; p < 64; ++p) faultPlace.appendChild(ui.el('option', { value: String(p), text: String(p) }));
    faultPlace.addEventListener('change', showFaults);
    var silent = ui.check(t('Stil (meldt niets)'), function (ticked) {
      ui.send({ cmd: 'rack', 'do': 'silent', place: Number(faultPlace.value), ticked: ticked });
    });
    var kortsluiting = ui.check(t('Kortsluiting'), function (ticked) {
      ui.send({ cmd: 'rack', 'do': 'short', place: Number(faultPlace.value), ticked: ticked });
    });
    var pin = ui.el('select', { 'aria-label': t('Ingang') });
    for (var n = 1; n <= 16; ++n) pin.appendChild(ui.el('option', { value: String(n), text: String(n) }));
    var level = ui.el('select', { 'aria-label': t('Ingang') + ' ' + t('werkt') });
    ['werkt', 'zit vast op 0', 'zit vast op 1'].forEach(function (name) { level.appendChild(ui.el('option', { text: t(name) })); });
    pin.addEventListener('change', showFaults);
    level.addEventListener('change', function () {
      ui.send({ cmd: 'rack', 'do': 'stuck', place: Number(faultPlace.value), pin: Number(pin.value), level: level.selectedIndex - 1 });
    });
    var stuckRow = ui.el('div', { 'class': 'rij' }, [t('Ingang'), pin, level]);
    var serialSilent = ui.check(t('Stil'), sendSerial);
    var garbage = ui.check(t('Onzin na elk antwoord'), sendSerial);
    var hangUp = ui.el('button', { type: 'button', text: t('Ophangen'), onclick: function () { ui.send({ cmd: 'rack', 'do': 'hangUp' }); } });
    var newCard = ui.el('button', { type: 'button', text: t('Nieuwe kaart'), onclick: function () { ui.send({ cmd: 'rack', 'do': 'newCard' }); } });
    function sendSerial() {
      ui.send({ cmd: 'rack', 'do': 'serial', silent: serialSilent.box.checked, garbage: garbage.box.checked });
    }
    var serialFaults = ui.fieldset(t('Seriele kaart'), [ui.el('div', { 'class': 'rij' }, [serialSilent.node, garbage.node, hangUp, newCard]), serialLine]);

    panel.appendChild(ui.fieldset(t('Storing op een kaart'), [
      ui.el('div', { 'class': 'rij' }, [ui.el('label', { 'class': 'rij' }, [t('Plaats'), faultPlace]), silent.node, kortsluiting.node]),
      stuckRow]));
    panel.appendChild(serialFaults);
    panel.appendChild(ui.fieldset(t('Rek'), [grid]));
    panel.appendChild(lineBox);
    panel.appendChild(latchBox);
    panel.appendChild(ioBox);

    // The fault controls as the server's view of them has them for the chosen place and pin.
    function showFaults() {
      var s = rack.state;
      if (!s) return;
      var place = s.places[Number(faultPlace.value)];
      ui.setChecked(silent.box, place.silent);
      ui.enable(silent.box, place.silentEnabled);
      ui.setChecked(kortsluiting.box, place.shorted);
      ui.enable(kortsluiting.box, place.shortEnabled);
      stuckRow.hidden = place.kind !== 'io';
      level.selectedIndex = place.stuckEnabled ? s.io.stuck[Number(pin.value) - 1] + 1 : 0;
      ui.enable(pin, place.stuckEnabled);
      ui.enable(level, place.stuckEnabled);
      serialFaults.hidden = !s.serial.present;
      ui.setChecked(serialSilent.box, s.serial.silent);
      ui.setChecked(garbage.box, s.serial.garbage);
      [serialSilent.box, garbage.box, hangUp].forEach(function (c) { ui.enable(c, s.serial.faultsEnabled); });
      ui.enable(newCard, s.serial.newCardEnabled);
      ui.enable(faultPlace, true);
    }

    var lineViews = [];
    var latchView = null;
    var ioView = null;

    function buildLines(s) {
      lineBox.textContent = '';
      lineViews = s.lines.map(function (line, i) {
        var cells = [];
        var row = ui.el('div', { 'class': 'secties' });
        for (var k = 0; k < line.sections; ++k) {
          var cell = ui.lamp(t('Lijn') + ' ' + (i + 1) + ' ' + t('sectie') + ' ' + (k + 1));
          cell.classList.add('vak');
          cells.push(cell);
          row.appendChild(cell);
        }
        var text = ui.el('p', { 'class': 'klein' });
        lineBox.appendChild(ui.fieldset(t('Lijn') + ' ' + (i + 1) + ' (' + KIND_NAMES[line.kind] + ' ' + line.places.join(', ') + ')', [row, text]));
        return { cells: cells, text: text };
      });
    }

    function buildLatch(s) {
      latchBox.textContent = '';
      latchView = null;
      if (s.latch.place < 0) return;
      var rows = [0, 1, 2, 3].map(function (evl) {
        var lamps = [];
        var row = ui.el('div', { 'class': 'pennen' });
        for (var k = 1; k <= 64; ++k) {
          var l = ui.lamp('EVL ' + 'ABCD'[evl] + ' ' + t('pen') + ' ' + k);
          l.classList.add('klein');
          lamps.push(l);
          row.appendChild(l);
        }
        return { row: ui.el('div', { 'class': 'rij' }, [ui.el('span', { text: 'EVL ' + 'ABCD'[evl] }), row]), lamps: lamps };
      });
      var all = ui.el('div', {}, rows.map(function (r) { return r.row; }));
      latchBox.appendChild(ui.fieldset('LKK ' + s.latch.place, [ui.sideways(all, 'LKK ' + s.latch.place)]));
      latchView = rows;
    }

    function buildIo(s) {
      ioBox.textContent = '';
      ioView = null;
      if (s.io.place < 0) return;
      var outs = [];
      var ins = [];
      var outRow = ui.el('div', { 'class': 'raster' });
      var inRow = ui.el('div', { 'class': 'raster' });
      for (var k = 1; k <= 16; ++k) {
        (function (pinNumber) {
          var o = ui.lamp(t('uit') + ' ' + pinNumber);
          outs.push(o);
          outRow.appendChild(ui.el('div', { 'class': 'melder' }, [o, ui.el('span', { 'class': 'naam', text: String(pinNumber) })]));
          var i = ui.lamp(t('in') + ' ' + pinNumber);
          var button = ui.el('button', { type: 'button', 'class': 'ingang', 'aria-label': t('in') + ' ' + pinNumber, onclick: function () {
            ui.send({ cmd: 'rack', 'do': 'input', pin: pinNumber });
          } }, [i]);
          ins.push({ lamp: i, button: button });
          inRow.appendChild(ui.el('div', { 'class': 'melder' }, [button, ui.el('span', { 'class': 'naam', text: String(pinNumber) })]));
        })(k);
      }
      var caption = ui.el('p', { 'class': 'klein' });
      ioBox.appendChild(ui.fieldset('IOK ' + s.io.place, [caption, ui.el('p', { text: t('uit') }), outRow, ui.el('p', { text: t('in') }), inRow]));
      ioView = { outs: outs, ins: ins, caption: caption };
    }

    function setLit(node, lit, colour) {
      var wanted = lit ? (colour || 'geel') : 'wit';
      if (!node.classList.contains(wanted)) ui.setLamp(node, wanted);
    }

    rack.take = function (s) {
      var previous = rack.state;
      rack.state = s;
      if (!previous || JSON.stringify(previous.lines.map(function (l) { return [l.places, l.sections]; })) !==
          JSON.stringify(s.lines.map(function (l) { return [l.places, l.sections]; }))) buildLines(s);
      if (!previous || previous.latch.place !== s.latch.place) buildLatch(s);
      if (!previous || previous.io.place !== s.io.place) buildIo(s);
      s.places.forEach(function (place, n) {
        var view = places[n];
        view.name.textContent = place.kind ? KIND_NAMES[place.kind] + (place.silent ? ' · ' + t('stil') : '') : '';
        view.cell.classList.toggle('leeg', !place.kind);
        view.cell.classList.toggle('gekozen', n === s.selected);
        // The name holds what the place shows: its number and its card.
        view.cell.setAttribute('aria-label', t('Plaats') + ' ' + n + ': ' + (place.kind ? view.name.textContent : t('lege plaats')));
        view.lines.forEach(function (l, k) { setLit(l, place.lines >> k & 1); });
        setLit(view.kort, place.short, 'rood');
      });
      s.lines.forEach(function (line, i) {
        var view = lineViews[i];
        view.cells.forEach(function (cell, k) { setLit(cell, line.occupied >> k & 1); });
        view.text.textContent = t('Locomotief') + ': ' + (line.position + 1).toFixed(1) + ' · ' +
          t('snelheid %1').replace('%1', line.speed) + ' · ' + (line.down ? '←' : '→') +
          (line.shorts.indexOf(true) >= 0 ? ' · ' + t('Kortsluiting') : '');
      });
      if (latchView) {
        latchView.forEach(function (row, evl) {
          var hex = s.latch.pins[evl];
          row.lamps.forEach(function (l, k) {
            var digit = parseInt(hex.charAt(15 - (k >> 2)), 16);
            setLit(l, digit >> (k & 3) & 1);
          });
        });
      }
      if (ioView) {
        ioView.caption.textContent = s.io.plug ? t('IOK %1: pennen 1 tot 16, testplug erin').replace('%1', s.io.place)
          : t('IOK %1: pennen 1 tot 16, zonder testplug (klik op een ingang)').replace('%1', s.io.place);
        s.io.outputs.forEach(function (on, k) {
          setLit(ioView.outs[k], on);
          setLit(ioView.ins[k].lamp, s.io.inputs[k]);
          ui.enable(ioView.ins[k].button, s.io.inputsClickable);
        });
      }
      serialLine.textContent = !s.serial.present ? '' : s.serial.hungUp ? t('Opgehangen') + ': ' + s.serial.path
        : t('Op %1.').replace('%1', s.serial.path) + (s.serial.connected ? '' : ' ' + t('niet verbonden'));
      showFaults();
    };
    rack.redraw = showFaults;
  }

  // ---- the card diagnostics ----

  var diag = { state: null };

  // The diagnostics' form is a view of the session's choice: every change goes to the server,
  // which answers with the choice as it keeps it, what may be used, the ranges and the run.
  function buildDiag() {
    var panel = document.getElementById('diagnose');
    var kind = ui.radios('diagTest', [t('IO-kaart via de testplug'), t('Rek scannen (plaatsen 0 tot 63)')], function () { sendChoice(); });
    var address = ui.number(t('Adres'), sendChoice);
    var plug = ui.el('select', { 'aria-label': t('Testplug') });
    [t('gelijk'), t('omgekeerd')].forEach(function (name) { plug.appendChild(ui.el('option', { text: name })); });
    plug.addEventListener('change', sendChoice);
    var names = ['walk1', 'walk0', 'checker', 'count', 'random'];
    var patterns = names.map(function (name) { return ui.check(name, sendChoice); });
    var seed = ui.number(t('zaad '), sendChoice);
    var count = ui.number(t('Cycli'), sendChoice);
    var end = ui.el('select', { 'aria-label': t('Cycli') });
    [t('Cycli'), t('Seconden'), t('Tot Stop')].forEach(function (name) { end.appendChild(ui.el('option', { text: name })); });
    end.addEventListener('change', sendChoice);
    var onError = ui.el('select', { 'aria-label': t('Fouten tellen en doorgaan') });
    [t('Fouten tellen en doorgaan'), t('Stoppen bij de eerste fout'), t('Stoppen na')].forEach(function (name) {
      onError.appendChild(ui.el('option', { text: name }));
    });
    onError.addEventListener('change', sendChoice);
    var maxErrors = ui.number(t(' fouten'), sendChoice);
    var ENDS = ['cycles', 'seconds', 'untilStop'];
    var ON_ERRORS = ['count', 'stopAtFirst', 'stopAfter'];
    var start = ui.el('button', { type: 'button', text: t('Start'), onclick: function () {
      if (diag.state && diag.state.running) {
        ui.send({ cmd: 'diag', 'do': 'stop' });
        return;
      }
      var command = choiceValue();
      command.cmd = 'diag';
      command['do'] = 'start';
      ui.send(command);
    } });
    var reset = ui.el('button', { type: 'button', text: t('Tellers op nul'), onclick: function () { ui.send({ cmd: 'diag', 'do': 'reset' }); } });
    var report = ui.el('a', { href: 'download/kaartdiagnose.json', download: 'kaartdiagnose.json', 'class': 'knop', text: t('Rapport bewaren...') });
    var counts = ui.el('pre', { id: 'diagTellers', 'class': 'tellers', role: 'status' });
    var verdict = ui.el('p', { id: 'diagOordeel', 'class': 'oordeel', role: 'status', 'aria-live': 'polite' });
    var inputs = [];
    var inputGrid = ui.el('div', { 'class': 'ingangen' });
    for (var i = 0; i < 16; ++i) {
      var box = ui.el('div', { 'class': 'ingang', role: 'img', 'aria-label': String(i + 1) });
      inputs.push(box);
      inputGrid.appendChild(box);
    }
    var patternRow = ui.el('div', { 'class': 'rij' }, patterns.map(function (p) { return p.node; }).concat([ui.el('label', { 'class': 'rij' }, [t('zaad '), seed])]));
    var plugRow = ui.el('div', { 'class': 'rij' }, [ui.el('label', { 'class': 'rij' }, [t('Adres'), address]), ui.el('label', { 'class': 'rij' }, [t('Testplug'), plug])]);
    panel.appendChild(ui.fieldset(t('Test'), kind.map(function (r) { return r.node; }).concat([plugRow])));
    panel.appendChild(ui.fieldset(t('Patronen'), [patternRow]));
    panel.appendChild(ui.el('div', { 'class': 'rij' }, [count, end, onError, maxErrors]));
    panel.appendChild(ui.el('div', { 'class': 'rij' }, [start, reset, report]));
    panel.appendChild(counts);
    panel.appendChild(ui.fieldset(t('Ingangen'), [inputGrid]));
    panel.appendChild(verdict);

    function number(input) { return parseInt(input.value, 10); }
    function choiceValue() {
      var c = diag.state.choice;
      function or(value, kept) { return isNaN(value) ? kept : value; }
      return {
        scan: kind[1].radio.checked, place: or(number(address), c.place), inverted: plug.selectedIndex === 1,
        patterns: patterns.map(function (p) { return p.box.checked; }), seed: or(number(seed), c.seed),
        end: ENDS[end.selectedIndex], count: or(number(count), c.count),
        onError: ON_ERRORS[onError.selectedIndex], maxErrors: or(number(maxErrors), c.maxErrors)
      };
    }
    function sendChoice() {
      if (!diag.state) return;
      var command = choiceValue();
      command.cmd = 'diag';
      command['do'] = 'choice';
      ui.send(command);
    }
    function showChoice() {
      var s = diag.state;
      if (!s) return;
      var c = s.choice;
      var e = s.enabled;
      ui.setChecked(kind[0].radio, !c.scan);
      ui.setChecked(kind[1].radio, c.scan);
      ui.setRange(address, s.ranges.place);
      ui.setNumber(address, c.place);
      plug.selectedIndex = c.inverted ? 1 : 0;
      patterns.forEach(function (p, k) { ui.setChecked(p.box, c.patterns[k]); ui.enable(p.box, e.patterns); });
      ui.setRange(seed, s.ranges.seed);
      ui.setNumber(seed, c.seed);
      end.selectedIndex = ENDS.indexOf(c.end);
      ui.setRange(count, s.ranges.count);
      ui.setNumber(count, c.count);
      onError.selectedIndex = ON_ERRORS.indexOf(c.onError);
      ui.setRange(maxErrors, s.ranges.maxErrors);
      ui.setNumber(maxErrors, c.maxErrors);
      kind.forEach(function (r) { ui.enable(r.radio, e.kind); });
      ui.enable(address, e.place);
      ui.enable(plug, e.plug);
      ui.enable(seed, e.seed);
      ui.enable(end, e.end);
      ui.enable(count, e.count);
      ui.enable(onError, e.onError);
      ui.enable(maxErrors, e.maxErrors);
      ui.enable(start, true);
      ui.enable(reset, e.reset);
      report.hidden = !s.report;
      start.textContent = t(s.caption);
    }
    diag.take = function (s) {
      diag.state = s;
      counts.textContent = s.counts;
      verdict.textContent = s.verdict;
      verdict.className = 'oordeel ' + (s.result === 'pass' ? 'goed' : s.result ? 'fout' : '');
      s.inputs.forEach(function (input, k) {
        inputs[k].textContent = input.caption;
        inputs[k].setAttribute('aria-label', input.caption.replace(/\n/g, ', '));
        inputs[k].className = 'ingang' + (!input.tested ? '' : input.errors === 0 ? ' goed' : ' fout');
      });
      showChoice();
    };
    diag.redraw = showChoice;
  }

  // ---- help, about, the printable settings report ----

  var helpLoaded = false;
  function showHelp() {
    if (helpLoaded) return;
    var text = document.getElementById('helpTekst');
    var request = new XMLHttpRequest();
    request.open('GET', 'morvelplint-help.txt');
    request.onload = function () {
      if (request.status === 200) {
        text.textContent = request.responseText;
        helpLoaded = true;
      }
    };
    request.send();
  }

  function about(texts) {
    if (!texts) return;
    document.getElementById('overVersie').textContent = texts.version ? 'Versie ' + texts.version : '';
    ['overRechten', 'overA', 'overB', 'overAuteur1', 'overAuteur2'].forEach(function (id, i) {
      document.getElementById(id).textContent = [texts.copyright, texts.disclaimerA, texts.disclaimerB, texts.author1, texts.author2][i];
    });
  }

  function printReport(lines) {
    var list = document.getElementById('afdrukRegels');
    list.textContent = lines.join('\n');
    window.print();
  }

  return {
    build: function (api) {
      ui = api;
      buildMonitor();
      buildRack();
      buildDiag();
    },
    // The tab shown: the monitor and the rack view are watched while they are shown.
    shown: function (key) {
      if (shown === key) return;
      if (shown === 'monitor' && available.monitor) monitor.watch(false);
      if (shown === 'rek' && available.rack) ui.send({ cmd: 'rack', 'do': 'watch', ticked: false });
      shown = key;
      if (key === 'monitor' && available.monitor) monitor.watch(true);
      if (key === 'rek' && available.rack) ui.send({ cmd: 'rack', 'do': 'watch', ticked: true });
      if (key === 'help') showHelp();
    },
    // A new connection: what was watched is watched again.
    reconnected: function () {
      var key = shown;
      shown = '';
      this.shown(key);
    },
    redraw: function () {
      if (monitor.redraw) monitor.redraw();
      if (rack.redraw) rack.redraw();
      if (diag.redraw) diag.redraw();
    },
    received: function (message) {
      switch (message.type) {
      case 'tools':
        available = message;
        document.getElementById('tab-monitor').hidden = !message.monitor;
        document.getElementById('tab-rek').hidden = !message.rack;
        if (monitor.missed) monitor.missed(0);
        this.reconnected();
        return true;
      case 'monitor':
        monitor.take(message);
        return true;
      case 'counters':
        monitor.counters(message.text);
        return true;
      case 'missed':
        if (monitor.missed) monitor.missed(message.rows);
        return true;
      case 'rack':
        rack.take(message);
        return true;
      case 'diag':
        diag.take(message);
        return true;
      case 'report':
        printReport(message.lines);
        return true;
      case 'texts':
        about(message.about);
        return false;
      }
      return false;
    },
    monitorRowsReceived: function () { return monitor.received; }
  };
})();
