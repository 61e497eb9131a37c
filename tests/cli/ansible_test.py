"""The Ansible collection qm240lx.adapters as the build installed it, its
modules run by the real `ansible` against localhost on emulated adapters:
what they report, what reaches each adapter byte for byte, and what lands in
the emulator's flash; and Ansible's own module checker, the style checker
and ansible-lint on it.
    ansible_test.py BUILT_ANSIBLE_FOLDER QM240LX QM240LX_SIM"""
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

BUILT, TOOL, SIM = map(os.path.abspath, sys.argv[1:4])
COLLECTIONS = os.path.join(BUILT, "collections")
COLLECTION = os.path.join(COLLECTIONS, "ansible_collections", "qm240lx", "adapters")
# Where the short name of earlier playbooks, qm240lx_profile, is found.
LEGACY_MODULES = os.path.join(BUILT, "plugins", "modules")
VALIDATE = "/usr/lib/python3/dist-packages/ansible_test/_util/controller/sanity/validate-modules"
PROBE, READ, SAVE = 0xAC, 0xAD, 0xAF


class Sim:
    """An emulated adapter on a pty, with its flash in a file and every byte
    it heard in its trace."""

    def __init__(self, folder, name, *faults):
        self.flash = os.path.join(folder, name + ".flash")
        self.trace = os.path.join(folder, name + ".trace")
        with open(self.trace, "w") as trace:
            self.process = subprocess.Popen([SIM, "--flash", self.flash, "--trace", *faults],
                                            stdout=subprocess.PIPE, stderr=trace, text=True)
        self.device = self.process.stdout.readline().split()[1]

    def heard(self):
        with open(self.trace) as trace:
            return bytes(int(byte, 16) for byte in re.findall(r" rx ([0-9A-F]{2})$", trace.read(), re.M))

    def stop(self):
        self.process.terminate()
        self.process.wait()
        self.process.stdout.close()


class AnsibleModuleTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.dir = self.folder.name
        self.sims = []
        # Ansible keeps nothing in HOME, which may be read-only.
        self.env = dict(os.environ, PATH=os.path.dirname(TOOL) + os.pathsep + os.environ["PATH"],
                        ANSIBLE_LIBRARY=LEGACY_MODULES, ANSIBLE_COLLECTIONS_PATH=COLLECTIONS,
                        ANSIBLE_HOME=self.dir + "/home",
                        ANSIBLE_LOCAL_TEMP=self.dir + "/local", ANSIBLE_REMOTE_TEMP=self.dir + "/remote",
                        ANSIBLE_NOCOLOR="1", ANSIBLE_LOCALHOST_WARNING="false",
                        ANSIBLE_INVENTORY_UNPARSED_WARNING="false")

    def tearDown(self):
        for sim in self.sims:
            sim.stop()
        self.folder.cleanup()

    def adapters(self, *faults_each):
        """Emulators on COM101, COM102, ..."""
        for faults in faults_each:
            self.sims.append(Sim(self.dir, "com%d" % (101 + len(self.sims)), *faults))
            self.env["QM240LX_COM%d" % (100 + len(self.sims))] = self.sims[-1].device
        return self.sims

    def run_module(self, arguments, *flags, module="qm240lx.adapters.profile"):
        """The task's status (CHANGED, SUCCESS, FAILED!), its result and the whole output."""
        output = subprocess.run(["ansible", "localhost", "-m", module,
                                 "-a", json.dumps(arguments), *flags],
                                env=self.env, cwd=self.dir, capture_output=True, text=True,
                                timeout=120).stdout
        status, _, result = output.partition(" => ")
        self.assertTrue(result, output)
        return status.split(" | ")[-1].strip(), json.JSONDecoder().raw_decode(result)[0], output

    def test_a_second_run_changes_nothing(self):
        first, second = self.adapters([], [])
        task = {"baud": 57600, "protocol": "obex", "ports": ["COM101", second.device]}
        status, result, output = self.run_module(task)
        self.assertEqual(status, "CHANGED", output)
        self.assertEqual([port["changed"] for port in result["ports"]], [["h_byte", "p_byte"]] * 2)
        heard = [sim.heard() for sim in (first, second)]
        status, result, output = self.run_module(task)
        self.assertEqual((status, result["changed"]), ("SUCCESS", False), output)
        for sim, before in zip((first, second), heard):
            self.assertLessEqual(set(sim.heard()[len(before):]), {PROBE, READ})

    def test_check_mode_only_reads_and_shows_the_difference(self):
        (sim,) = self.adapters([])
        status, result, output = self.run_module({"baud": 57600, "ports": ["COM101"]}, "--check", "--diff",
                                                 module="qm240lx_profile")
        self.assertEqual(status, "CHANGED", output)
        self.assertEqual(result["ports"][0]["differences"], ["baud 9600, profile 57600"])
        self.assertIn("\n-baud: 9600\n+baud: 57600\n", output)
        self.assertLessEqual(set(sim.heard()), {PROBE, READ})

    def test_save_reaches_flash_once(self):
        (sim,) = self.adapters([])
        task = {"baud": 57600, "ports": ["COM101"], "save": True}
        status, result, output = self.run_module(task)
        self.assertEqual((status, result["ports"][0]["saved"]), ("CHANGED", True), output)
        with open(sim.flash, "rb") as flash:
            self.assertEqual(flash.read(), bytes([0x06, 0x92, 0x00]))
        status, result, output = self.run_module(task)
        self.assertEqual(status, "SUCCESS", output)
        self.assertEqual(sim.heard().count(SAVE), 1)

    def test_a_silent_port_fails_the_task_and_the_others_are_configured(self):
        self.adapters([], ["--silent", "all"], ["--silent", "af"])
        status, result, output = self.run_module(
            {"slots": 6, "ports": ["COM101", "COM102", "COM103"], "save": True})
        self.assertEqual(status, "FAILED!", output)
        self.assertRegex(result["msg"], r"^COM102 \(.*\): no adapter: nothing answered the probe"
                                        r".*; COM103 \(.*\): the adapter did not confirm the save")
        self.assertEqual([(port["result"], port["saved"]) for port in result["ports"]],
                         [("configured", True), ("failed", False), ("failed", False)])

    def test_diff_mode_without_ports_applies_to_every_adapter_that_answered(self):
        # --all on the test's emulators only, never on the host's serial ports.
        tool = os.path.join(self.dir, "bin", "qm240lx")
        os.makedirs(os.path.dirname(tool))
        with open(tool, "w") as script:
            script.write('#!/bin/sh\ncase " $* " in *" --all "*) set -- "$@" --only-overrides ;; esac\n'
                         'exec "%s" "$@"\n' % TOOL)
        os.chmod(tool, 0o755)
        self.env["PATH"] = os.path.dirname(tool) + os.pathsep + self.env["PATH"]
        self.adapters([], ["--silent", "ad"])
        status, result, output = self.run_module({"baud": 57600}, "--diff")
        self.assertEqual(status, "FAILED!", output)
        self.assertRegex(result["msg"], r"^COM102 \(.*\): the adapter answered the probe but did not send")
        self.assertEqual([(port["port"], port["result"]) for port in result["ports"]],
                         [(101, "configured"), (102, "failed")])

    def test_a_bad_value_fails_before_anything_is_sent(self):
        (sim,) = self.adapters([])
        profile = os.path.join(self.dir, "bad.json")
        with open(profile, "w") as stream:
            json.dump({"baud": 12345}, stream)
        for task in ({"baud": 12345}, {"profile": profile}, {"baud": 9600, "profile": profile}):
            with self.subTest(task=task):
                status, result, output = self.run_module(dict(task, ports=["COM101"]))
                self.assertEqual(status, "FAILED!", output)
                self.assertEqual(sim.heard(), b"")

    def test_info_reads_each_port_and_changes_nothing(self):
        sims = self.adapters(["--h-byte", "0x06"], ["--silent", "all"])
        for flags in ((), ("--check",)):
            with self.subTest(flags=flags):
                status, result, output = self.run_module({"ports": ["COM101", "COM102"]}, *flags,
                                                         module="qm240lx.adapters.info")
                self.assertEqual((status, result["changed"]), ("SUCCESS", False), output)
                self.assertEqual([(port["port"], port["result"], port.get("baud")) for port in result["ports"]],
                                 [(101, "read", 57600), (102, "failed", None)])
                self.assertRegex(result["ports"][1]["error"], r"^COM102 \(.*\): no adapter")
                self.assertEqual((result["ports"][0]["error_kind"], result["ports"][1]["error_kind"]),
                                 (None, "no_adapter"))
        self.assertEqual(sims[0].heard(), bytes([PROBE, READ] * 2))

    def test_the_checker_and_the_documentation_pass(self):
        with open(os.path.join(COLLECTION, "tests", "sanity", "ignore-2.14.txt")) as ignores:
            ignored = {tuple(line.split("#")[0].split()) for line in ignores if line.strip()}
        checked = subprocess.run(
            ["/usr/bin/python3", os.path.join(VALIDATE, "validate.py"), "--arg-spec", "--format", "json",
             "--collection", "ansible_collections/qm240lx/adapters", "--collection-version", "1.0.0",
             "plugins/modules/profile.py", "plugins/modules/info.py"],
            env=dict(self.env, PYTHONPATH=VALIDATE + os.pathsep + COLLECTIONS),
            cwd=COLLECTION, capture_output=True, text=True, timeout=120)
        found = {(path, "validate-modules:" + error["code"])
                 for path, result in json.loads(checked.stdout or "{}").items()
                 for error in result.get("errors", [])}
        self.assertEqual(found - ignored, set(), checked.stderr)
        # A checker that printed nothing would pass the line above unheard.
        self.assertTrue(found & ignored, checked.stdout + checked.stderr)
        for module in ("qm240lx.adapters.profile", "qm240lx.adapters.info", "qm240lx_profile"):
            with self.subTest(module=module):
                shown = subprocess.run(["ansible-doc", module], env=self.env, cwd=self.dir,
                                       capture_output=True, text=True, timeout=60)
                self.assertEqual(shown.returncode, 0, shown.stderr)
                for part in ("EXAMPLES:", "RETURN VALUES:", "- ports"):
                    self.assertIn(part, shown.stdout)

    def test_the_code_style_and_the_example_playbook_pass_the_linters(self):
        styled = subprocess.run(["pycodestyle", "--max-line-length", "160", "--ignore", "E402,W503,W504,E741",
                                 os.path.join(COLLECTION, "plugins")], capture_output=True, text=True, timeout=60)
        self.assertEqual(styled.returncode, 0, styled.stdout)
        # ansible-lint lints what lies below its working folder, and keeps its cache in HOME.
        playbook = os.path.join(self.dir, "adapters.yml")
        with open(os.path.join(COLLECTION, "playbooks", "adapters.yml")) as source, open(playbook, "w") as copy:
            copy.write(source.read())
        linted = subprocess.run(["ansible-lint", "--offline", "--nocolor", "adapters.yml"],
                                env=dict(self.env, HOME=self.dir), cwd=self.dir,
                                capture_output=True, text=True, timeout=180)
        self.assertEqual(linted.returncode, 0, linted.stdout + linted.stderr)
        self.assertIn("0 failure(s), 0 warning(s) on 1 files", linted.stdout + linted.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
