"""The release zip as a Windows user gets it: unpacked into a fresh folder
whose path has spaces and non-ASCII letters, its binaries checked, hub.exe
run under a fresh Wine prefix with the simulator put beside it and a session
recorded, and the recording made into a report, in the words of the zip's
README. tests/package/run.sh sets the paths."""

import os
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from harness import (FEEDER_PORT, GREETING, HUB_TITLE, STICK_PORT, XDRV_GREETING, XDRV_PORT,  # noqa: E402
                     HubRun, WineSession)

ZIP = Path(os.environ.get("PACKAGE_ZIP", "missing.zip"))
ARTIFACTS = Path(os.environ.get("E2E_ARTIFACTS", "build/package-test"))
# DLLs that every 64-bit Windows has; the toolchain's runtime DLLs are not.
WINDOWS_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "comctl32.dll", "shell32.dll",
                "ole32.dll", "oleaut32.dll", "ws2_32.dll", "msvcrt.dll", "dinput8.dll", "winmm.dll"}
BINARIES = ["hub.exe", "hub-peer.exe", "hub-replay.exe", "simulator/dinput8.dll"]


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text(encoding="utf-8")
    return re.search(r"project\(\S+ VERSION (\S+)", text).group(1)


def mingw(tool, *args):
    return subprocess.run([f"x86_64-w64-mingw32-{tool}", *map(str, args)], capture_output=True, text=True,
                          check=True).stdout


@pytest.fixture(scope="module")
def unpacked():
    """The zip's top folder, unpacked afresh."""
    shutil.rmtree(ARTIFACTS, ignore_errors=True)
    folder = ARTIFACTS / "Spiele für Zoë Ölmüller"
    with zipfile.ZipFile(ZIP) as archive:
        archive.extractall(folder)
    (top,) = folder.iterdir()
    return top


def test_the_zip_holds_the_programs_the_simulator_and_the_documents(unpacked):
    files = sorted(p.relative_to(unpacked).as_posix() for p in unpacked.rglob("*") if p.is_file())
    assert files == sorted(["hub.exe", "hub-peer.exe", "hub-replay.exe", "README.txt", "LICENSE", "docs/protocol.md",
                            "simulator/dinput8.dll", "simulator/README.md", "wireshark/stepdeck_hub.lua"])
    assert unpacked.name == f"VR-Stepdeck-Hub-{project_version()}-win64"
    assert "MIT License" in (unpacked / "LICENSE").read_text(encoding="utf-8")


@pytest.mark.parametrize("exe", ["hub.exe", "hub-peer.exe", "hub-replay.exe"])
def test_the_programs_import_only_windows_system_dlls(unpacked, exe):
    # A toolchain runtime DLL (libstdc++-6.dll, libwinpthread-1.dll) would be
    # missing on the user's machine: the program would not start.
    imports = re.findall(r"DLL Name: (\S+)", mingw("objdump", "-p", unpacked / exe))
    print(f"{exe} imports: {', '.join(imports)}")
    assert imports and {name.lower() for name in imports} <= WINDOWS_DLLS


def test_the_binaries_are_stripped(unpacked):
    for binary in BINARIES:
        stripped = "no symbols" in mingw("objdump", "-t", unpacked / binary)
        assert stripped, f"{binary} keeps its symbol table"


def test_hub_exe_carries_the_project_version_that_its_caption_shows(unpacked):
    version = project_version()
    resources = mingw("windres", "-i", unpacked / "hub.exe", "-O", "rc")
    for name, value in [("ProductName", "VR Stepdeck Hub"), ("FileDescription", "VR Stepdeck Hub"),
                        ("ProductVersion", version), ("FileVersion", version)]:
        assert f'VALUE "{name}", "{value}"' in resources, name
    for name in ["CompanyName", "LegalCopyright"]:
        assert re.search(rf'VALUE "{name}", "[^"]+"', resources), name
    major, minor = version.split(".")
    assert re.search(rf"FILEVERSION {major}, {minor}, 0, 0", resources)
    # The caption is fixed; the version must say the same.
    assert f'CAPTION "{HUB_TITLE}"' in resources
    assert HUB_TITLE.endswith(f"(v{version})")


def readme_says(readme, pattern):
    found = re.search(pattern, readme)
    assert found, f"the README no longer says {pattern!r}"
    return found.group(1)


def test_following_the_readme_the_hub_runs_with_the_simulated_stepdeck(unpacked, tmp_path):
    readme = (unpacked / "README.txt").read_text(encoding="utf-8")
    copy_command = readme_says(readme, r"\n {4}(copy simulator\\dinput8\.dll \.)\n")
    overrides = readme_says(readme, r'WINEDLLOVERRIDES="([^"]+)" wine hub\.exe')
    control_port = int(readme_says(readme, r"UDP port (\d+) on\s+127\.0\.0\.1"))
    lean_command = readme_says(readme, r'for example\s+"(set [^"]+)"\s+to lean')
    record_switch = readme_says(readme, r"\n {4}hub\.exe (-record session\.jsonl)\n")
    report_command = readme_says(readme, r"\n {4}(hub-replay\.exe --report report\.html session\.jsonl)\n")

    os.environ["HUB_EXE"] = str(unpacked / "hub.exe")
    os.environ["SIM_DLL"] = str(unpacked / "simulator" / "dinput8.dll")
    session = WineSession(ARTIFACTS)  # a fresh prefix: the fixture emptied the folder
    session.env["WINEDLLOVERRIDES"] = overrides + ";mscoree,mshtml="  # no prompt for .NET or the browser
    hub = None
    try:
        session.start()
        subprocess.run(["wine", "cmd", "/c", copy_command], cwd=unpacked, env=session.env, check=True,
                       timeout=60, stdout=subprocess.DEVNULL)
        assert (unpacked / "dinput8.dll").is_file()

        hub = HubRun(session, tmp_path, program_dir=unpacked, sim_port=control_port,
                     unset=("STEPDECK_SIM_CONFIG", "STEPDECK_SIM_PORT"), args=record_switch.split())
        hub.wait_ticking()
        assert hub.driver.must("find")[0]["visible"], "the dialog is not shown" + hub.diagnosis()
        for port, greeting in [(STICK_PORT, GREETING), (XDRV_PORT, XDRV_GREETING), (FEEDER_PORT, GREETING)]:
            assert hub.listeners.all(port)[0].data == greeting, port
        assert hub.listeners.wait_for(lambda d: d == bytes([0x2A, 0x80, 0x2B, 0x80, 0x00]), 5, STICK_PORT)
        # The README's example command leans the simulated Stepdeck forward.
        hub.sim(lean_command)
        assert hub.listeners.wait_for(lambda d: d == bytes([0x2A, 0x80, 0x2B, 204, 0x00]), 5, STICK_PORT)
        print(f"stick datagrams received: {len(hub.listeners.all(STICK_PORT)) - 1} after the greeting")

        hub.driver.must("key escape")
        status = hub.wait_exit()
        print(f"hub.exe ended with status {status}")
        assert status == 0, hub.diagnosis()

        # The recording, made into a report as the README says.
        ticks = (unpacked / "session.jsonl").read_text(encoding="utf-8").count('{"tick"')
        run = subprocess.run(["wine", "cmd", "/c", report_command], cwd=unpacked, env=session.env, timeout=120,
                             capture_output=True)
        assert run.returncode == 0, run.stderr.decode(errors="replace")
        report = (unpacked / "report.html").read_text(encoding="utf-8")
        print(f"report.html: {len(report)} bytes for a recording of {ticks} ticks")
        assert ticks > 10 and f"<th>Ticks</th><td>{ticks}</td>" in report
        assert "Escape or the close box" in report
    finally:
        if hub:
            hub.end()
        session.stop()
