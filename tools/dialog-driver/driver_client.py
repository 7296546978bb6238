"""Drives the hub's dialog from Python through one dialog-driver.exe process
under Wine (tools/dialog-driver/dialog_driver.cpp lists the commands)."""

import json
import subprocess


class Driver:
    """One dialog-driver.exe process under Wine, fed commands line by line."""

    def __init__(self, exe, env):
        self.process = subprocess.Popen(
            ["wine", str(exe)], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=subprocess.DEVNULL, env=env, text=True, encoding="utf-8", bufsize=1)

    def run(self, command):
        """(ok, json objects printed before the status line, error)."""
        self.process.stdin.write(command + "\n")
        self.process.stdin.flush()
        lines = []
        while True:
            line = self.process.stdout.readline()
            if not line:
                raise RuntimeError(f"dialog-driver ended during {command!r}")
            item = json.loads(line)
            if "ok" in item:
                return item["ok"], lines, item.get("error")
            lines.append(item)

    def must(self, command):
        ok, lines, error = self.run(command)
        assert ok, f"{command}: {error}"
        return lines

    def controls(self, *ids):
        return {item["id"]: item for item in self.must("read " + " ".join(str(i) for i in ids))}

    def text(self, control_id):
        return self.controls(control_id)[control_id]["text"]

    def wait_text(self, control_id, text, timeout_ms=5000):
        ok, lines, _ = self.run(f"wait {control_id} {timeout_ms} {text}")
        return ok, (lines[0]["text"] if lines else None)

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
