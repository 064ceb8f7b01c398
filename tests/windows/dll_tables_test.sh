#!/usr/bin/env bash
# Checks a DLL's export and import tables, as the Windows loader sees them (objdump -p):
#
#   dll_tables_test.sh OBJDUMP varnel  varnel.dll
#   dll_tables_test.sh OBJDUMP lumetta lumetta.dll
#
# varnel.dll exports LoadJpeg by name and nothing else. lumetta.dll exports ordinals 240 and
# 241 with no names, and imports LoadJpeg by name from varnel.dll. Neither imports from a DLL
# that is not part of the system (the C and C++ runtimes are linked in).
set -euo pipefail

objdump="$1"
kind="$2"
dll="$3"

dump="$("$objdump" -p "$dll")"

# DLLs that every Windows system has.
system_dlls=" kernel32.dll user32.dll gdi32.dll advapi32.dll comdlg32.dll shell32.dll msvcrt.dll "

failures=0
Fail() {
    echo "FAILED: $dll: $*" >&2
    failures=$((failures + 1))
}

# "DLL member" lines of the import tables.
imports="$(awk '
    /^\tDLL Name: / { dll = tolower($3); next }
    /^$/ { next }
    dll != "" && /^\t[0-9a-f]+\t/ { print dll, $NF }
    /^The Export Tables/ || /^PE File Base Relocations/ { dll = "" }
' <<<"$dump")"
# Ordinals of the export address table that lead somewhere.
ordinals="$(awk '
    /^Export Address Table/ { in_table = 1; next }
    /^\[Ordinal\/Name Pointer\] Table/ { in_table = 0 }
    in_table && /\+base\[/ {
        line = $0
        sub(/.*\+base\[ */, "", line)
        split(line, parts, /[] ]+/)
        if (parts[2] != "0") print parts[1]
    }
' <<<"$dump" | sort -n | tr '\n' ' ')"
# Names of the name pointer table.
names="$(awk '
    /^\[Ordinal\/Name Pointer\] Table/ { in_table = 1; next }
    in_table && /^\t\[ *[0-9]+\] / { print $NF; next }
    in_table { in_table = 0 }
' <<<"$dump" | sort | tr '\n' ' ')"

echo "$dll exports: ordinals [ $ordinals] names [ $names]"
echo "$dll imports from: $(cut -d' ' -f1 <<<"$imports" | sort -u | tr '\n' ' ')"

allowed="$system_dlls"
case "$kind" in
varnel)
    [ "$names" = "LoadJpeg " ] || Fail "named exports are [ $names], expected [ LoadJpeg ]"
    [ "$(wc -w <<<"$ordinals")" -eq 1 ] || Fail "exports [ $ordinals], expected one"
    ;;
lumetta)
    [ "$names" = "" ] || Fail "exports names [ $names], expected none"
    [ "$ordinals" = "240 241 " ] || Fail "exports ordinals [ $ordinals], expected [ 240 241 ]"
    grep -qx "varnel.dll LoadJpeg" <<<"$imports" || Fail "does not import LoadJpeg from varnel.dll"
    allowed="$allowed varnel.dll "
    ;;
*)
    echo "unknown kind $kind" >&2
    exit 2
    ;;
esac

[ -n "$imports" ] || Fail "no import table found"
for imported in $(cut -d' ' -f1 <<<"$imports" | sort -u); do
    case "$allowed" in
    *" $imported "*) ;;
    *) Fail "imports from $imported, which is not a system DLL" ;;
    esac
done

if [ "$failures" -ne 0 ]; then
    echo "0 passed, 1 failed"
    exit 1
fi
echo "1 passed, 0 failed"
