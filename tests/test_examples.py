"""Every example runs on small inputs and writes what it promises."""

import os
import struct
import subprocess
import sys
import zlib
from pathlib import Path

import pytest

EXAMPLES = Path(__file__).resolve().parents[1] / "examples"
SANITIZED = os.environ.get("GRIDSEARCH_SANITIZED") == "1"


def run(script: str, *args, cwd) -> str:
    proc = subprocess.run(
        [sys.executable, str(EXAMPLES / script), *map(str, args)],
        capture_output=True, text=True, cwd=cwd, timeout=900,
    )
    assert proc.returncode == 0, proc.stdout + proc.stderr[-4000:]
    return proc.stdout


def png_shape(path: Path) -> tuple[int, int]:
    """(height, width) of a PNG, after checking its signature and that its pixel data inflates."""
    data = path.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    width, height = struct.unpack(">II", data[16:24])
    pixels, at = b"", 8
    while at < len(data):  # chunks: length, type, data, CRC
        (length,) = struct.unpack(">I", data[at : at + 4])
        if data[at + 4 : at + 8] == b"IDAT":
            pixels += data[at + 8 : at + 8 + length]
        at += 12 + length
    channels = {2: 3, 6: 4}[data[25]]  # RGB or RGBA, 8 bits each
    assert len(zlib.decompress(pixels)) == height * (1 + channels * width)
    return height, width


def test_demo(tmp_path):
    out = run("demo.py", "--size", 64, "--voxels", 12, "--out", tmp_path / "demo.png", cwd=tmp_path)
    assert out.count("\n") > 10 and "focal2D + guide" in out and "astar3D_heuristic_grid" in out
    height, width = png_shape(tmp_path / "demo.png")
    assert width > 2 * height > 500  # three titled panels side by side


def test_real_maps_reads_map_files_and_generates_maps(tmp_path):
    rows = ["." * 12, ".@@@@@@@@@..", "....T.....G.", "@@@@@@@@@.S.", "." * 12]
    (tmp_path / "tiny.map").write_text("type octile\nheight 5\nwidth 12\nmap\n" + "\n".join(rows) + "\n")
    out = run("real_maps.py", tmp_path / "tiny.map", "--queries", 7, "--out", tmp_path / "maps", cwd=tmp_path)
    assert "tiny" in out and "5x12" in out
    assert png_shape(tmp_path / "maps" / "tiny.png")[0] % 5 == 0
    out = run("real_maps.py", "--generate", "--size", 48, "--queries", 5, "--out", tmp_path / "gen", cwd=tmp_path)
    assert sorted(p.name for p in (tmp_path / "gen").iterdir()) == ["maze48.png", "random48.png", "rooms48.png"]


def test_real_maps_rejects_a_file_that_is_not_a_map(tmp_path):
    (tmp_path / "bad.map").write_text("hello\n")
    proc = subprocess.run([sys.executable, str(EXAMPLES / "real_maps.py"), str(tmp_path / "bad.map")],
                          capture_output=True, text=True, cwd=tmp_path)
    assert proc.returncode == 2 and "not a map file" in proc.stderr


def test_guided_focal(tmp_path):
    out = run("guided_focal.py", "--size", 64, "--out", tmp_path / "g.png", cwd=tmp_path)
    assert "focal along the guide" in out and "guided cost within w x optimal: True" in out
    height, width = png_shape(tmp_path / "g.png")
    assert width > 2 * height > 600  # three titled panels side by side


def test_costmap(tmp_path):
    rows = ["." * 30] * 3 + ["." * 10 + "@" * 10 + "." * 10] * 4 + ["." * 30] * 3
    (tmp_path / "room.map").write_text("type octile\nheight 10\nwidth 30\nmap\n" + "\n".join(rows) + "\n")
    out = run("costmap.py", tmp_path / "room.map", "--out", tmp_path / "c.png", cwd=tmp_path)
    lines = {line[:22].strip(): line.split() for line in out.splitlines()}
    # Both cost models pay for the cells near the wall; the bool map's path does not.
    assert float(lines["costmap, enter model"][-1]) < float(lines["shortest (bool map)"][-1])
    assert png_shape(tmp_path / "c.png")[0] > 300


def test_flowfield(tmp_path):
    out = run("flowfield.py", "--agents", 200, "--queries", 4, "--out", tmp_path / "f.png", cwd=tmp_path)
    assert "arrived: 200 of 200" in out
    # The exact heuristic expands the cells of one cheapest path and no more, in both searches.
    cells = int(out.split(" cells on their paths")[0].split()[-1])
    rows = {line[:50].strip(): int(line.split()[-1]) for line in out.splitlines()
            if line.startswith(("astar.", "Grid.")) and "field" in line}
    assert list(rows.values()) == [cells, cells], out
    assert png_shape(tmp_path / "f.png")[0] > 300


def test_mapf_example(tmp_path):
    out = run("mapf.py", "--agents", 30, "--time-limit", 0.5, "--out-dir", tmp_path, cwd=tmp_path)
    lines = out.splitlines()
    alone = next(line for line in lines if line.startswith("each agent alone"))
    assert int(alone.split(":")[1].split()[0]) > 0  # independent paths meet
    assert any(line.startswith("lacam: solved") for line in lines) and "validate: valid" in lines
    assert png_shape(tmp_path / "mapf.png")[0] > 300
    gif = (tmp_path / "mapf.gif").read_bytes()
    assert gif[:6] == b"GIF89a" and gif.count(b"\x21\xf9\x04") > 10  # one graphic control block per frame


def test_voxels(tmp_path):
    out = run("voxels.py", "--size", 16, "--slices", 4, "--out", tmp_path / "v.png", cwd=tmp_path)
    assert "focal3D w=1.5" in out and "z levels [0, 4, 8, 12]" in out
    height, width = png_shape(tmp_path / "v.png")
    assert width > 2.5 * height > 600  # four titled slices side by side


@pytest.mark.skipif(SANITIZED, reason="a Dask cluster of sanitized interpreters is too slow for CI")
def test_batch_matches_serial_on_processes_and_dask(tmp_path):
    pytest.importorskip("dask.distributed")
    out = run("batch.py", "--queries", 120, "--size", 64, "--workers", 2, cwd=tmp_path)
    assert "dask LocalCluster" in out and "processes" in out
    assert "all results identical to the serial run" in out and "False" not in out


def test_batch_without_dask(tmp_path):
    out = run("batch.py", "--queries", 60, "--size", 48, "--workers", 2, "--no-dask", cwd=tmp_path)
    assert "all results identical to the serial run" in out and "dask" not in out


def run_readme_block(tmp_path, section: str, promised_after: str) -> None:
    """Runs the first Python block after `section` in the README; its first
    output line must be the comment on the line starting with `promised_after`
    (with "print(": every output line the comment of its print line)."""
    readme = (EXAMPLES.parent / "README.md").read_text()
    block = readme.split(section, 1)[1].split("```python\n", 1)[1].split("```", 1)[0]
    (tmp_path / "block.py").write_text(block)
    proc = subprocess.run([sys.executable, "block.py"], capture_output=True, text=True, cwd=tmp_path)
    assert proc.returncode == 0, proc.stderr
    promised = [line.split("# ", 1)[1] for line in block.splitlines() if line.startswith(promised_after)]
    if promised_after == "print(":
        assert proc.stdout.splitlines() == promised
    else:
        assert proc.stdout.splitlines()[0] == promised[0]


def test_readme_quick_start(tmp_path):
    run_readme_block(tmp_path, "## Quick start", "# [[")


def test_readme_planner_example(tmp_path):
    run_readme_block(tmp_path, "## The planner", "print(")


def test_readme_fields_example(tmp_path):
    run_readme_block(tmp_path, "## Distance fields", "print(")


def test_every_python_block_of_the_readme_runs(tmp_path):
    """The README's Python blocks, in order, as one session (a block may use
    what an earlier one made): each runs without an error."""
    readme = (EXAMPLES.parent / "README.md").read_text()
    blocks = [part.split("```", 1)[0] for part in readme.split("```python\n")[1:]]
    assert len(blocks) >= 5
    script = ["import sys"]
    for k, block in enumerate(blocks):
        script.append(f"print('block {k}', file=sys.stderr)")
        script.append(f"exec(compile({block!r}, 'README block {k}', 'exec'))")
    (tmp_path / "readme.py").write_text("\n".join(script))
    (tmp_path / "data").symlink_to(EXAMPLES.parent / "data")  # the blocks name files as from the clone
    proc = subprocess.run([sys.executable, "readme.py"], capture_output=True, text=True, cwd=tmp_path)
    assert proc.returncode == 0, proc.stderr[-3000:]
