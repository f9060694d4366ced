#!/usr/bin/python3
"""How well a padded crop is destriped, against the full scan it was cut from.

For each synthetic pair (clean and striped scan of side 512, from
make_synthetic.py), the full striped scan and crops of it (500 x 500,
384 x 384, 512 x 300) are destriped with the general set through the Python
module. The figure of each run is the RMSE of the cleaned image against the
clean one (both with their means removed) divided by that of the striped
image: below 1 the run cleaned, above 1 it did harm. Each crop's figure is
compared with the full scan's figure on the same region; the goal is a crop
within 10 % of the full scan on the median case.

  bench/padding.py [--seeds 1,2] [--generator PATH] [--module DIR] [--work DIR] [--fills]

--fills also runs the crops (and 300 x 512 and 512 x 256 ones) through other
ways of filling out the square, made here in numpy and run on the power-of-two
square: the constant fills the classic program could use (zero: the old fill,
which depends on the height offset; the image's minimum, i.e. 0 after the
lift; its mean) and mirroring at the far edges only.
"""
import argparse
import os
import subprocess
import sys
from pathlib import Path

import numpy as np

HERE = Path(__file__).resolve().parent
CROPS = {"500x500": (500, 500, 6, 5), "384x384": (384, 384, 64, 64), "512x300": (512, 300, 0, 100)}
MORE = {"300x512": (300, 512, 100, 0), "512x256": (512, 256, 0, 128)}


def reflect(k, n):
    m = k % (2 * n)
    return np.where(m < n, m, 2 * n - 1 - m)


def fill(z, side, how):
    h, w = z.shape
    if how == "mirror-far":
        return z[np.ix_(reflect(np.arange(side), h), reflect(np.arange(side), w))]
    value = {"zero": 0.0, "min": z.min(), "mean": z.mean()}[how]
    out = np.full((side, side), value)
    out[:h, :w] = z
    return out


def figure(cleaned, clean, striped):
    def centred(a):
        return a - a.mean()
    def rmse(a):
        return np.sqrt(np.mean((centred(a) - centred(clean)) ** 2))
    return rmse(cleaned) / rmse(striped)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seeds", default="1,2")
    beside = HERE.parent.parent / "shared" / "tools" / "make_synthetic.py"
    ap.add_argument("--generator", default=str(beside if beside.exists() else "/work/shared/tools/make_synthetic.py"))
    ap.add_argument("--module", default=str(HERE.parent / "build" / "release" / "python"))
    ap.add_argument("--work", default="/tmp/veltrane2-padding-bench")
    ap.add_argument("--fills", action="store_true")
    args = ap.parse_args()
    sys.path.insert(0, args.module)
    import veltrane2

    preset = veltrane2.PRESETS["general"]
    crops = dict(CROPS, **(MORE if args.fills else {}))
    ways = ["padded"] + (["zero", "min", "mean", "mirror-far"] if args.fills else [])
    pairs = []
    for seed in args.seeds.split(","):
        out = Path(args.work) / f"seed{seed}"
        if not (out / "manifest.tsv").exists():
            subprocess.run([sys.executable, args.generator, "--seed", seed, "--size", "512", "--outdir", str(out)],
                           check=True, stdout=subprocess.DEVNULL)
        pairs += [(f"{seed}:{p.name[:-len('_noisy.txt')]}", p) for p in sorted(out.glob("*_noisy.txt"))]

    print(f"{'pair':28} {'crop':8} {'way':10} {'full':>7} {'crop':>7} {'crop/full':>9}")
    table = {}
    for name, path in pairs:
        striped = veltrane2.read(str(path)).z
        clean = veltrane2.read(str(path).replace("_noisy", "_clean")).z
        full = veltrane2.destripe(striped, **preset).cleaned
        for crop, (w, h, x0, y0) in crops.items():
            region = (slice(y0, y0 + h), slice(x0, x0 + w))
            on_full = figure(full[region], clean[region], striped[region])
            part = np.ascontiguousarray(striped[region])
            for way in ways:
                if way == "padded":
                    cleaned = veltrane2.destripe(part, **preset).cleaned
                else:
                    side = 1 << (max(w, h) - 1).bit_length()
                    cleaned = veltrane2.destripe(fill(part, side, way), **preset).cleaned[:h, :w]
                alone = figure(cleaned, clean[region], part)
                table.setdefault((crop, way), []).append((alone / on_full, alone))
                print(f"{name:28} {crop:8} {way:10} {on_full:7.3f} {alone:7.3f} {alone / on_full:9.3f}", flush=True)

    print(f"\n{'crop':8} {'way':10} {'median crop/full':>16} {'within 10%':>10} {'worst':>6} {'median figure':>13}")
    for (crop, way), rows in table.items():
        q = np.array([r[0] for r in rows])
        f = np.array([r[1] for r in rows])
        print(f"{crop:8} {way:10} {np.median(q):16.3f} {int(np.sum(np.abs(q - 1) <= 0.1)):>5}/{len(q):<4} "
              f"{q.max():6.2f} {np.median(f):13.3f}")


if __name__ == "__main__":
    main()
