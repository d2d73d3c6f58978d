#!/usr/bin/env python3
"""Checks that each layer library of the core refers only to its own symbols and to those of
the layers it may use.

    check_layers.py NM LAYER=ARCHIVE[:USES,...] ...

NM lists an archive's symbols (gcc-nm reads link-time-optimised objects too). USES names the
layers LAYER may call directly; what they may call is allowed too. A reference to a symbol of
the program's namespace that no allowed layer defines is reported with its name, and the check
fails.
"""
import subprocess
import sys

NAMESPACE = "7velmora"  # how the namespace appears in mangled names


def symbols(nm, archive):
    out = subprocess.run([nm, "--format=posix", archive], check=True, capture_output=True, text=True).stdout
    defined, undefined = set(), set()
    for line in out.splitlines():
        parts = line.split()
        if len(parts) < 2 or NAMESPACE not in parts[0]:
            continue
        (undefined if parts[1] in ("U", "w", "v") else defined).add(parts[0])
    return defined, undefined - defined


def demangle(names):
    out = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True).stdout
    return out.splitlines() or names


def main(argv):
    nm = argv[1]
    uses, archives = {}, {}
    for layer_arg in argv[2:]:
        name, rest = layer_arg.split("=", 1)
        archive, _, deps = rest.partition(":")
        archives[name] = archive
        uses[name] = [d for d in deps.split(",") if d]

    def allowed(name, seen=None):
        seen = set() if seen is None else seen
        for dep in uses[name]:
            if dep not in seen:
                seen.add(dep)
                allowed(dep, seen)
        return seen

    tables = {name: symbols(nm, archive) for name, archive in archives.items()}
    failures = 0
    for name in archives:
        reachable = set(tables[name][0])
        for dep in allowed(name):
            reachable |= tables[dep][0]
        stray = sorted(tables[name][1] - reachable)
        if stray:
            owners = {}
            for symbol in stray:
                owner = next((n for n, (d, _) in tables.items() if symbol in d), "no layer")
                owners.setdefault(owner, []).append(symbol)
            for owner, names in owners.items():
                failures += 1
                print("FAIL %s uses %s, which it may not:" % (name, owner))
                for line in demangle(names)[:10]:
                    print("    " + line)
        else:
            print("ok   %s (uses %s)" % (name, ", ".join(sorted(allowed(name))) or "nothing"))
    print("layers: %d checked, %d with stray references" % (len(archives), failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
