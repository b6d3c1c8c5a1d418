#!/usr/bin/env python3
"""Our LZX encoder and help-file writer against chmcmd (Free Pascal), on the same pages.

usage: bench/chm/compare.py [--bin BUILD] [--copies N] [--convert DOCS] [PAGES]

PAGES is a folder of converted pages (for example a build folder kept with
`zelbrin-build --keep-temp`); --convert DOCS converts every document under DOCS with
`soffice --headless --convert-to html` first. --copies N replicates the page set N times.
chmcmd compiles the pages; its compressed section is unpacked and compressed again by our
encoder, so both sizes are of the very same bytes. Then our writer packs the same folder.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time


def encint(data, pos):
    value = 0
    while True:
        b = data[pos]
        pos += 1
        value = (value << 7) | (b & 0x7F)
        if b < 0x80:
            return value, pos


def directory(path):
    """Every entry of a help file's listing chunks: name -> (section, offset, length)."""
    data = open(path, "rb").read()
    dir_offset = struct.unpack_from("<Q", data, 0x48)[0]
    chunk_size, = struct.unpack_from("<I", data, dir_offset + 0x10)
    chunks, = struct.unpack_from("<I", data, dir_offset + 0x2C)
    entries = {}
    for c in range(chunks):
        base = dir_offset + 0x54 + c * chunk_size
        if data[base:base + 4] != b"PMGL":
            continue
        free, = struct.unpack_from("<I", data, base + 4)
        pos, end = base + 0x14, base + chunk_size - free
        while pos < end:
            n, pos = encint(data, pos)
            name = data[pos:pos + n].decode("utf-8")
            pos += n
            section, pos = encint(data, pos)
            offset, pos = encint(data, pos)
            length, pos = encint(data, pos)
            entries[name] = (section, offset, length)
    return entries


def convert(docs, pages):
    profile = tempfile.mkdtemp(prefix="bench-profile-")
    try:
        for root, _, names in os.walk(docs):
            for name in sorted(names):
                if name.lower().endswith((".txt", ".md")):
                    continue
                subprocess.run(["soffice", "-env:UserInstallation=file://" + profile, "--headless",
                                "--convert-to", "html", "--outdir", pages, os.path.join(root, name)],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    finally:
        shutil.rmtree(profile, ignore_errors=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default=os.path.join(here, "..", "..", "build"))
    ap.add_argument("--copies", type=int, default=1)
    ap.add_argument("--convert")
    ap.add_argument("pages", nargs="?")
    args = ap.parse_args()
    bench = os.path.join(os.path.abspath(args.bin), "bench", "chm_bench")
    work = tempfile.mkdtemp(prefix="chm-compare-")
    try:
        source = args.pages
        if args.convert:
            source = os.path.join(work, "converted")
            os.makedirs(source)
            print("converting documents ...", flush=True)
            convert(args.convert, source)
        if not source:
            sys.exit("give a folder of pages or --convert DOCS")
        project = os.path.join(work, "project")
        files = []
        for copy in range(args.copies):
            target = os.path.join(project, f"c{copy:03}")
            shutil.copytree(source, target)
        for root, _, names in os.walk(project):
            for name in sorted(names):
                files.append(os.path.relpath(os.path.join(root, name), project))
        files.sort()
        topic = next((f for f in files if f.endswith((".htm", ".html"))), files[0])
        with open(os.path.join(project, "bench.hhp"), "w", encoding="utf-8", newline="\r\n") as f:
            f.write(f"[OPTIONS]\nCompiled file=bench.chm\nDefault topic={topic}\nTitle=Bench\n"
                    f"Language=0x804\n\n[FILES]\n" + "\n".join(files) + "\n")

        t0 = time.monotonic()
        subprocess.run(["chmcmd", "bench.hhp"], cwd=project, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        chmcmd_time = time.monotonic() - t0
        chm = os.path.join(project, "bench.chm")
        entries = directory(chm)
        content = entries["::DataSpace/Storage/MSCompressed/Content"][2]
        unpacked = os.path.join(work, "unpacked")
        # 7-Zip reads every listing chunk; CHMLib follows chmcmd's chain, which skips the first.
        subprocess.run(["7z", "x", "-y", "-o" + unpacked, chm], stdout=subprocess.DEVNULL, check=True)
        stream = bytearray()
        for name, (section, offset, length) in entries.items():
            if section != 1 or length == 0:
                continue
            with open(os.path.join(unpacked, name.lstrip("/")), "rb") as f:
                data = f.read()
            if len(stream) < offset + length:
                stream.extend(bytes(offset + length - len(stream)))
            stream[offset:offset + length] = data
        section_file = os.path.join(work, "section1.bin")
        with open(section_file, "wb") as f:
            f.write(stream)
        os.remove(chm)

        print(f"pages: {len(files)} files, {sum(os.path.getsize(os.path.join(project, p)) for p in files)} bytes")
        print(f"chmcmd: {chmcmd_time:.2f} s; its compressed section: {len(stream)} -> {content} bytes")
        print("our encoder on chmcmd's section:")
        out = subprocess.run([bench, section_file], capture_output=True, text=True, check=True).stdout
        print("  " + out.strip().replace("\n", "\n  "))
        ours = int(out.split("compressed bytes:")[1].split()[0])
        print(f"size against chmcmd: {ours / content:.3f}")
        print("our writer on the pages:")
        out = subprocess.run([bench, "--chm", os.path.join(work, "ours.chm"), project],
                             capture_output=True, text=True, check=True).stdout
        print("  " + out.strip().replace("\n", "\n  "))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
