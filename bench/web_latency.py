#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How soon a reading reaches an open overview page in a real browser (Debian packages:
chromium, chromium-driver, python3-selenium): tavrolin-sim (--rate 20) -> tavrolin-log at
the default commit interval -> its live feed -> tavrolin-web -> headless chromium. For 60 s the page's own event stream is
watched from inside the page: for every reading, the time from its decoding by the logger
(the reading's time) to its arrival in the browser; median, p99 and the most.

    bench/web_latency.py [BUILD_DIR]        # default build/
"""
import os, shutil, subprocess, sys, tempfile, time
from benchproc import free_port
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
SIM, LOG, WEB = (os.path.join(BUILD, "src/main", p) for p in ("tavrolin-sim", "tavrolin-log", "tavrolin-web"))

# Listens beside the page's own stream, in the page, as the page would.
WATCH = """
window.delays = [];
const source = new EventSource('/events');
source.onmessage = (e) => {
  window.delays.push(Date.now() - Date.parse(JSON.parse(e.data).reading.time));
};
"""


def main():
    work = tempfile.mkdtemp(prefix="tavrolin-web-latency-")
    link, archive = os.path.join(work, "ttySIM"), os.path.join(work, "archiv.sqlite")
    profile = os.path.join(work, "tavrolin.INI")
    # The default commit interval of five minutes: the page is live by the feed.
    with open(profile, "w") as f:
        f.write("[Archiv]\n")
    os.environ["XDG_RUNTIME_DIR"] = work
    children = []
    try:
        sim = subprocess.Popen([SIM, "--link", link, "--rate", "20"], stdout=subprocess.PIPE, text=True)
        children.append(sim)
        sim.stdout.readline()
        children.append(subprocess.Popen([LOG, "--port", link, "--archive", archive, "--profile", profile],
                                         stdout=subprocess.DEVNULL, cwd=work))
        while not os.path.exists(archive):
            time.sleep(0.1)
        time.sleep(2)
        port = free_port()
        web = subprocess.Popen([WEB, "--archive", archive, "--profile", profile, "--listen",
                                f"127.0.0.1:{port}"], stdout=subprocess.PIPE, text=True)
        children.append(web)
        web.stdout.readline()
        options = webdriver.ChromeOptions()
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu"):
            options.add_argument(argument)
        options.binary_location = shutil.which("chromium")
        browser = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
        try:
            browser.get(f"http://127.0.0.1:{port}/")
            WebDriverWait(browser, 30).until(lambda b: b.execute_script(
                "return document.body.dataset.lastId !== undefined"))
            browser.execute_script(WATCH)
            time.sleep(60)
            delays = sorted(browser.execute_script("return window.delays"))
        finally:
            browser.quit()
    finally:
        for child in reversed(children):
            child.terminate()
            child.wait()
    print(f"{len(delays)} readings: median {delays[len(delays) // 2]} ms, "
          f"p99 {delays[int(len(delays) * 0.99)]} ms, most {delays[-1]} ms")


main()
