#!/usr/bin/env bash
# Installs what is missing, builds the tool in release mode, lays out a small
# data root from sample/ (both programs in its "bin" folder) and runs the tool
# there: with the arguments given, or else "version", a two-line batch file
# and a few asset commands, which start the stand-in daemon through the
# tool's own discovery; the daemon is closed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRO_TESTS=OFF >/dev/null
cmake --build build-release

root=build-release/sample-root
rm -rf "$root"
cp -r sample "$root"
mkdir -p "$root/bin"
cp build-release/bin/KestroUtil build-release/bin/kaddaemon "$root/bin/"
# The system scripts and their compiled libraries.
cp -r build-release/scripts build-release/libraries "$root/"
printf 'echo hello\n"echo" "from a batch file"\n' > "$root/bin/sample-batch.txt"

run() {
    echo "== KestroUtil $* =="
    set +e
    "$root/bin/KestroUtil" "$@"
    local code=$?
    set -e
    echo "(exit code $code)"
}

if [ $# -gt 0 ]; then
    run "$@"
    # The next run lays the data root out afresh: the daemon serving this
    # one must not outlive it.
    "$root/bin/KestroUtil" closekaddaemon >/dev/null 2>&1 || true
else
    run version
    run @sample-batch.txt
    run status '<kuid:400001:101>'
    run status '<kuid2:400001:102:2>'
    run searchbycategory 'VE;-LOC|TR'
    run validate '<kuid:400001:105>'
    run closekaddaemon
fi
