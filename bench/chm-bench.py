#!/usr/bin/env python3
"""Help-file compiler benchmark: our hhc against Free Pascal's chmcmd, in the same run.

1. The corpus project (shared/corpus, 23 real documents) and a project of 100 real
   documents (the corpus replicated) are built with `zelbrin-build --keep-temp`; the kept
   help projects are compiled again with our hhc, timed.
2. chmcmd compiles the same help projects: the files our help file stores (ASCII names,
   pages in GBK) are unpacked with extract_chmLib into a folder with a help project that
   chmcmd reads, and chmcmd runs there (its staging is not timed, ours is).
3. Generated projects of 1,000 and 10,000 pages are compiled with our hhc.

Installs fp-utils (chmcmd) for itself when it is missing and this runs as root.
usage: bench/chm-bench.py [--bin BUILD/bin] [--work DIR] [--sizes 1000,10000] [--keep]
"""
import argparse
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile
import time
from xml.sax.saxutils import quoteattr

from benchcommon import corpus_folder, ensure_chmcmd

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def corpus_documents(corpus):
    docs = []
    for kind in ("doc", "docx", "xls", "xlsx", "ppt", "pptx", "html", "txt"):
        folder = os.path.join(corpus, kind)
        for dirpath, _, files in os.walk(folder):
            for f in sorted(files):
                if f.lower().endswith((".doc", ".docx", ".xls", ".xlsx", ".ppt", ".pptx", ".html", ".txt")):
                    docs.append(os.path.relpath(os.path.join(dirpath, f), corpus))
    return sorted(docs)


def timed(args, cwd=None):
    """Runs a program; returns (wall seconds, cpu seconds, exit code, output)."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.monotonic()
    p = subprocess.run(args, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    wall = time.monotonic() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return wall, cpu, p.returncode, p.stdout.decode("utf-8", "replace")


def write_zlp(path, root, corpus, groups):
    xml = "<%s><WorkCatalog>%s</WorkCatalog><Items>" % (root, corpus)
    for caption, docs in groups:
        xml += "<Item Caption=%s FullDir=\"\">" % quoteattr(caption)
        for d in docs:
            xml += "<Item Caption=%s FullDir=%s/>" % (quoteattr(os.path.basename(d)),
                                                      quoteattr(os.path.join(corpus, d)))
        xml += "</Item>"
    xml += "</Items></%s>" % root
    with open(path, "w", encoding="utf-8") as f:
        f.write(xml)


def build_kept(bindir, work, name, groups, corpus):
    folder = os.path.join(work, name)
    os.makedirs(folder)
    zlp = os.path.join(folder, name + ".zlp")
    write_zlp(zlp, name, corpus, groups)
    wall, _, code, out = timed([os.path.join(bindir, "zelbrin-build"), "--keep-temp", zlp])
    if code != 0:
        sys.exit("zelbrin-build failed for %s:\n%s" % (name, out))
    print("  built %s with zelbrin-build in %.1f s" % (name, wall))
    return os.path.join(folder, "temp", name + ".hhp"), os.path.join(folder, name + ".CHM")


def chmcmd_project(chm, folder):
    """The files our help file stores, as a folder with a help project chmcmd reads."""
    subprocess.run(["extract_chmLib", chm, folder], check=True, stdout=subprocess.DEVNULL)
    default_topic = ""
    files = []
    for dirpath, dirs, names in os.walk(folder):
        dirs.sort()
        for n in sorted(names):
            rel = os.path.relpath(os.path.join(dirpath, n), folder)
            if rel.startswith(("#", "$")):
                os.remove(os.path.join(dirpath, n))
                continue
            if rel not in ("contents.hhc", "index.hhk"):
                files.append(rel)
                if not default_topic and rel.endswith(".htm"):
                    default_topic = rel
    for d in ("$WWKeywordLinks", "$WWAssociativeLinks"):
        shutil.rmtree(os.path.join(folder, d), ignore_errors=True)
    with open(os.path.join(folder, "project.hhp"), "w", encoding="ascii", newline="\r\n") as f:
        f.write("[OPTIONS]\nCompiled file=output.chm\nContents file=contents.hhc\nIndex file=index.hhk\n"
                "Default topic=%s\nLanguage=0x0804\nFull-text search=Yes\nBinary Index=Yes\n\n[FILES]\n%s\n"
                % (default_topic, "\n".join(files)))
    return os.path.join(folder, "project.hhp")


def run_chmcmd(project):
    folder = os.path.dirname(project)
    wall, cpu, code, out = timed(["chmcmd", "--no-html-scan", "project.hhp"], cwd=folder)
    out_chm = os.path.join(folder, "output.chm")
    note = ""
    # chmcmd's full-text indexer dies on some real pages; hhc used to compile once more
    # without the index then, and so does this benchmark (both times are counted).
    if code != 0 or not os.path.isfile(out_chm) or os.path.getsize(out_chm) == 0:
        with open(project, encoding="ascii") as f:
            text = f.read().replace("Full-text search=Yes", "Full-text search=No")
        with open(project, "w", encoding="ascii") as f:
            f.write(text)
        wall2, cpu2, code, out = timed(["chmcmd", "--no-html-scan", "project.hhp"], cwd=folder)
        wall, cpu = wall + wall2, cpu + cpu2
        note = " (indexer failed; again without full-text search)"
    if code != 0 or not os.path.isfile(out_chm):
        return None
    return wall, cpu, os.path.getsize(out_chm), note


def run_hhc(bindir, hhp, chm):
    wall, cpu, code, out = timed([os.path.join(bindir, "hhc"), hhp])
    if code != 0:
        sys.exit("hhc failed:\n" + out)
    return wall, cpu, os.path.getsize(chm)


WORDS = ("help manual window toolbar document select option search contents index page table "
         "click open close save print format insert delete copy paste").split()
# Words of a manual's vocabulary: real text repeats its words, random characters would not.
HANZI = ("帮助 文件 手册 窗口 工具栏 文档 选择 选项 搜索 目录 索引 页面 表格 单击 打开 关闭 保存 打印 格式 插入 "
         "删除 复制 粘贴 设置 用户 系统 安装 步骤 问题 价格 产品 演示 联系 我们 数据 报表 图片 编辑 视图 "
         "菜单 按钮 对话框 属性 字体 颜色 大小 位置 工程 编译 转换 网页 内容 标题 段落 链接 说明 注意").split()


def generated_project(folder, pages):
    """A help project of `pages` pages of mixed Chinese and English text, as the workbench lays it out."""
    rng = random.Random(pages)
    html = os.path.join(folder, "temp", "html")
    contents, index = [], []
    per = 100
    for c in range(0, pages, per):
        catalog = "第%d章" % (c // per + 1)
        os.makedirs(os.path.join(html, catalog))
        contents.append('<UL><LI><OBJECT type="text/sitemap"><param name="Name" value="%s">'
                        '<param name="ImageNumber" value="1"></OBJECT><UL>' % catalog)
        for n in range(c, min(c + per, pages)):
            title = "页面%d" % n
            body = []
            for _ in range(rng.randint(40, 120)):
                body.append("<p>" + " ".join(rng.choice(WORDS) for _ in range(8)) + " " +
                            "".join(rng.choice(HANZI) for _ in range(6)) + "。</p>")
            page = os.path.join(html, catalog, title + ".htm")
            with open(page, "w", encoding="utf-8") as f:
                f.write('<html><head><meta charset="utf-8"><title>%s</title></head><body>%s</body></html>'
                        % (title, "\n".join(body)))
            contents += ['<LI> <OBJECT type="text/sitemap">', '<param name="Name" value="%s">' % title,
                         '<param name="Local" value="%s">' % page, '<param name="ImageNumber" value="11"></OBJECT>']
            index += ['<LI> <OBJECT type="text/sitemap"><param name="Name" value="%s">' % title,
                      '<param name="Name" value="%s">' % page[:-4], '<param name="Local" value="%s"></OBJECT>' % page]
        contents.append("</UL></UL>")
    name = "生成%d" % pages
    hhc = os.path.join(folder, "temp", name + ".hhc")
    hhk = os.path.join(folder, "temp", name + ".hhk")
    hhp = os.path.join(folder, "temp", name + ".hhp")
    chm = os.path.join(folder, name + ".CHM")

    def save(path, lines):
        with open(path, "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n").encode("gbk"))

    save(hhc, ['<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN"><HTML><HEAD><meta name="GENERATOR">'
               '<!-- Sitemap 1.0 --></HEAD><BODY><OBJECT type="text/site properties">',
               '<param name="Font" value="宋体,9,0"></OBJECT>'] + contents)
    save(hhk, ['<!DOCTYPE HTML PUBLIC "-//IETF//DTD HTML//EN"><HTML><HEAD>', '</HEAD><BODY><UL>'] + index +
         ["</UL></BODY></HTML>"])
    save(hhp, ["[OPTIONS]", "Compatibility=1.1 or later", "Default Font=宋体,9,0", "Compiled file=" + chm,
               "Contents file=" + hhc, "index file=" + hhk, "Default topic=" + name, "Default Window=win",
               "Full-text search=Yes", "Language=0x0804", "[WINDOWS]",
               'win="%s","%s","%s","","","","","","",463904,185,1063038,[47,69,672,548],0,0,,0,0,0,0'
               % (name, hhc, hhk), "[FILES]", "[MERGE FILES]"])
    return hhp, chm


def megabytes(n):
    return "%.2f MB" % (n / 1048576.0)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"))
    ap.add_argument("--work", default=None)
    ap.add_argument("--sizes", default="1000,10000")
    ap.add_argument("--keep", action="store_true", help="keep the work folder")
    ap.add_argument("--generated-only", action="store_true", help="only the generated projects")
    args = ap.parse_args()
    bindir = os.path.abspath(args.bin)
    work = args.work or tempfile.mkdtemp(prefix="zelbrin-chm-bench-")
    os.makedirs(work, exist_ok=True)
    have_chmcmd = ensure_chmcmd()

    # A writable copy of the corpus, as a user's documents folder is.
    corpus = os.path.join(work, "corpus")
    shutil.copytree(corpus_folder(), corpus)
    for dirpath, dirs, files in os.walk(corpus):
        for n in dirs + files:
            os.chmod(os.path.join(dirpath, n), 0o755 if n in dirs else 0o644)
    docs = corpus_documents(corpus)
    # Catalogs by kind of document, as the end-to-end test lays the corpus out.
    kinds = [("Word文档", ("doc/", "docx/")), ("网页", ("html/",)), ("文本", ("txt/",)),
             ("表格", ("xls/", "xlsx/")), ("演示文稿", ("ppt/", "pptx/"))]

    def by_kind(suffix, limit):
        groups = []
        for caption, prefixes in kinds:
            chosen = [d for d in docs if d.startswith(prefixes)][:limit]
            if chosen:
                groups.append((caption + suffix, chosen))
        return groups

    groups100, left = [], 100
    for replica in range(1, 6):
        for caption, chosen in by_kind("%d" % replica, 100):
            chosen = chosen[:left]
            left -= len(chosen)
            if chosen:
                groups100.append((caption, chosen))

    if not args.generated_only:
        print("Building the help projects (LibreOffice converts the documents)...")
    projects = [] if args.generated_only else [("语料", by_kind("", 100)), ("百篇", groups100)]
    rows = []
    for name, groups in projects:
        count = sum(len(g[1]) for g in groups)
        hhp, chm = build_kept(bindir, work, name, groups, corpus)
        wall, cpu, size = run_hhc(bindir, hhp, chm)
        row = {"name": "%s (%d documents)" % (name, count), "hhc": (wall, cpu, size)}
        if have_chmcmd:
            staged = chmcmd_project(chm, os.path.join(work, name + "-chmcmd"))
            row["chmcmd"] = run_chmcmd(staged)
        rows.append(row)

    for pages in [int(s) for s in args.sizes.split(",") if s]:
        folder = os.path.join(work, "generated-%d" % pages)
        hhp, chm = generated_project(folder, pages)
        wall, cpu, size = run_hhc(bindir, hhp, chm)
        rows.append({"name": "generated (%d pages)" % pages, "hhc": (wall, cpu, size), "pages": pages})

    print()
    print("%-28s %10s %10s %12s | %10s %10s %12s | %8s %8s" %
          ("project", "hhc s", "cpu s", "size", "chmcmd s", "cpu s", "size", "speed-up", "size"))
    for r in rows:
        w, c, s = r["hhc"]
        line = "%-28s %10.2f %10.2f %12s" % (r["name"], w, c, megabytes(s))
        other = r.get("chmcmd")
        if other:
            ow, oc, osz, note = other
            line += " | %10.2f %10.2f %12s | %7.1fx %7.2fx%s" % (ow, oc, megabytes(osz), ow / w, s / osz, note)
        elif "chmcmd" in r:
            line += " | chmcmd failed"
        if "pages" in r:
            line += "   %.2f ms per page" % (1000.0 * w / r["pages"])
        print(line)
    if args.keep:
        print("work folder:", work)
    else:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
