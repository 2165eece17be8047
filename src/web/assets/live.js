// SPDX-License-Identifier: GPL-3.0-or-later
// What the live pages share of the event stream: the badge, which says "live" only while the
// receiving program's live feed runs, and otherwise that the page shows the archive and as
// of when; and the readings' ids (the archive's keys, beyond a double's precision), compared
// as BigInt, so that a reading the page has is not taken twice.
'use strict';

window.Tavrolin = (function () {
  const status = document.getElementById('status');
  let live = false;
  let asOf = 0;
  let connected = false;
  let problem = '';

  function clock(ms) {
    return Station.clockOf(ms);
  }

  function show() {
    // The archive gone or unreadable outweighs the rest: what the page shows may be all
    // the station has of these hours.
    const troubled = connected && problem !== '';
    if (!connected) {
      status.textContent = 'offline – verbinde neu …';
    } else if (troubled) {
      status.textContent = live ? 'live, Archiv gestört' : 'Archiv gestört';
    } else if (live) {
      status.textContent = 'live';
    } else {
      status.textContent = asOf > 0 ? 'Archiv, Stand ' + clock(asOf) : 'Archiv';
    }
    status.className = 'status ' +
      (!connected || troubled ? 'offline' : live ? 'online' : 'archive');
    if (troubled) {
      status.title = problem;
    } else {
      status.title = connected && !live
        ? 'Der Empfang läuft gerade nicht live: die Seite zeigt, was im Archiv steht.' : '';
    }
    document.body.classList.toggle('is-offline', !connected);
    document.body.dataset.live = connected && live ? 'yes' : 'no';
  }

  return {
    // The stream's state: {"live":..., "asOfMs":..., "problem":"..."}.
    state(data) {
      live = data.live;
      problem = data.problem || '';
      asOf = Math.max(asOf, data.asOfMs || 0);
      show();
    },
    connected(yes) {
      connected = yes;
      show();
    },
    // A reading came: while the page shows the archive, it stands as of that reading. What
    // else on the page follows the readings listens for "tavrolin-reading".
    reading(reading) {
      document.dispatchEvent(new CustomEvent('tavrolin-reading', { detail: reading }));
      const t = Date.parse(reading.time);
      if (t > asOf) {
        asOf = t;
        if (!live) {
          show();
        }
      }
    },
    // True when id is after the last one the page took.
    newer(id, last) {
      return BigInt(id) > BigInt(last);
    },
  };
})();
