#!/usr/bin/env python3
"""Writes a large site file for measuring the loader and the tool.

Each controller has 256 inputs, 128 outputs, 64 readers with every sub-record, 8 ports, 32
field-LAN nodes, 256 time zones, 64 time groups, 64 holidays and names of about 30 characters.
Usage: bench/make_site.py [CONTROLLERS] [--changed] > site.json (default 1000). With --changed,
about 1% of every controller's records differ: some inputs' timing, outputs' names, readers' card
control, time zones and a holiday, for measuring ssmsg diff against the unchanged site.
"""
import json
import sys


def input_object(k):
    return {
        "Name": f"Input {k:03d} door contact, hall", "DLan": k % 4, "DNode": k % 16, "DPort": k % 8,
        "Type": k % 6, "TypeRef": k, "CountDelay": 10, "EOL": k % 2 == 0, "Polarity": False,
        "CountValue": 1000 + k,
        "Time": {"BounceTick": 1, "Debounce": 5, "TickResolution": 1, "Timeout": 300,
                 "LevelTGs": [1, 2, 3, 0, 0]},
        "Link": {"EnabledInputPort": 1, "EnabledLevelInput": 2, "EnabledOutputPort": 3,
                 "EnabledLevelOutput": 4, "AlarmDis": 0, "AlarmEna": 1, "AlarmNear": 2,
                 "AlarmIn": 3, "AlarmSleep": 0, "AlarmDisRef": 0, "AlarmEnaRef": 10,
                 "AlarmNearRef": 11, "AlarmInRef": 12, "AlarmSleepRef": 0},
    }


def output_object(k):
    return {
        "Name": f"Output {k:03d} strike, main door", "DLan": 0, "DNode": k % 16, "DPort": k % 8,
        "Type": k % 5, "TypeRef": k, "Polarity": k % 2, "EnableIn": 1, "EnableOut": 2,
        "ControlIn": 3, "ControlOut": 4, "EnableIn_L": 1, "EnableOut_L": 2, "ControlIn_L": 3,
        "ControlOut_L": 4,
        "Time": {"TTickResolution": 2, "TTimeout": 5, "PTickResolution": 1, "Pulse": 20,
                 "TgControlled": 1, "TgEnabled": 2, "TgReport": 0},
    }


def reader_object(k):
    return {
        "Name": f"Reader {k:03d} entrance, lobby", "DLan": 0, "DNode": k % 16, "DPort": k % 8, "App": 1,
        "Type": k % 6, "LED": 1, "LCD": 0, "CardLCD": 0, "Complete": 2, "BoothMode": 0,
        "LinkRef": k, "Power": 0, "CheckType": 1, "Percentage": 5, "ClkPolarity": False,
        "CardControl": {"APBTo": 2, "APBFrom": 1, "APBOffline": 1, "APBReset": 60,
                        "ATBMinutes": 15, "ATBLink": 1, "Capture": 1, "Attempts": 3,
                        "DisableSeconds": 30, "DualBadge": 0, "BadgeTimeout": 5, "BadgeOutG": 0},
        "CardLocation": {"FacilityStart": 2, "FacilityEnd": 9, "FacilityDigits": 3,
                         "CardStart": 10, "CardEnd": 25, "CardDigits": 5, "AltStart": 0,
                         "AltEnd": 0},
        "CardStructure": {"CardType": 1, "SiteCode": 117, "ExactBits": 26, "Duress": 9,
                          "DeleteOffset": 0, "ClientCode": 4711, "ParityCheck": True,
                          "Frame": False},
        "AccessAlarm": {"OK": 0, "Fail": 1, "Random": 1, "Illegal": 3, "Duress": 4, "OKRef": 0,
                        "FailRef": 30, "RandomRef": 31, "IllegalRef": 32, "DuressRef": 33},
    }


def controller_address(n):
    return {"Interface": 1 + n // 100, "Node": n % 100, "Name": f"Controller {n:04d} of the site"}


def controller(n):
    return {
        **controller_address(n),
        "Config": {"DbMode": 1, "TGEnabled": True, "DbSize": 20000, "LockSize": 3000, "In": 2,
                   "Out": 1},
        "XTRA": {"ApplicationNo": 1, "Mode": 2},
        "Holidays": [{"Month": 1 + h % 12, "Day": 1 + h // 12} for h in range(64)],
        "TimeZones": [{"ZoneNo": z, "StartHour": z % 24, "StartMinute": 0, "EndHour": 23,
                       "EndMinute": 59} for z in range(1, 257)],
        "TimeGroups": [{"Zones": [{"ZoneNo": z, "Monday": True, "Friday": True}
                                  for z in range(1 + g % 8, 257, 8)]} for g in range(64)],
        "Ports": [{"SerialPort": p, "Type": 2, "BaudRate": 3, "Bits": 1, "Parity": 0,
                   "PeripheralType": 3} for p in range(1, 9)],
        "FLAN": [{"FLAN_Node": f, "Type": 2} for f in range(1, 33)],
        "Inputs": [input_object(k) for k in range(256)],
        "Outputs": [output_object(k) for k in range(128)],
        "Readers": [reader_object(k) for k in range(64)],
    }


def change(shared):
    """Changes about 1% of the records of a controller."""
    for k in range(7, 256, 100):
        shared["Inputs"][k]["Time"]["Debounce"] = 6
    for k in range(7, 128, 100):
        shared["Outputs"][k]["Name"] += ", east"
    shared["Readers"][7]["CardControl"]["Attempts"] = 4
    for z in range(7, 256, 100):
        shared["TimeZones"][z]["StartMinute"] = 30
    shared["Holidays"][7]["Day"] += 1


def main():
    args = [a for a in sys.argv[1:] if a != "--changed"]
    count = int(args[0]) if args else 1000
    # Controllers differ only in address and name: write the rest once and reuse the text.
    shared = controller(0)
    if "--changed" in sys.argv:
        change(shared)
    for key in ("Interface", "Node", "Name"):
        del shared[key]
    rest = json.dumps(shared, separators=(",", ":"))[1:]
    out = sys.stdout
    out.write('{"Controllers": [\n')
    for n in range(count):
        if n:
            out.write(",\n")
        head = {key: controller_address(n)[key] for key in ("Interface", "Node", "Name")}
        out.write(json.dumps(head, separators=(",", ":"))[:-1] + "," + rest)
    out.write("\n]}\n")


if __name__ == "__main__":
    main()
