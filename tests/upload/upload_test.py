# SPDX-License-Identifier: GPL-3.0-or-later
"""tavrolin-upload as an owner runs it, against strict stand-ins of the networks (HTTPS with
a certificate authority made here): tavrolin-sim -> tavrolin-log (archive, committed every
second) -> tavrolin-upload -> the stand-ins. The values sent are the logger's readings
converted, also those taken from the logger's live feed before its archive commits them; after three hours without uploads a network that keeps history gets what it
missed, oldest first, at most twelve a run, also after its server answered 503 at first;
killed and started again, tavrolin-upload sends nothing twice and leaves nothing out.

usage: upload_test.py TAVROLIN-SIM TAVROLIN-LOG TAVROLIN-HISTORY TAVROLIN-UPLOAD"""

import datetime
import json
import os
import signal
import ssl
import subprocess
import sys
import sqlite3
import tempfile
import threading
import time
import unittest
from decimal import ROUND_HALF_UP, Decimal

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import standins  # noqa: E402

SIM, LOG, HISTORY, UPLOAD = sys.argv[1:5]
del sys.argv[1:5]
KEY = "geheim-Schl\u00fcssel"


def rounded(value, places):
    return value.quantize(Decimal(1).scaleb(-places), rounding=ROUND_HALF_UP)


def fahrenheit(celsius, places):
    return rounded(Decimal(celsius) * 9 / 5 + 32, places)


def in_hg(hpa):
    return rounded(Decimal(hpa) * 100 / Decimal("3386.388640341"), 3)


def mph(kmh, places):
    return rounded(Decimal(kmh) / Decimal("1.609344"), places)


def inches(mm, places):
    return rounded(Decimal(mm) / Decimal("25.4"), places)


def write_profile(path, text):
    with open(path, "wb") as f:
        f.write(text.replace("\n", "\r\n").encode("cp1252"))
    os.chmod(path, 0o600)


class UploadTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        d = cls.dir.name
        run = lambda *a: subprocess.run(a, cwd=d, check=True, capture_output=True)
        run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "ca.key",
            "-out", "ca.pem", "-subj", "/CN=Tavrolin Test CA", "-days", "2")
        run("openssl", "req", "-newkey", "rsa:2048", "-nodes", "-keyout", "server.key", "-out",
            "server.csr", "-subj", "/CN=127.0.0.1")
        with open(os.path.join(d, "ext"), "w") as f:
            f.write("subjectAltName=IP:127.0.0.1\n")
        run("openssl", "x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "ext")
        cls.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        cls.tls.load_cert_chain(os.path.join(d, "server.pem"), os.path.join(d, "server.key"))
        cls.ca = os.path.join(d, "ca.pem")

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def stand_ins(self):
        s = {
            "wu": standins.HttpStandIn(standins.WundergroundHandler, ("IMUSTER1", KEY), self.tls),
            "pws": standins.HttpStandIn(standins.PwsHandler, ("PWS1", KEY), self.tls),
            "wow": standins.HttpStandIn(standins.WowHandler, ("4711", KEY), self.tls),
            "windy": standins.HttpStandIn(standins.WindyHandler, ("st1", KEY), self.tls),
            "osm": standins.HttpStandIn(standins.OpenSenseMapHandler,
                                        ("box1", KEY, {"s-temp", "s-hum", "s-baro", "s-rain"}),
                                        self.tls),
            "cwop": standins.CwopStandIn(),
        }
        return s

    def networks(self, s, key=KEY):
        return (
            "[Station]\nAu\u00dfen=outdoor-1\nWind=wind-3\nRegen=rain-0\nLuftdruck=indoor-2\n"
            "H\u00f6he=312\nBreite=48.1375\nL\u00e4nge=-11.575\n[Regen]\nrain-0=0.25\n"
            f"[Wunderground]\nKennung=IMUSTER1\nSchl\u00fcssel={key}\n"
            f"Adresse={s['wu'].url('/weatherstation/updateweatherstation.php')}\n"
            f"[PWSweather]\nKennung=PWS1\nSchl\u00fcssel={key}\n"
            f"Adresse={s['pws'].url('/pwsupdate/pwsupdate.php')}\n"
            f"[WOW]\nKennung=4711\nSchl\u00fcssel={key}\nAdresse={s['wow'].url('/automaticreading')}\n"
            f"[Windy]\nKennung=st1\nSchl\u00fcssel={key}\n"
            f"Adresse={s['windy'].url('/api/v2/observation/update')}\n"
            f"[openSenseMap]\nKennung=box1\nSchl\u00fcssel={key}\nAdresse={s['osm'].url('')}\n"
            "Temperatur=s-temp\nFeuchte=s-hum\nLuftdruck=s-baro\nRegenHeute=s-rain\n"
            f"[CWOP]\nKennung=CW0001\nAdresse=127.0.0.1:{s['cwop'].port}\n")

    def upload(self, profile, archive, *args):
        return subprocess.run([UPLOAD, "--profile", profile, "--archive", archive, "--ca", self.ca,
                               "--state", self.path("state"), *args],
                              capture_output=True, text=True, timeout=60)

    def simulator(self, name):
        """A simulated receiver at 60 times the sensors' pace, on the link `name`."""
        tty = self.path(name)
        sim = subprocess.Popen([SIM, "--link", tty, "--speed", "60"], stdout=subprocess.PIPE,
                               text=True)
        self.addCleanup(sim.kill)
        self.addCleanup(sim.stdout.close)
        self.assertTrue(sim.stdout.readline().startswith("tavrolin-sim: ready on"))
        return tty, sim

    def test_values_sent_are_the_loggers_readings_converted(self):
        tty, sim = self.simulator("ttySIM")
        s = self.stand_ins()
        profile = self.path("values.INI")
        write_profile(profile, f"[SYSTEM]\n[Ports]\nCOM1={tty}\n[Archiv]\nSchreibintervall=1\n"
                      + self.networks(s))
        archive = self.path("values.sqlite")
        log = subprocess.Popen([LOG, "--profile", profile, "--archive", archive, "--json"],
                               stdout=subprocess.PIPE, text=True)
        self.addCleanup(log.kill)
        self.addCleanup(log.stdout.close)
        last, rain = {}, 0
        for line in log.stdout:
            reading = json.loads(line)
            last[reading["sensor"]] = reading
            rain += reading["sensor"] == "rain-0"
            if rain >= 2 and {"outdoor-1", "wind-3", "indoor-2"} <= set(last):
                break
        log.send_signal(signal.SIGTERM)
        self.assertEqual(log.wait(10), 0)
        sim.kill()
        out, hyg, wind = last["outdoor-1"], last["indoor-2"], last["wind-3"]
        rain = last["rain-0"]

        def test(name):
            done = self.upload(profile, archive, "--test", name)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertNotIn(KEY, done.stdout + done.stderr)
            return done

        shown = test("wunderground").stdout
        self.assertIn("PASSWORD=***&", shown)
        wu = s["wu"].recorder.accepted[-1]
        self.assertEqual(wu["tempf"], str(fahrenheit(str(out["temperature"]), 1)))
        self.assertEqual(wu["dewptf"], str(fahrenheit(str(out["dew_point"]), 1)))
        self.assertEqual(wu["humidity"], str(out["humidity"]))
        self.assertEqual(wu["baromin"], str(in_hg(str(hyg["pressure_sea_level"]))))
        self.assertEqual(wu["windspeedmph"], str(mph(str(wind["wind_speed"]), 1)))
        self.assertEqual(wu["winddir"], str(wind["wind_direction"] % 360))
        self.assertEqual(wu["rainin"], str(inches(str(rain["rain_1h_mm"]), 2)))
        self.assertEqual(wu["dailyrainin"], str(inches(str(rain["rain_today_mm"]), 2)))
        self.assertNotIn("windgustmph", wu)  # the station measures no gust: not sent as 0
        test("pwsweather")
        self.assertEqual(s["pws"].recorder.accepted[-1]["tempf"], wu["tempf"])
        test("wow")
        self.assertEqual(s["wow"].recorder.accepted[-1]["siteid"], "4711")
        test("windy")
        windy = s["windy"].recorder.accepted[-1]
        self.assertEqual(windy["temp"], str(out["temperature"]))
        self.assertEqual(windy["pressure"], str(int(Decimal(str(hyg["pressure_sea_level"])) * 100)))
        self.assertEqual(windy["wind"], str(rounded(Decimal(str(wind["wind_speed"])) / Decimal("3.6"), 1)))
        self.assertEqual(Decimal(windy["precip"]), Decimal(str(rain["rain_1h_mm"])))
        test("opensensemap")
        osm = {v["sensor"]: v["value"] for v in s["osm"].recorder.accepted}
        self.assertEqual(osm, {"s-temp": out["temperature"], "s-hum": out["humidity"],
                               "s-baro": hyg["pressure_sea_level"], "s-rain": rain["rain_today_mm"]})
        test("cwop")
        # The stand-in takes the packet in after tavrolin-upload has sent it and gone.
        self.assertTrue(s["cwop"].recorder.wait(lambda r: r.accepted, timeout=10))
        cwop = s["cwop"].recorder.accepted[-1]
        self.assertNotIn("error", cwop, cwop)
        self.assertEqual(cwop["lat"] + "/" + cwop["lon"], "4808.25N/01134.50W")
        self.assertEqual(cwop["temp"], "%03d" % fahrenheit(str(out["temperature"]), 0))
        self.assertEqual(cwop["hum"], "%02d" % (out["humidity"] % 100))
        self.assertEqual(cwop["baro"], "%05d" % int(Decimal(str(hyg["pressure_sea_level"])) * 10))
        self.assertEqual(cwop["rainday"], "%03d" % inches(str(rain["rain_today_mm"]), 2).scaleb(2))
        self.assertEqual(cwop["rain24h"], "...")

        # A wrong key: the network's own words, said plainly, the key never shown.
        write_profile(profile, self.networks(s, key="falsch"))
        done = self.upload(profile, archive, "--test", "wunderground")
        self.assertEqual(done.returncode, 1)
        self.assertIn("HTTP 401: unauthorized", done.stdout)
        self.assertIn("abgewiesen", done.stdout)
        self.assertNotIn("falsch", done.stdout + done.stderr)

    def test_the_live_feed_sends_each_minute_before_the_archive_commits_it(self):
        tty, _ = self.simulator("ttyLIVE")
        s = self.stand_ins()
        profile = self.path("live.INI")
        # The logger's default commit interval, five minutes: the archive holds none of the
        # readings while the test runs.
        write_profile(profile, f"[SYSTEM]\n[Ports]\nCOM1={tty}\n[Archiv]\n"
                      f"Live={self.path('live.sock')}\n"
                      + self.networks(s).replace("[Wunderground]\n", "[Wunderground]\nIntervall=60\n"))
        archive = self.path("live.sqlite")
        log = subprocess.Popen([LOG, "--profile", profile, "--archive", archive, "--json"],
                               stdout=subprocess.PIPE, text=True)
        self.addCleanup(log.kill)
        self.addCleanup(log.stdout.close)
        outdoor = []  # (seconds, temperature) of the logger's readings of the outdoor sensor

        def follow():
            for line in log.stdout:
                r = json.loads(line)
                if r["sensor"] == "outdoor-1":
                    at = datetime.datetime.fromisoformat(r["time"]).timestamp()
                    outdoor.append((at, r["temperature"]))
        follower = threading.Thread(target=follow, daemon=True)
        follower.start()
        upload = subprocess.Popen(
            [UPLOAD, "--profile", profile, "--archive", archive, "--ca", self.ca, "--state",
             self.path("state-live")], stderr=subprocess.PIPE, text=True)
        self.addCleanup(upload.kill)
        wu = s["wu"].recorder
        self.assertTrue(wu.wait(lambda r: any("tempf" in a for a in r.accepted), timeout=150))
        with sqlite3.connect(f"file:{archive}?mode=ro", uri=True) as db:
            archived = (db.execute("SELECT max(t) FROM recent").fetchone()[0] or 0) / 1000
        upload.send_signal(signal.SIGTERM)
        _, said = upload.communicate(timeout=10)
        self.assertEqual(upload.returncode, 0, said)
        # Every reading the logger printed, up to its end, before they are compared.
        log.send_signal(signal.SIGTERM)
        self.assertEqual(log.wait(10), 0)
        follower.join(10)
        used = []  # the time of the reading each observation had to take its temperature from
        for sent in (a for a in wu.accepted if "tempf" in a):
            t = standins._seconds(sent["dateutc"])
            before = [r for r in outdoor if r[0] <= t]
            self.assertTrue(before, sent)
            newest = before[-1]
            self.assertEqual(sent["tempf"], str(fahrenheit(str(newest[1]), 1)),
                             (sent, before[-3:]))
            used.append(newest[0])
        # Readings the archive had not committed when they went out.
        self.assertGreater(max(used), archived)

    def test_missed_observations_arrive_oldest_first_and_a_restart_sends_nothing_twice(self):
        now = int(time.time())
        first = now - 3 * 3600
        lines = []
        for i, t in enumerate(range(first, now - 30, 60)):
            at = datetime.datetime.fromtimestamp(t, datetime.timezone.utc).isoformat()
            lines.append(json.dumps({"time": at, "sensor": "outdoor-1", "kind": 1, "address": 1,
                                     "v12": False, "interval": 60.0,
                                     "temperature": (i % 150 - 60) / 10,
                                     "humidity": 40 + i % 50}))
        readings = {t: json.loads(line) for t, line in zip(range(first, now - 30, 60), lines)}
        with open(self.path("past.jsonl"), "w") as f:
            f.write("\n".join(lines) + "\n")
        archive = self.path("past.sqlite")
        subprocess.run([HISTORY, "--archive", archive, "import", self.path("past.jsonl")],
                       check=True, capture_output=True)
        s = self.stand_ins()
        profile = self.path("past.INI")
        write_profile(profile, self.networks(s))
        wu = s["wu"].recorder
        wu.fail_next = [503]  # down at first: the first request fails, 30 s later it is tried again
        wu.hold_from = 14  # the 14th request is held, then dropped: the kill comes during it

        first_run = subprocess.Popen(
            [UPLOAD, "--profile", profile, "--archive", archive, "--ca", self.ca, "--state",
             self.path("state-past")], stderr=subprocess.PIPE, text=True)
        self.addCleanup(first_run.kill)
        self.assertTrue(wu.wait(lambda r: r.received >= 14, timeout=90))
        self.assertEqual(len(wu.accepted), 12)
        first_run.kill()
        _, said = first_run.communicate()
        self.assertIn("Senden an Wunderground fehlgeschlagen: HTTP 503: server busy; "
                      "n\u00e4chster Versuch in 30 s.", said)
        self.assertIn("Wunderground nimmt die Beobachtungen an", said)
        wu.released.set()

        second_run = subprocess.Popen(
            [UPLOAD, "--profile", profile, "--archive", archive, "--ca", self.ca, "--state",
             self.path("state-past")], stderr=subprocess.PIPE, text=True)
        self.addCleanup(second_run.kill)
        slots = [t for t in range(first - first % 300 + 300, int(time.time()) - 3, 300)
                 if t >= first]
        self.assertTrue(wu.wait(lambda r: len(r.accepted) >= len(slots), timeout=90))
        second_run.send_signal(signal.SIGTERM)
        _, stderr = second_run.communicate(timeout=10)
        self.assertEqual(second_run.returncode, 0)
        self.assertNotIn(KEY, stderr)

        sent = [standins._seconds(a["dateutc"]) for a in wu.accepted]
        self.assertEqual(sent[:len(slots)], slots, "each missed observation once, oldest first")
        self.assertEqual(len(set(sent)), len(sent), "nothing twice")
        for a in wu.accepted:
            t = standins._seconds(a["dateutc"])
            newest = max(r for r in readings if r <= t)
            self.assertEqual(a["tempf"], str(fahrenheit(str(readings[newest]["temperature"]), 1)))
        # CWOP takes only the newest, WOW at most one per five minutes.
        self.assertLessEqual(len(s["cwop"].recorder.accepted), 2)
        self.assertTrue(all("error" not in p for p in s["cwop"].recorder.accepted))
        self.assertEqual(s["wow"].recorder.received, len(s["wow"].recorder.accepted))
        with open(self.path("state-past/wunderground.state")) as f:
            self.assertNotIn(KEY, f.read())


if __name__ == "__main__":
    unittest.main()
