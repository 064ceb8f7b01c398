#!/bin/sh
# Checks a built lumetta: its only defined dynamic symbols are the ordinal exports, it needs
# varnel, and its imports are bound when it is loaded.
set -eu
nm=$1
readelf=$2
library=$3

exports=$("$nm" -D --defined-only "$library" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$exports" != "ordinal.240 ordinal.241 " ]; then
    echo "unexpected exports: $exports"
    exit 1
fi
dynamic=$("$readelf" -d "$library")
echo "$dynamic" | grep -q 'NEEDED.*\[libvarnel\.so\.1\]' || { echo "varnel is not needed"; exit 1; }
echo "$dynamic" | grep -Eq 'BIND_NOW|FLAGS.*NOW' || { echo "imports are bound lazily"; exit 1; }
"$nm" -D --undefined-only "$library" | grep -qw LoadJpeg || { echo "LoadJpeg is not imported"; exit 1; }
echo "exports: $exports"
