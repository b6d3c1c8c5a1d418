"""What the benchmarks compare against: Free Pascal's chmcmd, installed on demand."""
import os
import shutil
import subprocess


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
