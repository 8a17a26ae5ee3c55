#!/usr/bin/env bash
# Times our ZIP engine (bench/zentile_extract) beside bsdtar, unzip and 7z extracting the same archives,
# in one run: the median wall time of 3 runs each and the peak memory (maximum resident set size, from
# /usr/bin/time). Run by hand, never by CI:
#   bench/zip_extract.sh [WORK_FOLDER]
# It builds the release preset, makes its corpus once in WORK_FOLDER (default /tmp/zentile-bench; about
# 3.5 GiB with the archives): 240 files of mixed content, 700 MiB, as a plain deflate archive (Info-ZIP
# zip) and as a WinZip AES-256 one (7z); and a 1 GiB single-entry archive. Extractions write to
# OUT_FOLDER (default /dev/shm/zentile-bench-out, so the disk does not time the run).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-/tmp/zentile-bench}"
out="${OUT_FOLDER:-/dev/shm/zentile-bench-out}"
runs="${RUNS:-3}"
password="bench-password"
jobs="${JOBS:-3}"

for tool in bsdtar unzip 7z zip python3 /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run scripts/install-deps" >&2; exit 1; }
done

echo "== building the release preset"
(cd "$root" && cmake --preset release >/dev/null && cmake --build --preset release -j"$jobs" --target zentile_extract >/dev/null)
ours="$root/build/release/bench/zentile_extract"

mkdir -p "$work"
corpus_version=1
if [ "$(cat "$work/corpus-version" 2>/dev/null)" != "$corpus_version" ]; then
    echo "== making the corpus in $work"
    rm -rf "$work/many" "$work/big" "$work"/*.zip
    python3 "$root/bench/zip_corpus.py" many "$work/many"
    mkdir -p "$work/big"
    python3 "$root/bench/zip_corpus.py" big "$work/big/big.bin"
    (cd "$work/many" && zip -q -r -6 "$work/many-plain.zip" .)
    (cd "$work/many" && 7z a -bd -tzip -mem=AES256 -mx=5 -p"$password" "$work/many-aes.zip" . >/dev/null)
    (cd "$work/big" && zip -q -6 "$work/big-plain.zip" big.bin)
    echo "$corpus_version" > "$work/corpus-version"
fi

# One extraction by one tool: prints "seconds kilobytes" or "failed".
extract() {
    local tool="$1" archive="$2" pass="$3" target="$out/run"
    rm -rf "$target" && mkdir -p "$target"
    local -a command
    case "$tool" in
        ours)   command=("$ours" ${pass:+-p "$pass"} "$archive" "$target") ;;
        bsdtar) command=(bsdtar ${pass:+--passphrase "$pass"} -xf "$archive" -C "$target") ;;
        unzip)  command=(unzip -q ${pass:+-P "$pass"} "$archive" -d "$target") ;;
        7z)     command=(7z x -bd -y ${pass:+-p"$pass"} -o"$target" "$archive") ;;
    esac
    if /usr/bin/time -f "%e %M" -o "$out/time" "${command[@]}" >/dev/null 2>"$out/stderr"; then
        cat "$out/time"
    else
        echo failed
    fi
}

# The extraction must be whole and byte-identical before its time counts.
check_ours() {
    local archive="$1" pass="$2" expected="$3"
    rm -rf "$out/run" && mkdir -p "$out/run"
    if ! "$ours" ${pass:+-p "$pass"} "$archive" "$out/run" 2>"$out/stderr" || ! diff -rq "$expected" "$out/run" >/dev/null; then
        echo "   our engine did not extract $archive whole and identical:"; head -5 "$out/stderr"
        return 1
    fi
}

mkdir -p "$out"
results="$out/results"
: > "$results"
cases=("many-plain:$work/many-plain.zip::$work/many" "many-aes:$work/many-aes.zip:$password:$work/many"
       "big:$work/big-plain.zip::$work/big")
echo "== load at the start (1, 5, 15 minutes): $(cut -d" " -f1-3 /proc/loadavg)"
for spec in "${cases[@]}"; do
    IFS=: read -r name archive pass expected <<< "$spec"
    cat "$archive" > /dev/null # read it into the page cache first, for every tool alike
    echo "== $name ($(du -h "$archive" | cut -f1))"
    ours_ok=1
    check_ours "$archive" "$pass" "$expected" || ours_ok=0
    for round in $(seq "$runs"); do
        for tool in ours bsdtar unzip 7z; do
            if [ "$tool" = ours ] && [ "$ours_ok" = 0 ]; then continue; fi
            line="$(extract "$tool" "$archive" "$pass")"
            echo "$name $tool $line" >> "$results"
            echo "   round $round $tool: $line"
        done
    done
done
rm -rf "$out/run"

echo "== medians of $runs runs on $(nproc) cores; load at the end: $(cut -d" " -f1-3 /proc/loadavg)"
python3 - "$results" <<'EOF'
import statistics
import sys
from collections import defaultdict

times, memory = defaultdict(list), defaultdict(list)
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) == 4:
        times[parts[0], parts[1]].append(float(parts[2]))
        memory[parts[0], parts[1]].append(int(parts[3]))

def median(case, tool):
    runs = times.get((case, tool))
    return statistics.median(runs) if runs else None

tools = ["ours", "bsdtar", "unzip", "7z"]
print("%-11s" % "archive" + "".join("%18s" % t for t in tools))
for case in ["many-plain", "many-aes", "big"]:
    cells = []
    for tool in tools:
        t = median(case, tool)
        cells.append("%18s" % ("n/a" if t is None else
                               "%.2f s %4d MiB" % (t, max(memory[case, tool]) // 1024)))
    print("%-11s" % case + "".join(cells))

def ratio(case, peers):
    ours = median(case, "ours")
    known = [(median(case, p), p) for p in peers if median(case, p) is not None]
    if ours is None or not known:
        return "n/a"
    fastest, peer = min(known)
    return "%.2fx (%s %.2f s)" % (ours / fastest, peer, fastest)

print("ours / fastest peer, many files, plain: " + ratio("many-plain", ["bsdtar", "unzip", "7z"]))
print("ours / fastest peer, many files, AES-256: " + ratio("many-aes", ["bsdtar", "unzip", "7z"]))
print("ours / fastest peer, 1 GiB entry: " + ratio("big", ["bsdtar", "unzip", "7z"]))
peak = [max(v) for (case, tool), v in memory.items() if tool == "ours"]
print("our peak memory: " + ("%.1f MiB" % (max(peak) / 1024) if peak else "n/a"))
EOF
