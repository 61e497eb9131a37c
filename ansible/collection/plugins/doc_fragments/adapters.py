# -*- coding: utf-8 -*-
# Copyright: 2026 qm240lx-setup developers
# SPDX-License-Identifier: MIT

from __future__ import absolute_import, division, print_function

__metaclass__ = type


class ModuleDocFragment(object):
    """What the collection's modules share: the tool they run and how they
    name the ports."""

    DOCUMENTATION = r"""
author: qm240lx-setup developers (@qm240lx-setup)
requirements:
  - C(qm240lx) (Debian package C(qm240lx)) on the managed host's C(PATH).
  - Membership of the C(dialout) group for the serial ports, or C(become).
options:
  ports:
    description:
      - The ports, as C(qm240lx --port) takes them - a COM number (C(COM5)),
        a device path (C(/dev/ttyUSB0)) or a network port
        (C(rfc2217://10.0.0.7:4001)).
      - Omitted, every port where an adapter answers the probe.
    type: list
    elements: str
"""
