// SPDX-License-Identifier: GPL-3.0-or-later
// The overview: every sensor's row as the window shows it, with how old its last reading is,
// kept up to date by the event stream. A page whose stream breaks says that it is offline
// and, once back, is sent what it missed (the browser names the last event it saw; a new
// stream asks with ?after=).
'use strict';

(function () {
  const body = document.querySelector('#overview tbody');
  const problem = document.getElementById('problem');
  const backup = document.getElementById('backup');
  const uploads = document.getElementById('uploads');
  const none = document.getElementById('none');
  const labels = ['Sensor', 'Name', 'Art', 'Werte', 'Zuletzt empfangen', 'Alter', 'Übliche Periode',
    'Zustand'];
  let lastId = '0';
  let source = null;
  let received = 0;

  // "vor 12 s", "vor 3 min": how long ago, as the clock of the page's device counts.
  function age(ms) {
    const s = Math.max(0, Math.round((Date.now() - ms) / 1000));
    if (s < 60) {
      return 'vor ' + s + ' s';
    }
    if (s < 3600) {
      return 'vor ' + Math.floor(s / 60) + ' min';
    }
    if (s < 86400) {
      return 'vor ' + Math.floor(s / 3600) + ' h';
    }
    return 'vor ' + Math.floor(s / 86400) + ' d';
  }

  function showAges() {
    body.querySelectorAll('tr').forEach((tr) => {
      tr.children[5].textContent = age(Number(tr.dataset.seen));
    });
  }

  function fill(tr, row) {
    const cells = tr.children;
    // The id's link stays the same element while the row changes around it, so that a tap on
    // it is not lost to a reading that comes at that moment.
    if (!cells[0].firstChild) {
      const link = document.createElement(row.chartable ? 'a' : 'span');
      link.textContent = row.id;
      if (row.chartable) {
        link.href = '/sensor/' + encodeURIComponent(row.id);
      }
      cells[0].appendChild(link);
    }
    cells[1].textContent = row.name;
    cells[2].textContent = row.kind;
    cells[3].textContent = row.values;
    cells[4].textContent = row.lastSeen;
    tr.dataset.seen = row.lastSeenMs;
    cells[5].className = 'age';
    cells[5].textContent = age(row.lastSeenMs);
    cells[6].textContent = row.period;
    cells[7].textContent = row.state;
    tr.classList.toggle('overdue', row.overdue);
  }

  function render(row, fresh) {
    let tr = document.getElementById('row-' + row.id);
    if (!tr) {
      tr = document.createElement('tr');
      tr.id = 'row-' + row.id;
      labels.forEach((label) => {
        const td = document.createElement('td');
        td.dataset.label = label;
        tr.appendChild(td);
      });
      body.appendChild(tr);
    }
    fill(tr, row);
    if (fresh) {
      tr.classList.remove('fresh');
      void tr.offsetWidth; // restarts the highlight
      tr.classList.add('fresh');
    }
    none.hidden = true;
  }

  function showAll(data) {
    body.replaceChildren();
    data.sensors.forEach((row) => render(row, false));
    none.hidden = data.sensors.length > 0;
    problem.hidden = !data.problem;
    problem.textContent = data.problem || '';
    // A daily backup that missed a day, or none in its folder (a stick not plugged in). The
    // time as the station's clock read it: "2026-12-08T03:12:40.000+01:00".
    const stale = Boolean(data.backup && data.backup.stale);
    backup.hidden = !stale;
    if (stale) {
      const at = data.backup.at;
      backup.textContent = at
        ? 'Letzte Sicherung des Archivs: ' + at.slice(8, 10) + '.' + at.slice(5, 7) + '.' +
          at.slice(0, 4) + ' ' + at.slice(11, 16) + ', älter als zwei Tage (' +
          data.backup.folder + ')'
        : 'Keine Sicherung des Archivs in ' + data.backup.folder;
    }
    showUploads(data);
    if (data.state) {
      Tavrolin.state(data.state);
    }
  }

  // What tavrolin-upload last achieved with each network, in the words of its --status.
  function showUploads(data) {
    const list = data.uploads || [];
    uploads.hidden = list.length === 0;
    uploads.querySelector('ul').replaceChildren(...list.map((u) => {
      const item = document.createElement('li');
      item.textContent = u.text;
      item.classList.toggle('problem', u.failing);
      return item;
    }));
  }

  // The uploads change with their networks' intervals, not with the readings: looked at
  // once a minute.
  async function refreshUploads() {
    try {
      const answer = await fetch('/api/sensors', { cache: 'no-store' });
      if (answer.ok) {
        showUploads(await answer.json());
      }
    } catch (e) {
      // The stream says when the view is gone.
    }
  }

  async function load() {
    try {
      const answer = await fetch('/api/sensors', { cache: 'no-store' });
      if (!answer.ok) {
        throw new Error(answer.statusText);
      }
      const data = await answer.json();
      showAll(data);
      lastId = data.lastId;
      document.body.dataset.lastId = lastId;
      connect();
    } catch (e) {
      Tavrolin.connected(false);
      setTimeout(load, 3000);
    }
  }

  function connect() {
    if (source) {
      source.close();
    }
    source = new EventSource('/events?after=' + encodeURIComponent(lastId));
    source.onopen = () => Tavrolin.connected(true);
    source.onmessage = (e) => {
      const event = JSON.parse(e.data);
      // One the page took already (a view that came back before its feed): not again.
      if (!Tavrolin.newer(event.id, lastId)) {
        return;
      }
      lastId = event.id;
      Tavrolin.reading(event.reading);
      // Where the page stands, for whoever looks at it from outside (the browser test).
      document.body.dataset.lastId = lastId;
      document.body.dataset.received = ++received;
      if (event.row) {
        render(event.row, true);
      }
    };
    source.addEventListener('overview', (e) => showAll(JSON.parse(e.data)));
    source.addEventListener('state', (e) => Tavrolin.state(JSON.parse(e.data)));
    source.addEventListener('reload', () => {
      source.close();
      load();
    });
    source.onerror = () => {
      Tavrolin.connected(false);
      // The browser tries again by itself unless the server refused; then a new stream
      // asks for what came after the last reading seen.
      if (source.readyState === EventSource.CLOSED) {
        setTimeout(connect, 3000);
      }
    };
  }

  setInterval(showAges, 1000);
  setInterval(refreshUploads, 60000);
  load();
})();
