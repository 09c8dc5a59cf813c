"""Where a benchmark writes its table: out/NAME.md, or with --write the
committed benchmarks/NAME.md (a run meant to update the numbers the docs
quote), or wherever --out says."""

from __future__ import annotations

import argparse
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent


def add_arguments(ap: argparse.ArgumentParser, name: str) -> None:
    ap.add_argument("--write", action="store_true", help=f"update the committed benchmarks/{name}.md")
    ap.add_argument("--out", default=None, help=f"write the table here (default out/{name}.md)")


def write(args: argparse.Namespace, name: str, text: str) -> Path:
    if args.out is not None:
        path = Path(args.out)
    elif args.write:
        path = ROOT / "benchmarks" / f"{name}.md"
    else:
        path = ROOT / "out" / f"{name}.md"
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    print(f"wrote {path}")
    return path
