// SPDX-License-Identifier: GPL-3.0-or-later
// What every page shares of the station: its time zone and its way of writing numbers. Times
// are shown as the station's clock reads them, not the browser's: the server gives the zone's
// offsets over the years (/api/zone), and a time typed into a date field is taken in that zone
// too. Instants the server sends as text ("2026-12-09T06:13:20.000+01:00") carry their
// offset already and are shown as they are written.
'use strict';

window.Station = (function () {
  let offsets = [[-8.64e15, 0]]; // [from ms, seconds east of UTC], oldest first
  const ready = fetch('/api/zone', { cache: 'no-store' })
    .then((answer) => (answer.ok ? answer.json() : null))
    .then((data) => {
      if (data && data.offsets.length) {
        offsets = data.offsets;
      }
    })
    .catch(() => {});

  function pad(n) {
    return String(n).padStart(2, '0');
  }

  // The zone's offset at the instant, in seconds.
  function offsetAt(ms) {
    let lo = 0;
    let hi = offsets.length - 1;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (offsets[mid][0] <= ms) {
        lo = mid;
      } else {
        hi = mid - 1;
      }
    }
    return offsets[lo][1];
  }

  // The station's wall-clock time at the instant, read through a Date's UTC fields.
  function wall(ms) {
    return new Date(ms + offsetAt(ms) * 1000);
  }

  return {
    // A new element with its class and text, either left out.
    element(tag, className, text) {
      const e = document.createElement(tag);
      if (className) {
        e.className = className;
      }
      if (text !== undefined) {
        e.textContent = text;
      }
      return e;
    },
    ready: ready,
    // "2026-12-09T02:59", as a datetime-local field writes it.
    inputOf(ms) {
      const d = wall(ms);
      return d.getUTCFullYear() + '-' + pad(d.getUTCMonth() + 1) + '-' + pad(d.getUTCDate()) +
        'T' + pad(d.getUTCHours()) + ':' + pad(d.getUTCMinutes());
    },
    // The instant of a datetime-local field's text in the station's zone; NaN for none. A
    // time the change to summer time skips is taken as if it had not happened yet.
    fromInput(text) {
      const m = /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d)/.exec(text || '');
      if (!m) {
        return NaN;
      }
      const local = Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5]);
      const guess = local - offsetAt(local) * 1000;
      return local - offsetAt(guess) * 1000;
    },
    // "14:03:07" of an instant.
    clockOf(ms) {
      const d = wall(ms);
      return pad(d.getUTCHours()) + ':' + pad(d.getUTCMinutes()) + ':' + pad(d.getUTCSeconds());
    },
    // The station's date now: {year, month, day}.
    today() {
      const d = wall(Date.now());
      return { year: d.getUTCFullYear(), month: d.getUTCMonth() + 1, day: d.getUTCDate() };
    },
    // "06:13" and "09.12.2026" of an instant as the server writes it.
    clock(iso) {
      return iso ? iso.slice(11, 16) : '';
    },
    date(iso) {
      return iso ? iso.slice(8, 10) + '.' + iso.slice(5, 7) + '.' + iso.slice(0, 4) : '';
    },
    // A number with its decimals and a decimal comma, as the window writes it; "–" for none.
    number(value, decimals) {
      if (value === null || value === undefined) {
        return '–';
      }
      const text = value.toLocaleString('de-DE', {
        minimumFractionDigits: decimals,
        maximumFractionDigits: decimals,
        useGrouping: false,
      });
      return /^-0(,0*)?$/.test(text) ? text.slice(1) : text; // no "-0,0"
    },
    months: ['Januar', 'Februar', 'März', 'April', 'Mai', 'Juni', 'Juli', 'August', 'September',
      'Oktober', 'November', 'Dezember'],
  };
})();
