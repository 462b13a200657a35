#!/usr/bin/python3
"""plot.py RESULTS OUT.svg: deletion time against file count, one line per
program. RESULTS holds lines "files who ms", who one of ours, loop, nsis,
notify."""
import sys

rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
series = {}
for files, prog, ms in rows:
    prog = {"ours": "qvUninstall", "loop": "bare loop", "nsis": "NSIS RMDir /r",
            "notify": "bare loop + message"}[prog]
    series.setdefault(prog, []).append((int(files), float(ms) / 1000))
colours = {"qvUninstall": "#c0392b", "bare loop": "#2c7fb8", "NSIS RMDir /r": "#7f7f7f",
           "bare loop + message": "#41ab5d"}
W, H, L, B, T, R = 640, 400, 60, 50, 30, 170
xmax = max(f for s in series.values() for f, _ in s)
ymax = max(t for s in series.values() for _, t in s) * 1.1
sx = lambda f: L + (W - L - R) * f / xmax
sy = lambda t: H - B - (H - B - T) * t / ymax
out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
       'font-family="sans-serif" font-size="12">' % (W, H),
       '<rect width="100%" height="100%" fill="white"/>',
       '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="black"/>' % (L, H - B, W - R, H - B),
       '<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="black"/>' % (L, H - B, L, T)]
for k in range(6):
    f = xmax * k / 5
    out.append('<text x="%.0f" y="%d" text-anchor="middle">%d</text>' % (sx(f), H - B + 16, f))
    t = ymax * k / 5
    out.append('<text x="%d" y="%.0f" text-anchor="end">%.1f</text>' % (L - 6, sy(t) + 4, t))
    out.append('<line x1="%d" y1="%.0f" x2="%d" y2="%.0f" stroke="#ddd"/>' % (L, sy(t), W - R, sy(t)))
out.append('<text x="%d" y="%d" text-anchor="middle">files</text>' % ((L + W - R) / 2, H - 12))
out.append('<text x="16" y="%d" transform="rotate(-90 16 %d)" text-anchor="middle">seconds</text>'
           % ((H - B + T) / 2, (H - B + T) / 2))
for n, (prog, pts) in enumerate(series.items()):
    pts.sort()
    c = colours.get(prog, "black")
    out.append('<polyline fill="none" stroke="%s" stroke-width="2" points="%s"/>'
               % (c, " ".join("%.1f,%.1f" % (sx(f), sy(t)) for f, t in pts)))
    for f, t in pts:
        out.append('<circle cx="%.1f" cy="%.1f" r="3" fill="%s"/>' % (sx(f), sy(t), c))
    y = T + 20 * n
    out.append('<line x1="%d" y1="%d" x2="%d" y2="%d" stroke="%s" stroke-width="2"/>'
               % (W - R + 15, y, W - R + 40, y, c))
    out.append('<text x="%d" y="%d">%s</text>' % (W - R + 46, y + 4, prog))
out.append('</svg>')
open(sys.argv[2], "w").write("\n".join(out) + "\n")
