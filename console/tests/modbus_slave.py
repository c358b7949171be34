# A Modbus RTU slave (unit 1) on the serial device given, at the baud rate
# given (9600 when none is), for the sniffing rigs of the recorder's and the
# traffic view's tests: holding and input registers 0..99 hold their own
# address, coils alternate; a read beyond them is answered by exception 2.
import sys

from pymodbus.datastore import ModbusSequentialDataBlock, ModbusServerContext, ModbusSlaveContext
from pymodbus.server import StartSerialServer
from pymodbus.transaction import ModbusRtuFramer

unit = ModbusSlaveContext(hr=ModbusSequentialDataBlock(0, list(range(100))),
                          ir=ModbusSequentialDataBlock(0, list(range(100))),
                          co=ModbusSequentialDataBlock(0, [i % 2 for i in range(100)]),
                          di=ModbusSequentialDataBlock(0, [0] * 100), zero_mode=True)
StartSerialServer(context=ModbusServerContext(slaves={1: unit}, single=False), framer=ModbusRtuFramer,
                  port=sys.argv[1], baudrate=int(sys.argv[2]) if len(sys.argv) > 2 else 9600, parity='N', bytesize=8, stopbits=1)
