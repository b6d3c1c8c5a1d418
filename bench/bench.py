#!/usr/bin/env python3
"""Build time per document: zelbrin-build (one office worker for the whole build)
against one `soffice --headless --convert-to html` run per document, in the same run.

usage: bench/bench.py [--count N] [--bin BUILD/bin]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
from xml.sax.saxutils import escape, quoteattr

FODT = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
<office:body><office:text><text:h text:outline-level="1">文档 {n}</text:h><text:p>第 {n} 篇测试文档。Benchmark document number {n}.</text:p></office:text></office:body></office:document>
"""
FODS = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="表{n}"><table:table-row><table:table-cell office:value-type="string"><text:p>数据 {n}</text:p></table:table-cell><table:table-cell office:value-type="float" office:value="{n}"><text:p>{n}</text:p></table:table-cell></table:table-row></table:table></office:spreadsheet></office:body></office:document>
"""
FODP = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:body><office:presentation><draw:page draw:name="p1"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>幻灯片 {n} Slide</text:p></draw:text-box></draw:frame></draw:page></office:presentation></office:body></office:document>
"""

# Route mix of the generated project: (extension, share of the documents).
MIX = [("doc", 0.35), ("docx", 0.15), ("txt", 0.15), ("htm", 0.10), ("xls", 0.15), ("ppt", 0.10)]


def soffice(profile, *args):
    return subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless", *args],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_documents(folder, count, profile):
    sources = os.path.join(folder, "src")
    os.makedirs(sources)
    plan = []
    for ext, share in MIX:
        plan += [ext] * round(share * count)
    plan = (plan + ["doc"] * count)[:count]
    convert = {"doc": [], "docx": [], "xls": [], "ppt": []}
    names = []
    for n, ext in enumerate(plan, 1):
        name = f"d{n:03}.{ext}"
        names.append(name)
        if ext == "txt":
            with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
                f.write(f"第 {n} 篇测试文档。\nBenchmark document number {n}.\n")
        elif ext == "htm":
            with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
                f.write(f"<html><head><meta charset='utf-8'></head><body><!-- c --><p>文档 {n}</p></body></html>\n")
        else:
            template, suffix = {"doc": (FODT, "fodt"), "docx": (FODT, "fodt"),
                                "xls": (FODS, "fods"), "ppt": (FODP, "fodp")}[ext]
            src = os.path.join(sources, f"d{n:03}.{suffix}")
            with open(src, "w", encoding="utf-8") as f:
                f.write(template.format(n=n))
            convert[ext].append(src)
    filters = {"doc": "doc:MS Word 97", "docx": "docx:MS Word 2007 XML",
               "xls": "xls:MS Excel 97", "ppt": "ppt:MS PowerPoint 97"}
    for ext, files in convert.items():
        if files:
            soffice(profile, "--convert-to", filters[ext], "--outdir", folder, *files)
    shutil.rmtree(sources)
    missing = [n for n in names if not os.path.exists(os.path.join(folder, n))]
    if missing:
        sys.exit(f"could not generate {missing}")
    return names


def write_project(path, docs, names):
    d = escape(docs)
    items = "".join(f"<Item Caption={quoteattr(n)} FullDir={quoteattr(os.path.join(docs, n))}/>"
                    for n in names[:len(names) // 2])
    rest = "".join(f"<Item Caption={quoteattr(n)} FullDir={quoteattr(os.path.join(docs, n))}/>"
                   for n in names[len(names) // 2:])
    with open(path, "w", encoding="utf-8") as f:
        f.write(f'<Bench><WorkCatalog>{d}</WorkCatalog><Items><Item Caption="第一部分" FullDir="">{items}</Item>'
                f'<Item Caption="第二部分" FullDir="">{rest}</Item></Items></Bench>')


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--count", type=int, default=100)
    ap.add_argument("--bin", default=os.path.join(here, "..", "build", "bin"))
    args = ap.parse_args()
    builder = os.path.join(os.path.abspath(args.bin), "zelbrin-build")
    work = tempfile.mkdtemp(prefix="zelbrin-bench-")
    try:
        profile = os.path.join(work, "profile")
        docs = os.path.join(work, "docs")
        os.makedirs(docs)
        print(f"generating {args.count} documents ...", flush=True)
        names = make_documents(docs, args.count, profile)
        project = os.path.join(work, "proj", "Bench.zlp")
        os.makedirs(os.path.dirname(project))
        write_project(project, docs, names)

        t0 = time.monotonic()
        r = subprocess.run([builder, project], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        build = time.monotonic() - t0
        if r.returncode != 0 or not os.path.exists(os.path.join(work, "proj", "Bench.CHM")):
            sys.exit(f"zelbrin-build failed ({r.returncode}):\n{r.stderr}")

        out = os.path.join(work, "soffice-out")
        t0 = time.monotonic()
        for n in names:
            soffice(profile, "--convert-to", "html", "--outdir", out, os.path.join(docs, n))
        single = time.monotonic() - t0

        per_build = build / len(names) * 1000
        per_single = single / len(names) * 1000
        print(f"documents:                            {len(names)}")
        print(f"zelbrin-build, whole build:           {build:8.2f} s  ({per_build:7.1f} ms per document)")
        print(f"soffice --convert-to, one per doc:    {single:8.2f} s  ({per_single:7.1f} ms per document)")
        print(f"ratio:                                {per_single / per_build:8.1f} x")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
