// SPDX-License-Identifier: GPL-3.0-or-later
// The records of the station's main sensors, as tavrolin-history records writes them
// (/api/records, the same JSON): for all time, a year, a month or a calendar month over all
// years, chosen in the list; with their CSV per sensor.
'use strict';

(function () {
  const list = document.getElementById('records');
  const problem = document.getElementById('problem');
  const scopeField = document.getElementById('scope');
  const quantities = {
    temperature: ['Temperatur', '°C', 1], humidity: ['Feuchte', '%', 0],
    pressure: ['Luftdruck', 'hPa', 0], pressure_sea_level: ['Luftdruck NN', 'hPa', 1],
    dew_point: ['Taupunkt', '°C', 1], wind_speed: ['Wind', 'km/h', 1],
    rain_mm: ['Regen', 'mm', 3], rain_steps: ['Regen', 'Schritte', 0],
  };
  const names = {
    highestDailyMin: 'Wärmste Nacht (höchstes Tagesminimum)',
    lowestDailyMax: 'Kältester Tag (tiefstes Tagesmaximum)',
    largestDailyRange: 'Größte Tagesschwankung', wettestHour: 'Nasseste Stunde',
    wettestDay: 'Nassester Tag',
  };
  let data = [];

  const element = Station.element;

  function scopeName(scope) {
    if (scope === 'all') {
      return 'Gesamt';
    }
    if (scope.startsWith('month-')) {
      return 'jeder ' + Station.months[Number(scope.slice(6)) - 1];
    }
    return scope.length === 4 ? scope : Station.months[Number(scope.slice(5)) - 1] + ' ' +
      scope.slice(0, 4);
  }

  // Gesamt, the calendar months, then the years and months, newest first.
  function scopes() {
    const all = new Set();
    data.forEach((s) => s.records.forEach((r) => all.add(r.scope)));
    const rank = (s) => (s === 'all' ? 0 : s.startsWith('month-') ? 1 : 2);
    return [...all].sort((a, b) => rank(a) - rank(b) ||
      (rank(a) === 1 ? a.localeCompare(b) : b.localeCompare(a)));
  }

  // "12.07.2026 15:40", or of a day's record "12.07.2026".
  function when(at) {
    return at.length > 10 ? Station.date(at) + ' ' + Station.clock(at) : Station.date(at);
  }

  function show() {
    const scope = scopeField.value;
    list.replaceChildren(...data.map((sensor) => {
      const box = element('section', 'card');
      box.dataset.sensor = sensor.sensor;
      const title = element('h2', '', sensor.name + ' ');
      title.append(element('span', 'muted', sensor.sensor));
      box.append(title);
      const t = element('table', 'overview');
      t.append(element('thead'));
      t.tHead.append(element('tr'));
      ['Rekord', 'Wert', 'Wann'].forEach((h) => t.tHead.rows[0].append(element('th', '', h)));
      const body = element('tbody');
      sensor.records.filter((r) => r.scope === scope).forEach((r) => {
        const [label, unit, decimals] = quantities[r.quantity] || [r.quantity, '', 1];
        const tr = element('tr');
        // As tavrolin-history records names them: "Höchste Temperatur", "Höchster Luftdruck".
        const masculine = r.quantity.startsWith('pressure');
        const name = r.record === 'highest' && r.quantity === 'wind_speed' ? 'Stärkster Wind'
          : r.record === 'highest' ? (masculine ? 'Höchster ' : 'Höchste ') + label
            : r.record === 'lowest' ? (masculine ? 'Tiefster ' : 'Tiefste ') + label
              : names[r.record] || r.record;
        tr.append(element('td', '', name));
        tr.append(element('td', 'num', (r.quantity === 'rain_mm'
          ? r.value.toLocaleString('de-DE', { maximumFractionDigits: decimals })
          : Station.number(r.value, decimals)) + ' ' + unit));
        tr.append(element('td', 'at', when(r.at)));
        body.append(tr);
      });
      t.append(body);
      const scroll = element('div', 'scroll');
      scroll.append(t);
      box.append(scroll);
      const csv = element('a', 'csv', 'CSV herunterladen');
      csv.href = '/api/records?sensor=' + encodeURIComponent(sensor.sensor) + '&format=csv';
      const download = element('p');
    download.append(csv);
    box.append(download);
      return box;
    }));
  }

  async function load() {
    await Station.ready;
    try {
      const answer = await fetch('/api/records', { cache: 'no-store' });
      if (!answer.ok) {
        problem.hidden = false;
        problem.textContent = (await answer.text()).trim();
        return;
      }
      const got = await answer.json();
      data = Array.isArray(got) ? got : [got];
      scopeField.replaceChildren(...scopes().map((s) => {
        const option = element('option', '', scopeName(s));
        option.value = s;
        return option;
      }));
      show();
      document.body.dataset.loaded = 'records';
    } catch (e) {
      problem.hidden = false;
      problem.textContent = 'Die Rekorde lassen sich nicht laden (' + e.message + ').';
    }
  }

  scopeField.addEventListener('change', show);
  load();
})();
