#!/usr/bin/env python3
"""A small serial master for the slave port's integration tests, on a terminal device.

  serial_peer.py bytewise DEVICE ADDRESS BAUD PAUSE_MS
      Modbus RTU requests sent one byte at a time with PAUSE_MS between bytes; every
      request must be answered, and the answers must carry the program's values.
  serial_peer.py noise DEVICE ADDRESS BAUD COUNT
      COUNT Modbus requests, each with random bytes before and after it in the same burst;
      every request must still be answered correctly.
  serial_peer.py ppi DEVICE ADDRESS BAUD
      PPI telegrams: reads of VB100 and QB0, byte and bit writes, the poll without a
      request, a request to another station.

The slave runs tests/integration/slave_port.awl: VW0..VW6 = 1111, 2222, 3333, 4444,
VD100 = 16#11223344, Q0.0 and Q0.2 on; it copies VW20 to VW40 and M0.3 to Q3.0.
Exit status 0 when every exchange was right, 1 otherwise (each fault is printed).
"""
import os
import random
import sys
import termios
import time

BAUDS = {1200: termios.B1200, 2400: termios.B2400, 4800: termios.B4800, 9600: termios.B9600,
         19200: termios.B19200, 38400: termios.B38400, 57600: termios.B57600, 115200: termios.B115200}

failures = 0


def fail(text):
    global failures
    failures += 1
    print("FAIL " + text)


def open_line(device, baud):
    fd = os.open(device, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    attrs = termios.tcgetattr(fd)
    attrs[0] = 0                                   # iflag: raw
    attrs[1] = 0                                   # oflag
    attrs[2] = termios.CS8 | termios.CREAD | termios.CLOCAL | termios.PARENB
    attrs[3] = 0                                   # lflag: no echo, not canonical
    attrs[4] = attrs[5] = BAUDS[baud]
    attrs[6][termios.VMIN] = 0
    attrs[6][termios.VTIME] = 0
    try:
        termios.tcsetattr(fd, termios.TCSANOW, attrs)
    except termios.error:
        pass  # a pseudo-terminal keeps no parity
    termios.tcflush(fd, termios.TCIOFLUSH)
    return fd


def read_for(fd, want, timeout):
    """Reads until want bytes arrived or timeout seconds passed."""
    got = bytearray()
    end = time.monotonic() + timeout
    while len(got) < want and time.monotonic() < end:
        try:
            chunk = os.read(fd, 512)
        except BlockingIOError:
            chunk = b""
        if chunk:
            got += chunk
        else:
            time.sleep(0.0005)
    return bytes(got)


def quiet(fd, seconds):
    """Waits and returns whatever arrived meanwhile (nothing is expected)."""
    time.sleep(seconds)
    try:
        return os.read(fd, 4096)
    except BlockingIOError:
        return b""


def crc16(data):
    crc = 0xFFFF
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return bytes([crc & 0xFF, crc >> 8])


def frame(*values):
    body = bytes(values)
    return body + crc16(body)


def words(*values):
    out = []
    for v in values:
        out += [v >> 8, v & 0xFF]
    return out


def modbus_cases(a):
    """(request, expected answer) pairs against slave_port.awl's memory."""
    return [
        (frame(a, 3, 0, 0, 0, 4), frame(a, 3, 8, *words(1111, 2222, 3333, 4444))),
        (frame(a, 1, 0, 0, 0, 3), frame(a, 1, 1, 0b101)),
        (frame(a, 6, 0, 30, *words(0x0A0B)), frame(a, 6, 0, 30, *words(0x0A0B))),      # VW60
        (frame(a, 3, 0, 30, 0, 1), frame(a, 3, 2, 0x0A, 0x0B)),
        (frame(a, 16, 0, 35, 0, 2, 4, *words(7, 8)), frame(a, 16, 0, 35, 0, 2)),        # VW70, VW72
        (frame(a, 3, 0, 35, 0, 2), frame(a, 3, 4, *words(7, 8))),
        (frame(a, 15, 0, 40, 0, 3, 1, 0b110), frame(a, 15, 0, 40, 0, 3)),               # Q5.0..Q5.2
        (frame(a, 1, 0, 40, 0, 3), frame(a, 1, 1, 0b110)),
        (frame(a, 5, 0, 41, 0, 0), frame(a, 5, 0, 41, 0, 0)),                           # Q5.1 off
        (frame(a, 1, 0, 40, 0, 3), frame(a, 1, 1, 0b100)),
        (frame(a, 3, 0, 50, 0, 2), frame(a, 3, 4, 0x11, 0x22, 0x33, 0x44)),             # VD100
    ]


def exchange(fd, request, expected, label, pause=None):
    if pause is None:
        os.write(fd, request)
    else:
        for b in request:
            os.write(fd, bytes([b]))
            time.sleep(pause)
    got = read_for(fd, len(expected), 1.0)
    if got != expected:
        fail("%s: sent %s, expected %s, got %s" % (label, request.hex(" "), expected.hex(" "), got.hex(" ")))
        quiet(fd, 0.05)
    return got == expected


def run_bytewise(fd, address, pause_ms):
    pause = pause_ms / 1000.0
    answered = 0
    cases = modbus_cases(address)
    for n, (request, expected) in enumerate(cases * 2):
        answered += exchange(fd, request, expected, "bytewise request %d" % n, pause)
    print("bytewise: %d of %d requests answered, %.1f ms between bytes" % (answered, 2 * len(cases), pause_ms))


def run_noise(fd, address, count):
    rng = random.Random(20261209)
    cases = modbus_cases(address)
    answered = 0
    for n in range(count):
        request, expected = cases[n % len(cases)]
        before = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 24)))
        after = bytes(rng.randrange(256) for _ in range(rng.randrange(0, 6)))
        # A write answered twice would show as a wrong next answer, so nothing is hidden.
        os.write(fd, before + request + after)
        got = read_for(fd, len(expected), 1.0)
        if got == expected:
            answered += 1
        else:
            fail("noise request %d: after %s, expected %s, got %s"
                 % (n, before.hex(" "), expected.hex(" "), got.hex(" ")))
        # The junk after the request may have started another request: the line falls
        # silent so that the slave lets it go before the next burst.
        quiet(fd, 0.01)
    print("noise: %d of %d requests answered among random bytes" % (answered, count))


# --- PPI ---------------------------------------------------------------------------------

def sd2(body):
    return bytes([0x68, len(body), len(body), 0x68]) + bytes(body) + bytes([sum(body) & 0xFF, 0x16])


def s7_item(fn, size, count, area, bit_address, da, sa=0):
    return [da, sa, 0x6C, 0x32, 0x01, 0, 0, 0, 0, 0, 0x0E, 0, 0, fn, 0x01, 0x12, 0x0A, 0x10, size, 0, count,
            0, 0x01, area, (bit_address >> 16) & 0xFF, (bit_address >> 8) & 0xFF, bit_address & 0xFF]


def ppi_read(area, bit_address, count, da):
    return sd2(s7_item(4, 2, count, area, bit_address, da))


def ppi_write(size, count, area, bit_address, data_size, data, da):
    body = s7_item(5, size, count, area, bit_address, da) + [0, data_size, 0,
                                                            len(data) * (1 if data_size == 3 else 8)] + list(data)
    return sd2(body)


def poll(da, sa=0):
    return bytes([0x10, da, sa, 0x5C, (da + sa + 0x5C) & 0xFF, 0x16])


def read_answer(count, data, station, master=0):
    t = [0x68, count + 21, count + 21, 0x68, master, station, 0x08, 0x32, 0x03, 0, 0, 0, 0, 0, 0x02, 0,
         count + 4, 0, 0, 0x04, 0x01, 0xFF, 0x04, (count * 8) >> 8, (count * 8) & 0xFF] + list(data)
    return bytes(t + [sum(t[4:]) & 0xFF, 0x16])


def write_answer(station, master=0):
    t = [0x68, 0x12, 0x12, 0x68, master, station, 0x08, 0x32, 0x03, 0, 0, 0, 0, 0, 0x02, 0, 0x01, 0, 0, 0x05,
         0x01, 0xFF]
    return bytes(t + [sum(t[4:]) & 0xFF, 0x16])


def ppi_transaction(fd, telegram, answer, station, label):
    os.write(fd, telegram)
    ack = read_for(fd, 1, 1.0)
    if ack != b"\xe5":
        fail("%s: expected the acknowledgement E5, got %s" % (label, ack.hex(" ")))
        return False
    os.write(fd, poll(station))
    got = read_for(fd, len(answer), 1.0)
    if got != answer:
        fail("%s: expected %s, got %s" % (label, answer.hex(" "), got.hex(" ")))
        return False
    return True


def run_ppi(fd, station):
    ok = 0
    total = 0

    def check(result):
        nonlocal ok, total
        total += 1
        ok += bool(result)

    # VB100..VB103 hold VD100 = 16#11223344.
    check(ppi_transaction(fd, ppi_read(0x84, 800, 4, station), read_answer(4, [0x11, 0x22, 0x33, 0x44], station),
                          station, "read VB100, 4 bytes"))
    # QB0: Q0.0 and Q0.2 on.
    check(ppi_transaction(fd, ppi_read(0x82, 0, 1, station), read_answer(1, [0x05], station), station, "read QB0"))
    # A byte write to VB200..VB201, read back.
    check(ppi_transaction(fd, ppi_write(2, 2, 0x84, 1600, 4, [0xAB, 0xCD], station), write_answer(station),
                          station, "write VB200"))
    check(ppi_transaction(fd, ppi_read(0x84, 1600, 2, station), read_answer(2, [0xAB, 0xCD], station), station,
                          "read VB200 back"))
    # A bit write of M0.3: the program copies it to Q3.0; wait for a pass and read QB3.
    check(ppi_transaction(fd, ppi_write(1, 1, 0x83, 3, 3, [1], station), write_answer(station), station,
                          "write M0.3"))
    time.sleep(0.2)
    check(ppi_transaction(fd, ppi_read(0x82, 24, 1, station), read_answer(1, [0x01], station), station,
                          "read QB3 (the program's copy of M0.3)"))
    # The telegram split into pieces with short pauses is put together again.
    os.write(fd, ppi_read(0x84, 800, 4, station)[:10])
    time.sleep(0.003)
    telegram = ppi_read(0x84, 800, 4, station)
    for b in telegram[10:]:
        os.write(fd, bytes([b]))
        time.sleep(0.001)
    ack = read_for(fd, 1, 1.0)
    os.write(fd, poll(station))
    got = read_for(fd, 31, 1.0)
    total += 1
    if ack == b"\xe5" and got == read_answer(4, [0x11, 0x22, 0x33, 0x44], station):
        ok += 1
    else:
        fail("split read: ack %s, answer %s" % (ack.hex(" "), got.hex(" ")))
    # A poll with no request waiting gets the short answer with function code 00.
    os.write(fd, poll(station))
    got = read_for(fd, 6, 1.0)
    expected = bytes([0x10, 0x00, station, 0x00, station & 0xFF, 0x16])
    total += 1
    if got == expected:
        ok += 1
    else:
        fail("idle poll: expected %s, got %s" % (expected.hex(" "), got.hex(" ")))
    # A request for another station is not acknowledged.
    os.write(fd, ppi_read(0x84, 800, 4, (station % 126) + 1))
    got = quiet(fd, 0.1)
    total += 1
    if not got:
        ok += 1
    else:
        fail("request for another station answered with %s" % got.hex(" "))
    print("ppi: %d of %d exchanges right" % (ok, total))


def main(argv):
    if len(argv) < 5:
        print(__doc__)
        return 2
    mode, device, address, baud = argv[1], argv[2], int(argv[3]), int(argv[4])
    fd = open_line(device, baud)
    try:
        if mode == "bytewise":
            run_bytewise(fd, address, float(argv[5]))
        elif mode == "noise":
            run_noise(fd, address, int(argv[5]))
        elif mode == "ppi":
            run_ppi(fd, address)
        else:
            print(__doc__)
            return 2
    finally:
        os.close(fd)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
