#!/usr/bin/python3
"""Draws edsd's benchmark (bench/edsd.sh) as an SVG without other modules.

    plot_edsd.py RESULTS.txt OUT.svg

Left: documents per second for 1, 4 and 16 clients, edsd over HTTP against
the same documents answered in process. Right: p50 and p99 latency. Prints
the Markdown table of docs/PERFORMANCE.md with the ratio.
"""
import sys

ROADS = [("edsd", "edsd (HTTP)", "#1f77b4"), ("inprocess", "in process", "#ff7f0e")]


def read(path):
    rows = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 5 and parts[0].isdigit():
                rows[(int(parts[0]), parts[1])] = parts[2:]
    return rows


def bars(x0, y0, width, height, title, unit, groups, series):
    """groups: labels; series: [(name, colour, [values])]."""
    top = max(v for _, _, values in series for v in values) * 1.15 or 1
    out = [f'<text x="{x0 + width / 2}" y="{y0 - 10}" text-anchor="middle" font-size="14">{title}</text>',
           f'<line x1="{x0}" y1="{y0 + height}" x2="{x0 + width}" y2="{y0 + height}" stroke="black"/>']
    slot = width / len(groups)
    bar = slot / (len(series) + 1)
    for g, label in enumerate(groups):
        out.append(f'<text x="{x0 + g * slot + slot / 2}" y="{y0 + height + 16}" text-anchor="middle" '
                   f'font-size="12">{label}</text>')
        for s, (_, colour, values) in enumerate(series):
            h = height * values[g] / top
            x = x0 + g * slot + bar / 2 + s * bar
            out.append(f'<rect x="{x:.1f}" y="{y0 + height - h:.1f}" width="{bar * 0.9:.1f}" height="{h:.1f}" '
                       f'fill="{colour}"/>')
            out.append(f'<text x="{x + bar * 0.45:.1f}" y="{y0 + height - h - 3:.1f}" text-anchor="middle" '
                       f'font-size="10">{values[g]:.0f}</text>')
    out.append(f'<text x="{x0 - 8}" y="{y0 + height / 2}" font-size="11" text-anchor="middle" '
               f'transform="rotate(-90 {x0 - 8} {y0 + height / 2})">{unit}</text>')
    for s, (name, colour, _) in enumerate(series):
        out.append(f'<rect x="{x0 + 10}" y="{y0 + 4 + 16 * s}" width="10" height="10" fill="{colour}"/>')
        out.append(f'<text x="{x0 + 24}" y="{y0 + 13 + 16 * s}" font-size="11">{name}</text>')
    return out


def main():
    rows = read(sys.argv[1])
    clients = sorted({c for c, road in rows if road in ("edsd", "inprocess")})
    groups = [f"{c} client{'s' if c > 1 else ''}" for c in clients]
    rate = [(label, colour, [float(rows[(c, road)][0]) for c in clients]) for road, label, colour in ROADS]
    latency = []
    for road, label, colour in ROADS:
        latency.append((f"{label} p50", colour, [float(rows[(c, road)][1]) for c in clients]))
        latency.append((f"{label} p99", colour + "99", [float(rows[(c, road)][2]) for c in clients]))
    svg = ['<svg xmlns="http://www.w3.org/2000/svg" width="900" height="340" font-family="sans-serif">',
           '<rect width="900" height="340" fill="white"/>']
    svg += bars(60, 40, 360, 250, "documents of 10 creates per second", "documents/s", groups, rate)
    svg += bars(510, 40, 360, 250, "latency per document", "ms", groups, latency)
    svg.append("</svg>")
    with open(sys.argv[2], "w") as f:
        f.write("\n".join(svg) + "\n")
    print("| Clients | edsd docs/s | p50 ms | p99 ms | in process docs/s | p50 ms | p99 ms | in process / edsd (docs/s) |")
    print("|---|---|---|---|---|---|---|---|")
    for c in clients:
        h, i = rows[(c, "edsd")], rows[(c, "inprocess")]
        print(f"| {c} | {float(h[0]):.0f} | {h[1]} | {h[2]} | {float(i[0]):.0f} | {i[1]} | {i[2]} | "
              f"{float(i[0]) / float(h[0]):.2f}× |")
    if (1, "exec") in rows:
        e = rows[(1, "exec")]
        print(f"\n`edsutil exec`, a process per document, one client: {float(e[0]):.1f} docs/s, {e[1]} ms each.")


main()
