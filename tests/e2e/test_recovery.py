"""A run stopped dead at any moment is finished by the next one: for a first installation and
for an upgrade from 7.4.6 with POP3 disabled, setup.exe is ended by TerminateProcess at each
progress point of its install sequence and once in the middle of the file placement, run again
unattended, and the machine compared with a clean run of the same kind (recovery_scenario)."""
import time
import unittest
from pathlib import Path

from recovery_scenario import prepare_kinds, remove_prepared, run_cases, table
from zarel_e2e import CONFIG


class RecoveryTest(unittest.TestCase):
    def test_every_stopped_run_is_completed_by_the_next(self):
        started = time.monotonic()
        prepared = prepare_kinds()
        try:
            results = run_cases(prepared)
        finally:
            remove_prepared(prepared)
        report = table(results) + f"\n\n{len(results)} cases in {time.monotonic() - started:.0f} s\n"
        folder = Path(CONFIG["artifacts"]) / "recovery"
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "table.md").write_text(report)
        print("\n" + report)
        for r in results:
            with self.subTest(kind=r.kind, point=r.point):
                self.assertTrue(r.equal, f"killed at {r.killed_at}; the next run: exit code {r.rerun_code}, "
                                         f"{r.found}; {r.error} {r.differences}")


if __name__ == "__main__":
    unittest.main()
