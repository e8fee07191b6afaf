#!/usr/bin/env python3
"""Gives parameters of a compiled type library a text default value.

widl refuses a text default on a BSTR* parameter ("string default value
applied to non-string type"), which MIDL accepts and the published interface
needs. The IDL therefore declares such a parameter [in, out, optional] for
widl, and this step marks it as having the default "" in the type library
widl wrote:

    typelib_defaults.py Brenlix.tlb _EventLog.WriteEventLog.strEventTekst

It edits the library in place and changes nothing else: the parameter's flags
gain PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT, its entry in the method's
default-value table points at the empty text that another parameter of the
library already has as its default (widl stores each value once), and the
method's description size grows by what widl counts for a default. The method
must already have a default-value table (another of its parameters has a
default) and the library must hold the empty text as some default; when
either is missing the step fails rather than guess.

The layout read here is the one of 'MSFT' type libraries as Windows' and
Wine's loaders read them.
"""
import struct
import sys

PARAMFLAG_FOPT = 0x10
PARAMFLAG_FHASDEFAULT = 0x20
VT_BSTR = 8
HAS_DEFAULTS = 0x1000  # bit of a function record's FKCCIC field

# What a default value adds to a function's description size, as widl counts
# it (the same in 32-bit and 64-bit libraries).
DEFAULT_DESCRIPTION_SIZE = 24

HEADER_SIZE = 0x54
SEGMENT_COUNT = 15
SEG_TYPEINFO, SEG_NAMES, SEG_CUSTDATA = 0, 7, 11
TYPEINFO_SIZE = 0x64


class Library:
    def __init__(self, data):
        self.data = data
        magic, = struct.unpack_from('<I', data, 0)
        if magic != 0x5446534D:  # "MSFT"
            raise SystemExit('not a type library of the MSFT kind')
        varflags, = struct.unpack_from('<i', data, 0x14)
        self.typeinfo_count, = struct.unpack_from('<i', data, 0x20)
        position = HEADER_SIZE + (4 if varflags & 0x100 else 0)  # help DLL name
        self.typeinfo_offsets = struct.unpack_from('<%di' % self.typeinfo_count, data, position)
        position += 4 * self.typeinfo_count
        self.segments = [struct.unpack_from('<ii', data, position + 16 * i) for i in range(SEGMENT_COUNT)]

    def int(self, offset):
        return struct.unpack_from('<i', self.data, offset)[0]

    def name(self, offset):
        if offset < 0:
            return None
        base = self.segments[SEG_NAMES][0] + offset
        length = self.data[base + 8]
        return self.data[base + 12:base + 12 + length].decode('latin-1')

    def typeinfos(self):
        table = self.segments[SEG_TYPEINFO][0]
        for offset in self.typeinfo_offsets:
            yield table + offset

    def functions(self, typeinfo):
        """(name, record offset) of each function of a type description."""
        records = self.int(typeinfo + 4)
        elements = self.int(typeinfo + 0x18)
        functions, variables = elements & 0xFFFF, (elements >> 16) & 0xFFFF
        if records < 0 or functions == 0:
            return
        size = self.int(records)
        names = records + 4 + size + (functions + variables) * 4
        offset = records + 4
        for i in range(functions):
            yield self.name(self.int(names + 4 * i)), offset
            offset += self.int(offset) & 0xFFFF

    def parameters(self, record):
        """Offsets of the default table (or None) and of the parameter records."""
        length = self.int(record) & 0xFFFF
        fkccic = self.int(record + 16)
        count, = struct.unpack_from('<h', self.data, record + 20)
        params = record + length - 12 * count
        defaults = params - 4 * count if fkccic & HAS_DEFAULTS else None
        return count, defaults, params

    def default_text_offset(self, text):
        """Where the library keeps the text 'text' as a default value."""
        custdata = self.segments[SEG_CUSTDATA][0]
        encoded = text.encode('latin-1')
        for typeinfo in self.typeinfos():
            for _, record in self.functions(typeinfo):
                count, defaults, _ = self.parameters(record)
                if defaults is None:
                    continue
                for i in range(count):
                    value = self.int(defaults + 4 * i)
                    if value < 0:  # -1 for none; other negatives hold small numbers inline
                        continue
                    vt, = struct.unpack_from('<H', self.data, custdata + value)
                    size = self.int(custdata + value + 2)
                    start = custdata + value + 6
                    if vt == VT_BSTR and size == len(encoded) and self.data[start:start + size] == encoded:
                        return value
        return None


def set_default(library, target, text):
    interface, method, parameter = target.split('.')
    for typeinfo in library.typeinfos():
        if library.name(library.int(typeinfo + 0x34)) != interface:
            continue
        for name, record in library.functions(typeinfo):
            if name != method:
                continue
            count, defaults, params = library.parameters(record)
            if defaults is None:
                raise SystemExit('%s: the method has no default-value table' % target)
            for i in range(count):
                if library.name(library.int(params + 12 * i + 4)) != parameter:
                    continue
                value = library.default_text_offset(text)
                if value is None:
                    raise SystemExit('%s: the library keeps no default %r to point at' % (target, text))
                if library.int(defaults + 4 * i) == -1:
                    # The record also tells loaders how much memory its
                    # description takes; widl counts each default value there.
                    size, = struct.unpack_from('<h', library.data, record + 14)
                    struct.pack_into('<h', library.data, record + 14, size + DEFAULT_DESCRIPTION_SIZE)
                struct.pack_into('<i', library.data, defaults + 4 * i, value)
                flags_at = params + 12 * i + 8
                flags = library.int(flags_at) | PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT
                struct.pack_into('<i', library.data, flags_at, flags)
                return
            raise SystemExit('%s: no such parameter' % target)
    raise SystemExit('%s: no such method' % target)


def main(arguments):
    if len(arguments) < 2:
        raise SystemExit('usage: typelib_defaults.py LIBRARY.tlb Interface.Method.Parameter...')
    path = arguments[0]
    with open(path, 'rb') as file:
        library = Library(bytearray(file.read()))
    for target in arguments[1:]:
        set_default(library, target, '')
    with open(path, 'wb') as file:
        file.write(library.data)


if __name__ == '__main__':
    main(sys.argv[1:])
