import os
import time
from pathlib import Path

import pytest

from harness import HubRun, WineSession


@pytest.fixture(scope="session")
def wine():
    artifacts = Path(os.environ.get("E2E_ARTIFACTS", "build/e2e-artifacts"))
    session = WineSession(artifacts)
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
