"""ssmsg serve's site editor in headless Chromium, with JavaScript on and off: what a person does
with the pages (log in, change a record, see, download and mark sent its messages, meet someone
else's change), and what must never happen (a name run as markup, a form from another site
accepted, an error in the console)."""

import html
import http.server
import os
import pathlib
import re
import signal
import subprocess
import threading
import time
import urllib.request

import html5lib
import pytest
from selenium.common.exceptions import (
    NoAlertPresentException,
    StaleElementReferenceException,
    WebDriverException,
)
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

from browser import chromium

TOOL = os.environ["SSMSG_TOOL"]
SOURCE = pathlib.Path(os.environ["SSMSG_SOURCE_DIR"])
HOSTILE = "<img src=x onerror=alert(1)>"
# What Chromium logs for a page answered with an error status: the page itself, which says why.
PAGE_STATUS = re.compile(r"Failed to load resource: the server responded with a status of "
                         r"(403|409|422)")


class Server:
    def __init__(self, work):
        self.work = work
        demo = work / "demo.json"
        demo.write_bytes(subprocess.run([TOOL, "demo-site"], check=True,
                                        capture_output=True).stdout)
        self.db = work / "site.db"
        subprocess.run([TOOL, "convert", str(demo), str(self.db)], check=True, capture_output=True)
        for name, role in (("ada", "admin"), ("eve", "editor")):
            subprocess.run([TOOL, "user", "add", name, "--role", role, "--config", str(self.db)],
                           input=f"{name} password\n".encode(), check=True, capture_output=True)
        self.log = work / "serve.log"
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                [TOOL, "serve", "--config", str(self.db), "--listen", "127.0.0.1:0"],
                stdout=subprocess.DEVNULL, stderr=log)
        deadline = time.monotonic() + 20
        while not (found := re.search(r"http://127\.0\.0\.1:\d+", self.log.read_text())):
            assert self.process.poll() is None, self.log.read_text()
            assert time.monotonic() < deadline, "the server did not say where it serves"
            time.sleep(0.05)
        self.url = found.group(0)

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        assert self.process.wait(20) == 0, self.log.read_text()


@pytest.fixture(scope="module")
def server(tmp_path_factory):
    running = Server(tmp_path_factory.mktemp("editor"))
    yield running
    running.stop()


def follow(driver, element):
    """Clicks `element` (a button that posts its form, a link) and waits for the page it leads to."""
    page = driver.find_element(By.TAG_NAME, "html")
    element.click()

    def replaced(_):
        try:
            page.is_enabled()
            return False
        except StaleElementReferenceException:
            return True
        except WebDriverException as error:
            # Asked while the old document is being replaced, Chrome says so in words of its own.
            if "does not belong to the document" in str(error):
                return True
            raise

    WebDriverWait(driver, 10).until(replaced)


def log_in(driver, server, name):
    driver.get(server.url + "/controllers/1/1")
    assert driver.current_url == server.url + "/login?next=%2Fcontrollers%2F1%2F1"
    driver.find_element(By.NAME, "name").send_keys(name)
    driver.find_element(By.NAME, "password").send_keys(f"{name} password")
    follow(driver, driver.find_element(By.CSS_SELECTOR, "form.edit button"))
    assert driver.current_url == server.url + "/controllers/1/1"


def session(server, name, javascript):
    with chromium(1400, 1000, javascript=javascript) as driver:
        # JavaScript is as asked: a page of its own that would change its title.
        driver.get("data:text/html,<title>off</title><script>document.title='on'</script>")
        assert driver.title == ("on" if javascript else "off")
        log_in(driver, server, name)
        yield driver


@pytest.fixture(scope="module", params=[True, False], ids=["js", "nojs"])
def javascript(request):
    return request.param


@pytest.fixture(scope="module")
def eve(server, javascript):
    yield from session(server, "eve", javascript)


@pytest.fixture(scope="module")
def ada(server, javascript):
    yield from session(server, "ada", javascript)


def check_quiet(driver, *statuses):
    """No error in the console but the status of a page expected to answer with one; no dialog
    open, no image made of a name."""
    errors = [entry["message"] for entry in driver.get_log("browser")
              if entry["level"] == "SEVERE" and not (
                  (match := PAGE_STATUS.search(entry["message"])) and match.group(1) in statuses)]
    assert errors == []
    with pytest.raises(NoAlertPresentException):
        driver.switch_to.alert.text
    assert driver.find_elements(By.TAG_NAME, "img") == []
    assert driver.find_elements(By.TAG_NAME, "script") == []


def open_record(driver, form):
    """Opens the record form `form` ("edit-Inputs-0"): a line that links to its page with the form
    open, or the form itself, open already or folded until its summary is clicked."""
    record = driver.find_element(By.ID, form)
    if record.tag_name == "p":
        follow(driver, record.find_element(By.TAG_NAME, "a"))
        record = driver.find_element(By.ID, form)
        assert record.tag_name == "details" and record.get_attribute("open") is not None
    if record.get_attribute("open") is None:
        record.find_element(By.TAG_NAME, "summary").click()
    return record


def save(driver, form, values):
    """Fills the inputs `values` (by name) of form `form` and saves it."""
    record = open_record(driver, form) if form.split("-")[-1].isdigit() else \
        driver.find_element(By.ID, form)
    for name, value in values.items():
        field = record.find_element(By.NAME, name)
        field.clear()
        field.send_keys(value)
    follow(driver, record.find_element(By.CSS_SELECTOR, "button[type=submit]"))


def test_renamed_input_is_pending_downloaded_and_sent(server, eve, javascript, tmp_path):
    name = "Door js" if javascript else "Door nojs"  # one piece of a name message
    eve.get(server.url + "/controllers/1/1")
    save(eve, "edit-Inputs-0", {"Inputs[0].Name": name})
    assert eve.current_url.startswith(server.url + "/controllers/1/1?saved=edit-Inputs-0")
    assert eve.find_element(By.CSS_SELECTOR, "p.saved").text == "Saved."
    # The report's view of the controller shows it as its table does.
    assert name in eve.find_element(By.ID, "c1-Inputs-0").text
    check_quiet(eve)
    if not javascript:  # the second run: the first marked the controller sent
        eve.get(server.url + "/controllers/1/1")
        eve.set_window_size(1400, 1300)
        shot = eve.get_screenshot_as_png()
        eve.set_window_size(1400, 1000)
        (tmp_path / "editor.png").write_bytes(shot)
        if os.environ.get("SSMSG_UPDATE_SCREENSHOT"):
            (SOURCE / "docs" / "editor.png").write_bytes(shot)

    follow(eve, eve.find_element(By.PARTIAL_LINK_TEXT, "mark them sent"))
    messages = [pre.text for pre in eve.find_elements(By.CSS_SELECTOR, "ol.messages pre")]
    count = len(messages)
    assert eve.find_element(By.CSS_SELECTOR, "b.count").text == \
        f"{count} message{'' if count == 1 else 's'}"
    assert any(f"<Name>{name}</Name>" in message for message in messages)

    eve.execute_cdp_cmd("Page.setDownloadBehavior",
                        {"behavior": "allow", "downloadPath": str(tmp_path)})
    eve.find_element(By.LINK_TEXT, "Download").click()
    file = tmp_path / "messages-1-1.txt"
    deadline = time.monotonic() + 10
    while not file.exists() and time.monotonic() < deadline:
        time.sleep(0.05)
    assert file.read_text().splitlines() == messages

    follow(eve, eve.find_element(By.XPATH, "//button[text()='Mark as sent']"))
    assert eve.find_element(By.CSS_SELECTOR, "b.count").text == "0 messages"
    check_quiet(eve)


def test_editors_merge_apart_and_decide_where_they_meet(server, eve, ada, javascript):
    mine, theirs = (f"Ada's dock {javascript}", f"Eve's dock {javascript}")
    for driver, record in ((eve, "edit-Inputs-0"), (ada, "edit-Inputs-2")):
        driver.get(server.url + "/controllers/1/2")
        open_record(driver, record)
    save(eve, "edit-Inputs-0", {"Inputs[0].Name": f"Eve's door {javascript}"})
    assert eve.find_element(By.CSS_SELECTOR, "p.saved").text == "Saved."
    # Another record, from the page opened before eve's save: merged, not a conflict.
    save(ada, "edit-Inputs-2", {"Inputs[2].Name": f"Ada's tamper {javascript}"})
    assert ada.find_element(By.CSS_SELECTOR, "p.saved").text == "Saved."
    # The same value, from a page opened before eve's next save: a conflict.
    open_record(ada, "edit-Inputs-0")
    save(eve, "edit-Inputs-0", {"Inputs[0].Name": theirs})
    save(ada, "edit-Inputs-0", {"Inputs[0].Name": mine})

    assert "Someone else saved controller 1.2 first" in ada.find_element(By.TAG_NAME, "h2").text
    assert "eve saved it at " in ada.find_element(By.CSS_SELECTOR, "section.conflict p").text
    changed = ada.find_elements(By.CSS_SELECTOR, "table.compare tr.changed")
    cells = [[cell.text for cell in row.find_elements(By.XPATH, "*")] for row in changed]
    assert [[row[0], row[2], row[3]] for row in cells] == [
        ["Input 1 name", f'"{mine}"', f'"{theirs}"']]
    assert ada.find_element(By.NAME, "take:Inputs[0].Name").get_attribute("value") == "mine"
    follow(ada, ada.find_element(By.XPATH, "//button[text()='Save with the values chosen']"))
    assert ada.find_element(By.CSS_SELECTOR, "p.saved").text == "Saved."
    for k, name in ((0, mine), (2, f"Ada's tamper {javascript}")):
        assert open_record(ada, f"edit-Inputs-{k}").find_element(
            By.NAME, f"Inputs[{k}].Name").get_attribute("value") == name

    # Both changes are in the audit log, the latest first, also among the controller's alone.
    for query in ("", "?controller=1.2"):
        ada.get(server.url + "/audit" + query)
        rows = [[cell.text for cell in row.find_elements(By.TAG_NAME, "td")]
                for row in ada.find_elements(By.CSS_SELECTOR, "table.audit tbody tr")]
        assert rows[1][2] == "eve" and rows[1][5].endswith(f'→ "{theirs}"')
        assert rows[0][2] == "ada" and rows[0][5] == f'Inputs[0].Name: "{theirs}" → "{mine}"'

    check_quiet(eve)
    check_quiet(ada, "409")


def test_change_set_adds_a_holiday_to_many_after_a_preview_and_is_reverted_whole(
        server, eve, ada, javascript):
    day = "24" if javascript else "23"
    eve.get(server.url + "/")
    follow(eve, eve.find_element(By.LINK_TEXT, "Change many"))
    eve.find_element(By.NAME, "interface").send_keys("1")
    eve.find_element(By.CSS_SELECTOR, "input[name=what][value=holiday]").click()
    eve.find_element(By.NAME, "month").send_keys("12")
    eve.find_element(By.NAME, "day").send_keys(day)
    follow(eve, eve.find_element(By.XPATH, "//button[text()='See what it changes']"))
    assert "2 controllers would change" in eve.find_element(By.TAG_NAME, "main").text
    follow(eve, eve.find_element(By.XPATH, "//button[text()='Change 2 controllers']"))
    assert eve.find_element(By.CSS_SELECTOR, "p.saved").text == "Changed 2 controllers."
    for node in (1, 2):
        eve.get(server.url + f"/api/controllers/1/{node}")
        assert f'{{"Month":12,"Day":{day}}}]' in eve.find_element(By.TAG_NAME, "body").text
    check_quiet(eve)

    ada.get(server.url + "/audit")
    follow(ada, ada.find_element(By.LINK_TEXT, "revert the whole change"))
    assert [a.text for a in ada.find_elements(By.CSS_SELECTOR, "ul.controllers a")] == \
        ["1.1", "1.2"]
    follow(ada, ada.find_element(By.XPATH, "//button[text()='Revert 2 controllers']"))
    assert ada.find_element(By.CSS_SELECTOR, "p.saved").text == "Reverted 2 controllers."
    for node in (1, 2):
        ada.get(server.url + f"/api/controllers/1/{node}")
        assert f'{{"Month":12,"Day":{day}}}' not in ada.find_element(By.TAG_NAME, "body").text
    check_quiet(ada)


def test_pages_fit_a_phone_400_pixels_wide(server, eve):
    """At 400 px no page scrolls sideways as a whole: wide tables scroll in their own box."""
    eve.set_window_size(400, 900)
    try:
        wide = {}
        for path in ("/", "/controllers/1/1", "/controllers/1/2", "/controllers/1/2/pending",
                     "/change-set", "/controllers/1/1/edit/Holidays", "/pending",
                     "/controllers/1/1/remove"):
            eve.get(server.url + path)
            width = eve.execute_script("return document.documentElement.clientWidth")
            scroll = eve.execute_script("return document.documentElement.scrollWidth")
            if scroll > width:
                wide[path] = (scroll, width, eve.execute_script(
                    "return [...document.querySelectorAll('body *')].filter(e => "
                    "e.getBoundingClientRect().right > document.documentElement.clientWidth + 1 "
                    "&& !e.closest('.scroll')).slice(0, 5).map(e => e.tagName + '.' + "
                    "e.className + ' ' + Math.round(e.getBoundingClientRect().right))"))
        assert wide == {}, repr(wide)
    finally:
        eve.set_window_size(1400, 1000)
    check_quiet(eve)


def test_keyboard_skips_the_bar_and_rows_name_their_record(server, eve):
    eve.get(server.url + "/controllers/1/1")
    eve.find_element(By.TAG_NAME, "body").send_keys(Keys.TAB)
    skip = eve.switch_to.active_element
    assert skip.text == "Skip to the content"
    skip.send_keys(Keys.ENTER)
    assert eve.switch_to.active_element.get_attribute("id") == "main"
    hour = eve.find_element(By.NAME, "TimeZones[1].StartHour")
    assert hour.get_attribute("aria-label") == "Time zone 2 start hour"
    check_quiet(eve)


def test_a_zone_is_picked_from_the_controllers_and_labels_read_plainly(server, eve, javascript):
    eve.get(server.url + "/controllers/1/1")
    open_record(eve, "edit-Inputs-0")
    debounce = eve.find_element(By.ID, "f-Inputs-0-Time-Debounce")
    label = debounce.find_element(By.XPATH, "ancestor::label")
    assert label.find_element(By.TAG_NAME, "span").text == "Debounce time Debounce"
    assert label.find_element(By.TAG_NAME, "small").text == "-32768 to 32767 ticks"

    zone, text = ("3", "Zone 3: 06:00\u201314:00") if javascript else \
        ("4", "Zone 4: 14:00\u201322:00")
    record = open_record(eve, "edit-TimeGroups-0")
    picked = Select(record.find_element(By.NAME, "TimeGroups[0].Zones[1].ZoneNo"))
    assert len(picked.options) == 10  # the controller's ten time zones
    picked.select_by_visible_text(text)
    follow(eve, record.find_element(By.CSS_SELECTOR, "button[type=submit]"))
    assert eve.find_element(By.CSS_SELECTOR, "p.saved").text == "Saved."
    saved = Select(eve.find_element(By.NAME, "TimeGroups[0].Zones[1].ZoneNo"))
    assert saved.first_selected_option.get_attribute("value") == zone
    assert saved.first_selected_option.text == text
    check_quiet(eve)


def test_hostile_name_is_text(server, eve):
    eve.get(server.url + "/controllers/1/2")
    save(eve, "edit-Controller", {"Name": HOSTILE})
    assert HOSTILE in eve.find_element(By.CSS_SELECTOR, "section.controller h2").text
    check_quiet(eve)
    eve.get(server.url + "/")
    row = eve.find_element(By.XPATH, "//table[@class='overview']//tr[td/a[text()='1.2']]")
    assert row.find_elements(By.TAG_NAME, "td")[1].text == HOSTILE
    check_quiet(eve)


@pytest.fixture(scope="module")
def elsewhere():
    """Another origin on the same machine (another port): a page there posts a form to the
    editor, with the session's own CSRF token and ETag, as a page that learnt them would."""
    pages = {}

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            body = pages.get(self.path, "").encode()
            self.send_response(200 if body else 204)
            self.send_header("Content-Type", "text/html; charset=utf-8")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *arguments):
            pass

    other = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    thread = threading.Thread(target=other.serve_forever, daemon=True)
    thread.start()
    yield pages, f"http://127.0.0.1:{other.server_port}"
    other.shutdown()
    other.server_close()


def test_form_from_another_origin_is_refused(server, eve, elsewhere):
    pages, origin = elsewhere
    eve.get(server.url + "/controllers/1/1")
    form = eve.find_element(By.ID, "edit-Controller")
    name = form.find_element(By.NAME, "Name").get_attribute("value")
    fields = {field: form.find_element(By.NAME, field).get_attribute("value")
              for field in ("csrf", "etag")}
    hidden = "".join(f'<input type="hidden" name="{k}" value="{html.escape(v)}">'
                     for k, v in fields.items())
    pages["/forged"] = (f'<!DOCTYPE html><title>forged</title><form method="post" '
                        f'action="{server.url}/controllers/1/1/edit/Controller">{hidden}'
                        f'<input name="Name" value="Forged"><button>Go</button></form>')
    eve.get(origin + "/forged")
    follow(eve, eve.find_element(By.TAG_NAME, "button"))
    assert eve.find_element(By.TAG_NAME, "h2").text == "Forbidden"
    assert "another site" in eve.find_element(By.TAG_NAME, "main").text
    check_quiet(eve, "403")
    eve.get(server.url + "/controllers/1/1")
    assert eve.find_element(By.ID, "edit-Controller").find_element(
        By.NAME, "Name").get_attribute("value") == name


def test_token_is_made_listed_as_text_and_revoked(server, ada):
    ada.get(server.url + "/users")
    form = ada.find_element(By.CSS_SELECTOR, "form[action='/users/eve/token']")
    form.find_element(By.NAME, "name").send_keys(HOSTILE)
    form.find_element(By.NAME, "expires").send_keys("2")
    follow(ada, form.find_element(By.TAG_NAME, "button"))
    assert ada.find_element(By.TAG_NAME, "h2").text == "A new API token for eve"
    assert len(ada.find_element(By.CSS_SELECTOR, "pre.token").text) == 43
    ada.get(server.url + "/users")
    rows = [row for row in ada.find_elements(By.CSS_SELECTOR, "table.tokens tbody tr")
            if HOSTILE in row.text]
    assert len(rows) == 1
    follow(ada, rows[0].find_element(By.CSS_SELECTOR, "button.danger"))
    assert ada.find_element(By.CSS_SELECTOR, "p.saved").text == "The user eve's token was revoked."
    assert HOSTILE not in ada.find_element(By.TAG_NAME, "main").text
    check_quiet(ada)


def test_user_is_removed_only_when_asked_twice(server, ada):
    ada.get(server.url + "/users")
    form = ada.find_element(By.CSS_SELECTOR, "form[action='/users']")
    form.find_element(By.NAME, "name").send_keys("temp")
    form.find_element(By.NAME, "password").send_keys("temporary password")
    follow(ada, form.find_element(By.TAG_NAME, "button"))
    assert ada.find_element(By.CSS_SELECTOR, "p.saved").text == "The user temp was added."
    remove = "form[action='/users/temp/remove'] button"
    follow(ada, ada.find_element(By.CSS_SELECTOR, remove))
    assert ada.find_element(By.TAG_NAME, "h2").text == "Remove the user temp?"
    follow(ada, ada.find_element(By.LINK_TEXT, "Keep them"))
    assert "temp" in ada.find_element(By.CSS_SELECTOR, "table.users").text
    follow(ada, ada.find_element(By.CSS_SELECTOR, remove))
    follow(ada, ada.find_element(By.CSS_SELECTOR, remove))
    assert ada.find_element(By.CSS_SELECTOR, "p.saved").text == "The user temp was removed."
    assert "temp" not in ada.find_element(By.CSS_SELECTOR, "table.users").text
    check_quiet(ada)


def test_pages_are_valid_html(server, eve, ada, javascript):
    if not javascript:
        pytest.skip("the same pages")
    for driver, paths in ((eve, ["/", "/controllers/1/1", "/controllers/1/1/pending", "/login",
                                 "/pending", "/controllers/1/1/remove"]),
                          (ada, ["/audit", "/users"])):
        cookie = driver.get_cookie("ssmsg_session")["value"]
        for path in paths:
            request = urllib.request.Request(server.url + path,
                                             headers={"Cookie": f"ssmsg_session={cookie}"})
            with urllib.request.urlopen(request) as response:
                assert response.status == 200
                html5lib.HTMLParser(strict=True).parse(response.read())


def test_a_removed_controller_waits_to_be_cleared_on_site(server, eve, javascript):
    node = "7" if javascript else "8"
    address = f"1.{node}"
    eve.get(server.url + "/controllers/1/1")
    copy = eve.find_element(By.ID, "copy")
    copy.find_element(By.NAME, "interface").send_keys("1")
    copy.find_element(By.NAME, "node").send_keys(node)
    follow(eve, copy.find_element(By.TAG_NAME, "button"))
    eve.get(server.url + "/")
    row = eve.find_element(By.XPATH, f"//table[@class='overview']//tr[td/a[text()='{address}']]")
    count = row.find_elements(By.TAG_NAME, "td")[2].text
    assert count.isdigit() and int(count) > 10
    eve.get(server.url + "/pending")
    waiting = eve.find_element(By.XPATH, f"//table//tr[td/a[text()='{address}']]")
    assert waiting.find_elements(By.TAG_NAME, "td")[2].text == count

    eve.get(server.url + f"/controllers/1/{node}/pending")
    follow(eve, eve.find_element(By.XPATH, "//button[text()='Mark as sent']"))
    eve.get(server.url + f"/controllers/1/{node}")
    follow(eve, eve.find_element(By.LINK_TEXT, "Remove this controller from the site"))
    follow(eve, eve.find_element(By.XPATH, f"//button[text()='Remove {address}']"))
    assert eve.current_url == server.url + "/pending"
    cleared = eve.find_element(By.CSS_SELECTOR, f"button[aria-label='{address} is cleared on site']")
    follow(eve, cleared)
    assert eve.find_elements(By.CSS_SELECTOR,
                             f"button[aria-label='{address} is cleared on site']") == []
    check_quiet(eve)
