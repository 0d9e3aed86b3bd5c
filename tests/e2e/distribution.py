"""A fresh demonstration distribution for a scenario, built by scripts/distribution.sh from
the run's two build trees (the win32 tree the run was given and the host tree beside it).

    dist = build_distribution(scenario.work / "distribution", smtp_port=free_port())
    dist.copy_into(scenario.demo)

Everything a distribution built here could reach stays on loopback: the products list
defaults to a closed port of 127.0.0.1 (the new-version check fails at once and shows
nothing), and the demonstration settings carry the SMTP port the scenario chose, so
scenarios never compete for port 25.
"""
import shutil
import socket
import subprocess
from dataclasses import dataclass
from pathlib import Path

from zarel_e2e import CONFIG, ROOT, E2EError

CLOSED_PRODUCTS_URL = "http://127.0.0.1:9/products.xml"
DEMO_DOMAIN = "demo.zarel.example"
DEMO_ADMIN = "admin@" + DEMO_DOMAIN
DEMO_USER = "user@" + DEMO_DOMAIN
# Scenarios log in with it; a distribution built for people gets a random one.
DEMO_PASSWORD = "demo-e2e"


@dataclass
class Distribution:
    folder: Path
    smtp_port: int
    products_url: str
    demo_password: str
    report: str  # what the builder printed

    def files(self):
        return sorted(path for path in self.folder.iterdir() if path.is_file())

    def copy_into(self, target):
        """Lays the distribution out beside (or as) a scenario's setup program."""
        target = Path(target)
        target.mkdir(parents=True, exist_ok=True)
        for path in self.files():
            shutil.copy(path, target / path.name)


def free_port():
    """A TCP port of 127.0.0.1 that nothing listens on right now."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def build_distribution(folder, smtp_port=None, products_url=CLOSED_PRODUCTS_URL,
                       demo_password=DEMO_PASSWORD):
    """Builds a distribution into folder (missing or empty). Without smtp_port a free port
    of 127.0.0.1 is chosen."""
    folder = Path(folder)
    if folder.exists() and any(folder.iterdir()):
        raise E2EError(f"{folder} is not empty: a distribution is built into a fresh folder")
    if smtp_port is None:
        smtp_port = free_port()
    win32 = Path(CONFIG["build"])
    command = [str(ROOT / "scripts" / "distribution.sh"), str(folder),
               "--win32-tree", str(win32), "--host-tree", str(win32.parent / "host"),
               "--smtp-port", str(smtp_port), "--products-url", products_url,
               "--demo-password", demo_password]
    result = subprocess.run(command, capture_output=True, text=True, timeout=300)
    if result.returncode != 0:
        raise E2EError(f"distribution not built (exit {result.returncode}): "
                       f"{result.stderr.strip() or result.stdout.strip()}")
    return Distribution(folder, smtp_port, products_url, demo_password, result.stdout)
