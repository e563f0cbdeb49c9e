"""Independent peer for the table tests: writes and reads tables with python3-dbf.

  dbf_peer.py make <kind> <path>   write the sample table of <kind> (db3, fp, vfp) at <path>
  dbf_peer.py dump <path>          print every record of a table, one line each

A dumped line is "*" or " " (deleted or not), then "|"-separated field=value pairs: text with
trailing blanks removed, numbers with 4 decimals, dates as YYYYMMDD, date-times as
YYYYMMDDhhmmss, logicals as T/F, an unset logical or NULL as ?, memo line breaks as \\n.
Output is UTF-8.
"""
import datetime
import sys

import dbf

SAMPLES = {
    'db3': (
        'name C(10); qty N(6,2); due D; active L',
        'cp437',
        [
            ('abc', -3.5, None, False),
            ('Z\u00fcrich', 100.25, datetime.date(1999, 12, 31), True),
        ],
    ),
    'fp': (
        'name C(10); qty N(8,2); rate F(8,3); due D; active L; notes M',
        'cp1252',
        [
            ('Smith', 42.5, 0.125, datetime.date(2024, 3, 15), True, 'memo text\r\nline2'),
            ('M\u00fcller \u00e9', -3, 0, None, False, ''),
            ('', 0, 0, None, None, 'x' * 1000),
        ],
    ),
    'vfp': (
        'name C(10); qty N(8,2); notes M; cnt I; wt B; price Y; stamp T; due D; active L',
        'cp1252',
        [
            ('x', 1, 'm', -7, 0.5, 9.99, datetime.datetime(2024, 3, 15, 13, 45, 30),
             datetime.date(2000, 1, 1), True),
            ('Ab\u20ac', -12.25, 'memo2' * 100, 123456789, -1e10, -3.5, None, None, False),
        ],
    ),
}


def make(kind, path):
    spec, codepage, rows = SAMPLES[kind]
    table = dbf.Table(path, spec, dbf_type=kind, codepage=codepage)
    table.open(dbf.READ_WRITE)
    for row in rows:
        table.append(row)
    table.close()


def show(value):
    if value is None:
        return '?'
    if isinstance(value, bool):
        return 'T' if value else 'F'
    if isinstance(value, datetime.datetime):
        return value.strftime('%Y%m%d%H%M%S')
    if isinstance(value, datetime.date):
        return value.strftime('%Y%m%d')
    if isinstance(value, (int, float)) or type(value).__name__ == 'Decimal':
        return '%.4f' % float(value)
    if isinstance(value, bytes):
        value = value.decode('latin-1')
    return str(value).rstrip(' ').replace('\r', '\\r').replace('\n', '\\n')


def dump(path):
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    names = table.field_names
    for record in table:
        fields = []
        for name in names:
            value = record[name]
            if isinstance(value, dbf.Logical) or type(value).__name__ == 'Logical':
                value = None if value is dbf.Unknown else bool(value)
            fields.append('%s=%s' % (name, show(value)))
        mark = '*' if dbf.is_deleted(record) else ' '
        sys.stdout.write(mark + '|'.join(fields) + '\n')
    table.close()


def main(argv):
    if len(argv) == 4 and argv[1] == 'make':
        make(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == 'dump':
        dump(argv[2])
    else:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
