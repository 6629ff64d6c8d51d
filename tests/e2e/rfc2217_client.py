#!/usr/bin/python3
"""hc11sim --listen against pyserial's RFC 2217 client, an independent client.

Usage: rfc2217_client.py HC11SIM_PATH

Over the network port: the boot ROM takes a load at 1200 baud and echoes it, the loaded
program answers (IAC doubled both ways), a break reaches the SCI as a break, and a client at
another rate is heard as garbage. With --reset-line and --mode-line: the mode line held and
RESET pulsed gives the boot ROM's break and a boot ROM that takes a load; the mode line
released and RESET pulsed starts the program in EEPROM from the reset vector. The first part
runs again in real time, behind a USB adapter's latency, with a fault.
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

import serial

HC11SIM = sys.argv[1]
FAILURES = []

# At $0000 (loaded by the boot ROM, SCI at 1200) or $F800 (EEPROM, sets 9600 itself): each
# byte received comes back plus one.
PLUS_ONE = bytes([0xCE, 0x10, 0x00,  # LDX #$1000
                  0x1F, 0x2E, 0x20, 0xFC,  # BRCLR SCSR,X #RDRF *
                  0xA6, 0x2F, 0x4C,  # LDAA SCDR,X; INCA
                  0x1F, 0x2E, 0x80, 0xFC,  # BRCLR SCSR,X #TDRE *
                  0xA7, 0x2F, 0x20, 0xF1])  # STAA SCDR,X; BRA
EEPROM_PLUS_ONE = bytes([0x8E, 0x00, 0xFF,  # LDS #$00FF
                         0xCE, 0x10, 0x00, 0x86, 0x30, 0xA7, 0x2B,  # BAUD <- 9600
                         0x86, 0x0C, 0xA7, 0x2D]) + PLUS_ONE[3:]  # SCCR2 <- TE RE


def check(what, got, expected):
    if got != expected:
        FAILURES.append("%s: got %r, expected %r" % (what, got, expected))


def s19(blocks):
    lines = []
    for address, data in blocks:
        for offset in range(0, len(data), 16):
            chunk = data[offset:offset + 16]
            at = address + offset
            body = bytes([len(chunk) + 3, at >> 8, at & 0xFF]) + chunk
            lines.append("S1" + body.hex().upper() + "%02X" % (~sum(body) & 0xFF))
    return "\n".join(lines + ["S9030000FC", ""])


class Sim:
    def __init__(self, *args):
        self.process = subprocess.Popen([HC11SIM, "--listen", "0", "--stats"] + list(args),
                                        stdout=subprocess.PIPE, text=True)
        self.url = self.process.stdout.readline().strip()
        check("first line", self.url.startswith("rfc2217://127.0.0.1:"), True)

    def open(self, baud):
        port = serial.serial_for_url(self.url, baudrate=baud, timeout=3, do_not_open=True)
        port.dtr = False
        port.rts = False
        port.open()
        return port

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        out, _ = self.process.communicate(timeout=10)
        return dict(line.split() for line in out.splitlines() if len(line.split()) == 2)


def load(port, program):
    image = program + bytes(256 - len(program))
    port.write(b"\xff" + image)
    check("boot ROM echo", port.read(256), image)


def boot_rom_and_program(*options):
    sim = Sim(*options)
    port = sim.open(1200)
    load(port, PLUS_ONE)
    port.write(b"a\xfe\xff")
    check("program's answers, $FF doubled both ways", port.read(3), b"b\xff\x00")
    port.send_break(0.02)
    check("a break, read by the SCI as $00", port.read(1), b"\x01")
    port.baudrate = 9600
    port.write(b"a")
    garbled = port.read(1)
    check("a byte at 9600 to the SCI at 1200 is garbage", garbled != b"b", True)
    port.close()
    second = sim.open(1200)  # the next client after the first left
    second.write(b"c")
    check("the next client", second.read(1), b"d")
    if "--fault" in options:  # 256 echoes, 3 answers, the break's, the 9600 byte's: "c"'s is the 262nd
        check("the noise fault", second.read(1), b"\x55")
    second.close()
    stats = sim.stop()
    check("framing errors: the break and the 9600 byte", int(stats["sci_framing_errors"]) >= 2,
          True)


def pulse_reset(port):
    port.dtr = True
    time.sleep(0.05)
    port.dtr = False


def reset_and_mode_lines(eeprom):
    sim = Sim("--eeprom", eeprom, "--mode", "single", "--reset-line", "dtr",
              "--mode-line", "rts")
    port = sim.open(1200)
    port.rts = True  # MODA and MODB low: bootstrap
    pulse_reset(port)
    check("the boot ROM's break after a reset into bootstrap", port.read(1), b"\x00")
    load(port, PLUS_ONE)
    port.write(b"x")
    check("the loaded program", port.read(1), b"y")
    port.rts = False  # the pins take --mode: single-chip
    pulse_reset(port)
    port.baudrate = 9600
    port.write(b"k")
    check("the program in EEPROM, from the reset vector", port.read(1), b"l")
    port.close()
    sim.stop()


def main():
    boot_rom_and_program()
    boot_rom_and_program("--realtime", "--latency", "16", "--fault", "noise:262")
    with tempfile.TemporaryDirectory() as folder:
        eeprom = os.path.join(folder, "plus_one.s19")
        with open(eeprom, "w") as out:
                    out.write(s19([(0xF800, EEPROM_PLUS_ONE), (0xFFFE, bytes([0xF8, 0x00]))]))
        reset_and_mode_lines(eeprom)
    for failure in FAILURES:
        print(failure)
    print("%d failure(s)" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
