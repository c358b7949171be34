# A Modbus RTU slave (unit 1) on the serial device given, for the sniffing
# rig of the recorder's test: holding and input registers 0..99 hold their
# own address, coils alternate.
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusRtuFramer

unit = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, list(range(100))),
                          ir=ModbusSequentialDataBlock(0, list(range(100))),
                          co=ModbusSequentialDataBlock(0, [i % 2 for i in range(100)]),
                          di=ModbusSequentialDataBlock(0, [0] * 100), zero_mode=True)
StartSerialServer(context=ModbusServerContext(slaves={1: unit}, single=False), framer=ModbusRtuFramer,
                  port=sys.argv[1], baudrate=9600, parity='N', bytesize=8, stopbits=1)
