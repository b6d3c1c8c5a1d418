#!/usr/bin/env python3
"""Build benchmark: zelbrin-build against what a user could do with LibreOffice and a free
help compiler alone, timed in the same run on the same documents.

Test sets (laid out fresh in a work folder):
  real       the acceptance corpus (shared/corpus: doc, docx, html, ppt, pptx, txt, xls,
             xlsx) replicated to N documents, kinds interleaved. Every copy has its own name
             and its own bytes, so no two documents share a content hash:
               .txt            a line "[copy K]" appended (ASCII, safe in GBK, GB2312, UTF-8)
               .htm/.html      a comment appended after the page
               .docx/.xlsx/.pptx  the zip archive comment set to "copy K" (only the
                               end-of-central-directory record changes; every member and
                               the central directory stay byte for byte)
               .doc/.xls/.ppt  the modified time of the compound file's root entry set to
                               a time of its own (MS-CFB lets a root entry carry one; no
                               stream changes)
             A copy with identical bytes under another name would already get its own cache
             entry (the page cache's key covers the path as well as the content), but then the
             figures would depend on that detail of the key; with distinct bytes they do not.
             Word "Web Page" copies share their companion folder (README.files/) beside them.
  generated  small documents written from flat ODF and saved as doc/docx/xls/ppt by
             LibreOffice, plus txt and htm (the old bench/bench.py set): one line or one row
             each, the small-document case.

Cases, each measured --runs times (runs interleaved, so drift hits every case alike):
  (a) one `soffice --headless --convert-to html` per document, on an evenly spread sample of
      30 documents, wall and CPU time scaled to the whole set (marked "*": extrapolated;
      its peak memory is that of the largest single call, not scaled).
  (b) one `soffice --convert-to html` call given every office document of the set, then
      chmcmd (Free Pascal's help compiler, Debian fp-utils) compiling the same help project
      that zelbrin-build writes (contents, index, pages at the same paths), with the pages
      that soffice call made. This is what a user could script without Zelbrin: the floor to
      beat. Not counted for (b): writing that help project, moving the pages into place and
      copying the HTML documents with their companion folders (all in favour of (b)).
  (c) zelbrin-build with a cold page cache: XDG_CACHE_HOME is a fresh empty folder except for
      the office profile that Zelbrin prepares once per machine and office version (made in
      an untimed set-up build), just as (a) and (b) run soffice with a profile that an
      earlier start filled and that notes the office's version as seen (see
      note_version_seen: the same setting Zelbrin's offices start with).
  (c0) zelbrin-build on a machine that never ran it: XDG_CACHE_HOME fresh and empty, so the
      build prepares the office profile too.
  (d) zelbrin-build again, the project unchanged, with the cache (c) left.
  (e) zelbrin-build again after one Word document changed (its bytes marked anew).

HTML documents are copied, not converted, by zelbrin-build; (a) and (b) copy them too, so
that no side converts what the other copies (the old bench.py's "36.5x faster" came from
generated one-line documents, .htm files that only the baseline converted, and a comparison
with (a) alone).

Measured for every case: wall time; CPU time (user+sys) of the whole process tree, from
os.wait4 / RUSAGE_CHILDREN deltas, with this script as the child subreaper so that
processes that detach (soffice's oosplash/soffice.bin) are still reaped and counted; peak
memory of the whole tree, by sampling /proc every 50 ms and summing the resident size of
every descendant. The sum counts pages that several processes share (libraries of two
offices) once per process, so it is an upper bound of what the tree holds; a spike shorter
than 50 ms can be missed. cgroup memory.peak would miss no spike, but needs a delegated
cgroup v2 (not there on this kind of machine) and counts the page cache of every file the
build reads and writes, which is not memory the build holds. Wall time ends when the last
process of the tree has ended, not just the first.

usage: bench/build-bench.py [--sizes 100,1000] [--runs 3] [--bin BUILD/bin] [--jobs N]
                            [--sets real,generated] [--keep] [--work DIR]
"""
import argparse
import ctypes
import hashlib
import os
import resource
import shutil
import signal
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time
from xml.sax.saxutils import escape, quoteattr

from benchcommon import corpus_folder, ensure_chmcmd

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OFFICE_EXTS = (".doc", ".docx", ".txt", ".xls", ".xlsx", ".ppt", ".pptx")
HTML_EXTS = (".htm", ".html")
SAMPLE = 30
# Catalogs of the project, by kind of document (as the end-to-end test lays the corpus out).
KINDS = [("Word文档", (".doc", ".docx")), ("网页", HTML_EXTS), ("文本", (".txt",)),
         ("表格", (".xls", ".xlsx")), ("演示文稿", (".ppt", ".pptx"))]
PER_CATALOG = 50


def ext_of(path):
    return os.path.splitext(path)[1].lower()


def stem_of(path):
    return os.path.splitext(os.path.basename(path))[0]


# ---------------------------------------------------------------- measuring

def become_subreaper():
    """Orphaned descendants (a daemonizing soffice) are re-parented to us, not to init."""
    try:
        return ctypes.CDLL(None, use_errno=True).prctl(36, 1, 0, 0, 0) == 0  # PR_SET_CHILD_SUBREAPER
    except (OSError, AttributeError):
        return False


PAGE = os.sysconf("SC_PAGE_SIZE")


def tree_rss(root):
    """Pids and summed resident bytes of every descendant of root."""
    parent, rss = {}, {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % name, "rb") as f:
                s = f.read()
        except OSError:
            continue
        rest = s[s.rfind(b")") + 2:].split()
        pid = int(name)
        parent[pid] = int(rest[1])
        rss[pid] = int(rest[21]) * PAGE
    children = {}
    for pid, ppid in parent.items():
        children.setdefault(ppid, []).append(pid)
    found, todo = [], list(children.get(root, []))
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo += children.get(pid, [])
    return found, sum(rss[p] for p in found)


class Meter:
    """Wall time, CPU time and peak memory of everything run inside `with Meter() as m:`."""

    def __enter__(self):
        # Whatever earlier, untimed steps left (zombies, detached processes) is no part of this.
        self.left_running = 0
        self._reap_orphans()
        self.peak = 0
        self.left_running = 0
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._sample, daemon=True)
        self._before = resource.getrusage(resource.RUSAGE_CHILDREN)
        self._thread.start()
        self._t0 = time.monotonic()
        self.wall = None
        return self

    def _sample(self):
        # A process that is not a descendant when first seen never becomes one (orphans go
        # to their nearest subreaper ancestor), so only new pids and the tree are read again:
        # that keeps a sample near 0.2 ms instead of a few ms on a busy machine.
        me = os.getpid()
        others = set()
        while not self._stop.is_set():
            pids = {int(n) for n in os.listdir("/proc") if n.isdigit()}
            others &= pids
            parent, rss = {}, {}
            for pid in pids - others:
                try:
                    with open("/proc/%d/stat" % pid, "rb") as f:
                        s = f.read()
                except OSError:
                    continue
                rest = s[s.rfind(b")") + 2:].split()
                parent[pid] = int(rest[1])
                rss[pid] = int(rest[21]) * PAGE
            tree = {me}
            grew = True
            while grew:
                grew = False
                for pid, ppid in parent.items():
                    if ppid in tree and pid not in tree:
                        tree.add(pid)
                        grew = True
            others |= set(parent) - tree
            self.peak = max(self.peak, sum(rss[p] for p in tree if p != me))
            self._stop.wait(0.05)

    def run(self, args, cwd=None, env=None, log=None):
        """Runs a program to its end and reaps whatever it left; returns its exit code."""
        with open(log or os.devnull, "ab") as out:
            p = subprocess.Popen(args, cwd=cwd, env=env, stdout=out, stderr=subprocess.STDOUT,
                                 stdin=subprocess.DEVNULL)
            _, status, _ = os.wait4(p.pid, 0)
            p.returncode = os.waitstatus_to_exitcode(status)
        self._reap_orphans()
        return p.returncode

    def _reap_orphans(self):
        # Descendants that outlived their parent belong to the run: wait for them (their CPU
        # time counts), and after 10 s end them and say so.
        deadline = time.monotonic() + 10
        while True:
            try:
                while os.wait4(-1, os.WNOHANG)[0] > 0:
                    pass
            except ChildProcessError:
                pass
            pids = tree_rss(os.getpid())[0]
            if not pids:
                return
            if time.monotonic() > deadline:
                self.left_running += len(pids)
                for pid in pids:
                    try:
                        os.kill(pid, signal.SIGKILL)
                    except ProcessLookupError:
                        pass
                deadline = time.monotonic() + 5
            time.sleep(0.05)

    def stop_clock(self):
        self.wall = time.monotonic() - self._t0

    def __exit__(self, *exc):
        if self.wall is None:
            self.stop_clock()
        self._stop.set()
        self._thread.join()
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.cpu = (after.ru_utime - self._before.ru_utime) + (after.ru_stime - self._before.ru_stime)
        return False


# ---------------------------------------------------------------- documents

def corpus_documents(corpus):
    """The corpus documents (relative paths), kinds interleaved: doc, docx, html, ppt, ..."""
    by_kind = []
    for kind in ("doc", "docx", "html", "ppt", "pptx", "txt", "xls", "xlsx"):
        found = []
        for dirpath, dirs, files in os.walk(os.path.join(corpus, kind)):
            dirs.sort()
            found += [os.path.relpath(os.path.join(dirpath, f), corpus) for f in sorted(files)
                      if ext_of(f) in OFFICE_EXTS + HTML_EXTS and not os.path.basename(dirpath).endswith(("_files", ".files"))]
        by_kind.append(sorted(found))
    order = []
    while any(by_kind):
        for found in by_kind:
            if found:
                order.append(found.pop(0))
    return order


def mark(path, tag):
    """Makes the document's bytes its own without changing what it shows; returns how."""
    ext = ext_of(path)
    if ext == ".txt":
        with open(path, "ab") as f:
            f.write(b"\r\n[copy %d]\r\n" % tag)
        return "text"
    if ext in HTML_EXTS:
        with open(path, "ab") as f:
            f.write(b"\n<!-- copy %d -->\n" % tag)
        return "comment"
    with open(path, "r+b") as f:
        data = f.read()
        if ext in (".docx", ".xlsx", ".pptx"):
            # The end-of-central-directory record: signature, 16 bytes, comment length, comment.
            at = data.rfind(b"PK\x05\x06")
            if at < 0 or at + 22 > len(data):
                return None
            comment = b"copy %d" % tag
            f.seek(at + 20)
            f.write(struct.pack("<H", len(comment)) + comment)
            f.truncate()
            return "zip comment"
        if data[:8] == b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1":
            shift = struct.unpack_from("<H", data, 0x1E)[0]
            first = struct.unpack_from("<I", data, 0x30)[0]
            at = (first + 1) << shift
            entry = data[at:at + 128]
            length = struct.unpack_from("<H", entry, 64)[0] if len(entry) == 128 else 0
            if entry[:max(length - 2, 0)].decode("utf-16-le", "replace") != "Root Entry" or entry[66] != 5:
                return None
            filetime = 132223104000000000 + tag * 10000000  # 2020-01-01 plus tag seconds
            f.seek(at + 108)
            f.write(struct.pack("<Q", filetime))
            return "root entry time"
    return None


def check_opens(path):
    """A cheap structural check of a marked copy (the conversions check the rest)."""
    ext = ext_of(path)
    if ext in (".docx", ".xlsx", ".pptx"):
        import zipfile
        with zipfile.ZipFile(path) as z:
            return z.testzip() is None and "[Content_Types].xml" in z.namelist()
    return True


def layout_real(corpus, docs, count):
    """count copies of the corpus documents under docs; returns their absolute paths."""
    sources = corpus_documents(corpus)
    made, how = [], {}
    for k in range(count):
        rel = sources[k % len(sources)]
        replica = k // len(sources) + 1
        folder = os.path.join(docs, os.path.dirname(rel))
        if not os.path.isdir(folder):
            os.makedirs(folder)
            # Companion folders of Word "Web Page" documents, once per folder.
            src_folder = os.path.join(corpus, os.path.dirname(rel))
            for d in sorted(os.listdir(src_folder)):
                if os.path.isdir(os.path.join(src_folder, d)) and d.endswith(("_files", ".files")):
                    shutil.copytree(os.path.join(src_folder, d), os.path.join(folder, d))
        target = os.path.join(folder, "%s-%03d%s" % (stem_of(rel), replica, os.path.splitext(rel)[1]))
        shutil.copyfile(os.path.join(corpus, rel), target)
        os.chmod(target, 0o644)
        method = mark(target, k + 1)
        if method is None or not check_opens(target):
            sys.exit("could not mark %s safely" % target)
        how[method] = how.get(method, 0) + 1
        made.append(target)
    for dirpath, dirs, files in os.walk(docs):
        for n in dirs + files:
            os.chmod(os.path.join(dirpath, n), 0o755 if n in dirs else 0o644)
    return made, how


# The generated set: documents of one line or one row each, saved by LibreOffice.
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

# Route mix of the generated set: (extension, share of the documents).
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


def layout_generated(docs, count, profile):
    os.makedirs(docs)
    names = make_documents(docs, count, profile)
    return [os.path.join(docs, n) for n in names], {"generated": len(names)}


def write_project(path, root, workdir, documents):
    """A .zlp as the workbench saves one: catalogs by kind, at most 50 documents each."""
    xml = "<%s><WorkCatalog>%s</WorkCatalog><Items>" % (root, escape(workdir))
    tree = []
    for caption, exts in KINDS:
        chosen = [d for d in documents if ext_of(d) in exts]
        for i in range(0, len(chosen), PER_CATALOG):
            part = chosen[i:i + PER_CATALOG]
            name = caption + str(i // PER_CATALOG + 1)
            tree.append((name, part))
            xml += "<Item Caption=%s FullDir=\"\">" % quoteattr(name)
            xml += "".join("<Item Caption=%s FullDir=%s/>" % (quoteattr(stem_of(d)), quoteattr(d)) for d in part)
            xml += "</Item>"
    xml += "</Items></%s>" % root
    with open(path, "w", encoding="utf-8") as f:
        f.write(xml)
    return tree


# ---------------------------------------------------------------- the cases

class TestSet:
    def __init__(self, kind, count, work, docs_root, documents, bindir, jobs):
        self.kind, self.count, self.work = kind, count, work
        self.documents = documents
        self.name = "%s%d" % ({"real": "真实", "generated": "生成"}[kind], count)
        self.project_dir = os.path.join(work, "proj")
        self.zlp = os.path.join(self.project_dir, self.name + ".zlp")
        self.chm = os.path.join(self.project_dir, self.name + ".CHM")
        self.builder = os.path.join(bindir, "zelbrin-build")
        self.jobs = jobs
        self.logs = os.path.join(work, "logs")
        os.makedirs(self.logs, exist_ok=True)
        os.makedirs(self.project_dir, exist_ok=True)
        self.tree = write_project(self.zlp, self.name, docs_root, documents)
        self.office = [d for d in documents if ext_of(d) in OFFICE_EXTS]
        stems = [stem_of(d).lower() for d in self.office]
        if len(set(stems)) != len(stems):
            sys.exit("two office documents of the set share a name; soffice would write one page for both")
        word = [d for d in documents if ext_of(d) in (".doc", ".docx")]
        self.changing = word[len(word) // 2] if word else documents[len(documents) // 2]
        self.changes = 0

    def build_env(self, cache):
        env = dict(os.environ, XDG_CACHE_HOME=cache)
        env.pop("ZELBRIN_CACHE_DIR", None)
        return env

    def build_args(self, *extra):
        args = [self.builder]
        if self.jobs:
            args += ["--jobs", str(self.jobs)]
        return args + list(extra) + [self.zlp]

    def set_up(self):
        """An untimed build that keeps its help project and prepares the office profile."""
        self.template_cache = os.path.join(self.work, "cache-template")
        log = os.path.join(self.logs, "set-up.log")
        with Meter() as m:
            code = m.run(self.build_args("--keep-temp"), env=self.build_env(self.template_cache), log=log)
        if code != 0 or not os.path.isfile(self.chm):
            sys.exit("zelbrin-build failed (%d), see %s:\n%s" % (code, log, tail(log)))
        shutil.rmtree(os.path.join(self.template_cache, "zelbrin", "pages"), ignore_errors=True)
        self.kept = os.path.join(self.work, "kept-help-project")
        shutil.rmtree(self.kept, ignore_errors=True)
        shutil.move(os.path.join(self.project_dir, "temp"), self.kept)
        print("  set-up build (untimed, keeps the help project): %.1f s" % m.wall, flush=True)
        failed = failed_documents(log)
        if failed:
            print("  zelbrin-build could not convert %d documents: %s" % (len(failed), ", ".join(failed[:5])))

    def fresh_cache(self, label, with_profile):
        cache = os.path.join(self.work, "cache-" + label)
        shutil.rmtree(cache, ignore_errors=True)
        os.makedirs(os.path.join(cache, "zelbrin"))
        if with_profile:
            src = os.path.join(self.template_cache, "zelbrin")
            for n in os.listdir(src):
                if n.startswith("office-profile"):
                    shutil.copytree(os.path.join(src, n), os.path.join(cache, "zelbrin", n), symlinks=True)
        return cache

    def our_build(self, label, cache):
        log = os.path.join(self.logs, label + ".log")
        if os.path.exists(log):
            os.remove(log)
        with Meter() as m:
            code = m.run(self.build_args(), env=self.build_env(cache), log=log)
        if code != 0 or not os.path.isfile(self.chm):
            sys.exit("zelbrin-build failed (%d) in %s, see %s:\n%s" % (code, label, log, tail(log)))
        return result(m, cache_line(log))

    def per_document(self, run, profile):
        """(a): one soffice per document on a sample, scaled to the set."""
        m_count = min(SAMPLE, self.count)
        sample = [self.documents[i * self.count // m_count] for i in range(m_count)]
        out = os.path.join(self.work, "a-out")
        shutil.rmtree(out, ignore_errors=True)
        made = 0
        with Meter() as m:
            for i, doc in enumerate(sample):
                folder = os.path.join(out, str(i))
                os.makedirs(folder)
                if ext_of(doc) in HTML_EXTS:
                    shutil.copy(doc, folder)
                else:
                    m.run(soffice_args(profile, "--convert-to", "html", "--outdir", folder, doc))
                made += os.path.isfile(os.path.join(folder, stem_of(doc) + ".html")) or \
                    os.path.isfile(os.path.join(folder, os.path.basename(doc)))
        scale = self.count / m_count
        r = result(m, "%d/%d pages" % (made, m_count))
        r["wall"] *= scale
        r["cpu"] *= scale
        r["extrapolated"] = True
        return r

    def one_call(self, run, profile):
        """(b): one soffice call for every office document, then chmcmd on the same help project."""
        out = os.path.join(self.work, "b-out")
        stage = os.path.join(self.work, "b-help-project")
        for f in (out, stage):
            shutil.rmtree(f, ignore_errors=True)
        os.makedirs(out)
        with Meter() as m:
            if self.office:
                m.run(soffice_args(profile, "--convert-to", "html", "--outdir", out, *self.office))
            t0 = time.monotonic()
            files, missing = self.stage_help_project(out, stage)
            staging = time.monotonic() - t0
            note = "%d/%d pages" % (self.count - missing, self.count)
            code = m.run(["chmcmd", "--no-html-scan", "project.hhp"], cwd=stage,
                         log=os.path.join(self.logs, "chmcmd.log"))
            out_chm = os.path.join(stage, "out.chm")
            if code != 0 or not os.path.isfile(out_chm) or os.path.getsize(out_chm) == 0:
                # chmcmd's full-text indexer dies on some real pages; compile once more without
                # the index then (both attempts count).
                project = os.path.join(stage, "project.hhp")
                with open(project, encoding="utf-8") as f:
                    text = f.read().replace("Full-text search=Yes", "Full-text search=No")
                with open(project, "w", encoding="utf-8") as f:
                    f.write(text)
                code = m.run(["chmcmd", "--no-html-scan", "project.hhp"], cwd=stage,
                             log=os.path.join(self.logs, "chmcmd.log"))
                note += ", chmcmd again without full-text search"
            m.stop_clock()
        if code != 0 or not os.path.isfile(out_chm):
            note += ", chmcmd FAILED"
        r = result(m, note)
        r["wall"] -= staging
        return r

    def stage_help_project(self, out, stage):
        """The kept help project with soffice's pages at the paths its contents name.

        chmcmd takes the names in a project file as bytes, so the project files are written
        in UTF-8 (the file system's names) with paths relative to the project, and every
        file is listed (it runs with --no-html-scan). The entries are those zelbrin-build
        wrote."""
        html = os.path.join(stage, "html")
        os.makedirs(html)
        made = sorted(os.listdir(out))
        missing = 0
        for catalog, docs in self.tree:
            folder = os.path.join(html, catalog)
            os.makedirs(folder)
            for doc in docs:
                if ext_of(doc) in HTML_EXTS:
                    shutil.copy(doc, folder)
                    for d in os.listdir(os.path.dirname(doc)):
                        companion = os.path.join(os.path.dirname(doc), d)
                        if os.path.isdir(companion) and d.endswith(("_files", ".files")) and \
                                not os.path.exists(os.path.join(folder, d)):
                            shutil.copytree(companion, os.path.join(folder, d))
                    continue
                stem = stem_of(doc)
                page = os.path.join(out, stem + ".html")
                if not os.path.isfile(page):
                    missing += 1
                    continue
                os.rename(page, os.path.join(folder, stem + ".htm"))
                for n in made:
                    if n.startswith(stem + "_html_"):
                        os.rename(os.path.join(out, n), os.path.join(folder, n))
        prefix = os.path.join(self.project_dir, "temp", "")
        old_chm = self.chm

        def rewrite(name):
            with open(os.path.join(self.kept, name), "rb") as f:
                text = f.read().decode("gbk")
            text = text.replace(old_chm, "out.chm").replace(prefix, "")
            for ext in ("hhc", "hhk"):
                text = text.replace(self.name + "." + ext, "project." + ext)
            return text.replace("\r\n", "\n")

        files = []
        for dirpath, dirs, names in os.walk(html):
            dirs.sort()
            files += [os.path.relpath(os.path.join(dirpath, n), stage) for n in sorted(names)]
        for ext in ("hhc", "hhk"):
            with open(os.path.join(stage, "project." + ext), "w", encoding="utf-8") as f:
                f.write(rewrite(self.name + "." + ext))
        hhp = rewrite(self.name + ".hhp").replace("[FILES]\n", "[FILES]\n" + "".join(f + "\n" for f in files))
        with open(os.path.join(stage, "project.hhp"), "w", encoding="utf-8") as f:
            f.write(hhp)
        return files, missing

    def change_one(self):
        self.changes += 1
        if mark(self.changing, 1000000 + self.changes) is None:
            sys.exit("could not change %s" % self.changing)


def note_version_seen(profile):
    """Notes the office's version as seen in a baseline profile, as LibreOffice's own window
    does at its first start (a headless office never does): without it every start runs the
    office's graphics self-tests, about 4 s. Zelbrin's offices start with this setting, so
    the baselines get it too."""
    xcd = os.path.join(os.path.dirname(os.path.realpath(shutil.which("soffice"))), "..", "share", "registry", "main.xcd")
    text = open(xcd, encoding="utf-8", errors="replace").read()
    at = text.find('"ooSetupVersionAboutBox">')
    version = text[at:at + 200].split("<value>", 1)[1].split("</value>", 1)[0] if at >= 0 else ""
    settings = os.path.join(profile, "user", "registrymodifications.xcu")
    xml = open(settings, encoding="utf-8").read()
    if not version or "ooSetupLastVersion" in xml or "</oor:items>" not in xml:
        sys.exit("could not note the office version in the baseline profile %s" % settings)
    item = ('<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" '
            'oor:op="fuse"><value>%s</value></prop></item>\n' % version)
    with open(settings, "w", encoding="utf-8") as f:
        f.write(xml.replace("</oor:items>", item + "</oor:items>"))


def soffice_args(profile, *args):
    return ["soffice", "-env:UserInstallation=file://" + profile, "--headless", *args]


def tail(log, lines=15):
    try:
        with open(log, encoding="utf-8", errors="replace") as f:
            return "".join(f.readlines()[-lines:])
    except OSError:
        return ""


def cache_line(log):
    """What the build says of the cache: '缓存中已有 X 个文档的网页；启动了 Y 个办公软件'."""
    text = tail(log, 40)
    for line in text.splitlines():
        if line.startswith("缓存中已有"):
            nums = [int(w) for w in line.replace("；", " ").split() if w.isdigit()]
            if len(nums) == 2:
                return "cache had %d, %d offices" % tuple(nums)
            return line.strip()
    return ""


def failed_documents(log):
    return [line.strip() for line in tail(log, 100000).splitlines() if "无法转换" in line or "缺少" in line]


def result(m, note=""):
    r = {"wall": m.wall, "cpu": m.cpu, "peak": m.peak, "note": note}
    if m.left_running:
        r["note"] += ", %d processes left running (ended)" % m.left_running
    return r


CASES = [("a", "(a) soffice per document*"),
         ("b", "(b) one soffice + chmcmd"),
         ("c0", "(c0) ours, first build ever"),
         ("c", "(c) ours, cold cache"),
         ("d", "(d) ours, unchanged rebuild"),
         ("e", "(e) ours, one document changed")]


def run_set(ts, runs, profile):
    results = {key: [] for key, _ in CASES}
    for run in range(1, runs + 1):
        print("  run %d/%d:" % (run, runs), end="", flush=True)
        for key, _ in CASES:
            if key == "a":
                r = ts.per_document(run, profile)
            elif key == "b":
                r = ts.one_call(run, profile)
            elif key == "c0":
                r = ts.our_build("c0-%d" % run, ts.fresh_cache("c0", with_profile=False))
            elif key == "c":
                cache = ts.fresh_cache("c", with_profile=True)
                r = ts.our_build("c-%d" % run, cache)
            elif key == "d":
                r = ts.our_build("d-%d" % run, cache)
            else:
                ts.change_one()
                r = ts.our_build("e-%d" % run, cache)
            results[key].append(r)
            print(" %s %.1fs" % (key, r["wall"]), end="", flush=True)
        print(flush=True)
        for label in ("c0", "c"):
            shutil.rmtree(os.path.join(ts.work, "cache-" + label), ignore_errors=True)
    return results


def mb(n):
    return "%.0f" % (n / 1048576.0)


def table(ts, results, runs):
    kinds = {}
    for d in ts.documents:
        kinds[ext_of(d)[1:]] = kinds.get(ext_of(d)[1:], 0) + 1
    lines = ["", "%s set, %d documents (%s), %d run%s, jobs %s; min / median" % (
        ts.kind, ts.count, " ".join("%s %d" % kv for kv in sorted(kinds.items())), runs,
        "" if runs == 1 else "s", ts.jobs or "default")]
    lines.append("%-34s %17s %17s %15s  %s" % ("case", "wall s", "cpu s", "peak MB", "note"))
    for key, caption in CASES:
        rs = results[key]
        cols = []
        for field, fmt in (("wall", "%7.1f"), ("cpu", "%7.1f"), ("peak", None)):
            vals = [r[field] for r in rs]
            lo, med = min(vals), statistics.median(vals)
            cols.append("%s / %s" % ((mb(lo), mb(med)) if fmt is None else (fmt % lo, fmt % med)))
        notes = sorted({r["note"] for r in rs if r["note"]})
        lines.append("%-34s %17s %17s %15s  %s" % (caption, cols[0], cols[1], cols[2], "; ".join(notes)))

    def ratio(num, den, pick):
        a = pick([r["wall"] for r in results[num]])
        b = pick([r["wall"] for r in results[den]])
        return a / b if b > 0 else float("nan")

    for num in ("b", "a"):
        lines.append("wall (%s)/(c): %.2fx min, %.2fx median%s" % (
            num, ratio(num, "c", min), ratio(num, "c", statistics.median),
            "   (* extrapolated from %d documents)" % min(SAMPLE, ts.count) if num == "a" else ""))
    lines.append("wall (b)/(c0): %.2fx min, %.2fx median" % (ratio("b", "c0", min), ratio("b", "c0", statistics.median)))
    return "\n".join(lines)


# ---------------------------------------------------------------- main

def estimate(sets, sizes, runs):
    """Rough seconds for the whole benchmark on an idle machine with 2 cores."""
    total = 20.0
    for s in sets:
        per_doc = 0.11 if s == "real" else 0.03   # one build's conversion and compile, per document
        one_call = 0.12 if s == "real" else 0.04  # (b), per document
        single = 0.8 if s == "real" else 0.5      # (a), per sampled document
        for n in sizes:
            build = 3 + per_doc * n
            setup = build + (0 if s == "real" else 0.2 * n)
            per_run = min(SAMPLE, n) * single + one_call * n + 2 * build + 6 + (2 + 0.01 * n) + (4 + 0.01 * n)
            total += setup + runs * per_run
    return total


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--sizes", default="100,1000", help="documents per set, comma separated")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"))
    ap.add_argument("--jobs", type=int, default=0, help="zelbrin-build --jobs N (default: its own)")
    ap.add_argument("--sets", default="real,generated")
    ap.add_argument("--work", default=None, help="work folder (default: a new temporary one)")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    args = ap.parse_args()
    sizes = [int(s) for s in args.sizes.split(",") if s]
    sets = [s for s in args.sets.split(",") if s]
    if any(s not in ("real", "generated") for s in sets) or not sizes or args.runs < 1:
        ap.error("--sets takes real and/or generated; --sizes and --runs positive numbers")
    bindir = os.path.abspath(args.bin)
    for tool in ("zelbrin-build", "zelbrin-office", "hhc"):
        if not os.access(os.path.join(bindir, tool), os.X_OK):
            sys.exit("%s not found in %s (--bin)" % (tool, bindir))
    if not shutil.which("soffice"):
        sys.exit("soffice (LibreOffice) is needed")
    if not ensure_chmcmd():
        sys.exit("chmcmd is needed for case (b)")
    subreaper = become_subreaper()

    secs = estimate(sets, sizes, args.runs)
    print("build benchmark: sets %s, sizes %s, %d run%s; rough estimate %.0f min on an idle 2-core machine"
          % (",".join(sets), ",".join(map(str, sizes)), args.runs, "" if args.runs == 1 else "s", secs / 60),
          flush=True)
    print("cores: %d; soffice: %s; chmcmd: %s%s" % (
        os.cpu_count(), shutil.which("soffice"), shutil.which("chmcmd"),
        "" if subreaper else "; NOT a subreaper: detached processes escape the CPU figures"))
    started = time.monotonic()
    work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="zelbrin-build-bench-"))
    os.makedirs(work, exist_ok=True)
    tables = []
    try:
        # The baselines' office profile, filled once by a first start (untimed).
        profile = os.path.join(work, "soffice-profile")
        warm = os.path.join(work, "warm")
        os.makedirs(warm, exist_ok=True)
        with open(os.path.join(warm, "warm.txt"), "w") as f:
            f.write("warm\n")
        subprocess.run(soffice_args(profile, "--convert-to", "html", "--outdir", warm, os.path.join(warm, "warm.txt")),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        note_version_seen(profile)
        corpus = corpus_folder()
        for s in sets:
            for n in sizes:
                folder = os.path.join(work, "%s-%d" % (s, n))
                shutil.rmtree(folder, ignore_errors=True)
                os.makedirs(folder)
                print("%s set, %d documents: laying out in %s" % (s, n, folder), flush=True)
                if s == "real":
                    docs, how = layout_real(corpus, os.path.join(folder, "docs"), n)
                else:
                    docs, how = layout_generated(os.path.join(folder, "docs"), n, profile)
                hashes = {hashlib.sha256(open(d, "rb").read()).hexdigest() for d in docs}
                print("  %d documents, %d distinct contents (%s)" % (
                    len(docs), len(hashes), ", ".join("%s %d" % kv for kv in sorted(how.items()))), flush=True)
                ts = TestSet(s, n, folder, os.path.join(folder, "docs"), docs, bindir, args.jobs)
                ts.set_up()
                results = run_set(ts, args.runs, profile)
                tables.append(table(ts, results, args.runs))
                print(tables[-1], flush=True)
                if not args.keep:
                    shutil.rmtree(folder, ignore_errors=True)
        print("\n" + "=" * 100)
        print("\n".join(tables))
        print("\npeak memory: resident size summed over the process tree, sampled every 50 ms."
              "\n(a)* is extrapolated: a sample of up to %d documents timed one by one, wall and CPU scaled to the set."
              "\ntotal benchmark time: %.1f min" % (SAMPLE, (time.monotonic() - started) / 60))
    finally:
        if args.keep:
            print("work folder:", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
