"""ssmsg report, opened in headless Chromium: what a person sees on the page, and that the page
does nothing else (no script of a name runs, no request is made, no error is logged)."""

import copy
import json
import os
import pathlib
import subprocess
import zlib

import html5lib
import pytest
from selenium.common.exceptions import NoAlertPresentException
from selenium.webdriver.common.by import By

from browser import chromium, load_milliseconds

TOOL = os.environ["SSMSG_TOOL"]
SOURCE = pathlib.Path(os.environ["SSMSG_SOURCE_DIR"])

HOSTILE = [
    "<img src=x onerror=alert(1)>",
    "</script><script>window.pwned=1</script>",
    "\"'><svg onload=\"window.pwned=2\">",
    "&amp; <b>not bold</b> & 'quoted'",
]


def ssmsg(*arguments, check=True):
    return subprocess.run([TOOL, *arguments], check=check, capture_output=True)


@pytest.fixture(scope="module")
def demo():
    return json.loads(ssmsg("demo-site").stdout)


@pytest.fixture(scope="module")
def work(tmp_path_factory):
    return tmp_path_factory.mktemp("report")


@pytest.fixture(scope="module")
def site(demo, work):
    """The demo site grown to 12 controllers on two interfaces, four of them with hostile names
    (and a hostile input name and enumeration text)."""
    controllers = []
    for n in range(12):
        controller = copy.deepcopy(demo["Controllers"][n % 2])
        controller["Interface"] = 1 + n // 6
        controller["Node"] = n % 6 + 1
        controller["Name"] = HOSTILE[n // 3] if n % 3 == 2 else f"Controller {n + 1}"
        controllers.append(controller)
    controllers[2]["Inputs"][0]["Name"] = HOSTILE[0]
    data = {"Enums": {**demo["Enums"], "OutputType": {"1": HOSTILE[1]}},
            "Controllers": controllers}
    path = work / "site.json"
    path.write_text(json.dumps(data))
    return path, data


@pytest.fixture(scope="module")
def driver():
    with chromium(1400, 1000) as browser:
        yield browser


def open_page(driver, path):
    driver.get(pathlib.Path(path).as_uri())
    driver.get_log("browser")  # what an earlier page logged


def check_quiet(driver):
    """No error in the console, no request made, no dialog open, nothing set by a name."""
    errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    assert errors == []
    assert driver.execute_script("return performance.getEntriesByType('resource').length") == 0
    with pytest.raises(NoAlertPresentException):
        driver.switch_to.alert.text
    assert driver.execute_script("return typeof window.pwned") == "undefined"
    assert driver.execute_script("return document.scripts.length + document.images.length") == 0


def check_valid(path):
    html5lib.HTMLParser(strict=True).parse(pathlib.Path(path).read_bytes())


def test_overview_links_every_controller_to_its_section(driver, site, work):
    path, data = site
    page = work / "site.html"
    ssmsg("report", "--config", str(path), "--output", str(page))
    check_valid(page)
    open_page(driver, page)
    rows = driver.find_elements(By.CSS_SELECTOR, "table.overview tbody tr")
    assert len(rows) == len(data["Controllers"])
    for row, controller in zip(rows, data["Controllers"]):
        link = row.find_element(By.CSS_SELECTOR, "a")
        assert link.text == f"{controller['Interface']}.{controller['Node']}"
        # Names show as the very characters of the file.
        assert row.find_elements(By.CSS_SELECTOR, "td")[1].text == controller["Name"]
        target = link.get_attribute("href").split("#")[1]
        heading = driver.find_element(By.ID, target).find_element(By.TAG_NAME, "h2")
        assert heading.text.endswith(controller["Name"])
    rows[-1].find_element(By.CSS_SELECTOR, "a").click()
    section = driver.find_element(By.ID, driver.current_url.split("#")[1])
    assert abs(driver.execute_script("return arguments[0].getBoundingClientRect().top",
                                     section)) < 2
    section.find_element(By.CSS_SELECTOR, "a.back").click()
    assert driver.current_url.endswith(f"#row-{len(rows)}")
    check_quiet(driver)
    # The hostile input name and enumeration text are text too.
    body = driver.find_element(By.TAG_NAME, "body").text
    assert HOSTILE[0] in body and HOSTILE[1] in body


def test_week_and_holidays_drawn_from_the_records(driver, demo, work):
    page = work / "demo.html"
    ssmsg("report", "--output", str(page))
    check_valid(page)
    open_page(driver, page)
    controller = demo["Controllers"][0]
    zones = {zone["ZoneNo"]: zone for zone in controller["TimeZones"]}
    for number, group in enumerate(controller["TimeGroups"], start=1):
        expected = sorted((zones[z["ZoneNo"]]["StartHour"] * 60 + zones[z["ZoneNo"]]["StartMinute"],
                           zones[z["ZoneNo"]]["EndHour"] * 60 + zones[z["ZoneNo"]]["EndMinute"])
                          for z in group["Zones"] if z["Monday"])
        merged = []
        for start, end in expected:
            if merged and start <= merged[-1][1]:
                merged[-1][1] = max(merged[-1][1], end)
            else:
                merged.append([start, end])
        week = driver.find_element(By.ID, f"c1-TimeGroups-{number - 1}")
        monday = week.find_element(By.CSS_SELECTOR, "svg.Monday")
        box = monday.rect
        drawn = []
        for bar in monday.find_elements(By.TAG_NAME, "rect"):
            # Where the bar lies on the day's 24 hours, as a person sees it.
            left = (bar.rect["x"] - box["x"]) / box["width"] * 1440
            drawn.append([round(left), round(left + bar.rect["width"] / box["width"] * 1440)])
        assert [[pytest.approx(a, abs=2), pytest.approx(b, abs=2)] for a, b in merged] == drawn
        assert "Monday" in monday.get_attribute("aria-label")
    calendar = driver.find_element(By.ID, "c1-Holidays--1")
    for holiday in controller["Holidays"]:
        cell = calendar.find_element(By.CSS_SELECTOR, f"td[data-date='{holiday['Month']:02d}-"
                                                      f"{holiday['Day']:02d}']")
        row = cell.find_element(By.XPATH, "..")
        assert row.find_element(By.TAG_NAME, "th").text == [
            "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov",
            "Dec"][holiday["Month"] - 1]
        column = driver.execute_script("return arguments[0].cellIndex", cell)
        assert calendar.find_elements(By.CSS_SELECTOR, "thead th")[column].text == str(
            holiday["Day"])
    assert len(calendar.find_elements(By.CSS_SELECTOR, "td.hol")) == len(controller["Holidays"])
    check_quiet(driver)
    # The picture for the README: the first controller's schedules.
    driver.set_window_size(1400, 1500)
    shot = driver.get_screenshot_as_png()
    driver.set_window_size(1400, 1000)
    assert not blank(shot)
    (work / "report.png").write_bytes(shot)
    if os.environ.get("SSMSG_UPDATE_SCREENSHOT"):
        (SOURCE / "docs" / "report.png").write_bytes(shot)


def test_diff_marks_what_changed(driver, demo, work):
    old = work / "old.json"
    changed = copy.deepcopy(demo)
    first = changed["Controllers"][0]
    first["Inputs"][1]["Name"] = "Exit button (old)"
    first["Holidays"].append({"Month": 7, "Day": 4})
    del first["Holidays"][0]
    first["TimeZones"][0]["EndHour"] = 18
    del changed["Controllers"][1]
    old.write_text(json.dumps(changed))
    page = work / "diff.html"
    ssmsg("report", "--diff-from", str(old), "--output", str(page))
    check_valid(page)
    open_page(driver, page)
    row = driver.find_element(By.ID, "c1-Inputs-1")
    assert "changed" in row.get_attribute("class")
    assert row.find_element(By.CSS_SELECTOR, "td.chg").text.startswith("Exit button")
    calendar = driver.find_element(By.ID, "c1-Holidays--1")
    assert calendar.find_element(By.CSS_SELECTOR, "td[data-date='01-01']").get_attribute(
        "class") == "hol added"
    assert [cell.text for cell in calendar.find_elements(By.CSS_SELECTOR, "td.gone")] == ["4"]
    assert "changed" in driver.find_element(By.ID, "c1-TimeZones-0").text
    assert "new controller" in driver.find_element(By.ID, "c-2").text
    # Each controller's count is what ssmsg diff sends it.
    sent = ssmsg("diff", "--from", str(old), "--to", str(SOURCE / "site" / "demo_site.json"),
                 "--format", "json").stdout
    per_node = {}
    for message in json.loads(sent):
        per_node[message["node"]] = per_node.get(message["node"], 0) + 1
    counts = [int(e.text) for e in driver.find_elements(By.CSS_SELECTOR, ".diffcount b")]
    assert counts == [per_node.get(1, 0), per_node.get(2, 0)]
    check_quiet(driver)


def test_large_site_gets_a_page_per_controller(driver, demo, work):
    data = {"Controllers": []}
    for n in range(120):
        controller = copy.deepcopy(demo["Controllers"][n % 2])
        controller["Interface"], controller["Node"] = 1 + n // 50, n % 50
        controller["Name"] = f"Controller {n + 1}"
        data["Controllers"].append(controller)
    path = work / "large.json"
    path.write_text(json.dumps(data))
    one, three = work / "pages-1", work / "pages-3"
    ssmsg("report", "--config", str(path), "--output", str(one), "--jobs", "1")
    ssmsg("report", "--config", str(path), "--output", str(three), "--jobs", "3")
    pages = sorted(p.name for p in one.iterdir())
    assert pages == sorted(["index.html"] + [f"controller-{k}.html" for k in range(1, 121)])
    for name in pages:
        assert (one / name).read_bytes() == (three / name).read_bytes(), name
    assert ssmsg("report", "--config", str(path), check=False).returncode == 2
    for name in ("index.html", "controller-1.html", "controller-120.html"):
        check_valid(one / name)
    open_page(driver, one / "index.html")
    links = driver.find_elements(By.CSS_SELECTOR, "table.overview tbody a")
    assert len(links) == 120
    links[-1].click()
    assert driver.current_url.endswith("controller-120.html#c-120")
    assert driver.find_element(By.TAG_NAME, "h2").text.endswith("Controller 120")
    driver.find_element(By.CSS_SELECTOR, "a.back").click()
    assert driver.current_url.endswith("index.html#row-120")
    check_quiet(driver)
    print(f"index of 120 controllers loads in {load_milliseconds(driver, driver.current_url)} ms")


def blank(png):
    """Whether a PNG screenshot shows nearly nothing: few distinct pixel bytes."""
    data, at = b"", 8
    while at < len(png):
        length = int.from_bytes(png[at:at + 4], "big")
        if png[at + 4:at + 8] == b"IDAT":
            data += png[at + 8:at + 8 + length]
        at += 12 + length
    return len(set(zlib.decompress(data))) < 32
