#!/usr/bin/env python3
"""Fails when an include in src/ runs back up the layers, or when one format's
folder includes another's files: what two formats share belongs below them."""
import os
import re
import sys

# Lowest first; a layer includes only layers below it (and itself).
LAYERS = {'platform': 0, 'imaging': 1, 'frames': 2, 'formats': 3, 'presentation': 4,
          'preview': 5, 'thumbnail': 5, 'com': 6}

src = os.path.join(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(__file__) + '/..', 'src')
faults = []
for folder, _, names in os.walk(src):
    for name in names:
        path = os.path.join(folder, name)
        rel = os.path.relpath(path, src)
        parts = rel.split(os.sep)
        layer = parts[0]
        for included in re.findall(r'#include "([^"]+)"', open(path, encoding='utf-8').read()):
            if '/' not in included:
                continue
            target = included.split('/')
            if target[0] not in LAYERS or target[0] == layer:
                if layer == 'formats' and target[0] == 'formats' and len(parts) > 2 and len(target) > 2 \
                        and parts[1] != target[1]:
                    faults.append(f'{rel} includes {included}: one format reaches into another')
                continue
            if LAYERS[target[0]] >= LAYERS[layer]:
                faults.append(f'{rel} includes {included}: {target[0]} is not below {layer}')
for fault in faults:
    print(fault)
sys.exit(1 if faults else 0)
