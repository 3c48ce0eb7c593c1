#!/usr/bin/env bash
# ci-matrix.sh: the steps of .github/workflows/matrix.yml, which run here alike.
#   ci-matrix.sh plan TIER [--jobs-only]
#                                       the jobs of the tier per kind of runner, as JSON arrays
#                                       (x86=[...] for x86-64 runners, arm=[...] for aarch64
#                                       ones): a cell each, or 64 shards (K/N) when there are
#                                       more cells; also into $GITHUB_OUTPUT (with tier=TIER)
#                                       when that is set, with pins=PINS (the exact package
#                                       version of every JDK of the tier, resolved once for the
#                                       whole run by matrix.sh --pins; every job runs with it as
#                                       ZOL_MATRIX_PINS) and jdks=KEY (its digest: the key of
#                                       build/jdks in actions/cache); --jobs-only leaves them out
#   ci-matrix.sh run TIER RUNNER JOB    runs one job of plan's (RUNNER: x86 or arm) into build/matrix
#   ci-matrix.sh command TIER RUNNER JOB
#                                       prints what run runs there (its environment and command)
#   ci-matrix.sh merge TIER DIR         the report of every result directory under DIR, in
#                                       build/matrix-merged, its summary.md also into
#                                       $GITHUB_STEP_SUMMARY when that is set; fails if a cell
#                                       of the tier is missing, duplicated or failed
# Each runner runs the cells of its own architecture natively (x86: host, arm:
# aarch64) and the other foreign ones under qemu-user (x86: ppc64el, s390x,
# riscv64). The JDKs that actions/setup-java set up come first, by the names
# it gives them after Node's os.arch() (JAVA_HOME_21_X64, JAVA_HOME_25_ARM64);
# the build's JDK is Debian's 17, named, never the first one on PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2; exit 2; }
(($# >= 2)) || usage
action=$1 tier=$2
[[ $tier =~ ^[1-3]$ ]] || usage
declare -A archs=([x86]="host,ppc64el,s390x,riscv64" [arm]=aarch64)
declare -A suffix=([x86]=X64 [arm]=ARM64) debian=([x86]=amd64 [arm]=arm64)
# Only python3 is needed to plan and merge, and a bare container lacks it.
command -v python3 >/dev/null || scripts/deps.sh --only python3

case $action in
  plan)
    (($# == 2)) || [[ $# == 3 && $3 == --jobs-only ]] || usage
    if [[ -n ${GITHUB_OUTPUT:-} ]]; then echo "tier=$tier" >>"$GITHUB_OUTPUT"; fi
    for runner in x86 arm; do
      jobs=$(python3 scripts/matrix.py units --tier "$tier" --arch "${archs[$runner]}" --max 64)
      echo "$runner=$jobs"
      if [[ -n ${GITHUB_OUTPUT:-} ]]; then echo "$runner=$jobs" >>"$GITHUB_OUTPUT"; fi
    done
    [[ ${3:-} != --jobs-only ]] || exit 0
    # Every JDK of the tier at one exact package version for the whole run:
    # each job gets them as ZOL_MATRIX_PINS, and build/jdks is cached by them.
    pins=$(scripts/matrix.sh --pins --tier "$tier") || exit 1
    echo "pins=$pins"
    key=$(printf '%s' "$pins" | sha256sum | cut -c1-16)
    echo "jdks=$key"
    if [[ -n ${GITHUB_OUTPUT:-} ]]; then printf 'pins=%s\njdks=%s\n' "$pins" "$key" >>"$GITHUB_OUTPUT"; fi
    ;;
  run | command)
    if (($# != 4)) || [[ -z ${archs[$3]:-} ]]; then usage; fi
    runner=$3 job=$4
    homes=$(env | sed -n "s/^JAVA_HOME_[0-9]*_${suffix[$runner]}=//p" | sort | paste -sd';')
    homes=$homes${ZOL_MATRIX_JDKS:+${homes:+;}$ZOL_MATRIX_JDKS}
    set -- env JAVA_HOME="/usr/lib/jvm/java-17-openjdk-${debian[$runner]}" ${homes:+ZOL_MATRIX_JDKS="$homes"} \
      scripts/matrix.sh
    if [[ $job == */* ]]; then
      set -- "$@" --tier "$tier" --arch "${archs[$runner]}" --shard "$job"
    else
      set -- "$@" --cell "$job"
    fi
    if [[ $action == command ]]; then
      echo "$*"
      exit 0
    fi
    machine=$(dpkg --print-architecture)
    if [[ $machine != "${debian[$runner]}" ]]; then
      echo "ci-matrix: the $runner jobs run on ${debian[$runner]} machines; this one is $machine" >&2
      exit 2
    fi
    exec "$@"
    ;;
  merge)
    (($# == 3)) || usage
    status=0
    scripts/matrix.sh --merge "$3" --tier "$tier" --out build/matrix-merged || status=$?
    if [[ -n ${GITHUB_STEP_SUMMARY:-} && -f build/matrix-merged/summary.md ]]; then
      cat build/matrix-merged/summary.md >>"$GITHUB_STEP_SUMMARY"
    fi
    exit $status
    ;;
  *) usage ;;
esac
