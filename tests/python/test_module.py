"""The Python module against the command-line program, its conversions, errors and threads."""
import concurrent.futures
import os
import shutil
import subprocess

import numpy as np
import pytest

import veltrane2
from conftest import BIN, EXAMPLES

GENERAL = veltrane2.PRESETS["general"]


def text_values(path):
    """The values of a text image as the strings written (after its comment lines and header line)."""
    lines = open(path).read().split("\n")
    header = next(k for k, line in enumerate(lines) if not line.startswith(("#", "!")))
    return " ".join(lines[header + 1:]).split()


@pytest.mark.parametrize("grouped", [False, True])
def test_values_are_those_the_program_writes(tmp_path, grouped):
    shutil.copy(os.path.join(EXAMPLES, "sample.txt"), tmp_path)
    args = [BIN, "--preset", "general", "-q", "sample.txt"] + (["--grouped"] if grouped else [])
    subprocess.run(args, cwd=tmp_path, check=True, stdout=subprocess.DEVNULL)
    scan = veltrane2.read(str(tmp_path / "sample.txt"))
    assert scan.z.shape == (256, 256) and scan.format == "text"
    r = veltrane2.destripe(scan.z, extent=scan.extent, unit=scan.unit, grouped=grouped, **GENERAL)
    for prefix, z in (("FIL_", r.gain), ("NOISE_", r.noise), ("DENOISE_", r.cleaned)):
        assert ["%.6e" % v for v in z.ravel()] == text_values(tmp_path / (prefix + "sample.txt")), prefix
    assert "Average of H(i j)=" in r.report
    assert ("CLUSTER#=" in r.report) == grouped
    np.testing.assert_allclose(r.noise + r.cleaned, scan.z - scan.z.min(), atol=1e-12)


def test_any_real_dtype_and_strides_are_converted():
    rng = np.random.default_rng(3)
    z = (rng.normal(size=(64, 64)) * 100).astype(np.int32) + (np.arange(64) % 4 * 50)[:, None]
    expected = veltrane2.destripe(z.astype(np.float64), **GENERAL).cleaned
    views = [z, z.astype(np.float32), z.astype(np.int16), np.asfortranarray(z), z.T.copy().T,
             np.repeat(np.repeat(z, 2, 0), 2, 1)[::2, ::2]]
    for v in views:
        np.testing.assert_array_equal(veltrane2.destripe(v, **GENERAL).cleaned, expected)
    # Any other shape: padded to a power-of-two square and cut back.
    r = veltrane2.destripe(z[:40, :50], extent=(5.0, 4.0), **GENERAL)
    assert (r.cleaned.shape, r.noise.shape, r.gain.shape, r.side) == ((40, 50), (40, 50), (64, 64), 64)
    assert r.extent == (5.0, 4.0) and repr(r) == "<veltrane2.Result 40 x 50, extent 5 x 4 (unit 1 m), preset custom>"
    assert r.report.startswith("Padded 50 x 40 to 64 x 64 by mirroring across the edges\n")
    shifted = veltrane2.destripe(z[:40, :50] + 1e6, extent=(5.0, 4.0), **GENERAL)
    np.testing.assert_allclose(shifted.noise, r.noise, rtol=0, atol=1e-8)


@pytest.mark.parametrize("z, message", [
    (np.zeros(16), "2-D"),
    (np.zeros((4, 4, 4)), "2-D"),
    (np.zeros((0, 4)), "empty"),
    (np.zeros((1, 3)), "3 x 1 is smaller than the smallest side 2"),
    (np.zeros((8192, 2)), "2 x 8192 is larger than the largest side 4096"),
    (np.where(np.eye(4) > 0, np.nan, 1.0), "value 1 of 16 (row 1, column 1) is not finite"),
    (np.full((4, 4), np.inf), "not finite"),
    (np.zeros((4, 4), dtype=complex), "real numbers"),
    (np.array([["a", "b"], ["c", "d"]]), "real numbers"),
])
def test_bad_arrays_raise_with_the_engines_message(z, message):
    error = veltrane2.LimitStop if "MXTEMPGD" in message else ValueError
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)")):
        veltrane2.destripe(z, **GENERAL)


@pytest.mark.parametrize("kwargs, message", [
    (dict(unit=0.0), "the extents 4 x 4 in units of 0 m do not give a positive finite pixel size"),
    (dict(extent=(-1.0, 1.0)), "the extents -1 x 1 in units of 1 m"),
    (dict(extent=(1.0, float("inf"))), "the extents 1 x inf in units"),
])
def test_extents_that_give_no_pixel_size_raise(kwargs, message):
    with pytest.raises(ValueError, match=message):
        veltrane2.destripe(np.zeros((4, 4)), **GENERAL, **kwargs)


def test_heights_of_any_finite_range_and_one_that_overflows():
    z = np.add.outer((np.arange(16) % 3) / 2.0, np.arange(16) / 32.0)  # a range in [1, 2)
    r = veltrane2.destripe(z, **GENERAL)
    for scale in (2.0 ** -1000, 2.0 ** 1000):
        s = veltrane2.destripe(z * scale, **GENERAL)
        assert np.array_equal(s.noise, r.noise * scale) and np.array_equal(s.cleaned, r.cleaned * scale)
    z[0, 0], z[1, 1] = -1e308, 1e308
    with pytest.raises(ValueError, match="further apart than the largest double"):
        veltrane2.destripe(z, **GENERAL)


@pytest.mark.parametrize("name, value, message", [
    ("h_global", -1.0, "h_G = -1 is out of range"),
    ("r_centre", float("nan"), "r_C = nan is out of range"),
    ("l_off", float("inf"), "L_F = inf is out of range"),
    ("n_run", 0, "N_CP = 0 is out of range"),
])
def test_parameters_out_of_range_raise(name, value, message):
    with pytest.raises(ValueError, match=message):
        veltrane2.destripe(np.zeros((4, 4)), **dict(GENERAL, **{name: value}))


def test_a_limit_stop_carries_its_line(generate):
    path = generate("p.txt", "--size", "256", "--seed", "5", "--surface", "particles", "--stripes", "2")
    z = veltrane2.read(str(path)).z
    with pytest.raises(veltrane2.LimitStop) as e:
        veltrane2.destripe(z, h_global=0.05, h_centre=0.02, h_off=0.02, r_centre=0.2, l_centre=1.5, l_off=0.9,
                           n_run=5, grouped=True)
    assert str(e.value) == "1ICONT > MXCLUS in MERGE_PIX_CLUSTER  5500 5000"
    assert isinstance(e.value, RuntimeError)


def test_threads_give_the_results_of_one_at_a_time():
    rng = np.random.default_rng(5)
    images = [rng.normal(size=(128, 128)) + (np.arange(128) % (k + 2))[:, None] for k in range(6)]
    alone = [veltrane2.destripe(z, **GENERAL).cleaned for z in images]
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        together = list(pool.map(lambda z: veltrane2.destripe(z, **GENERAL).cleaned, images))
    for a, b in zip(alone, together):
        np.testing.assert_array_equal(a, b)


@pytest.mark.parametrize("fmt, tol", [("text", 5e-7), ("gsf", 6e-8)])
def test_read_and_write_round_trip(tmp_path, fmt, tol):
    z = np.random.default_rng(7).normal(size=(8, 16))
    path = str(tmp_path / ("a." + ("gsf" if fmt == "gsf" else "txt")))
    veltrane2.write(path, z, extent=(4.0, 2.0), unit=1e-6, zunits="m", title="Height")
    s = veltrane2.read(path)
    assert s.format == fmt and s.z.shape == (8, 16)
    np.testing.assert_allclose(s.z, z, rtol=tol, atol=tol)
    assert s.extent == (4.0, 2.0) and s.unit == 1e-6
    assert (s.zunits, s.title) == (("m", "Height") if fmt == "gsf" else ("", ""))
    with pytest.raises(FileNotFoundError):
        veltrane2.read(str(tmp_path / "missing.txt"))
    for text, message in (("not an image\n", "no header line"), ("5000 2 1 1 1\n", "5000 x 2 is larger than the largest side 4096")):
        (tmp_path / "bad.txt").write_text(text)
        with pytest.raises(ValueError, match=message):
            veltrane2.read(str(tmp_path / "bad.txt"))
    with pytest.raises(ValueError, match="format must be"):
        veltrane2.write(path, z, format="tiff")


def test_io_failures_are_os_errors_of_their_errno_naming_the_file(tmp_path):
    z = np.zeros((4, 4))
    missing = str(tmp_path / "no-folder" / "a.txt")
    for name in (missing, missing[:-3] + "gsf"):
        with pytest.raises(FileNotFoundError) as e:
            veltrane2.write(name, z)
        assert e.value.filename == name and e.value.errno == 2
        assert e.value.strerror == "I cannot open the output data file: No such file or directory"
    with pytest.raises(IsADirectoryError) as e:
        veltrane2.read(str(tmp_path))
    assert e.value.filename == str(tmp_path)


def test_help_explains_each_parameter():
    doc = veltrane2.destripe.__doc__
    assert "Choosing parameters" in doc and all("\n" + name + " " in doc for name in GENERAL.keys() | {"extent"})


def test_presets_by_name_and_the_automatic_choice(tmp_path, generate):
    striped = veltrane2.read(str(generate("s.txt", "--size", "64", "--seed", "4", "--stripes", "2"))).z
    clean = veltrane2.read(str(generate("c.txt", "--size", "64", "--seed", "4", "--stripes", "0", "--bow", "0"))).z
    for name, numbers in veltrane2.PRESETS.items():
        by_name = veltrane2.destripe(striped, preset=name)
        np.testing.assert_array_equal(by_name.cleaned, veltrane2.destripe(striped, **numbers).cleaned)
        assert by_name.choice == name and by_name.candidates == []
    # The same figures and outputs the batch command line gives.
    subprocess.run([BIN, "--preset", "auto", "-q", "--report", "r.csv", "c.txt", "s.txt"], cwd=tmp_path, check=True,
                   stdout=subprocess.DEVNULL)
    rows = [line.split(",") for line in open(tmp_path / "r.csv").read().splitlines()[1:]]
    for z, row, name in ((clean, rows[0], "c.txt"), (striped, rows[1], "s.txt")):
        r = veltrane2.destripe(z, preset="auto")
        assert r.choice == row[5] and [c["name"] for c in r.candidates] == [
            "general", "general grouped", "keep-slope", "keep-slope grouped", "conservative",
            "conservative grouped", "leave"]
        chosen = [c for c in r.candidates if c["name"] == r.choice][0]
        assert chosen["figures"] == r.figures and min(c["score"] for c in r.candidates) == chosen["score"]
        assert ["%.6g" % r.figures[k] for k in ("stripe_energy_in", "stripe_energy_out", "line_step_in",
                                                "line_step_out", "change_along_lines", "lowered_share",
                                                "energy_removed")] == row[14:21]
        assert ["%.6e" % v for v in r.cleaned.ravel()] == text_values(tmp_path / ("DENOISE_" + name))
    assert rows[0][5] == "leave" and rows[1][5] != "leave"
    assert veltrane2.figures(striped)["line_step"] == veltrane2.destripe(striped, preset="auto").figures["line_step_in"]


def test_a_preset_by_name_with_numbers_overriding_it():
    z = np.random.default_rng(11).normal(size=(64, 64)) + (np.arange(64) % 3)[:, None]
    assert list(veltrane2.PRESETS) == ["general", "keep-slope", "conservative"]  # the command line's names
    for name, numbers in veltrane2.PRESETS.items():
        r = veltrane2.destripe(z, preset=name)
        np.testing.assert_array_equal(r.cleaned, veltrane2.destripe(z, **numbers).cleaned)
        assert r.choice == name and repr(r).endswith(", preset " + name + ">")
    changed = dict(veltrane2.PRESETS["keep-slope"], h_off=0.3)
    r = veltrane2.destripe(z, preset="keep-slope", h_off=0.3, extent=(2.0, 2.0), unit=1e-6)
    np.testing.assert_array_equal(r.cleaned, veltrane2.destripe(z, **changed).cleaned)
    assert r.choice is None and repr(r) == "<veltrane2.Result 64 x 64, extent 2 x 2 (unit 1e-06 m), preset custom>"
    r = veltrane2.destripe(z, preset="auto")
    assert repr(r).endswith(", preset auto: " + r.choice + ">")


@pytest.mark.parametrize("args, kwargs, error, message", [
    ((), {}, TypeError, "needs preset= ('general', 'keep-slope', 'conservative', 'auto') or all seven parameters; "
                        "missing: h_global, h_centre, h_off, r_centre, l_centre, l_off, n_run"),
    ((), dict(h_global=0.3, h_centre=0.1), TypeError, "missing: h_off, r_centre, l_centre, l_off, n_run"),
    ((0.3,), {}, TypeError, "takes the image as its only positional argument"),
    ((), dict(preset="bogus"), ValueError, "unknown preset 'bogus'"),
    ((), dict(preset=1), TypeError, "preset must be a name"),
    ((), dict(preset="auto", grouped=True), ValueError, "tries both level-estimation modes"),
    ((), dict(preset="auto", h_off=0.3, n_run=2), ValueError, "chooses the parameters itself: no h_off, n_run"),
    ((), dict(preset="general", h_offf=0.1), TypeError, "unexpected keyword argument 'h_offf'"),
    ((), dict(preset="general", n_run=2.5), TypeError, "n_run cannot be float (a whole number)"),
    ((), dict(preset="general", h_off="x"), TypeError, "h_off cannot be str"),
    ((), dict(preset="general", h_off=1.5), ValueError, "h_F = 1.5 is out of range"),
])
def test_parameter_mistakes_are_short_errors_without_the_array(args, kwargs, error, message):
    z = np.arange(16.0).reshape(4, 4) + 123456.0
    with pytest.raises(error) as e:
        veltrane2.destripe(z, *args, **kwargs)
    assert message in str(e.value) and "123456" not in str(e.value)


def test_a_scan_says_what_it_is(tmp_path):
    veltrane2.write(str(tmp_path / "a.gsf"), np.zeros((4, 8)), extent=(4.0, 2.0), unit=1e-6, zunits="m", title="Height")
    veltrane2.write(str(tmp_path / "a.txt"), np.zeros((4, 8)), extent=(4.0, 2.0), unit=1e-6)
    assert repr(veltrane2.read(str(tmp_path / "a.gsf"))) == \
        "<veltrane2.Scan 4 x 8, extent 4 x 2 (unit 1e-06 m), gsf, heights in m, 'Height'>"
    assert repr(veltrane2.read(str(tmp_path / "a.txt"))) == "<veltrane2.Scan 4 x 8, extent 4 x 2 (unit 1e-06 m), text>"


INSTRUMENT = os.environ.get("VELTRANE2_INSTRUMENT_DATA",
                            os.path.join(os.path.dirname(__file__), "..", "data", "instrument"))


@pytest.fixture
def instrument():
    path = os.path.join(INSTRUMENT, "spot_1-1000nm.ibw")
    try:
        veltrane2.channels(path)
    except ValueError as e:
        if "built without it" in str(e):
            pytest.skip("built without Gwyddion")
        raise
    return path


def test_instrument_channels_and_read(instrument):
    channels = veltrane2.channels(instrument)
    assert [(c.number, c.title, c.height) for c in channels[:3]] == [
        (0, "HeightTrace", True), (1, "HeightRetrace", True), (2, "AmplitudeTrace", False)]
    assert channels[4].z_unit == "deg" and channels[0].size == (256, 256)
    default = veltrane2.read(instrument)
    assert default.format == "instrument" and default.zunits == "m" and default.z.shape == (256, 256)
    assert default.title == "spot_1-1000nm.ibw channel 0 'HeightTrace'"
    assert default.z[0, 0] == pytest.approx(-3.996947e-07, rel=1e-7)
    assert default.extent[0] * default.unit == pytest.approx(channels[0].extent[0], rel=1e-12)
    for pick in (1, "1", "heightretrace"):
        assert veltrane2.read(instrument, channel=pick).title == "spot_1-1000nm.ibw channel 1 'HeightRetrace'"
    r = veltrane2.destripe(default.z, **GENERAL)
    np.testing.assert_allclose(r.noise + r.cleaned, default.z - default.z.min(), rtol=0, atol=1e-18)


@pytest.mark.parametrize("channel, message", [
    (9, "no channel 9; its channels are 0 'HeightTrace', 1 'HeightRetrace'"),
    ("all-height", "one image is read at a time; pick one channel"),
    (-1, "channel must be a number (from 0) or a title"),
])
def test_instrument_channel_errors(instrument, channel, message):
    with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
        veltrane2.read(instrument, channel=channel)
