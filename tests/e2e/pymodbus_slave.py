#!/usr/bin/python3
"""A pymodbus RTU slave for the peer tests: input registers r = 3 r + 1 at stations 1 and 2;
station 2 refuses reads of more than one register (exception 2, as its data block says so)."""

import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusRtuFramer


class SingleRegisters(ModbusSequentialDataBlock):
    def validate(self, address, count=1):
        return count == 1 and super().validate(address, count)


def main():
    port = sys.argv[1]
    values = [(3 * r + 1) & 0xFFFF for r in range(400)]
    slaves = {
        1: ModbusSlaveContext(ir=ModbusSequentialDataBlock(0, values), zero_mode=True),
        2: ModbusSlaveContext(ir=SingleRegisters(0, values), zero_mode=True),
    }
    context = ModbusServerContext(slaves=slaves, single=False)
    print("ready", flush=True)
    StartSerialServer(context=context, framer=ModbusRtuFramer, port=port, baudrate=9600, timeout=0.005)


if __name__ == "__main__":
    main()
