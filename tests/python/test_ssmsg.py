"""The Python package over the library of the build (PYTHONPATH=<build>/python): how its
arguments reach the library, its errors, its objects' lifetimes, threads and memory. What the
messages say is tested in the library and the tool."""

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


def test_arguments_reach_the_job(demo):
    # The datetime is the clock message's time, field by field.
    clock = demo.settings(tasks=[152], interface=1, node=1, time=GOLDEN_TIME)
    assert [ssmsg.decode(text)["parameters"] for text in clock] == [
        {"Year": 2026, "Month": 12, "Day": 4, "Hour": 9, "Minute": 5, "Second": 7}]

    def of(task, **where):
        return demo.settings(tasks=[task], **where)

    # Tasks run in the order given, for the selected controllers only.
    assert demo.settings(tasks=[162, 161], interface=1, node=2) == \
        of(162, interface=1, node=2) + of(161, interface=1, node=2)
    # messages() is settings() with each message's origin.
    made = demo.messages(tasks=[161], interface=1)
    assert [m.text for m in made] == of(161, interface=1)
    assert {(m.interface, m.task) for m in made} == {(1, 161)}
    assert sorted({m.node for m in made}) == [c.node for c in demo.controllers]


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


@pytest.mark.parametrize("call, action, parameters", [
    (lambda: ssmsg.interface_start(1, "192.168.0.10", 3001, main=True), "Start",
     {"Type": "Main", "IP_Address": "192.168.0.10", "IP_Port": 3001, "Settings": True}),
    (lambda: ssmsg.interface_start(1, "10.0.0.1", 1), "Start",
     {"Type": "Ordinary", "IP_Address": "10.0.0.1", "IP_Port": 1, "Settings": True}),
    (lambda: ssmsg.interface_stop(2), "Stop", None),
    (lambda: ssmsg.interface_set_nodes(1, add=[2, 3], timeouts=[500, 600], remove=[4]),
     "SetNodes", {"Add": [2, 3], "Timeout": [500, 600], "Remove": [4]}),
    (lambda: ssmsg.interface_poll(1, start=(n for n in (2, 3)), stop=[4]), "Poll",
     {"Start": [2, 3], "Stop": [4]}),
    (lambda: ssmsg.ask_settings(1, 2), "AskSettings", {}),
])
def test_interface_arguments_reach_the_message(call, action, parameters):
    # The message read back: each argument where it belongs, an iterable as well as a list.
    decoded = ssmsg.decode(call())
    assert decoded["action"] == action
    assert decoded.get("parameters") == parameters


def test_decode_takes_a_line_as_read_and_raises_where():
    assert ssmsg.decode(ssmsg.interface_stop(1) + "\r\n")["action"] == "Stop"
    assert ssmsg.decode(ssmsg.interface_stop(1).encode())["interface"] == 1
    with pytest.raises(ssmsg.DecodeError) as raised:
        ssmsg.decode(ssmsg.ask_settings(1, 2).replace("<Node>2", "<Node>02"))
    assert (raised.value.column, raised.value.reason) == (121, '"02" has a leading zero')


def test_messages_read_back_as_a_site_or_as_text():
    site = ssmsg.Site.from_text('{"Enums": {"InputType": {"7": "Lift"}}, "Controllers": '
                                '[{"Interface": 1, "Node": 2, "Inputs": [{"Type": 7}]}]}')
    sent = site.settings(tasks=[161, 162])
    # Lines as a file gives them, or one text; a value found through the texts of enums_from.
    again = ssmsg.Site.from_messages([line + "\n" for line in sent], enums_from=site)
    assert again.settings(tasks=[161, 162]) == sent
    text = ssmsg.import_messages("\n".join(sent), enums_from=site)
    assert text == ssmsg.import_messages(iter(sent), enums_from=site)
    assert '"7": "Lift"' in text


def test_diff_gives_its_counts_and_messages():
    old = ssmsg.Site.from_text('{"Controllers": [{"Interface": 1, "Node": 2, "Inputs": '
                               '[{"Name": "a"}]}, {"Interface": 1, "Node": 3}]}')
    new = ssmsg.Site.from_text('{"Controllers": [{"Interface": 1, "Node": 2, "Inputs": '
                               '[{"Name": "b"}]}]}')
    assert ssmsg.diff(new, new, tasks=[162]) == ssmsg.Diff([], [], 0, 0, 1)
    renamed = ssmsg.diff(old, new, tasks=[162])
    assert renamed._replace(messages=[], warnings=[]) == ssmsg.Diff([], [], 1, 1, 1)
    assert [ssmsg.decode(text)["parameters"]["Name"] for text in renamed.messages] == ["b"]
    assert len(renamed.warnings) == 1 and "node 3" in renamed.warnings[0]


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
    assert isinstance(page, str) and page.startswith("<!DOCTYPE html>")
    assert demo.report(interface=1, node=2).count('<section class="card controller"') == 1
    assert "messages in the diff" in demo.report(diff_from=demo)
    # Given a folder (a str or a path), the pages are written there and their names returned.
    names = demo.report(tmp_path / "pages", jobs=1)
    assert names == ["controller-1.html", "controller-2.html", "index.html"]
    assert sorted(p.name for p in (tmp_path / "pages").iterdir()) == names
    assert demo.report(str(tmp_path / "again"), jobs=2) == names
    with pytest.raises(ssmsg.ArgumentError):
        demo.report(interface=9)
