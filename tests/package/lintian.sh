#!/usr/bin/env bash
# Runs Debian's lintian on the .debs: no error, and no warning but those that README.md
# ("Installing", lintian) explains, listed here with the reason.
#
#   lintian.sh PACKAGE.deb...
set -euo pipefail

explained=(
    # The packages are not uploaded to Debian, so the first changelog entry closes no ITP bug.
    initial-upload-closes-no-bugs
    # CPack's DEB generator adds postinst and postrm scripts that run ldconfig to every package
    # with libraries in /usr/lib; the package's ldconfig trigger does the same job.
    maintscript-calls-ldconfig
    # One package holds the programs and both libraries (libvarnel1 and the layer), which are
    # always installed together; splitting them would add packages and no choice.
    package-name-doesnt-match-sonames
    # The libraries are in /usr/lib, the same tree as the .tar.gz, not in a multiarch folder, so
    # cross-compilers' pkg-config (x86_64-linux-gnu-pkg-config) does not look there.
    pkg-config-unavailable-for-cross-compilation
)

suppress=""
if [ ${#explained[@]} -ne 0 ]; then
    suppress="$(IFS=,; echo "${explained[*]}")"
fi
# --fail-on warning fails on errors too; the explained tags are left out of the report.
lintian --fail-on error,warning ${suppress:+--suppress-tags "$suppress"} "$@"
echo "lintian: no error, no unexplained warning in $(basename -a "$@" | tr '\n' ' ')"
