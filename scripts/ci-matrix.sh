#!/usr/bin/env bash
# ci-matrix.sh: the steps of .github/workflows/matrix.yml, which run here alike.
#   ci-matrix.sh plan TIER              the jobs of the tier per kind of runner, as JSON arrays
#                                       (x86=[...] for x86-64 runners, arm=[...] for aarch64
#                                       ones): a cell each, or 64 shards (K/N) when there are
#                                       more cells; also into $GITHUB_OUTPUT (with tier=TIER)
#                                       when that is set
#   ci-matrix.sh run TIER RUNNER JOB    runs one job of plan's (RUNNER: x86 or arm) into build/matrix
#   ci-matrix.sh merge TIER DIR         the report of every result directory under DIR, in
#                                       build/matrix-merged; fails if a cell of the tier is
#                                       missing, duplicated or failed
# aarch64 cells run natively on aarch64 runners, with the JDKs that the
# workflow set up there (JAVA_HOME_<version>_AARCH64); the other foreign
# architectures run under qemu-user on x86-64 ones.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0" >&2; exit 2; }
(($# >= 2)) || usage
action=$1 tier=$2
[[ $tier =~ ^[1-3]$ ]] || usage
declare -A archs=([x86]="host,ppc64el,s390x,riscv64" [arm]=aarch64)
# Only python3 is needed to plan and merge, and a bare container lacks it.
if ! command -v python3 >/dev/null; then
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends python3
fi

case $action in
  plan)
    (($# == 2)) || usage
    if [[ -n ${GITHUB_OUTPUT:-} ]]; then echo "tier=$tier" >>"$GITHUB_OUTPUT"; fi
    for runner in x86 arm; do
      jobs=$(python3 scripts/matrix.py units --tier "$tier" --arch "${archs[$runner]}" --max 64)
      echo "$runner=$jobs"
      if [[ -n ${GITHUB_OUTPUT:-} ]]; then echo "$runner=$jobs" >>"$GITHUB_OUTPUT"; fi
    done
    ;;
  run)
    if (($# != 4)) || [[ -z ${archs[$3]:-} ]]; then usage; fi
    runner=$3 job=$4
    if [[ $runner == arm ]]; then
      # The JDKs of the runner's own architecture come first; the JDK that
      # builds stays Debian's.
      homes=$(env | sed -n 's/^JAVA_HOME_[0-9]*_AARCH64=//p' | sort | paste -sd';')
      export ZOL_MATRIX_JDKS=$homes
      unset JAVA_HOME
    fi
    if [[ $job == */* ]]; then
      exec scripts/matrix.sh --tier "$tier" --arch "${archs[$runner]}" --shard "$job"
    fi
    exec scripts/matrix.sh --cell "$job"
    ;;
  merge)
    (($# == 3)) || usage
    exec scripts/matrix.sh --merge "$3" --tier "$tier" --out build/matrix-merged
    ;;
  *) usage ;;
esac
