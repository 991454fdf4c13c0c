#!/usr/bin/env python3
"""Chooses a small committed corpus for one fuzz target.

    select_corpus.py CONTROL-FILE SEED-FOLDER LIMIT

CONTROL-FILE is what `fuzz_<target> -merge=1 -merge_control_file=CONTROL-FILE EMPTY SEED-FOLDER
WORKING-FOLDER` wrote: every input of both folders with the coverage edges and features it
reaches. The hand-written seeds (files in SEED-FOLDER whose name is not a 40-digit hash) are
always kept. Then, up to LIMIT files in all, the input that adds the most edges not yet
reached is taken (ties: the most new features, then the smaller file), until nothing new is
left. The found inputs in SEED-FOLDER (hash names) are replaced by the chosen ones.
"""
import os
import re
import shutil
import sys


def main():
    control, seed_folder, limit = sys.argv[1], os.path.normpath(sys.argv[2]), int(sys.argv[3])
    lines = open(control).read().split('\n')
    count = int(lines[0])
    files = lines[2:2 + count]
    edges, features = {}, {}
    for line in lines[2 + count:]:
        parts = line.split()
        if len(parts) >= 2 and parts[0] in ('COV', 'FT'):
            (edges if parts[0] == 'COV' else features)[int(parts[1])] = set(map(int, parts[2:]))

    def hand_written(path):
        return (os.path.normpath(os.path.dirname(path)) == seed_folder and
                not re.fullmatch('[0-9a-f]{40}', os.path.basename(path)))

    chosen = [i for i, path in enumerate(files) if hand_written(path)]
    have_edges = set().union(set(), *(edges.get(i, set()) for i in chosen))
    have_features = set().union(set(), *(features.get(i, set()) for i in chosen))
    while len(chosen) < limit:
        best, best_key = None, None
        for i in edges:
            if i in chosen:
                continue
            gain = (len(edges[i] - have_edges), len(features.get(i, set()) - have_features))
            if gain == (0, 0):
                continue
            key = (gain[0], gain[1], -os.path.getsize(files[i]))
            if best_key is None or key > best_key:
                best, best_key = i, key
        if best is None:
            break
        chosen.append(best)
        have_edges |= edges[best]
        have_features |= features.get(best, set())

    keep = {os.path.basename(files[i]) for i in chosen}
    for name in os.listdir(seed_folder):
        if re.fullmatch('[0-9a-f]{40}', name) and name not in keep:
            os.remove(os.path.join(seed_folder, name))
    for i in chosen:
        target = os.path.join(seed_folder, os.path.basename(files[i]))
        if not os.path.exists(target):
            shutil.copy(files[i], target)
    every_edge = set().union(set(), *edges.values())
    print(f'{len(chosen)} files, {len(have_edges)} of {len(every_edge)} edges')


if __name__ == '__main__':
    main()
