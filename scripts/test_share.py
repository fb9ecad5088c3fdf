#!/usr/bin/env python3
"""Prints the share of test code: non-blank, non-comment lines of C++, Python and shell under
tests/ and fuzz/, over those of the whole project (src, bench, tests, fuzz, scripts, the top-level
scripts and .ci). Python docstrings count as comments. Usage: test_share.py [--max SHARE] (exit 1
when the share is above SHARE)."""
import ast
import pathlib
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
CPP = {".cpp", ".h", ".hpp", ".cc"}
SCRIPT = {".py", ".sh"}
FOLDERS = ["src", "bench", "tests", "fuzz", "scripts", ".ci"]


def code_lines(path):
    text = path.read_text(encoding="utf-8", errors="replace")
    count = 0
    if path.suffix in CPP:
        in_block = False
        for line in text.splitlines():
            s = line.strip()
            while s:
                if in_block:
                    end = s.find("*/")
                    if end < 0:
                        s = ""
                        break
                    s = s[end + 2:].strip()
                    in_block = False
                elif s.startswith("/*"):
                    in_block = True
                    s = s[2:]
                else:
                    break
            if s and not s.startswith("//"):
                count += 1
    else:
        docs = docstring_lines(text) if path.suffix == ".py" else set()
        for number, line in enumerate(text.splitlines(), 1):
            s = line.strip()
            if s and not s.startswith("#") and number not in docs:
                count += 1
    return count


def docstring_lines(text):
    try:
        tree = ast.parse(text)
    except SyntaxError:
        return set()
    lines = set()
    for node in ast.walk(tree):
        if isinstance(node, (ast.Module, ast.ClassDef, ast.FunctionDef, ast.AsyncFunctionDef)) and node.body:
            first = node.body[0]
            if isinstance(first, ast.Expr) and isinstance(first.value, ast.Constant) and isinstance(first.value.value, str):
                lines.update(range(first.lineno, first.end_lineno + 1))
    return lines


def is_code(path):
    if path.suffix in CPP | SCRIPT:
        return True
    # Extensionless scripts such as .ci/run.
    if path.suffix == "" and path.is_file():
        head = path.read_bytes()[:64]
        return head.startswith(b"#!") and (b"sh" in head or b"python" in head)
    return False


def files():
    for folder in FOLDERS:
        base = ROOT / folder
        if base.is_dir():
            yield from (p for p in sorted(base.rglob("*")) if p.is_file() and is_code(p))
    yield from (p for p in sorted(ROOT.iterdir()) if p.is_file() and is_code(p))


def main():
    tests = total = 0
    for path in files():
        n = code_lines(path)
        total += n
        if path.relative_to(ROOT).parts[0] in ("tests", "fuzz"):
            tests += n
    share = tests / total if total else 0.0
    print(f"Test share: {tests} of {total} code lines in tests/ and fuzz/ = {share:.2f}")
    if len(sys.argv) == 3 and sys.argv[1] == "--max" and share > float(sys.argv[2]):
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
