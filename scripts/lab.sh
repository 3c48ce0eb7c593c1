#!/usr/bin/env bash
# lab.sh (--sshloginfile FILE | --sshlogin LOGINS) [SELECTION] [--out DIR]
#
# Runs the selected cells of the configuration matrix (SELECTION as for
# scripts/matrix.sh; default tier 2) on a lab of machines without a CI
# service, with GNU parallel: each cell runs as `scripts/matrix.sh --cell ID`
# in a host's own checkout of this repository, which must be at this
# checkout's commit (ZOL_LAB_CHECKOUT in the host's environment, default
# ~/zol-natives), and its result directory comes back with --return. Then
# one report of them all (scripts/matrix.sh --merge) goes to DIR (default
# build/matrix-lab), with the selection, the JDK package versions every host
# uses (resolved here once, ZOL_MATRIX_PINS) and parallel's job log (which
# host ran which cell).
# LOGINS and FILE are parallel's: "[ncpus/]login" per host, where ncpus bounds
# the cells it runs at once (default: its cores) and the login may carry its
# own ssh command ("1/ssh -p 2222 user@host"). Each host needs ssh without a
# password, rsync and GNU parallel; its checkout installs the rest the first
# time it runs a cell. Exits non-zero if a cell is missing or failed, or if
# parallel reports a failed job.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 2; }
logins=() selection=() out=build/matrix-lab
while (($#)); do
  [[ $# -ge 2 ]] || usage
  case $1 in
    --sshloginfile | --sshlogin) logins+=("$1" "$2") ;;
    --tier | --cell | --arch | --jdk | --gc | --mode | --kind) selection+=("$1" "$2") ;;
    --out) out=$2 ;;
    *) usage ;;
  esac
  shift 2
done
((${#logins[@]})) || usage
((${#selection[@]})) || selection=(--tier 2)
scripts/deps.sh --only parallel rsync openssh-client python3 || exit 1
commit=$(git rev-parse HEAD) || exit 1
python3 scripts/matrix.py claim "$out" --fresh || exit 2
mapfile -t cells < <(python3 scripts/matrix.py plan "$out" "${selection[@]}")
((${#cells[@]})) || { echo "no cell selected" >&2; exit 2; }
if ! ZOL_MATRIX_PINS=$(scripts/matrix.sh --pins "${selection[@]}"); then
  echo "lab: the JDKs' package versions could not be resolved" >&2
  exit 1
fi
export ZOL_MATRIX_PINS
echo "$ZOL_MATRIX_PINS" >"$out/pins"
echo "lab: ${#cells[@]} cells at $commit; JDK packages: $ZOL_MATRIX_PINS"
# Each job runs in a directory of its own on its host (--wd ...), which
# holds the cell's result directory until it comes back and then goes.
# parallel's exit status counts the failed jobs (a failed cell, a host at
# another commit or unreachable); the merge says which cells.
# shellcheck disable=SC2016 # expanded on the host
(cd "$out" && printf '%s\n' "${cells[@]}" | parallel "${logins[@]}" --wd ... --return '{}' --cleanup \
  --env ZOL_MATRIX_PINS --joblog joblog --tag --line-buffer \
  'checkout=${ZOL_LAB_CHECKOUT:-$HOME/zol-natives}
   at=$(git -C "$checkout" rev-parse HEAD 2>/dev/null)
   if [ "$at" != '"$commit"' ]; then
     echo "$(hostname): $checkout is at commit ${at:-none}, not '"$commit"'"; exit 2
   fi
   "$checkout/scripts/matrix.sh" --cell {} --out "$PWD"')
failed_jobs=$?
echo "lab: parallel exit status $failed_jobs"
scripts/matrix.sh --merge "$out" "${selection[@]}" --out "$out"
merged=$?
if ((failed_jobs)); then
  echo "lab: FAILED: parallel reports $failed_jobs failed jobs (joblog: $out/joblog)"
  exit 1
fi
exit "$merged"
