# -*- coding: utf-8 -*-
# Copyright: 2026 qm240lx-setup developers
# SPDX-License-Identifier: MIT

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: profile
short_description: Configure Velorin QM240LX infrared adapters
description:
  - Gives the Velorin QM240LX adapters on the named serial ports, or on every
    port where one answers, the settings of a profile, through
    C(qm240lx apply) on the managed host. All ports are handled at the same
    time, in one run of the tool per step.
  - Only the configuration bytes whose settings differ are sent, so a second
    run reports no change. The task is changed exactly when a byte was sent
    to an adapter or a configuration saved into its flash memory.
  - A port that fails fails the task with the tool's own message; the other
    ports are still configured and reported.
version_added: "1.0.0"
extends_documentation_fragment: qm240lx.adapters.adapters
options:
  baud:
    description: Host baud rate, in bits per second.
    type: int
    choices: [1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200]
  ignore_cts:
    description: Whether the adapter ignores the CTS line.
    type: bool
  ignore_dsr:
    description: Whether the adapter ignores the DSR line.
    type: bool
  mode:
    description: Infrared discovery mode.
    type: str
    choices: [primary-secondary, secondary-only]
  slots:
    description: Infrared discovery slots.
    type: int
    choices: [1, 6]
  discovery_time_s:
    description: Infrared discovery time, in seconds.
    type: int
    choices: [1, 2, 3, 4, 5]
  protocol:
    description: Primary protocol.
    type: str
    choices: [ircomm, irlpt, obex, irsocket]
  profile:
    description:
      - A profile file on the managed host, as C(qm240lx apply) takes it
        (what C(qm240lx read --json) prints does).
      - Either this or the settings above, not both.
    type: path
  save:
    description:
      - Save the configuration into the flash memory of each adapter this
        run changed, so that it survives a power-off.
      - An adapter that already matched is not saved again.
    type: bool
    default: false
attributes:
  check_mode:
    support: full
    description: Only reads and compares; nothing is sent to the adapters.
  diff_mode:
    support: full
    description: Shows each changed port's settings before and after.
notes:
  - Earlier playbooks may name this module C(qm240lx_profile).
  - With I(save=true), an adapter configured by an earlier run without
    saving, which now matches, is not saved; use C(qm240lx save) for it.
  - C(man qm240lx) on the managed host describes the tool, the ports and
    the profiles.
"""

EXAMPLES = r"""
- name: Run every adapter of the site at 57600 bps, kept across power-offs
  qm240lx.adapters.profile:
    baud: 57600
    ignore_cts: true
    save: true

- name: Give two adapters the site's profile
  qm240lx.adapters.profile:
    profile: /etc/qm240lx/site.json
    ports:
      - COM33
      - /dev/ttyUSB1
"""

RETURN = r"""
ports:
  description: One entry per port, in the order C(qm240lx apply) reports them.
  returned: when qm240lx ran
  type: list
  elements: dict
  contains:
    port:
      description: The COM number; null when the port was named otherwise.
      type: int
      sample: 33
    device:
      description: The device or network port.
      type: str
      sample: /dev/ttyUSB0
    result:
      description: configured, matches or differs (check mode), or failed.
      type: str
      sample: configured
    changed:
      description: The configuration bytes sent.
      type: list
      elements: str
      sample: [h_byte]
    saved:
      description: Whether the configuration was saved into flash.
      type: bool
    error:
      description: The tool's message for a port that failed, else null.
      type: str
      sample: "COM34 (/dev/ttyUSB1): no adapter: nothing answered the probe within 2 seconds"
    error_kind:
      description:
        - The kind of the failure, for a port that failed, else null; the
          kinds are listed in C(man qm240lx).
      type: str
      sample: no_adapter
    differences:
      description: In check mode, each setting that differs from the profile.
      type: list
      elements: str
      sample: ["baud 9600, profile 57600"]
"""

import json

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qm240lx.adapters.plugins.module_utils.tool import (
    SETTINGS,
    Tool,
    port_name,
    settings_of,
)


def argument_spec():
    """The options as DOCUMENTATION describes them; Ansible refuses any other
    value before the module runs, so a bad value never reaches an adapter."""
    options = {
        "baud": dict(type="int", choices=[1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200]),
        "ignore_cts": dict(type="bool"),
        "ignore_dsr": dict(type="bool"),
        "mode": dict(type="str", choices=["primary-secondary", "secondary-only"]),
        "slots": dict(type="int", choices=[1, 6]),
        "discovery_time_s": dict(type="int", choices=[1, 2, 3, 4, 5]),
        "protocol": dict(type="str", choices=["ircomm", "irlpt", "obex", "irsocket"]),
    }
    options.update(
        profile=dict(type="path"),
        ports=dict(type="list", elements="str"),
        save=dict(type="bool", default=False),
    )
    return options


class Adapters(object):
    def __init__(self, module):
        self.module = module
        self.tool = Tool(module)
        params = module.params
        self.settings = dict((name, params[name]) for name in SETTINGS if params[name] is not None)
        self.profile = params["profile"]
        self.ports = params["ports"] or []

    def profile_settings(self):
        if not self.profile:
            return self.settings
        try:
            with open(self.profile) as stream:
                written = json.load(stream)
        except (IOError, OSError, ValueError):
            return {}
        return settings_of(written)

    def apply(self, check):
        """qm240lx apply on the ports (every answering one when none are named)."""
        command = ["apply", self.profile or "-"] + (["--check"] if check else [])
        data = None if self.profile else json.dumps(self.settings)
        rc, entries, message = self.tool.run(self.ports, command, "configured", data)
        if rc not in (0, 1) and all(entry["result"] != "failed" for entry in entries):
            self.module.fail_json(msg=message, rc=rc, ports=entries)
        return entries

    def save(self, entries):
        """Saves the configuration of the entries' adapters into flash."""
        if not entries:
            return
        names = [port_name(entry) for entry in entries]
        rc, saves, message = self.tool.run(names, ["save"], "saved")
        by_port = dict((port_name(save), save) for save in saves)
        for entry in entries:
            save = saves[0] if len(entries) == 1 else by_port.get(port_name(entry))
            if save is None:
                save = dict(result="failed", error=message, error_kind=None)
            if save["result"] == "saved":
                entry["saved"] = True
                continue
            entry.update(result="failed", error=save["error"], error_kind=save.get("error_kind"))

    def settings_now(self):
        """Each port's settings, read before anything is sent, for the ports
        whose read went through. With no ports named, every port the read
        reports is named from here on, a failed read's too: an adapter
        answered there, so apply reaches it as apply --all would and fails
        the task on it."""
        entries = self.tool.read(self.ports)
        if not self.ports:
            self.ports = [port_name(entry) for entry in entries]
        return dict(((entry["port"], entry["device"]), settings_of(entry))
                    for entry in entries if entry["result"] == "read")


def settings_text(settings):
    shown = dict((name, json.dumps(value) if isinstance(value, bool) else value)
                 for name, value in settings.items())
    return "".join("%s: %s\n" % (name, shown[name]) for name in SETTINGS)


def diffs(entries, before, wanted):
    shown = []
    for entry in entries:
        old = before.get((entry["port"], entry["device"]))
        if entry["result"] == "failed" or old is None:
            continue
        new = dict(old, **wanted)
        if new != old:
            shown.append(dict(before_header=port_name(entry), after_header=port_name(entry),
                              before=settings_text(old), after=settings_text(new)))
    return shown


def main():
    names = ("profile",) + SETTINGS
    module = AnsibleModule(
        argument_spec=argument_spec(),
        mutually_exclusive=[("profile", name) for name in SETTINGS],
        required_one_of=[names],
        supports_check_mode=True,
    )
    adapters = Adapters(module)
    before = adapters.settings_now() if module._diff else {}
    entries = adapters.apply(module.check_mode)
    if module.check_mode:
        changed = any(entry["result"] == "differs" for entry in entries)
    else:
        if module.params["save"]:
            adapters.save([entry for entry in entries if entry["changed"]])
        changed = any(entry["changed"] or entry["saved"] for entry in entries)
    result = dict(changed=changed, ports=entries)
    if module._diff:
        result["diff"] = diffs(entries, before, adapters.profile_settings())
    errors = [entry["error"] for entry in entries if entry["result"] == "failed"]
    if errors:
        module.fail_json(msg="; ".join(errors), **result)
    module.exit_json(**result)


if __name__ == "__main__":
    main()
