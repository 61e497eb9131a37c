# -*- coding: utf-8 -*-
# Copyright: 2026 qm240lx-setup developers
# SPDX-License-Identifier: MIT
"""Runs qm240lx for the collection's modules: one run for all the ports of a
task, its report as one entry per port."""

from __future__ import absolute_import, division, print_function

__metaclass__ = type

import json
import re

SETTINGS = ("baud", "ignore_cts", "ignore_dsr", "mode", "slots", "discovery_time_s", "protocol")


def port_name(entry):
    """How --port names the port of a report entry."""
    return "COM%d" % entry["port"] if entry.get("port") is not None else entry["device"]


def given_port(name):
    """The entry fields of a port as it was given: its COM number or its device."""
    number = re.match(r"^(?:com)?(\d+)$", name, re.I)
    if number:
        return dict(port=int(number.group(1)), device=None)
    return dict(port=None, device=name)


class Tool(object):
    def __init__(self, module):
        self.module = module
        self.path = module.get_bin_path("qm240lx", required=True)

    def run(self, ports, command, done, data=None):
        """Runs `qm240lx --json [--port P]... COMMAND` once for all `ports` (with
        none, COMMAND --all: every port where an adapter answers). Returns the
        exit code and one entry per port; `done` names the result of a port that
        went through when the tool reports a single port on its own. Also
        returns the tool's own message for a run that reported no port."""
        arguments = [self.path, "--json"]
        for port in ports:
            arguments += ["--port", port]
        arguments += command
        if not ports:
            arguments.append("--all")
        rc, out, err = self.module.run_command(arguments, data=data, binary_data=data is not None)
        message = err.strip()
        if message.startswith("qm240lx: "):
            message = message[len("qm240lx: "):]
        return rc, self.entries(rc, out, message, ports, done), message

    def read(self, ports):
        """qm240lx read on the ports (every answering one when none are
        given): one entry per port, the failed ones saying what failed."""
        return self.run(ports, ["read"], "read")[1]

    def entries(self, rc, out, message, ports, done):
        try:
            report = json.loads(out) if out.strip() else {}
        except ValueError:
            report = {}
        if "ports" in report:
            return report["ports"]
        if len(ports) != 1:
            self.module.fail_json(msg=message or "qm240lx printed no report", rc=rc)
        if rc == 0 and report:
            return [dict(report, result=done, error=None, error_kind=None)]
        error = report.get("error") if isinstance(report.get("error"), dict) else {}
        entry = given_port(ports[0])
        entry.update(result="failed", error=error.get("message", message),
                     error_kind=error.get("kind"))
        return [entry]


def settings_of(entry):
    return dict((name, entry[name]) for name in SETTINGS if name in entry)
