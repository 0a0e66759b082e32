#!/usr/bin/env python3
# Writes the reference spreadsheet files record by record from the BIFF2 record table, independently of
# the C++ writer; tst_excel compares the writer's output with them byte for byte. Run it from this folder
# only when a reference has to change, and look at the result with `xxd`.
import struct

def rec(number, data=b''):
    return struct.pack('<HH', number, len(data)) + data

# BOF (version 2, worksheet) and the CODEPAGE record (Windows-1252) that the writer puts right after it.
BOF = rec(0x0009, struct.pack('<HH', 2, 0x0010)) + rec(0x0042, struct.pack('<H', 1252))
EOF_ = rec(0x000A)

def integer(row, col, value, font=0, align=3, hidden=0):
    return rec(0x0002, struct.pack('<HHBBBH', row - 1, col - 1, hidden, font, align, value & 0xFFFF))

def number(row, col, value, font=0, align=3, hidden=0):
    return rec(0x0003, struct.pack('<HHBBBd', row - 1, col - 1, hidden, font, align, value))

def label(row, col, text, font=0, align=1, hidden=0):
    data = text.encode('cp1252')
    return rec(0x0004, struct.pack('<HHBBBB', row - 1, col - 1, hidden, font, align, len(data)) + data)

def margin(number_, inches):
    return rec(number_, struct.pack('<d', inches))

def colwidth(first, last, chars):
    return rec(0x0024, struct.pack('<BBh', first - 1, last - 1, chars * 256))

def font(name, points, flags):
    data = name.encode('cp1252')
    return rec(0x0031, struct.pack('<hBBB', points * 20, flags, 0, len(data)) + data)

def text_record(number_, text):
    data = text.encode('cp1252')
    return rec(number_, struct.pack('<B', len(data)) + data)

def gridlines(on):
    return rec(0x002B, struct.pack('<H', 1 if on else 0))

def protect(on):
    return rec(0x0012, struct.pack('<H', 1 if on else 0))

def filepass(text):
    return rec(0x002F, text.encode('cp1252'))

# Every record kind of the writer, in the order tst_excel writes them.
writer = (BOF + gridlines(True) + protect(True) + margin(38, 0.5) + margin(39, 0.75) + margin(40, 1.0)
          + margin(41, 1.25) + font('Arial', 10, 0) + font('Courier New', 12, 1 + 2) + colwidth(1, 3, 12)
          + colwidth(4, 4, -2) + text_record(0x0014, '&CPage &P') + text_record(0x0015, 'Foot \u00e9')
          + integer(1, 1, -5, font=64, align=2, hidden=64) + integer(65535, 256, 32767)
          + number(2, 1, 1.23) + number(2, 2, -0.0625, align=3 + 8 + 128)
          + label(3, 1, 'Gr\u00fc\u00dfe \u20ac', font=192, align=1 + 16 + 32 + 64, hidden=128)
          + label(3, 2, '') + label(4, 1, 'x' * 255) + integer(5, 1, 2) + EOF_)
open('writer_records.xls', 'wb').write(writer)
open('writer_filepass.xls', 'wb').write(BOF + filepass('secret') + EOF_)

def export_head(meter, serial, user, date, time, headers):
    out = BOF + gridlines(False) + margin(40, 1.5) + margin(38, 1.5) + margin(39, 1.5) + margin(41, 1.5)
    out += font('Arial', 10, 0) + colwidth(1, len(headers), 10)
    for row, text in enumerate(['Meter: ' + meter, 'S/N: ' + serial, 'User: ' + user, 'Date: ' + date,
                                'Time: ' + time], start=2):
        out += label(row, 1, text)
    for col, text in enumerate(headers, start=1):
        out += label(8, col, text)
    return out

LUMORA = ['No.', 'Date', 'Time', 'ID', 'PROG', 'Cit.', 'AR/BV/Cal', 'Dil.', 'Value 1', 'Unit 1', 'Status 1',
          'Value 2', 'Unit 2', 'Status 2']
KLARO7 = ['No.', 'Date', 'Time', 'ID', 'Value', 'Unit', 'Status', 'AQA/Cal', 'Date cal.', 'Time cal.']

# Datasets of tst_excel's Lumora document (en_US locale, imported 7 March 2012 14:30:05).
lumora = export_head('Lumora', '4711', 'Zazuva', '3/7/12', '2:30:05 PM', LUMORA)
# 1;07.03.12;14:01;0;900;;;1:1;1.23;mg/l;OK;---;mg/l;OK
lumora += (integer(9, 1, 1) + label(9, 2, '07.03.12') + label(9, 3, '14:01') + integer(9, 4, 0)
           + integer(9, 5, 900) + label(9, 8, '1:1') + number(9, 9, 1.23) + label(9, 10, 'mg/l')
           + label(9, 11, 'OK') + number(9, 12, 0.0) + label(9, 13, 'mg/l') + label(9, 14, 'OK'))
# 40000;07.03.12;14:02;-7;abc;C;B;;-0.5e1x;\u00b0C;<;;;  (ID -7 and No. 40000 outside the signed range,
# PROG not a number: left empty)
lumora += (integer(10, 1, 40000) + label(10, 2, '07.03.12') + label(10, 3, '14:02') + number(10, 4, -7.0)
           + label(10, 6, 'C') + label(10, 7, 'B') + number(10, 9, -5.0) + label(10, 10, '\u00b0C')
           + label(10, 11, '<'))
lumora += EOF_
open('export_lumora.xls', 'wb').write(lumora)

open('export_klaro7_empty.xls', 'wb').write(
    export_head('Klaro 7 IR', '0815', '---', '3/7/12', '2:30:05 PM', KLARO7) + EOF_)
