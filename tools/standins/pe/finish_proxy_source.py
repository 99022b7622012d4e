#!/usr/bin/env python3
"""Gives widl's ProxyFileInfo the form of the Engine's proxy table: TableVersion 2 (widl writes 2
for stubless proxies, 1 otherwise) and a delegated-IID array (one null entry per interface, none
of them delegates, and the terminator), where widl leaves the pointer null.

usage: finish_proxy_source.py WIDL_PROXY_C OUTPUT_C
"""
import re
import sys
from pathlib import Path

source = Path(sys.argv[1]).read_text()
table = re.compile(r"(const ExtendedProxyFileInfo (\w+)_ProxyFileInfo\b[^=]*=\s*\{\s*"
                   r"[^,]+,\s*[^,]+,\s*\w+,\s*)0(,\s*\w+_IID_Lookup,\s*(\d+),\s*)[12](,)")
match = table.search(source)
if not match:
    sys.exit("widl's ProxyFileInfo table is not in the expected form")
name, count = match.group(2), int(match.group(4))
delegated = (f"static const IID* const _{name}_DelegatedIIDs[{count + 1}] = {{ 0 }};\n\n")
source = (source[:match.start()] + delegated + match.group(1) + f"(const IID**)_{name}_DelegatedIIDs" +
          match.group(3) + "2" + match.group(5) + source[match.end():])
Path(sys.argv[2]).write_text(source)
