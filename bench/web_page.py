#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How soon a sensor page of the browser view stands in a real browser (Debian packages:
chromium, chromium-driver, python3-selenium), on the ten-year archive of archive_bench: from
the start of the navigation to the charts drawn (the page's performance mark "gezeichnet"),
for a thermo-hygrometer, the wind and the rain sensor over its last day, its last year (as
chosen spans: the archive ends on 2025-01-01) and the whole archive; each the median of five loads in a browser whose cache is warm, as a returning
visitor's.

    bench/web_page.py [BUILD_DIR]        # default build/; the archive as for archive_bench
"""
import os, shutil, statistics, subprocess, sys, time
from benchproc import free_port
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.support.ui import WebDriverWait

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
ARCHIVE = os.environ.get("TAVROLIN_BENCH_ARCHIVE", os.path.join(BUILD, "bench/archive-10y.sqlite"))
WEB = os.path.join(BUILD, "src/main/tavrolin-web")


def main():
    port = free_port()
    profile = os.path.join(BUILD, "web_page.INI")
    open(profile, "w").close()
    web = subprocess.Popen([WEB, "--archive", ARCHIVE, "--profile", profile, "--listen",
                            f"127.0.0.1:{port}"], stdout=subprocess.PIPE, text=True)
    web.stdout.readline()
    options = webdriver.ChromeOptions()
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,900"):
        options.add_argument(argument)
    options.binary_location = shutil.which("chromium")
    browser = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=options)
    try:
        end = 1735689600000  # the archive's last reading
        spans = {"day": f"from={end - 86400000}&to={end}",
                 "year": f"from={end - 365 * 86400000}&to={end}", "all": "range=all"}
        for sensor in ("outdoor-1", "wind-7", "rain-7"):
            for span, query in spans.items():
                times = []
                for _ in range(6):
                    browser.get(f"http://127.0.0.1:{port}/sensor/{sensor}?{query}")
                    WebDriverWait(browser, 30).until(lambda b: b.execute_script(
                        "return performance.getEntriesByName('gezeichnet').length > 0"))
                    times.append(browser.execute_script(
                        "return performance.getEntriesByName('gezeichnet')[0].startTime"))
                print(f"{sensor} {span}: {statistics.median(times[1:]):.0f} ms")
    finally:
        browser.quit()
        web.terminate()
        web.wait()
        os.remove(profile)


main()
