// SPDX-License-Identifier: GPL-3.0-or-later
// The overview: every sensor's row as the window shows it, kept up to date by the event
// stream. A page whose stream breaks says that it is offline and, once back, is sent what it
// missed (the browser names the last event it saw; a new stream asks with ?after=).
'use strict';

(function () {
  const body = document.querySelector('#overview tbody');
  const status = document.getElementById('status');
  const problem = document.getElementById('problem');
  const none = document.getElementById('none');
  const labels = ['Sensor', 'Name', 'Art', 'Werte', 'Zuletzt empfangen', 'Übliche Periode', 'Zustand'];
  let lastId = '0';
  let source = null;
  let received = 0;

  function online(yes) {
    status.textContent = yes ? 'live' : 'offline – verbinde neu …';
    status.className = 'status ' + (yes ? 'online' : 'offline');
    document.body.classList.toggle('is-offline', !yes);
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
    cells[5].textContent = row.period;
    cells[6].textContent = row.state;
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
      online(false);
      setTimeout(load, 3000);
    }
  }

  function connect() {
    if (source) {
      source.close();
    }
    source = new EventSource('/events?after=' + encodeURIComponent(lastId));
    source.onopen = () => online(true);
    source.onmessage = (e) => {
      const event = JSON.parse(e.data);
      lastId = event.id;
      // Where the page stands, for whoever looks at it from outside (the browser test).
      document.body.dataset.lastId = lastId;
      document.body.dataset.received = ++received;
      if (event.row) {
        render(event.row, true);
      }
    };
    source.addEventListener('overview', (e) => showAll(JSON.parse(e.data)));
    source.addEventListener('reload', () => {
      source.close();
      load();
    });
    source.onerror = () => {
      online(false);
      // The browser tries again by itself unless the server refused; then a new stream
      // asks for what came after the last reading seen.
      if (source.readyState === EventSource.CLOSED) {
        setTimeout(connect, 3000);
      }
    };
  }

  load();
})();
