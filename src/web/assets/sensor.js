// SPDX-License-Identifier: GPL-3.0-or-later
// A sensor's charts as the window draws them: the server's ChartModel gives the lines, axes,
// ticks and readouts; this page only draws them (Chart.js of the system's package), lets a
// range be chosen or dragged on the time axis, and follows new readings in a live range.
'use strict';

(function () {
  const id = decodeURIComponent(location.pathname.split('/')[2] || '');
  const charts = document.getElementById('charts');
  const colours = ['#1f6feb', '#d1242f', '#1a7f37', '#8250df', '#bc4c00', '#0969da'];
  const liveRanges = ['day', 'week', 'month'];
  let query = new URLSearchParams(location.search);
  if (!query.has('range') && !query.has('from')) {
    query = new URLSearchParams('range=day');
  }
  let drawn = [];
  let current = null; // what is drawn: its arrays grow in a live range
  let reloadTimer = null;

  function nearest(keys, x) {
    let lo = 0;
    let hi = keys.length - 1;
    while (hi - lo > 1) {
      const mid = (lo + hi) >> 1;
      if (keys[mid] < x) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    return Math.abs(keys[lo] - x) <= Math.abs(keys[hi] - x) ? lo : hi;
  }

  function datasets(line, colour) {
    const floor = line.floor;
    const points = (values) => line.keys.map((k, i) => {
      let y = values[i];
      if (y !== null && floor !== undefined && y < floor) {
        y = floor; // what lies below a logarithmic axis is drawn on its floor
      }
      return { x: k, y: y };
    });
    if (line.scale === 'bars') {
      return [{ type: 'bar', label: line.name, data: points(line.avg), backgroundColor: colour,
        barPercentage: 1, categoryPercentage: 1 }];
    }
    if (line.scale === 'compass') {
      return [{ type: 'line', label: line.name, data: points(line.avg), showLine: false,
        pointRadius: 2, borderColor: colour, backgroundColor: colour }];
    }
    const sets = [];
    const band = line.min.some((v, i) => v !== null && v !== line.max[i]);
    if (band) {
      sets.push({ type: 'line', label: 'Minimum', data: points(line.min), pointRadius: 0,
        borderWidth: 0, fill: false });
      sets.push({ type: 'line', label: 'Maximum', data: points(line.max), pointRadius: 0,
        borderWidth: 0, fill: '-1', backgroundColor: colour + '33' });
    }
    sets.push({ type: 'line', label: line.name, data: points(line.avg), pointRadius: 0,
      borderWidth: 1.5, borderColor: colour, spanGaps: false });
    if (line.beside.length) {
      sets.push({ type: 'line', label: line.besideName,
        data: line.keys.map((k, i) => ({ x: k, y: line.beside[i] })), pointRadius: 0,
        borderWidth: 1, borderColor: '#57606a', borderDash: [4, 3], spanGaps: false });
    }
    return sets;
  }

  function tickLabels(ticks) {
    const byValue = new Map(ticks.map((t) => [t.at, t.label.split('\n')]));
    return {
      afterBuildTicks: (axis) => {
        axis.ticks = ticks.filter((t) => t.at >= axis.min && t.at <= axis.max)
          .map((t) => ({ value: t.at }));
      },
      ticks: { autoSkip: false, maxRotation: 0, callback: (v) => byValue.get(v) || '' },
    };
  }

  function draw(data) {
    // The axes' texts and grid in the page's colours, light or dark.
    const style = getComputedStyle(document.documentElement);
    Chart.defaults.color = style.getPropertyValue('--muted').trim() || Chart.defaults.color;
    Chart.defaults.borderColor = style.getPropertyValue('--line').trim() || Chart.defaults.borderColor;
    current = data;
    drawn.forEach((c) => c.destroy());
    drawn = [];
    charts.replaceChildren();
    document.getElementById('title').textContent = data.name + ' (' + data.sensor + ')';
    document.title = 'Tavrolin – ' + data.name;
    document.getElementById('heading').textContent = data.heading;
    const empty = document.getElementById('empty');
    empty.hidden = !data.empty;
    empty.textContent = data.empty;
    const problem = document.getElementById('problem');
    problem.hidden = !data.problem;
    problem.textContent = data.problem;
    // The date fields in the station's time, as the heading and the axes are.
    document.getElementById('from').value = Station.inputOf(data.from);
    document.getElementById('to').value = Station.inputOf(data.to);
    document.getElementById('csv').href = '/api/sensors/' + encodeURIComponent(id) + '/csv?' +
      query.toString();
    document.querySelectorAll('#ranges button').forEach((b) => {
      b.classList.toggle('chosen', query.get('range') === b.dataset.range);
    });
    if (data.empty) {
      return;
    }
    data.lines.forEach((line, index) => {
      const box = document.createElement('section');
      box.className = 'chart';
      const title = document.createElement('h2');
      title.textContent = line.label.replace('\n', ' ');
      const holder = document.createElement('div');
      holder.className = 'plot';
      const canvas = document.createElement('canvas');
      canvas.setAttribute('role', 'img');
      canvas.setAttribute('aria-label', line.label);
      holder.appendChild(canvas);
      const readout = document.createElement('p');
      readout.className = 'readout';
      readout.textContent = '\u00a0';
      box.append(title, holder, readout);
      charts.appendChild(box);
      const y = {
        type: line.scale === 'log' ? 'logarithmic' : 'linear',
        min: line.axis.lower,
        max: line.axis.upper,
      };
      if (line.scale === 'compass') {
        Object.assign(y, tickLabels(line.compassTicks));
      }
      const chart = new Chart(canvas, {
        data: { datasets: datasets(line, colours[index % colours.length]) },
        options: {
          animation: false,
          locale: 'de-DE', // decimal comma on the value axes, as the window writes numbers
          responsive: true,
          maintainAspectRatio: false,
          parsing: false,
          normalized: true,
          events: [],
          plugins: { legend: { display: line.beside.length > 0 }, tooltip: { enabled: false } },
          scales: {
            x: Object.assign({ type: 'linear', min: data.from / 1000, max: data.to / 1000 },
              tickLabels(data.ticks)),
            y: y,
          },
        },
      });
      drawn.push(chart);
      follow(canvas, chart, readout);
    });
  }

  // The readout under the pointer, and a span dragged on the time axis to zoom in.
  function follow(canvas, chart, readout) {
    let start = null;
    const at = (e) => chart.scales.x.getValueForPixel(e.offsetX);
    canvas.addEventListener('pointermove', (e) => {
      const keys = current.lines[0].keys;
      if (keys.length) {
        readout.textContent = current.readouts[nearest(keys, at(e))];
      }
    });
    canvas.addEventListener('pointerdown', (e) => {
      start = e.offsetX;
      canvas.setPointerCapture(e.pointerId);
    });
    canvas.addEventListener('pointerup', (e) => {
      if (start !== null && Math.abs(e.offsetX - start) > 10) {
        const a = chart.scales.x.getValueForPixel(Math.min(start, e.offsetX));
        const b = chart.scales.x.getValueForPixel(Math.max(start, e.offsetX));
        choose(new URLSearchParams({ from: Math.round(a * 1000), to: Math.round(b * 1000) }));
      }
      start = null;
    });
  }

  async function load() {
    try {
      await Station.ready;
      const answer = await fetch('/api/sensors/' + encodeURIComponent(id) + '/series?' +
        query.toString(), { cache: 'no-store' });
      if (!answer.ok) {
        throw new Error(answer.statusText);
      }
      draw(await answer.json());
      document.body.dataset.loaded = query.toString();
      performance.mark('gezeichnet'); // when the charts stand: for a measurement from outside
    } catch (e) {
      document.getElementById('problem').hidden = false;
      document.getElementById('problem').textContent =
        'Die Daten lassen sich nicht laden (' + e.message + ').';
    }
  }

  // A live range's new points: the server gives those from the last one drawn on (whose
  // bucket may have grown), and they take its place and follow it; the rest stays drawn.
  async function addNew() {
    const keys = current && current.lines.length ? current.lines[0].keys : [];
    if (!keys.length || drawn.length !== current.lines.length) {
      load();
      return;
    }
    const since = Math.floor(keys[keys.length - 1] * 1000);
    const q = new URLSearchParams(query);
    q.set('since', since);
    try {
      const answer = await fetch('/api/sensors/' + encodeURIComponent(id) + '/series?' +
        q.toString(), { cache: 'no-store' });
      if (!answer.ok) {
        throw new Error(answer.statusText);
      }
      const data = await answer.json();
      if (data.lines.length !== current.lines.length) {
        load();
        return;
      }
      let cut = keys.findIndex((k) => k * 1000 >= since);
      cut = cut < 0 ? keys.length : cut;
      data.lines.forEach((line, i) => {
        const old = current.lines[i];
        ['keys', 'avg', 'min', 'max'].forEach((name) => {
          old[name] = old[name].slice(0, cut).concat(line[name]);
        });
        if (old.beside.length || line.beside.length) {
          old.beside = old.beside.slice(0, cut).concat(line.beside);
        }
        old.axis = line.axis;
        old.floor = line.floor;
        const chart = drawn[i];
        chart.data.datasets = datasets(old, colours[i % colours.length]);
        Object.assign(chart.options.scales.x, { min: data.from / 1000, max: data.to / 1000 },
          tickLabels(data.ticks));
        chart.options.scales.y.min = line.axis.lower;
        chart.options.scales.y.max = line.axis.upper;
        chart.update('none');
      });
      current.readouts = current.readouts.slice(0, cut).concat(data.readouts);
      current.from = data.from;
      current.to = data.to;
      document.body.dataset.appended = Number(document.body.dataset.appended || 0) + 1;
    } catch (e) {
      load();
    }
  }

  function choose(q) {
    query = q;
    history.replaceState(null, '', '?' + query.toString());
    load();
  }

  document.querySelectorAll('#ranges button').forEach((b) => {
    b.addEventListener('click', () => choose(new URLSearchParams({ range: b.dataset.range })));
  });
  document.getElementById('span').addEventListener('submit', (e) => {
    e.preventDefault();
    const from = Station.fromInput(document.getElementById('from').value);
    const to = Station.fromInput(document.getElementById('to').value);
    if (from < to) {
      choose(new URLSearchParams({ from: from, to: to }));
    }
  });

  // A live range draws the sensor's new readings as they come (once a second at most).
  const source = new EventSource('/events');
  source.onopen = () => Tavrolin.connected(true);
  source.onerror = () => Tavrolin.connected(false);
  source.addEventListener('state', (e) => Tavrolin.state(JSON.parse(e.data)));
  source.onmessage = (e) => {
    const event = JSON.parse(e.data);
    Tavrolin.reading(event.reading);
    if (event.reading.sensor === id && liveRanges.includes(query.get('range')) && !reloadTimer) {
      reloadTimer = setTimeout(() => {
        reloadTimer = null;
        addNew();
      }, 1000);
    }
  };

  load();
})();
