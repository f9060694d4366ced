#!/usr/bin/env python3
"""Destripes every image of a folder with Dask: on a local cluster by default,
or on a running cluster given its scheduler's address.

    python3 examples/python/destripe_folder.py FOLDER [--preset general] [--grouped]
                                               [--scheduler tcp://HOST:8786] [--workers N]

Each image (text or .gsf) is read, destriped and written back beside itself as
FIL_, NOISE_ and DENOISE_ followed by its file name, in its own format; one
task per image. Every worker needs the veltrane2 module importable and the
folder at the same path.
"""
import argparse
import os
import sys

import veltrane2

PREFIXES = ("FIL_", "NOISE_", "DENOISE_")


def destripe_file(path, preset, grouped):
    """Destripes one image file and writes its three outputs beside it."""
    scan = veltrane2.read(path)
    r = veltrane2.destripe(scan.z, extent=scan.extent, unit=scan.unit, grouped=grouped,
                           **veltrane2.PRESETS[preset])
    folder, name = os.path.split(path)
    for prefix, z in zip(PREFIXES, (r.gain, r.noise, r.cleaned)):
        veltrane2.write(os.path.join(folder, prefix + name), z, extent=r.extent, unit=r.unit, format=scan.format,
                        zunits="" if prefix == "FIL_" else scan.zunits, title=prefix + (scan.title or name),
                        source=name)
    return name


def images_in(folder):
    return sorted(os.path.join(folder, f) for f in os.listdir(folder)
                  if os.path.isfile(os.path.join(folder, f)) and not f.startswith(PREFIXES)
                  and os.path.splitext(f)[1] in (".txt", ".gsf"))


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("folder")
    ap.add_argument("--preset", default="general", choices=sorted(veltrane2.PRESETS))
    ap.add_argument("--grouped", action="store_true", help="level estimation cluster by cluster")
    ap.add_argument("--scheduler", help="address of a running Dask scheduler (default: a local cluster)")
    ap.add_argument("--workers", type=int, default=None, help="workers of the local cluster")
    args = ap.parse_args(argv)

    from dask.distributed import Client, LocalCluster

    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, dashboard_address=None)
        client = Client(cluster)
    try:
        paths = images_in(args.folder)
        futures = client.map(destripe_file, paths, preset=args.preset, grouped=args.grouped, pure=False)
        failed = 0
        for path, future in zip(paths, futures):
            try:
                print("done:", future.result())
            except Exception as e:  # one bad image does not stop the others
                failed += 1
                print(f"failed: {path}: {e}", file=sys.stderr)
        print(f"{len(paths) - failed} of {len(paths)} images done, {failed} failed")
        return 1 if failed else 0
    finally:
        client.close()
        if cluster is not None:
            cluster.close()


if __name__ == "__main__":
    sys.exit(main())
