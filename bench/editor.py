"""The editor's pages and its spreadsheet exchange on a large controller.

    editor.py TOKEN SERVER_URL INTERFACE NODE USER PASSWORD

- The controller's page and the page of each of its parts (every page the controller's page links
  to under /edit/, and their further pages): the heaviest one's size, and its load time in
  headless Chromium (logged in as USER), the fastest of three; and a save of an input's name on
  its part's page, its form opened, from the form's submission to the end of the load of the page
  it leads to, the fastest of three.
- CSV: GET /api/csv of every name of the site, and POST /api/csv of the same names with one
  character changed in each, the fastest of three each (each import changes every name again).

Prints "editor KB PATH LOAD_MS EXPORT_S IMPORT_S ROWS SAVE_MS".
"""
import csv as csv_module
import html
import html.parser
import io
import os
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "browser"))


class Links(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.hrefs = []

    def handle_starttag(self, tag, attrs):
        if tag == "a":
            self.hrefs += [value for name, value in attrs if name == "href" and value]


def fetch(url, token, data=None, content_type=None):
    headers = {"Authorization": "Bearer " + token}
    if content_type:
        headers["Content-Type"] = content_type
    request = urllib.request.Request(url, data=data, headers=headers)
    start = time.monotonic()
    with urllib.request.urlopen(request, timeout=600) as answer:
        body = answer.read()
    return body, time.monotonic() - start


def pages(url, token, controller):
    """Every page of the controller: its own, and those of its parts, by size."""
    seen, todo, sizes = set(), [controller], {}
    while todo:
        path = todo.pop()
        if path in seen:
            continue
        seen.add(path)
        body, _ = fetch(url + path, token)
        sizes[path] = len(body)
        links = Links()
        links.feed(body.decode())
        for href in links.hrefs:
            href = html.unescape(href).split("#")[0]
            if href.startswith(controller + "/edit/") and "saved=" not in href:
                todo.append(href)
    return sizes


def browse(url, path, controller, user, password):
    """The load time of `path`, and of a save of input 1's name with the page it leads to: from
    the form's submission to the end of that page's load event, the fastest of three each."""
    from browser import chromium, load_milliseconds
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    with chromium() as driver:
        driver.get(url + "/login")
        driver.find_element(By.NAME, "name").send_keys(user)
        driver.find_element(By.NAME, "password").send_keys(password)
        driver.find_element(By.CSS_SELECTOR, "form.edit button").click()
        loaded = min(load_milliseconds(driver, url + path) for _ in range(3))
        saves = []
        for round_ in range(3):
            driver.get(url + controller + "/edit/Inputs?page=1&open=edit-Inputs-0")
            driver.execute_script(
                "const input = document.getElementsByName('Inputs[0].Name')[0];"
                "input.value = 'Front door ' + arguments[0]; input.form.requestSubmit();", round_)
            WebDriverWait(driver, 60).until(lambda d: "saved=" in d.current_url)
            WebDriverWait(driver, 60).until(
                lambda d: d.execute_script("return document.readyState") == "complete")
            saves.append(driver.execute_script(
                "const t = performance.getEntriesByType('navigation')[0];"
                "return t.loadEventEnd - t.startTime;"))
        return round(loaded), round(min(saves))


def main():
    token, url, interface, node, user, password = sys.argv[1:7]
    controller = f"/controllers/{interface}/{node}"
    sizes = pages(url, token, controller)
    heaviest = max(sizes, key=sizes.get)
    loaded, saved = browse(url, heaviest, controller, user, password)

    exports, imports = [], []
    csv = b""
    for round_ in range(3):
        csv, took = fetch(url + "/api/csv?fields=Name", token)
        exports.append(took)
        rows = list(csv_module.reader(io.StringIO(csv.decode(), newline="")))
        out = io.StringIO(newline="")
        writer = csv_module.writer(out, lineterminator="\r\n")
        writer.writerow(rows[0])
        writer.writerows(row[:5] + [row[5][:-1] + str(round_)] for row in rows[1:])
        _, took = fetch(url + "/api/csv", token, out.getvalue().encode(), "text/csv")
        imports.append(took)
    rows = csv.count(b"\r\n") - 1
    print(f"editor {sizes[heaviest] / 1000:.0f} {heaviest} {loaded} {min(exports):.2f} "
          f"{min(imports):.2f} {rows} {saved}")


main()
