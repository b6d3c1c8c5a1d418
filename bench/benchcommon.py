"""What both benchmarks need: the shared document corpus, and Free Pascal's chmcmd (the
compiler they compare against), installed on demand."""
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def corpus_folder():
    for c in (os.path.join(ROOT, "..", "shared", "corpus"), os.path.join(ROOT, "..", "..", "shared", "corpus"),
              "/work/shared/corpus"):
        if os.path.isfile(os.path.join(c, "README.md")):
            return os.path.abspath(c)
    sys.exit("shared/corpus not found")


def ensure_chmcmd():
    if shutil.which("chmcmd"):
        return True
    if os.geteuid() != 0:
        print("chmcmd is missing (package fp-utils); run as root to install it for this benchmark")
        return False
    subprocess.run(["apt-get", "install", "-y", "-qq", "--no-install-recommends", "fp-utils"],
                   env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"), check=False,
                   stdout=subprocess.DEVNULL)
    return shutil.which("chmcmd") is not None
