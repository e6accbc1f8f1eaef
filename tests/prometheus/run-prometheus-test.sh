#!/usr/bin/env bash
# Proof on the real engine: Debian's prometheus-node-exporter serves the collector's metrics file
# from its textfile folder, and Debian's prometheus, with the alert rules of doc/kzt_fid.rules.yml
# loaded, scrapes it every second. Everything listens on 127.0.0.1 only, on free ports, every wait
# is bounded and both servers are stopped at the end, whatever happened.
#
# The metrics come from two readings of one drive, the second with more wear (more erases in two
# banks, one new grown bad block):
#   - from the QEMU run, when build/qemu/collect holds them: the .prom files that kzt-fid-collect
#     wrote in the guest after each of its two runs (first.prom, second.prom) and the guest's
#     folder of the drive (state/<serial>/, the second reading, the first in its reading-...
#     subfolder);
#   - else made here: two readings of the simulated drive (tests/qemu/make_expected.cpp with
#     "wear 1" and "wear 2"), each through kzt_inspect --metrics.
# node_exporter serves the first file, then the second replaces it (renamed over it, as the
# collector does). Checks, through Prometheus's HTTP API: /api/v1/query gives every bank's life
# used and grown bad blocks exactly as kzt_inspect --json gives them for the second reading (life
# used as the JSON's percentage to 0.1, grown blocks as the length of the bank's grown list);
# /api/v1/alerts shows the grown-bad-block alert firing for the bank that gained one, and no other
# alert. Ends with one line "N passed, N failed" and a non-zero status when a check failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
work="$root/build/prometheus"
source_dir="${KZT_COLLECT_DIR:-$root/build/qemu/collect}"
inspect="${KZT_INSPECT:-$root/build/ci/src/kzt_inspect}"
rm -rf "$work"
mkdir -p "$work/textfile" "$work/data"

for program in prometheus prometheus-node-exporter promtool python3; do
  command -v "$program" >/dev/null || { echo "run-prometheus-test: $program is needed" >&2; exit 1; }
done

if [ -f "$source_dir/first.prom" ] && [ -f "$source_dir/second.prom" ]; then
  echo "== the QEMU run's metrics: $source_dir"
  cp "$source_dir/first.prom" "$work/first.prom"
  cp "$source_dir/second.prom" "$work/second.prom"
  reading=$(find "$source_dir/state" -mindepth 1 -maxdepth 1 -type d | head -n 1)
else
  echo "== no QEMU run's metrics in $source_dir: two readings of the simulated drive made here"
  cmake --preset ci >/dev/null
  cmake --build --preset ci -j 2 --target kzt_inspect kzt_qemu_expected >/dev/null
  for stage in 1 2; do
    mkdir -p "$work/reading$stage"
    build/ci/tests/qemu/kzt_qemu_expected "$work/reading$stage" 1 xy "wear $stage"
  done
  # The simulated machine's clock is fixed: the readings are given the times of a run now, a
  # minute apart, as the collector's would be.
  now=$(date +%s)
  "$inspect" --metrics "$work/reading1" |
    sed "s/^\(kzt_fid_reading_timestamp_seconds{.*}\) [0-9]*\$/\1 $((now - 60))/" >"$work/first.prom"
  "$inspect" --metrics "$work/reading2" |
    sed "s/^\(kzt_fid_reading_timestamp_seconds{.*}\) [0-9]*\$/\1 $now/" >"$work/second.prom"
  reading="$work/reading2"
fi
"$inspect" --json "$reading" >"$work/reading.json"

# Two free ports of the loopback interface.
read -r exporter_port prometheus_port < <(python3 -c '
import socket
ports = []
sockets = []
for _ in range(2):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    sockets.append(s)
    ports.append(s.getsockname()[1])
print(*ports)')

cp "$work/first.prom" "$work/textfile/kzt_fid.prom"
cat >"$work/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files:
  - $root/doc/kzt_fid.rules.yml
scrape_configs:
  - job_name: node
    static_configs:
      - targets: ['127.0.0.1:$exporter_port']
EOF
promtool check config "$work/prometheus.yml" >/dev/null

pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop EXIT
# Each server ends by itself after 5 minutes at the latest.
timeout 300 prometheus-node-exporter --web.listen-address="127.0.0.1:$exporter_port" \
  --collector.disable-defaults --collector.textfile \
  --collector.textfile.directory="$work/textfile" >"$work/node_exporter.log" 2>&1 &
pids+=($!)
timeout 300 prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$work/prometheus.log" 2>&1 &
pids+=($!)

api="http://127.0.0.1:$prometheus_port/api/v1"
# query EXPR: the result of an instant query as JSON lines "labels<TAB>value".
query() {
  python3 - "$api" "$1" <<'EOF'
import json, sys, urllib.parse, urllib.request
url = sys.argv[1] + "/query?" + urllib.parse.urlencode({"query": sys.argv[2]})
with urllib.request.urlopen(url, timeout=5) as answer:
    for item in json.load(answer)["data"]["result"]:
        labels = {k: v for k, v in item["metric"].items() if k not in ("instance", "job")}
        print(json.dumps(labels, sort_keys=True) + "\t" + item["value"][1])
EOF
}
# wait_for SECONDS WHAT COMMAND...: until the command succeeds, at most SECONDS.
wait_for() {
  local limit=$1 what=$2 started=$SECONDS
  shift 2
  until "$@" >/dev/null 2>&1; do
    if [ $((SECONDS - started)) -ge "$limit" ]; then
      echo "run-prometheus-test: $what: not within $limit s" >&2
      tail -n 20 "$work/prometheus.log" "$work/node_exporter.log" >&2
      exit 1
    fi
    sleep 0.5
  done
  echo "== $what after $((SECONDS - started)) s"
}
grown_total() { query 'sum(kzt_fid_bank_bad_blocks{list="grown"})' | cut -f2; }
first_grown=$(awk '/^kzt_fid_bank_bad_blocks\{.*list="grown"\}/ {s += $NF} END {print s}' "$work/first.prom")
second_grown=$(awk '/^kzt_fid_bank_bad_blocks\{.*list="grown"\}/ {s += $NF} END {print s}' "$work/second.prom")
scraped() { [ "$(grown_total)" = "$1" ]; }
wait_for 60 "the first reading scraped" scraped "$first_grown"
sleep 3  # a few scrapes of the first reading
cp "$work/second.prom" "$work/textfile/.kzt_fid.prom.new"
mv -f "$work/textfile/.kzt_fid.prom.new" "$work/textfile/kzt_fid.prom"
wait_for 30 "the second reading scraped" scraped "$second_grown"
alerts() {
  python3 - "$api" <<'EOF'
import json, sys, urllib.request
with urllib.request.urlopen(sys.argv[1] + "/alerts", timeout=5) as answer:
    for alert in json.load(answer)["data"]["alerts"]:
        labels = alert["labels"]
        print(alert["state"], labels["alertname"], labels.get("bank", "-"), labels.get("list", "-"))
EOF
}
firing() { alerts | grep -q '^firing KztFidGrownBadBlocksRose '; }
wait_for 30 "the grown-bad-block alert firing" firing

passed=0
failed=0
verdict() {  # verdict HOLDS TEXT
  if [ "$1" = 1 ]; then echo "ok: $2"; passed=$((passed + 1)); else echo "FAIL: $2"; failed=$((failed + 1)); fi
}

# Every bank's life used and grown bad blocks, from Prometheus and from kzt_inspect --json.
query 'kzt_fid_bank_life_used_ratio' >"$work/life.txt"
query 'kzt_fid_bank_bad_blocks{list="grown"}' >"$work/grown.txt"
python3 - "$work/reading.json" "$work/life.txt" "$work/grown.txt" >"$work/compare.txt" <<'EOF'
import json, sys
reading = json.load(open(sys.argv[1]))
def served(path):
    values = {}
    for line in open(path):
        labels, value = line.rstrip("\n").split("\t")
        values[json.loads(labels)["bank"]] = float(value)
    return values
life, grown = served(sys.argv[2]), served(sys.argv[3])
serial = reading["identity"]["serial"].strip()
banks = [f"Ch{w['channel']}CE{w['ce']}" for w in reading["wear"]]
print("banks", len(banks), len(life), len(grown))
for wear, bad in zip(reading["wear"], reading["bad_blocks"]):
    bank = f"Ch{wear['channel']}CE{wear['ce']}"
    got_life = "%.1f" % (life[bank] * 100) if bank in life else None
    want_life = "%.1f" % wear["life_used_percent"]
    got_grown = int(grown[bank]) if bank in grown else None
    print("life", bank, want_life, got_life)
    print("grown", bank, len(bad["grown"]), got_grown)
EOF
read -r _ banks life_banks grown_banks < <(grep '^banks ' "$work/compare.txt")
verdict "$([ "$banks" -gt 0 ] && [ "$life_banks" = "$banks" ] && [ "$grown_banks" = "$banks" ] && echo 1 || echo 0)" \
  "Prometheus has life used and grown bad blocks for all $banks banks of the reading (life $life_banks, grown $grown_banks)"
while read -r kind bank want got; do
  verdict "$([ "$want" = "$got" ] && echo 1 || echo 0)" "$bank: $kind $got in Prometheus, $want in kzt_inspect --json"
done < <(grep -E '^(life|grown) ' "$work/compare.txt")

# The alerts: the grown-bad-block alert, firing, for the one bank that gained a grown block; and
# no other alert in any state.
alerts >"$work/alerts.txt"
changed=$(awk 'match($0, /bank="[^"]*",list="grown"\} [0-9]+$/) {
    split(substr($0, RSTART), part, "\"")
    if (FILENAME == ARGV[1]) before[part[2]] = $NF; else if ($NF > before[part[2]]) print part[2]
  }' "$work/first.prom" "$work/second.prom")
expected=$(for bank in $changed; do echo "firing KztFidGrownBadBlocksRose $bank grown"; done)
verdict "$([ -n "$changed" ] && [ "$(sort "$work/alerts.txt")" = "$expected" ] && echo 1 || echo 0)" \
  "/api/v1/alerts: KztFidGrownBadBlocksRose firing for ${changed:-no bank} and nothing else (got: $(tr '\n' ';' <"$work/alerts.txt"))"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
