#!/usr/bin/env bash
# Exits 0 when this kernel starts 32-bit x86 programs, which Wine's 32-bit loader
# is. A kernel built or booted without 32-bit emulation (ia32_emulation=off)
# refuses them with "Exec format error". Tried with the smallest such program,
# written here (an ELF header, one segment, exit(0)), before anything 32-bit
# is installed.
set -euo pipefail
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 - "$dir/exit0" <<'PY'
import struct, sys
code = bytes([0xB8, 1, 0, 0, 0, 0x31, 0xDB, 0xCD, 0x80])  # mov eax,1; xor ebx,ebx; int 0x80
base, ehdr_size, phdr_size = 0x08048000, 52, 32
ehdr = b"\x7fELF" + bytes([1, 1, 1, 0]) + bytes(8) + struct.pack(
    "<HHIIIIIHHHHHH", 2, 3, 1, base + ehdr_size + phdr_size, ehdr_size, 0, 0, ehdr_size,
    phdr_size, 1, 0, 0, 0)
size = ehdr_size + phdr_size + len(code)
phdr = struct.pack("<IIIIIIII", 1, 0, base, base, size, size, 5, 0x1000)
open(sys.argv[1], "wb").write(ehdr + phdr + code)
PY
chmod +x "$dir/exit0"
"$dir/exit0" 2>/dev/null
