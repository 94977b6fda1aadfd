#!/usr/bin/env python3
"""Fails when code in src/ or tools/ calls ComPtr::Attach: in mingw-w64 it adds
a reference of its own, so the object it takes over is never freed (a stream
over a file then keeps the file open). AdoptReference in
platform/ComAdopt.h is the way to take over a reference."""
import os
import re
import sys

root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..')
faults = []
for top in ('src', 'tools'):
    for folder, _, names in os.walk(os.path.join(root, top)):
        for name in sorted(names):
            if not name.endswith(('.cpp', '.h')):
                continue
            path = os.path.join(folder, name)
            for number, line in enumerate(open(path, encoding='utf-8'), 1):
                code = line.split('//', 1)[0]
                if re.search(r'[.>]\s*Attach\s*\(', code):
                    faults.append(f'{os.path.relpath(path, root)}:{number}: ComPtr::Attach leaks a reference here; '
                                  'use AdoptReference (platform/ComAdopt.h)')
for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
