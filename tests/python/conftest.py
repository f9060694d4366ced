"""Shared helpers: the programs and samples of the build (from ctest's environment)."""
import os
import subprocess

import pytest

BIN = os.environ.get("VELTRANE2_BIN", "")
GENERATOR = os.environ.get("VELTRANE2_GENERATOR", "")
EXAMPLES = os.environ.get("VELTRANE2_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))


@pytest.fixture
def generate(tmp_path):
    def make(name, *options):
        subprocess.run([GENERATOR, *options, str(tmp_path / name)], check=True)
        return tmp_path / name
    return make
