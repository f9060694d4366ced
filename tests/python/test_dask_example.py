"""The Dask example on a local cluster: the outputs of the batch command line."""
import os
import subprocess
import sys

import pytest

from conftest import BIN, EXAMPLES

pytest.importorskip("dask.distributed")
sys.path.insert(0, os.path.join(EXAMPLES, "python"))
import destripe_folder  # noqa: E402


def test_folder_on_a_local_cluster(tmp_path, generate):
    names = []
    for seed in (1, 2, 3):
        names.append(generate(f"s{seed}.txt", "--size", "64", "--seed", str(seed)).name)
    (tmp_path / "broken.txt").write_text("64 64 2 2 1e-6\n1 2\n")
    assert destripe_folder.main([str(tmp_path), "--workers", "2"]) == 1  # the broken image fails alone
    subprocess.run([BIN, "--preset", "general", "-q", "-o", str(tmp_path / "batch"), *names], cwd=tmp_path,
                   check=True, stdout=subprocess.DEVNULL)
    def values(path):  # the text after the comment lines and the header line
        lines = path.read_bytes().split(b"\n")
        header = next(k for k, line in enumerate(lines) if not line.startswith((b"#", b"!")))
        return b"\n".join(lines[header + 1:])

    for name in names:
        for prefix in ("FIL_", "NOISE_", "DENOISE_"):
            assert values(tmp_path / (prefix + name)) == values(tmp_path / "batch" / (prefix + name))
    assert not (tmp_path / "FIL_broken.txt").exists()
