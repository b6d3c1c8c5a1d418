#!/bin/bash
# Times the conversion of every office document of a folder tree (default: the acceptance
# corpus) through the office worker, one request per document, against one
# "soffice --headless --convert-to html" run per document (warm private profile).
# Usage: scripts/measure-office.sh [CORPUS_FOLDER]    (after scripts/build.sh)
set -eu
cd "$(dirname "$0")/.."
corpus=${1:-../shared/corpus}
[ -d "$corpus" ] || corpus=/work/shared/corpus
worker=build/bin/zelbrin-office
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

now() { date +%s%N; }
ms() { echo $(( ($2 - $1) / 1000000 )); }
route() {
  case "${1,,}" in
    *.doc|*.docx|*.txt) echo writer ;;
    *.xls|*.xlsx) echo calc ;;
    *.ppt|*.pptx) echo impress ;;
  esac
}
mapfile -t docs < <(find "$corpus" -type f \( -iname '*.doc' -o -iname '*.docx' -o -iname '*.txt' \
  -o -iname '*.xls' -o -iname '*.xlsx' -o -iname '*.ppt' -o -iname '*.pptx' \) | sort)

declare -A workerMs
start=$(now)
coproc WORKER { "$worker" --profile "$scratch/worker-profile" 2>/dev/null; }
read -r hello <&"${WORKER[0]}"
echo "worker start: $(ms "$start" "$(now)") ms ($hello)"
for doc in "${docs[@]}"; do
  t0=$(now)
  printf 'CONVERT\t%s\t%s\t%s\n' "$(route "$doc")" "$doc" "$scratch/w/$(basename "${doc%.*}").htm" >&"${WORKER[1]}"
  read -r answer <&"${WORKER[0]}"
  workerMs[$doc]="$(ms "$t0" "$(now)") ${answer%%$'\t'*}"
done
printf 'QUIT\n' >&"${WORKER[1]}"
read -r _ <&"${WORKER[0]}" || true
wait "$WORKER_PID" 2>/dev/null || true

profile="file://$scratch/soffice-profile"
soffice -env:UserInstallation="$profile" --headless --terminate_after_init >/dev/null 2>&1 || true
printf '%-8s %9s %11s  %s\n' route worker_ms soffice_ms document
total_w=0; total_s=0
for doc in "${docs[@]}"; do
  t0=$(now)
  soffice -env:UserInstallation="$profile" --headless --convert-to html --outdir "$scratch/s" "$doc" >/dev/null 2>&1 || true
  s=$(ms "$t0" "$(now)")
  read -r w answer <<<"${workerMs[$doc]}"
  printf '%-8s %6s %-3s %10s  %s\n' "$(route "$doc")" "$w" "$answer" "$s" "${doc#"$corpus"/}"
  total_w=$((total_w + w)); total_s=$((total_s + s))
done
echo "total: worker ${total_w} ms, soffice ${total_s} ms for ${#docs[@]} documents"
