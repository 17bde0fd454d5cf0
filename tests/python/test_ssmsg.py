"""The Python package over the library of the build (PYTHONPATH=<build>/python)."""

import json
import threading
import tomllib
from datetime import datetime
from pathlib import Path

import pytest

import ssmsg

ROOT = Path(__file__).resolve().parents[2]
DEMO = ROOT / "site" / "demo_site.json"
GOLDEN_TIME = datetime(2026, 12, 4, 9, 5, 7)  # the time of the golden files


@pytest.fixture(scope="module")
def demo():
    with ssmsg.Site.load(DEMO) as site:
        yield site


@pytest.fixture(scope="module")
def golden():
    """The tool's messages of the demo site, as {interface, node, task, message} objects."""
    return json.loads((ROOT / "tests" / "golden" / "demo_settings.json").read_text())


def test_settings_are_the_tools(demo, golden):
    lines = (ROOT / "tests" / "golden" / "demo_settings.txt").read_text().splitlines()
    assert demo.settings(time=GOLDEN_TIME) == lines
    made = demo.messages(time=GOLDEN_TIME)
    assert [dict(zip(("interface", "node", "task", "message"), m)) for m in made] == golden


def test_selection_runs_tasks_in_the_order_given(demo, golden):
    def of(task):
        return [g["message"] for g in golden if g["node"] == 2 and g["task"] == task]

    assert demo.settings(tasks=[162, 161], interface=1, node=2) == of(162) + of(161)
    assert demo.settings(tasks=[161], interface=1) == [
        g["message"] for g in golden if g["task"] == 161]


def test_site_from_text():
    site = ssmsg.Site.from_text(
        '{"Enums": {"InputType": {"6": "Intercom"}}, "Controllers": [{"Interface": 1, "Node": 2,'
        ' "Name": "Tor zur Tür", "Inputs": [null, {"Type": 6}, {"Type": 9}]}]}',
        "mine.json")
    assert (site.name, site.controllers) == ("mine.json", [ssmsg.Controller(1, 2)])
    assert site.warnings() == [
        "mine.json: Controllers[0].Inputs[2].Type: InputType value 9 has no text"]
    assert "<Type>Intercom</Type>" in site.settings(tasks=[161])[1]
    # The name is sent in pieces of ten bytes: one piece ends inside a character, whose byte is
    # kept so that the pieces give back the name's bytes.
    pieces = [text.encode("utf-8", "surrogateescape") for text in site.settings(tasks=[175])]
    names = [piece.split(b"<Name>")[1].split(b"</Name>")[0] for piece in pieces]
    assert names == [b"Tor zur T\xc3", b"\xbcr"]
    site.close()
    with pytest.raises(ValueError, match="closed"):
        site.settings()


@pytest.mark.parametrize("call, expected", [
    (lambda: ssmsg.interface_start(1, "192.168.0.10", 3001, main=True),
     "<Command><InterfaceID>1</InterfaceID><MessageType>Interface</MessageType><Action>Start"
     "</Action><Parameters><Type>Main</Type><IP_Address>192.168.0.10</IP_Address><IP_Port>3001"
     "</IP_Port><Settings>True</Settings></Parameters></Command>"),
    (lambda: ssmsg.interface_stop(2),
     "<Command><InterfaceID>2</InterfaceID><MessageType>Interface</MessageType><Action>Stop"
     "</Action></Command>"),
    (lambda: ssmsg.interface_set_nodes(1, add=[2, 3], timeouts=[500, 600], remove=[4]),
     "<Command><InterfaceID>1</InterfaceID><MessageType>Interface</MessageType><Action>SetNodes"
     "</Action><Parameters><Add>2,3</Add><Timeout>500,600</Timeout><Remove>4</Remove>"
     "</Parameters></Command>"),
    (lambda: ssmsg.interface_poll(1, start=[2, 3], stop=[4]),
     "<Command><InterfaceID>1</InterfaceID><MessageType>Interface</MessageType><Action>Poll"
     "</Action><Parameters><Start>2,3</Start><Stop>4</Stop></Parameters></Command>"),
    (lambda: ssmsg.ask_settings(1, 2),
     "<Command><InterfaceID>1</InterfaceID><MessageType>Controller</MessageType><Action>"
     "AskSettings</Action><Parameters><Node>2</Node></Parameters></Command>"),
])
def test_interface_messages_are_the_tools(call, expected):
    assert call() == expected


def test_decode_gives_the_tools_json():
    # A line as read from a file, line end and all.
    assert ssmsg.decode(ssmsg.interface_poll(1, start=[2, 3]) + "\r\n") == {
        "interface": 1, "messageType": "Interface", "action": "Poll",
        "parameters": {"Start": [2, 3]}}
    with pytest.raises(ssmsg.DecodeError) as raised:
        ssmsg.decode(ssmsg.ask_settings(1, 2).replace("<Node>2", "<Node>02"))
    assert (raised.value.column, raised.value.reason) == (121, '"02" has a leading zero')


def test_messages_read_back_make_the_same_site(demo):
    sent = demo.settings(time=GOLDEN_TIME)
    # Lines as a file gives them; the clock messages are skipped and the same time sends them again.
    site = ssmsg.Site.from_messages([line + "\n" for line in sent], enums_from=demo)
    assert site.settings(time=GOLDEN_TIME) == sent
    assert ssmsg.import_messages("\n".join(sent), enums_from=demo) == \
        ssmsg.import_messages(sent, enums_from=demo)
    # A text finds its value through the texts of enums_from.
    lift = ssmsg.Site.from_text('{"Enums": {"InputType": {"7": "Lift"}}, "Controllers": '
                                '[{"Interface": 1, "Node": 2, "Inputs": [{"Type": 7}]}]}')
    assert '"7": "Lift"' in ssmsg.import_messages(lift.settings(tasks=[161]), enums_from=lift)


def test_diff_sends_what_changed(demo):
    new = ssmsg.Site.from_text(DEMO.read_text().replace("Front door contact", "Front gate"))
    full = len(new.settings()) - 2  # without the clock
    assert ssmsg.diff(new, new) == ssmsg.Diff([], [], 0, 0, full)
    # OLD read back from what was sent, with NEW's texts.
    renamed = ssmsg.diff(ssmsg.Site.from_messages(demo.settings(), enums_from=new), new)
    assert renamed._replace(messages=[]) == ssmsg.Diff([], [], 1, 1, full)
    assert [ssmsg.decode(text)["parameters"] for text in renamed.messages] == [
        {"Input": 1, "Column": 0, "Name": "Front gate"}]


@pytest.mark.parametrize("call, error, match", [
    (lambda site: ssmsg.Site.from_text('{"Controllers": [{"Interface": 0}]}', "x.json"),
     ssmsg.SiteError, r"x\.json: Controllers\[0\]"),
    (lambda site: ssmsg.Site.load(ROOT / "no-such-site.json"), ssmsg.SiteError,
     "no-such-site.json: cannot read the file"),
    (lambda site: site.settings(node=1), ssmsg.ArgumentError, "node needs interface"),
    (lambda site: site.settings(tasks=[150]), ssmsg.ArgumentError, r"150 is outside 151\.\.177"),
    (lambda site: site.settings(tasks=[]), ssmsg.ArgumentError, "empty"),
    (lambda site: site.settings(interface=9), ssmsg.ArgumentError, "on interface 9: no contr"),
    (lambda site: site.settings(interface=2**31), ssmsg.ArgumentError, "outside"),
    (lambda site: site.settings(jobs=-1), ssmsg.ArgumentError, "jobs"),
    (lambda site: site.settings(time="2026-12-04"), TypeError, "datetime"),
    (lambda site: site.settings(tasks=[161.0]), TypeError, "float"),
    (lambda site: ssmsg.interface_start(0, "10.0.0.1", 1), ssmsg.TaskError, "number 0 is below"),
    (lambda site: ssmsg.interface_stop(-1), ssmsg.TaskError, "number -1 is below 1"),
    (lambda site: ssmsg.interface_set_nodes(1, timeouts=[5]), ssmsg.TaskError, "no node to add"),
    (lambda site: ssmsg.interface_set_nodes(1, add=[-1]), ssmsg.ArgumentError, "add: -1"),
    (lambda site: ssmsg.interface_poll(0, start=[1]), ssmsg.TaskError, "number 0 is below 1"),
    (lambda site: ssmsg.interface_poll(1, stop=[2**32]), ssmsg.ArgumentError, "stop: 4294967296"),
    (lambda site: ssmsg.ask_settings(1, -1), ssmsg.TaskError, "node -1 is below 0"),
    (lambda site: ssmsg.diff(site, site, interface=9), ssmsg.ArgumentError, "diff on interface 9"),
    (lambda site: ssmsg.diff(site, site, node=1), ssmsg.ArgumentError, "diff: node needs inter"),
    (lambda site: ssmsg.import_messages(["", "<Command>"], name="s.txt"), ssmsg.MessagesError,
     r"^s\.txt:2:10: expected <InterfaceID> after <Command>$"),
])
def test_errors(demo, call, error, match):
    with pytest.raises(error, match=match) as raised:
        call(demo)
    if error in (ssmsg.SiteError, ssmsg.MessagesError):
        assert raised.value.errors == str(raised.value).splitlines()
    if error is ssmsg.TaskError:
        assert raised.value.messages == [] and raised.value.status == ssmsg.Status.FAILED


@pytest.mark.parametrize("status, error", [
    (ssmsg.Status.OUT_OF_MEMORY, MemoryError),
    (ssmsg.Status.INTERNAL_ERROR, ssmsg.SsmsgError),
    (99, ssmsg.SsmsgError),
])
def test_statuses_that_input_cannot_cause(status, error):
    with pytest.raises(error):
        ssmsg._check(status, "call")


def test_version_and_tasks():
    pyproject = tomllib.loads((ROOT / "python" / "pyproject.toml").read_text())
    assert ssmsg.__version__ == pyproject["project"]["version"]
    assert list(ssmsg.TASKS) == list(range(151, 178))
    assert ssmsg.TASKS[161] == "InputClearAll, then InputType per input"
    assert ssmsg.tasks() == dict(ssmsg.TASKS)


def test_threads_share_a_site(demo):
    expected = demo.settings(time=GOLDEN_TIME)
    results = []

    def build():
        results.extend(demo.settings(time=GOLDEN_TIME) == expected for _ in range(20))

    threads = [threading.Thread(target=build) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [True] * 80


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


def test_memory_stays_flat_over_100000_calls(demo):
    calls = [
        lambda: demo.settings(tasks=[161, 162], interface=1, node=2, time=GOLDEN_TIME),
        lambda: demo.warnings(),
        lambda: ssmsg.interface_set_nodes(1, add=[2, 3], timeouts=[5, 6]),
        lambda: ssmsg.ask_settings(1, 2),
        lambda: ssmsg.Site.from_text('{"Controllers": []}').close(),
        lambda: pytest.raises(ssmsg.SiteError, ssmsg.Site.from_text, "{"),
        lambda: pytest.raises(ssmsg.TaskError, ssmsg.interface_stop, 0),
        lambda: ssmsg.tasks(),
        lambda: ssmsg.decode(ssmsg.ask_settings(1, 2)),
        lambda: pytest.raises(ssmsg.DecodeError, ssmsg.decode, "<Command>"),
        lambda: ssmsg.diff(demo, demo, tasks=[162], interface=1, node=2),
        lambda: ssmsg.import_messages([ssmsg.ask_settings(1, 2)]),
        lambda: pytest.raises(ssmsg.MessagesError, ssmsg.import_messages, ["<"]),
    ]
    for i in range(10_000):
        calls[i % len(calls)]()
    before = resident_bytes()
    for i in range(100_000):
        calls[i % len(calls)]()
    assert resident_bytes() - before < 1 << 20


def test_report_as_a_page_and_as_pages(demo, tmp_path):
    page = demo.report()
    assert page.startswith("<!DOCTYPE html>") and "Warehouse Vending" in page
    assert demo.report(interface=1, node=2).count('<section class="card controller"') == 1
    assert demo.report(diff_from=demo).count("<b>0</b> messages in the diff") == 2
    names = demo.report(tmp_path / "pages", jobs=1)
    assert names == ["controller-1.html", "controller-2.html", "index.html"]
    assert demo.report(tmp_path / "again", jobs=2) == names
    for name in names:
        assert (tmp_path / "pages" / name).read_bytes() == (tmp_path / "again" / name).read_bytes()
    with pytest.raises(ssmsg.ArgumentError):
        demo.report(interface=9)


def test_a_site_database_loads_as_its_site_file(golden):
    # tests/sites/demo_site.db: `ssmsg convert site/demo_site.json` (made again when the demo
    # site changes).
    lines = (ROOT / "tests" / "golden" / "demo_settings.txt").read_text().splitlines()
    with ssmsg.Site.load(ROOT / "tests" / "sites" / "demo_site.db") as site:
        assert site.settings(time=GOLDEN_TIME) == lines
