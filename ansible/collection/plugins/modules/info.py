# -*- coding: utf-8 -*-
# Copyright: 2026 qm240lx-setup developers
# SPDX-License-Identifier: MIT

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r"""
---
module: info
short_description: Read the configuration of Velorin QM240LX infrared adapters
description:
  - Reads the configuration of the Velorin QM240LX adapters on the named
    serial ports, or on every port where one answers, through
    C(qm240lx read) on the managed host, all ports in one run at the same
    time.
  - Changes nothing; only the probe and the read request reach an adapter.
  - A port that fails does not fail the task; its entry says what failed.
version_added: "1.0.0"
extends_documentation_fragment: qm240lx.adapters.adapters
attributes:
  check_mode:
    support: full
    description: Reads as it does without check mode; it never changes anything.
  diff_mode:
    support: none
    description: Nothing changes, so there is nothing to show.
notes:
  - C(man qm240lx) on the managed host describes the tool, the ports and
    the failure kinds.
"""

EXAMPLES = r"""
- name: Learn what every adapter on this host is set to
  qm240lx.adapters.info:
  register: adapters

- name: Show the ports whose adapter runs slower than 57600 bps
  ansible.builtin.debug:
    msg: "{{ adapters.ports | selectattr('result', 'eq', 'read') | selectattr('baud', 'lt', 57600) | map(attribute='device') }}"
"""

RETURN = r"""
ports:
  description: One entry per port, in COM order.
  returned: always
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
      description: read, or failed.
      type: str
      sample: read
    baud:
      description: Host baud rate, for a port read.
      type: int
      sample: 9600
    ignore_cts:
      description: Whether the adapter ignores CTS, for a port read.
      type: bool
    ignore_dsr:
      description: Whether the adapter ignores DSR, for a port read.
      type: bool
    mode:
      description: Infrared discovery mode, for a port read.
      type: str
      sample: primary-secondary
    slots:
      description: Infrared discovery slots, for a port read.
      type: int
      sample: 1
    discovery_time_s:
      description: Infrared discovery time in seconds, for a port read.
      type: int
      sample: 3
    protocol:
      description: Primary protocol, for a port read.
      type: str
      sample: ircomm
    h_byte:
      description: The raw H-Byte, for a port read.
      type: int
      sample: 3
    d_byte:
      description: The raw D-Byte, for a port read.
      type: int
      sample: 146
    p_byte:
      description: The raw P-Byte, for a port read.
      type: int
      sample: 0
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
"""

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.qm240lx.adapters.plugins.module_utils.tool import Tool


def main():
    module = AnsibleModule(
        argument_spec=dict(ports=dict(type="list", elements="str")),
        supports_check_mode=True,
    )
    ports = module.params["ports"] or []
    module.exit_json(changed=False, ports=Tool(module).read(ports))


if __name__ == "__main__":
    main()
