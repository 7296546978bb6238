import os
import time
from pathlib import Path

import pytest

from harness import HubRun, WineSession


# What the tests measured or saw, printed at the end of the run and kept in
# the artifacts' figures.txt.
FIGURES = []


@pytest.fixture(scope="session")
def wine():
    artifacts = Path(os.environ.get("E2E_ARTIFACTS", "build/e2e-artifacts"))
    session = WineSession(artifacts)
    (session.artifacts / "figures.txt").unlink(missing_ok=True)
    try:
        session.start()
        yield session
    finally:
        session.stop()


@pytest.fixture
def start_hub(wine, tmp_path):
    """start_hub(config=..., args=...) starts hub.exe; every run is ended at
    the test's end, and a hub that a failed test left running is killed."""
    runs = []

    def start(**options):
        work = tmp_path / f"run{len(runs)}"
        work.mkdir()
        run = HubRun(wine, work, **options)
        runs.append(run)
        return run

    yield start
    for run in runs:
        run.end()
    wine.kill_leftovers()
    # The next hub binds port 45041 again: let the killed one's socket go.
    time.sleep(0.2)


@pytest.fixture
def report(request, wine):
    """report(text) states a test's figure or outcome."""
    def say(text):
        line = f"{request.node.name}: {text}"
        FIGURES.append(line)
        print(line)
        with open(wine.artifacts / "figures.txt", "a", encoding="utf-8") as out:
            out.write(line + "\n")
    return say


def pytest_terminal_summary(terminalreporter):
    if FIGURES:
        terminalreporter.section("figures and outcomes")
        for line in FIGURES:
            terminalreporter.write_line(line)
