"""scripts/cluster-extract over the batch list of tests/data/batch: on its own
2-worker LocalCluster the outputs equal a local -batch run's and the failing line
is reported with its message; on a cluster whose worker is killed in the
middle of a chunk every line is still reported exactly once, written
completely, with no staged or temporary file left."""

import math
import os
import shutil
import stat
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
DATA = os.path.join(ROOT, "tests", "data", "batch")
SCRIPT = os.path.join(ROOT, "scripts", "cluster-extract")
BIN = os.environ.get("WAVRA_BIN_DIR", os.path.join(ROOT, "build", "bin"))
EXTRACT = os.path.join(BIN, "wavra-extract")

FAILING_LINE = 16
FAILURE = ["Error: incompatible scale parameter input for image synthesis.",
           " scale is less than 0 or greater than nlev"]


def coded_part(path):
    """The bytes before the metadata block (which holds the creation date)."""
    data = open(path, "rb").read()
    levels = int.from_bytes(data[11:15], "big")
    at = 12 * levels + 29
    end = int.from_bytes(data[at:at + 4], "big")
    return data[:end] if 0 < end <= len(data) else data


def list_lines():
    """(number, argument list) of each extraction line of the list."""
    import shlex
    lines = []
    for number, text in enumerate(open(os.path.join(DATA, "list.txt")), 1):
        words = shlex.split(text, comments=False)
        if words and not words[0].startswith("#"):
            lines.append((number, words))
    return lines


@pytest.fixture(scope="module")
def folder(tmp_path_factory):
    """A folder with the input (320 x 240 RGB, 3 levels), the list, the
    watermark, and the coded part of each line's output made locally."""
    d = tmp_path_factory.mktemp("cluster")
    w, h = 320, 240
    pixels = bytearray()
    for y in range(h):
        for x in range(w):
            pixels += bytes((int(128 + 100 * math.sin(x * 0.05) * math.cos(y * 0.04)) & 255,
                             x * 255 // w, y * 255 // h))
    (d / "pic.bip").write_bytes(bytes(pixels))
    (d / "pic.hdr").write_text("NROWS %d\nNCOLS %d\nNBANDS 3\nLAYOUT BIP\n" % (h, w))
    for name in ("list.txt", "mark.jpg"):
        shutil.copy(os.path.join(DATA, name), str(d))
    (d / "tmp").mkdir()
    env = dict(os.environ, TMP=str(d / "tmp"))
    subprocess.run([os.path.join(BIN, "wavra-encode"), "-quiet", "-i", "pic.bip", "-o", "pic.wvr", "-n", "3"],
                   cwd=str(d), env=env, check=True)
    # The reference: the same list through one local -batch run (whose lines
    # the C++ batch test holds equal to single runs), in a folder of its own.
    ref = d / "reference"
    (ref / "out").mkdir(parents=True)
    for name in ("pic.wvr", "list.txt", "mark.jpg"):
        shutil.copy(str(d / name), str(ref))
    subprocess.run([EXTRACT, "-quiet", "-batch", "list.txt", "-i", "pic.wvr"], cwd=str(ref), env=env)
    expected = {}
    for number, words in list_lines():
        output = words[words.index("-o") + 1]
        written = (ref / output).exists()
        expected[number] = (output, coded_part(str(ref / output)) if written else None)
    return d, env, expected


def check_outputs(d, expected, results_file):
    """Each line once in the results, written ones equal to the reference,
    nothing staged or temporary left behind."""
    rows = [line.rstrip("\n").split("\t") for line in open(str(results_file))]
    assert [int(r[0]) for r in rows] == sorted(expected)
    for number, state, text in rows:
        output, coded = expected[int(number)]
        if coded is None:
            assert (state, text) == ("failed", " | ".join(FAILURE))
            assert not (d / output).exists()
        else:
            assert (state, text) == ("written", output)
            assert coded_part(str(d / output)) == coded, output
    assert sorted(os.listdir(str(d / "out"))) == sorted(
        os.path.basename(o) for o, c in expected.values() if c is not None)
    assert os.listdir(str(d / "tmp")) == []


def run_script(d, env, program, *args):
    """scripts/cluster-extract on the list, into a fresh out/."""
    if (d / "out").exists():
        shutil.rmtree(str(d / "out"))
    (d / "out").mkdir()
    return subprocess.run([sys.executable, SCRIPT, "-i", "pic.wvr", "list.txt", "--program", program,
                           "--results", "results.tsv"] + list(args),
                          cwd=str(d), env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                          timeout=120)


def test_local_cluster_writes_what_a_local_batch_writes(folder):
    d, env, expected = folder
    r = run_script(d, env, EXTRACT, "--workers", "2", "--chunk", "3")
    assert r.returncode == 1, r.stderr
    assert "20 lines: 19 written, 1 failed" in r.stdout
    assert "".join("line %d: %s\n" % (FAILING_LINE, t) for t in FAILURE) in r.stdout
    check_outputs(d, expected, d / "results.tsv")


def test_worker_killed_mid_chunk_gets_its_chunk_run_again(folder):
    from dask.distributed import LocalCluster

    d, env, expected = folder
    # The first chunk to start kills its own worker while one of its lines is
    # being cut (its raw temporary exists in TMP); wavra-extract goes with it.
    # A line takes a few milliseconds, so the watch polls with shell builtins
    # only (no process per look) for as long as wavra-extract runs.
    wrapper = d / "killing-extract"
    wrapper.write_text(
        "#!/bin/sh\n"
        "if mkdir \"$MARK\" 2>/dev/null; then\n"
        "  worker=$PPID; me=$$\n"
        "  (while kill -0 $me 2>/dev/null; do\n"
        "     for f in \"$TMP\"/*.bip; do\n"
        "       if [ -e \"$f\" ]; then kill -9 $worker; touch \"$MARK/killed\"; exit 0; fi\n"
        "     done; done) &\n"
        "fi\n"
        "exec \"$REAL\" \"$@\"\n")
    wrapper.chmod(wrapper.stat().st_mode | stat.S_IXUSR)
    os.environ.update(TMP=env["TMP"], MARK=str(d / "mark.d"), REAL=EXTRACT)
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                      local_directory=str(d / "space")) as cluster:
        r = run_script(d, dict(os.environ), str(wrapper), "--chunk", "4", "--scheduler", cluster.scheduler_address)
    assert (d / "mark.d" / "killed").exists()
    assert r.returncode == 1, r.stderr
    assert "20 lines: 19 written, 1 failed" in r.stdout
    check_outputs(d, expected, d / "results.tsv")
