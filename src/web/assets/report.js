// SPDX-License-Identifier: GPL-3.0-or-later
// A month's report (one row per day) or a year's (one row per month) of the station's main
// sensors, as tavrolin-history report writes it (/api/report, the same JSON), with its CSV
// per sensor. The address says which: /bericht?month=2026-11 or /bericht?year=2026.
'use strict';

(function () {
  const reports = document.getElementById('reports');
  const problem = document.getElementById('problem');
  const weekdays = ['So', 'Mo', 'Di', 'Mi', 'Do', 'Fr', 'Sa'];
  // Per quantity: its heading, unit, decimals, and which figures get a column.
  const quantities = {
    temperature: { label: 'Temperatur', unit: '°C', decimals: 1, columns: ['mean', 'min', 'max'] },
    humidity: { label: 'Feuchte', unit: '%', decimals: 0, columns: ['mean'] },
    dew_point: { label: 'Taupunkt', unit: '°C', decimals: 1, columns: ['mean'] },
    pressure: { label: 'Luftdruck', unit: 'hPa', decimals: 0, columns: ['mean', 'min', 'max'] },
    pressure_sea_level: { label: 'Luftdruck NN', unit: 'hPa', decimals: 1, columns: ['mean'] },
    wind_speed: { label: 'Wind', unit: 'km/h', decimals: 1, columns: ['mean', 'max'] },
  };
  const figureNames = { mean: 'Mittel', min: 'Tiefst', max: 'Höchst' };
  const counts = [
    ['frost_days', 'Frosttage'], ['ice_days', 'Eistage'], ['summer_days', 'Sommertage'],
    ['hot_days', 'heiße Tage'], ['tropical_nights', 'Tropennächte'],
    ['heating_days', 'Heiztage'], ['g20_15', 'Gradtagzahl G20/15', 1],
    ['heating_degree_days', 'Heizgradtage', 1], ['rain_days_0_1', 'Niederschlagstage ≥ 0,1 mm'],
    ['rain_days_1', '≥ 1 mm'], ['rain_days_10', '≥ 10 mm'],
  ];

  const element = Station.element;

  function pad(n) {
    return String(n).padStart(2, '0');
  }

  // What the address asks for; without either, this month of the station.
  function chosen() {
    const q = new URLSearchParams(location.search);
    if (q.has('year')) {
      return { year: Number(q.get('year')), text: q.get('year'), query: 'year=' +
        encodeURIComponent(q.get('year')) };
    }
    let month = q.get('month');
    if (!month) {
      const t = Station.today();
      month = t.year + '-' + pad(t.month);
    }
    return { year: Number(month.slice(0, 4)), month: Number(month.slice(5, 7)), text: month,
      query: 'month=' + encodeURIComponent(month) };
  }

  function rowLabel(period, byDay) {
    if (!byDay) {
      return Station.months[Number(period.month.slice(5, 7)) - 1];
    }
    const d = new Date(period.date + 'T12:00:00Z');
    return weekdays[d.getUTCDay()] + ' ' + period.date.slice(8, 10) + '.' +
      period.date.slice(5, 7) + '.';
  }

  // "06:13" of a day's extreme, "12.07. 15:40" of a month's.
  function when(iso, byDay) {
    return byDay ? Station.clock(iso) : iso.slice(8, 10) + '.' + iso.slice(5, 7) + '. ' +
      Station.clock(iso);
  }

  function marks(period) {
    const c = period.counts;
    if (!c) {
      return '';
    }
    return (c.frost_days ? 'F' : '') + (c.ice_days ? 'E' : '') + (c.summer_days ? 'S' : '') +
      (c.hot_days ? 'H' : '') + (c.tropical_nights ? 'T' : '');
  }

  function table(report, byDay, query) {
    const rows = byDay ? report.days : report.months;
    const keys = Object.keys(quantities).filter((k) => k in report.summary);
    const rain = 'rain_mm' in report.summary ? 'rain_mm' :
      'rain_steps' in report.summary ? 'rain_steps' : null;
    const box = element('section', 'report card');
    box.dataset.sensor = report.sensor;
    const title = element('h2', '', report.name + ' ');
    title.append(element('span', 'muted', report.sensor));
    box.append(title);
    const scroll = element('div', 'scroll');
    const t = element('table', 'overview report-table');
    const head = element('thead');
    const top = element('tr');
    const sub = element('tr');
    top.append(element('th', '', byDay ? 'Tag' : 'Monat'));
    sub.append(element('th'));
    keys.forEach((k) => {
      const q = quantities[k];
      const th = element('th', 'group', q.label + ' (' + q.unit + ')');
      const span = q.columns.reduce((n, c) => n + (c === 'mean' ? 1 : 2), 0);
      th.colSpan = span;
      top.append(th);
      q.columns.forEach((c) => {
        sub.append(element('th', 'num', figureNames[c]));
        if (c !== 'mean') {
          sub.append(element('th', '', 'um'));
        }
      });
    });
    if (rain) {
      top.append(element('th', 'group', rain === 'rain_mm' ? 'Regen (mm)' : 'Regen (Schritte)'));
      sub.append(element('th', 'num', 'Summe'));
    }
    if ('wind_direction' in report.summary) {
      top.append(element('th', 'group', 'Richtung'));
      sub.append(element('th', 'num', '°'));
    }
    top.append(element('th', '', ''));
    sub.append(element('th', '', ''));
    head.append(top, sub);
    t.append(head);
    const body = element('tbody');
    const line = (period, label, total) => {
      const tr = element('tr', total ? 'total' : '');
      // A day not yet there, or without readings, is no gap of a day that has some.
      tr.append(element('td', '', label + (period.complete || !period.readings ? '' : ' *')));
      keys.forEach((k) => {
        const q = quantities[k];
        const f = period[k];
        q.columns.forEach((c) => {
          const decimals = c === 'mean' ? Math.max(q.decimals, 1) : q.decimals;
          tr.append(element('td', 'num', f ? Station.number(f[c], decimals) : '–'));
          if (c !== 'mean') {
            tr.append(element('td', 'at', f ? when(f[c + 'At'], byDay && !total) : ''));
          }
        });
      });
      if (rain) {
        const v = period[rain];
        // To the thousandth of a millimetre, without trailing zeros, as the report writes it.
        tr.append(element('td', 'num', v === null || v === undefined ? '–' :
          v.toLocaleString('de-DE', { maximumFractionDigits: 3, useGrouping: false })));
      }
      if ('wind_direction' in report.summary) {
        tr.append(element('td', 'num', Station.number(period.wind_direction, 0)));
      }
      tr.append(element('td', 'marks', byDay && !total ? marks(period) : ''));
      body.append(tr);
    };
    rows.forEach((p) => line(p, rowLabel(p, byDay), false));
    line(report.summary, byDay ? 'Monat' : 'Jahr', true);
    t.append(body);
    scroll.append(t);
    box.append(scroll);
    const c = report.summary.counts;
    if (c) {
      const list = element('p', 'counts');
      // A gauge's are its rain days alone; the rest count temperatures.
      const temperature = 'temperature' in report.summary;
      list.textContent = counts.filter(([k]) => k in c && (temperature || k.startsWith('rain')))
        .map(([k, label, decimals]) => label + ' ' + Station.number(c[k], decimals || 0))
        .join(' · ');
      box.append(list);
    }
    const csv = element('a', 'csv', 'CSV herunterladen');
    csv.href = '/api/report?' + query + '&sensor=' + encodeURIComponent(report.sensor) +
      '&format=csv';
    const download = element('p');
    download.append(csv);
    box.append(download);
    return box;
  }

  function links(c) {
    const previous = document.getElementById('previous');
    const next = document.getElementById('next');
    const other = document.getElementById('other');
    if (c.month) {
      const before = c.month === 1 ? [c.year - 1, 12] : [c.year, c.month - 1];
      const after = c.month === 12 ? [c.year + 1, 1] : [c.year, c.month + 1];
      previous.href = '/bericht?month=' + before[0] + '-' + pad(before[1]);
      next.href = '/bericht?month=' + after[0] + '-' + pad(after[1]);
      other.href = '/bericht?year=' + c.year;
      other.textContent = 'Jahr ' + c.year;
      document.getElementById('title').textContent = 'Monatsbericht ' +
        Station.months[c.month - 1] + ' ' + c.year;
      document.getElementById('month').value = c.text;
      document.getElementById('year').value = c.year;
    } else {
      previous.href = '/bericht?year=' + (c.year - 1);
      next.href = '/bericht?year=' + (c.year + 1);
      other.href = '/bericht?month=' + c.year + '-01';
      other.textContent = 'Januar ' + c.year;
      document.getElementById('title').textContent = 'Jahresbericht ' + c.text;
      document.getElementById('year').value = c.text;
      document.getElementById('month').value = c.year + '-01';
    }
    document.title = 'Tavrolin – ' + document.getElementById('title').textContent;
  }

  async function load() {
    await Station.ready;
    const c = chosen();
    links(c);
    try {
      const answer = await fetch('/api/report?' + c.query, { cache: 'no-store' });
      if (!answer.ok) {
        problem.hidden = false;
        problem.textContent = (await answer.text()).trim();
        return;
      }
      const data = await answer.json();
      const all = Array.isArray(data) ? data : [data];
      reports.replaceChildren(...all.map((r) => table(r, Boolean(c.month), c.query)));
      document.body.dataset.loaded = c.query;
    } catch (e) {
      problem.hidden = false;
      problem.textContent = 'Der Bericht läßt sich nicht laden (' + e.message + ').';
    }
  }

  document.getElementById('choose').addEventListener('submit', (e) => {
    e.preventDefault();
    const year = e.submitter && e.submitter.id === 'show-year';
    const value = document.getElementById(year ? 'year' : 'month').value;
    if (value) {
      location.search = (year ? 'year=' : 'month=') + encodeURIComponent(value);
    }
  });

  load();
})();
