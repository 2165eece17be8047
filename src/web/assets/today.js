// SPDX-License-Identifier: GPL-3.0-or-later
// "Jetzt und heute" on the front page: each main sensor's value now and today's low and high
// with their times, the rain of the last hour, today, yesterday, this month and this year,
// the pressure's tendency over three hours and the strongest wind of today (/api/today). A
// reading of a main sensor brings the figures anew (at most every two seconds); once a minute
// they are brought anew anyway, for the last hour and the day's change.
'use strict';

(function () {
  const cards = document.getElementById('today-cards');
  const problem = document.getElementById('today-problem');
  let main = new Set();
  let timer = null;
  let last = 0;

  const element = Station.element;

  // One figure: "tiefst" over "-1,4 °C um 06:13".
  function figure(what, label, text, quantity) {
    const box = element('div', 'figure');
    box.dataset.what = what;
    if (quantity) {
      box.dataset.quantity = quantity;
    }
    box.append(element('span', 'label', label), element('span', 'value', text));
    return box;
  }

  function withUnit(value, decimals, unit) {
    return Station.number(value, decimals) + (value === null ? '' : ' ' + unit);
  }

  function extreme(e, decimals, unit) {
    return e ? withUnit(e.value, decimals, unit) + ' um ' + Station.clock(e.at) : '–';
  }

  function card(sensor, data) {
    const box = element('section', 'card');
    box.dataset.sensor = sensor.id;
    const title = element('h3', '', sensor.name + ' ');
    title.append(element('span', 'muted', sensor.id + (sensor.roles.length ? ' · ' +
      sensor.roles.join(', ') : '')));
    box.append(title);
    sensor.quantities.forEach((q) => {
      const row = element('div', 'figures');
      row.append(element('div', 'quantity', q.label));
      if (q.key === 'wind_speed') {
        row.append(figure('now', 'jetzt', withUnit(q.now, q.decimals, q.unit) +
          (sensor.compass && q.now ? ' aus ' + sensor.compass : ''), q.key));
        row.append(figure('max', 'heute am stärksten', extreme(q.max, q.decimals, q.unit), q.key));
      } else {
        row.append(figure('now', 'jetzt', withUnit(q.now, q.decimals, q.unit), q.key));
        row.append(figure('min', 'tiefst', extreme(q.min, q.decimals, q.unit), q.key));
        row.append(figure('max', 'höchst', extreme(q.max, q.decimals, q.unit), q.key));
      }
      box.append(row);
    });
    const rain = data.rain;
    if (rain && rain.sensor === sensor.id) {
      const row = element('div', 'figures');
      row.append(element('div', 'quantity', 'Regen'));
      const amount = (v) => withUnit(v, rain.decimals, rain.unit);
      const date = data.date;
      row.append(figure('lastHour', 'letzte Stunde', amount(rain.lastHour)));
      row.append(figure('today', 'heute', amount(rain.today)));
      row.append(figure('yesterday', 'gestern', amount(rain.yesterday)));
      row.append(figure('month', Station.months[Number(date.slice(5, 7)) - 1],
        amount(rain.month)));
      row.append(figure('year', date.slice(0, 4), amount(rain.year)));
      box.append(row);
    }
    const t = data.tendency;
    if (t && t.sensor === sensor.id) {
      const row = element('div', 'figures');
      row.append(element('div', 'quantity', 'Luftdruck in 3 Stunden'));
      const change = (t.change > 0 ? '+' : '') + Station.number(t.change, 1) + ' hPa';
      row.append(figure('tendency', 'seit ' + Station.clock(t.beforeAt),
        t.words + ' (' + change + ')'));
      box.append(row);
    }
    const seen = element('p', 'muted small', 'Letzte Messung ' + Station.clock(sensor.at) +
      (sensor.at.slice(0, 10) === data.date ? '' : ', ' + Station.date(sensor.at)));
    box.append(seen);
    return box;
  }

  function show(data) {
    document.getElementById('today-date').textContent = Station.date(data.date);
    const month = data.date.slice(0, 7);
    document.getElementById('link-month').href = '/bericht?month=' + month;
    document.getElementById('link-year').href = '/bericht?year=' + month.slice(0, 4);
    problem.hidden = !data.problem;
    problem.textContent = data.problem;
    main = new Set(data.sensors.map((s) => s.id));
    cards.replaceChildren(...data.sensors.map((s) => card(s, data)));
    if (!data.sensors.length) {
      cards.append(element('p', 'muted', 'Noch kein Außen-, Wind-, Regen- oder Innensensor im ' +
        'Archiv.'));
    }
    document.body.dataset.today = Number(document.body.dataset.today || 0) + 1;
  }

  async function load() {
    timer = null;
    last = Date.now();
    try {
      const answer = await fetch('/api/today', { cache: 'no-store' });
      if (!answer.ok) {
        throw new Error(answer.statusText);
      }
      show(await answer.json());
    } catch (e) {
      problem.hidden = false;
      problem.textContent = 'Die Werte von heute lassen sich nicht laden (' + e.message + ').';
    }
  }

  function soon() {
    if (!timer) {
      timer = setTimeout(load, Math.max(0, last + 2000 - Date.now()));
    }
  }

  document.addEventListener('tavrolin-reading', (e) => {
    if (main.has(e.detail.sensor)) {
      soon();
    }
  });
  setInterval(soon, 60000);
  Station.ready.then(load);
})();
