#!/usr/bin/env bash
# Fetches and unpacks Debian's source package of libdeflate into DIR, in the
# version of the installed libdeflate-dev (the host build's compressor), so
# that a build for another target compresses byte for byte as the host build
# does. apt gets a private sources list and lists directory below DIR: the
# machine's apt configuration is left alone. Quick when DIR already holds the
# source. Prints the unpacked source directory.
#   bash scripts/libdeflate-source.sh DIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
mkdir -p "$1"
dir=$(cd "$1" && pwd)
version=$(dpkg-query -W -f='${source:Version}' libdeflate-dev 2>/dev/null || true)
if [ -z "$version" ]; then
  echo "$0: libdeflate-dev is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi
upstream=${version%-*}
upstream=${upstream#*:}
source_dir=$dir/libdeflate-$upstream
if [ -f "$source_dir/libdeflate.h" ] && [ -f "$source_dir/lib/deflate_compress.c" ]; then
  echo "$source_dir"
  exit 0
fi

# The deb lines of the machine's own sources, as deb-src lines.
apt_dir=$dir/apt
mkdir -p "$apt_dir/lists/partial"
list=$apt_dir/sources.list
: >"$list"
for sources in /etc/apt/sources.list.d/*.sources; do
  [ -f "$sources" ] || continue
  python3 - "$sources" >>"$list" <<'EOF'
import sys
stanzas = open(sys.argv[1], encoding="utf-8").read().split("\n\n")
for stanza in stanzas:
    fields = {}
    for line in stanza.splitlines():
        if line.startswith("#") or ":" not in line or line.startswith(" "):
            continue
        key, value = line.split(":", 1)
        fields[key.strip()] = value.strip()
    if "deb" not in fields.get("Types", "").split() or fields.get("Enabled", "yes") == "no":
        continue
    options = f"[signed-by={fields['Signed-By']}] " if "Signed-By" in fields else ""
    for uri in fields.get("URIs", "").split():
        for suite in fields.get("Suites", "").split():
            print(f"deb-src {options}{uri} {suite} {fields.get('Components', 'main')}")
EOF
done
for plain in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$plain" ] || continue
  sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$plain" >>"$list"
done
if [ ! -s "$list" ]; then
  echo "$0: no Debian package sources found in /etc/apt" >&2
  exit 1
fi

apt_options=(-o "Dir::Etc::SourceList=$list" -o "Dir::Etc::SourceParts=-" -o "Dir::State::Lists=$apt_dir/lists"
  -o "Debug::NoLocking=true" -o "APT::Sandbox::User=root")
# A mirror in mid-sync can fail one index; the others may still have the package.
apt-get "${apt_options[@]}" -q update >&2 || true
(cd "$dir" && apt-get "${apt_options[@]}" -q source "libdeflate=$version") >&2
if [ ! -f "$source_dir/libdeflate.h" ]; then
  echo "$0: apt-get source did not unpack $source_dir" >&2
  exit 1
fi
echo "$source_dir"
