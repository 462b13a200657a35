#!/usr/bin/python3
"""smaps.py OURS PEER [OURS_THREADS PEER_THREADS]: where the resident memory of two Wine
processes differs, from /proc/PID/smaps copies taken at their peaks.
Prints the groups that differ by 256 KiB or more, largest first."""
import os
import sys


def groups(path):
    rss = {}
    name = None
    with open(path) as f:
        for line in f:
            head = line.split()
            if head and '-' in head[0] and len(head) >= 5 and ':' not in head[0]:
                name = head[5] if len(head) > 5 else ''
                if not name or name.startswith('['):
                    name = 'anonymous: heaps, thread stacks, bitmaps' if name in ('', '[heap]') else name
                elif name.endswith(('.ttf', '.ttc', '.otf')):
                    name = 'font ' + os.path.basename(name)
                else:
                    name = os.path.basename(name)
            elif head and head[0] == 'Rss:' and name is not None:
                rss[name] = rss.get(name, 0) + int(head[1])
    return rss


ours, peer = groups(sys.argv[1]), groups(sys.argv[2])
total = sum(ours.values()) - sum(peer.values())
rows = sorted(((ours.get(k, 0) - peer.get(k, 0), k) for k in set(ours) | set(peer)), reverse=True)
print('| resident memory above the peer | KiB |\n|---|---|')
for diff, key in rows:
    if diff >= 256:
        print('| %s | %d |' % (key, diff))
shown = sum(d for d, _ in rows if d >= 256)
print('| everything else | %d |' % (total - shown))
print('| total | %d |' % total)
if len(sys.argv) > 4:
    print('\nThreads at the peak: %s (the peer: %s). Under Wine each thread holds about '
          '1 MiB resident for its kernel-side stack.' % (sys.argv[3], sys.argv[4]))
