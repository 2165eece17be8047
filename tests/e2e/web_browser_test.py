#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# The browser view in a real browser (Debian's chromium, headless, through chromium-driver and
# Selenium), on a station as it runs: tavrolin-sim -> tavrolin-log -> the archive ->
# tavrolin-web. The overview shows the sensors and takes new readings without a reload, and
# comes back by itself after tavrolin-web was stopped and started again; a sensor page draws
# its charts, switches its range and offers its CSV; /metrics passes promtool; with a login
# set, nothing answers without it. Screenshots at desktop and phone width are left in the
# artifacts folder. Waits are generous and event-driven: nothing here times anything.
#
# Arguments: SIM LOG WEB ARTIFACTS. Exit 77 (skipped) where the browser is not installed.
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SIM, LOG, WEB, ARTIFACTS = (os.path.abspath(a) for a in sys.argv[1:5])
WAIT = 60  # seconds; a slow machine under load still makes it, and nothing waits this long when all is well

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("python3-selenium fehlt")
    sys.exit(77)
if not shutil.which("chromium") or not shutil.which("chromedriver"):
    print("chromium oder chromium-driver fehlt")
    sys.exit(77)

children = []


def start(args, **kw):
    child = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)
    children.append(child)
    return child


def stop(child):
    if child.poll() is None:
        child.send_signal(signal.SIGTERM)
        child.wait(timeout=WAIT)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def until(what, check, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = check()
        if value:
            return value
        time.sleep(0.2)
    raise AssertionError("gewartet, vergebens: " + what)


def get(url, headers=None):
    try:
        with urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}), timeout=10) as r:
            return r.status, r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, ""
    except (urllib.error.URLError, ConnectionError, OSError):
        return 0, ""


def web_state():
    server = children[-1]
    return "running" if server.poll() is None else f"ended with {server.returncode}: {server.stderr.read()}"


def events_between(port, after, last):
    """The ids the event stream sends after `after`, up to `last`."""
    with socket.create_connection(("127.0.0.1", port), timeout=WAIT) as s:
        s.sendall(f"GET /events?after={after} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
        got, ids = b"", []
        while str(last) not in ids:
            data = s.recv(1 << 16)
            assert data, f"the stream ended after {len(ids)} events; tavrolin-web: {web_state()}"
            got += data
            *lines, got = got.split(b"\n")
            ids += [line[4:].decode() for line in lines if line.startswith(b"id: ")]
            assert b"event: reload" not in b"\n".join(lines)
        return ids


def web(archive, profile, port):
    child = start([WEB, "--archive", archive, "--profile", profile, "--listen", f"127.0.0.1:{port}"])
    line = child.stdout.readline()
    assert f":{port}/" in line, line + child.stderr.read()
    return child


def main():
    os.makedirs(ARTIFACTS, exist_ok=True)
    work = tempfile.mkdtemp(prefix="tavrolin-web-")
    link = os.path.join(work, "ttySIM")
    archive = os.path.join(work, "archiv.sqlite")
    profile = os.path.join(work, "tavrolin.INI")
    with open(profile, "w") as f:
        # A commit a second, so that a new reading reaches the page soon.
        f.write("[Sensornamen]\noutdoor-1=Garten\n[Station]\nHöhe=312\n[Archiv]\nSchreibintervall=1\n")
    env = dict(os.environ, XDG_DATA_HOME=work, XDG_CONFIG_HOME=work)
    sim = start([SIM, "--link", link, "--speed", "60"], env=env)
    assert "ready" in sim.stdout.readline()
    began = int(time.time() * 1000)
    # The protocol file is the logger's working folder's.
    start([LOG, "--port", link, "--archive", archive, "--profile", profile], env=env, cwd=work)
    until("das Archiv", lambda: os.path.exists(archive) and os.path.getsize(archive) > 0)
    time.sleep(1)  # a first commit, so that the web view finds a current archive

    port = free_port()
    server = web(archive, profile, port)
    base = f"http://127.0.0.1:{port}"

    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     "--window-size=1280,900"):
        options.add_argument(argument)
    options.binary_location = shutil.which("chromium")
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    try:
        browser.get(base + "/")
        wait = WebDriverWait(browser, WAIT)
        wait.until(lambda b: len(b.find_elements(By.CSS_SELECTOR, "#overview tbody tr")) >= 3)
        assert "Garten" in browser.find_element(By.ID, "row-outdoor-1").text
        wait.until(lambda b: b.find_element(By.ID, "status").text == "live")

        # A new reading appears without a reload: the page is the same document throughout.
        browser.execute_script("document.body.dataset.marker = 'unverändert';")
        seen = browser.find_element(By.ID, "row-outdoor-1").text
        wait.until(lambda b: b.find_element(By.ID, "row-outdoor-1").text != seen)
        wait.until(lambda b: b.execute_script("return Number(document.body.dataset.received) > 0"))
        assert browser.execute_script("return document.body.dataset.marker") == "unverändert"
        browser.save_screenshot(os.path.join(ARTIFACTS, "uebersicht-desktop.png"))

        # Stopped, the page says it is offline; started again, it is back and goes on, and
        # has every reading committed meanwhile once: as many as the server's own stream
        # sends after the page's last one before the stop.
        stand = "return [document.body.dataset.lastId, Number(document.body.dataset.received)]"
        stop(server)
        wait.until(lambda b: "offline" in b.find_element(By.ID, "status").text)
        before, count_before = browser.execute_script(stand)
        time.sleep(3)  # readings the page does not see as they come
        server = web(archive, profile, port)
        wait.until(lambda b: b.find_element(By.ID, "status").text == "live")
        seen = browser.find_element(By.ID, "row-outdoor-1").text
        wait.until(lambda b: b.find_element(By.ID, "row-outdoor-1").text != seen)
        assert browser.execute_script("return document.body.dataset.marker") == "unverändert"
        after, count_after = browser.execute_script(stand)
        ids = events_between(port, before, after)
        assert count_after - count_before == len(ids) and len(ids) > 0, (count_after - count_before, len(ids))

        browser.set_window_size(360, 740)
        browser.save_screenshot(os.path.join(ARTIFACTS, "uebersicht-telefon.png"))
        browser.set_window_size(1280, 900)

        # The sensor page draws its lines: pixels of the line's colour on the canvas.
        wait.until(lambda b: b.execute_script(
            "const a = document.querySelector('#row-outdoor-1 a'); if (a) a.click(); return !!a"))
        wait.until(lambda b: b.execute_script("return document.body.dataset.loaded") == "range=day")
        # On a day's axis the test's minute of readings is a sliver at its right edge; a span
        # of that minute draws them across the chart.
        span = f"from={began - 5000}&to={int(time.time() * 1000) + 5000}"
        browser.get(base + "/sensor/outdoor-1?" + span)
        wait.until(lambda b: b.execute_script("return document.body.dataset.loaded") == span)
        drawn = """
            const c = document.querySelector('#charts canvas');
            if (!c) return 0;
            const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
            let n = 0;
            for (let i = 0; i < d.length; i += 4) {
                if (d[i + 3] > 200 && d[i] < 90 && d[i + 1] > 80 && d[i + 1] < 150 && d[i + 2] > 200) n++;
            }
            return n;"""
        wait.until(lambda b: b.execute_script(drawn) > 30)
        assert len(browser.find_elements(By.CSS_SELECTOR, "#charts canvas")) >= 2  # temperature, humidity
        browser.save_screenshot(os.path.join(ARTIFACTS, "sensor-desktop.png"))
        browser.find_element(By.CSS_SELECTOR, "button[data-range=week]").click()
        wait.until(lambda b: b.execute_script("return document.body.dataset.loaded") == "range=week")
        # A span dragged across a chart is shown in finer detail: a chosen range.
        canvas = browser.find_element(By.CSS_SELECTOR, "#charts canvas")
        ActionChains(browser).move_to_element_with_offset(canvas, 100, 0).click_and_hold() \
            .move_by_offset(200, 0).release().perform()
        wait.until(lambda b: (b.execute_script("return document.body.dataset.loaded") or "")
                   .startswith("from="))
        browser.find_element(By.CSS_SELECTOR, "button[data-range=week]").click()
        wait.until(lambda b: b.execute_script("return document.body.dataset.loaded") == "range=week")
        csv = browser.find_element(By.ID, "csv").get_attribute("href")
        assert csv.endswith("/api/sensors/outdoor-1/csv?range=week"), csv
        status, body = get(csv)
        assert status == 200 and body.startswith("time,") and body.count("\n") > 2, body[:200]
        browser.set_window_size(360, 740)
        browser.save_screenshot(os.path.join(ARTIFACTS, "sensor-telefon.png"))
    finally:
        browser.quit()

    status, metrics = get(base + "/metrics")
    assert status == 200 and 'tavrolin_sensor_value{sensor="outdoor-1",name="Garten"' in metrics
    if shutil.which("promtool"):
        check = subprocess.run(["promtool", "check", "metrics"], input=metrics, text=True,
                               capture_output=True)
        assert check.returncode == 0, check.stdout + check.stderr
    stop(server)

    # With a login, nothing answers without it.
    hashed = subprocess.run([WEB, "--hash-password"], input="geheim\n", text=True,
                            capture_output=True, check=True).stdout.strip()
    with open(profile, "a") as f:
        f.write(f"[Web]\nUser=anna\nPasswordHash={hashed}\n")
    server = web(archive, profile, port)
    for path in ("/", "/sensor/outdoor-1", "/events", "/api/sensors", "/metrics",
                 "/api/sensors/outdoor-1/csv?range=all"):
        assert get(base + path)[0] == 401, path
    assert get(base + "/api/sensors", {"Authorization": "Basic YW5uYTpnZWhlaW0="})[0] == 200
    stop(server)

    # With a certificate it speaks HTTPS (and nothing else on that port).
    cert, key = os.path.join(work, "web.pem"), os.path.join(work, "web.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                    "-nodes", "-subj", "/CN=127.0.0.1", "-days", "1", "-keyout", key, "-out", cert],
                   capture_output=True, check=True)
    server = start([WEB, "--archive", archive, "--profile", profile, "--listen", f"127.0.0.1:{port}",
                    "--cert", cert, "--key", key])
    assert f"https://127.0.0.1:{port}/" in server.stdout.readline()
    context = ssl.create_default_context(cafile=cert)
    context.check_hostname = False
    request = urllib.request.Request(f"https://127.0.0.1:{port}/api/sensors",
                                     headers={"Authorization": "Basic YW5uYTpnZWhlaW0="})
    with urllib.request.urlopen(request, context=context, timeout=10) as r:
        assert r.status == 200
    assert get(base + "/api/sensors")[0] == 0, "plain HTTP on the HTTPS port"
    stop(server)


try:
    main()
finally:
    for child in children:
        if child.poll() is None:
            child.kill()
            child.wait()
