"""ssmsg serve of a PostgreSQL database of many sites, in headless Chromium: a login on the list of
sites, a site's pages under its name, and a site named as markup shown as text. Run under
pg_virtualenv (tests/postgres.sh), which points libpq at a server of the test's own."""

import re
import signal
import subprocess
import time
import urllib.parse

import pytest
from selenium.webdriver.common.by import By

from browser import chromium
from test_editor import HOSTILE, TOOL, check_quiet, follow, save

DATABASE = "postgresql:///"


def tool(*arguments, password=None):
    subprocess.run([TOOL, *arguments], check=True, capture_output=True,
                   input=None if password is None else f"{password}\n".encode())


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    work = tmp_path_factory.mktemp("sites")
    demo = work / "demo.json"
    demo.write_bytes(subprocess.run([TOOL, "demo-site"], check=True,
                                    capture_output=True).stdout)
    tool("migrate", DATABASE)
    # ada is north's admin and a viewer of the site whose name is markup; tom has a site of his own.
    for site, users in (("north", [("ada", "admin")]), (HOSTILE, [("ada", "viewer")]),
                        ("south", [("tom", "admin")])):
        location = DATABASE + "?site=" + urllib.parse.quote(site, safe="")
        tool("convert", str(demo), location)
        for name, role in users:
            if name == "ada" and role == "viewer":  # a user of north already
                tool("user", "role", name, "--role", role, "--config", location)
            else:
                tool("user", "add", name, "--role", role, "--config", location,
                     password=f"{name} password")
    log = work / "serve.log"
    with open(log, "wb") as output:
        process = subprocess.Popen([TOOL, "serve", "--config", DATABASE, "--listen", "127.0.0.1:0"],
                                   stdout=subprocess.DEVNULL, stderr=output)
    deadline = time.monotonic() + 20
    while not (found := re.search(r"http://127\.0\.0\.1:\d+", log.read_text())):
        assert process.poll() is None, log.read_text()
        assert time.monotonic() < deadline, "the server did not say where it serves"
        time.sleep(0.05)
    assert "serving the 3 sites of " in log.read_text()
    yield found.group(0)
    process.send_signal(signal.SIGTERM)
    assert process.wait(20) == 0, log.read_text()


def test_login_lists_the_sites_and_a_site_keeps_to_its_own_pages(server):
    with chromium() as driver:
        driver.get(server + "/")
        assert driver.current_url == server + "/login"
        driver.find_element(By.NAME, "name").send_keys("ada")
        driver.find_element(By.NAME, "password").send_keys("ada password")
        follow(driver, driver.find_element(By.CSS_SELECTOR, "form.edit button"))
        assert driver.current_url == server + "/"
        rows = [row.text for row in driver.find_elements(By.CSS_SELECTOR, "table tbody tr")]
        assert rows == [f"{HOSTILE} viewer", "north admin"]
        check_quiet(driver)

        follow(driver, driver.find_element(By.LINK_TEXT, "north"))
        assert driver.current_url == server + "/sites/north/"
        follow(driver, driver.find_element(By.LINK_TEXT, "1.1"))
        assert driver.current_url == server + "/sites/north/controllers/1/1"
        save(driver, "edit-Inputs-0", {"Inputs[0].Name": "North door"})
        assert driver.current_url.startswith(
            server + "/sites/north/controllers/1/1?saved=edit-Inputs-0")
        assert driver.find_element(By.CSS_SELECTOR, "p.saved").text == "Saved."
        follow(driver, driver.find_element(By.LINK_TEXT, "Audit log"))
        assert driver.current_url == server + "/sites/north/audit"
        assert "North door" in driver.find_element(By.CSS_SELECTOR, "table.audit").text
        check_quiet(driver)

        # The other sites' pages: the viewer's, named as markup, without the change; tom's, none.
        follow(driver, driver.find_element(By.LINK_TEXT, "Sites"))
        follow(driver, driver.find_element(By.LINK_TEXT, HOSTILE))
        assert driver.current_url == \
            server + "/sites/" + urllib.parse.quote(HOSTILE, safe="-._~") + "/"
        follow(driver, driver.find_element(By.LINK_TEXT, "1.1"))
        assert "North door" not in driver.page_source
        assert driver.find_elements(By.ID, "edit") == []  # a viewer changes nothing
        check_quiet(driver)
        driver.get(server + "/sites/south/")
        assert driver.current_url == server + "/sites/south/login"

        # Logging out through a site ends the login for all of them.
        driver.get(server + "/sites/north/")
        follow(driver, driver.find_element(By.XPATH, "//button[text()='Log out']"))
        driver.get(server + "/")
        assert driver.current_url == server + "/login"
        check_quiet(driver)
