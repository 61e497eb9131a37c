"""What bash, zsh and fish offer for qm240lx, each through its own completion
machinery: the commands, each command's options and each setting's values as
`qm240lx --help` names them, the ports present, and files for apply and for
--port @FILE.
    completion_test.py COMPLETION_FOLDER QM240LX"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

FOLDER, TOOL = sys.argv[1:3]
HERE = os.path.dirname(os.path.abspath(__file__))
COMMANDS = ("detect", "read", "set", "save", "scan", "apply", "provision")


def run(command, line, env):
    return subprocess.run(command + [line], env=env, capture_output=True, text=True,
                          timeout=20, check=True).stdout


# Each shell's completion at the end of a line, as the words it offers.
def bash(line, env):
    script = ('source "$1"; line=$2; read -ra COMP_WORDS <<<"$line"; '
              '[[ $line == *" " ]] && COMP_WORDS+=(""); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); '
              '_qm240lx; printf "%s\\n" "${COMPREPLY[@]}"')
    return run(["bash", "--norc", "--noprofile", "-c", script, "bash",
                os.path.join(FOLDER, "qm240lx")], line, env)


def zsh(line, env):
    return run(["zsh", "-f", os.path.join(HERE, "zsh_complete.zsh"), FOLDER], line, env)


def fish(line, env):
    offered = run(["fish", "--no-config", "-c", "source $argv[1]; complete -C $argv[2]",
                   os.path.join(FOLDER, "qm240lx.fish")], line, env)
    return "\n".join(entry.split("\t")[0] for entry in offered.splitlines())


class Help:
    """The commands, options and setting values `qm240lx --help` prints."""

    def __init__(self):
        text = subprocess.run([TOOL, "--help"], capture_output=True, text=True, check=True).stdout
        listed = re.search(r"^  command +(.+)\.$", text, re.M).group(1)
        self.commands = set(re.split(r", | or ", listed))
        self.options = {}  # option: its description
        section = text.split("\nOptions:\n")[1].split("\n\n")[0]
        for entry in re.split(r"\n(?=  -)", section):
            head, description = re.split(r"\s{2,}", entry.strip(), maxsplit=1)
            for name in re.findall(r"--[a-z-]+", head):
                self.options[name] = " ".join(description.split())

    def commands_of(self, option):
        """The commands an option belongs to; None for every command."""
        prefix = re.match(r"((?:%s)\b[^:]*): " % "|".join(COMMANDS), self.options[option])
        return re.findall(r"[a-z]+", prefix.group(1).split("--")[0]) if prefix else None

    def options_of(self, command):
        return {name for name in self.options
                if self.commands_of(name) is None or command in self.commands_of(name)}

    def values_of(self, option):
        text = self.options[option].split(": ", 1)[1].rstrip(".").split(", ", 1)[-1]
        span = re.fullmatch(r"(\d+) to (\d+)", text)
        if span:
            return {str(value) for value in range(int(span.group(1)), int(span.group(2)) + 1)}
        return set(re.split(r",? or |, | ", text))

    def settings(self):
        return [name for name in self.options if self.commands_of(name) == ["set"]]


class CompletionTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.help = Help()
        cls.folder = tempfile.TemporaryDirectory()
        cls.dir = cls.folder.name
        for name in ("ports.txt", "site.json"):
            open(os.path.join(cls.dir, name), "w").close()
        # A FIFO stands for the device: opening it would hang the completion.
        cls.device = os.path.join(cls.dir, "adapter")
        os.mkfifo(cls.device)
        cls.env = dict(os.environ, QM240LX_COM201=cls.device, QM240LX_COM202="tcp://127.0.0.1:9",
                       QM240LX_COM203=os.path.join(cls.dir, "unplugged"))

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def offered(self, shell, line):
        return set(shell(line, self.env).split())

    def test_words_match_the_help(self):
        self.assertEqual(self.help.commands, set(COMMANDS))
        for shell in (bash, zsh, fish):
            with self.subTest(shell=shell.__name__, line="first word"):
                self.assertEqual(self.offered(shell, "qm240lx "), self.help.commands)
            for command in ("set", "apply", "scan", "read", "save", "provision"):
                with self.subTest(shell=shell.__name__, command=command):
                    self.assertEqual(self.offered(shell, "qm240lx %s --" % command),
                                     self.help.options_of(command))
            for option in self.help.settings():
                with self.subTest(shell=shell.__name__, option=option):
                    self.assertEqual(self.offered(shell, "qm240lx set %s " % option),
                                     self.help.values_of(option))

    def test_ports_and_files(self):
        for shell in (bash, zsh, fish):
            with self.subTest(shell=shell.__name__, line="--port "):
                ports = self.offered(shell, "qm240lx --port ")
                self.assertLessEqual({"COM201", self.device, "COM202"}, ports)
                self.assertFalse({"COM203", self.env["QM240LX_COM203"]} & ports)
            with self.subTest(shell=shell.__name__, line="--port @"):
                self.assertEqual(self.offered(shell, "qm240lx --port @%s/po" % self.dir),
                                 {"@%s/ports.txt" % self.dir})
            with self.subTest(shell=shell.__name__, line="apply "):
                self.assertEqual(self.offered(shell, "qm240lx apply %s/si" % self.dir),
                                 {"%s/site.json" % self.dir})


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
