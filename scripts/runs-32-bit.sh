#!/usr/bin/env bash
# Exits with 0 when this machine's kernel runs 32-bit x86 programs, as Wine's
# loader is one; otherwise the demo and the end-to-end tests go through the
# virtual machine of scripts/vm.
[ -e /lib/ld-linux.so.2 ] && /lib/ld-linux.so.2 --help >/dev/null 2>&1
