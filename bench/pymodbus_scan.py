#!/usr/bin/python3
"""The same scan as `qrv-idctl scan`, written on pymodbus: a read of holding
register 10 at every address from 1 to 247, one speed, one answer window.
usage: pymodbus_scan.py PORT BAUD TIMEOUT_MS"""
import logging
import resource
import sys
import time

from pymodbus.client import ModbusSerialClient

logging.disable(logging.CRITICAL)  # a silent address is no error here
port, baud, timeout_ms = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
client = ModbusSerialClient(port=port, baudrate=baud, bytesize=8, parity="N", stopbits=1,
                            retries=0, retry_on_empty=False)
# Debian's pymodbus (3.0.0) cuts the timeout argument to whole seconds.
client.params.timeout = timeout_ms / 1000
if not client.connect():
    sys.exit(f"cannot open {port}")
found = []
start = time.monotonic()
for slave in range(1, 248):
    try:
        reply = client.read_holding_registers(10, 1, slave=slave)
    except Exception:  # pylint: disable=broad-except
        continue
    if not reply.isError():
        found.append((slave, reply.registers[0]))
wall = time.monotonic() - start
use = resource.getrusage(resource.RUSAGE_SELF)
client.close()
print(f"found {found} wall {wall:.3f} cpu {use.ru_utime + use.ru_stime:.3f}")
