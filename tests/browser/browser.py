"""Headless Chromium from Debian, driven by Selenium: the browser that the report tests and the
benchmark open reports in. Nothing is fetched: the profile is new and empty, and every background
service that would reach the network is off."""

import contextlib
import shutil
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


@contextlib.contextmanager
def chromium(width=1400, height=1000, javascript=True):
    profile = tempfile.mkdtemp(prefix="ssmsg-chromium-")
    options = webdriver.ChromeOptions()
    if not javascript:
        options.add_experimental_option(
            "prefs", {"profile.managed_default_content_settings.javascript": 2})
    options.binary_location = CHROMIUM
    for argument in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", f"--window-size={width},{height}",
                     f"--user-data-dir={profile}"):
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    try:
        yield driver
    finally:
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)


def load_milliseconds(driver, url):
    """Opens `url` and gives the time from the start of navigation to the end of the load event."""
    driver.get(url)
    return driver.execute_script(
        "const t = performance.getEntriesByType('navigation')[0];"
        "return t.loadEventEnd - t.startTime;")


if __name__ == "__main__":
    # bench/run: the load time of a page, the fastest of three, in milliseconds.
    import pathlib
    import sys
    url = pathlib.Path(sys.argv[1]).resolve().as_uri()
    with chromium() as driver:
        print(round(min(load_milliseconds(driver, url) for _ in range(3))))
