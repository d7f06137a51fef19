#!/usr/bin/env python3
# Source of the fixture BMC: writes fixture.emu (emulation commands for ipmi_sim, man
# ipmi_sim_cmd) and fixture-sel.persist next to this file. The SDR repository, sensor readings and thresholds, FRU
# images and the pre-filled SEL are described here as data; the record layouts are those of
# IPMI v2.0 section 43 (SDR), 32.1 (SEL) and the Platform Management FRU Information Storage
# Definition v1.0. Run it after changing anything below, then regenerate the reference
# outputs (VEXA_UPDATE_FIXTURE=1 ctest -R fixture_peer_test).
#
# With --bench OUTDIR it writes a larger BMC for the page benchmarks instead (bench.emu,
# bench-sel.persist and its layout as bench.json in OUTDIR, see BENCH_* below) and leaves the
# fixture files alone.
#
# The sensor conversion is y = (M * x + B * 10^Bexp) * 10^Rexp (IPMI v2.0, 36.3).
import calendar
import json
import os
import sys

OWNER = 0x20  # the BMC's IPMB address; all sensors are on LUN 0

# IPMI v2.0 table 43-15 unit codes used here
DEG_C, VOLTS, AMPS, WATTS, CFM, RPM = 1, 4, 5, 6, 17, 18
# analog data formats (sensor units 1, bits 7:6)
UNSIGNED, ONES, TWOS = 0, 1, 2


def id_string(text):
    data = text.encode("ascii")
    assert len(data) <= 16
    return [0xC0 | len(data)] + list(data)  # 8-bit ASCII + Latin 1


def record(rtype, body, version=0x51):
    # record ID 0000h: ipmi_sim assigns the IDs in order of addition, from 1
    return [0x00, 0x00, version, rtype, len(body)] + body


def raw(value, fmt):
    """A reading in the sensor's analog data format, as its raw byte."""
    if fmt == UNSIGNED:
        assert 0 <= value <= 255
        return value
    assert -127 <= value <= 127
    if value >= 0:
        return value
    return (~(-value) & 0xFF) if fmt == ONES else (value & 0xFF)


def nibble(value):
    assert -8 <= value <= 7
    return value & 0x0F


# Full sensors: number, name, sensor type, entity ID/instance, analog format, unit, M, B,
# Bexp, Rexp, linearisation, raw reading (None: in the SDR only, the sensor does not answer),
# thresholds as raw readings in the order UNR UC UNC LNR LC LNC (None where not supported).
FULL = [
    (0x01, "CPU Temp", 0x01, 0x03, 1, UNSIGNED, DEG_C, 1, 0, 0, 0, 0x00, 45,
     (95, 90, 85, 0, 5, 10)),
    (0x02, "Inlet Temp", 0x01, 0x37, 1, TWOS, DEG_C, 1, 0, 0, 0, 0x00, -5,
     (None, None, None, -30, -25, -20)),
    (0x10, "P12V", 0x02, 0x07, 1, UNSIGNED, VOLTS, 6, 0, 0, -2, 0x00, 200,
     (220, 216, 212, 180, 184, 188)),
    (0x11, "P5V", 0x02, 0x07, 1, UNSIGNED, VOLTS, 2, 100, 0, -2, 0x00, 210,
     (220, 215, 207, 172, 176, 180)),
    (0x12, "P3V3", 0x02, 0x07, 1, UNSIGNED, VOLTS, 17, 0, 0, -3, 0x00, 194,
     (215, 209, 204, 170, 176, 182)),
    (0x13, "P1V8", 0x02, 0x07, 1, UNSIGNED, VOLTS, 10, 0, 0, -3, 0x00, None,
     (200, 195, 190, 160, 165, 170)),
    (0x18, "P12V Current", 0x03, 0x0A, 1, UNSIGNED, AMPS, 1, 0, 0, -1, 0x00, 82,
     (170, 160, 150, None, None, None)),
    (0x19, "Batt Current", 0x03, 0x29, 1, ONES, AMPS, 5, 0, 0, -2, 0x00, -12,
     (None, None, None, -80, -60, -40)),
    (0x20, "CPU Power", 0x0B, 0x03, 1, UNSIGNED, WATTS, 2, 0, 0, 0, 0x00, 95,
     (200, 175, 150, None, None, None)),
    (0x30, "FAN1", 0x04, 0x1D, 1, UNSIGNED, RPM, 60, 0, 0, 0, 0x00, 80,
     (None, None, None, 10, 15, 20)),
    (0x31, "FAN2", 0x04, 0x1D, 2, UNSIGNED, RPM, 6, 0, 0, 1, 0x00, 12,
     (None, None, None, 10, 15, 20)),
    (0x38, "Airflow", 0x0B, 0x1D, 3, UNSIGNED, CFM, 2, 0, 0, 0, 0x70, 64,
     (None, None, None, None, None, None)),
]

# Compact sensors: number, name, sensor type, event/reading type, entity ID/instance,
# asserted offsets.
COMPACT = [
    (0x40, "Intrusion", 0x05, 0x6F, 0x17, 1, [0]),        # general chassis intrusion
    (0x41, "PS1 Status", 0x08, 0x6F, 0x0A, 1, [0]),       # presence detected
    (0x42, "PS Redundancy", 0x08, 0x0B, 0x0A, 1, [0]),    # fully redundant
    (0x44, "CPU Status", 0x07, 0x6F, 0x03, 1, [7]),       # processor presence detected
    (0x48, "Drive 0", 0x0D, 0x6F, 0x04, 1, [0]),          # drive presence
    (0x4F, "Sys FW Progress", 0x0F, 0x6F, 0x22, 1, []),   # reports through events only
]

# FRU device locators: FRU device ID, name, entity ID/instance.
FRU_LOCATORS = [
    (0, "Mainboard FRU", 0x07, 1),
    (1, "PSU1 FRU", 0x0A, 1),
]

# SEL entries (IPMI v2.0, 32.1): record type and the 13 bytes after the record ID and type.
# Time stamps are seconds since 1970-01-01 UTC, as stored.
# ipmi_sim replaces the time stamp of every entry it adds (sel_add, Add SEL Entry, its own
# sensor events) with its clock: the host's uptime plus the offset Set SEL Time gave, so
# entries added by sel_add would read "Pre-Init" with a different value each run. It keeps
# the bytes of the SEL it loads from its state directory, though, so the log is written as
# that file (fixture-sel.persist), which CIpmiSimFixture puts in the fresh state directory
# before each start.


def ts(y, mo, d, h, mi, s):
    return calendar.timegm((y, mo, d, h, mi, s, 0, 0, 0))


def le32(v):
    return [v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF, (v >> 24) & 0xFF]


def system_event(stamp, generator, sensor_type, number, direction_type, d1, d2, d3):
    return (0x02, le32(stamp) + [generator & 0xFF, generator >> 8, 0x04, sensor_type, number,
                                 direction_type, d1, d2, d3])


SEL = [
    # P5V upper non-critical going high, asserted; trigger reading and threshold in data 2/3
    system_event(ts(2024, 3, 15, 8, 5, 12), 0x0020, 0x02, 0x11, 0x01, 0x57, 210, 207),
    # FAN2 lower critical going low, asserted, at half past noon
    system_event(ts(2024, 3, 15, 12, 30, 0), 0x0020, 0x04, 0x31, 0x01, 0x52, 12, 15),
    # CPU Temp upper critical going high, deasserted
    system_event(ts(2024, 3, 15, 23, 59, 59), 0x0020, 0x01, 0x01, 0x81, 0x59, 80, 90),
    # Intrusion: general chassis intrusion (sensor-specific offset 0)
    system_event(ts(2024, 3, 16, 0, 0, 1), 0x0020, 0x05, 0x40, 0x6F, 0x00, 0xFF, 0xFF),
    # PS1 Status: power supply failure detected (offset 1)
    system_event(ts(2024, 3, 16, 9, 41, 7), 0x0020, 0x08, 0x41, 0x6F, 0x01, 0xFF, 0xFF),
    # system firmware error "no system memory" (offset 0, code in data 2); BIOS (software
    # ID 01h), time stamp before the clock was set
    system_event(0x00000010, 0x0001, 0x0F, 0x4F, 0x6F, 0xC0, 0x01, 0xFF),
    # system firmware progress "starting OS boot process" (offset 2, code 13h)
    system_event(ts(2024, 3, 16, 9, 45, 0), 0x0001, 0x0F, 0x4F, 0x6F, 0xC2, 0x13, 0xFF),
    # OEM time-stamped record: manufacturer ID 001291h and six OEM bytes
    (0xC1, le32(ts(2024, 3, 16, 10, 0, 0)) + [0x91, 0x12, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55,
                                              0x66]),
    # OEM non-time-stamped record
    (0xE0, list(range(0x01, 0x0E))),
]


def full_record(s):
    (num, name, stype, ent, inst, fmt, unit, m, b, bexp, rexp, lin, _reading, thr) = s
    readable = 0
    for bit, value in zip((5, 4, 3, 2, 1, 0), thr):
        if value is not None:
            readable |= 1 << bit
    # assertion/deassertion masks: the going-low lower and going-high upper offsets of the
    # supported thresholds, plus the threshold reading masks (bits 14:12)
    lower_events = (0x001 if readable & 0x01 else 0) | (0x004 if readable & 0x02 else 0) | \
        (0x010 if readable & 0x04 else 0)
    upper_events = (0x080 if readable & 0x08 else 0) | (0x200 if readable & 0x10 else 0) | \
        (0x800 if readable & 0x20 else 0)
    assertion = lower_events | upper_events | ((readable & 0x07) << 12)
    deassertion = lower_events | upper_events | (((readable >> 3) & 0x07) << 12)
    thr_raw = [raw(v, fmt) if v is not None else 0 for v in thr]
    m &= 0x3FF
    b &= 0x3FF
    body = [OWNER, 0x00, num, ent, inst,
            0x7F,  # initialisation: scanning, events, thresholds, hysteresis, type
            0x68 if readable else 0x40,  # auto re-arm; hysteresis readable; thresholds readable+settable
            stype, 0x01,
            assertion & 0xFF, assertion >> 8, deassertion & 0xFF, deassertion >> 8,
            readable, readable,
            fmt << 6, unit, 0x00, lin,
            m & 0xFF, (m >> 8) << 6, b & 0xFF, (b >> 8) << 6, 0x00,
            (nibble(rexp) << 4) | nibble(bexp),
            0x00, 0x00, 0x00, 0x00,  # no nominal, normal max or min
            0x7F if fmt != UNSIGNED else 0xFF, 0x80 if fmt != UNSIGNED else 0x00,
            ] + thr_raw + [0x00, 0x00, 0x00, 0x00, 0x00] + id_string(name)
    return record(0x01, body)


def compact_record(c, lun=0):
    (num, name, stype, ertype, ent, inst, _bits) = c
    mask = 0x7FFF if ertype == 0x6F else 0x00FF
    body = [OWNER, lun, num, ent, inst, 0x63, 0x40, stype, ertype,
            mask & 0xFF, mask >> 8, 0x00, 0x00, mask & 0xFF, mask >> 8,
            0xC0, 0x00, 0x00,  # no analog reading
            0x00, 0x00,  # no record sharing
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00] + id_string(name)
    return record(0x02, body)


def fru_locator_record(f):
    (dev, name, ent, inst) = f
    body = [OWNER, dev, 0x80, 0x00, 0x00, 0x10, 0x00, ent, inst, 0x00] + id_string(name)
    return record(0x11, body)


def mc_locator_record():
    # device capabilities 8Fh: chassis, FRU inventory, SEL, SDR repository, sensor device
    body = [OWNER, 0x00, 0x00, 0x8F, 0x00, 0x00, 0x00, 0x2E, 0x01, 0x00] + id_string("BMC")
    return record(0x12, body)


# FRU information (Platform Management FRU Information Storage Definition v1.0)
def checksum(data):
    return (-sum(data)) & 0xFF


def field(text):
    data = text.encode("ascii")
    assert len(data) < 64
    return [0xC0 | len(data)] + list(data)


def area(head, fields):
    data = [0x01, 0x00] + head
    for f in fields:
        data += field(f)
    data.append(0xC1)
    while (len(data) + 1) % 8:
        data.append(0x00)
    data[1] = (len(data) + 1) // 8
    return data + [checksum(data)]


def mfg_minutes(y, mo, d, h, mi):
    return (ts(y, mo, d, h, mi, 0) - ts(1996, 1, 1, 0, 0, 0)) // 60


def fru_image(size, chassis, board, product):
    header = [0x01, 0x00, 0, 0, 0, 0x00, 0x00]
    body = []
    offset = 1  # in multiples of 8, after the header
    for index, a in ((2, chassis), (3, board), (4, product)):
        if a:
            header[index] = offset
            body += a
            offset += len(a) // 8
    image = header + [checksum(header)] + body
    assert len(image) <= size
    return image + [0x00] * (size - len(image))


def board_area(minutes, fields):
    return area([0x00, minutes & 0xFF, (minutes >> 8) & 0xFF, minutes >> 16], fields)


FRU = [
    (0, fru_image(
        256,
        area([0x17], ["CH-4410-B", "CHS-000781", "Rack A3"]),  # rack mount chassis
        board_area(mfg_minutes(2024, 3, 1, 14, 30),
                   ["Vexa Test Boards", "VX-MB-200", "MB2024-0042", "900-MB200-01", "",
                    "Rev C"]),
        area([0x00], ["Vexa Test Systems", "VX-2U Server", "VX2U-100", "1.04", "SYS-2024-1187",
                      "ASSET-0815", ""]))),
    (1, fru_image(
        128,
        None,
        board_area(mfg_minutes(2023, 11, 20, 9, 0),
                   ["Vexa Power", "PSU-800W", "PS8-11042", "700-PS800-02", ""]),
        area([0x00], ["Vexa Power", "PSU 800W Platinum", "PS800-P", "B2", "PS8-11042", "", ""]))),
]


def hexes(data):
    return " ".join("0x%02x" % b for b in data)


def main():
    out = [
        "# Emulation commands for the fixture BMC (man ipmi_sim_cmd), run by ipmi_sim at start.",
        "# GENERATED by make_fixture.py from its tables: edit that, not this file.",
        "# One management controller at IPMB address 20h acting as the BMC (see bmc.emu for the",
        "# mc_add fields), with an SDR repository, sensors and two FRU devices; the SEL is",
        "# loaded from the state directory (fixture-sel.persist), sel_enable reads it.",
        "",
        "mc_setbmc 0x20",
        "mc_add 0x20 0x00 no-device-sdrs 0x03 0x09 0x08 0x9f 0x001291 0x0f02",
        "sel_enable 0x20 1000 0x0a",
        "",
        "# SDR repository: IDs are assigned from 1 in this order",
    ]
    records = [("MC locator BMC", mc_locator_record())]
    records += [("full sensor %02Xh %s" % (s[0], s[1]), full_record(s)) for s in FULL]
    records += [("compact sensor %02Xh %s" % (c[0], c[1]), compact_record(c)) for c in COMPACT]
    records += [("FRU locator %d %s" % (f[0], f[1]), fru_locator_record(f)) for f in FRU_LOCATORS]
    for rid, (what, rec) in enumerate(records, start=1):
        out.append("# %d: %s" % (rid, what))
        out.append("main_sdr_add 0x20 " + hexes(rec))
    out += ["", "# Sensors with their readings and thresholds"]
    for s in FULL:
        (num, name, stype, _e, _i, fmt, _u, _m, _b, _be, _re, _lin, reading, thr) = s
        if reading is None:
            out.append("# %02Xh %s: in the SDR only, so Get Sensor Reading answers CCh" % (num, name))
            continue
        out.append("sensor_add 0x20 0 0x%02x 0x%02x 0x01" % (num, stype))
        enabled = "".join("1" if v is not None else "0" for v in thr)
        values = " ".join("0x%02x" % (raw(v, fmt) if v is not None else 0) for v in thr)
        support = "settable" if any(v is not None for v in thr) else "none"
        out.append("sensor_set_threshold 0x20 0 0x%02x %s %s %s" % (num, support, enabled, values))
        out.append("sensor_set_value 0x20 0 0x%02x 0x%02x 0" % (num, raw(reading, fmt)))
    for c in COMPACT:
        (num, _name, stype, ertype, _e, _i, bits) = c
        out.append("sensor_add 0x20 0 0x%02x 0x%02x 0x%02x" % (num, stype, ertype))
        for bit in bits:
            out.append("sensor_set_bit 0x20 0 0x%02x %d 1 0" % (num, bit))
    out += ["", "# FRU devices 0 and 1"]
    for dev, image in FRU:
        out.append("mc_add_fru_data 0x20 %d %d data %s" % (dev, len(image), hexes(image)))
    out += ["", "mc_enable 0x20", ""]
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "fixture.emu"), "w") as f:
        f.write("\n".join(out))
    with open(os.path.join(here, "fixture-sel.persist"), "w") as f:
        f.write(sel_persist(SEL))
    return 0


def sel_persist(entries):
    """The SEL in ipmi_sim's state file format: one "ID:d:DATA" line per 16-byte entry, each
    byte escaped as a backslash and two upper-case hex digits (the reader accepts only
    those), the last entry first (the reader reverses the order), then the SEL times."""
    lines = []
    last_add = 0
    for rid, (rtype, data) in enumerate(entries, start=1):
        assert len(data) == 13
        entry = [rid & 0xFF, rid >> 8, rtype] + data
        if rtype < 0xE0:
            last_add = max(last_add, data[0] | data[1] << 8 | data[2] << 16 | data[3] << 24)
        lines.append("%d:d:%s" % (rid, "".join("\\%02X" % b for b in entry)))
    lines.reverse()
    lines += ["last_erase_time:i:0", "last_add_time:i:%d" % last_add]
    return "\n".join(lines) + "\n"


# The bench BMC (--bench): 300 sensors and a full SEL, for timing the page's content views.
# The console keeps one readings entry per sensor number (1-255) and reads LUN 0, so 255
# numbers are the most it tells apart: 250 full threshold sensors on LUN 0 (numbers 1-250)
# and 50 compact discrete sensors on LUN 1 (numbers 201-250). The console reads the LUN 1
# sensors as the LUN 0 ones of the same numbers, so the voltages and fans 201-250 share their
# readings entries with them; the bench measures none of those. The temperatures are the
# largest sensor-type node and fill the gauge view (its first 100 tiles); BENCH_DRIVEN is the
# sensor whose reading the bench changes through the emulator console.
BENCH_TEMPS, BENCH_VOLTS, BENCH_FANS = 150, 60, 40
BENCH_COMPACT_LUN = 1
BENCH_COMPACT_FIRST = 201
BENCH_SEL_ENTRIES = 1000  # the SEL size given to sel_enable
BENCH_DRIVEN = 64  # a temperature, below every threshold from 20 to 84 degrees C


def bench_full():
    sensors = []
    for i in range(BENCH_TEMPS):
        num = 1 + i
        sensors.append((num, "Temp %03d" % num, 0x01, 0x07, 1 + i % 64, UNSIGNED, DEG_C, 1, 0,
                        0, 0, 0x00, 20 + (i * 7) % 40, (95, 90, 85, 0, 5, 10)))
    for i in range(BENCH_VOLTS):
        num = 1 + BENCH_TEMPS + i
        sensors.append((num, "Volt %03d" % num, 0x02, 0x07, 1 + i % 64, UNSIGNED, VOLTS, 6, 0,
                        0, -2, 0x00, 196 + i % 9, (220, 216, 212, 180, 184, 188)))
    for i in range(BENCH_FANS):
        num = 1 + BENCH_TEMPS + BENCH_VOLTS + i
        sensors.append((num, "Fan %03d" % num, 0x04, 0x1D, 1 + i, UNSIGNED, RPM, 60, 0, 0, 0,
                        0x00, 70 + i % 20, (None, None, None, 10, 15, 20)))
    return sensors


def bench_compact():
    # (count, name format, sensor type, entity ID, asserted offset)
    groups = [(20, "CPU%02d Status", 0x07, 0x03, 7),   # processor presence detected
              (10, "PSU%02d Status", 0x08, 0x0A, 0),   # presence detected
              (20, "Drive %02d", 0x0D, 0x04, 0)]       # drive presence
    sensors = []
    num = BENCH_COMPACT_FIRST
    for count, name, stype, ent, offset in groups:
        for i in range(count):
            sensors.append((num, name % (i + 1), stype, 0x6F, ent, 1 + i, [offset]))
            num += 1
    return sensors


def bench_sel(full, compact):
    """BENCH_SEL_ENTRIES entries, one every 263 s from 2024-03-01, cycling through threshold
    events of the full sensors and sensor-specific events of the compact ones."""
    temps = [s for s in full if s[2] == 0x01]
    volts = [s for s in full if s[2] == 0x02]
    fans = [s for s in full if s[2] == 0x04]
    start = ts(2024, 3, 1, 0, 0, 0)
    lun1 = 0x0020 | (BENCH_COMPACT_LUN << 8)  # generator ID: IPMB address, LUN in byte 2
    entries = []
    for i in range(BENCH_SEL_ENTRIES):
        stamp = start + 263 * i
        kind, n = i % 5, i // 5
        if kind == 0:  # upper non-critical going high, asserted
            s = temps[n % len(temps)]
            entries.append(system_event(stamp, 0x0020, 0x01, s[0], 0x01, 0x57, 86, 85))
        elif kind == 1:  # lower non-critical going low, deasserted
            s = volts[n % len(volts)]
            entries.append(system_event(stamp, 0x0020, 0x02, s[0], 0x81, 0x50, 187, 188))
        elif kind == 2:  # lower critical going low, asserted
            s = fans[n % len(fans)]
            entries.append(system_event(stamp, 0x0020, 0x04, s[0], 0x01, 0x52, 14, 15))
        else:  # the compact sensor's own offset, asserted or (odd entries) deasserted
            c = compact[(2 * n + kind - 3) % len(compact)]
            direction = 0x6F | (0x80 if i % 2 else 0x00)
            entries.append(system_event(stamp, lun1, c[2], c[0], direction, c[6][0], 0xFF,
                                        0xFF))
    return entries


def write_bench(outdir):
    full, compact = bench_full(), bench_compact()
    assert len({s[0] for s in full}) == len(full) <= 255
    assert len({c[0] for c in compact}) == len(compact) and max(c[0] for c in compact) <= 255
    out = [
        "# Emulation commands for the bench BMC (man ipmi_sim_cmd), run by ipmi_sim at start.",
        "# GENERATED by make_fixture.py --bench: %d full sensors on LUN 0, %d compact sensors"
        % (len(full), len(compact)),
        "# on LUN %d; the SEL (%d entries) is loaded from the state directory"
        % (BENCH_COMPACT_LUN, BENCH_SEL_ENTRIES),
        "# (bench-sel.persist).",
        "",
        "mc_setbmc 0x20",
        "mc_add 0x20 0x00 no-device-sdrs 0x03 0x09 0x08 0x9f 0x001291 0x0f02",
        "sel_enable 0x20 %d 0x0a" % BENCH_SEL_ENTRIES,
        "",
        "# SDR repository: IDs are assigned from 1 in this order",
        "main_sdr_add 0x20 " + hexes(mc_locator_record()),
    ]
    out += ["main_sdr_add 0x20 " + hexes(full_record(s)) for s in full]
    out += ["main_sdr_add 0x20 " + hexes(compact_record(c, BENCH_COMPACT_LUN)) for c in compact]
    out += ["", "# Sensors with their readings and thresholds"]
    for s in full:
        (num, _n, stype, _e, _i, fmt, _u, _m, _b, _be, _re, _lin, reading, thr) = s
        out.append("sensor_add 0x20 0 0x%02x 0x%02x 0x01" % (num, stype))
        enabled = "".join("1" if v is not None else "0" for v in thr)
        values = " ".join("0x%02x" % (raw(v, fmt) if v is not None else 0) for v in thr)
        out.append("sensor_set_threshold 0x20 0 0x%02x settable %s %s" % (num, enabled, values))
        out.append("sensor_set_value 0x20 0 0x%02x 0x%02x 0" % (num, raw(reading, fmt)))
    for c in compact:
        (num, _n, stype, ertype, _e, _i, bits) = c
        out.append("sensor_add 0x20 %d 0x%02x 0x%02x 0x%02x" % (BENCH_COMPACT_LUN, num, stype,
                                                               ertype))
        for bit in bits:
            out.append("sensor_set_bit 0x20 %d 0x%02x %d 1 0" % (BENCH_COMPACT_LUN, num, bit))
    out += ["", "mc_enable 0x20", ""]

    driven = next(s for s in full if s[0] == BENCH_DRIVEN)
    types = {}
    for s in full:
        types[s[2]] = types.get(s[2], 0) + 1
    largest = max(types, key=types.get)
    layout = {
        "emu": "bench.emu",
        "sel": "bench-sel.persist",
        "sensors": len(full) + len(compact),
        "full": len(full),
        "compact": len(compact),
        "fullByType": {str(t): n for t, n in sorted(types.items())},
        "largestType": largest,
        "largestTypeSensors": types[largest],
        "selEntries": BENCH_SEL_ENTRIES,
        "driven": {"number": driven[0], "name": driven[1], "lun": 0, "reading": driven[12]},
    }
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "bench.emu"), "w") as f:
        f.write("\n".join(out))
    with open(os.path.join(outdir, "bench-sel.persist"), "w") as f:
        f.write(sel_persist(bench_sel(full, compact)))
    with open(os.path.join(outdir, "bench.json"), "w") as f:
        f.write(json.dumps(layout, indent=2) + "\n")
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--bench":
        sys.exit(write_bench(sys.argv[2]))
    if len(sys.argv) != 1:
        sys.stderr.write("usage: make_fixture.py [--bench OUTDIR]\n")
        sys.exit(2)
    sys.exit(main())
