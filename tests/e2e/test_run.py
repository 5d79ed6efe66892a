"""One run of the real program under Wine: confirmation, silent mode, and the logs it refuses."""
import unittest

from harness import EXIT_FAILED, PrefixTestCase, check_sandbox

PROGRAM = "C:\\Program Files\\Sample\\Remove.exe"
MESSAGES = {
    "MSG_TITLE": "Sample Uninstall",
    "MSG_CONFIRM": "Remove Sample and all of its components?",
    "MSG_DONE": "Sample has been removed.",
    "MSG_BAD_LOG": "The uninstall information in %s is damaged.",
}


class ConfirmationTest(PrefixTestCase):
    def setUp(self):
        super().setUp()
        self.prefix.install_program(PROGRAM, manifest={"messages": MESSAGES})

    def test_ok_runs_the_removal_and_reports_it(self):
        result = self.prefix.run(PROGRAM, actions=["press:1", "press:1"])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"], MESSAGES["MSG_DONE"]])
        for box in result.boxes:
            self.assertEqual(box["caption"], MESSAGES["MSG_TITLE"])
            self.assertEqual(box["owner_class"], "TidewellClass")
        buttons = [c["text"] for c in result.boxes[0]["controls"] if c["class"] == "Button"]
        self.assertEqual(buttons, ["OK", "Cancel"])

    def test_cancel_removes_nothing_and_reports_nothing(self):
        result = self.prefix.run(PROGRAM, actions=["press:2"])
        self.assertCleanRun(result)
        self.assertEqual(result.texts(), [MESSAGES["MSG_CONFIRM"]])

    def test_closing_the_confirmation_counts_as_cancel(self):
        result = self.prefix.run(PROGRAM, actions=["key:ESC"])
        self.assertCleanRun(result)
        self.assertEqual(len(result.boxes), 1)

    def test_silent_run_shows_nothing(self):
        for switch in ("/X", "-x"):
            result = self.prefix.run(PROGRAM, arguments=[switch])
            self.assertCleanRun(result)
            self.assertEqual(result.boxes, [], switch)

    def test_the_prefix_stays_sandboxed_after_a_run(self):
        self.prefix.run(PROGRAM, arguments=["/X"])
        self.prefix.finish()
        check_sandbox(self.prefix.path)


class RefusedLogTest(PrefixTestCase):
    def test_a_damaged_log_is_reported_with_the_program_path(self):
        program = self.prefix.install_program(PROGRAM, manifest={"messages": MESSAGES})
        data = program.read_bytes()
        program.write_bytes(data[:-8])  # the log now ends before its end block
        result = self.prefix.run(PROGRAM, actions=["press:1"])
        self.assertCleanRun(result, code=EXIT_FAILED)
        self.assertEqual(result.texts(), [f"The uninstall information in {PROGRAM} is damaged."])
        self.assertEqual(result.boxes[0]["caption"], MESSAGES["MSG_TITLE"])
        self.assertEqual(result.boxes[0]["owner_class"], "")

    def test_a_program_without_a_log_ends_without_a_box(self):
        self.prefix.install_program(PROGRAM)
        result = self.prefix.run(PROGRAM)
        self.assertCleanRun(result, code=EXIT_FAILED)
        self.assertEqual(result.boxes, [])


if __name__ == "__main__":
    unittest.main()
